// Tests of the request transport against the simulated dongle:
// wire bytes, the mode reply table, byte-count failures, the write length
// limit, the flash retry loops and their ends, and the request lock.
#include "device/vendor_request.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <thread>
#include <vector>

#include "device/checked_data.h"
#include "device/discovery.h"
#include "platform/device_enum.h"
#include "platform/platform.h"
#include "sim/machine/hooked_device_io.h"
#include "sim/machine/services_scope.h"
#include "sim/machine/sim_device_io.h"
#include "sim/machine/sim_dongle.h"
#include "sim/desktop/program_reset.h"

namespace {

// Attempts per flash request, as the program promises them (a number, not its constant).
constexpr int kFlashAttempts = 64;

using Bytes = std::vector<std::uint8_t>;

Bytes Pattern(std::size_t size, std::uint8_t seed) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(seed + 7 * i);
  return bytes;
}

Bytes Head(const sim::WireRecord& record, std::size_t n) {
  return Bytes(record.request.begin(), record.request.begin() + n);
}

using sim::MakeFault;

// Installs a simulated dongle behind platform::Os(), opens it as g_hDevice,
// and puts everything back afterwards.
class TransportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetProgramStateForTests();
    dongle_.SetOverlapHandler([this](const std::string&) { overlaps_.fetch_add(1); });
    g_hDevice = io_.Open(dongle_.InterfacePath().c_str());
    ASSERT_NE(g_hDevice, platform::kInvalidHandle);
  }
  void TearDown() override {
    if (g_hDevice != platform::kInvalidHandle) io_.Close(g_hDevice);
    ResetProgramStateForTests();
    EXPECT_EQ(overlaps_.load(), 0);
  }

  sim::WireRecord LastRecord() const {
    const auto log = dongle_.WireLog();
    EXPECT_FALSE(log.empty());
    return log.empty() ? sim::WireRecord() : log.back();
  }

  std::atomic<int> overlaps_{0};
  sim::SimDongle dongle_;
  sim::SimDeviceIo io_{dongle_};
  sim::ScopedDeviceIo installed_{&io_};
};

// A misbehaving driver: every call succeeds, fills the output it was given
// with 0xEE and reports a fixed byte count, whatever was asked.
class LyingIo : public platform::DeviceIo {
 public:
  explicit LyingIo(std::uint32_t reported) : reported_(reported) {}
  int calls = 0;

  platform::Handle Open(const char*) override { return 0x40; }
  bool IoControl(platform::Handle, std::uint32_t, const void*, std::uint32_t, void* out,
                 std::uint32_t outSize, std::uint32_t* returned) override {
    ++calls;
    std::memset(out, 0xEE, outSize);
    *returned = reported_;
    return true;
  }
  bool Read(platform::Handle, void*, std::uint32_t, std::uint32_t* read) override {
    *read = reported_;
    return true;
  }
  bool Close(platform::Handle) override { return true; }
  std::uint32_t LastError() override { return 0; }
  void SetLastError(std::uint32_t) override {}
  bool SystemErrorText(std::uint32_t, std::string*) override { return false; }

 private:
  std::uint32_t reported_;
};

// A driver whose calls fail without leaving an error code behind.
class SilentFailureIo : public LyingIo {
 public:
  SilentFailureIo() : LyingIo(0) {}
  bool IoControl(platform::Handle, std::uint32_t, const void*, std::uint32_t, void*,
                 std::uint32_t, std::uint32_t* returned) override {
    *returned = 0;
    return false;
  }
};

// --- Wire bytes of each command -------------------------------------------------------------

TEST_F(TransportTest, ModeQueryWireBytes) {
  int check = 7;
  ASSERT_EQ(QueryDeviceMode(&check), 0u);
  const Bytes expected = {0xBA, 0x03, 0x00, 0x00, 0x01, 0x00};
  const sim::WireRecord record = LastRecord();
  EXPECT_EQ(record.code, IOCTL_VENDOR_READ);
  EXPECT_EQ(record.inSize, 512u);
  EXPECT_EQ(record.outSize, 512u);
  EXPECT_EQ(Head(record, 6), expected);
  EXPECT_TRUE(record.inputTailZero);
}

