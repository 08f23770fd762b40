// The Upgrade command end to end: the version dialog, the mode query and the
// dongle's record, the confirmation, programming in both page geometries and
// the return to an idle window; the ways it stops early; the close guard
// while programming runs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/discovery.h"
#include "monitor_doubles.h"
#include "sim/desktop/headless_window.h"
#include "sim/machine/activity.h"
#include "ui_flow_support.h"

namespace uitest {
namespace {

const std::string kStandardQuestion = Confirmation("V3.51", "Standard V3.51");

// The progress positions of a successful run after the one set at start-up.
std::vector<int> SuccessfulProgress(int pages) {
  std::vector<int> positions = {0, 0};  // initialisation, start of programming
  for (int k = 0; k < pages; ++k) positions.push_back(92 * k / pages);
  for (int j = 0; j < 8; ++j) positions.push_back(92 + j);
  positions.push_back(100);
  positions.push_back(0);
  return positions;
}

// ---- A whole upgrade ----

struct Geometry {
  const char* name;
  std::uint8_t mode;
  std::uint16_t flashBase;
  int pages;
};

class UiUpgradeGeometryTest : public ::testing::TestWithParam<Geometry> {};

TEST_P(UiUpgradeGeometryTest, ProgramsTheStandardImageAndReturnsToIdle) {
  const Geometry& geometry = GetParam();
  sim::SimulatedRun run(WithMode(geometry.mode));
  const Bytes infoBefore = run.Dongle().ReadData(ADDR_DEVICE_INFO, DEVICE_INFO_SIZE);
  MainState during, after;
  std::vector<sim::HeadlessWindow::Invalidation> repaints;
  platform::Rect frame;
  run.Desktop().Click(IDC_UPGRADE).Click(platform::kIdOk).Answer(BoxAnswer::kYes);
  CaptureAt(run, &during);  // the success box is open
  run.Desktop().Do("repaints so far", [&] {
    frame = MainWindow()->m_rcProgress;
    repaints = dynamic_cast<sim::HeadlessWindow&>(*MainWindow()->GetWindow()).Invalidations();
  });
  run.Desktop().Answer(BoxAnswer::kOk);
  CaptureAt(run, &after);
  ASSERT_TRUE(run.Run()) << run.Error();

  const std::vector<sim::BoxRecord> boxes = run.Desktop().Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, kStandardQuestion);
  EXPECT_EQ(boxes[0].style, platform::BoxStyle::kQuestion);
  EXPECT_EQ(boxes[0].caption, "TavrolinUpgrade");
  EXPECT_EQ(boxes[1].text, kSuccessText);
  EXPECT_EQ(boxes[1].style, platform::BoxStyle::kInformation);

  EXPECT_EQ(ProgressPositions(), SuccessfulProgress(geometry.pages));
  EXPECT_EQ(platform::activity::LiveBackgroundThreads(), 0);  // ended by the shutdown after the modal run

  // While the success box is open the run is not over yet.
  EXPECT_FALSE(during.exitEnabled);
  EXPECT_EQ(during.downloading, 1);
  EXPECT_EQ(during.progress, 100);
  ExpectIdle(after);
  EXPECT_EQ(after.progress, 0);
  EXPECT_TRUE(after.upgradeEnabled);
  EXPECT_TRUE(after.adjustEnabled);
  // The area around the bar was painted at the start, after every page and
  // after every data block, although the window's own loop was not running:
  // only the frame around the bar, over the picture, without erasing it,
  // copied from the bitmap the picture was drawn into once.
  EXPECT_EQ(run.Graphics().DrawCount(), 1);
  EXPECT_GE(run.Graphics().CopyCount(), 1 + geometry.pages + 8);
  const platform::Rect copied = run.Graphics().LastCopy();
  EXPECT_EQ(std::vector<int>({copied.left, copied.top, copied.right, copied.bottom}),
            std::vector<int>({frame.left, frame.top, frame.right, frame.bottom}));
  ASSERT_EQ(repaints.size(), static_cast<std::size_t>(1 + geometry.pages + 8));
  for (const sim::HeadlessWindow::Invalidation& repaint : repaints) {
    EXPECT_EQ(std::vector<int>({repaint.rect.left, repaint.rect.top, repaint.rect.right,
                                repaint.rect.bottom}),
              std::vector<int>({frame.left, frame.top, frame.right, frame.bottom}));
    EXPECT_FALSE(repaint.erase);
  }
  EXPECT_GT(frame.right, frame.left);

