// Tests of the simulated dongle and SimDeviceIo on their own: the driver
// contract, handles, descriptor reads, fault injection, wire log, transcript
// lines, overlap detection and the system's error texts.
#include "sim/machine/sim_dongle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "device/device_map.h"
#include "device/discovery.h"
#include "device/vendor_request.h"
#include "platform/os_types.h"
#include "sim/machine/dongle_model.h"
#include "sim/machine/sim_device_io.h"
#include "sim/machine/transcript.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// The program's view of the dongle and the dongle model state the same facts
// from the two sides: the address map, the flash geometry and the protocol.
static_assert(ADDR_RF_GROUP == DONGLE_ADDR_RF_GROUP && ADDR_BAND_MARKER == DONGLE_ADDR_BAND_MARKER &&
              ADDR_START_BAND == DONGLE_ADDR_START_BAND && ADDR_IDENTITY == DONGLE_ADDR_IDENTITY &&
              IDENTITY_SIZE == DONGLE_IDENTITY_SIZE && DEVICE_INFO_SIZE == DONGLE_DEVICE_INFO_SIZE);
static_assert(FLASH_BLOCK_SIZE == DONGLE_FLASH_BLOCK &&
              LARGE_PAGE_FLASH_BASE == DONGLE_FLASH_BASE_LARGE_PAGES &&
              SMALL_PAGE_FLASH_BASE == DONGLE_FLASH_BASE_SMALL_PAGES &&
              PROGRAM_AREA_SIZE == DONGLE_PROGRAM_SIZE &&
              PROGRAM_AREA_SIZE == DONGLE_DATA_BLOCK_OFFSET && DATA_BLOCK_SIZE == DONGLE_DATA_BLOCK_SIZE);
static_assert(IOCTL_VENDOR_READ == DONGLE_IOCTL_VENDOR_READ &&
              IOCTL_VENDOR_WRITE == DONGLE_IOCTL_VENDOR_WRITE &&
              CMD_QUERY_MODE == DONGLE_CMD_QUERY_MODE && CMD_DATA == DONGLE_CMD_DATA &&
              CMD_FLASH == DONGLE_CMD_FLASH && MODE_CHECK_DESCRIPTOR == DONGLE_MODE_CHECK_DESCRIPTOR &&
              MODE_SMALL_PAGES == DONGLE_MODE_SMALL_PAGES &&
              MODE_LARGE_PAGES == DONGLE_MODE_LARGE_PAGES &&
              sizeof(VendorRequest) == DONGLE_REQUEST_SIZE &&
              DESCRIPTOR_READ_SIZE == DONGLE_DESCRIPTOR_READ_SIZE &&
              DEVICE_DESCRIPTOR_SIZE == DONGLE_DESCRIPTOR_SIZE);

constexpr std::uint32_t kRead = 0x00226000;
constexpr std::uint32_t kWrite = 0x0022A004;
constexpr std::uint16_t kMode = 0x03BA;
constexpr std::uint16_t kData = 0x03EE;
constexpr std::uint16_t kFlash = 0x03FF;

struct Reply {
  bool ok = false;
  std::uint32_t error = 0;
  std::uint32_t returned = 0xDEAD;
  Bytes out;
};

Bytes Pattern(std::size_t size, std::uint8_t seed) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(seed + 13 * i);
  return bytes;
}

using sim::MakeFault;

class SimDongleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::TheTranscript().Clear();
    dongle_.SetOverlapHandler([this](const std::string& what) {
      overlaps_.fetch_add(1);
      lastOverlap_ = what;
    });
    handle_ = io_.Open(dongle_.InterfacePath().c_str());
    ASSERT_NE(handle_, platform::kInvalidHandle);
  }
  void TearDown() override { sim::TheTranscript().Clear(); }

  // One control call the way the transport makes it: a 512-byte input whose
  // first 70 bytes are the request, a 512-byte output.
  Reply Call(std::uint32_t code, std::uint16_t command, std::uint16_t address,
             std::uint16_t length, const Bytes& payload = {}, std::uint32_t inSize = 512,
             std::uint32_t outSize = 512, platform::Handle handle = 0) {
    Bytes in(std::max<std::uint32_t>(inSize, 1), 0);
    const std::uint8_t header[6] = {
        std::uint8_t(command), std::uint8_t(command >> 8), std::uint8_t(address),
        std::uint8_t(address >> 8), std::uint8_t(length), std::uint8_t(length >> 8)};
    std::memcpy(in.data(), header, std::min<std::uint32_t>(6, inSize));
    for (std::size_t i = 0; i < payload.size() && 6 + i < inSize && i < 64; ++i) in[6 + i] = payload[i];
    Reply reply;
    reply.out.assign(std::max<std::uint32_t>(outSize, 1), 0xA5);
    io_.SetLastError(0);
    reply.ok = io_.IoControl(handle != 0 ? handle : handle_, code, in.data(), inSize,
                             reply.out.data(), outSize, &reply.returned);
    reply.error = reply.ok ? 0 : io_.LastError();
    return reply;
  }

  Reply ReadDescriptor(std::uint32_t size, platform::Handle handle = 0) {
    Reply reply;
    reply.out.assign(std::max<std::uint32_t>(size, 1), 0xA5);
    io_.SetLastError(0);
    reply.ok = io_.Read(handle != 0 ? handle : handle_, reply.out.data(), size, &reply.returned);
    reply.error = reply.ok ? 0 : io_.LastError();
    return reply;
  }

  std::atomic<int> overlaps_{0};
  std::string lastOverlap_;
  sim::SimDongle dongle_;
  sim::SimDeviceIo io_{dongle_};
  platform::Handle handle_ = platform::kInvalidHandle;
};

