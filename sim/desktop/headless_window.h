// One dialog window of the headless desktop: the controls of its template in
// memory. Changes made from another thread are handed to the window thread,
// as the platform sends window messages across threads; reads answer at once.
#pragma once
#include <string>
#include <vector>

#include "sim/desktop/dialog_template.h"
#include "platform/dialogs.h"
#include "sim/desktop/headless_desktop.h"

namespace kit {
class CDialog;
}

namespace sim {

class HeadlessWindow : public platform::Window {
 public:
  // One InvalidateRect: the area in client pixels and whether the background
  // was to be erased first.
  struct Invalidation {
    platform::Rect rect;
    bool erase = false;
  };

  HeadlessWindow(HeadlessDesktop& desktop, kit::CDialog& dialog,
                 const platform::DialogTemplate& dialogTemplate);

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

  // Every InvalidateRect of the window's life, in order.
  std::vector<Invalidation> Invalidations() const;

 private:
  friend class HeadlessDesktop;

  // Runs change on the window thread with the desktop locked, while the
  // window exists.
  template <class Change>
  void OnWindowThread(Change change);
  ControlState* FindLocked(int id);
  const ControlState* FindLocked(int id) const;
  ControlState* FindListLocked(int id, const platform::ControlTemplate** source);
  void ListLineLocked(const ControlState& control) const;

  HeadlessDesktop& desktop_;
  kit::CDialog* dialog_;
  platform::DialogTemplate template_;
  std::vector<ControlState> controls_;  // template order
  std::string caption_;
  bool alive_ = true;          // the window exists
  bool shown_ = false;         // shown after initialisation, hidden by End
  bool initialising_ = true;
  bool ended_ = false;
  int result_ = 0;
  bool invalid_ = false;
  bool paintWhole_ = false;       // the next paint covers the whole client area
  platform::Rect paintRect_;      // else the union of what was invalidated
  std::vector<Invalidation> invalidations_;
};

}  // namespace sim
