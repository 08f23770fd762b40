// The flash programming sequence against the real request transport and the
// simulated dongle: request order and addresses in both page geometries,
// progress and window operations, verification failures and their limits,
// the dongle going absent, the data block and the identity restore.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "device/vendor_request.h"
#include "firmware/firmware_image.h"
#include "firmware/firmware_upgrader.h"
#include "firmware/upgrade_error.h"
#include "platform/platform.h"
#include "sim/machine/sim_device_io.h"
#include "sim/machine/sim_dongle.h"
#include "sim/desktop/sim_resources.h"
#include "recording_upgrader.h"
#include "sim/desktop/program_reset.h"

namespace {

// Attempts per flash request, as the program promises them (a number, not its constant).
constexpr int kFlashAttempts = 64;
// The other limits the program promises, as numbers: per block write and page
// verification, at the identity's write-back and confirmation, at an RF
// setting, empty descriptor reads and enumeration size requests.
static_assert(kBlockWriteAttempts == 9 && kPageVerifyFailures == 9 && kIdentityWriteAttempts == 9 &&
              kConfirmReads == 9 && kRfWriteAttempts == 9 &&
              kDescriptorEmptyReadLimit == 64 && kSizeRequestLimit == 8);

using platform::BoxStyle;
using Box = RecordingUpgrader::Box;
using Bytes = std::vector<std::uint8_t>;

// Functions, not constants: g_strUpgradeError belongs to another translation
// unit, whose static initialisation may come after this one's.
Box UpgradeErrorBox() { return {g_strUpgradeError, BoxStyle::kWarning}; }
Box SuccessBox() { return {kMsgUpgradeSucceeded, BoxStyle::kInformation}; }

// An identity whose bytes change under ScrambleBlock.
const Bytes kIdentity = {0x12, 0x34, 0x56, 0x78, 0x9A, 0x03, 0xBC, 0xDE, 0xF0, 0x1F, 0x2E};

std::string Hex(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", value);
  return text;
}

// One request as a short line: "FW c000" (flash write), "FR c000" (flash
// read), "DW f000/64" (data write, length), "DR 0010/11" (data read).
std::string Describe(const sim::WireRecord& record) {
  const bool write = record.code == IOCTL_VENDOR_WRITE;
  if (record.command == CMD_FLASH) return std::string(write ? "FW " : "FR ") + Hex(record.address);
  if (record.command == CMD_DATA) {
    return std::string(write ? "DW " : "DR ") + Hex(record.address) + "/" + std::to_string(record.length);
  }
  return "other " + Hex(record.command);
}

std::vector<std::string> Describe(const std::vector<sim::WireRecord>& log) {
  std::vector<std::string> lines;
  for (const sim::WireRecord& record : log) lines.push_back(Describe(record));
  return lines;
}

void Append(std::vector<std::string>* lines, const std::vector<std::string>& more) {
  lines->insert(lines->end(), more.begin(), more.end());
}

// The requests of one page written and verified once, without trouble.
std::vector<std::string> CleanPage(unsigned address, int blocks) {
  std::vector<std::string> lines;
  for (int b = 0; b < blocks; ++b) lines.push_back("FW " + Hex(address + 64 * b));
  for (int b = 0; b < blocks; ++b) lines.push_back("FR " + Hex(address + 64 * b));
  return lines;
}

// The write pass of a page, alone.
std::vector<std::string> WritePass(unsigned address, int blocks) {
  std::vector<std::string> lines;
  for (int b = 0; b < blocks; ++b) lines.push_back("FW " + Hex(address + 64 * b));
  return lines;
}

std::vector<std::string> Repeat(const std::string& line, int times) { return std::vector<std::string>(times, line); }

struct Geometry {
  bool largePages;
  unsigned pageSize;
  unsigned base;
  int pages;
};
constexpr Geometry kLarge{true, 512, 0xC000, 24};
constexpr Geometry kSmall{false, 128, 0x0000, 96};

// Every request of a run that succeeds at once.
std::vector<std::string> CleanRun(const Geometry& g) {
  std::vector<std::string> lines;
  for (int k = 0; k < g.pages; ++k) Append(&lines, CleanPage(g.base + g.pageSize * k, g.pageSize / 64));
  for (int j = 0; j < 8; ++j) {
    const unsigned address = g.base + 0x3000 + 64 * j;
    lines.push_back("DW " + Hex(address) + "/64");
    lines.push_back("DR " + Hex(address) + "/64");
  }
  lines.push_back("DW 0010/11");
  lines.push_back("DR 0010/11");
  return lines;
}

// The window operations of a run that succeeds at once.
std::vector<std::string> CleanRunCalls(const Geometry& g) {
  std::vector<std::string> calls = {"exists", "progress 0", "repaint", "exit off"};
  for (int k = 0; k < g.pages; ++k) {
    calls.push_back("progress " + std::to_string(92 * k / g.pages));
    calls.push_back("repaint");
  }
  for (int j = 0; j < 8; ++j) {
    calls.push_back("progress " + std::to_string(92 + j));
    calls.push_back("repaint");
  }
  Append(&calls, {"progress 100", "box information", "progress 0"});
  return calls;
}

class ProgrammingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::SimDongleConfig config;
    config.deviceInfo = sim::DefaultDeviceInfo();
    std::memcpy(&config.deviceInfo[ADDR_IDENTITY], kIdentity.data(), IDENTITY_SIZE);
    dongle_.Reset(config);