TEST_F(TransportTest, DataReadWireBytes) {
  std::uint8_t value = 0;
  dongle_.WriteData(ADDR_START_BAND, {9});
  ASSERT_EQ(ReadDeviceData(&value, ADDR_START_BAND, 1), 0u);
  EXPECT_EQ(value, 9);
  const sim::WireRecord record = LastRecord();
  EXPECT_EQ(record.code, IOCTL_VENDOR_READ);
  EXPECT_EQ(Head(record, 6), (Bytes{0xEE, 0x03, 0xC1, 0x01, 0x01, 0x00}));
  EXPECT_EQ(record.inSize, 512u);
  EXPECT_EQ(record.outSize, 512u);
}

TEST_F(TransportTest, DataWriteWireBytesAndTailStaysZero) {
  const Bytes block = Pattern(64, 0x80);
  ASSERT_EQ(WriteDeviceData(block.data(), 0x3040, 64), 0u);
  const sim::WireRecord record = LastRecord();
  EXPECT_EQ(record.code, IOCTL_VENDOR_WRITE);
  EXPECT_EQ(Head(record, 6), (Bytes{0xEE, 0x03, 0x40, 0x30, 0x40, 0x00}));
  EXPECT_EQ(record.payload, block);
  EXPECT_EQ(Bytes(record.request.begin() + 6, record.request.end()), block);
  // Bytes 70-511 are never written, even after a full 64-byte payload.
  EXPECT_TRUE(record.inputTailZero);
  EXPECT_EQ(dongle_.ReadData(0x3040, 64), block);
}

TEST_F(TransportTest, DeviceInfoAndFlashWireBytes) {
  DeviceInfo info;
  ASSERT_EQ(ReadDeviceInfo(&info), 0u);
  EXPECT_EQ(Head(LastRecord(), 6), (Bytes{0xEE, 0x03, 0x00, 0x00, 0x1B, 0x00}));
  EXPECT_EQ(LastRecord().code, IOCTL_VENDOR_READ);
  EXPECT_EQ(Bytes(reinterpret_cast<std::uint8_t*>(&info),
                  reinterpret_cast<std::uint8_t*>(&info) + sizeof info),
            sim::DefaultDeviceInfo());

  const Bytes block = Pattern(64, 3);
  ASSERT_EQ(WriteFlashBlock(block.data(), 0xC040), 0u);
  EXPECT_EQ(LastRecord().code, IOCTL_VENDOR_WRITE);
  EXPECT_EQ(Head(LastRecord(), 6), (Bytes{0xFF, 0x03, 0x40, 0xC0, 0x40, 0x00}));
  EXPECT_EQ(LastRecord().payload, block);

  Bytes back(64, 0);
  ASSERT_EQ(ReadFlash(back.data(), 0xC040, 64), 0u);
  EXPECT_EQ(LastRecord().code, IOCTL_VENDOR_READ);
  EXPECT_EQ(Head(LastRecord(), 6), (Bytes{0xFF, 0x03, 0x40, 0xC0, 0x40, 0x00}));
  EXPECT_EQ(back, block);
  EXPECT_TRUE(LastRecord().inputTailZero);
}

TEST_F(TransportTest, ReadAfterWriteCarriesThePayloadTheDriverIgnores) {
  const Bytes block = Pattern(64, 0x11);
  ASSERT_EQ(WriteDeviceData(block.data(), 0x3000, 64), 0u);
  std::uint8_t group = 0xFF;
  ASSERT_EQ(ReadDeviceData(&group, ADDR_RF_GROUP, 1), 0u);
  EXPECT_EQ(group, 0);
  const sim::WireRecord record = LastRecord();
  EXPECT_EQ(Head(record, 6), (Bytes{0xEE, 0x03, 0x15, 0x00, 0x01, 0x00}));
  EXPECT_EQ(Bytes(record.request.begin() + 6, record.request.end()), block);
  EXPECT_TRUE(record.inputTailZero);
  // A shorter write leaves the rest of the earlier payload in the record.
  const std::uint8_t one = 0x42;
  ASSERT_EQ(WriteDeviceData(&one, ADDR_RF_GROUP, 1), 0u);
  const sim::WireRecord shorter = LastRecord();
  EXPECT_EQ(shorter.request[6], 0x42);
  EXPECT_EQ(Bytes(shorter.request.begin() + 7, shorter.request.end()),
            Bytes(block.begin() + 1, block.end()));
  EXPECT_EQ(dongle_.ReadData(ADDR_RF_GROUP, 2), (Bytes{0x42, 0x56}));
}

// --- Mode reply table ---------------------------------------------------------------------

