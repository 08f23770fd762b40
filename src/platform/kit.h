// The dialog kit: a small framework in the style of the platform's dialog
// classes. Dialogs derive from CDialog and bind control wrappers by id; the
// backend in force (platform::Os().dialogs) makes the window and routes
// commands, close requests, painting and device-change messages here.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

#include "platform/dialogs.h"
#include "platform/graphics.h"
#include "platform/os_types.h"

namespace kit {

class CDialog;

// A dialog's message map: button notifications by control id, and whether the
// dialog paints its own client area. Declared with the KIT_ macros below; a
// map names its base class's map, which is consulted after it.
struct MessageMapEntry {
  enum Kind { kEnd, kCommand, kPaint };
  Kind kind;
  int id;
  void (CDialog::*handler)();
};

struct MessageMap {
  const MessageMap* (*base)();
  const MessageMapEntry* entries;  // ends with a kEnd entry
};

// A child control of a dialog, bound by id in DoDataExchange. Calls on an
// unbound wrapper, or while its dialog has no window, do nothing.
class CWnd {
 public:
  int GetDlgCtrlID() const { return id_; }
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
  // manager). Looks the id up in the message map; without an entry, id 1 ->
  // OnOK, id 2 -> OnCancel. true: handled.
  virtual bool OnCommand(int id);
  // The dialog paints itself (KIT_ON_WM_PAINT in its map): the backend then
  // runs OnPaint for WM_PAINT; otherwise the platform paints the dialog.
  bool WantsPaint() const;
  virtual void OnOK() { EndDialog(platform::kIdOk); }
  virtual void OnCancel() { EndDialog(platform::kIdCancel); }
  virtual void OnClose() { Default(); }  // WM_CLOSE
  virtual void OnPaint(platform::PaintContext& /*dc*/) {}
  // The window is being destroyed (WM_DESTROY): what was kept for it goes.
  virtual void OnDestroy() {}
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
  // Other threads may ask for it (IsWindowVisible from the device worker).
  void AttachWindow(platform::Window* window) { window_.store(window); }
  platform::Window* GetWindow() const { return window_.load(); }

  virtual const MessageMap* GetMessageMap() const { return GetThisMessageMap(); }
  static const MessageMap* GetThisMessageMap();

 protected:
  void DDX_Control(int id, CWnd& control);

 private:
  int templateId_;
  std::atomic<platform::Window*> window_{nullptr};
};

// AfxMessageBox: the framework's modal message box, caption = program name.
int AfxMessageBox(const std::string& text,
                  platform::BoxStyle style = platform::BoxStyle::kWarning);

// The application's name as the framework takes it from the program file:
// the file name without its directory and its extension.
std::string ProgramNameFromPath(const std::string& path);

}  // namespace kit

// Message maps, declared as the dialog framework declares them:
//
//   class CMyDlg : public kit::CDialog {
//     ...
//     void OnUpgrade();
//     KIT_DECLARE_MESSAGE_MAP()
//   };
//
//   KIT_BEGIN_MESSAGE_MAP(CMyDlg, kit::CDialog)
//     KIT_ON_WM_PAINT()
//     KIT_ON_BN_CLICKED(1090, OnUpgrade)
//   KIT_END_MESSAGE_MAP()
//
// Handlers are members of the class taking no arguments and returning void.
#define KIT_DECLARE_MESSAGE_MAP()                                  \
 public:                                                           \
  static const ::kit::MessageMap* GetThisMessageMap();             \
  const ::kit::MessageMap* GetMessageMap() const override {        \
    return GetThisMessageMap();                                    \
  }

#define KIT_BEGIN_MESSAGE_MAP(theClass, baseClass)                 \
  const ::kit::MessageMap* theClass::GetThisMessageMap() {         \
    using ThisClass = theClass;                                    \
    using TheBaseClass = baseClass;                                \
    static const ::kit::MessageMapEntry entries[] = {

#define KIT_ON_BN_CLICKED(controlId, memberFn)                          \
  {::kit::MessageMapEntry::kCommand, (controlId),                      \
   static_cast<void (::kit::CDialog::*)()>(&ThisClass::memberFn)},

#define KIT_ON_WM_PAINT() {::kit::MessageMapEntry::kPaint, 0, nullptr},

#define KIT_END_MESSAGE_MAP()                                           \
  {::kit::MessageMapEntry::kEnd, 0, nullptr}};                          \
  static_assert(std::is_base_of<::kit::CDialog, ThisClass>::value,      \
                "a message map belongs to a dialog class");            \
  static const ::kit::MessageMap map = {&TheBaseClass::GetThisMessageMap, \
                                        entries};                        \
  return &map;                                                          \
  }