    saved_ = platform::Os();
    platform::Services services = saved_;
    services.io = &io_;
    services.resources = &resources_;
    platform::Install(services);

    ResetProgramStateForTests();
    g_hDevice = io_.Open(sim::DefaultInterfacePath().c_str());
    ASSERT_NE(g_hDevice, platform::kInvalidHandle);
    ASSERT_TRUE(dlg_.LoadFirmwareImages());
    ASSERT_EQ(ReadDeviceInfo(dlg_.m_info), 0u);
    dongle_.ClearWireLog();
  }

  void TearDown() override {
    io_.Close(g_hDevice);
    ResetProgramStateForTests();
    platform::Install(saved_);
  }

  void Use(const Geometry& g) { g_largePages = g.largePages; }

  // The chosen image's bytes as the dongle should receive them.
  Bytes Scrambled(std::uint32_t offset, std::uint32_t size) const {
    const std::uint8_t* image = dlg_.m_pImageData[dlg_.m_nSelected];
    Bytes bytes(image + offset, image + offset + size);
    ScrambleBlock(bytes.data(), size);
    return bytes;
  }

  std::vector<std::string> Wire() const { return Describe(dongle_.WireLog()); }

  // Payloads of the writes with the given command, concatenated.
  Bytes Sent(std::uint16_t command) const {
    Bytes bytes;
    for (const sim::WireRecord& record : dongle_.WireLog()) {
      if (record.code == IOCTL_VENDOR_WRITE && record.command == command) {
        bytes.insert(bytes.end(), record.payload.begin(), record.payload.end());
      }
    }
    return bytes;
  }

  void AddFault(sim::FaultOp op, sim::FaultKind kind, int after, int count) {
    dongle_.AddFault(sim::MakeFault(op, kind, after, count));
  }

  // A page is written and read back through WriteFlashPage alone.
  Bytes FirstPage(const Geometry& g) const { return Scrambled(0, g.pageSize); }

  // The run stopped: Exit enabled again before the final box.
  void ExpectStoppedWith(const std::vector<Box>& boxes) {
    EXPECT_EQ(dlg_.Messages(), boxes);
    ASSERT_GE(dlg_.calls.size(), 3u);
    const std::vector<std::string> tail(dlg_.calls.end() - 3, dlg_.calls.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"exists", "exit on", "box warning"}));
    EXPECT_TRUE(dlg_.exitEnabled);
    EXPECT_EQ(dlg_.m_bDownloading, 1);
  }

  sim::SimDongle dongle_;
  sim::SimDeviceIo io_{dongle_};
  sim::SimResources resources_;
  RecordingUpgrader dlg_;
  platform::Services saved_;
};

// --- A whole run, both geometries -------------------------------------------------

TEST_F(ProgrammingTest, BothGeometriesRunInOrder) {
  for (const auto& [g, requests] : {std::pair{kLarge, 24u * 16 + 8 * 2 + 2},
                                    std::pair{kSmall, 96u * 4 + 8 * 2 + 2}}) {
    SCOPED_TRACE(g.largePages ? "large pages" : "small pages");
    Use(g);
    dongle_.ClearWireLog();
    dlg_.calls.clear();
    dlg_.boxes.clear();
    dlg_.ProgramFirmware();
    EXPECT_EQ(Wire(), CleanRun(g));
    EXPECT_EQ(dongle_.WireLog().size(), requests);
    EXPECT_EQ(dlg_.calls, CleanRunCalls(g));
    EXPECT_EQ(dlg_.Messages(), std::vector<Box>{SuccessBox()});
  }
}

