// The dialog kit on the headless desktop: message maps, the dialog manager's
// keys, transcript lines, message boxes from both threads, hand-overs,
// settledness under virtual time, stalls and script errors.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/activity_observer.h"
#include "sim/desktop/dialog_template.h"
#include "platform/event.h"
#include "platform/kit.h"
#include "platform/platform.h"
#include "sim/machine/activity.h"
#include "sim/desktop/headless_desktop.h"
#include "sim/desktop/headless_graphics.h"
#include "sim/machine/services_scope.h"
#include "sim/machine/transcript.h"
#include "rc_statements.h"

namespace {

using platform::BoxStyle;
using sim::BoxAnswer;
using sim::TheTranscript;

constexpr int kMainTemplate = 9001;
constexpr int kChildTemplate = 9002;
constexpr int kPlainTemplate = 9003;  // no default button, no id 2
constexpr int kIdProgress = 1085;
constexpr int kIdWork = 1090;
constexpr int kIdList = 1097;
constexpr int kIdCombo = 1092;
constexpr int kIdHiddenEdit = 1083;

void RegisterTestTemplates() {
  platform::DialogTemplate main;
  main.id = kMainTemplate;
  main.caption = "Kit Test";
  main.cx = 343;
  main.cy = 213;
  main.style = platform::kWsPopup | platform::kWsVisible | platform::kWsCaption |
               platform::kDsModalFrame | platform::kDsSetFont;
  main.fontFace = "Times New Roman";
  main.fontPointSize = 10;
  main.fontWeight = 400;
  main.controls = {
      platform::DefPushButton("Exit", 1, 241, 192, 50, 14),
      platform::Control("", kIdProgress, platform::kClassProgress, platform::kWsBorder, 55,
                        161, 231, 10, platform::kWsExTransparent),
      platform::EditText(kIdHiddenEdit, 49, 159, 241, 14, platform::kEsMultiLine)
          .Without(platform::kWsVisible),
      platform::ListBox(kIdList, 68, 44, 146, 65, platform::kWsVScroll),
      platform::ComboBox(kIdCombo, 186, 80, 45, 77, platform::kCbsDropDownList),
      platform::PushButton("Adjust", 2, 165, 192, 50, 14),
      platform::PushButton("Work", kIdWork, 86, 192, 50, 14),
  };
  platform::RegisterTemplate(main);

  platform::DialogTemplate child;
  child.id = kChildTemplate;
  child.caption = "Child";
  child.fontPointSize = 10;
  child.controls = {platform::DefPushButton("OK", 1, 56, 136, 50, 14),
                    platform::PushButton("Cancel", 2, 180, 136, 50, 14),
                    platform::ListBox(kIdList, 68, 44, 146, 65)};
  platform::RegisterTemplate(child);

  platform::DialogTemplate plain;
  plain.id = kPlainTemplate;
  plain.caption = "Plain";
  plain.controls = {platform::PushButton("Go", 1093, 10, 10, 50, 14),
                    platform::LText("text", platform::kIdStatic, 10, 30, 50, 8)};
  platform::RegisterTemplate(plain);
}

// A dialog whose handlers log what ran and call hooks a test sets.
class TestDlg : public kit::CDialog {
 public:
  explicit TestDlg(int templateId = kMainTemplate) : kit::CDialog(templateId) {}

  void DoDataExchange() override {
    DDX_Control(kIdProgress, m_progress);
    DDX_Control(1, m_btnExit);
    DDX_Control(2, m_btnAdjust);
    DDX_Control(kIdWork, m_btnWork);
    DDX_Control(kIdList, m_list);
    DDX_Control(kIdCombo, m_combo);
  }
  bool OnInitDialog() override {
    kit::CDialog::OnInitDialog();
    if (onInit) onInit(*this);
    return true;
  }
  void OnClose() override {
    log.push_back("close");
    if (onClose) {
      onClose(*this);
    } else {
      Default();
    }
    log.push_back("close-end");
  }
  void OnOK() override {
    log.push_back("ok");
    kit::CDialog::OnOK();
  }
  void OnCancel() override {
    log.push_back("cancel");
    kit::CDialog::OnCancel();
  }
  void OnPaint(platform::PaintContext& dc) override {
    ++paints;
    if (picture) dc.DrawPicture(*picture, 0, 0, picture->Width(), picture->Height());
  }
  std::intptr_t WindowProc(std::uint32_t message, std::uintptr_t wParam, const void* record,
                           std::size_t recordSize) override {
    if (message == platform::kWmDeviceChange) {
      const auto* bytes = static_cast<const std::uint8_t*>(record);
      notifications.push_back({wParam, std::vector<std::uint8_t>(bytes, bytes + recordSize)});
      if (onDeviceChange) onDeviceChange(*this);
    }
    return kit::CDialog::WindowProc(message, wParam, record, recordSize);
  }

  void OnAdjust() {
    log.push_back("adjust");
    if (onAdjust) onAdjust(*this);
  }
  void OnWork() {
    log.push_back("work");
    if (onWork) onWork(*this);
  }

  kit::CProgressCtrl m_progress;
  kit::CButton m_btnExit;
  kit::CButton m_btnAdjust;
  kit::CButton m_btnWork;
  kit::CListBox m_list;
  kit::CComboBox m_combo;

  std::vector<std::string> log;
  int paints = 0;
  const platform::Picture* picture = nullptr;
  std::vector<std::pair<std::uintptr_t, std::vector<std::uint8_t>>> notifications;
  std::function<void(TestDlg&)> onInit, onClose, onAdjust, onWork, onDeviceChange;