  // The dongle holds the scrambled image, and its own record is unchanged.
  const Bytes image = EmbeddedImage(IDR_FIRMWARE_STANDARD);
  EXPECT_EQ(run.Dongle().ReadFlashBytes(geometry.flashBase, FirmwareImage::kProgramSize),
            Scrambled(image, FirmwareImage::kProgramOffset, FirmwareImage::kProgramSize));
  EXPECT_EQ(run.Dongle().ReadData(geometry.flashBase + DONGLE_DATA_BLOCK_OFFSET, DATA_BLOCK_SIZE),
            Scrambled(image, FirmwareImage::kDataBlockOffset, FirmwareImage::kDataBlockSize));
  EXPECT_EQ(run.Dongle().ReadData(ADDR_DEVICE_INFO, DEVICE_INFO_SIZE), infoBefore);

  // Requests: the settings, the mode, the record, every page written and read
  // back once, the data block, the identity; no descriptor read.
  const std::vector<std::string> wire = Wire(run.Dongle());
  ASSERT_GE(wire.size(), 5u);
  EXPECT_EQ(
      std::vector<std::string>(wire.begin(), wire.begin() + 5),
      (std::vector<std::string>{"DR 0015/1", "DR 01c0/1", "DR 01c1/1", "mode", "DR 0000/27"}));
  const int blocks = FirmwareImage::kProgramSize / FLASH_BLOCK_SIZE;
  EXPECT_EQ(Count(wire, "descriptor"), 0);
  EXPECT_EQ(Count(wire, "FW " + Hex4(geometry.flashBase)), 1);
  int flashWrites = 0, flashReads = 0;
  for (const std::string& line : wire) {
    flashWrites += line.rfind("FW ", 0) == 0 ? 1 : 0;
    flashReads += line.rfind("FR ", 0) == 0 ? 1 : 0;
  }
  EXPECT_EQ(flashWrites, blocks);
  EXPECT_EQ(flashReads, blocks);
  const std::vector<std::string> tail(wire.end() - 2, wire.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"DW 0010/11", "DR 0010/11"}));
  EXPECT_EQ(run.Dongle().OverlapCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Geometries, UiUpgradeGeometryTest,
                         ::testing::Values(Geometry{"LargePages", 0xCC, 0xC000, 24},
                                           Geometry{"SmallPages", 0xBB, 0x0000, 96}),
                         [](const ::testing::TestParamInfo<Geometry>& info) {
                           return info.param.name;
                         });

// Upgrading twice sends the same bytes; the image itself is never changed.
TEST(UiUpgradeTest, SecondUpgradeSendsExactlyTheSameBytes) {
  sim::SimulatedRun run(StandardDongle());
  for (int i = 0; i < 2; ++i) {
    run.Desktop()
        .Click(IDC_UPGRADE)
        .Click(platform::kIdOk)
        .Answer(BoxAnswer::kYes)
        .Answer(BoxAnswer::kOk);
  }
  ASSERT_TRUE(run.Run()) << run.Error();
  std::vector<std::vector<Bytes>> payloads(2);
  int index = -1;
  for (const sim::WireRecord& record : run.Dongle().WireLog()) {
    if (record.command == CMD_QUERY_MODE) ++index;
    if (index >= 0 && record.code == IOCTL_VENDOR_WRITE) payloads[index].push_back(record.payload);
  }
  EXPECT_EQ(payloads[0].size(), 24u * 8 + 8 + 1);
  EXPECT_EQ(payloads[0], payloads[1]);
  EXPECT_EQ(BoxTexts(run.Desktop()), (std::vector<std::string>{kStandardQuestion, kSuccessText,
                                                               kStandardQuestion, kSuccessText}));
}