TEST_F(ProgrammingTest, PageAndDataBlockAddresses) {
  for (const Geometry& g : {kLarge, kSmall}) {
    SCOPED_TRACE(g.largePages ? "large pages" : "small pages");
    Use(g);
    dongle_.ClearWireLog();
    dlg_.ProgramFirmware();
    std::vector<unsigned> pageStarts, dataBlocks;
    for (const sim::WireRecord& record : dongle_.WireLog()) {
      if (record.code != IOCTL_VENDOR_WRITE) continue;
      if (record.command == CMD_FLASH && record.address % g.pageSize == 0) pageStarts.push_back(record.address);
      if (record.command == CMD_DATA && record.length == 64) dataBlocks.push_back(record.address);
    }
    ASSERT_EQ(pageStarts.size(), static_cast<std::size_t>(g.pages));
    EXPECT_EQ(pageStarts.front(), g.base);
    EXPECT_EQ(pageStarts.back(), g.largePages ? 0xEE00u : 0x2F80u);
    for (int k = 0; k < g.pages; ++k) EXPECT_EQ(pageStarts[k], g.base + g.pageSize * k);
    ASSERT_EQ(dataBlocks.size(), 8u);
    for (int j = 0; j < 8; ++j) EXPECT_EQ(dataBlocks[j], (g.largePages ? 0xF000u : 0x3000u) + 64 * j);
  }
}

TEST_F(ProgrammingTest, DongleHoldsTheScrambledImage) {
  for (const Geometry& g : {kLarge, kSmall}) {
    SCOPED_TRACE(g.largePages ? "large pages" : "small pages");
    Use(g);
    dongle_.ClearWireLog();
    dlg_.ProgramFirmware();
    const Bytes program = Scrambled(FirmwareImage::kProgramOffset, FirmwareImage::kProgramSize);
    const Bytes data = Scrambled(FirmwareImage::kDataBlockOffset, FirmwareImage::kDataBlockSize);
    EXPECT_EQ(Sent(CMD_FLASH), program);
    EXPECT_EQ(dongle_.ReadFlashBytes(g.base, FirmwareImage::kProgramSize), program);
    EXPECT_EQ(dongle_.ReadData(g.base + 0x3000, FirmwareImage::kDataBlockSize), data);
  }
}

TEST_F(ProgrammingTest, ProgressPositions) {
  Use(kLarge);
  dlg_.ProgramFirmware();
  EXPECT_EQ(dlg_.positions, (std::vector<int>{0,  0,  3,  7,  11, 15, 19, 23, 26, 30, 34, 38, 42, 46, 49,
                                              53, 57, 61, 65, 69, 72, 76, 80, 84, 88, 92, 93, 94, 95, 96,
                                              97, 98, 99, 100, 0}));
  dlg_.positions.clear();
  Use(kSmall);
  dlg_.ProgramFirmware();
  std::vector<int> expected = {0};
  for (int k = 0; k < 96; ++k) expected.push_back(92 * k / 96);
  for (int j = 0; j < 8; ++j) expected.push_back(92 + j);
  expected.push_back(100);
  expected.push_back(0);
  EXPECT_EQ(dlg_.positions, expected);
  EXPECT_EQ(std::vector<int>(dlg_.positions.begin() + 1, dlg_.positions.begin() + 6),
            (std::vector<int>{0, 0, 1, 2, 3}));
  EXPECT_EQ(dlg_.positions[96], 91);
}

TEST_F(ProgrammingTest, SuccessLeavesExitDisabledAndDownloadingSet) {
  Use(kLarge);
  dlg_.ProgramFirmware();
  EXPECT_EQ(dlg_.progress, 0);
  EXPECT_FALSE(dlg_.exitEnabled);
  EXPECT_EQ(dlg_.m_bDownloading, 1);
  EXPECT_EQ(dlg_.m_pImageCur, dlg_.m_pImageData[5] + FirmwareImage::kTrailerOffset);
}

TEST_F(ProgrammingTest, ChosenEditionIsSent) {
  Use(kLarge);
  dlg_.m_nSelected = 2;
  dlg_.ProgramFirmware();
  EXPECT_EQ(Sent(CMD_FLASH), Scrambled(0, FirmwareImage::kProgramSize));
  const std::uint8_t* other = dlg_.m_pImageData[5];
  Bytes standard(other, other + FirmwareImage::kProgramSize);
  ScrambleBlock(standard.data(), FirmwareImage::kProgramSize);
  EXPECT_NE(Sent(CMD_FLASH), standard);
}