  KIT_DECLARE_MESSAGE_MAP()
};

KIT_BEGIN_MESSAGE_MAP(TestDlg, kit::CDialog)
  KIT_ON_WM_PAINT()
  KIT_ON_BN_CLICKED(2, OnAdjust)
  KIT_ON_BN_CLICKED(kIdWork, OnWork)
KIT_END_MESSAGE_MAP()

// Overrides one entry of its base's map and inherits the others.
class DerivedDlg : public TestDlg {
 public:
  void OnWorkDerived() { log.push_back("work-derived"); }
  KIT_DECLARE_MESSAGE_MAP()
};

KIT_BEGIN_MESSAGE_MAP(DerivedDlg, TestDlg)
  KIT_ON_BN_CLICKED(kIdWork, OnWorkDerived)
KIT_END_MESSAGE_MAP()

class PlainDlg : public kit::CDialog {
 public:
  PlainDlg() : kit::CDialog(kPlainTemplate) {}
};

// A background thread of the program: registered for the settledness count.
class Background {
 public:
  explicit Background(std::function<void()> body)
      : thread_((platform::activity::ExpectBackgroundThread(), [body = std::move(body)] {
          platform::activity::BeginBackgroundThread();
          body();
          platform::activity::EndBackgroundThread();
        })) {}
  ~Background() { Join(); }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }

 private:
  std::thread thread_;
};

std::vector<std::string> Json(const std::vector<sim::Line>& lines) {
  std::vector<std::string> out;
  for (const sim::Line& line : lines) out.push_back(line.ToJson());
  return out;
}

class KitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterTestTemplates();
    TheTranscript().Clear();
    platform::activity::SetVirtualTime(false);
    desktop_ = std::make_unique<sim::HeadlessDesktop>();
    desktop_->SetStepLimit(std::chrono::milliseconds(3000));
    services_ = std::make_unique<platform::ServicesScope>(
        [this](platform::Services& services) { services.dialogs = desktop_.get(); });
  }
  void TearDown() override {
    services_.reset();
    desktop_.reset();
    platform::activity::SetVirtualTime(false);
    TheTranscript().Clear();
  }

  sim::HeadlessDesktop& Desktop() { return *desktop_; }

  std::unique_ptr<sim::HeadlessDesktop> desktop_;
  std::unique_ptr<platform::ServicesScope> services_;
};

// ---- Message maps and binding ----

TEST_F(KitTest, MessageMapDispatchesItsEntriesThenTheBaseDefaults) {
  TestDlg dlg;
  EXPECT_TRUE(dlg.OnCommand(kIdWork));
  EXPECT_TRUE(dlg.OnCommand(2));  // the map's entry wins over OnCancel
  EXPECT_FALSE(dlg.OnCommand(4242));
  EXPECT_TRUE(dlg.OnCommand(1));  // no entry: OnOK
  EXPECT_EQ(dlg.log, (std::vector<std::string>{"work", "adjust", "ok"}));
  EXPECT_TRUE(dlg.WantsPaint());

  DerivedDlg derived;
  derived.OnCommand(kIdWork);
  derived.OnCommand(2);
  EXPECT_EQ(derived.log, (std::vector<std::string>{"work-derived", "adjust"}));
  EXPECT_TRUE(derived.WantsPaint());  // inherited from the base's map

  PlainDlg plain;
  EXPECT_FALSE(plain.WantsPaint());
}

TEST_F(KitTest, WrappersActOnlyWhileTheDialogRuns) {
  TestDlg dlg;
  dlg.m_btnWork.EnableWindow(false);  // unbound: nothing happens
  EXPECT_EQ(dlg.m_btnWork.GetDlgCtrlID(), 0);
  EXPECT_EQ(dlg.m_list.GetCurSel(), -1);
  EXPECT_FALSE(dlg.IsWindow());

  bool checked = false;
  Desktop().Do("check", [&] {
    EXPECT_TRUE(dlg.IsWindow());
    EXPECT_TRUE(dlg.IsWindowVisible());
    EXPECT_EQ(dlg.m_btnWork.GetDlgCtrlID(), kIdWork);
    EXPECT_TRUE(dlg.m_btnWork.IsWindowEnabled());
    EXPECT_TRUE(dlg.m_progress.IsWindowVisible());
    EXPECT_EQ(Desktop().TopmostDialog(), kMainTemplate);
    EXPECT_EQ(Desktop().Caption(kMainTemplate), "Kit Test");
    checked = true;
  });
  Desktop().Click(1);
  EXPECT_EQ(dlg.DoModal(), platform::kIdOk);
  EXPECT_TRUE(checked);
  EXPECT_FALSE(dlg.IsWindow());
  EXPECT_FALSE(dlg.m_btnWork.IsWindowEnabled());
  EXPECT_EQ(Desktop().TopmostDialog(), 0);
  EXPECT_EQ(Desktop().Error(), "");
}

TEST_F(KitTest, MissingTemplateOrNoBackendFailsTheRun) {
  kit::CDialog unknown(4711);
  EXPECT_EQ(unknown.DoModal(), -1);
  platform::ServicesScope none([](platform::Services& services) { services.dialogs = nullptr; });
  TestDlg dlg;
  EXPECT_EQ(dlg.DoModal(), -1);
  EXPECT_EQ(kit::AfxMessageBox("x"), 0);
}

// ---- The dialog manager's keys and close requests ----