TEST_F(TransportTest, ModeReplyTable) {
  int check = 5;
  dongle_.SetMode(0xCC);
  ASSERT_EQ(QueryDeviceMode(&check), 0u);
  EXPECT_EQ(check, 0);
  EXPECT_TRUE(g_largePages);

  // 0xAA asks for the descriptor check and keeps the last geometry.
  dongle_.SetMode(0xAA);
  ASSERT_EQ(QueryDeviceMode(&check), 0u);
  EXPECT_EQ(check, 1);
  EXPECT_TRUE(g_largePages);

  dongle_.SetMode(0xBB);
  ASSERT_EQ(QueryDeviceMode(&check), 0u);
  EXPECT_EQ(check, 0);
  EXPECT_FALSE(g_largePages);

  dongle_.SetMode(0xAA);
  check = 0;
  ASSERT_EQ(QueryDeviceMode(&check), 0u);
  EXPECT_EQ(check, 1);
  EXPECT_FALSE(g_largePages);
}

TEST_F(TransportTest, ModeAaBeforeAnyGeometryKeepsSmallPages) {
  dongle_.SetMode(0xAA);
  int check = 0;
  ASSERT_EQ(QueryDeviceMode(&check), 0u);
  EXPECT_EQ(check, 1);
  EXPECT_FALSE(g_largePages);
}

TEST_F(TransportTest, OtherModeRepliesGiveOneAndChangeNothing) {
  for (const bool largePages : {false, true}) {
    for (const std::uint8_t reply : {0x00, 0xAB, 0xBA, 0xFF}) {
      g_largePages = largePages;
      int check = 5;
      dongle_.SetMode(reply);
      EXPECT_EQ(QueryDeviceMode(&check), 1u) << int(reply);
      EXPECT_EQ(check, 5);
      EXPECT_EQ(g_largePages, largePages);
    }
  }
}

TEST_F(TransportTest, ModeQueryFailureAndUnexaminedCount) {
  int check = 5;
  sim::Fault fail = MakeFault(sim::FaultOp::kMode, sim::FaultKind::kFail);
  fail.error = 1167;
  dongle_.AddFault(fail);
  EXPECT_EQ(QueryDeviceMode(&check), 1167u);
  EXPECT_EQ(check, 5);
  EXPECT_FALSE(g_largePages);

  // The byte count of the mode reply is not examined.
  dongle_.AddFault(MakeFault(sim::FaultOp::kMode, sim::FaultKind::kShort));
  EXPECT_EQ(QueryDeviceMode(&check), 0u);
  EXPECT_EQ(LastRecord().returned, 0u);
  EXPECT_TRUE(g_largePages);
  EXPECT_EQ(check, 0);
}

// --- Byte counts and failed calls leave destinations untouched ------------------------------

TEST_F(TransportTest, DataReadWithWrongCountGivesOneAndLeavesDestination) {
  std::uint8_t value[2] = {0x5A, 0x5A};
  dongle_.AddFault(MakeFault(sim::FaultOp::kDataRead, sim::FaultKind::kShort));  // 0 bytes
  EXPECT_EQ(ReadDeviceData(value, ADDR_RF_GROUP, 1), 1u);
  EXPECT_EQ(LastRecord().returned, 0u);
  EXPECT_EQ(value[0], 0x5A);

  dongle_.AddFault(MakeCountFault(sim::FaultOp::kDataRead, 2));
  EXPECT_EQ(ReadDeviceData(value, ADDR_RF_GROUP, 1), 1u);
  EXPECT_EQ(LastRecord().returned, 2u);
  EXPECT_EQ(value[0], 0x5A);
  EXPECT_EQ(value[1], 0x5A);

  ASSERT_EQ(ReadDeviceData(value, ADDR_RF_GROUP, 1), 0u);
  EXPECT_EQ(value[0], 0x00);
  EXPECT_EQ(value[1], 0x5A);
}

TEST_F(TransportTest, DataReadFailedCallReturnsSystemCode) {
  std::uint8_t value = 0x5A;
  sim::Fault fail = MakeFault(sim::FaultOp::kDataRead, sim::FaultKind::kFail);
  fail.error = 2;  // a system code may itself be small
  dongle_.AddFault(fail);
  EXPECT_EQ(ReadDeviceData(&value, ADDR_RF_GROUP, 1), 2u);
  EXPECT_EQ(value, 0x5A);
  dongle_.AddFault(MakeFault(sim::FaultOp::kDataRead, sim::FaultKind::kFail));
  EXPECT_EQ(ReadDeviceData(&value, ADDR_RF_GROUP, 1), 31u);
  EXPECT_EQ(value, 0x5A);
}