TEST_F(ProgrammingTest, NoWindowNoInitialRepaint) {
  Use(kLarge);
  dlg_.windowExists = false;
  AddFault(sim::FaultOp::kDataWrite, sim::FaultKind::kFail, 0, 1);
  dlg_.ProgramFirmware();
  ASSERT_GE(dlg_.calls.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(dlg_.calls.begin(), dlg_.calls.begin() + 3),
            (std::vector<std::string>{"exists", "exit off", "progress 0"}));
  EXPECT_EQ(std::vector<std::string>(dlg_.calls.end() - 2, dlg_.calls.end()),
            (std::vector<std::string>{"exists", "box warning"}));
  EXPECT_FALSE(dlg_.exitEnabled);
  EXPECT_EQ(dlg_.Messages(), std::vector<Box>{UpgradeErrorBox()});
}

// --- Identity, image bytes, repeated runs --------------------------------------------

TEST_F(ProgrammingTest, IdentityRestoredUnscrambled) {
  Use(kLarge);
  dongle_.WriteData(ADDR_IDENTITY, Bytes(IDENTITY_SIZE, 0));  // as if wiped by the upgrade
  dlg_.ProgramFirmware();
  EXPECT_EQ(dongle_.ReadData(ADDR_IDENTITY, IDENTITY_SIZE), kIdentity);
  const std::vector<sim::WireRecord> log = dongle_.WireLog();
  const sim::WireRecord& write = log[log.size() - 2];
  EXPECT_EQ(write.address, ADDR_IDENTITY);
  EXPECT_EQ(write.payload, kIdentity);
  EXPECT_EQ(Bytes(dlg_.m_info + 16, dlg_.m_info + 27), kIdentity);
}

TEST_F(ProgrammingTest, ImageBytesUnchangedAndSecondRunIdentical) {
  Use(kLarge);
  std::vector<Bytes> images;
  for (const std::uint8_t* image : dlg_.m_pImageData) images.emplace_back(image, image + FirmwareImage::kSize);

  dlg_.ProgramFirmware();
  const std::vector<sim::WireRecord> first = dongle_.WireLog();
  dongle_.ClearWireLog();
  dlg_.ProgramFirmware();
  const std::vector<sim::WireRecord> second = dongle_.WireLog();

  ASSERT_EQ(first.size(), second.size());
  for (std::size_t i = 0; i < first.size(); ++i) {
    EXPECT_EQ(Describe(first[i]), Describe(second[i])) << i;
    EXPECT_EQ(first[i].payload, second[i].payload) << i;
  }
  for (int i = 0; i < kImageCount; ++i) {
    EXPECT_EQ(Bytes(dlg_.m_pImageData[i], dlg_.m_pImageData[i] + FirmwareImage::kSize), images[i]) << i;
  }
  EXPECT_EQ(dlg_.Messages(), (std::vector<Box>{SuccessBox(), SuccessBox()}));
}

// --- WriteFlashPage on its own ----------------------------------------------------------

TEST_F(ProgrammingTest, PageWithoutData) {
  Use(kLarge);
  EXPECT_EQ(dlg_.WriteFlashPage(nullptr, 0xC000), 1);
  EXPECT_TRUE(dongle_.WireLog().empty());
  EXPECT_EQ(dlg_.Messages(), std::vector<Box>{UpgradeErrorBox()});
}

TEST_F(ProgrammingTest, MisalignedPageWritesNothing) {
  const Bytes page = FirstPage(kLarge);
  Use(kLarge);
  EXPECT_EQ(dlg_.WriteFlashPage(page.data(), 0xC080), 2);
  Use(kSmall);
  EXPECT_EQ(dlg_.WriteFlashPage(page.data(), 0x0040), 2);
  EXPECT_TRUE(dongle_.WireLog().empty());
  EXPECT_EQ(dlg_.Messages(), (std::vector<Box>{UpgradeErrorBox(), UpgradeErrorBox()}));
  // 0x0200 is a page of both geometries.
  EXPECT_EQ(dlg_.WriteFlashPage(page.data(), 0x0200), 0);
  EXPECT_EQ(Wire(), CleanPage(0x0200, 2));
}