TEST_F(KitTest, EnterPressesTheDefaultButtonUnlessItIsDisabled) {
  TestDlg dlg;
  dlg.onWork = [](TestDlg& d) { d.m_btnExit.EnableWindow(false); };
  dlg.onAdjust = [](TestDlg& d) { d.m_btnExit.EnableWindow(true); };
  Desktop().Click(kIdWork).PressEnter().PressEscape().PressEnter();
  EXPECT_EQ(dlg.DoModal(), platform::kIdOk);
  // The first Enter met a disabled Exit and did nothing.
  EXPECT_EQ(dlg.log, (std::vector<std::string>{"work", "adjust", "ok"}));
}

TEST_F(KitTest, EnterWithoutADefaultButtonSendsIdOk) {
  PlainDlg dlg;
  Desktop().PressEnter();
  EXPECT_EQ(dlg.DoModal(), platform::kIdOk);
}

// Escape and a close request (WM_CLOSE) become IDCANCEL; the dialog manager
// posts it, so after a close request it runs once OnClose has returned.
// Windows' IsDialogMessage treats Escape like the default dialog procedure
// treats WM_CLOSE: a disabled IDCANCEL control refuses it with a beep. (Wine's
// dialog manager sends IDCANCEL all the same.) Without an IDCANCEL control
// the dialog is cancelled.
struct CancelKey {
  bool close;     // a close request, else Escape
  bool disabled;  // IDCANCEL disabled at the start; false with `plain` too
  bool plain;     // a dialog without IDCANCEL control
  std::vector<std::string> log;
};

class KitCancelKeyTest : public KitTest, public ::testing::WithParamInterface<CancelKey> {};

