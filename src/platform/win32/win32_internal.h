// Pieces the Win32 dialog backend shares between its files. Include it first:
// it takes back the names that <windows.h> turns into macros (MessageBox,
// RegisterDeviceNotification, SetWindowText, GetWindowText) before any header
// of the kit declares them.
#pragma once
#include <windows.h>
// The kit's own names; this code calls the ANSI functions by their names.
#undef MessageBox
#undef RegisterDeviceNotification
#undef SetWindowText
#undef GetWindowText

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <functional>
#include <vector>

#include "platform/dialogs.h"
#include "platform/graphics.h"

namespace kit {
class CDialog;
}

namespace win32 {

class Win32Dialogs;

// platform::Window over a dialog's HWND. Kept until the backend ends, so that
// a thread still holding it after the window is gone finds no window.
class Win32Window : public platform::Window {
 public:
  Win32Window(HWND hwnd, kit::CDialog& dialog, Win32Dialogs& system);

  kit::CDialog& Dialog() const { return dialog_; }
  HWND Handle() const { return hwnd_.load(); }
  // WM_CLOSE: runs OnClose; true when it asked for the default handling.
  bool Close();
  // WM_NCDESTROY: the window is gone; its fonts are deleted.
  void Destroyed();

  bool Exists() const override;
  bool IsVisible() const override;
  void SetText(const std::string& text) override;
  void End(int result) override;
  void InvalidateRect(const platform::Rect& rect, bool erase) override;
  void Update() override;
  void DefaultClose() override;
  std::uintptr_t RegisterDeviceNotification(const void* filter, std::uint32_t size) override;

  void EnableControl(int id, bool enable) override;
  bool IsControlEnabled(int id) const override;
  bool IsControlVisible(int id) const override;
  void SetControlText(int id, const std::string& text) override;
  std::string ControlText(int id) const override;
  platform::Rect ControlClientRect(int id) const override;
  void SetControlFont(int id, const platform::FontSpec& font) override;
  void SetControlExclamationIcon(int id) override;
  void SetProgressRange(int id, int low, int high) override;
  void SetProgressPos(int id, int position) override;
  int AddString(int id, const std::string& text) override;
  void SetCurSel(int id, int index) override;
  int GetCurSel(int id) const override;
  void ResetContent(int id) override;
  int SelectString(int id, int startAfter, const std::string& text) override;

 private:
  HWND Item(int id) const { return GetDlgItem(hwnd_.load(), id); }
  // LB_ or CB_ message by the control's class; 0 for other controls.
  UINT ListMessage(int id, UINT listBoxMessage, UINT comboBoxMessage) const;

  std::atomic<HWND> hwnd_;
  kit::CDialog& dialog_;
  Win32Dialogs& system_;
  std::mutex fontsMutex_;
  std::vector<HFONT> fonts_;
  bool inClose_ = false;
  bool defaultClose_ = false;
};

class Win32Dialogs : public platform::DialogSystem {
 public:
  Win32Dialogs();
  ~Win32Dialogs() override;

  int RunModal(kit::CDialog& dialog) override;
  int MessageBox(const std::string& text, platform::BoxStyle style) override;
  void RunOnWindowThread(const std::function<void()>& task) override;

  // Window bookkeeping, from the dialog procedure (window thread).
  Win32Window* Attach(HWND hwnd, kit::CDialog& dialog);
  void Detach(Win32Window* window);

 private:
  HWND ActiveDialog() const;  // owner of new dialogs and boxes

  DWORD windowThread_;
  HWND handOverWindow_ = nullptr;
  std::string caption_;
  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<Win32Window>> windows_;  // every window made
  std::vector<HWND> active_;                           // open dialogs, outermost first
};

// A paint context over the device context of BeginPaint and the rectangle it
// covers (GDI+ drawing, memory bitmaps).
std::unique_ptr<platform::PaintContext> MakePaintContext(HWND hwnd, HDC dc, const RECT& paint);

}  // namespace win32