// --- State -----------------------------------------------------------------------------

TEST(SimDongleState, DefaultsAreTheExpectedDongle) {
  sim::SimDongle dongle;
  EXPECT_TRUE(dongle.IsPresent());
  EXPECT_EQ(dongle.Mode(), 0xCC);
  EXPECT_EQ(dongle.Descriptor(), (Bytes{0x12, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x40, 0x4C,
                                        0x05, 0x68, 0x02, 0x00, 0x01, 0x01, 0x02, 0x00, 0x01}));
  EXPECT_EQ(dongle.InterfacePath(),
            "\\\\?\\usb#vid_054c&pid_0268#5&1a2b3c4d&0&1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}");
  EXPECT_EQ(dongle.ReadData(0, 27), sim::DefaultDeviceInfo());
  const Bytes info = sim::DefaultDeviceInfo();
  EXPECT_EQ(std::string(info.begin() + 7, info.begin() + 9), " S");
  EXPECT_EQ(std::string(info.begin() + 9, info.begin() + 12), "1.4");
  EXPECT_EQ(dongle.ReadData(21, 1), Bytes{0});
  EXPECT_EQ(dongle.ReadData(448, 2), (Bytes{3, 0}));
  EXPECT_EQ(dongle.ReadData(0x3000, 512), Bytes(512, 0));
  EXPECT_EQ(dongle.ReadFlashBytes(0, 0x10000), Bytes(0x10000, 0xFF));
  EXPECT_EQ(dongle.RequestCount(), 0u);
  EXPECT_TRUE(dongle.WireLog().empty());
}

TEST(SimDongleState, ConfigAndAccessors) {
  sim::SimDongleConfig config;
  config.mode = 0xAA;
  config.dataArea = Bytes(0x200, 0x11);
  config.deviceInfo = Bytes(27, 0x22);
  config.rfGroup = 4;
  config.bandMarker = 2;
  config.startBand = 7;
  config.flash = Bytes(0x100, 0x00);
  config.descriptor = Bytes{1, 2, 3};
  config.interfacePath = "\\\\?\\usb#other";
  config.present = false;
  sim::SimDongle dongle(config);
  EXPECT_FALSE(dongle.IsPresent());
  EXPECT_EQ(dongle.Mode(), 0xAA);
  EXPECT_EQ(dongle.ReadData(0, 21), Bytes(21, 0x22));
  EXPECT_EQ(dongle.ReadData(21, 1), Bytes{4});
  EXPECT_EQ(dongle.ReadData(27, 2), Bytes(2, 0x11));
  EXPECT_EQ(dongle.ReadData(448, 2), (Bytes{2, 7}));
  EXPECT_EQ(dongle.ReadData(0x200, 1), Bytes{0});
  EXPECT_EQ(dongle.ReadFlashBytes(0xFF, 2), (Bytes{0x00, 0xFF}));
  EXPECT_EQ(dongle.Descriptor(), (Bytes{1, 2, 3}));
  EXPECT_EQ(dongle.InterfacePath(), "\\\\?\\usb#other");

  // Accessors clip at the end of the 64 KiB areas.
  dongle.WriteData(0xFFFE, {1, 2, 3});
  EXPECT_EQ(dongle.ReadData(0xFFFE, 8), (Bytes{1, 2}));
  dongle.WriteFlashBytes(0xFFFF, {9, 9});
  EXPECT_EQ(dongle.ReadFlashBytes(0xFFFF, 4), Bytes{9});
  EXPECT_TRUE(dongle.ReadData(0x10000, 1).empty());

  dongle.Plug();
  EXPECT_TRUE(dongle.IsPresent());
  dongle.Reset();
  EXPECT_EQ(dongle.Mode(), 0xCC);
  EXPECT_EQ(dongle.ReadFlashBytes(0, 1), Bytes{0xFF});
}

// --- Requests --------------------------------------------------------------------------

TEST_F(SimDongleTest, ModeQuery) {
  dongle_.SetMode(0xBB);
  const Reply reply = Call(kRead, kMode, 0, 1);
  ASSERT_TRUE(reply.ok);
  EXPECT_EQ(reply.out[0], 0xBB);
  EXPECT_EQ(reply.out[1], 0xA5);
  EXPECT_EQ(reply.returned, 1u);
  EXPECT_EQ(Call(kWrite, kMode, 0, 1).error, sim::kErrorInvalidParameter);
}

TEST_F(SimDongleTest, DataReadsAndWrites) {
  const Bytes block = Pattern(64, 1);
  Reply write = Call(kWrite, kData, 0x3000, 64, block);
  ASSERT_TRUE(write.ok);
  EXPECT_EQ(write.returned, 64u);
  EXPECT_EQ(write.out, Bytes(512, 0xA5));
  EXPECT_EQ(dongle_.ReadData(0x3000, 64), block);

  const Reply read = Call(kRead, kData, 0x3008, 8);
  ASSERT_TRUE(read.ok);
  EXPECT_EQ(read.returned, 8u);
  EXPECT_EQ(Bytes(read.out.begin(), read.out.begin() + 8), Bytes(block.begin() + 8, block.begin() + 16));
  EXPECT_EQ(read.out[8], 0xA5);

  // Only the first `length` payload bytes are stored.
  ASSERT_TRUE(Call(kWrite, kData, 0x100, 2, Pattern(64, 50)).ok);
  EXPECT_EQ(dongle_.ReadData(0x100, 3), (Bytes{50, 63, 0}));

  // DeviceInfo in one request; the last bytes of the data area are reachable.
  const Reply info = Call(kRead, kData, 0, 27);
  ASSERT_TRUE(info.ok);
  EXPECT_EQ(Bytes(info.out.begin(), info.out.begin() + 27), sim::DefaultDeviceInfo());
  EXPECT_TRUE(Call(kWrite, kData, 0xFFC0, 64, block).ok);
  EXPECT_EQ(dongle_.ReadData(0xFFC0, 64), block);
}