// Taken out while the confirmation is open, and a dongle of 128-byte pages
// and another identity plugged in: the Yes answered the first dongle's
// report, so nothing is written to the second one.
TEST(UiUpgradeTest, DonglePluggedInDuringTheConfirmationIsNotProgrammed) {
  sim::SimulatedRun run(StandardDongle());
  const Bytes otherInfo(DEVICE_INFO_SIZE, 0x42);
  MainState after;
  run.Desktop().Click(IDC_UPGRADE).Click(platform::kIdOk);
  run.Desktop().Do("unplug", [&] { run.Machine().Unplug(); });
  run.Desktop().Do("plug another", [&] {
    run.Dongle().SetMode(MODE_SMALL_PAGES);
    run.Dongle().WriteData(ADDR_DEVICE_INFO, otherInfo);
    run.Machine().Plug();
  });
  run.Desktop().Answer(BoxAnswer::kYes).Answer(BoxAnswer::kOk);
  CaptureAt(run, &after);
  ASSERT_TRUE(run.Run()) << run.Error();
  EXPECT_EQ(BoxTexts(run.Desktop()), (std::vector<std::string>{kStandardQuestion, kUpgradeErrorText}));
  EXPECT_EQ(run.Dongle().OpenCount(), 2u);
  for (const std::string& line : Wire(run.Dongle())) {
    EXPECT_NE(line[1], 'W') << line;  // no flash or data write
  }
  EXPECT_EQ(run.Dongle().ReadData(ADDR_DEVICE_INFO, DEVICE_INFO_SIZE), otherInfo);
  ExpectIdle(after);
  EXPECT_TRUE(after.upgradeEnabled);
}

// ---- Consent ----

// Message boxes that cannot be shown return 0, and dialogs that count them.
class FailingBoxes : public testing_support::RecordingDialogs {
 public:
  FailingBoxes() { SetAnswer(0); }
  int RunModal(kit::CDialog& dialog) override {
    ++modalRuns;
    return RecordingDialogs::RunModal(dialog);
  }
  int modalRuns = 0;
};

// Only a Yes is consent: when the question cannot be asked, neither command
// writes to the dongle or opens the RF dialog.
TEST(UiUpgradeTest, QuestionThatCannotBeShownIsNotAYes) {
  sim::SimMachine machine(StandardDongle());
  FailingBoxes boxes;
  testing_support::ScopedDialogs scope(&boxes);
  machine.Install();
  OpenDevice();
  theApp.m_bConnected.store(1);
  {
    CUpgradeDlg dlg(nullptr);
    dlg.RunUpgrade();
    dlg.OnAdjustRF();
  }
  theApp.m_bConnected.store(0);
  CloseDevice();
  machine.Uninstall();

  EXPECT_EQ(boxes.BoxCount(), 2u);  // the two questions
  EXPECT_EQ(boxes.modalRuns, 0);
  EXPECT_EQ(Wire(machine.Dongle()), (std::vector<std::string>{"mode", "DR 0000/27", "DR 0000/27"}));
}

// ---- Choosing the edition ----

// With no edition selectable when the dialog opens, OK asks for one and
// starts nothing.
TEST(UiUpgradeTest, OkWithoutAChosenEditionAsksForOne) {
  sim::SimulatedRun run(StandardDongle());
  run.Desktop().Do("no edition chosen", [] { MainWindow()->m_nSelected = kImageCount; });
  run.Desktop().Click(IDC_UPGRADE).Click(platform::kIdOk).Answer(BoxAnswer::kOk);
  run.Desktop().Click(platform::kIdCancel);
  ASSERT_TRUE(run.Run()) << run.Error();
  EXPECT_EQ(BoxTexts(run.Desktop()),
            std::vector<std::string>{"Please choose one specific version."});
  EXPECT_EQ(Wire(run.Dongle()), kSettingsReads);
}