TEST_F(ProgrammingTest, ReadBackFailureThenSuccessVerifiesAgainWithoutRewrite) {
  Use(kLarge);
  const Bytes page = FirstPage(kLarge);
  AddFault(sim::FaultOp::kFlashRead, sim::FaultKind::kShort, 2, 1);
  EXPECT_EQ(dlg_.WriteFlashPage(page.data(), 0xC000), 0);
  std::vector<std::string> expected = WritePass(0xC000, 8);
  Append(&expected, {"FR c000", "FR c040", "FR c080"});
  const std::vector<std::string> page0 = CleanPage(0xC000, 8);
  Append(&expected, std::vector<std::string>(page0.begin() + 8, page0.end()));  // all 8 read again
  EXPECT_EQ(Wire(), expected);
  EXPECT_TRUE(dlg_.Messages().empty());
}

TEST_F(ProgrammingTest, DifferenceRewritesTheWholePage) {
  Use(kSmall);
  const Bytes page = FirstPage(kSmall);
  AddFault(sim::FaultOp::kFlashRead, sim::FaultKind::kCorrupt, 1, 1);
  EXPECT_EQ(dlg_.WriteFlashPage(page.data(), 0x0080), 0);
  std::vector<std::string> expected = {"FW 0080", "FW 00c0", "FR 0080", "FR 00c0"};
  Append(&expected, CleanPage(0x0080, 2));
  EXPECT_EQ(Wire(), expected);
  EXPECT_TRUE(dlg_.Messages().empty());
  EXPECT_EQ(dongle_.ReadFlashBytes(0x0080, 128), page);
}

TEST_F(ProgrammingTest, NinthDifferenceEndsThePage) {
  Use(kLarge);
  const Bytes page = FirstPage(kLarge);
  AddFault(sim::FaultOp::kFlashRead, sim::FaultKind::kCorrupt, 0, sim::kForever);
  EXPECT_EQ(dlg_.WriteFlashPage(page.data(), 0xC000), 5);
  std::vector<std::string> expected;
  for (int i = 0; i < 9; ++i) {
    Append(&expected, WritePass(0xC000, 8));
    expected.push_back("FR c000");
  }
  EXPECT_EQ(Wire(), expected);
  EXPECT_EQ(dlg_.Messages(), (std::vector<Box>{{kMsgVerifyFailed, BoxStyle::kWarning}}));
  EXPECT_STREQ(kMsgVerifyFailed, "Error occurred in Verifying Program.\nPlease try again..");
}

TEST_F(ProgrammingTest, NinthReadBackFailureEndsThePage) {
  Use(kLarge);
  const Bytes page = FirstPage(kLarge);
  AddFault(sim::FaultOp::kFlashRead, sim::FaultKind::kShort, 0, sim::kForever);
  EXPECT_EQ(dlg_.WriteFlashPage(page.data(), 0xC000), 4);
  std::vector<std::string> expected = WritePass(0xC000, 8);
  Append(&expected, Repeat("FR c000", 9));
  EXPECT_EQ(Wire(), expected);
  EXPECT_EQ(dlg_.Messages(), (std::vector<Box>{{"Error occurred in ReadFlash.", BoxStyle::kWarning}}));
}

TEST_F(ProgrammingTest, EightReadBackFailuresThenADifferenceGiveFive) {
  Use(kLarge);
  const Bytes page = FirstPage(kLarge);
  AddFault(sim::FaultOp::kFlashRead, sim::FaultKind::kShort, 0, 8);
  AddFault(sim::FaultOp::kFlashRead, sim::FaultKind::kCorrupt, 8, 1);
  EXPECT_EQ(dlg_.WriteFlashPage(page.data(), 0xC000), 5);
  std::vector<std::string> expected = WritePass(0xC000, 8);
  Append(&expected, Repeat("FR c000", 9));
  EXPECT_EQ(Wire(), expected);
  EXPECT_EQ(dlg_.Messages(), (std::vector<Box>{{kMsgVerifyFailed, BoxStyle::kWarning}}));
}

TEST_F(ProgrammingTest, EightDifferencesThenAReadBackFailureGiveFour) {
  Use(kSmall);
  const Bytes page = FirstPage(kSmall);
  AddFault(sim::FaultOp::kFlashRead, sim::FaultKind::kCorrupt, 0, 8);
  AddFault(sim::FaultOp::kFlashRead, sim::FaultKind::kShort, 8, 1);
  EXPECT_EQ(dlg_.WriteFlashPage(page.data(), 0x0000), 4);
  std::vector<std::string> expected;
  for (int i = 0; i < 9; ++i) Append(&expected, {"FW 0000", "FW 0040", "FR 0000"});
  EXPECT_EQ(Wire(), expected);
  EXPECT_EQ(dlg_.Messages(), (std::vector<Box>{{"Error occurred in ReadFlash.", BoxStyle::kWarning}}));
}