TEST_P(KitCancelKeyTest, BecomesIdCancelOrIsRefusedWithABeep) {
  const CancelKey& key = GetParam();
  key.close ? Desktop().RequestClose() : Desktop().PressEscape();
  if (key.plain) {
    PlainDlg dlg;
    EXPECT_EQ(dlg.DoModal(), platform::kIdCancel);
    return;
  }
  TestDlg dlg;
  if (key.disabled) dlg.onInit = [](TestDlg& d) { d.m_btnAdjust.EnableWindow(false); };
  Desktop().Click(1);
  EXPECT_EQ(dlg.DoModal(), platform::kIdOk);
  EXPECT_EQ(dlg.log, key.log);
  EXPECT_EQ(Desktop().Beeps(), key.disabled ? 1 : 0);
  EXPECT_EQ(TheTranscript().Events("beep").size(), key.disabled ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, KitCancelKeyTest,
    ::testing::Values(CancelKey{false, false, false, {"adjust", "ok"}},
                      CancelKey{false, true, false, {"ok"}}, CancelKey{false, false, true, {}},
                      CancelKey{true, false, false, {"close", "close-end", "adjust", "ok"}},
                      CancelKey{true, true, false, {"close", "close-end", "ok"}},
                      CancelKey{true, false, true, {}}));

TEST_F(KitTest, ACloseGuardThatDropsTheRequestKeepsTheDialogOpen) {
  TestDlg dlg;
  dlg.onClose = [](TestDlg&) { kit::AfxMessageBox("busy"); };
  Desktop().RequestClose().Answer(BoxAnswer::kOk).Click(1);
  EXPECT_EQ(dlg.DoModal(), platform::kIdOk);
  EXPECT_EQ(dlg.log, (std::vector<std::string>{"close", "close-end", "ok"}));
}

// ---- Transcript lines ----

TEST_F(KitTest, EnableLinesOnlyForChangesAndProgressLinesForEverySet) {
  TestDlg dlg;
  dlg.onInit = [](TestDlg& d) {
    d.m_progress.SetRange(0, 100);
    d.m_progress.SetPos(0);
    d.m_btnExit.EnableWindow(true);  // already enabled: no line
  };
  dlg.onWork = [](TestDlg& d) {
    d.m_btnWork.EnableWindow(false);
    d.m_btnWork.EnableWindow(false);
    d.m_progress.SetPos(50);
    d.m_progress.SetPos(50);
    d.m_progress.SetPos(150);  // clamped to the range
    d.m_btnWork.EnableWindow(true);
  };
  Desktop().Click(kIdWork).Click(1);
  dlg.DoModal();
  const auto enables = Json(TheTranscript().Events("enable"));
  EXPECT_EQ(enables, (std::vector<std::string>{
                         R"({"event":"enable","control":1090,"enabled":false})",
                         R"({"event":"enable","control":1090,"enabled":true})"}));
  const auto progress = Json(TheTranscript().Events("progress"));
  EXPECT_EQ(progress, (std::vector<std::string>{R"({"event":"progress","position":0})",
                                                R"({"event":"progress","position":50})",
                                                R"({"event":"progress","position":50})",
                                                R"({"event":"progress","position":100})"}));
  const auto dialogs = Json(TheTranscript().Events("dialog"));
  EXPECT_EQ(dialogs, (std::vector<std::string>{
                         R"({"event":"dialog","template":9001,"state":"open"})",
                         R"({"event":"dialog","template":9001,"state":"closed","result":1})"}));
}

TEST_F(KitTest, ListLinesAtOpeningAndForEveryChangeByTheProgram) {
  TestDlg dlg;
  dlg.onInit = [](TestDlg& d) {
    d.m_list.AddString("a");
    d.m_list.AddString("b");
    d.m_list.SetCurSel(1);
    d.m_combo.AddString("x");
  };
  int userSelection = -2;
  dlg.onWork = [&](TestDlg& d) {
    userSelection = d.m_list.GetCurSel();
    d.m_combo.ResetContent();
    d.m_combo.AddString("y");
    d.m_combo.SetCurSel(0);
  };
  Desktop().Select(kIdList, 0).Click(kIdWork).Click(1);
  dlg.DoModal();
  EXPECT_EQ(userSelection, 0);
  const auto lists = Json(TheTranscript().Events("list"));
  EXPECT_EQ(lists, (std::vector<std::string>{
                       R"({"event":"list","control":1097,"items":["a","b"],"selected":1})",
                       R"({"event":"list","control":1092,"items":["x"],"selected":-1})",
                       R"({"event":"list","control":1092,"items":[],"selected":-1})",
                       R"({"event":"list","control":1092,"items":["y"],"selected":-1})",
                       R"({"event":"list","control":1092,"items":["y"],"selected":0})"}));
}

TEST_F(KitTest, ListMessagesBehaveAsTheControlsDo) {
  TestDlg dlg;
  int found[4] = {};
  dlg.onInit = [&](TestDlg& d) {
    for (const char* text : {"0", "1", "2", "10", "11"}) d.m_combo.AddString(text);
    found[0] = d.m_combo.SelectString(0, "1");   // from entry 1: "1"
    found[1] = d.m_combo.SelectString(1, "1");   // after "1": "10"
    found[2] = d.m_combo.SelectString(3, "0");   // wraps round to the top
    found[3] = d.m_combo.SelectString(0, "7");   // none: selection stays
    d.m_list.AddString("a");
    d.m_list.SetCurSel(0);
    d.m_list.SetCurSel(5);  // a list box keeps its selection
    d.m_combo.SetCurSel(9);  // a combo box loses it
  };
  Desktop().Do("check", [&] {
    EXPECT_EQ(dlg.m_list.GetCurSel(), 0);
    EXPECT_EQ(dlg.m_combo.GetCurSel(), -1);
  });
  Desktop().Click(1);
  dlg.DoModal();
  EXPECT_EQ(found[0], 1);
  EXPECT_EQ(found[1], 3);
  EXPECT_EQ(found[2], 0);
  EXPECT_EQ(found[3], -1);
}

// ---- Message boxes and hand-overs ----

TEST_F(KitTest, BoxesOfTheWindowThreadNestAndKeepProcessingNotifications) {
  TestDlg dlg;
  std::vector<int> answers;
  dlg.onInit = [](TestDlg& d) {
    static const std::uint8_t filter[32] = {32};
    d.RegisterDeviceNotification(filter, sizeof filter);
  };
  dlg.onWork = [&](TestDlg&) {
    answers.push_back(kit::AfxMessageBox("outer?", BoxStyle::kQuestion));
  };
  dlg.onDeviceChange = [&](TestDlg&) {
    answers.push_back(kit::AfxMessageBox("inner", BoxStyle::kInformation));
  };
  Desktop()
      .Click(kIdWork)
      .Do("plug", [&] { Desktop().BroadcastDeviceChange(platform::kDbtDeviceArrival, {1, 2}); })
      .Do("check", [&] {
        EXPECT_EQ(Desktop().OpenBox().text, "inner");
        EXPECT_EQ(Desktop().OpenBox().caption, "TavrolinUpgrade");
      })
      .Answer(BoxAnswer::kOk)
      .Answer(BoxAnswer::kYes)
      .Click(1);
  dlg.DoModal();
  EXPECT_EQ(Desktop().Error(), "");
  EXPECT_EQ(answers, (std::vector<int>{platform::kIdOk, platform::kIdYes}));
  ASSERT_EQ(dlg.notifications.size(), 1u);
  EXPECT_EQ(dlg.notifications[0].first, platform::kDbtDeviceArrival);
  EXPECT_EQ(dlg.notifications[0].second, (std::vector<std::uint8_t>{1, 2}));
  const auto lines = Json(TheTranscript().Lines());
  const std::vector<std::string> expected = {
      R"({"event":"box","style":"question","caption":"TavrolinUpgrade","text":"outer?"})",
      R"({"event":"box","style":"information","caption":"TavrolinUpgrade","text":"inner"})",
      R"({"event":"answer","value":"ok"})",
      R"({"event":"answer","value":"yes"})"};
  std::vector<std::string> boxLines;
  for (const auto& line : lines) {
    if (line.find("\"box\"") != std::string::npos || line.find("answer") != std::string::npos) {
      boxLines.push_back(line);
    }
  }
  EXPECT_EQ(boxLines, expected);
}

TEST_F(KitTest, BoxOfABackgroundThreadIsAnsweredByTheScript) {
  TestDlg dlg;
  std::atomic<int> answer{0};
  std::unique_ptr<Background> worker;
  dlg.onWork = [&](TestDlg&) {
    worker = std::make_unique<Background>(
        [&] { answer = kit::AfxMessageBox("Please Re-plug in your Tavrolin.\r\n"); });
  };
  Desktop().Click(kIdWork).Do("check", [&] {
    EXPECT_TRUE(Desktop().BoxOpen());
    EXPECT_FALSE(Desktop().OpenBox().fromWindowThread);
  });
  Desktop().Answer(BoxAnswer::kOk).Do("joined", [&] { worker->Join(); }).Click(1);
  dlg.DoModal();
  EXPECT_EQ(Desktop().Error(), "");
  EXPECT_EQ(answer.load(), platform::kIdOk);
  EXPECT_EQ(platform::activity::RunningBackgroundThreads(), 0);
  EXPECT_EQ(Json(TheTranscript().Events("box")),
            (std::vector<std::string>{
                R"({"event":"box","style":"warning","caption":"TavrolinUpgrade","text":"Please Re-plug in your Tavrolin.\r\n"})"}));
}

TEST_F(KitTest, HandOverWhileTheWindowThreadIsBusyWaitsForTheNextPump) {
  TestDlg dlg;
  std::vector<std::string> order;  // written on the window thread only
  std::unique_ptr<Background> worker;
  dlg.onWork = [&](TestDlg& d) {
    worker = std::make_unique<Background>([&] {
      platform::Os().dialogs->RunOnWindowThread([&] { order.push_back("first hand-over"); });
      d.m_btnAdjust.EnableWindow(false);  // a control change from the worker
    });
    while (Desktop().PendingHandOvers() == 0) std::this_thread::yield();
    order.push_back("handler busy");
    kit::AfxMessageBox("pumping");  // the first hand-over runs while this is open
    order.push_back("handler end");
  };
  Desktop()
      .Click(kIdWork)
      .Do("check", [&] { EXPECT_FALSE(Desktop().Control(2).enabled); })
      .Answer(BoxAnswer::kOk)
      .Do("join", [&] { worker->Join(); })
      .Click(1);
  dlg.DoModal();
  EXPECT_EQ(Desktop().Error(), "");
  EXPECT_EQ(order, (std::vector<std::string>{"handler busy", "first hand-over", "handler end"}));
}

TEST_F(KitTest, HandOverQueuedDuringAHandlerRunsWhenTheHandlerReturns) {
  TestDlg dlg;
  std::vector<std::string> order;
  std::unique_ptr<Background> worker;
  dlg.onWork = [&](TestDlg&) {
    worker = std::make_unique<Background>([&] {
      platform::Os().dialogs->RunOnWindowThread([&] { order.push_back("hand-over"); });
    });
    while (Desktop().PendingHandOvers() == 0) std::this_thread::yield();
    order.push_back("handler end");
  };
  Desktop().Click(kIdWork).Do("join", [&] { worker->Join(); }).Click(1);
  dlg.DoModal();
  EXPECT_EQ(order, (std::vector<std::string>{"handler end", "hand-over"}));
}

TEST_F(KitTest, BroadcastReachesOnlyRegisteredWindowsWithoutBlocking) {
  TestDlg main;
  TestDlg child(kChildTemplate);
  main.onInit = [](TestDlg& d) {
    std::uint8_t filter[32] = {};
    filter[0] = 32;
    filter[4] = platform::kDbtDevtypDeviceInterface;
    EXPECT_NE(d.RegisterDeviceNotification(filter, sizeof filter), 0u);
  };
  main.onWork = [&](TestDlg&) { child.DoModal(); };
  Desktop()
      .Click(kIdWork)
      .Do("unplug from another thread",
          [&] {
            std::thread([&] {
              Desktop().BroadcastDeviceChange(platform::kDbtDeviceRemoveComplete, {9});
            }).join();
          })
      .Click(1)
      .Click(1);
  main.DoModal();
  EXPECT_EQ(Desktop().Error(), "");
  ASSERT_EQ(main.notifications.size(), 1u);
  EXPECT_EQ(main.notifications[0].first, platform::kDbtDeviceRemoveComplete);
  EXPECT_TRUE(child.notifications.empty());
  const auto registrations = Desktop().Registrations();
  ASSERT_EQ(registrations.size(), 1u);
  EXPECT_EQ(registrations[0].templateId, kMainTemplate);
  EXPECT_EQ(registrations[0].filter.size(), 32u);
  EXPECT_EQ(registrations[0].filter[4], platform::kDbtDevtypDeviceInterface);
}

TEST_F(KitTest, RegistrationCanBeMadeToFail) {
  Desktop().FailDeviceRegistration(8);
  TestDlg dlg;
  std::uintptr_t handle = 1;
  dlg.onInit = [&](TestDlg& d) {
    std::uint8_t filter[32] = {32};
    handle = d.RegisterDeviceNotification(filter, sizeof filter);
  };
  Desktop().Click(1);
  dlg.DoModal();
  EXPECT_EQ(handle, 0u);
  EXPECT_TRUE(Desktop().Registrations().empty());
}

// ---- Settledness ----

TEST_F(KitTest, TimedWaitsUnderVirtualTimeCountAsBlockedUntilTheyExpire) {
  platform::activity::SetVirtualTime(true);
  TestDlg dlg;
  platform::AutoResetEvent wake;
  std::atomic<bool> stop{false};
  std::atomic<int> slices{0};
  std::unique_ptr<Background> worker;
  dlg.onInit = [&](TestDlg& d) {
    worker = std::make_unique<Background>([&] {
      while (!stop) {
        if (wake.Wait(1000) == platform::WaitResult::kTimeout) {
          ++slices;
          d.m_progress.SetPos(slices * 10);  // handed over to the window thread
        }
      }
    });
  };
  Desktop()
      .Do("no slice yet", [&] { EXPECT_EQ(slices.load(), 0); })
      .Enqueue(sim::UserAction::Tick())
      .Do("one slice", [&] {
        EXPECT_EQ(slices.load(), 1);
        EXPECT_EQ(Desktop().Control(kIdProgress).position, 10);
      })
      .Enqueue(sim::UserAction::Tick())
      .Do("two slices", [&] { EXPECT_EQ(slices.load(), 2); })
      .Do("stop", [&] {
        stop = true;
        wake.Set();
      })
      .Do("join", [&] { worker->Join(); })
      .Click(1);
  dlg.DoModal();
  EXPECT_EQ(Desktop().Error(), "");
  EXPECT_EQ(Json(TheTranscript().Events("progress")),
            (std::vector<std::string>{R"({"event":"progress","position":10})",
                                      R"({"event":"progress","position":20})"}));
}

// ---- Stalls, script errors and unwinding ----

TEST_F(KitTest, ScriptRunningOutWhileABoxIsOpenIsAStallAndTheProgramUnwinds) {
  TestDlg dlg;
  std::vector<int> results;
  std::size_t linesAtError = 0;
  bool childInitRan = false;
  TestDlg child(kChildTemplate);
  child.onInit = [&](TestDlg&) { childInitRan = true; };
  dlg.onWork = [&](TestDlg&) {
    results.push_back(kit::AfxMessageBox("really?", BoxStyle::kQuestion));
    linesAtError = TheTranscript().Lines().size();
    results.push_back(kit::AfxMessageBox("later"));
    results.push_back(child.DoModal());
  };
  Desktop().Click(kIdWork);
  EXPECT_EQ(dlg.DoModal(), platform::kIdCancel);
  EXPECT_EQ(results, (std::vector<int>{platform::kIdNo, platform::kIdOk, platform::kIdCancel}));
  EXPECT_FALSE(childInitRan);
  EXPECT_NE(Desktop().Error().find("stall: the script ran out"), std::string::npos);
  EXPECT_NE(Desktop().Error().find("really?"), std::string::npos);
  EXPECT_EQ(Desktop().Error().find('\n'), std::string::npos);
  EXPECT_TRUE(TheTranscript().Frozen());
  EXPECT_EQ(TheTranscript().Lines().size(), linesAtError);
  EXPECT_EQ(TheTranscript().Events("answer").size(), 0u);
}

TEST_F(KitTest, OutOfScriptPolicyMayContinueTheScript) {
  TestDlg dlg;
  int calls = 0;
  Desktop().SetOutOfScript([&](sim::HeadlessDesktop& desktop) {
    ++calls;
    desktop.Click(1);
    return true;
  });
  EXPECT_EQ(dlg.DoModal(), platform::kIdOk);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(Desktop().Error(), "");
}

TEST_F(KitTest, BackgroundThreadThatNeverBlocksIsAStall) {
  Desktop().SetStepLimit(std::chrono::milliseconds(200));
  TestDlg dlg;
  std::atomic<bool> stop{false};
  Background spinner([&] {
    while (!stop) std::this_thread::yield();
  });
  Desktop().Click(1);
  EXPECT_EQ(dlg.DoModal(), platform::kIdCancel);
  stop = true;
  spinner.Join();
  EXPECT_NE(Desktop().Error().find("did not settle within 200 ms"), std::string::npos);
  EXPECT_TRUE(dlg.log.empty());  // the click never came
}

TEST_F(KitTest, ABoxOfABackgroundThreadIsReleasedWhenTheRunFails) {
  TestDlg dlg;
  std::atomic<int> answer{0};
  std::unique_ptr<Background> worker;
  dlg.onWork = [&](TestDlg&) {
    worker = std::make_unique<Background>(
        [&] { answer = kit::AfxMessageBox("continue?", BoxStyle::kQuestion); });
  };
  Desktop().Click(kIdWork).Click(1);  // a click while the box is on top
  EXPECT_EQ(dlg.DoModal(), platform::kIdCancel);
  worker->Join();
  EXPECT_EQ(answer.load(), platform::kIdNo);
  EXPECT_NE(Desktop().Error().find("script error: click 1: a message box is open"),
            std::string::npos);
  EXPECT_EQ(platform::activity::RunningBackgroundThreads(), 0);
}

struct ScriptErrorCase {
  std::function<void(sim::HeadlessDesktop&)> script;
  std::string error;
};

TEST_F(KitTest, ScriptErrorsNameWhatCouldNotBeDone) {
  const std::vector<ScriptErrorCase> cases = {
      {[](sim::HeadlessDesktop& d) { d.Click(kIdWork).Click(kIdWork); },
       "script error: click 1090: button 1090 is disabled in dialog 9001"},
      {[](sim::HeadlessDesktop& d) { d.Click(kIdHiddenEdit); },
       "script error: click 1083: control 1083 is not a button in dialog 9001"},
      {[](sim::HeadlessDesktop& d) { d.Click(77); },
       "script error: click 77: no control 77 in dialog 9001"},
      {[](sim::HeadlessDesktop& d) { d.Answer(BoxAnswer::kOk); },
       "script error: answer ok: no message box is open (dialog 9001 on top)"},
      {[](sim::HeadlessDesktop& d) { d.Select(kIdList, 3); },
       "script error: select 1097 3: list 1097 has 0 entries in dialog 9001"},
      {[](sim::HeadlessDesktop& d) { d.Click(2).Answer(BoxAnswer::kYes); },
       "script error: answer yes: the box offers ok only"},
  };
  for (const ScriptErrorCase& c : cases) {
    TearDown();
    SetUp();
    TestDlg dlg;
    dlg.onWork = [](TestDlg& d) { d.m_btnWork.EnableWindow(false); };
    dlg.onAdjust = [](TestDlg&) { kit::AfxMessageBox("note"); };
    c.script(Desktop());
    EXPECT_EQ(dlg.DoModal(), platform::kIdCancel) << c.error;
    EXPECT_EQ(Desktop().Error(), c.error);
  }
}

// ---- Determinism ----

std::string RunBusyScenario() {
  TheTranscript().Clear();
  sim::HeadlessDesktop desktop;
  platform::ServicesScope services([&](platform::Services& os) { os.dialogs = &desktop; });
  TestDlg dlg;
  std::unique_ptr<Background> worker;
  platform::AutoResetEvent go;
  dlg.onInit = [&](TestDlg& d) {
    d.m_list.AddString("one");
    worker = std::make_unique<Background>([&] {
      for (int round = 0; round < 3; ++round) {
        go.Wait(platform::kInfinite);
        d.m_btnWork.EnableWindow(round % 2 == 1);
        d.m_list.AddString("worker " + std::to_string(round));
        d.m_progress.SetPos(round * 30);
        if (round == 1) kit::AfxMessageBox("from the worker");
      }
    });
  };
  dlg.onAdjust = [&](TestDlg& d) {
    go.Set();
    d.m_progress.SetPos(99);
  };
  desktop.PressEscape().Click(2).Answer(BoxAnswer::kOk).PressEscape();
  desktop.Do("join", [&] { worker->Join(); }).Click(1);
  dlg.DoModal();
  return desktop.Error() + TheTranscript().ToJsonLines();
}

TEST_F(KitTest, TranscriptIsTheSameOnEveryRun) {
  std::mutex mutex;  // the real program's plain wait ends at its time limit
  std::condition_variable never;
  std::unique_lock<std::mutex> lock(mutex);
  platform::BlockUntilSignaled(lock, never, false, 1);
  const std::string first = RunBusyScenario();
  EXPECT_NE(first.find("from the worker"), std::string::npos);
  EXPECT_EQ(first.find("stall"), std::string::npos) << first;
  for (int run = 0; run < 5; ++run) EXPECT_EQ(RunBusyScenario(), first);
}

// ---- Painting and graphics ----

std::vector<std::uint8_t> Png(std::uint32_t width, std::uint32_t height) {
  std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A,
                                   0,    0,   0,   13,  'I',  'H',  'D',  'R'};
  for (std::uint32_t v : {width, height}) {
    for (int shift = 24; shift >= 0; shift -= 8) png.push_back(static_cast<std::uint8_t>(v >> shift));
  }
  for (std::uint8_t b : {8, 6, 0, 0, 0, 0, 0, 0, 0}) png.push_back(b);  // depth..CRC
  return png;
}