// Another edition is programmed when chosen, and the choice is what the next
// opening shows; Cancel after moving the selection keeps it.
TEST(UiUpgradeTest, ChosenEditionIsProgrammedAndKeptForTheNextOpening) {
  sim::SimulatedRun run(StandardDongle());
  int selectedAfterCancel = -1;
  run.Desktop()
      .Click(IDC_UPGRADE)
      .Select(IDC_VERSION_LIST, 0)
      .Click(platform::kIdOk)
      .Answer(BoxAnswer::kYes)
      .Answer(BoxAnswer::kOk);
  run.Desktop().Click(IDC_UPGRADE).Select(IDC_VERSION_LIST, 3).Click(platform::kIdCancel);
  run.Desktop().Do("look", [&] { selectedAfterCancel = MainWindow()->m_nSelected; });
  run.Desktop().Click(IDC_UPGRADE).Click(platform::kIdOk).Answer(BoxAnswer::kNo);
  ASSERT_TRUE(run.Run()) << run.Error();

  const std::string items =
      "[\"BadCompany Pro V3.51\",\"CallofDuty Pro V3.51\",\"KillZone Pro V3.51\","
      "\"MAG Pro V3.51\",\"UnCharted Pro V3.51\",\"Standard V3.51\"]";
  EXPECT_EQ(ListLines(IDC_VERSION_LIST),
            (std::vector<std::string>{items + " 5", items + " 0", items + " 0"}));
  EXPECT_EQ(selectedAfterCancel, 0);
  EXPECT_EQ(BoxTexts(run.Desktop()),
            (std::vector<std::string>{Confirmation("V3.51", "BadCompany Pro V3.51"), kSuccessText,
                                      Confirmation("V3.51", "BadCompany Pro V3.51")}));
  const Bytes image = EmbeddedImage(IDR_FIRMWARE_BC);
  EXPECT_EQ(run.Dongle().ReadFlashBytes(LARGE_PAGE_FLASH_BASE, FirmwareImage::kProgramSize),
            Scrambled(image, FirmwareImage::kProgramOffset, FirmwareImage::kProgramSize));
  EXPECT_EQ(run.Dongle().ReadData(LARGE_PAGE_FLASH_BASE + DONGLE_DATA_BLOCK_OFFSET, DATA_BLOCK_SIZE),
            Scrambled(image, FirmwareImage::kDataBlockOffset, FirmwareImage::kDataBlockSize));
}

// ---- The version report ----

struct Report {
  const char* name;
  char edition[3];
  char version[4];
  const char* firmware;
};

class UiUpgradeReportTest : public ::testing::TestWithParam<Report> {};

