// The connection as the main window shows it, end to end: the buttons
// following the dongle's arrivals and removals, the settings read at each
// opening, a dongle that cannot be opened, and a dongle lost in the middle of
// programming.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui_flow_support.h"

namespace uitest {
namespace {

TEST(UiConnectionTest, ButtonsFollowPlugUnplugAndReplug) {
  sim::SimulatedRun run(Unplugged());
  MainState atStart, plugged, unplugged, replugged;
  int bandAfterPlug = -1, groupAfterReplug = -1, bandsAfterReplug = -1, bandAfterReplug = -1;
  CaptureAt(run, &atStart);
  run.Desktop().Do("plug", [&] { run.Machine().Plug(); });
  CaptureAt(run, &plugged);
  run.Desktop().Do("look", [&] { bandAfterPlug = theApp.m_nStartBand.load(); });
  run.Desktop().Do("unplug", [&] { run.Machine().Unplug(); });
  CaptureAt(run, &unplugged);
  run.Desktop().Do("other settings", [&] {
    run.Dongle().WriteData(ADDR_RF_GROUP, {3});
    run.Dongle().WriteData(ADDR_BAND_MARKER, {0});
    run.Dongle().WriteData(ADDR_START_BAND, {12});
  });
  run.Desktop().Do("plug again", [&] { run.Machine().Plug(); });
  CaptureAt(run, &replugged);
  run.Desktop().Do("look again", [&] {
    groupAfterReplug = theApp.m_nRfGroup.load();
    bandsAfterReplug = theApp.m_b16Bands.load();
    bandAfterReplug = theApp.m_nStartBand.load();
  });
  // The new connection is usable.
  run.Desktop().Click(IDC_UPGRADE).Click(platform::kIdOk).Answer(BoxAnswer::kNo);
  ASSERT_TRUE(run.Run()) << run.Error();

  EXPECT_FALSE(atStart.upgradeEnabled);
  EXPECT_FALSE(atStart.adjustEnabled);
  EXPECT_TRUE(atStart.exitEnabled);
  EXPECT_TRUE(plugged.upgradeEnabled);
  EXPECT_TRUE(plugged.adjustEnabled);
  EXPECT_EQ(bandAfterPlug, 5);
  EXPECT_FALSE(unplugged.upgradeEnabled);
  EXPECT_FALSE(unplugged.adjustEnabled);
  EXPECT_TRUE(unplugged.exitEnabled);
  EXPECT_TRUE(replugged.upgradeEnabled);
  EXPECT_TRUE(replugged.adjustEnabled);
  EXPECT_EQ(groupAfterReplug, 3);
  EXPECT_EQ(bandsAfterReplug, 0);
  EXPECT_EQ(bandAfterReplug, 12);
  for (const MainState* state : {&atStart, &plugged, &unplugged, &replugged}) {
    EXPECT_EQ(state->hiddenShown, 0);
  }

  EXPECT_EQ(run.Dongle().OpenCount(), 2u);
  std::vector<std::string> expected = kSettingsReads;
  expected.insert(expected.end(), kSettingsReads.begin(), kSettingsReads.end());
  expected.push_back("mode");
  expected.push_back("DR 0000/27");
  EXPECT_EQ(Wire(run.Dongle()), expected);
  EXPECT_EQ(BoxTexts(run.Desktop()),
            (std::vector<std::string>{Confirmation("V3.51", "Standard V3.51")}));
}

// A dongle announced but never opened: after the attempts the worker asks
// for a re-plug from its own thread; the buttons, enabled by the arrival,
// are disabled once the message has been dismissed.
TEST(UiConnectionTest, DongleThatCannotBeOpenedAsksForARePlug) {
  sim::SimulatedRun run(Unplugged());
  MainState duringMessage, afterMessage;
  run.Desktop().Do("refuse every open", [&] {
    run.Dongle().AddFault(
        sim::MakeFault(sim::FaultOp::kOpen, sim::FaultKind::kFail, 0, sim::kForever));
  });
  run.Desktop().Do("plug", [&] { run.Machine().Plug(); });
  CaptureAt(run, &duringMessage);
  run.Desktop().Answer(BoxAnswer::kOk);
  CaptureAt(run, &afterMessage);
  ASSERT_TRUE(run.Run()) << run.Error();

  const std::vector<sim::BoxRecord> boxes = run.Desktop().Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Please Re-plug in your Tavrolin.\r\n");
  EXPECT_EQ(boxes[0].style, platform::BoxStyle::kWarning);
  EXPECT_FALSE(boxes[0].fromWindowThread);
  EXPECT_TRUE(duringMessage.upgradeEnabled);
  EXPECT_TRUE(duringMessage.adjustEnabled);
  EXPECT_FALSE(afterMessage.upgradeEnabled);
  EXPECT_FALSE(afterMessage.adjustEnabled);
  EXPECT_TRUE(Wire(run.Dongle()).empty());
}

// The dongle vanishes part-way through the pages, in a page's write pass or
// in its read-back: the page gives up within a bounded number of attempts,
// the failure is reported, and the window is left idle with the buttons
// following the removal.
TEST(UiConnectionTest, DongleLostDuringProgrammingEndsTheRunAndTheWindowRecovers) {
  struct Case {
    const char* name;
    int requests;  // flash requests carried out before the dongle goes
    std::string pageMessage;
    int writes;
  };
  // Two pages take 32 requests; the third writes its 8 blocks, then reads.
  for (const Case& c : {Case{"in the write pass", 36, kUpgradeErrorText, 36 - 16},
                        Case{"in the read-back", 40, "Error occurred in ReadFlash.", 40 - 16}}) {
    SCOPED_TRACE(c.name);
    sim::SimulatedRun run(StandardDongle());
    MainState after;
    // The mode query, the record read and the identity read come first.
    run.Desktop().Do("vanish later", [&] { run.Dongle().DisappearAfter(3 + c.requests); });
    run.Desktop().Click(IDC_UPGRADE).Click(platform::kIdOk).Answer(BoxAnswer::kYes);
    run.Desktop().Answer(BoxAnswer::kOk).Answer(BoxAnswer::kOk);
    CaptureAt(run, &after);
    ASSERT_TRUE(run.Run()) << run.Error();

    EXPECT_EQ(BoxTexts(run.Desktop()),
              (std::vector<std::string>{Confirmation("V3.51", "Standard V3.51"), c.pageMessage,
                                        kUpgradeErrorText}));
    ExpectIdle(after);
    EXPECT_FALSE(after.upgradeEnabled);
    EXPECT_FALSE(after.adjustEnabled);
    // The progress stopped after the second page.
    EXPECT_EQ(after.progress, 92 * 1 / 24);
    EXPECT_FALSE(run.Dongle().IsPresent());
    EXPECT_EQ(CountWrites(run.Dongle()), c.writes);
  }
}

}  // namespace
}  // namespace uitest