TEST_F(ProgrammingTest, FailuresOfBothKindsShareOneCount) {
  // The read-backs of block 0 alternate: a difference, a failed read, a
  // difference, ... The ninth failure, a difference, ends the page. A
  // difference sends the page back to the write pass; a failed read only
  // reads again.
  Use(kSmall);
  const Bytes page = FirstPage(kSmall);
  for (int i = 0; i < 9; ++i) {
    AddFault(sim::FaultOp::kFlashRead, i % 2 == 0 ? sim::FaultKind::kCorrupt : sim::FaultKind::kShort, i, 1);
  }
  EXPECT_EQ(dlg_.WriteFlashPage(page.data(), 0x0000), 5);
  std::vector<std::string> expected = {"FW 0000", "FW 0040", "FR 0000"};
  for (int rewrite = 0; rewrite < 4; ++rewrite) Append(&expected, {"FW 0000", "FW 0040", "FR 0000", "FR 0000"});
  EXPECT_EQ(Wire(), expected);
  EXPECT_EQ(dlg_.Messages(), (std::vector<Box>{{kMsgVerifyFailed, BoxStyle::kWarning}}));
}

TEST_F(ProgrammingTest, BlockWriteGivesUpAfterNineAttempts) {
  Use(kLarge);
  const Bytes page = FirstPage(kLarge);
  AddFault(sim::FaultOp::kFlashWrite, sim::FaultKind::kFail, 1, sim::kForever);
  EXPECT_EQ(dlg_.WriteFlashPage(page.data(), 0xC000), 3);
  std::vector<std::string> expected = {"FW c000"};
  // Each attempt is one WriteFlashBlock, which repeats the failed call itself.
  Append(&expected, Repeat("FW c040", 9 * kFlashAttempts));
  EXPECT_EQ(Wire(), expected);
  EXPECT_EQ(dlg_.Messages(), std::vector<Box>{UpgradeErrorBox()});
}

TEST_F(ProgrammingTest, BlockWriteSucceedingAtTheNinthAttempt) {
  Use(kLarge);
  const Bytes page = FirstPage(kLarge);
  AddFault(sim::FaultOp::kFlashWrite, sim::FaultKind::kFail, 0, 8 * kFlashAttempts);
  EXPECT_EQ(dlg_.WriteFlashPage(page.data(), 0xC000), 0);
  std::vector<std::string> expected = Repeat("FW c000", 8 * kFlashAttempts);
  Append(&expected, CleanPage(0xC000, 8));
  EXPECT_EQ(Wire(), expected);
  EXPECT_TRUE(dlg_.Messages().empty());
}

// --- Failures of a whole run -------------------------------------------------------------

TEST_F(ProgrammingTest, NinthDifferenceStopsTheRun) {
  Use(kLarge);
  AddFault(sim::FaultOp::kFlashRead, sim::FaultKind::kCorrupt, 8, sim::kForever);  // page 1 on
  dlg_.ProgramFirmware();
  ExpectStoppedWith({{kMsgVerifyFailed, BoxStyle::kWarning}, UpgradeErrorBox()});
  for (const sim::WireRecord& record : dongle_.WireLog()) EXPECT_LT(record.address, 0xC400) << Describe(record);
  EXPECT_EQ(dlg_.positions, (std::vector<int>{0, 0}));
  EXPECT_EQ(dlg_.progress, 0);
}

// A step that fails for good stops the run: its own box (if any) and the
// shared error, Exit enabled again, and the progress where the step left it.
// The identity's write and read-back are tried kIdentityWriteAttempts times.
struct FailedStep {
  const char* name;
  Geometry geometry;
  sim::FaultOp op;
  sim::FaultKind kind;
  int after, count;
  std::vector<Box> boxes;      // before the shared error
  std::vector<int> positions;  // empty: not checked
  int progress;
  const char* last;  // the last request, sent `times` times in all
  int times;
};

class ProgrammingStopTest : public ProgrammingTest, public ::testing::WithParamInterface<FailedStep> {};

TEST_P(ProgrammingStopTest, FailedStepStopsTheRun) {
  const FailedStep& c = GetParam();
  Use(c.geometry);
  AddFault(c.op, c.kind, c.after, c.count);
  dlg_.ProgramFirmware();
  std::vector<Box> boxes = c.boxes;
  boxes.push_back(UpgradeErrorBox());
  ExpectStoppedWith(boxes);
  if (!c.positions.empty()) {
    EXPECT_EQ(dlg_.positions, c.positions);
  }
  EXPECT_EQ(dlg_.progress, c.progress);
  const std::vector<std::string> wire = Wire();
  if (c.last != nullptr) {
    EXPECT_EQ(wire.back(), c.last);
    EXPECT_EQ(std::count(wire.begin(), wire.end(), c.last), c.times);
  }
}

