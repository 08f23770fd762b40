// platform::Window over a real dialog: each operation is the USER32 call or
// control message it names.
#include "platform/win32/win32_internal.h"

#include <commctrl.h>

#include <cstring>

#include "platform/kit.h"
#include "platform/list_kind.h"

namespace win32 {
using platform::FontSpec;
using platform::ListKind;
using platform::Rect;

Win32Window::Win32Window(HWND hwnd, kit::CDialog& dialog, Win32Dialogs& system)
    : hwnd_(hwnd), dialog_(dialog), system_(system) {}

bool Win32Window::Close() {
  const bool outerInClose = inClose_;
  const bool outerDefault = defaultClose_;
  inClose_ = true;
  defaultClose_ = false;
  dialog_.OnClose();
  const bool wantsDefault = defaultClose_;
  inClose_ = outerInClose;
  defaultClose_ = outerDefault;
  return wantsDefault;
}

void Win32Window::Destroyed() {
  system_.Detach(this);
  hwnd_.store(nullptr);
  std::lock_guard<std::mutex> lock(fontsMutex_);
  for (HFONT font : fonts_) DeleteObject(font);
  fonts_.clear();
}

bool Win32Window::Exists() const { return IsWindow(hwnd_.load()) != FALSE; }
bool Win32Window::IsVisible() const { return IsWindowVisible(hwnd_.load()) != FALSE; }
void Win32Window::SetText(const std::string& text) { SetWindowTextA(hwnd_.load(), text.c_str()); }
void Win32Window::End(int result) { EndDialog(hwnd_.load(), result); }

void Win32Window::InvalidateRect(const Rect& rect, bool erase) {
  const RECT r = {rect.left, rect.top, rect.right, rect.bottom};
  ::InvalidateRect(hwnd_.load(), &r, erase ? TRUE : FALSE);
}

void Win32Window::Update() { UpdateWindow(hwnd_.load()); }

// The dialog procedure returns FALSE for this WM_CLOSE, so that the dialog
// manager (DefDlgProc) handles it as its own.
void Win32Window::DefaultClose() {
  if (inClose_) defaultClose_ = true;
}

std::uintptr_t Win32Window::RegisterDeviceNotification(const void* filter,
                                                       std::uint32_t /*size*/) {
  return reinterpret_cast<std::uintptr_t>(RegisterDeviceNotificationA(
      hwnd_.load(), const_cast<void*>(filter), DEVICE_NOTIFY_WINDOW_HANDLE));
}

void Win32Window::EnableControl(int id, bool enable) { EnableWindow(Item(id), enable ? TRUE : FALSE); }
bool Win32Window::IsControlEnabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }
bool Win32Window::IsControlVisible(int id) const { return IsWindowVisible(Item(id)) != FALSE; }

void Win32Window::SetControlText(int id, const std::string& text) {
  SetWindowTextA(Item(id), text.c_str());
}

std::string Win32Window::ControlText(int id) const {
  HWND item = Item(id);
  std::string text(static_cast<std::size_t>(GetWindowTextLengthA(item)) + 1, '\0');
  text.resize(static_cast<std::size_t>(GetWindowTextA(item, &text[0], static_cast<int>(text.size()))));
  return text;
}

Rect Win32Window::ControlClientRect(int id) const {
  RECT r = {0, 0, 0, 0};
  GetWindowRect(Item(id), &r);
  MapWindowPoints(nullptr, hwnd_.load(), reinterpret_cast<POINT*>(&r), 2);
  return {r.left, r.top, r.right, r.bottom};
}

void Win32Window::SetControlFont(int id, const FontSpec& font) {
  LOGFONTA logFont;
  std::memset(&logFont, 0, sizeof logFont);
  logFont.lfHeight = font.height;
  logFont.lfWeight = font.weight;
  std::strncpy(logFont.lfFaceName, font.face.c_str(), LF_FACESIZE - 1);
  HFONT handle = CreateFontIndirectA(&logFont);
  {
    std::lock_guard<std::mutex> lock(fontsMutex_);
    fonts_.push_back(handle);
  }
  SendMessageA(Item(id), WM_SETFONT, reinterpret_cast<WPARAM>(handle), TRUE);
}

void Win32Window::SetControlExclamationIcon(int id) {
  HICON icon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_EXCLAMATION));
  SendMessageA(Item(id), STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
}

void Win32Window::SetProgressRange(int id, int low, int high) {
  SendMessageA(Item(id), PBM_SETRANGE, 0, MAKELPARAM(low, high));
}

void Win32Window::SetProgressPos(int id, int position) {
  SendMessageA(Item(id), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

UINT Win32Window::ListMessage(int id, UINT listBoxMessage, UINT comboBoxMessage) const {
  char name[64] = {};
  GetClassNameA(Item(id), name, sizeof name);
  switch (platform::ListKindOfClass(name)) {
    case ListKind::kListBox: return listBoxMessage;
    case ListKind::kComboBox: return comboBoxMessage;
    case ListKind::kNone: break;
  }
  return 0;
}

int Win32Window::AddString(int id, const std::string& text) {
  const UINT message = ListMessage(id, LB_ADDSTRING, CB_ADDSTRING);
  if (message == 0) return -1;
  return static_cast<int>(
      SendMessageA(Item(id), message, 0, reinterpret_cast<LPARAM>(text.c_str())));
}

void Win32Window::SetCurSel(int id, int index) {
  const UINT message = ListMessage(id, LB_SETCURSEL, CB_SETCURSEL);
  if (message != 0) SendMessageA(Item(id), message, static_cast<WPARAM>(index), 0);
}

int Win32Window::GetCurSel(int id) const {
  const UINT message = ListMessage(id, LB_GETCURSEL, CB_GETCURSEL);
  return message == 0 ? -1 : static_cast<int>(SendMessageA(Item(id), message, 0, 0));
}

void Win32Window::ResetContent(int id) {
  const UINT message = ListMessage(id, LB_RESETCONTENT, CB_RESETCONTENT);
  if (message != 0) SendMessageA(Item(id), message, 0, 0);
}

int Win32Window::SelectString(int id, int startAfter, const std::string& text) {
  const UINT message = ListMessage(id, LB_SELECTSTRING, CB_SELECTSTRING);
  if (message == 0) return -1;
  return static_cast<int>(SendMessageA(Item(id), message, static_cast<WPARAM>(startAfter),
                                       reinterpret_cast<LPARAM>(text.c_str())));
}

}  // namespace win32
