// The Win32 dialog backend: DialogBoxParamA on the .rc templates with one
// dialog procedure that routes messages to the CDialog, MessageBoxA, and a
// message-only window through which other threads send work to the window
// thread.
#include "platform/win32/win32_internal.h"

#include <commctrl.h>
#include <dbt.h>

#include <algorithm>

#include "platform/kit.h"
#include "platform/os_types.h"
#include "platform/win32/win32_dialogs.h"

namespace win32 {
using platform::BoxStyle;
using platform::DialogSystem;

// The portable code's names for the values the window system uses here.
static_assert(platform::kIdOk == IDOK && platform::kIdCancel == IDCANCEL &&
                  platform::kIdYes == IDYES && platform::kIdNo == IDNO,
              "dialog command ids and box answers");
static_assert(platform::kWmDeviceChange == WM_DEVICECHANGE &&
                  platform::kDbtDeviceArrival == DBT_DEVICEARRIVAL &&
                  platform::kDbtDeviceRemoveComplete == DBT_DEVICEREMOVECOMPLETE &&
                  platform::kDbtDevtypDeviceInterface == DBT_DEVTYP_DEVICEINTERFACE,
              "device-change notification values");

namespace {

constexpr UINT kWmHandOver = WM_APP;  // lParam: const std::function<void()>*
constexpr const char* kHandOverClass = "TavrolinKitHandOver";

struct ModalStart {
  Win32Dialogs* system;
  kit::CDialog* dialog;
};

BOOL Paint(HWND hwnd, kit::CDialog& dialog) {
  if (!dialog.WantsPaint()) return FALSE;
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(hwnd, &paint);
  dialog.OnPaint(*MakePaintContext(hwnd, dc, paint.rcPaint));
  EndPaint(hwnd, &paint);
  return TRUE;
}

BOOL DeviceChange(HWND hwnd, kit::CDialog& dialog, WPARAM wParam, LPARAM lParam) {
  // Only arrival and removal come with a broadcast record; for the other
  // events lParam is a value of their own or nothing, never read as one.
  const bool hasRecord =
      (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE) && lParam != 0;
  const auto* header = hasRecord ? reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam) : nullptr;
  const std::intptr_t result =
      dialog.WindowProc(WM_DEVICECHANGE, wParam, header, header ? header->dbch_size : 0);
  SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, result);
  return TRUE;
}

INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    const auto* start = reinterpret_cast<const ModalStart*>(lParam);
    Win32Window* window = start->system->Attach(hwnd, *start->dialog);
    SetWindowLongPtrA(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(window));
    start->dialog->AttachWindow(window);
    return start->dialog->OnInitDialog() ? TRUE : FALSE;
  }
  auto* window = reinterpret_cast<Win32Window*>(GetWindowLongPtrA(hwnd, DWLP_USER));
  if (window == nullptr) return FALSE;
  kit::CDialog& dialog = window->Dialog();
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wParam) != BN_CLICKED) return FALSE;
      dialog.OnCommand(LOWORD(wParam));
      return TRUE;
    case WM_CLOSE:
      return window->Close() ? FALSE : TRUE;  // FALSE: the dialog manager's own handling
    case WM_PAINT:
      return Paint(hwnd, dialog);
    case WM_DPICHANGED:
      // Moved to a monitor of another scale: the dialog manager resizes the
      // dialog and its controls (FALSE leaves that to it); a picture drawn to
      // the client area must then be painted whole again.
      ::InvalidateRect(hwnd, nullptr, FALSE);
      return FALSE;
    case WM_DEVICECHANGE:
      return DeviceChange(hwnd, dialog, wParam, lParam);
    case WM_DESTROY:
      dialog.OnDestroy();
      return FALSE;
    case WM_NCDESTROY:
      SetWindowLongPtrA(hwnd, DWLP_USER, 0);
      window->Destroyed();
      return FALSE;
    default:
      return FALSE;
  }
}

LRESULT CALLBACK HandOverProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kWmHandOver) {
    (*reinterpret_cast<const std::function<void()>*>(lParam))();
    return 0;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

UINT BoxFlags(BoxStyle style) {
  switch (style) {
    case BoxStyle::kWarning: return MB_OK | MB_ICONEXCLAMATION;
    case BoxStyle::kInformation: return MB_OK | MB_ICONINFORMATION;
    case BoxStyle::kQuestion: return MB_YESNO | MB_ICONQUESTION;
  }
  return MB_OK | MB_ICONEXCLAMATION;
}

std::string ProgramFile() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

}  // namespace

Win32Dialogs::Win32Dialogs()
    : windowThread_(GetCurrentThreadId()), caption_(kit::ProgramNameFromPath(ProgramFile())) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = HandOverProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = kHandOverClass;
  RegisterClassA(&windowClass);
  handOverWindow_ = CreateWindowExA(0, kHandOverClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    GetModuleHandleA(nullptr), nullptr);
}

Win32Dialogs::~Win32Dialogs() {
  if (handOverWindow_ != nullptr) DestroyWindow(handOverWindow_);
}

int Win32Dialogs::RunModal(kit::CDialog& dialog) {
  ModalStart start = {this, &dialog};
  const INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr),
                                         MAKEINTRESOURCEA(dialog.TemplateId()), ActiveDialog(),
                                         DialogProc, reinterpret_cast<LPARAM>(&start));
  dialog.AttachWindow(nullptr);
  return static_cast<int>(result);
}

int Win32Dialogs::MessageBox(const std::string& text, BoxStyle style) {
  return ::MessageBoxA(ActiveDialog(), text.c_str(), caption_.c_str(), BoxFlags(style));
}

void Win32Dialogs::RunOnWindowThread(const std::function<void()>& task) {
  if (GetCurrentThreadId() == windowThread_) {
    task();
  } else {
    SendMessageA(handOverWindow_, kWmHandOver, 0, reinterpret_cast<LPARAM>(&task));
  }
}

Win32Window* Win32Dialogs::Attach(HWND hwnd, kit::CDialog& dialog) {
  std::lock_guard<std::mutex> lock(mutex_);
  windows_.push_back(std::make_unique<Win32Window>(hwnd, dialog, *this));
  active_.push_back(hwnd);
  return windows_.back().get();
}

void Win32Dialogs::Detach(Win32Window* window) {
  const HWND hwnd = window->Handle();
  std::lock_guard<std::mutex> lock(mutex_);
  active_.erase(std::remove(active_.begin(), active_.end(), hwnd), active_.end());
}

HWND Win32Dialogs::ActiveDialog() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return active_.empty() ? nullptr : active_.back();
}

std::unique_ptr<DialogSystem> MakeDialogSystem() { return std::make_unique<Win32Dialogs>(); }

}  // namespace win32