TEST_F(SimDongleTest, FlashReadsAndWrites) {
  const Bytes block = Pattern(64, 9);
  ASSERT_TRUE(Call(kWrite, kFlash, 0xC040, 64, block).ok);
  EXPECT_EQ(dongle_.ReadFlashBytes(0xC040, 64), block);
  EXPECT_EQ(dongle_.ReadData(0xC040, 64), Bytes(64, 0));  // separate address spaces
  const Reply read = Call(kRead, kFlash, 0xC040, 64);
  ASSERT_TRUE(read.ok);
  EXPECT_EQ(read.returned, 64u);
  EXPECT_EQ(Bytes(read.out.begin(), read.out.begin() + 64), block);
  EXPECT_TRUE(Call(kRead, kFlash, 0xFFC0, 64).ok);
}

TEST_F(SimDongleTest, RequestsThatCannotBeCarriedOutFail) {
  const std::uint32_t kParam = sim::kErrorInvalidParameter;
  EXPECT_EQ(Call(kRead, 0x1234, 0, 1).error, kParam);             // unknown command
  EXPECT_EQ(Call(0x00226004, kData, 0, 1).error, kParam);         // unknown control code
  EXPECT_EQ(Call(kRead, kData, 0, 1, {}, 69).error, kParam);      // input shorter than 70
  EXPECT_EQ(Call(kRead, kData, 0, 1, {}, 0).error, kParam);
  EXPECT_EQ(Call(kRead, kData, 0xFFC1, 64).error, kParam);        // beyond 64 KiB
  EXPECT_EQ(Call(kWrite, kData, 0xFFFF, 2, {1, 2}).error, kParam);
  EXPECT_EQ(Call(kRead, kData, 0, 0).error, kParam);              // length 0
  EXPECT_EQ(Call(kRead, kData, 0, 65).error, kParam);             // length > 64
  EXPECT_EQ(Call(kWrite, kData, 0, 65, Pattern(64, 0)).error, kParam);
  EXPECT_EQ(Call(kRead, kFlash, 0, 32).error, kParam);            // flash not 64 bytes
  EXPECT_EQ(Call(kWrite, kFlash, 0x20, 64, Pattern(64, 0)).error, kParam);  // not aligned
  EXPECT_EQ(Call(kRead, kData, 0, 64, {}, 512, 63).error, platform::kErrorInsufficientBuffer);
  EXPECT_EQ(Call(kRead, kMode, 0, 1, {}, 512, 0).error, platform::kErrorInsufficientBuffer);
  // Nothing was stored, every failure reported a count of 0.
  EXPECT_EQ(dongle_.ReadData(0xFFFF, 1), Bytes{0});
  EXPECT_EQ(dongle_.ReadFlashBytes(0, 0x100), Bytes(0x100, 0xFF));
  const Reply failed = Call(kRead, kData, 0, 65);
  EXPECT_EQ(failed.returned, 0u);
  EXPECT_EQ(failed.out, Bytes(512, 0xA5));
  // They reached the driver.
  EXPECT_EQ(dongle_.RefusedCount(), 0u);
  EXPECT_EQ(dongle_.RequestCount(), 14u);
}

// --- Handles and presence ------------------------------------------------------------------

TEST_F(SimDongleTest, OpenMatchesThePathCaseInsensitively) {
  std::string upper = dongle_.InterfacePath();
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const platform::Handle second = io_.Open(upper.c_str());
  ASSERT_NE(second, platform::kInvalidHandle);
  EXPECT_GT(second, handle_);
  const platform::Handle third = io_.Open(dongle_.InterfacePath().c_str());
  EXPECT_GT(third, second);
  EXPECT_EQ(io_.OpenHandles(), 3u);
  EXPECT_EQ(dongle_.OpenCount(), 3u);

  EXPECT_EQ(io_.Open("\\\\?\\usb#vid_054c&pid_0269"), platform::kInvalidHandle);
  EXPECT_EQ(io_.LastError(), sim::kErrorFileNotFound);
  EXPECT_EQ(io_.Open(""), platform::kInvalidHandle);
  EXPECT_EQ(io_.LastError(), sim::kErrorFileNotFound);
  EXPECT_EQ(io_.Open(nullptr), platform::kInvalidHandle);
  EXPECT_EQ(io_.LastError(), sim::kErrorInvalidParameter);
  dongle_.Unplug();
  EXPECT_EQ(io_.Open(dongle_.InterfacePath().c_str()), platform::kInvalidHandle);
  EXPECT_EQ(io_.LastError(), sim::kErrorFileNotFound);
}

TEST_F(SimDongleTest, ClosedAndUnknownHandlesFail) {
  ASSERT_TRUE(io_.Close(handle_));
  EXPECT_FALSE(io_.Close(handle_));
  EXPECT_EQ(io_.LastError(), sim::kErrorInvalidHandle);
  EXPECT_EQ(Call(kRead, kMode, 0, 1).error, sim::kErrorInvalidHandle);
  EXPECT_EQ(ReadDescriptor(105).error, sim::kErrorInvalidHandle);
  EXPECT_EQ(Call(kRead, kMode, 0, 1, {}, 512, 512, 0x7777).error, sim::kErrorInvalidHandle);
  EXPECT_EQ(Call(kRead, kMode, 0, 1, {}, 512, 512, platform::kInvalidHandle).error,
            sim::kErrorInvalidHandle);
  EXPECT_EQ(dongle_.RequestCount(), 0u);
  EXPECT_EQ(dongle_.RefusedCount(), 0u);  // they never reached the dongle
}