TEST_F(TransportTest, DeviceInfoWithWrongCountGivesOne) {
  Bytes info(27, 0x5A);
  dongle_.AddFault(MakeFault(sim::FaultOp::kDataRead, sim::FaultKind::kShort));  // 26 bytes
  EXPECT_EQ(ReadDeviceInfo(info.data()), 1u);
  EXPECT_EQ(LastRecord().returned, 26u);
  EXPECT_EQ(info, Bytes(27, 0x5A));

  dongle_.AddFault(MakeCountFault(sim::FaultOp::kDataRead, 28));
  EXPECT_EQ(ReadDeviceInfo(info.data()), 1u);
  EXPECT_EQ(info, Bytes(27, 0x5A));

  dongle_.AddFault(MakeFault(sim::FaultOp::kDataRead, sim::FaultKind::kFail));
  EXPECT_EQ(ReadDeviceInfo(info.data()), 31u);
  EXPECT_EQ(info, Bytes(27, 0x5A));

  ASSERT_EQ(ReadDeviceInfo(info.data()), 0u);
  EXPECT_EQ(info, sim::DefaultDeviceInfo());
}

TEST_F(TransportTest, DataWriteCountAndFailure) {
  const Bytes bytes = {1, 2, 3};
  dongle_.AddFault(MakeFault(sim::FaultOp::kDataWrite, sim::FaultKind::kShort));
  EXPECT_EQ(WriteDeviceData(bytes.data(), 0x100, 3), 1u);
  dongle_.AddFault(MakeCountFault(sim::FaultOp::kDataWrite, 4));  // above the length: as wrong
  EXPECT_EQ(WriteDeviceData(bytes.data(), 0x100, 3), 1u);
  sim::Fault fail = MakeFault(sim::FaultOp::kDataWrite, sim::FaultKind::kFail);
  fail.error = 1167;
  dongle_.AddFault(fail);
  EXPECT_EQ(WriteDeviceData(bytes.data(), 0x200, 3), 1167u);
  EXPECT_EQ(dongle_.ReadData(0x200, 3), Bytes(3, 0));
  EXPECT_EQ(WriteDeviceData(bytes.data(), 0x200, 3), 0u);
  EXPECT_EQ(dongle_.ReadData(0x200, 3), bytes);
}

TEST_F(TransportTest, WriteOf65SendsNothingAnd64Sends) {
  const Bytes block = Pattern(65, 0x20);
  EXPECT_EQ(WriteDeviceData(block.data(), 0x3000, 65), 2u);
  EXPECT_EQ(dongle_.RequestCount(), 0u);
  EXPECT_TRUE(dongle_.WireLog().empty());  // no call was made: the input buffer went nowhere
  EXPECT_EQ(WriteDeviceData(block.data(), 0x3000, 0xFFFF), 2u);
  EXPECT_EQ(WriteVerified(block.data(), 0x3000, 65, 9, OnFailedRequest::kRetry).status, 2u);
  EXPECT_EQ(dongle_.RequestCount(), 0u);
  EXPECT_TRUE(dongle_.WireLog().empty());

  EXPECT_EQ(WriteDeviceData(block.data(), 0x3000, 64), 0u);
  EXPECT_EQ(dongle_.RequestCount(), 1u);
  EXPECT_EQ(dongle_.ReadData(0x3000, 64), Bytes(block.begin(), block.begin() + 64));
}