TEST_F(KitTest, HeadlessGraphicsKnowsPngSizesOnlyWhileStarted) {
  const sim::NullPaintContext unknown;  // a context that knows nothing: 0 x 0 at 96 dpi
  const platform::Rect paint = unknown.PaintRect();  // the whole (empty) client area
  EXPECT_EQ((std::vector<int>{unknown.ClientWidth(), unknown.ClientHeight(), unknown.Dpi(),
                              paint.left, paint.top, paint.right, paint.bottom}),
            (std::vector<int>{0, 0, 96, 0, 0, 0, 0}));
  sim::HeadlessGraphics graphics;
  const auto png = Png(600, 400);
  EXPECT_EQ(graphics.CreatePicture(png.data(), static_cast<std::uint32_t>(png.size())), nullptr);
  const std::uintptr_t token = graphics.Startup();
  EXPECT_NE(token, 0u);
  platform::Picture* picture =
      graphics.CreatePicture(png.data(), static_cast<std::uint32_t>(png.size()));
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(picture->Width(), 600u);
  EXPECT_EQ(picture->Height(), 400u);

  auto broken = png;
  broken[1] = 'X';
  EXPECT_EQ(graphics.CreatePicture(broken.data(), static_cast<std::uint32_t>(broken.size())),
            nullptr);
  EXPECT_EQ(graphics.CreatePicture(png.data(), 20), nullptr);  // cut inside IHDR
  const auto empty = Png(0, 400);
  EXPECT_EQ(graphics.CreatePicture(empty.data(), static_cast<std::uint32_t>(empty.size())),
            nullptr);
  graphics.Shutdown(token);
  EXPECT_EQ(graphics.Startups(), 1);
  EXPECT_EQ(graphics.Shutdowns(), 1);

  graphics.FailStartup(true);
  EXPECT_EQ(graphics.Startup(), 0u);
  EXPECT_FALSE(graphics.Started());
}