TEST_F(SimDongleTest, UnpluggedDongleRefusesAndStaleHandlesStayDead) {
  dongle_.Unplug();
  EXPECT_FALSE(dongle_.IsPresent());
  EXPECT_EQ(Call(kRead, kMode, 0, 1).error, platform::kErrorDeviceNotConnected);
  EXPECT_EQ(ReadDescriptor(105).error, platform::kErrorDeviceNotConnected);
  EXPECT_EQ(dongle_.RefusedCount(), 2u);
  EXPECT_EQ(dongle_.RequestCount(), 0u);

  // After a re-plug the old handle belongs to the old device object.
  dongle_.Plug();
  EXPECT_EQ(Call(kRead, kMode, 0, 1).error, platform::kErrorDeviceNotConnected);
  const platform::Handle fresh = io_.Open(dongle_.InterfacePath().c_str());
  ASSERT_NE(fresh, platform::kInvalidHandle);
  EXPECT_TRUE(Call(kRead, kMode, 0, 1, {}, 512, 512, fresh).ok);
  // Closing the stale handle still works.
  EXPECT_TRUE(io_.Close(handle_));
  // Memory survives the unplug.
  ASSERT_TRUE(Call(kWrite, kData, 21, 1, {5}, 512, 512, fresh).ok);
  dongle_.Unplug();
  dongle_.Plug();
  EXPECT_EQ(dongle_.ReadData(21, 1), Bytes{5});
}

TEST_F(SimDongleTest, DescriptorRead) {
  Reply reply = ReadDescriptor(105);
  ASSERT_TRUE(reply.ok);
  EXPECT_EQ(reply.returned, 18u);
  EXPECT_EQ(Bytes(reply.out.begin(), reply.out.begin() + 18), sim::DefaultDescriptor());
  EXPECT_EQ(reply.out[18], 0xA5);

  reply = ReadDescriptor(10);
  ASSERT_TRUE(reply.ok);
  EXPECT_EQ(reply.returned, 10u);
  const Bytes descriptor = sim::DefaultDescriptor();
  EXPECT_EQ(reply.out, Bytes(descriptor.begin(), descriptor.begin() + 10));

  dongle_.SetDescriptor({});
  reply = ReadDescriptor(105);
  ASSERT_TRUE(reply.ok);
  EXPECT_EQ(reply.returned, 0u);
}

// --- Fault injection ---------------------------------------------------------------------

TEST_F(SimDongleTest, FailFaultAfterAndCount) {
  dongle_.AddFault(MakeFault(sim::FaultOp::kDataRead, sim::FaultKind::kFail, 2, 2));
  std::vector<std::uint32_t> errors;
  for (int i = 0; i < 5; ++i) errors.push_back(Call(kRead, kData, 0, 1).error);
  EXPECT_EQ(errors, (std::vector<std::uint32_t>{0, 0, 31, 31, 0}));

  sim::Fault custom = MakeFault(sim::FaultOp::kDataRead, sim::FaultKind::kFail, 0, sim::kForever);
  custom.error = 1167;
  dongle_.AddFault(custom);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(Call(kRead, kData, 0, 1).error, 1167u);
  dongle_.ClearFaults();
  EXPECT_TRUE(Call(kRead, kData, 0, 1).ok);
}

TEST_F(SimDongleTest, FaultsMatchTheirOperationKind) {
  dongle_.AddFault(MakeFault(sim::FaultOp::kDataRead, sim::FaultKind::kFail, 0, sim::kForever));
  EXPECT_TRUE(Call(kWrite, kData, 0, 1, {1}).ok);
  EXPECT_TRUE(Call(kRead, kFlash, 0, 64).ok);
  EXPECT_TRUE(Call(kWrite, kFlash, 0, 64, Pattern(64, 0)).ok);
  EXPECT_TRUE(Call(kRead, kMode, 0, 1).ok);
  EXPECT_TRUE(ReadDescriptor(105).ok);
  EXPECT_FALSE(Call(kRead, kData, 0, 1).ok);
  dongle_.ClearFaults();

  const std::pair<sim::FaultOp, bool> kinds[] = {
      {sim::FaultOp::kMode, true}, {sim::FaultOp::kDataWrite, true}, {sim::FaultOp::kFlashRead, true},
      {sim::FaultOp::kFlashWrite, true}, {sim::FaultOp::kDescriptor, true}};
  for (const auto& kind : kinds) {
    dongle_.ClearFaults();
    dongle_.AddFault(MakeFault(kind.first, sim::FaultKind::kFail));
    int failures = 0;
    failures += !Call(kRead, kMode, 0, 1).ok;
    failures += !Call(kWrite, kData, 0, 1, {1}).ok;
    failures += !Call(kRead, kFlash, 0, 64).ok;
    failures += !Call(kWrite, kFlash, 0, 64, Pattern(64, 0)).ok;
    failures += !ReadDescriptor(105).ok;
    failures += !Call(kRead, kData, 0, 1).ok;
    EXPECT_EQ(failures, 1) << static_cast<int>(kind.first);
  }

  // kAny: every request, unknown ones included, but no open.
  dongle_.ClearFaults();
  dongle_.AddFault(MakeFault(sim::FaultOp::kAny, sim::FaultKind::kFail, 0, 3));
  EXPECT_NE(io_.Open(dongle_.InterfacePath().c_str()), platform::kInvalidHandle);
  EXPECT_EQ(Call(kRead, 0x1234, 0, 1).error, 31u);
  EXPECT_FALSE(ReadDescriptor(105).ok);
  EXPECT_FALSE(Call(kWrite, kData, 0, 1, {1}).ok);
  EXPECT_TRUE(Call(kWrite, kData, 0, 1, {1}).ok);
}

