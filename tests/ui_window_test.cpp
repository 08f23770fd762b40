// The main window end to end on the simulated machine: what it shows when it
// opens, the background picture, the failures of its initialisation (picture,
// firmware images, device notifications) and what still works after them,
// and the keys that end it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/sim_resources.h"
#include "ui_flow_support.h"

namespace uitest {
namespace {

const std::string kFrameText =
    "Please turn off all other program before uppdating your Tavrolin.\r\n\r\nPlug the Tavrolin "
    "into the computer USB Port.\r\n\r\nIf you experience long delays in the update please try "
    "it with another PC or contact our technical support.";
const std::string kWarningText =
    "DO NOT REMOVE the Tavrolin from your computer while the firmware is downloading!";

TEST(UiWindowTest, OpensWithItsControlsSetUpAndTheDongleRead) {
  sim::SimulatedRun run(StandardDongle());
  sim::ControlState title, frame, warning, icon, aux1, aux2, progress;
  std::string caption;
  platform::Rect rcProgress;
  MainState state;
  run.Desktop().Do("look", [&] {
    sim::HeadlessDesktop& d = run.Desktop();
    caption = d.Caption(IDD_UPGRADE);
    title = d.Control(IDD_UPGRADE, IDC_TITLE);
    frame = d.Control(IDD_UPGRADE, IDC_EDIT_FRAME);
    warning = d.Control(IDD_UPGRADE, IDC_EDIT_WARNING);
    icon = d.Control(IDD_UPGRADE, IDC_ICON);
    aux1 = d.Control(IDD_UPGRADE, IDC_EDIT_AUX1);
    aux2 = d.Control(IDD_UPGRADE, IDC_EDIT_AUX2);
    progress = d.Control(IDD_UPGRADE, IDC_PROGRESS);
    rcProgress = MainWindow()->m_rcProgress;
    state = Capture(d);
  });
  ASSERT_TRUE(run.Run()) << run.Error();

  EXPECT_EQ(caption, "Tavrolin Combo Upgrade");
  EXPECT_TRUE(state.exitEnabled);
  EXPECT_TRUE(state.upgradeEnabled);
  EXPECT_TRUE(state.adjustEnabled);
  EXPECT_EQ(state.downloading, 0);
  EXPECT_EQ(state.hiddenShown, 0);

  // The hidden controls carry what initialisation put into them, unseen.
  EXPECT_EQ(title.text, "Tavrolin Combo Upgrade");
  EXPECT_TRUE(title.hasFont);
  EXPECT_EQ(title.font.height, 20);
  EXPECT_EQ(title.font.weight, 700);
  EXPECT_EQ(title.font.face, "Arial");
  EXPECT_EQ(frame.text, kFrameText);
  EXPECT_EQ(warning.text, kWarningText);
  EXPECT_TRUE(icon.exclamationIcon);
  EXPECT_EQ(aux1.text, "");
  EXPECT_EQ(aux2.text, "");

  EXPECT_TRUE(progress.visible);
  EXPECT_EQ(progress.rangeLow, 0);
  EXPECT_EQ(progress.rangeHigh, 100);
  EXPECT_EQ(progress.position, 0);

  // The repaint area is the frame of control 1083 in client pixels, which
  // encloses the progress bar (the headless font gives 7 x 15 base units).
  EXPECT_EQ(rcProgress.left, 86);
  EXPECT_EQ(rcProgress.top, 298);
  EXPECT_EQ(rcProgress.right, 508);
  EXPECT_EQ(rcProgress.bottom, 324);

  // The picture at its own size in the top-left corner.
  ASSERT_GE(run.Graphics().DrawCount(), 1);
  const sim::DrawCall draw = run.Graphics().LastDraw();
  EXPECT_EQ(draw.x, 0);
  EXPECT_EQ(draw.y, 0);
  EXPECT_EQ(draw.width, 600);
  EXPECT_EQ(draw.height, 400);
  EXPECT_EQ(run.Graphics().Startups(), 1);
  EXPECT_EQ(run.Graphics().Shutdowns(), 1);

  // Registered for notifications, the dongle opened once and its settings
  // read; nothing else was sent and nothing was said.
  ASSERT_EQ(run.Desktop().Registrations().size(), 1u);
  EXPECT_EQ(run.Desktop().Registrations()[0].templateId, IDD_UPGRADE);
  EXPECT_EQ(Wire(run.Dongle()), kSettingsReads);
  EXPECT_EQ(theApp.m_nRfGroup.load(), 0);
  EXPECT_EQ(theApp.m_b16Bands.load(), 1);
  EXPECT_EQ(theApp.m_nStartBand.load(), 5);
  EXPECT_TRUE(run.Desktop().Boxes().empty());
}

TEST(UiWindowTest, EnterEndsTheProgramThroughTheDefaultExitButton) {
  sim::SimulatedRun run(StandardDongle());
  run.Desktop().PressEnter().Do("never reached", [] {});
  ASSERT_TRUE(run.Run()) << run.Error();
  // The window ended on Enter: the action after it never ran.
  EXPECT_EQ(run.Desktop().PendingActions(), 1u);
  const std::vector<sim::Line> dialogs = sim::TheTranscript().Events("dialog");
  ASSERT_FALSE(dialogs.empty());
  EXPECT_EQ(dialogs.back().Get("result"), "1");
  EXPECT_TRUE(run.Desktop().Boxes().empty());
}

// ---- The background picture ----

struct PictureFailure {
  const char* name;
  bool remove;
  sim::SimResources::Step step;
  const char* message;
};

class UiPictureFailureTest : public ::testing::TestWithParam<PictureFailure> {};

// Without its picture resource the window stops initialising: no
// notifications, no images, no worker; the commands only say that no dongle
// is there, whatever is plugged in.
TEST_P(UiPictureFailureTest, StopsInitialisationAndLeavesOnlyTheNoDongleAnswer) {
  const PictureFailure& failure = GetParam();
  sim::SimulatedRun run(StandardDongle());
  if (failure.remove) {
    run.Resources().Remove("PNG", IDR_BACKGROUND_PNG);
  } else {
    run.Resources().Fail("PNG", IDR_BACKGROUND_PNG, failure.step);
  }
  MainState state;
  run.Desktop().Answer(BoxAnswer::kOk);
  CaptureAt(run, &state);
  run.Desktop().Do("unplug", [&] { run.Machine().Unplug(); });
  run.Desktop().Do("plug", [&] { run.Machine().Plug(); });
  run.Desktop().Click(IDC_UPGRADE).Answer(BoxAnswer::kOk);
  run.Desktop().Click(IDC_ADJUST_RF).Answer(BoxAnswer::kOk);
  ASSERT_TRUE(run.Run()) << run.Error();

  EXPECT_EQ(BoxTexts(run.Desktop()),
            (std::vector<std::string>{failure.message, kNoDongleText, kNoDongleText}));
  EXPECT_EQ(run.Desktop().Boxes()[0].style, platform::BoxStyle::kWarning);
  // The template's buttons stay as they were made: nothing updates them.
  EXPECT_TRUE(state.upgradeEnabled);
  EXPECT_TRUE(state.adjustEnabled);
  ExpectIdle(state);
  EXPECT_TRUE(run.Desktop().Registrations().empty());
  for (const auto& call : run.Resources().FindCalls()) EXPECT_EQ(call.first, "PNG");
  EXPECT_EQ(run.Dongle().OpenCount(), 0u);
  EXPECT_TRUE(Wire(run.Dongle()).empty());
  EXPECT_EQ(DialogOpenings(IDD_SELECT_FIRMWARE), 0);
  EXPECT_EQ(run.Graphics().DrawCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, UiPictureFailureTest,
    ::testing::Values(PictureFailure{"Missing", true, sim::SimResources::Step::kFind,
                                     "Error at Finding PNG!"},
                      PictureFailure{"NotLoaded", false, sim::SimResources::Step::kLoad,
                                     "Error in LoadResource!"}),
    [](const ::testing::TestParamInfo<PictureFailure>& info) { return info.param.name; });

// On a scaled display the dialog manager grows the window with its font; the
// picture is stretched over the client area there, and at 96 dpi it stays at
// its own size whatever the client area measures.
TEST(UiWindowTest, PictureFillsTheClientAreaOnlyOnAScaledDisplay) {
  struct Case {
    sim::PaintSurface surface;
    int width;
    int height;
  };
  for (const Case& c : {Case{{943, 586, 144}, 943, 586}, Case{{751, 499, 120}, 751, 499},
                        Case{{686, 400, 96}, 600, 400}}) {
    SCOPED_TRACE(c.surface.dpi);
    sim::SimulatedRun run(StandardDongle());
    run.Graphics().SetPaintSurface(c.surface);
    run.Desktop().PressEnter();
    ASSERT_TRUE(run.Run()) << run.Error();
    ASSERT_GE(run.Graphics().DrawCount(), 1);
    const sim::DrawCall draw = run.Graphics().LastDraw();
    EXPECT_EQ(draw.x, 0);
    EXPECT_EQ(draw.y, 0);
    EXPECT_EQ(draw.width, c.width);
    EXPECT_EQ(draw.height, c.height);
  }
}

// A picture that does not decode, or a graphics library that did not start,
// only leaves the window without its picture.
TEST(UiWindowTest, UndecodablePictureLeavesTheWindowWorkingWithoutIt) {
  for (bool graphicsDown : {false, true}) {
    SCOPED_TRACE(graphicsDown ? "graphics library not started" : "picture not a PNG");
    sim::SimulatedRun run(StandardDongle());
    if (graphicsDown) {
      run.Graphics().FailStartup(true);
    } else {
      run.Resources().Add("PNG", IDR_BACKGROUND_PNG, {'n', 'o', 't', ' ', 'p', 'n', 'g'});
    }
    MainState state;
    CaptureAt(run, &state);
    run.Desktop().Click(IDC_UPGRADE).Click(platform::kIdOk).Answer(BoxAnswer::kNo);
    ASSERT_TRUE(run.Run()) << run.Error();

    EXPECT_EQ(BoxTexts(run.Desktop()),
              (std::vector<std::string>{Confirmation("V3.51", "Standard V3.51")}));
    EXPECT_TRUE(state.upgradeEnabled);
    EXPECT_TRUE(state.adjustEnabled);
    ExpectIdle(state);
    EXPECT_EQ(run.Graphics().DrawCount(), 0);
    EXPECT_EQ(run.Desktop().Registrations().size(), 1u);
    EXPECT_EQ(run.Dongle().OpenCount(), 1u);
  }
}

// ---- The firmware images ----

struct ImageFailure {
  const char* name;
  int id;
  bool remove;
  sim::SimResources::Step step;
  const char* message;
  int loaded;  // images in place before the failing one
};

class UiImageFailureTest : public ::testing::TestWithParam<ImageFailure> {};

// A firmware image that cannot be had stops initialisation after the
// notification registration: the worker never starts, so an announced
// dongle is never opened and nothing ever reaches it.
TEST_P(UiImageFailureTest, StopsBeforeTheWorkerAndNothingReachesTheDongle) {
  const ImageFailure& failure = GetParam();
  sim::SimulatedRun run(StandardDongle());
  if (failure.remove) {
    run.Resources().Remove(kImageResourceType, failure.id);
  } else {
    run.Resources().Fail(kImageResourceType, failure.id, failure.step);
  }
  std::vector<std::string> labels;
  std::vector<bool> images;
  run.Desktop().Answer(BoxAnswer::kOk);
  run.Desktop().Do("look", [&] {
    for (int i = 0; i < kImageCount; ++i) {
      labels.push_back(MainWindow()->m_strLabels[i]);
      images.push_back(MainWindow()->m_pImageData[i] != nullptr);
    }
  });
  // Before any announcement: no dongle as far as the window knows.
  run.Desktop().Click(IDC_UPGRADE).Answer(BoxAnswer::kOk);
  // The registration works, so an arrival marks a dongle connected; the
  // version dialog opens, but with no worker the dongle is never opened and
  // the upgrade ends silently at its mode query.
  run.Desktop().Do("unplug", [&] { run.Machine().Unplug(); });
  run.Desktop().Do("plug", [&] { run.Machine().Plug(); });
  run.Desktop().Click(IDC_UPGRADE).Click(platform::kIdOk);
  // Gone again, so that the end of the program has no worker to wait for.
  run.Desktop().Do("unplug again", [&] { run.Machine().Unplug(); });
  ASSERT_TRUE(run.Run()) << run.Error();

  EXPECT_EQ(BoxTexts(run.Desktop()), (std::vector<std::string>{failure.message, kNoDongleText}));
  EXPECT_EQ(run.Desktop().Registrations().size(), 1u);
  EXPECT_EQ(run.Dongle().OpenCount(), 0u);
  EXPECT_TRUE(Wire(run.Dongle()).empty());
  ASSERT_EQ(labels.size(), 6u);
  const std::vector<std::string> expected = {"BadCompany Pro V3.51", "CallofDuty Pro V3.51",
                                             "KillZone Pro V3.51",   "MAG Pro V3.51",
                                             "UnCharted Pro V3.51",  "Standard V3.51"};
  for (int i = 0; i < kImageCount; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(labels[i], i < failure.loaded ? expected[i] : "");
    EXPECT_EQ(images[i], i < failure.loaded);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Failures, UiImageFailureTest,
    ::testing::Values(ImageFailure{"Missing339", 339, true, sim::SimResources::Step::kFind,
                                   "Error at Finding the firmware source.!", 3},
                      ImageFailure{"NotLoaded336", 336, false, sim::SimResources::Step::kLoad,
                                   "Error in LoadResource.!", 0},
                      ImageFailure{"NotLocked341", 341, false, sim::SimResources::Step::kLock,
                                   "Error in LockResource.!", 5}),
    [](const ::testing::TestParamInfo<ImageFailure>& info) { return info.param.name; });

// ---- Device notifications ----

// A failed registration is reported with its code in lower-case hex, and the
// window goes on: images, worker, the dongle present at start opened. Its
// removal is never heard of.
TEST(UiWindowTest, FailedNotificationRegistrationIsReportedAndInitialisationGoesOn) {
  sim::SimulatedRun run(StandardDongle());
  run.Desktop().FailDeviceRegistration(0x3E6);
  MainState atStart, afterUnplug;
  run.Desktop().Answer(BoxAnswer::kOk);
  CaptureAt(run, &atStart);
  run.Desktop().Do("unplug", [&] { run.Machine().Unplug(); });
  CaptureAt(run, &afterUnplug);
  ASSERT_TRUE(run.Run()) << run.Error();

  EXPECT_EQ(BoxTexts(run.Desktop()),
            (std::vector<std::string>{"RegisterDeviceNotification failed: 0x3e6"}));
  EXPECT_TRUE(run.Desktop().Registrations().empty());
  EXPECT_EQ(Wire(run.Dongle()), kSettingsReads);
  EXPECT_TRUE(atStart.upgradeEnabled);
  EXPECT_TRUE(atStart.adjustEnabled);
  EXPECT_TRUE(afterUnplug.upgradeEnabled);
  EXPECT_TRUE(afterUnplug.adjustEnabled);
  EXPECT_EQ(theApp.m_nStartBand.load(), 5);
  EXPECT_GE(run.Graphics().DrawCount(), 1);
}

}  // namespace
}  // namespace uitest
