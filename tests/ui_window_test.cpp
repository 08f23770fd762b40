// The main window end to end on the simulated machine: what it shows when it
// opens, the background picture, the failures of its initialisation (picture,
// firmware images, device notifications) and what still works after them,
// and the keys that end it.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "sim/desktop/sim_resources.h"
#include "sim/desktop/dialog_templates.h"
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
  // The window object is gone: nothing may reach it any more.
  EXPECT_EQ(theApp.m_pMainWnd.load(), nullptr);
  EXPECT_EQ(g_pMainDlg.load(), nullptr);
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
// client area is covered there by the smallest of the three drawings (600,
// 1200 and 1800 pixels wide) at least as large as it, or by the largest, and
// one missing or not decoding leaves the choice to the others. At 96 dpi the
// 600 x 400 picture stays at its own size whatever the client area measures.
TEST(UiWindowTest, PictureFillsTheClientAreaOnlyOnAScaledDisplay) {
  struct Case {
    sim::PaintSurface surface;
    std::vector<int> missing;  // resources taken away
    int broken;                // a resource that is not a PNG, or 0
    std::uint32_t picture;     // the width of the drawing chosen
    int width;
    int height;
  };
  const int k2x = IDR_BACKGROUND_2X_PNG;
  const int k3x = IDR_BACKGROUND_3X_PNG;
  for (const Case& c : {Case{{943, 586, 144}, {}, 0, 1200, 943, 586},
                        Case{{751, 499, 120}, {}, 0, 1200, 751, 499},
                        Case{{686, 400, 96}, {}, 0, 600, 600, 400},
                        Case{{1200, 800, 192}, {}, 0, 1200, 1200, 800},
                        Case{{1250, 820, 192}, {}, 0, 1800, 1250, 820},
                        Case{{1900, 1250, 288}, {}, 0, 1800, 1900, 1250},
                        Case{{943, 586, 144}, {k2x}, 0, 1800, 943, 586},
                        Case{{943, 586, 144}, {k2x, k3x}, 0, 600, 943, 586},
                        Case{{1250, 820, 192}, {}, k3x, 1200, 1250, 820},
                        Case{{0, 586, 144}, {}, 0, 600, 600, 400},  // a client area of nothing
                        Case{{943, 0, 144}, {}, 0, 600, 600, 400}}) {
    SCOPED_TRACE(std::to_string(c.surface.dpi) + " dpi, " + std::to_string(c.surface.clientWidth) +
                 " wide, " + std::to_string(c.missing.size()) + " missing, broken " +
                 std::to_string(c.broken));
    sim::SimulatedRun run(StandardDongle());
    run.Graphics().SetPaintSurface(c.surface);
    for (int id : c.missing) run.Resources().Remove("PNG", id);
    if (c.broken != 0) run.Resources().Add("PNG", c.broken, {'n', 'o', 't', ' ', 'p', 'n', 'g'});
    run.Desktop().PressEnter();
    ASSERT_TRUE(run.Run()) << run.Error();
    ASSERT_GE(run.Graphics().DrawCount(), 1);
    const sim::DrawCall draw = run.Graphics().LastDraw();
    ASSERT_NE(draw.picture, nullptr);
    EXPECT_EQ(draw.picture->Width(), c.picture);
    EXPECT_EQ(draw.x, 0);
    EXPECT_EQ(draw.y, 0);
    EXPECT_EQ(draw.width, c.width);
    EXPECT_EQ(draw.height, c.height);
    EXPECT_TRUE(run.Desktop().Boxes().empty());
  }
}