TEST_F(SimDongleTest, FailedWritesStoreNothing) {
  dongle_.AddFault(MakeFault(sim::FaultOp::kFlashWrite, sim::FaultKind::kFail));
  dongle_.AddFault(MakeFault(sim::FaultOp::kDataWrite, sim::FaultKind::kFail));
  EXPECT_FALSE(Call(kWrite, kFlash, 0, 64, Pattern(64, 0)).ok);
  EXPECT_FALSE(Call(kWrite, kData, 0x3000, 64, Pattern(64, 0)).ok);
  EXPECT_EQ(dongle_.ReadFlashBytes(0, 64), Bytes(64, 0xFF));
  EXPECT_EQ(dongle_.ReadData(0x3000, 64), Bytes(64, 0));
}

TEST_F(SimDongleTest, ShortFaultReportsOneByteLessAndDeliversTheData) {
  const Bytes block = Pattern(64, 3);
  dongle_.WriteData(0x3000, block);
  dongle_.AddFault(MakeFault(sim::FaultOp::kDataRead, sim::FaultKind::kShort));
  Reply read = Call(kRead, kData, 0x3000, 4);
  ASSERT_TRUE(read.ok);
  EXPECT_EQ(read.returned, 3u);
  EXPECT_EQ(Bytes(read.out.begin(), read.out.begin() + 4), Bytes(block.begin(), block.begin() + 4));

  dongle_.AddFault(MakeFault(sim::FaultOp::kFlashWrite, sim::FaultKind::kShort));
  const Reply write = Call(kWrite, kFlash, 0x40, 64, block);
  ASSERT_TRUE(write.ok);
  EXPECT_EQ(write.returned, 63u);
  EXPECT_EQ(dongle_.ReadFlashBytes(0x40, 64), block);

  dongle_.AddFault(MakeFault(sim::FaultOp::kMode, sim::FaultKind::kShort));
  read = Call(kRead, kMode, 0, 1);
  EXPECT_EQ(read.returned, 0u);
  EXPECT_EQ(read.out[0], 0xCC);

  dongle_.AddFault(MakeFault(sim::FaultOp::kDescriptor, sim::FaultKind::kShort));
  read = ReadDescriptor(105);
  EXPECT_EQ(read.returned, 17u);
  EXPECT_EQ(Bytes(read.out.begin(), read.out.begin() + 18), sim::DefaultDescriptor());
}

TEST_F(SimDongleTest, CorruptAndFlipFaultsFlipOneBit) {
  const Bytes block = Pattern(64, 4);
  dongle_.WriteFlashBytes(0xC000, block);
  dongle_.AddFault(MakeFault(sim::FaultOp::kFlashRead, sim::FaultKind::kCorrupt));
  Reply read = Call(kRead, kFlash, 0xC000, 64);
  ASSERT_TRUE(read.ok);
  EXPECT_EQ(read.returned, 64u);
  Bytes expected = block;
  expected[63] ^= 0x01;
  EXPECT_EQ(Bytes(read.out.begin(), read.out.begin() + 64), expected);
  EXPECT_EQ(dongle_.ReadFlashBytes(0xC000, 64), block);  // the memory is intact

  dongle_.AddFault(MakeFault(sim::FaultOp::kDataWrite, sim::FaultKind::kCorrupt));
  ASSERT_TRUE(Call(kWrite, kData, 16, 11, Bytes(11, 0x20)).ok);
  Bytes stored(11, 0x20);
  stored[10] ^= 0x01;
  EXPECT_EQ(dongle_.ReadData(16, 11), stored);

  dongle_.AddFault(MakeFault(sim::FaultOp::kMode, sim::FaultKind::kCorrupt));
  EXPECT_EQ(Call(kRead, kMode, 0, 1).out[0], 0xCD);

  dongle_.AddFault(MakeFault(sim::FaultOp::kDescriptor, sim::FaultKind::kCorrupt));
  read = ReadDescriptor(105);
  Bytes descriptor = sim::DefaultDescriptor();
  descriptor[17] ^= 0x01;
  EXPECT_EQ(Bytes(read.out.begin(), read.out.begin() + 18), descriptor);
  EXPECT_EQ(read.returned, 18u);

  // A flip names its bit and goes one way: a read's reply only (the memory
  // keeps the right byte), a write's payload as the dongle stores it; a byte
  // the request does not carry stays as it is.
  sim::Fault flip = MakeFault(sim::FaultOp::kDataRead, sim::FaultKind::kFlip);
  flip.flipByte = 4;
  flip.flipBit = 3;
  dongle_.AddFault(flip);
  read = Call(kRead, kData, 16, 11);
  Bytes flipped = stored;
  flipped[4] ^= 0x08;
  EXPECT_EQ(Bytes(read.out.begin(), read.out.begin() + 11), flipped);
  EXPECT_EQ(dongle_.ReadData(16, 11), stored);
  flip.op = sim::FaultOp::kDataWrite;
  flip.flipByte = 0;
  flip.flipBit = 7;
  dongle_.AddFault(flip);
  ASSERT_TRUE(Call(kWrite, kData, 449, 1, Bytes{12}).ok);
  EXPECT_EQ(dongle_.ReadData(449, 1), Bytes{12 ^ 0x80});
  flip.op = sim::FaultOp::kDataRead;
  flip.flipByte = 1;
  dongle_.AddFault(flip);
  EXPECT_EQ(Call(kRead, kData, 449, 1).out[0], 12 ^ 0x80);
}