const Box kReadFlashBox{"Error occurred in ReadFlash.", BoxStyle::kWarning};
constexpr int kIdentityTries = kIdentityWriteAttempts;

INSTANTIATE_TEST_SUITE_P(
    Steps, ProgrammingStopTest,
    ::testing::Values(
        FailedStep{"ReadBacksAlwaysShort", kSmall, sim::FaultOp::kFlashRead, sim::FaultKind::kShort, 0,
                   sim::kForever, {kReadFlashBox}, {0}, 0, nullptr, 0},
        FailedStep{"BlockWritesFailFromPage4", kSmall, sim::FaultOp::kFlashWrite, sim::FaultKind::kFail,
                   4 * 2, sim::kForever, {UpgradeErrorBox()}, {0, 0, 0, 1, 2}, 2, nullptr, 0},
        FailedStep{"DataBlockWrite", kSmall, sim::FaultOp::kDataWrite, sim::FaultKind::kFail, 0, 1, {}, {},
                   91, "DW 3000/64", 1},
        FailedStep{"DataBlockReadBack", kLarge, sim::FaultOp::kDataRead, sim::FaultKind::kShort, 7, 1, {},
                   {}, 98, "DR f1c0/64", 1},
        FailedStep{"IdentityReadBackDifferent", kLarge, sim::FaultOp::kDataRead, sim::FaultKind::kCorrupt,
                   8, kIdentityTries, {}, {}, 99, nullptr, 0},
        FailedStep{"IdentityReadBackFails", kLarge, sim::FaultOp::kDataRead, sim::FaultKind::kFail, 8,
                   kIdentityTries, {}, {}, 99, "DR 0010/11", kIdentityTries},
        FailedStep{"IdentityWriteFails", kSmall, sim::FaultOp::kDataWrite, sim::FaultKind::kFail, 8,
                   kIdentityTries, {}, {}, 99, "DW 0010/11", kIdentityTries}),
    [](const ::testing::TestParamInfo<FailedStep>& info) { return info.param.name; });

TEST_F(ProgrammingTest, DongleAbsentBeforeAPage) {
  Use(kLarge);
  // The dongle disappears after the first page's 16 requests, and the
  // connection monitor marks it absent.
  dongle_.SetOnUnplug([] { g_deviceAbsent = 1; });
  dongle_.DisappearAfter(16);
  dlg_.ProgramFirmware();
  ExpectStoppedWith({UpgradeErrorBox(), UpgradeErrorBox()});
  EXPECT_EQ(Wire(), CleanPage(0xC000, 8));  // nothing of the second page
  EXPECT_EQ(dlg_.positions, (std::vector<int>{0, 0}));
}

TEST_F(ProgrammingTest, DongleAbsentBeforeTheFirstPage) {
  Use(kSmall);
  g_deviceAbsent = 1;
  dlg_.ProgramFirmware();
  ExpectStoppedWith({UpgradeErrorBox(), UpgradeErrorBox()});
  EXPECT_TRUE(dongle_.WireLog().empty());
  EXPECT_EQ(dlg_.positions, std::vector<int>{0});
}

TEST_F(ProgrammingTest, DongleAbsentBeforeALaterBlock) {
  Use(kLarge);
  dongle_.SetOnUnplug([] { g_deviceAbsent = 1; });
  dongle_.DisappearAfter(3);
  const Bytes page = FirstPage(kLarge);
  EXPECT_NE(dlg_.WriteFlashPage(page.data(), 0xC000), 0);
  EXPECT_EQ(Wire(), (std::vector<std::string>{"FW c000", "FW c040", "FW c080"}));
  EXPECT_EQ(dlg_.Messages(), std::vector<Box>{UpgradeErrorBox()});
}

TEST_F(ProgrammingTest, DongleAbsentBeforeASecondAttempt) {
  // The first attempt's request unplugs the dongle; WriteFlashBlock gives up
  // at once since the dongle is marked absent, and the next attempt is not made.
  Use(kLarge);
  dongle_.SetOnUnplug([] { g_deviceAbsent = 1; });
  AddFault(sim::FaultOp::kFlashWrite, sim::FaultKind::kUnplug, 0, 1);
  const Bytes page = FirstPage(kLarge);
  EXPECT_NE(dlg_.WriteFlashPage(page.data(), 0xC000), 0);
  EXPECT_EQ(Wire(), std::vector<std::string>{"FW c000"});
  EXPECT_EQ(dlg_.Messages(), std::vector<Box>{UpgradeErrorBox()});
}