TEST_P(UiUpgradeReportTest, ConfirmationNamesTheInstalledFirmware) {
  const Report& report = GetParam();
  sim::SimulatedRun run(WithFirmware(report.edition, report.version));
  run.Desktop().Click(IDC_UPGRADE).Click(platform::kIdOk).Answer(BoxAnswer::kNo);
  ASSERT_TRUE(run.Run()) << run.Error();
  EXPECT_EQ(BoxTexts(run.Desktop()),
            (std::vector<std::string>{Confirmation(report.firmware, "Standard V3.51")}));
  EXPECT_EQ(CountWrites(run.Dongle()), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, UiUpgradeReportTest,
    ::testing::Values(Report{"StandardP01", " S", "P01", "COD Pro V1.0"},
                      Report{"StandardP11", " S", "P11", "COD Pro V1.1"},
                      Report{"StandardP12", " S", "P12", "COD Pro V1.2"},
                      Report{"StandardB10", " S", "B10", "BC Pro V1.0"},
                      Report{"StandardWithPoint", " S", "1.4", "V1.4"},
                      Report{"StandardDigits", " S", "351", "V3.51"},
                      Report{"StandardLowerCaseCode", " S", "p01", "Vp.01"},
                      Report{"EditionCodeShownAsItIs", "CD", "351", "CD Pro V3.51"},
                      Report{"EditionWithCode", "KZ", "P01", "KZ Pro VP.01"}),
    [](const ::testing::TestParamInfo<Report>& info) { return info.param.name; });

// ---- Stopping before anything is written ----

// Enter in the version dialog presses its default button, OK.
TEST(UiUpgradeTest, EnterInTheVersionDialogActsAsOk) {
  sim::SimulatedRun run(StandardDongle());
  run.Desktop().Click(IDC_UPGRADE).Select(IDC_VERSION_LIST, 2).PressEnter().Answer(BoxAnswer::kNo);
  ASSERT_TRUE(run.Run()) << run.Error();
  EXPECT_EQ(BoxTexts(run.Desktop()),
            (std::vector<std::string>{Confirmation("V3.51", "KillZone Pro V3.51")}));
}

TEST(UiUpgradeTest, WithoutDongleOnlyTheNoDongleTextAppears) {
  sim::SimulatedRun run(Unplugged());
  // The buttons are disabled, so the click comes as the command itself.
  run.Desktop().Do("upgrade", [] { MainWindow()->OnUpgrade(); });
  run.Desktop().Answer(BoxAnswer::kOk);
  ASSERT_TRUE(run.Run()) << run.Error();
  EXPECT_EQ(BoxTexts(run.Desktop()), (std::vector<std::string>{kNoDongleText}));
  EXPECT_EQ(run.Desktop().Boxes()[0].style, platform::BoxStyle::kWarning);
  EXPECT_EQ(DialogOpenings(IDD_SELECT_FIRMWARE), 0);
  EXPECT_TRUE(Wire(run.Dongle()).empty());
}

TEST(UiUpgradeTest, CancelledVersionDialogSendsNothing) {
  for (bool escape : {false, true}) {
    SCOPED_TRACE(escape ? "Escape" : "Cancel");
    sim::SimulatedRun run(StandardDongle());
    run.Desktop().Click(IDC_UPGRADE);
    if (escape) {
      run.Desktop().PressEscape();
    } else {
      run.Desktop().Click(platform::kIdCancel);
    }
    ASSERT_TRUE(run.Run()) << run.Error();
    EXPECT_TRUE(run.Desktop().Boxes().empty());
    EXPECT_EQ(DialogOpenings(IDD_SELECT_FIRMWARE), 1);
    EXPECT_EQ(Wire(run.Dongle()), kSettingsReads);
  }
}

// A mode query that fails, or a reply the tool does not know, ends the run
// without a word and before the record is read.
TEST(UiUpgradeTest, FailedOrUnknownModeReplyEndsSilently) {
  for (int variant = 0; variant < 3; ++variant) {
    SCOPED_TRACE(variant);
    sim::SimulatedRun run(variant == 0   ? WithMode(0x00)
                          : variant == 1 ? WithMode(0xAB)
                                         : StandardDongle());
    MainState after;
    if (variant == 2) {
      run.Desktop().Do("fail the mode query", [&] {
        run.Dongle().AddFault(sim::MakeFault(sim::FaultOp::kMode, sim::FaultKind::kFail));
      });
    }
    run.Desktop().Click(IDC_UPGRADE).Click(platform::kIdOk);
    CaptureAt(run, &after);
    ASSERT_TRUE(run.Run()) << run.Error();
    EXPECT_TRUE(run.Desktop().Boxes().empty());
    EXPECT_EQ(WireAfterLast(run.Dongle(), "DR 01c1/1"), (std::vector<std::string>{"mode"}));
    ExpectIdle(after);
  }
}

TEST(UiUpgradeTest, DongleRemovedWhileTheVersionDialogIsOpenEndsSilently) {
  sim::SimulatedRun run(StandardDongle());
  MainState after;
  run.Desktop().Click(IDC_UPGRADE).Do("unplug", [&] { run.Machine().Unplug(); });
  run.Desktop().Click(platform::kIdOk);
  CaptureAt(run, &after);
  ASSERT_TRUE(run.Run()) << run.Error();
  EXPECT_TRUE(run.Desktop().Boxes().empty());
  EXPECT_EQ(Wire(run.Dongle()), kSettingsReads);
  ExpectIdle(after);
  EXPECT_FALSE(after.upgradeEnabled);
  EXPECT_FALSE(after.adjustEnabled);
}

TEST(UiUpgradeTest, UnreadableRecordShowsTheSharedErrorText) {
  for (bool shortCount : {false, true}) {
    SCOPED_TRACE(shortCount ? "26 bytes" : "failed read");
    sim::SimulatedRun run(StandardDongle());
    MainState after;
    run.Desktop().Do("spoil the record read", [&] {
      run.Dongle().AddFault(sim::MakeFault(
          sim::FaultOp::kDataRead, shortCount ? sim::FaultKind::kShort : sim::FaultKind::kFail));
    });
    run.Desktop().Click(IDC_UPGRADE).Click(platform::kIdOk).Answer(BoxAnswer::kOk);
    CaptureAt(run, &after);
    ASSERT_TRUE(run.Run()) << run.Error();
    EXPECT_EQ(BoxTexts(run.Desktop()), (std::vector<std::string>{kUpgradeErrorText}));
    EXPECT_EQ(run.Desktop().Boxes()[0].style, platform::BoxStyle::kWarning);
    EXPECT_EQ(WireAfterLast(run.Dongle(), "DR 01c1/1"),
              (std::vector<std::string>{"mode", "DR 0000/27"}));
    ExpectIdle(after);
  }
}

TEST(UiUpgradeTest, NoAtTheConfirmationWritesNothing) {
  sim::SimulatedRun run(WithMode(0xAA));
  MainState after;
  run.Desktop().Click(IDC_UPGRADE).Click(platform::kIdOk).Answer(BoxAnswer::kNo);
  CaptureAt(run, &after);
  ASSERT_TRUE(run.Run()) << run.Error();
  EXPECT_EQ(BoxTexts(run.Desktop()), (std::vector<std::string>{kStandardQuestion}));
  // Not even the descriptor read that a 0xAA reply asks for.
  EXPECT_EQ(WireAfterLast(run.Dongle(), "DR 01c1/1"),
            (std::vector<std::string>{"mode", "DR 0000/27"}));
  ExpectIdle(after);
  EXPECT_EQ(after.progress, 0);
  EXPECT_EQ(ProgressPositions(), (std::vector<int>{0}));
}

// A 0xAA reply: the descriptor is read after Yes and before the first page,
// and programming takes the geometry of the last 0xBB or 0xCC reply (128-byte
// pages when none came yet).
TEST(UiUpgradeTest, DescriptorIsReadAfterYesOnlyWhenTheModeReplyAsksForIt) {
  sim::SimulatedRun run(WithMode(0xAA));
  for (std::uint8_t mode : {0xAA, 0xCC, 0xAA}) {
    run.Desktop().Do("the mode reply", [&run, mode] { run.Dongle().SetMode(mode); });
    run.Desktop().Click(IDC_UPGRADE).Click(platform::kIdOk).Answer(BoxAnswer::kYes);
    run.Desktop().Answer(BoxAnswer::kOk);
  }
  ASSERT_TRUE(run.Run()) << run.Error();

  const std::vector<std::string> wire = Wire(run.Dongle());
  std::vector<std::string> afterRecord, afterDescriptor;
  for (std::size_t i = 0; i + 2 < wire.size(); ++i) {
    if (wire[i] == "DR 0000/27") afterRecord.push_back(wire[i + 1]);
    if (wire[i] == "descriptor") afterDescriptor.push_back(wire[i + 1] + ", " + wire[i + 2]);
  }
  EXPECT_EQ(afterRecord, (std::vector<std::string>{"descriptor", "DR 0010/11", "descriptor"}));
  // The identity confirmed, then the pages. The first run had no geometry
  // yet: 128-byte pages; the third kept the 512-byte geometry of the second.
  EXPECT_EQ(afterDescriptor,
            (std::vector<std::string>{"DR 0010/11, FW 0000", "DR 0010/11, FW c000"}));
  // In the transcript the read comes after the answer.
  const std::vector<sim::Line> lines = sim::TheTranscript().Lines();
  bool answered = false;
  for (const sim::Line& line : lines) {
    if (line.Get("event") == "\"answer\"" && line.Get("value") == "\"yes\"") answered = true;
    if (line.Get("event") == "\"readfile\"") {
      EXPECT_TRUE(answered);
      break;
    }
  }
  EXPECT_EQ(BoxTexts(run.Desktop()),
            (std::vector<std::string>{kStandardQuestion, kSuccessText, kStandardQuestion,
                                      kSuccessText, kStandardQuestion, kSuccessText}));
}

// ---- The dongle going away ----

// Removed while the confirmation is open: Yes starts programming, which stops
// before its first page with its own error and the sequence's.
TEST(UiUpgradeTest, DongleRemovedDuringTheConfirmationStopsAtTheFirstPage) {
  for (std::uint8_t mode : {std::uint8_t{0xCC}, std::uint8_t{0xAA}}) {
    SCOPED_TRACE(mode);
    sim::SimulatedRun run(WithMode(mode));
    MainState after;
    run.Desktop().Click(IDC_UPGRADE).Click(platform::kIdOk);
    run.Desktop().Do("unplug", [&] { run.Machine().Unplug(); });
    run.Desktop().Answer(BoxAnswer::kYes).Answer(BoxAnswer::kOk).Answer(BoxAnswer::kOk);
    CaptureAt(run, &after);
    ASSERT_TRUE(run.Run()) << run.Error();

    EXPECT_EQ(BoxTexts(run.Desktop()),
              (std::vector<std::string>{kStandardQuestion, kUpgradeErrorText, kUpgradeErrorText}));
    EXPECT_EQ(CountWrites(run.Dongle()), 0);
    EXPECT_EQ(WireAfterLast(run.Dongle(), "DR 01c1/1"),
              (std::vector<std::string>{"mode", "DR 0000/27"}));
    ExpectIdle(after);
    EXPECT_EQ(after.progress, 0);
    EXPECT_FALSE(after.upgradeEnabled);
    EXPECT_FALSE(after.adjustEnabled);
  }
}

// ---- The close guard ----

// While programming runs (here: its success box is open, before the flow has
// returned the window to idle) a close request with the dongle present is
// refused with the guard's message; once the dongle has gone, the request
// gets the platform's default handling, which refuses it with a beep because
// the removal disabled Adjust RF, the command a close request becomes.
TEST(UiUpgradeTest, CloseRequestDuringProgrammingIsGuardedWhileTheDongleIsPresent) {
  sim::SimulatedRun run(StandardDongle());
  const auto close = [] { MainWindow()->OnClose(); };
  run.Desktop().Click(IDC_UPGRADE).Click(platform::kIdOk).Answer(BoxAnswer::kYes);
  run.Desktop().Do("close", close).Answer(BoxAnswer::kOk);
  run.Desktop().Do("unplug", [&] { run.Machine().Unplug(); });
  run.Desktop().Do("close again", close);
  run.Desktop().Answer(BoxAnswer::kOk);
  MainState after;
  CaptureAt(run, &after);
  ASSERT_TRUE(run.Run()) << run.Error();

  EXPECT_EQ(BoxTexts(run.Desktop()),
            (std::vector<std::string>{kStandardQuestion, kSuccessText, kDownloadingText}));
  EXPECT_EQ(run.Desktop().Boxes()[2].style, platform::BoxStyle::kWarning);
  EXPECT_EQ(run.Desktop().Beeps(), 1);
  ExpectIdle(after);
}

// A failure box during programming: the guard holds there too, and after the
// failure the window is idle and closes normally.
TEST(UiUpgradeTest, CloseRequestInAFailureBoxIsGuardedAndTheWindowRecovers) {
  sim::SimulatedRun run(StandardDongle());
  run.Desktop().Do("corrupt every flash read-back", [&] {
    run.Dongle().AddFault(
        sim::MakeFault(sim::FaultOp::kFlashRead, sim::FaultKind::kCorrupt, 0, sim::kForever));
  });
  run.Desktop().Click(IDC_UPGRADE).Click(platform::kIdOk).Answer(BoxAnswer::kYes);
  run.Desktop().Do("close", [] { MainWindow()->OnClose(); }).Answer(BoxAnswer::kOk);
  run.Desktop().Answer(BoxAnswer::kOk).Answer(BoxAnswer::kOk);
  MainState after;
  CaptureAt(run, &after);
  ASSERT_TRUE(run.Run()) << run.Error();

  EXPECT_EQ(BoxTexts(run.Desktop()),
            (std::vector<std::string>{kStandardQuestion, kVerifyFailedText, kDownloadingText,
                                      kUpgradeErrorText}));
  ExpectIdle(after);
  // The first page was tried nine times; nothing after it was written.
  EXPECT_EQ(Count(Wire(run.Dongle()), "FW c000"), 9);
  EXPECT_EQ(Count(Wire(run.Dongle()), "FW c200"), 0);
  EXPECT_EQ(after.progress, 0);
}

}  // namespace
}  // namespace uitest