TEST_F(SimDongleTest, ReportCountFault) {
  dongle_.AddFault(MakeCountFault(sim::FaultOp::kDataRead, 2));
  const Reply read = Call(kRead, kData, 21, 1);
  ASSERT_TRUE(read.ok);
  EXPECT_EQ(read.returned, 2u);
}

TEST_F(SimDongleTest, SeveralFaultsCountOnTheirOwn) {
  // The transport's retry case: a failed call, then 63, then 64.
  dongle_.AddFault(MakeFault(sim::FaultOp::kFlashWrite, sim::FaultKind::kFail));
  dongle_.AddFault(MakeFault(sim::FaultOp::kFlashWrite, sim::FaultKind::kShort, 1, 1));
  const Bytes block = Pattern(64, 5);
  EXPECT_FALSE(Call(kWrite, kFlash, 0, 64, block).ok);
  EXPECT_EQ(Call(kWrite, kFlash, 0, 64, block).returned, 63u);
  EXPECT_EQ(Call(kWrite, kFlash, 0, 64, block).returned, 64u);

  // On the same request a failure wins over a short count; both are used up.
  dongle_.AddFault(MakeFault(sim::FaultOp::kDataRead, sim::FaultKind::kShort));
  dongle_.AddFault(MakeFault(sim::FaultOp::kAny, sim::FaultKind::kFail));
  EXPECT_EQ(Call(kRead, kData, 0, 4).error, 31u);
  EXPECT_EQ(Call(kRead, kData, 0, 4).returned, 4u);

  // Short and corrupt combine.
  dongle_.AddFault(MakeFault(sim::FaultOp::kDataRead, sim::FaultKind::kShort));
  dongle_.AddFault(MakeFault(sim::FaultOp::kDataRead, sim::FaultKind::kCorrupt));
  const Reply both = Call(kRead, kData, 0x3000, 2);
  EXPECT_EQ(both.returned, 1u);
  EXPECT_EQ(both.out[1], 0x01);
}

TEST_F(SimDongleTest, UnplugFaultUnplugsBeforeTheRequestAndRunsTheHook) {
  int hooks = 0;
  dongle_.SetOnUnplug([&] {
    ++hooks;
    EXPECT_FALSE(dongle_.IsPresent());  // the hook may ask the dongle
  });
  dongle_.SetTranscriptLogging(true);
  dongle_.AddFault(MakeFault(sim::FaultOp::kDataWrite, sim::FaultKind::kUnplug, 1));
  EXPECT_TRUE(Call(kWrite, kData, 0, 1, {7}).ok);
  const Reply refused = Call(kWrite, kData, 1, 1, {8});
  EXPECT_EQ(refused.error, platform::kErrorDeviceNotConnected);
  EXPECT_EQ(hooks, 1);
  EXPECT_FALSE(dongle_.IsPresent());
  EXPECT_EQ(dongle_.ReadData(0, 2), (Bytes{7, 'A'}));
  EXPECT_EQ(dongle_.RequestCount(), 1u);
  EXPECT_EQ(dongle_.RefusedCount(), 1u);
  EXPECT_EQ(sim::TheTranscript().Events("request").size(), 1u);
  // An outside Unplug() does not run the hook.
  dongle_.Plug();
  dongle_.Unplug();
  EXPECT_EQ(hooks, 1);
}

TEST_F(SimDongleTest, OpenFaults) {
  const std::string path = dongle_.InterfacePath();
  sim::Fault fail = MakeFault(sim::FaultOp::kOpen, sim::FaultKind::kFail, 1);
  fail.error = 5;
  dongle_.AddFault(fail);
  EXPECT_NE(io_.Open(path.c_str()), platform::kInvalidHandle);
  EXPECT_EQ(io_.Open(path.c_str()), platform::kInvalidHandle);
  EXPECT_EQ(io_.LastError(), 5u);
  EXPECT_NE(io_.Open(path.c_str()), platform::kInvalidHandle);
  // Open faults do not touch requests.
  EXPECT_TRUE(Call(kRead, kMode, 0, 1).ok);

  int hooks = 0;
  dongle_.SetOnUnplug([&] { ++hooks; });
  dongle_.AddFault(MakeFault(sim::FaultOp::kOpen, sim::FaultKind::kUnplug));
  EXPECT_EQ(io_.Open(path.c_str()), platform::kInvalidHandle);
  EXPECT_EQ(io_.LastError(), sim::kErrorFileNotFound);
  EXPECT_EQ(hooks, 1);
  EXPECT_FALSE(dongle_.IsPresent());
}

TEST_F(SimDongleTest, DisappearAfterKRequests) {
  int hooks = 0;
  dongle_.SetOnUnplug([&] { ++hooks; });
  dongle_.DisappearAfter(3);
  EXPECT_TRUE(Call(kRead, kMode, 0, 1).ok);
  EXPECT_TRUE(ReadDescriptor(105).ok);
  EXPECT_EQ(hooks, 0);
  EXPECT_TRUE(Call(kRead, kData, 0, 1).ok);  // the third is still served
  EXPECT_EQ(hooks, 1);
  EXPECT_FALSE(dongle_.IsPresent());
  EXPECT_EQ(Call(kRead, kData, 0, 1).error, platform::kErrorDeviceNotConnected);
  EXPECT_EQ(dongle_.RequestCount(), 3u);

  dongle_.Plug();
  dongle_.DisappearAfter(0);  // at once
  EXPECT_EQ(hooks, 2);
  EXPECT_FALSE(dongle_.IsPresent());
  dongle_.Plug();
  dongle_.DisappearAfter(-1);
  EXPECT_TRUE(dongle_.IsPresent());
}

