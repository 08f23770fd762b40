// The Adjust RF command end to end: the firmware gate and the question, the
// RF dialog's lists as it opens and as the worker refreshes them, the Change
// button's writes, read-backs and reports, and the keys of the main window
// that run the command.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "monitor/device_worker.h"
#include "ui/rf_texts.h"
#include "ui_flow_support.h"

namespace uitest {
namespace {

// Opens the RF dialog: Adjust RF, then Yes to the question.
void OpenRfDialog(sim::SimulatedRun& run) {
  run.Desktop().Click(IDC_ADJUST_RF).Answer(BoxAnswer::kYes);
}

// Bit 0 of the byte the dongle stores flips, for every attempt at one setting.
sim::Fault FlipDataWrites(int after) {
  return sim::MakeFlip(sim::FaultOp::kDataWrite, after, kRfWriteAttempts, 0, 0);
}

// ---- The gate ----

struct Gate {
  const char* name;
  char version[4];
  bool passes;
};

class UiRfGateTest : public ::testing::TestWithParam<Gate> {};

// The firmware version is compared with "1.4" byte by byte; a version that
// passes gets the question, and No opens nothing.
TEST_P(UiRfGateTest, OldFirmwareIsRefusedAndNoToTheQuestionOpensNothing) {
  const Gate& gate = GetParam();
  sim::SimulatedRun run(WithFirmware(" S", gate.version));
  run.Desktop().Click(IDC_ADJUST_RF).Answer(gate.passes ? BoxAnswer::kNo : BoxAnswer::kOk);
  ASSERT_TRUE(run.Run()) << run.Error();

  const std::vector<sim::BoxRecord> boxes = run.Desktop().Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, gate.passes ? kRfQuestionText : kOldFirmwareText);
  EXPECT_EQ(boxes[0].style,
            gate.passes ? platform::BoxStyle::kQuestion : platform::BoxStyle::kWarning);
  EXPECT_EQ(DialogOpenings(IDD_ADJUST_RF), 0);
  EXPECT_EQ(WireAfterLast(run.Dongle(), "DR 01c1/1"), (std::vector<std::string>{"DR 0000/27"}));
}

INSTANTIATE_TEST_SUITE_P(Versions, UiRfGateTest,
                         ::testing::Values(Gate{"V1_4", "1.4", true}, Gate{"V1_3", "1.3", false},
                                           Gate{"V0_9", "0.9", false},
                                           Gate{"DigitAfterOne", "10.", true},
                                           Gate{"V1_5", "1.5", true}, Gate{"V2_0", "2.0", true},
                                           Gate{"Digits351", "351", true}),
                         [](const ::testing::TestParamInfo<Gate>& info) {
                           return info.param.name;
                         });

TEST(UiRfTest, UnreadableRecordShowsTheSharedErrorTextAndNoQuestion) {
  sim::SimulatedRun run(StandardDongle());
  run.Desktop().Do("fail the record read", [&] {
    run.Dongle().AddFault(sim::MakeFault(sim::FaultOp::kDataRead, sim::FaultKind::kFail));
  });
  run.Desktop().Click(IDC_ADJUST_RF).Answer(BoxAnswer::kOk);
  ASSERT_TRUE(run.Run()) << run.Error();
  EXPECT_EQ(BoxTexts(run.Desktop()), (std::vector<std::string>{kUpgradeErrorText}));
  EXPECT_EQ(DialogOpenings(IDD_ADJUST_RF), 0);
}

// ---- The lists as the dialog opens ----

struct Opening {
  const char* name;
  int group;
  int marker;
  int band;
  int bands;       // entries in the band list
  int groupShown;  // selection of the group list
  int bandShown;   // selection of the band list
};

class UiRfOpeningTest : public ::testing::TestWithParam<Opening> {};

TEST_P(UiRfOpeningTest, ListsShowTheDonglesSettings) {
  const Opening& opening = GetParam();
  sim::SimulatedRun run(WithRf(opening.group, opening.marker, opening.band));
  OpenRfDialog(run);
  run.Desktop().Click(IDC_RF_EXIT);
  ASSERT_TRUE(run.Run()) << run.Error();

  EXPECT_EQ(ListLines(IDC_RF_GROUP),
            (std::vector<std::string>{kGroupEntries + " " + std::to_string(opening.groupShown)}));
  EXPECT_EQ(ListLines(IDC_RF_BAND), (std::vector<std::string>{Entries(opening.bands) + " " +
                                                              std::to_string(opening.bandShown)}));
  // Exit writes nothing.
  EXPECT_EQ(CountWrites(run.Dongle()), 0);
  EXPECT_EQ(BoxTexts(run.Desktop()), (std::vector<std::string>{kRfQuestionText}));
}

INSTANTIATE_TEST_SUITE_P(Settings, UiRfOpeningTest,
                         ::testing::Values(Opening{"SixteenBands", 0, 3, 5, 16, 0, 5},
                                           Opening{"ThirteenBands", 4, 2, 5, 13, 4, 5},
                                           Opening{"OtherMarker", 5, 4, 12, 13, 5, 12},
                                           Opening{"BandBeyondThirteen", 1, 0, 14, 13, 1, -1},
                                           Opening{"BandFifteenOfSixteen", 1, 3, 15, 16, 1, 15},
                                           Opening{"NegativeBand", 2, 3, 0xFF, 16, 2, -1},
                                           Opening{"BandZero", 3, 2, 0, 13, 3, 0},
                                           Opening{"GroupOutOfRange", 7, 3, 5, 16, -1, 5},
                                           Opening{"NegativeGroup", 0x80, 3, 5, 16, -1, 5}),
                         [](const ::testing::TestParamInfo<Opening>& info) {
                           return info.param.name;
                         });

// ---- Change ----

struct Change {
  const char* name;
  int group;  // selection to make, -1: leave the list alone
  int band;
  std::vector<std::string> report;  // the pieces of the one report box
  std::vector<std::string> wire;    // requests after the dialog opened
};

class UiRfChangeTest : public ::testing::TestWithParam<Change> {};

TEST_P(UiRfChangeTest, WritesAndVerifiesWhatChangedAndReportsIt) {
  const Change& change = GetParam();
  sim::SimulatedRun run(WithRf(1, 3, 5));
  OpenRfDialog(run);
  if (change.group >= 0) run.Desktop().Select(IDC_RF_GROUP, change.group);
  if (change.band >= 0) run.Desktop().Select(IDC_RF_BAND, change.band);
  run.Desktop().Click(IDC_RF_CHANGE).Answer(BoxAnswer::kOk);
  bool stillOpen = false;
  run.Desktop().Do("look", [&] { stillOpen = run.Desktop().TopmostDialog() == IDD_ADJUST_RF; });
  run.Desktop().Click(IDC_RF_EXIT);
  ASSERT_TRUE(run.Run()) << run.Error();

  std::string report;
  for (const std::string& piece : change.report) report += piece;
  EXPECT_EQ(BoxTexts(run.Desktop()), (std::vector<std::string>{kRfQuestionText, report}));
  EXPECT_EQ(run.Desktop().Boxes()[1].style, platform::BoxStyle::kWarning);
  EXPECT_TRUE(stillOpen);
  EXPECT_EQ(WireAfterLast(run.Dongle(), "DR 0000/27"), change.wire);
  const int group = change.group >= 0 ? change.group : 1;
  const int band = change.band >= 0 ? change.band : 5;
  EXPECT_EQ(run.Dongle().ReadData(ADDR_RF_GROUP, 1), Bytes{static_cast<std::uint8_t>(group)});
  EXPECT_EQ(run.Dongle().ReadData(ADDR_START_BAND, 1), Bytes{static_cast<std::uint8_t>(band)});
  EXPECT_EQ(theApp.m_nRfGroup.load(), group);
  EXPECT_EQ(theApp.m_nStartBand.load(), band);
}

INSTANTIATE_TEST_SUITE_P(
    Selections, UiRfChangeTest,
    ::testing::Values(
        Change{"Nothing", -1, -1, {kRfClosingNote}, {}},
        Change{"SameValuesSelectedAgain", 1, 5, {kRfClosingNote}, {}},
        Change{
            "GroupOnly", 3, -1, {kGroupChangedText, kRfClosingNote},
            {"DR 0015/1", "DW 0015/1 03", "DR 0015/1"}},  // the value to put back confirmed first
        Change{"GroupToDefault",
               0,
               -1,
               {kGroupChangedText, kRfClosingNote},
               {"DR 0015/1", "DW 0015/1 00", "DR 0015/1"}},
        Change{
            "BandOnly", -1, 15, {kBandChangedText, kRfClosingNote},
            // band 15: the marker confirmed by two reads first
            {"DR 01c0/1", "DR 01c0/1", "DR 01c1/1", "DW 01c1/1 0f", "DR 01c1/1"}},
        Change{"Both",
               2,
               9,
               {kBandChangedText, kGroupChangedText, kRfClosingNote},
               {"DR 0015/1", "DW 0015/1 02", "DR 0015/1", "DR 01c1/1", "DW 01c1/1 09", "DR 01c1/1"}}),
    [](const ::testing::TestParamInfo<Change>& info) { return info.param.name; });

// With nothing selected in either list (settings the lists cannot show),
// Change prompts for each and writes nothing.
TEST(UiRfTest, MissingSelectionsArePromptedForAndNothingIsWritten) {
  sim::SimulatedRun run(WithRf(7, 2, 14));
  OpenRfDialog(run);
  run.Desktop()
      .Click(IDC_RF_CHANGE)
      .Answer(BoxAnswer::kOk)
      .Answer(BoxAnswer::kOk)
      .Answer(BoxAnswer::kOk);
  // One list chosen: only the other is prompted for, and the chosen one is
  // written.
  run.Desktop()
      .Select(IDC_RF_BAND, 3)
      .Click(IDC_RF_CHANGE)
      .Answer(BoxAnswer::kOk)
      .Answer(BoxAnswer::kOk);
  run.Desktop().Click(IDC_RF_EXIT);
  ASSERT_TRUE(run.Run()) << run.Error();
  EXPECT_EQ(
      BoxTexts(run.Desktop()),
      (std::vector<std::string>{kRfQuestionText, kChooseGroupText, kChooseBandText, kRfClosingNote,
                                kChooseGroupText, kBandChangedText + kRfClosingNote}));
  EXPECT_EQ(WireAfterLast(run.Dongle(), "DR 0000/27"),
            (std::vector<std::string>{"DR 01c1/1", "DW 01c1/1 03", "DR 01c1/1"}));
}

// A change is stored at once: Change again writes nothing, and the next
// opening shows the new values.
TEST(UiRfTest, ChangedValuesAreKeptForTheNextChangeAndTheNextOpening) {
  sim::SimulatedRun run(WithRf(0, 3, 5));
  OpenRfDialog(run);
  run.Desktop().Select(IDC_RF_BAND, 11).Select(IDC_RF_GROUP, 4);
  run.Desktop().Click(IDC_RF_CHANGE).Answer(BoxAnswer::kOk);
  run.Desktop().Click(IDC_RF_CHANGE).Answer(BoxAnswer::kOk).Click(IDC_RF_EXIT);
  OpenRfDialog(run);
  run.Desktop().Click(IDC_RF_EXIT);
  ASSERT_TRUE(run.Run()) << run.Error();

  EXPECT_EQ(BoxTexts(run.Desktop()),
            (std::vector<std::string>{kRfQuestionText,
                                      kBandChangedText + kGroupChangedText + kRfClosingNote,
                                      kRfClosingNote, kRfQuestionText}));
  EXPECT_EQ(CountWrites(run.Dongle()), 2);
  const std::vector<std::string> bands = ListLines(IDC_RF_BAND);
  const std::vector<std::string> groups = ListLines(IDC_RF_GROUP);
  ASSERT_EQ(bands.size(), 2u);
  ASSERT_EQ(groups.size(), 2u);
  EXPECT_EQ(bands[1], Entries(16) + " 11");
  EXPECT_EQ(groups[1], kGroupEntries + " 4");
}

// A setting that does not take (the dongle stores another byte every time,
// or a request fails after a wrong byte was stored) gets its value before put
// back and verified, then the shared error text: no report, the dialog stays
// open. The value put back is the one two reads agree on (a fresh read
// agreeing with the worker's), and only one the dongle can hold.
TEST(UiRfTest, SettingThatDoesNotTakeIsPutBackAndShowsTheSharedError) {
  struct Case {
    const char* name;
    sim::SimDongleConfig dongle;
    std::vector<sim::Fault> atPlug;    // at a re-plug before the dialog opens (none: no re-plug)
    std::vector<sim::Fault> atChange;  // the group (2) written first, then the band
    int band;                          // the band chosen
    int group, startBand;              // m_nRfGroup and m_nStartBand afterwards
    Bytes held;                        // the dongle's group and band afterwards
    int writes;
    const char* putBack;  // the write of the value before
  };
  const sim::Fault failedRead = sim::MakeFault(sim::FaultOp::kDataRead, sim::FaultKind::kFail);
  const sim::Fault failedWrite = sim::MakeFault(sim::FaultOp::kDataWrite, sim::FaultKind::kFail, 2);
  for (const Case& c : {
           Case{"group", WithRf(1, 3, 5), {}, {FlipDataWrites(0)}, 9, 1, 5, {1, 5}, 10, "DW 0015/1 01"},
           Case{"band", WithRf(1, 3, 5), {}, {FlipDataWrites(1)}, 9, 2, 5, {2, 5}, 11, "DW 01c1/1 05"},
           Case{"group 0xff, none the dongle can hold", WithRf(-1, 3, 5), {}, {FlipDataWrites(0)}, 9,
                kRfUnknown, 5, {3, 5}, 9, nullptr},
           Case{"group never read", WithRf(1, 3, 5), {failedRead}, {FlipDataWrites(0)}, 9, 1, 5,
                {1, 5}, 10, "DW 0015/1 01"},
           Case{"group 0 read as 8", WithRf(0, 3, 5), {sim::MakeFlip(sim::FaultOp::kDataRead, 0, 1, 0, 3)},
                {FlipDataWrites(0)}, 9, 0, 5, {0, 5}, 10, "DW 0015/1 00"},
           Case{"band 12 of 13 read as 13", WithRf(1, 2, 12), {sim::MakeFlip(sim::FaultOp::kDataRead, 2, 1, 0, 0)},
                {FlipDataWrites(1)}, 9, 2, 12, {2, 12}, 11, "DW 01c1/1 0c"},
           Case{"band 12 stored as 13, then a failed write", WithRf(1, 2, 5), {},
                {sim::MakeFlip(sim::FaultOp::kDataWrite, 1, 1, 0, 0), failedWrite}, 12, 2, 5, {2, 5}, 4,
                "DW 01c1/1 05"}}) {
    SCOPED_TRACE(c.name);
    sim::SimulatedRun run(c.dongle);
    if (!c.atPlug.empty()) {
      run.Desktop().Do("unplug", [&] { run.Machine().Unplug(); });
      run.Desktop().Do("plug, the settings read with faults", [&] {
        for (const sim::Fault& fault : c.atPlug) run.Dongle().AddFault(fault);
        run.Machine().Plug();
      });
    }
    OpenRfDialog(run);
    run.Desktop().Select(IDC_RF_GROUP, 2).Select(IDC_RF_BAND, c.band);
    run.Desktop().Do("the change's faults", [&] {
      for (const sim::Fault& fault : c.atChange) run.Dongle().AddFault(fault);
    });
    run.Desktop().Click(IDC_RF_CHANGE).Answer(BoxAnswer::kOk);
    bool stillOpen = false;
    run.Desktop().Do("look", [&] { stillOpen = run.Desktop().TopmostDialog() == IDD_ADJUST_RF; });
    run.Desktop().Click(IDC_RF_EXIT);
    ASSERT_TRUE(run.Run()) << run.Error();

    EXPECT_EQ(BoxTexts(run.Desktop()),
              (std::vector<std::string>{kRfQuestionText, kUpgradeErrorText}));
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(theApp.m_nRfGroup.load(), c.group);
    EXPECT_EQ(theApp.m_nStartBand.load(), c.startBand);
    EXPECT_EQ((Bytes{run.Dongle().ReadData(ADDR_RF_GROUP, 1)[0],
                     run.Dongle().ReadData(ADDR_START_BAND, 1)[0]}),
              c.held);
    // The band is not tried after a failed group; the value before goes back once.
    EXPECT_EQ(CountWrites(run.Dongle()), c.writes);
    if (c.putBack != nullptr) {
      EXPECT_EQ(Count(WireAfterLast(run.Dongle(), "DR 0000/27"), c.putBack), 1);
    }
  }
}

TEST(UiRfTest, FailedWriteShowsTheSharedErrorAndTheNextTrySucceeds) {
  sim::SimulatedRun run(WithRf(1, 3, 5));
  OpenRfDialog(run);
  run.Desktop().Select(IDC_RF_BAND, 2);
  run.Desktop().Do("fail the write", [&] {
    run.Dongle().AddFault(sim::MakeFault(sim::FaultOp::kDataWrite, sim::FaultKind::kFail));
  });
  run.Desktop().Click(IDC_RF_CHANGE).Answer(BoxAnswer::kOk);
  run.Desktop().Click(IDC_RF_CHANGE).Answer(BoxAnswer::kOk).Click(IDC_RF_EXIT);
  ASSERT_TRUE(run.Run()) << run.Error();
  EXPECT_EQ(BoxTexts(run.Desktop()), (std::vector<std::string>{kRfQuestionText, kUpgradeErrorText,
                                                               kBandChangedText + kRfClosingNote}));
  EXPECT_EQ(run.Dongle().ReadData(ADDR_START_BAND, 1), Bytes{2});
}

// The keys that end the RF dialog write nothing, whatever the lists show.
TEST(UiRfTest, EscapeCloseAndEnterEndTheDialogWithoutWriting) {
  sim::SimulatedRun run(WithRf(1, 3, 5));
  OpenRfDialog(run);
  run.Desktop().Select(IDC_RF_GROUP, 3).PressEscape();
  OpenRfDialog(run);
  run.Desktop().Select(IDC_RF_GROUP, 3).RequestClose();
  OpenRfDialog(run);
  run.Desktop().Select(IDC_RF_BAND, 3).PressEnter();
  ASSERT_TRUE(run.Run()) << run.Error();
  EXPECT_EQ(DialogOpenings(IDD_ADJUST_RF), 3);
  EXPECT_EQ(CountWrites(run.Dongle()), 0);
  EXPECT_EQ(BoxTexts(run.Desktop()),
            (std::vector<std::string>{kRfQuestionText, kRfQuestionText, kRfQuestionText}));
}

// ---- The worker refreshes the open dialog ----

// Unplugged and plugged in again while the dialog is open: the lists are
// rebuilt from the dongle's new readings (band 0 selected like any other, a
// band above 12 only with 16 bands), and Change works against them.
TEST(UiRfTest, ReplugWhileTheDialogIsOpenRefreshesTheLists) {
  struct Reading {
    int group, marker, band;
  };
  const Reading readings[] = {{4, 2, 9}, {0, 3, 14}, {5, 2, 0}};
  sim::SimulatedRun run(WithRf(1, 3, 14));
  std::vector<std::string> shown;
  OpenRfDialog(run);
  for (const Reading& r : readings) {
    run.Desktop().Do("unplug", [&] { run.Machine().Unplug(); });
    run.Desktop().Do("other settings", [&] {
      run.Dongle().WriteData(ADDR_RF_GROUP, {static_cast<std::uint8_t>(r.group)});
      run.Dongle().WriteData(ADDR_BAND_MARKER, {static_cast<std::uint8_t>(r.marker)});
      run.Dongle().WriteData(ADDR_START_BAND, {static_cast<std::uint8_t>(r.band)});
    });
    run.Desktop().Do("plug", [&] { run.Machine().Plug(); });
    run.Desktop().Do("look", [&] {
      const sim::ControlState band = run.Desktop().Control(IDD_ADJUST_RF, IDC_RF_BAND);
      const sim::ControlState group = run.Desktop().Control(IDD_ADJUST_RF, IDC_RF_GROUP);
      shown.push_back(std::to_string(band.items.size()) + " " + std::to_string(band.selected) +
                      " " + std::to_string(group.selected));
    });
  }
  run.Desktop().Select(IDC_RF_BAND, 12).Click(IDC_RF_CHANGE).Answer(BoxAnswer::kOk);
  run.Desktop().Click(IDC_RF_EXIT);
  ASSERT_TRUE(run.Run()) << run.Error();

  // Band entries, band selection, group selection after each connection.
  EXPECT_EQ(shown, (std::vector<std::string>{"13 9 4", "16 14 0", "13 0 5"}));
  const std::vector<std::string> bands = ListLines(IDC_RF_BAND);
  ASSERT_FALSE(bands.empty());
  EXPECT_EQ(bands.front(), Entries(16) + " 14");
  EXPECT_EQ(bands.back(), Entries(13) + " 0");
  EXPECT_EQ(BoxTexts(run.Desktop()),
            (std::vector<std::string>{kRfQuestionText, kBandChangedText + kRfClosingNote}));
  // The last opening's settings reads, then the change.
  const std::vector<std::string> wire = Wire(run.Dongle());
  ASSERT_GE(wire.size(), 6u);
  EXPECT_EQ(std::vector<std::string>(wire.end() - 6, wire.end()),
            (std::vector<std::string>{"DR 0015/1", "DR 01c0/1", "DR 01c1/1", "DR 01c1/1",
                                      "DW 01c1/1 0c", "DR 01c1/1"}));
  EXPECT_EQ(run.Dongle().OpenCount(), 4u);
}

// With the dialog closed, a new connection refreshes nothing.
TEST(UiRfTest, ReplugWithTheDialogClosedRefreshesNothing) {
  sim::SimulatedRun run(WithRf(1, 3, 5));
  OpenRfDialog(run);
  run.Desktop().Click(IDC_RF_EXIT);
  run.Desktop().Do("unplug", [&] { run.Machine().Unplug(); });
  run.Desktop().Do("plug", [&] { run.Machine().Plug(); });
  ASSERT_TRUE(run.Run()) << run.Error();
  EXPECT_EQ(ListLines(IDC_RF_BAND).size(), 1u);
  EXPECT_EQ(Count(Wire(run.Dongle()), "DR 01c1/1"), 2);
}

// The dongle gone while the question is open, or while the dialog is open:
// the dialog still works, and Change fails with the shared error text
// without anything reaching the dongle.
TEST(UiRfTest, ChangeWithTheDongleGoneShowsTheSharedError) {
  for (bool duringQuestion : {true, false}) {
    SCOPED_TRACE(duringQuestion ? "removed during the question" : "removed with the dialog open");
    sim::SimulatedRun run(WithRf(1, 3, 5));
    run.Desktop().Click(IDC_ADJUST_RF);
    if (duringQuestion) run.Desktop().Do("unplug", [&] { run.Machine().Unplug(); });
    run.Desktop().Answer(BoxAnswer::kYes);
    if (!duringQuestion) run.Desktop().Do("unplug", [&] { run.Machine().Unplug(); });
    run.Desktop().Select(IDC_RF_GROUP, 2).Click(IDC_RF_CHANGE).Answer(BoxAnswer::kOk);
    run.Desktop().Click(IDC_RF_EXIT);
    MainState after;
    CaptureAt(run, &after);
    ASSERT_TRUE(run.Run()) << run.Error();
    EXPECT_EQ(BoxTexts(run.Desktop()),
              (std::vector<std::string>{kRfQuestionText, kUpgradeErrorText}));
    EXPECT_EQ(WireAfterLast(run.Dongle(), "DR 01c1/1"), (std::vector<std::string>{"DR 0000/27"}));
    EXPECT_EQ(theApp.m_nRfGroup.load(), 1);
    ExpectIdle(after);
    EXPECT_FALSE(after.adjustEnabled);
  }
}

// ---- Keys of the main window ----

// Escape and a close request both become the command of id 2, Adjust RF.
TEST(UiRfTest, EscapeAndCloseRequestOnTheMainWindowRunAdjustRf) {
  sim::SimulatedRun run(StandardDongle());
  MainState after;
  run.Desktop().PressEscape().Answer(BoxAnswer::kYes).Click(IDC_RF_EXIT);
  run.Desktop().RequestClose().Answer(BoxAnswer::kNo);
  CaptureAt(run, &after);
  ASSERT_TRUE(run.Run()) << run.Error();
  EXPECT_EQ(BoxTexts(run.Desktop()), (std::vector<std::string>{kRfQuestionText, kRfQuestionText}));
  EXPECT_EQ(DialogOpenings(IDD_ADJUST_RF), 1);
  EXPECT_EQ(run.Desktop().Beeps(), 0);
  ExpectIdle(after);
}

// With no dongle Adjust RF is disabled: the dialog manager refuses both the
// close request and Escape with a beep, since the control of id 2 is disabled.
TEST(UiRfTest, WithoutDongleCloseRequestAndEscapeAreRefusedWithABeep) {
  sim::SimulatedRun run(Unplugged());
  MainState state;
  CaptureAt(run, &state);
  run.Desktop().RequestClose().PressEscape();
  ASSERT_TRUE(run.Run()) << run.Error();
  EXPECT_FALSE(state.adjustEnabled);
  EXPECT_TRUE(run.Desktop().Boxes().empty());
  EXPECT_EQ(run.Desktop().Beeps(), 2);
  EXPECT_EQ(sim::TheTranscript().Events("beep").size(), 2u);
}

}  // namespace
}  // namespace uitest
