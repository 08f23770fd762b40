// The dialog backend: runs modal dialogs from their templates, shows message
// boxes, and hands work from other threads to the window thread. Two
// implementations: real Win32 dialogs, and a headless desktop that keeps the
// controls in memory, plays a scripted user and writes a transcript.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace kit {
class CDialog;
}

namespace platform {

// The three kinds of message box the program shows. kWarning is a box asked
// for with MB_OK and no icon of its own, which the dialog framework gives the
// exclamation icon; kInformation is MB_OK | MB_ICONINFORMATION; kQuestion is
// MB_YESNO | MB_ICONQUESTION.
enum class BoxStyle { kWarning, kInformation, kQuestion };

struct Rect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
};

// A font as a LOGFONT gives it (all other fields zero).
struct FontSpec {
  std::int32_t height = 0;
  std::int32_t weight = 0;
  std::string face;
};

// One live dialog window, made by the backend while a dialog runs. Controls
// are addressed by id; list operations work on list boxes and combo boxes
// alike (the backend sends LB_ or CB_ messages by the control's class).
class Window {
 public:
  virtual ~Window() = default;

  virtual bool Exists() const = 0;                          // IsWindow
  virtual bool IsVisible() const = 0;                       // IsWindowVisible
  virtual void SetText(const std::string& text) = 0;        // caption
  virtual void End(int result) = 0;                         // EndDialog
  virtual void InvalidateRect(const Rect& rect, bool erase) = 0;
  virtual void Update() = 0;                                // UpdateWindow
  // The platform's default handling of WM_CLOSE for a dialog: the dialog
  // manager turns it into the command of id IDCANCEL when that control is
  // enabled, and refuses it with a beep otherwise.
  virtual void DefaultClose() = 0;
  // RegisterDeviceNotificationA(window, filter, DEVICE_NOTIFY_WINDOW_HANDLE);
  // 0 on failure with the last error set.
  virtual std::uintptr_t RegisterDeviceNotification(const void* filter, std::uint32_t size) = 0;

  virtual void EnableControl(int id, bool enable) = 0;      // EnableWindow
  virtual bool IsControlEnabled(int id) const = 0;
  virtual bool IsControlVisible(int id) const = 0;
  virtual void SetControlText(int id, const std::string& text) = 0;
  virtual std::string ControlText(int id) const = 0;
  // GetWindowRect of the control converted with ScreenToClient of the dialog.
  virtual Rect ControlClientRect(int id) const = 0;
  // CreateFontIndirectA + WM_SETFONT (redraw). The window owns the font.
  virtual void SetControlFont(int id, const FontSpec& font) = 0;
  // LoadIconA(nullptr, IDI_EXCLAMATION) + STM_SETICON.
  virtual void SetControlExclamationIcon(int id) = 0;
  virtual void SetProgressRange(int id, int low, int high) = 0;  // PBM_SETRANGE
  virtual void SetProgressPos(int id, int position) = 0;         // PBM_SETPOS
  virtual int AddString(int id, const std::string& text) = 0;    // LB_/CB_ADDSTRING
  virtual void SetCurSel(int id, int index) = 0;                 // LB_/CB_SETCURSEL
  virtual int GetCurSel(int id) const = 0;                       // LB_/CB_GETCURSEL
  virtual void ResetContent(int id) = 0;                         // CB_RESETCONTENT
  // CB_SELECTSTRING: search from the entry after startAfter, wrapping round;
  // returns the selected index or -1.
  virtual int SelectString(int id, int startAfter, const std::string& text) = 0;
};

class DialogSystem {
 public:
  virtual ~DialogSystem() = default;

  // DialogBoxParam on the dialog's template. Calls the dialog's handlers on
  // the window thread and returns the result given to End.
  virtual int RunModal(kit::CDialog& dialog) = 0;

  // A modal message box with the program's name as its caption. May be called
  // from any thread; returns kIdOk, kIdYes or kIdNo.
  virtual int MessageBox(const std::string& text, BoxStyle style) = 0;

  // Runs task on the window thread and returns when it has run, as a window
  // message sent from another thread does. On the window thread: runs it now.
  virtual void RunOnWindowThread(const std::function<void()>& task) = 0;
};

}  // namespace platform