TEST_F(SimDongleTest, LatencyKeepsTheRequestInside) {
  dongle_.SetLatencyMicros(3000);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(Call(kRead, kMode, 0, 1).ok);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::microseconds(3000));
  dongle_.SetLatencyMicros(200);  // the busy-wait range
  const auto again = std::chrono::steady_clock::now();
  EXPECT_TRUE(ReadDescriptor(105).ok);
  EXPECT_GE(std::chrono::steady_clock::now() - again, std::chrono::microseconds(200));
}

// --- Wire log and transcript ------------------------------------------------------------

TEST_F(SimDongleTest, WireLogRecordsEveryRequest) {
  const Bytes block = Pattern(64, 6);
  Call(kRead, kMode, 0, 1);
  Call(kWrite, kData, 0x3000, 3, block);
  Call(kRead, kData, 0, 65);  // refused by the driver: still logged
  ReadDescriptor(105);
  dongle_.Unplug();
  Call(kRead, kData, 21, 1);

  const auto log = dongle_.WireLog();
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(log[0].kind, sim::WireRecord::Kind::kIoControl);
  EXPECT_EQ(log[0].code, kRead);
  EXPECT_EQ(log[0].command, kMode);
  EXPECT_EQ(log[0].length, 1u);
  EXPECT_TRUE(log[0].ok);
  EXPECT_EQ(log[0].returned, 1u);
  EXPECT_TRUE(log[0].payload.empty());

  EXPECT_EQ(log[1].code, kWrite);
  EXPECT_EQ(log[1].command, kData);
  EXPECT_EQ(log[1].address, 0x3000);
  EXPECT_EQ(log[1].length, 3u);
  EXPECT_EQ(log[1].payload, Bytes(block.begin(), block.begin() + 3));
  EXPECT_EQ(log[1].inSize, 512u);
  EXPECT_EQ(log[1].outSize, 512u);
  EXPECT_TRUE(log[1].inputTailZero);

  EXPECT_FALSE(log[2].ok);
  EXPECT_FALSE(log[2].refused);
  EXPECT_EQ(log[2].error, sim::kErrorInvalidParameter);

  EXPECT_EQ(log[3].kind, sim::WireRecord::Kind::kRead);
  EXPECT_EQ(log[3].outSize, 105u);
  EXPECT_EQ(log[3].returned, 18u);

  EXPECT_TRUE(log[4].refused);
  EXPECT_EQ(log[4].address, 21u);
  EXPECT_EQ(log[4].error, platform::kErrorDeviceNotConnected);

  dongle_.ClearWireLog();
  EXPECT_TRUE(dongle_.WireLog().empty());
  dongle_.Plug();
  dongle_.SetWireLogEnabled(false);
  const platform::Handle fresh = io_.Open(dongle_.InterfacePath().c_str());
  Call(kRead, kMode, 0, 1, {}, 512, 512, fresh);
  EXPECT_TRUE(dongle_.WireLog().empty());
  EXPECT_EQ(dongle_.RequestCount(), 5u);  // counted all the same
  EXPECT_EQ(dongle_.RefusedCount(), 1u);
}

TEST_F(SimDongleTest, WireLogSeesADirtyInputTail) {
  Bytes in(512, 0);
  in[0] = 0xBA;
  in[1] = 0x03;
  in[4] = 1;
  in[300] = 1;
  Bytes out(512, 0);
  std::uint32_t returned = 0;
  ASSERT_TRUE(io_.IoControl(handle_, kRead, in.data(), 512, out.data(), 512, &returned));
  EXPECT_FALSE(dongle_.WireLog().back().inputTailZero);
}

TEST_F(SimDongleTest, TranscriptLines) {
  Call(kRead, kMode, 0, 1);
  EXPECT_TRUE(sim::TheTranscript().Lines().empty());  // off by default

  dongle_.SetTranscriptLogging(true);
  Call(kRead, kMode, 0, 1);
  Call(kWrite, kData, 0x1C1, 2, {0xAB, 0x0C});
  Call(kRead, kData, 0, 27);
  Call(kWrite, kFlash, 0xC000, 64, Bytes(64, 0xF0));
  Call(kRead, kData, 0, 65);  // the driver refuses it, but it reached the driver
  ReadDescriptor(105);
  dongle_.Unplug();
  Call(kRead, kData, 21, 1);  // never reached the driver: not in the transcript
  ReadDescriptor(105);

  const auto lines = sim::TheTranscript().Lines();
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0].ToJson(),
            R"({"event":"request","ioctl":"read","command":954,"address":0,"length":1})");
  EXPECT_EQ(lines[1].ToJson(),
            R"({"event":"request","ioctl":"write","command":1006,"address":449,"length":2,"data":"ab0c"})");
  EXPECT_EQ(lines[2].ToJson(),
            R"({"event":"request","ioctl":"read","command":1006,"address":0,"length":27})");
  std::string f0Hex;
  for (int i = 0; i < 64; ++i) f0Hex += "f0";
  EXPECT_EQ(lines[3].ToJson(),
            R"({"event":"request","ioctl":"write","command":1023,"address":49152,"length":64,"data":")" +
                f0Hex + "\"}");
  EXPECT_EQ(lines[4].Get("length"), "65");
  EXPECT_EQ(lines[5].ToJson(), R"({"event":"readfile","length":105})");
  EXPECT_EQ(sim::TheTranscript().Events("readfile").size(), 1u);
  EXPECT_EQ(dongle_.RefusedCount(), 2u);

  dongle_.SetTranscriptLogging(false);
  dongle_.Plug();
  const platform::Handle fresh = io_.Open(dongle_.InterfacePath().c_str());
  Call(kRead, kMode, 0, 1, {}, 512, 512, fresh);
  EXPECT_EQ(sim::TheTranscript().Lines().size(), 6u);
}