TEST_F(ProgrammingTest, DataBlockThatDiffersStopsTheRun) {
  Use(kLarge);
  AddFault(sim::FaultOp::kDataRead, sim::FaultKind::kCorrupt, 2, 1);
  dlg_.ProgramFirmware();
  ExpectStoppedWith({UpgradeErrorBox()});
  std::vector<std::string> expected = CleanRun(kLarge);
  expected.resize(24 * 16 + 6);  // through the third data block's read-back
  EXPECT_EQ(Wire(), expected);
  EXPECT_EQ(dlg_.progress, 93);
}

// An identity write that did not take is written again, so the dongle keeps
// its own identity rather than the scrambled bytes.
TEST_F(ProgrammingTest, IdentityWriteThatDidNotTakeIsRetried) {
  Use(kLarge);
  AddFault(sim::FaultOp::kDataWrite, sim::FaultKind::kCorrupt, 8, 1);
  dlg_.ProgramFirmware();
  EXPECT_EQ(dlg_.Messages(), std::vector<Box>{SuccessBox()});
  EXPECT_EQ(dongle_.ReadData(ADDR_IDENTITY, IDENTITY_SIZE), kIdentity);
}

// What a failed restore left is remembered for the run: a dongle that reads
// exactly so gets the identity that restore meant to write; one that reads
// otherwise keeps its own; once restored, the memory is spent.
TEST_F(ProgrammingTest, FailedRestoreIsRememberedForTheDongleItLeft) {
  Use(kLarge);
  dongle_.AddFault(
      sim::MakeFlip(sim::FaultOp::kDataWrite, 8, kIdentityWriteAttempts, IDENTITY_SIZE - 1, 0));
  dlg_.ProgramFirmware();
  Bytes left = kIdentity;
  left.back() ^= 0x01;
  ASSERT_EQ(dongle_.ReadData(ADDR_IDENTITY, IDENTITY_SIZE), left);
  const Bytes other = {0x21, 0x43, 0x65, 0x87, 0xA9, 0x04, 0xCB, 0xED, 0x0F, 0xF1, 0xE2};
  // The dongle as it reads now, then the one it becomes; m_info's identity
  // is what the next restore would write.
  const auto confirmed = [&](const Bytes& holds) {
    dongle_.WriteData(ADDR_IDENTITY, holds);
    EXPECT_EQ(ReadDeviceInfo(dlg_.m_info), 0u);
    EXPECT_TRUE(dlg_.ConfirmIdentity());
    return Bytes(dlg_.m_info + ADDR_IDENTITY, dlg_.m_info + DEVICE_INFO_SIZE);
  };
  EXPECT_EQ(confirmed(other), other);
  EXPECT_EQ(confirmed(left), kIdentity);
  dlg_.ProgramFirmware();
  EXPECT_EQ(dongle_.ReadData(ADDR_IDENTITY, IDENTITY_SIZE), kIdentity);
  EXPECT_EQ(confirmed(left), left);
}

TEST_F(ProgrammingTest, NoImageChosenSendsNothing) {
  Use(kLarge);
  dlg_.m_nSelected = kImageCount;
  dlg_.ProgramFirmware();
  ExpectStoppedWith({UpgradeErrorBox()});
  EXPECT_TRUE(dongle_.WireLog().empty());
  dlg_.calls.clear();
  dlg_.boxes.clear();
  dlg_.m_nSelected = 0;
  dlg_.m_pImageData[0] = nullptr;
  dlg_.ProgramFirmware();
  ExpectStoppedWith({UpgradeErrorBox()});
  EXPECT_TRUE(dongle_.WireLog().empty());
}

TEST_F(ProgrammingTest, UpgradeErrorText) {
  EXPECT_EQ(g_strUpgradeError,
            "Error occurred during the Firmware upgrading,  \r\nMake sure press and hold the Matching button "
            "while plug it in and try it again, if this would not resolve the problem, please contact our "
            "technical support.");
  EXPECT_STREQ(kMsgUpgradeSucceeded,
               "Firmware Upgraded Successfully!\n\nYour Tavrolin is ready to use on the PS3. \n To continue "
               "please take out your dongle and plug it back in while holding the dongle button. \n To use the "
               "Tavrolin as a PC mouse remove the dongle and plug it in but do not press the dongle button.");
}

}  // namespace