TEST_F(KitTest, PaintingRunsAtOpeningAndOnUpdateWindow) {
  sim::HeadlessGraphics graphics;
  Desktop().SetGraphics(&graphics);
  const std::uintptr_t token = graphics.Startup();
  const auto png = Png(600, 400);
  TestDlg dlg;
  dlg.picture = graphics.CreatePicture(png.data(), static_cast<std::uint32_t>(png.size()));
  int drawsInHandler = -1;
  dlg.onWork = [&](TestDlg& d) {
    d.InvalidateRect(d.m_progress.ClientRectInParent(), false);
    d.UpdateWindow();  // paints before returning, as WM_PAINT is sent at once
    drawsInHandler = graphics.DrawCount();
  };
  Desktop().Do("opened", [&] { EXPECT_EQ(graphics.DrawCount(), 1); }).Click(kIdWork).Click(1);
  dlg.DoModal();
  graphics.Shutdown(token);
  EXPECT_EQ(drawsInHandler, 2);
  EXPECT_EQ(dlg.paints, 2);
  const sim::DrawCall last = graphics.LastDraw();
  EXPECT_EQ(last.picture, dlg.picture);
  EXPECT_EQ(last.x, 0);
  EXPECT_EQ(last.y, 0);
  EXPECT_EQ(last.width, 600);
  EXPECT_EQ(last.height, 400);
}

