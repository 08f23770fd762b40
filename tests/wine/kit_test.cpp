// Runs the dialog kit on real Win32 dialogs: control operations through the
// kit, the dialog manager's handling of close requests and keys, hand-overs
// and a device-change broadcast from another thread, a message box from
// another thread with the program's name as its caption, and a GDI+ picture
// drawn while painting. Prints one line per check, then "N passed, M failed",
// and exits nonzero when a check failed.
#include <windows.h>
#include <dbt.h>
// The kit's own names, not the macros of <windows.h>.
#undef MessageBox
#undef RegisterDeviceNotification
#undef SetWindowText
#undef GetWindowText

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "gui_support.h"
#include "platform/kit.h"
#include "platform/os_types.h"
#include "platform/platform.h"
#include "platform/win32/win32_dialogs.h"
#include "sim/demo/demo_services.h"
#include "sim/machine/device_change_sink.h"

namespace {

using guitest::Check;

// A red 4 x 4 PNG with an alpha channel.
const std::uint8_t kRedPng[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44,
    0x52, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x04, 0x08, 0x06, 0x00, 0x00, 0x00, 0xa9,
    0xf1, 0x9e, 0x7e, 0x00, 0x00, 0x00, 0x12, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9c, 0x63, 0xf8,
    0xcf, 0xc0, 0xf0, 0x1f, 0x19, 0x33, 0x90, 0x2e, 0x00, 0x00, 0x3c, 0x40, 0x1f, 0xe1, 0xe0,
    0x81, 0x77, 0xb4, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};

constexpr int kDrawSize = 40;

class CheckDlg : public kit::CDialog {
 public:
  CheckDlg() : kit::CDialog(9101) {}

  void DoDataExchange() override {
    DDX_Control(1085, m_progress);
    DDX_Control(1, m_btnExit);
    DDX_Control(2, m_btnAdjust);
    DDX_Control(1097, m_list);
    DDX_Control(1092, m_combo);
    DDX_Control(1083, m_edit);
  }

  bool OnInitDialog() override {
    kit::CDialog::OnInitDialog();
    m_btnAdjust.EnableWindow(false);
    Check(!m_btnAdjust.IsWindowEnabled(), "EnableWindow(false) disables the control");
    m_btnAdjust.EnableWindow(true);
    m_edit.SetWindowText("hidden text");
    Check(m_edit.GetWindowText() == "hidden text", "control text round trip");
    m_progress.SetRange(0, 100);
    m_progress.SetPos(40);
    m_list.AddString("a");
    m_list.AddString("b");
    m_list.SetCurSel(1);
    Check(m_list.GetCurSel() == 1, "list box selection (LB_ messages)");
    for (const char* text : {"0", "1", "10"}) m_combo.AddString(text);
    Check(m_combo.SelectString(0, "1") == 1, "CB_SELECTSTRING finds the first match after the start");
    const platform::Rect rect = m_progress.ClientRectInParent();
    Check(rect.right > rect.left && rect.bottom > rect.top && rect.left > 0,
          "control rectangle in client coordinates");
    std::uint8_t filter[32] = {};
    filter[0] = 32;
    filter[4] = platform::kDbtDevtypDeviceInterface;
    std::memcpy(filter + 12, &platform::kGuidDevinterfaceUsbDevice, 16);
    Check(RegisterDeviceNotification(filter, sizeof filter) != 0, "RegisterDeviceNotificationA");
    return true;
  }

  void OnPaint(platform::PaintContext& dc) override {
    ++paints;
    if (picture != nullptr) dc.DrawPicture(*picture, 0, 0, kDrawSize, kDrawSize);
  }

  bool OnCommand(int id) override {
    commands.push_back(id);
    if (id == 2) return true;  // stays open, as the main window's Adjust RF does
    return kit::CDialog::OnCommand(id);
  }

  std::intptr_t WindowProc(std::uint32_t message, std::uintptr_t wParam, const void* record,
                           std::size_t recordSize) override {
    if (message == platform::kWmDeviceChange) {
      ++notifications;
      lastEvent = wParam;
      lastSize = recordSize;
      if (record != nullptr && recordSize >= 1) lastFirstByte = *static_cast<const std::uint8_t*>(record);
    }
    return kit::CDialog::WindowProc(message, wParam, record, recordSize);
  }

  kit::CProgressCtrl m_progress;
  kit::CButton m_btnExit;
  kit::CButton m_btnAdjust;
  kit::CListBox m_list;
  kit::CComboBox m_combo;
  kit::CEdit m_edit;

  const platform::Picture* picture = nullptr;
  // Read and written on the window thread only (hand-overs).
  int paints = 0;
  std::vector<int> commands;
  int notifications = 0;
  std::uintptr_t lastEvent = 0;
  std::size_t lastSize = 0;
  int lastFirstByte = -1;