TEST_F(TransportTest, CountsBeyondTheBuffersAreNeverCopied) {
  LyingIo lying(600);
  sim::ScopedDeviceIo installLying(&lying);
  // A destination of exactly the requested size, in its own allocation so
  // that the sanitizers see any byte written past it.
  std::vector<std::uint8_t> big(600, 0x5A);
  EXPECT_EQ(ReadDeviceData(big.data(), 0, 600), 1u);
  EXPECT_EQ(big, Bytes(600, 0x5A));
  EXPECT_EQ(ReadFlash(big.data(), 0, 600), 1u);
  EXPECT_EQ(big, Bytes(600, 0x5A));
  EXPECT_EQ(lying.calls, 2);

  std::vector<std::uint8_t> small(4, 0x5A);
  EXPECT_EQ(ReadDeviceData(small.data(), 0, 4), 1u);
  EXPECT_EQ(ReadFlash(small.data(), 0, 4), 1u);
  EXPECT_EQ(small, Bytes(4, 0x5A));
  std::vector<std::uint8_t> info(27, 0x5A);
  EXPECT_EQ(ReadDeviceInfo(info.data()), 1u);
  EXPECT_EQ(info, Bytes(27, 0x5A));

  // A count equal to a length of up to 512 is copied from the output buffer.
  LyingIo exact(512);
  sim::ScopedDeviceIo installExact(&exact);
  std::vector<std::uint8_t> whole(512, 0);
  EXPECT_EQ(ReadDeviceData(whole.data(), 0, 512), 0u);
  EXPECT_EQ(whole, Bytes(512, 0xEE));
}

TEST_F(TransportTest, FailedCallWithoutErrorCodeIsStillAFailure) {
  SilentFailureIo silent;
  sim::ScopedDeviceIo installSilent(&silent);
  std::uint8_t value = 0x5A;
  EXPECT_EQ(ReadDeviceData(&value, 0, 1), platform::kErrorGenFailure);
  EXPECT_EQ(value, 0x5A);
}

// --- Flash retry loops ------------------------------------------------------------------

TEST_F(TransportTest, WriteFlashBlockRetriesFailureAndShortCount) {
  // A failed call, then a count of 63, then 64: three requests and 0.
  dongle_.AddFault(MakeFault(sim::FaultOp::kFlashWrite, sim::FaultKind::kFail));
  dongle_.AddFault(MakeFault(sim::FaultOp::kFlashWrite, sim::FaultKind::kShort, 1, 1));
  const Bytes block = Pattern(64, 0x33);
  EXPECT_EQ(WriteFlashBlock(block.data(), 0x0080), 0u);
  const auto log = dongle_.WireLog();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_FALSE(log[0].ok);
  EXPECT_EQ(log[1].returned, 63u);
  EXPECT_EQ(log[2].returned, 64u);
  for (const auto& record : log) EXPECT_EQ(record.payload, block);
  EXPECT_EQ(dongle_.ReadFlashBytes(0x0080, 64), block);
}

TEST_F(TransportTest, ReadFlashRetriesFailedCallsOnly) {
  const Bytes block = Pattern(64, 0x44);
  dongle_.WriteFlashBytes(0xC000, block);
  dongle_.AddFault(MakeFault(sim::FaultOp::kFlashRead, sim::FaultKind::kFail, 0, 5));
  Bytes back(64, 0);
  EXPECT_EQ(ReadFlash(back.data(), 0xC000, 64), 0u);
  EXPECT_EQ(back, block);
  EXPECT_EQ(dongle_.RequestCount(), 6u);

  // A wrong count gives 1 at once, without a further attempt.
  dongle_.ClearWireLog();
  dongle_.AddFault(MakeFault(sim::FaultOp::kFlashRead, sim::FaultKind::kShort));
  Bytes untouched(64, 0x5A);
  EXPECT_EQ(ReadFlash(untouched.data(), 0xC000, 64), 1u);
  EXPECT_EQ(untouched, Bytes(64, 0x5A));
  EXPECT_EQ(dongle_.WireLog().size(), 1u);
}

TEST_F(TransportTest, FlashRoutinesGiveUpAfterTheRetryLimit) {
  const Bytes block = Pattern(64, 0x55);
  Bytes back(64, 0x5A);
  sim::Fault fail = MakeFault(sim::FaultOp::kAny, sim::FaultKind::kFail, 0, sim::kForever);
  fail.error = 31;
  dongle_.AddFault(fail);
  EXPECT_EQ(WriteFlashBlock(block.data(), 0), 31u);
  EXPECT_EQ(dongle_.RequestCount(), std::uint64_t(kFlashAttempts));
  EXPECT_EQ(ReadFlash(back.data(), 0, 64), 31u);
  EXPECT_EQ(dongle_.RequestCount(), 2u * kFlashAttempts);
  EXPECT_EQ(back, Bytes(64, 0x5A));
  EXPECT_EQ(dongle_.ReadFlashBytes(0, 64), Bytes(64, 0xFF));
}