TEST_F(KitTest, ControlRectIsTheTemplateFrameInPixels) {
  TestDlg dlg;
  platform::Rect rect;
  dlg.onInit = [&](TestDlg& d) { rect = d.m_progress.ClientRectInParent(); };
  Desktop().Click(1);
  dlg.DoModal();
  // 10-point font: 7 x 15 base units; x 55 du -> 96 px, y 161 du -> 302 px.
  EXPECT_EQ(rect.left, 96);
  EXPECT_EQ(rect.top, 302);
  EXPECT_EQ(rect.right, 96 + 404);
  EXPECT_EQ(rect.bottom, 302 + 19);
}

// ---- Templates, names and script text ----

TEST(DialogTemplateTest, StatementsCarryTheResourceCompilersStyles) {
  // The values windres writes for the same statements.
  EXPECT_EQ(platform::DefPushButton("Exit", 1, 0, 0, 1, 1).style, 0x50010001u);
  EXPECT_EQ(platform::PushButton("Go", 2, 0, 0, 1, 1).style, 0x50010000u);
  EXPECT_EQ(platform::LText("x", -1, 0, 0, 1, 1).style, 0x50020000u);
  EXPECT_EQ(platform::EditText(1, 0, 0, 1, 1).style, 0x50810000u);
  EXPECT_EQ(platform::ListBox(1, 0, 0, 1, 1,
                              platform::kLbsNoIntegralHeight | platform::kWsVScroll |
                                  platform::kWsTabStop)
                .style,
            0x50a10101u);
  EXPECT_EQ(platform::EditText(1, 0, 0, 1, 1,
                               platform::kEsMultiLine | platform::kEsReadOnly |
                                   platform::kEsAutoVScroll)
                .Without(platform::kWsVisible)
                .style,
            0x40810844u);
  EXPECT_EQ(platform::ComboBox(1, 0, 0, 1, 1,
                               platform::kCbsDropDownList | platform::kWsVScroll |
                                   platform::kWsTabStop)
                .style,
            0x50210003u);
  EXPECT_EQ(platform::Control("", 5, "msctls_progress32", platform::kWsBorder, 0, 0, 1, 1).style,
            0x50800000u);
}