// The picture is drawn into a bitmap once for the window's client size and
// scale; a paint copies only the part it covers, never over the controls,
// and a new size or scale has it drawn again.
TEST(UiWindowTest, PictureIsDrawnOncePerSizeAndScale) {
  sim::SimulatedRun run(StandardDongle());
  run.Graphics().SetPaintSurface({943, 586, 144});
  struct Seen {
    int draws;
    int copies;
    platform::Rect copy;
    std::uint32_t picture;
  };
  std::vector<Seen> seen;
  platform::Rect frame;
  const auto look = [&] {
    const sim::DrawCall draw = run.Graphics().LastDraw();
    seen.push_back({run.Graphics().DrawCount(), run.Graphics().CopyCount(),
                    run.Graphics().LastCopy(), draw.picture ? draw.picture->Width() : 0});
  };
  run.Desktop().Do("opened", [&] {
    frame = MainWindow()->m_rcProgress;
    look();
  });
  run.Desktop().Do("progress repainted", [&] {
    MainWindow()->RepaintProgressArea();
    look();
  });
  run.Desktop().Do("moved to a 192 dpi display", [&] {
    run.Graphics().SetPaintSurface({1250, 820, 192});
    MainWindow()->RepaintProgressArea();
    look();
  });
  run.Desktop().PressEnter();
  ASSERT_TRUE(run.Run()) << run.Error();

  ASSERT_EQ(seen.size(), 3u);
  const auto rect = [](const platform::Rect& r) {
    return std::vector<int>{r.left, r.top, r.right, r.bottom};
  };
  EXPECT_EQ(seen[0].draws, 1);
  EXPECT_EQ(seen[0].copies, 1);
  EXPECT_EQ(rect(seen[0].copy), (std::vector<int>{0, 0, 943, 586}));
  EXPECT_EQ(seen[0].picture, 1200u);
  EXPECT_EQ(seen[1].draws, 1);
  EXPECT_EQ(seen[1].copies, 2);
  EXPECT_EQ(rect(seen[1].copy), rect(frame));
  EXPECT_EQ(seen[2].draws, 2);
  EXPECT_EQ(rect(seen[2].copy), rect(frame));
  EXPECT_EQ(seen[2].picture, 1800u);
  // Every paint leaves out the four shown controls, which paint themselves.
  EXPECT_EQ(run.Graphics().LastPaintExclusions().size(), 4u);
  // The bitmap went with the window, before the library was shut down.
  EXPECT_EQ(run.Graphics().BitmapsAtShutdown(), 0);
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

// ---- The templates ----

// The style names of the resource script with the values Windows gives them.
const std::map<std::string, std::uint32_t> kStyleNames = {
    {"WS_POPUP", 0x80000000u},   {"WS_VISIBLE", 0x10000000u},     {"WS_CAPTION", 0x00C00000u},
    {"WS_BORDER", 0x00800000u},  {"WS_VSCROLL", 0x00200000u},     {"WS_SYSMENU", 0x00080000u},
    {"WS_GROUP", 0x00020000u},   {"WS_TABSTOP", 0x00010000u},     {"WS_EX_TRANSPARENT", 0x20u},
    {"DS_3DLOOK", 0x4u},         {"DS_MODALFRAME", 0x80u},        {"BS_PUSHBUTTON", 0x0u},
    {"BS_DEFPUSHBUTTON", 0x1u},  {"ES_MULTILINE", 0x4u},          {"ES_UPPERCASE", 0x8u},
    {"ES_AUTOVSCROLL", 0x40u},   {"ES_READONLY", 0x800u},         {"ES_NUMBER", 0x2000u},
    {"SS_LEFT", 0x0u},           {"SS_ICON", 0x3u},               {"SS_SIMPLE", 0xBu},
    {"SS_REALSIZEIMAGE", 0x800u}, {"LBS_NOTIFY", 0x1u},           {"LBS_NOINTEGRALHEIGHT", 0x100u},
    {"CBS_DROPDOWNLIST", 0x3u}};

// "A | B | NOT C" on top of `base`.
std::uint32_t ScriptStyle(const std::string& names, std::uint32_t base) {
  std::istringstream words(names);
  std::string word;
  bool clear = false;
  while (words >> word) {
    if (word == "|") continue;
    if (word == "NOT") {
      clear = true;
      continue;
    }
    EXPECT_EQ(kStyleNames.count(word), 1u) << word;
    base = clear ? base & ~kStyleNames.at(word) : base | kStyleNames.at(word);
    clear = false;
  }
  return base;
}

// One line for the dialog and one for each control: every field a template
// has, class names in lower case (Windows compares them without case).
std::string Describe(const platform::DialogTemplate& d) {
  std::ostringstream out;
  out << d.id << " \"" << d.caption << "\" " << d.x << "," << d.y << "," << d.cx << "," << d.cy
      << " font " << d.fontPointSize << " " << d.fontFace << " " << d.fontWeight << std::hex
      << " style " << d.style << " ex " << d.exStyle << std::dec << "\n";
  for (const platform::ControlTemplate& c : d.controls) {
    std::string className = c.className;
    for (char& ch : className) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    out << c.id << " " << className << " \"" << c.text << "\" " << c.x << "," << c.y << ","
        << c.cx << "," << c.cy << std::hex << " style " << c.style << " ex " << c.exStyle
        << std::dec << "\n";
  }
  return out.str();
}

std::string ReadSource(const std::string& path) {
  std::ifstream file(TAV_SOURCE_DIR "/" + path);
  EXPECT_TRUE(file.good()) << path;
  return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

// The dialogs of the resource script the Windows program is built from, read
// as the resource compiler reads them: each CONTROL is a visible child unless
// it says NOT WS_VISIBLE, and FONT adds DS_SETFONT to the dialog's style.
std::map<std::string, std::string> ScriptDialogs() {
  std::map<std::string, int> ids = {{"IDOK", 1}, {"IDCANCEL", 2}, {"-1", -1}};
  const std::regex define(R"(#define (\w+) (\d+))");
  const std::string names = ReadSource("src/ui/resource_ids.h");
  for (std::sregex_iterator m(names.begin(), names.end(), define), end; m != end; ++m) {
    ids[(*m)[1]] = std::stoi((*m)[2]);
  }
  const std::regex dialog(R"re((\w+) DIALOGEX 0, 0, (\d+), (\d+)\nSTYLE ([^\n]+)\n)re"
                          R"re(CAPTION "([^"]*)"\nFONT (\d+), "([^"]+)", (\d+), 0, 0x0\n)re"
                          R"re(BEGIN\n((?:    CONTROL [^\n]+\n)+)END)re");
  const std::regex control(R"re(    CONTROL "([^"]*)", ([-\w]+), "(\w+)", ([^,]+), )re"
                           R"re((\d+), (\d+), (\d+), (\d+)(?:, (\w+))?\n)re");
  std::map<std::string, std::string> dialogs;
  const std::string script = ReadSource("res/TavrolinUpgrade.rc");
  for (std::sregex_iterator d(script.begin(), script.end(), dialog), end; d != end; ++d) {
    platform::DialogTemplate t;
    t.id = ids.at((*d)[1]);
    t.cx = std::stoi((*d)[2]);
    t.cy = std::stoi((*d)[3]);
    t.style = ScriptStyle((*d)[4], 0x40u);  // DS_SETFONT
    t.caption = (*d)[5];
    t.fontPointSize = std::stoi((*d)[6]);
    t.fontFace = (*d)[7];
    t.fontWeight = std::stoi((*d)[8]);
    const std::string body = (*d)[9];
    for (std::sregex_iterator c(body.begin(), body.end(), control); c != end; ++c) {
      EXPECT_EQ(ids.count((*c)[2]), 1u) << (*c)[2];
      t.controls.push_back({ids[(*c)[2]], (*c)[3], (*c)[1], std::stoi((*c)[5]), std::stoi((*c)[6]),
                            std::stoi((*c)[7]), std::stoi((*c)[8]),
                            ScriptStyle((*c)[4], 0x50000000u),  // WS_CHILD | WS_VISIBLE
                            ScriptStyle((*c)[9], 0)});
    }
    dialogs[(*d)[1]] = Describe(t);
  }
  return dialogs;
}

// The headless windows are built from the program's portable templates, the
// Windows program from the resource script: the two must say the same, to the
// dialog unit and the style bit.
TEST(UiWindowTest, TemplatesAreTheDialogsOfTheResourceScript) {
  const std::map<std::string, std::string> script = ScriptDialogs();
  ASSERT_EQ(script.size(), 3u);
  EXPECT_EQ(Describe(MainWindowTemplate()), script.at("IDD_UPGRADE"));
  EXPECT_EQ(Describe(SelectFirmwareTemplate()), script.at("IDD_SELECT_FIRMWARE"));
  EXPECT_EQ(Describe(AdjustRfTemplate()), script.at("IDD_ADJUST_RF"));
}

}  // namespace
}  // namespace uitest
