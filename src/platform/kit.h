// The dialog kit: a small framework in the style of the platform's dialog
// classes. Dialogs derive from CDialog and bind control wrappers by id; the
// backend in force (platform::Os().dialogs) makes the window and routes
// commands, close requests, painting and device-change messages here.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/dialogs.h"
#include "platform/graphics.h"
#include "platform/os_types.h"

namespace kit {

class CDialog;

// A child control of a dialog, bound by id in DoDataExchange. Calls on an
// unbound wrapper, or while its dialog has no window, do nothing.
class CWnd {
 public:
  int GetDlgCtrlID() const { return id_; }
  bool IsBound() const { return owner_ != nullptr; }
  void EnableWindow(bool enable);
  bool IsWindowEnabled() const;
  bool IsWindowVisible() const;
  void SetWindowText(const std::string& text);
  std::string GetWindowText() const;
  platform::Rect ClientRectInParent() const;  // GetWindowRect + ScreenToClient
  void SetFont(const platform::FontSpec& font);

 protected:
  platform::Window* Window() const;

 private:
  friend class CDialog;
  int id_ = 0;
  CDialog* owner_ = nullptr;
};

class CButton : public CWnd {};
class CEdit : public CWnd {};

class CStatic : public CWnd {
 public:
  void SetExclamationIcon();
};

class CProgressCtrl : public CWnd {
 public:
  void SetRange(int low, int high);
  void SetPos(int position);
};

class CListBox : public CWnd {
 public:
  int AddString(const std::string& text);
  void SetCurSel(int index);
  int GetCurSel() const;
};

class CComboBox : public CWnd {
 public:
  int AddString(const std::string& text);
  void SetCurSel(int index);
  int GetCurSel() const;
  void ResetContent();
  int SelectString(int startAfter, const std::string& text);
};

class CDialog {
 public:
  explicit CDialog(int templateId);
  virtual ~CDialog();
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  int DoModal();
  int TemplateId() const { return templateId_; }

  // Handlers, called by the backend on the window thread.
  virtual bool OnInitDialog();  // binds the controls (DoDataExchange); TRUE
  virtual void DoDataExchange() {}
  // A button notification (or Enter/Escape turned into id 1/2 by the dialog
  // manager). The default map: id 1 -> OnOK, id 2 -> OnCancel. true: handled.
  virtual bool OnCommand(int id);
  virtual void OnOK() { EndDialog(platform::kIdOk); }
  virtual void OnCancel() { EndDialog(platform::kIdCancel); }
  virtual void OnClose() { Default(); }  // WM_CLOSE
  virtual void OnPaint(platform::PaintContext& /*dc*/) {}
  // Every WM_DEVICECHANGE reaches here with its wParam and the broadcast
  // record (nullptr and 0 when lParam is null); returns the message result.
  virtual std::intptr_t WindowProc(std::uint32_t message, std::uintptr_t wParam,
                                   const void* record, std::size_t recordSize);

  // Operations on the dialog's own window.
  void EndDialog(int result);
  bool IsWindow() const;
  bool IsWindowVisible() const;
  void SetWindowText(const std::string& text);
  void InvalidateRect(const platform::Rect& rect, bool erase);
  void UpdateWindow();
  void Default();  // the platform's default handling of the current WM_CLOSE
  std::uintptr_t RegisterDeviceNotification(const void* filter, std::uint32_t size);

  // The backend attaches the live window for the length of the modal run.
  void AttachWindow(platform::Window* window) { window_ = window; }
  platform::Window* GetWindow() const { return window_; }

 protected:
  void DDX_Control(int id, CWnd& control);

 private:
  int templateId_;
  platform::Window* window_ = nullptr;
};

// AfxMessageBox: the framework's modal message box, caption = program name.
int AfxMessageBox(const std::string& text,
                  platform::BoxStyle style = platform::BoxStyle::kWarning);

}  // namespace kit