  KIT_DECLARE_MESSAGE_MAP()
};

KIT_BEGIN_MESSAGE_MAP(CheckDlg, kit::CDialog)
  KIT_ON_WM_PAINT()
KIT_END_MESSAGE_MAP()

// Runs fn on the window thread and returns its value.
template <class T>
T OnWindow(const std::function<T()>& fn) {
  T value{};
  platform::Os().dialogs->RunOnWindowThread([&] { value = fn(); });
  return value;
}

// Polls a condition on the window thread for up to two seconds.
bool Eventually(const std::function<bool()>& condition) {
  return guitest::WaitUntil([&] { return OnWindow<bool>(condition); }, std::chrono::seconds(2));
}

HWND DialogWindow() { return FindWindowA(nullptr, "Kit Check"); }

std::size_t CountOf(const std::vector<int>& ids, int id) {
  std::size_t n = 0;
  for (int each : ids) n += each == id ? 1 : 0;
  return n;
}

void Drive(CheckDlg& dlg, DWORD windowThread) {
  HWND hwnd = nullptr;
  for (int i = 0; i < 200 && (hwnd == nullptr || !IsWindowVisible(hwnd)); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    hwnd = DialogWindow();
  }
  if (!Check(hwnd != nullptr, "the dialog is shown")) return;

  Check(OnWindow<DWORD>([] { return GetCurrentThreadId(); }) == windowThread,
        "RunOnWindowThread runs on the window thread");

  dynamic_cast<sim::DeviceChangeSink&>(*platform::Os().dialogs)
      .BroadcastDeviceChange(platform::kDbtDeviceArrival, {32, 0, 0, 0, 5});
  Check(Eventually([&] { return dlg.notifications == 1; }), "broadcast reaches the registered window");
  Check(OnWindow<bool>([&] {
          return dlg.lastEvent == platform::kDbtDeviceArrival && dlg.lastSize == 32 &&
                 dlg.lastFirstByte == 32;
        }),
        "WM_DEVICECHANGE carries the event and the record with its size");
  // Only arrival and removal carry a record: the lParam of another event
  // (here an address where nothing is mapped) and a null one are not read.
  SendMessageA(hwnd, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0x10);
  SendMessageA(hwnd, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, 0);
  Check(OnWindow<bool>([&] {
          return dlg.notifications == 3 && dlg.lastEvent == DBT_DEVICEREMOVECOMPLETE &&
                 dlg.lastSize == 0;
        }),
        "WM_DEVICECHANGE without a record to read reaches the dialog with none");

  // With IDCANCEL disabled, Windows refuses the close request with a beep;
  // Wine's dialog manager posts IDCANCEL all the same. Either is the
  // platform's own answer: printed, not judged.
  OnWindow<bool>([&] { dlg.m_btnAdjust.EnableWindow(false); return true; });
  SendMessageA(hwnd, WM_CLOSE, 0, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const std::size_t afterRefusal = OnWindow<std::size_t>([&] { return CountOf(dlg.commands, 2); });
  guitest::Note(std::string("close request with IDCANCEL disabled: ") +
                (afterRefusal == 0 ? "refused" : "turned into IDCANCEL"));
  OnWindow<bool>([&] { dlg.m_btnAdjust.EnableWindow(true); return true; });
  SendMessageA(hwnd, WM_CLOSE, 0, 0);
  Check(Eventually([&] { return CountOf(dlg.commands, 2) == afterRefusal + 1; }),
        "close request becomes IDCANCEL when it is enabled");
  PostMessageA(GetDlgItem(hwnd, 1), WM_KEYDOWN, VK_ESCAPE, 0);
  Check(Eventually([&] { return CountOf(dlg.commands, 2) == afterRefusal + 2; }),
        "Escape sends IDCANCEL");

  OnWindow<bool>([&] {
    dlg.InvalidateRect({0, 0, kDrawSize, kDrawSize}, false);
    dlg.UpdateWindow();
    return true;
  });
  const COLORREF pixel = OnWindow<COLORREF>([&] {
    HDC dc = GetDC(hwnd);
    const COLORREF value = GetPixel(dc, kDrawSize / 2, kDrawSize / 2);
    ReleaseDC(hwnd, dc);
    return value;
  });
  Check(OnWindow<int>([&] { return dlg.paints; }) >= 1, "OnPaint runs for WM_PAINT");
  Check(pixel == RGB(255, 0, 0), "the picture is drawn by GDI+");

  // A box of this thread; another one answers it by its caption.
  std::thread answerer([] {
    for (int i = 0; i < 300; ++i) {
      HWND box = FindWindowA("#32770", "kit_test");
      if (box != nullptr) {
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  const int answer =
      platform::Os().dialogs->MessageBox("from the worker", platform::BoxStyle::kInformation);
  answerer.join();
  Check(answer == platform::kIdOk, "a box from another thread, caption = program name");

  PostMessageA(GetDlgItem(hwnd, 1), WM_KEYDOWN, VK_RETURN, 0);
}

}  // namespace

int main() {
  auto graphics = win32::MakeGraphics();
  auto dialogs = sim::MakeDemoDialogSystem();
  platform::Services services = platform::Os();
  services.graphics = graphics.get();
  services.dialogs = dialogs.get();
  platform::Install(services);

  const std::uintptr_t token = graphics->Startup();
  Check(token != 0, "GdiplusStartup");
  platform::Picture* picture = graphics->CreatePicture(kRedPng, sizeof kRedPng);
  Check(picture != nullptr && picture->Width() == 4 && picture->Height() == 4,
        "a PNG decodes with its size");
  const std::uint8_t notPng[16] = {1, 2, 3};
  Check(graphics->CreatePicture(notPng, sizeof notPng) == nullptr, "other bytes do not decode");

  CheckDlg dlg;
  dlg.picture = picture;
  std::thread driver([&dlg, thread = GetCurrentThreadId()] { Drive(dlg, thread); });
  const int result = dlg.DoModal();
  driver.join();
  Check(result == platform::kIdOk, "Enter presses the default button and ends the run with IDOK");
  Check(!dlg.IsWindow(), "no window after the run");
  graphics->Shutdown(token);

  return guitest::Summary();
}