TEST_F(TransportTest, WriteFlashBlockLimitCountsShortCountsToo) {
  const Bytes block = Pattern(64, 0x66);
  // Only short counts: 1 after the limit.
  dongle_.AddFault(MakeFault(sim::FaultOp::kFlashWrite, sim::FaultKind::kShort, 0, sim::kForever));
  EXPECT_EQ(WriteFlashBlock(block.data(), 0), 1u);
  EXPECT_EQ(dongle_.RequestCount(), std::uint64_t(kFlashAttempts));

  // 63 failed calls, then a short count: the run ends on the short one, 1.
  dongle_.Reset();
  dongle_.SetOverlapHandler([this](const std::string&) { overlaps_.fetch_add(1); });
  io_.Close(g_hDevice);
  g_hDevice = io_.Open(dongle_.InterfacePath().c_str());
  dongle_.AddFault(MakeFault(sim::FaultOp::kFlashWrite, sim::FaultKind::kFail, 0, kFlashAttempts - 1));
  dongle_.AddFault(MakeFault(sim::FaultOp::kFlashWrite, sim::FaultKind::kShort, kFlashAttempts - 1,
                             sim::kForever));
  EXPECT_EQ(WriteFlashBlock(block.data(), 0), 1u);
  EXPECT_EQ(dongle_.RequestCount(), std::uint64_t(kFlashAttempts));

  // 63 short counts, then a failed call: the run ends with its error.
  dongle_.ClearFaults();
  const std::uint64_t before = dongle_.RequestCount();
  dongle_.AddFault(MakeFault(sim::FaultOp::kFlashWrite, sim::FaultKind::kShort, 0, kFlashAttempts - 1));
  sim::Fault fail = MakeFault(sim::FaultOp::kFlashWrite, sim::FaultKind::kFail, kFlashAttempts - 1,
                              sim::kForever);
  fail.error = 1167;
  dongle_.AddFault(fail);
  EXPECT_EQ(WriteFlashBlock(block.data(), 0), 1167u);
  EXPECT_EQ(dongle_.RequestCount() - before, std::uint64_t(kFlashAttempts));
}

TEST_F(TransportTest, FlashRoutinesSurviveFailuresJustBelowTheLimit) {
  const Bytes block = Pattern(64, 0x77);
  dongle_.AddFault(MakeFault(sim::FaultOp::kFlashWrite, sim::FaultKind::kFail, 0, kFlashAttempts - 1));
  EXPECT_EQ(WriteFlashBlock(block.data(), 0x40), 0u);
  EXPECT_EQ(dongle_.RequestCount(), std::uint64_t(kFlashAttempts));
  dongle_.AddFault(MakeFault(sim::FaultOp::kFlashRead, sim::FaultKind::kFail, 0, kFlashAttempts - 1));
  Bytes back(64, 0);
  EXPECT_EQ(ReadFlash(back.data(), 0x40, 64), 0u);
  EXPECT_EQ(back, block);
  // Above the block: wrong on every attempt.
  dongle_.AddFault(MakeCountFault(sim::FaultOp::kFlashRead, 65, 0, sim::kForever));
  EXPECT_EQ(ReadFlash(back.data(), 0x40, 64), 1u);
}

TEST_F(TransportTest, FlashRoutinesEndOnAClosedHandle) {
  ASSERT_TRUE(io_.Close(g_hDevice));
  const Bytes block = Pattern(64, 1);
  Bytes back(64, 0x5A);
  EXPECT_EQ(WriteFlashBlock(block.data(), 0), sim::kErrorInvalidHandle);
  EXPECT_EQ(ReadFlash(back.data(), 0, 64), sim::kErrorInvalidHandle);
  EXPECT_EQ(back, Bytes(64, 0x5A));
  g_hDevice = platform::kInvalidHandle;
  EXPECT_EQ(WriteFlashBlock(block.data(), 0), sim::kErrorInvalidHandle);
  EXPECT_EQ(ReadFlash(back.data(), 0, 64), sim::kErrorInvalidHandle);
  EXPECT_EQ(dongle_.RequestCount(), 0u);
}