TEST(DialogTemplateTest, DefaultButtonClassesAndRegistry) {
  platform::DialogTemplate t;
  t.id = 9050;
  t.controls = {platform::PushButton("A", 3, 0, 0, 1, 1),
                platform::DefPushButton("B", 4, 0, 0, 1, 1)};
  EXPECT_EQ(t.DefaultButtonId(), 4);
  EXPECT_EQ(t.Find(3)->text, "A");
  EXPECT_EQ(t.Find(5), nullptr);
  EXPECT_EQ(platform::ListKindOfClass("ComboBox"), platform::ListKind::kComboBox);
  EXPECT_EQ(platform::ListKindOfClass("LISTBOX"), platform::ListKind::kListBox);
  EXPECT_EQ(platform::ListKindOfClass("listboxes"), platform::ListKind::kNone);
  EXPECT_EQ(platform::ListKindOfClass("distbox"), platform::ListKind::kNone);

  platform::RegisterTemplate(t);
  const platform::DialogTemplate* found = platform::FindTemplate(9050);
  ASSERT_NE(found, nullptr);
  t.caption = "again";
  platform::RegisterTemplate(t);
  EXPECT_EQ(platform::FindTemplate(9050), found);
  EXPECT_EQ(found->caption, "again");
  EXPECT_EQ(platform::FindTemplate(9051), nullptr);
}

TEST(KitNamesTest, ProgramNameIsTheFileNameWithoutItsExtension) {
  EXPECT_EQ(kit::ProgramNameFromPath("C:\\Tools\\TavrolinUpgrade.exe"), "TavrolinUpgrade");
  EXPECT_EQ(kit::ProgramNameFromPath("C:\\a.b\\My.Tool.exe"), "My.Tool");
  EXPECT_EQ(kit::ProgramNameFromPath("/x/renamed"), "renamed");
  EXPECT_EQ(kit::ProgramNameFromPath("D:.hidden"), ".hidden");
}

TEST(UserActionTest, TextFormRoundTrips) {
  for (const char* text : {"click 1090", "select 1097 2", "key enter", "key escape", "close",
                           "answer ok", "answer yes", "answer no", "tick"}) {
    sim::UserAction action;
    ASSERT_TRUE(sim::ParseUserAction(text, &action)) << text;
    EXPECT_EQ(action.Describe(), text);
  }
  sim::UserAction action = sim::UserAction::Click(5);
  for (const char* bad : {"", "click", "click x", "answer maybe", "key space", "close now",
                          "select 1"}) {
    EXPECT_FALSE(sim::ParseUserAction(bad, &action)) << bad;
  }
  EXPECT_EQ(action.Describe(), "click 5");
}

}  // namespace

namespace {

TEST(ActivityTest, AnAnnouncedThreadCountsAsRunningUntilItBlocks) {
  const int live = platform::activity::LiveBackgroundThreads();
  const int running = platform::activity::RunningBackgroundThreads();
  platform::activity::ExpectBackgroundThread();
  EXPECT_EQ(platform::activity::RunningBackgroundThreads(), running + 1);
  EXPECT_FALSE(platform::activity::BackgroundSettled());
  std::thread([&] {
    platform::activity::BeginBackgroundThread();  // takes the announced count over
    EXPECT_EQ(platform::activity::LiveBackgroundThreads(), live + 1);
    EXPECT_EQ(platform::activity::RunningBackgroundThreads(), running + 1);
    platform::activity::EndBackgroundThread();
  }).join();
  EXPECT_EQ(platform::activity::LiveBackgroundThreads(), live);
  platform::activity::ExpectBackgroundThread();
  platform::activity::CancelExpectedBackgroundThread();
  EXPECT_EQ(platform::activity::RunningBackgroundThreads(), running);
  EXPECT_EQ(platform::activity::LiveBackgroundThreads(), live);
}

}  // namespace