// --- Overlap detection -----------------------------------------------------------------

TEST_F(SimDongleTest, SequentialRequestsDoNotOverlap) {
  dongle_.SetLatencyMicros(50);
  for (int i = 0; i < 20; ++i) Call(kRead, kMode, 0, 1);
  EXPECT_EQ(dongle_.OverlapCount(), 0u);
  EXPECT_EQ(overlaps_.load(), 0);
}

TEST_F(SimDongleTest, ARequestInsideAnotherIsAnOverlap) {
  // The unplug hook runs while its request is inside the dongle: a request
  // made from it overlaps, deterministically.
  dongle_.SetOnUnplug([&] { ReadDescriptor(105); });
  dongle_.AddFault(MakeFault(sim::FaultOp::kMode, sim::FaultKind::kUnplug));
  Call(kRead, kMode, 0, 1);
  EXPECT_EQ(dongle_.OverlapCount(), 1u);
  EXPECT_EQ(overlaps_.load(), 1);
  EXPECT_NE(lastOverlap_.find("descriptor read"), std::string::npos);
}

TEST_F(SimDongleTest, TwoThreadsWithoutALockAreCaught) {
  dongle_.SetLatencyMicros(2000);
  auto hammer = [this](platform::Handle handle) {
    Bytes in(512, 0), out(512, 0);
    in[0] = 0xBA;
    in[1] = 0x03;
    in[4] = 1;
    for (int i = 0; i < 50 && overlaps_.load() == 0; ++i) {
      std::uint32_t returned = 0;
      io_.IoControl(handle, kRead, in.data(), 512, out.data(), 512, &returned);
    }
  };
  const platform::Handle other = io_.Open(dongle_.InterfacePath().c_str());
  std::thread a(hammer, handle_);
  std::thread b(hammer, other);
  a.join();
  b.join();
  EXPECT_GT(dongle_.OverlapCount(), 0u);
  EXPECT_EQ(dongle_.OverlapCount(), std::uint64_t(overlaps_.load()));
}

TEST(SimDongleDeathTest, DefaultOverlapHandlerAborts) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        sim::SimDongle dongle;
        sim::SimDeviceIo io(dongle);
        const platform::Handle handle = io.Open(dongle.InterfacePath().c_str());
        dongle.SetOnUnplug([&] {
          std::uint8_t buffer[18];
          std::uint32_t read = 0;
          io.Read(handle, buffer, sizeof buffer, &read);
        });
        sim::Fault fault;
        fault.op = sim::FaultOp::kDescriptor;
        fault.kind = sim::FaultKind::kUnplug;
        dongle.AddFault(fault);
        std::uint8_t buffer[18];
        std::uint32_t read = 0;
        io.Read(handle, buffer, sizeof buffer, &read);
      },
      "overlapping requests");
}

// --- Last error and error texts -----------------------------------------------------------

TEST(SimDeviceIoErrors, SystemErrorTexts) {
  sim::SimDongle dongle;
  sim::SimDeviceIo io(dongle);
  for (const std::uint32_t code : {2u, 6u, 8u, 13u, 31u, 87u, 122u, 259u, 1167u}) {
    std::string text;
    ASSERT_TRUE(io.SystemErrorText(code, &text)) << code;
    ASSERT_GE(text.size(), 3u);
    EXPECT_EQ(text.substr(text.size() - 3), ".\r\n") << code;
  }
  std::string text = "unchanged";
  EXPECT_FALSE(io.SystemErrorText(0x12345, &text));
  EXPECT_FALSE(io.SystemErrorText(5, &text));
  EXPECT_EQ(text, "unchanged");
  ASSERT_TRUE(io.SystemErrorText(6, &text));
  EXPECT_EQ(text, "The handle is invalid.\r\n");
  ASSERT_TRUE(io.SystemErrorText(1167, &text));
  EXPECT_EQ(text, "The device is not connected.\r\n");
}

TEST(SimDeviceIoErrors, LastErrorIsPerThread) {
  sim::SimDongle dongle;
  sim::SimDeviceIo io(dongle);
  io.SetLastError(87);
  std::uint32_t seen = 0xFFFF;
  std::thread other([&] {
    seen = io.LastError();
    io.SetLastError(6);
  });
  other.join();
  EXPECT_EQ(seen, 0u);
  EXPECT_EQ(io.LastError(), 87u);
  // A successful call leaves it unchanged.
  const platform::Handle handle = io.Open(dongle.InterfacePath().c_str());
  ASSERT_NE(handle, platform::kInvalidHandle);
  std::uint8_t buffer[18];
  std::uint32_t read = 0;
  ASSERT_TRUE(io.Read(handle, buffer, sizeof buffer, &read));
  EXPECT_EQ(io.LastError(), 87u);
}

TEST(SimDeviceIoErrors, ScopedDeviceIoRestoresTheServices) {
  sim::SimDongle dongle;
  sim::SimDeviceIo io(dongle);
  platform::DeviceIo* before = platform::Os().io;
  {
    sim::ScopedDeviceIo installed(&io);
    EXPECT_EQ(platform::Os().io, &io);
  }
  EXPECT_EQ(platform::Os().io, before);
}

}  // namespace