TEST_F(TransportTest, FlashRoutinesEndOnAnUnpluggedDongle) {
  dongle_.Unplug();
  const Bytes block = Pattern(64, 2);
  Bytes back(64, 0x5A);
  EXPECT_EQ(WriteFlashBlock(block.data(), 0), platform::kErrorDeviceNotConnected);
  EXPECT_EQ(dongle_.RefusedCount(), std::uint64_t(kFlashAttempts));
  EXPECT_EQ(ReadFlash(back.data(), 0, 64), platform::kErrorDeviceNotConnected);
  EXPECT_EQ(dongle_.RefusedCount(), 2u * kFlashAttempts);
  EXPECT_EQ(back, Bytes(64, 0x5A));
  // Re-plugged, the old handle still fails: the system must reopen.
  dongle_.Plug();
  EXPECT_EQ(WriteFlashBlock(block.data(), 0), platform::kErrorDeviceNotConnected);
  EXPECT_EQ(dongle_.RequestCount(), 0u);
}

TEST_F(TransportTest, FlashRoutinesEndAtTheFirstFailureOnceDeviceAbsentIsSet) {
  dongle_.Unplug();
  g_deviceAbsent.store(1);
  const Bytes block = Pattern(64, 3);
  Bytes back(64, 0x5A);
  EXPECT_EQ(WriteFlashBlock(block.data(), 0), platform::kErrorDeviceNotConnected);
  EXPECT_EQ(dongle_.RefusedCount(), 1u);
  EXPECT_EQ(ReadFlash(back.data(), 0, 64), platform::kErrorDeviceNotConnected);
  EXPECT_EQ(dongle_.RefusedCount(), 2u);

  // A wrong count ends WriteFlashBlock at once as well, with 1.
  dongle_.Plug();
  io_.Close(g_hDevice);
  g_hDevice = io_.Open(dongle_.InterfacePath().c_str());
  dongle_.AddFault(MakeFault(sim::FaultOp::kFlashWrite, sim::FaultKind::kShort, 0, sim::kForever));
  EXPECT_EQ(WriteFlashBlock(block.data(), 0), 1u);
  EXPECT_EQ(dongle_.RequestCount(), 1u);

  // A dongle that answers is still served: the flag only ends retries.
  dongle_.ClearFaults();
  EXPECT_EQ(WriteFlashBlock(block.data(), 0), 0u);
  EXPECT_EQ(ReadFlash(back.data(), 0, 64), 0u);
  EXPECT_EQ(back, block);
}

TEST_F(TransportTest, FlashRoutinesEndWhenTheDongleDisappearsMidway) {
  std::atomic<int> unplugs{0};
  dongle_.SetOnUnplug([&] { unplugs.fetch_add(1); });
  dongle_.DisappearAfter(2);
  const Bytes block = Pattern(64, 4);
  EXPECT_EQ(WriteFlashBlock(block.data(), 0x00), 0u);
  EXPECT_EQ(WriteFlashBlock(block.data(), 0x40), 0u);
  EXPECT_EQ(unplugs.load(), 1);
  EXPECT_EQ(WriteFlashBlock(block.data(), 0x80), platform::kErrorDeviceNotConnected);
  EXPECT_EQ(dongle_.RequestCount(), 2u);
  EXPECT_EQ(dongle_.RefusedCount(), std::uint64_t(kFlashAttempts));
}

// --- The request lock -------------------------------------------------------------------

// Each call of this thread starts another thread's request and gives it 50 ms
// to reach the driver: the lock, held, keeps it out until this request is over.
TEST_F(TransportTest, EveryRoutineHoldsTheLockDuringItsCall) {
  sim::HookedDeviceIo hooked(io_);
  const std::thread::id window = std::this_thread::get_id();
  std::vector<std::thread> others;
  std::atomic<int> othersAtDriver{0};
  int calls = 0;
  int heldDuringCall = 0;
  hooked.SetBeforeCall([&] {
    if (std::this_thread::get_id() != window) return void(othersAtDriver.fetch_add(1));
    const int atDriver = othersAtDriver.load();
    ++calls;
    others.emplace_back([] {
      std::uint8_t group = 0;
      EXPECT_EQ(ReadDeviceData(&group, 21, 1), 0u);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (othersAtDriver.load() == atDriver) ++heldDuringCall;
  });
  sim::ScopedDeviceIo install(&hooked);

  int check = 0;
  std::uint8_t byte = 0;
  Bytes block = Pattern(64, 5);
  DeviceInfo info;
  EXPECT_EQ(QueryDeviceMode(&check), 0u);
  EXPECT_EQ(ReadDeviceData(&byte, 21, 1), 0u);
  EXPECT_EQ(WriteDeviceData(&byte, 21, 1), 0u);
  EXPECT_EQ(ReadDeviceInfo(&info), 0u);
  EXPECT_EQ(WriteFlashBlock(block.data(), 0), 0u);
  EXPECT_EQ(ReadFlash(block.data(), 0, 64), 0u);
  dongle_.AddFault(MakeFault(sim::FaultOp::kFlashWrite, sim::FaultKind::kFail, 0, 3));
  EXPECT_EQ(WriteFlashBlock(block.data(), 0), 0u);
  EXPECT_EQ(calls, 10);
  EXPECT_EQ(heldDuringCall, calls);
  // Released afterwards, also after a retry run that gave up: the others are served.
  for (std::thread& other : others) other.join();
  EXPECT_EQ(othersAtDriver.load(), calls);
  hooked.SetBeforeCall(nullptr);
  dongle_.Unplug();
  EXPECT_NE(ReadFlash(block.data(), 0, 64), 0u);
  auto another = std::async(std::launch::async, [&] { return ReadDeviceData(&byte, 21, 1); });
  EXPECT_EQ(another.get(), platform::kErrorDeviceNotConnected);
}

TEST_F(TransportTest, TwoThreadsHammeringReadsNeverOverlap) {
  dongle_.WriteData(ADDR_RF_GROUP, {4});
  dongle_.WriteData(ADDR_START_BAND, {11});
  dongle_.SetLatencyMicros(100);
  constexpr int kReads = 300;
  std::atomic<int> wrong{0};
  auto hammer = [&](std::uint16_t address, std::uint8_t expected) {
    for (int i = 0; i < kReads; ++i) {
      std::uint8_t value = 0;
      if (ReadDeviceData(&value, address, 1) != 0 || value != expected) wrong.fetch_add(1);
    }
  };
  std::thread worker(hammer, ADDR_RF_GROUP, std::uint8_t{4});
  std::thread window(hammer, ADDR_START_BAND, std::uint8_t{11});
  worker.join();
  window.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(dongle_.OverlapCount(), 0u);
  EXPECT_EQ(dongle_.RequestCount(), 2u * kReads);
}

TEST_F(TransportTest, ResetProgramStateClearsTheDeviceLink) {
  const Bytes block = Pattern(64, 6);
  ASSERT_EQ(WriteDeviceData(block.data(), 0x3000, 64), 0u);
  g_largePages = true;
  g_deviceAbsent.store(1);
  const platform::Handle handle = g_hDevice;
  ResetProgramStateForTests();
  EXPECT_EQ(g_hDevice, platform::kInvalidHandle);
  EXPECT_FALSE(g_largePages);
  EXPECT_EQ(g_deviceAbsent.load(), 0);
  io_.Close(handle);
  // The next run's request goes out as its own bytes and gets its own reply and count.
  g_hDevice = io_.Open(dongle_.InterfacePath().c_str());
  std::uint8_t band = 0x5A;
  ASSERT_EQ(ReadDeviceData(&band, ADDR_START_BAND, 1), 0u);
  EXPECT_EQ(Head(LastRecord(), 6), (Bytes{0xEE, 0x03, 0xC1, 0x01, 0x01, 0x00}));
  EXPECT_TRUE(LastRecord().inputTailZero);
  EXPECT_EQ(LastRecord().returned, 1u);
  EXPECT_EQ(band, 0);
}

// With no device service installed (a build that leaves it out) the null one
// stands in: every request and every opening fails, none reads as success;
// hardware IDs are still upper-cased for the search.
TEST(NullServicesTest, RequestsAndOpeningFailWithoutADeviceService) {
  platform::ServicesScope none([](platform::Services& services) { services = {}; });
  ResetProgramStateForTests();
  std::uint8_t byte = 0;
  EXPECT_EQ(ReadDeviceData(&byte, ADDR_RF_GROUP, 1), platform::kErrorDeviceNotConnected);
  EXPECT_EQ(ReadFlash(&byte, 0, 1), platform::kErrorDeviceNotConnected);
  OpenDevice();
  EXPECT_EQ(g_hDevice, platform::kInvalidHandle);
  EXPECT_EQ(g_deviceAbsent.load(), 1);
  std::string ids = "`az{AZ";  // the hardware IDs' letters, as the search compares them
  platform::Os().devices->UpperCaseAnsi(&ids);
  EXPECT_EQ(ids, "`AZ{AZ");
  ResetProgramStateForTests();
}

}  // namespace
