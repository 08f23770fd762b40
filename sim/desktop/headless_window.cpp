// Headless dialog window: controls in memory, transcript lines for what a
// person sees change (enabled state, progress, list contents).
#include "sim/desktop/headless_window.h"

#include <algorithm>
#include <cctype>

#include "platform/device_io.h"
#include "platform/kit.h"
#include "platform/platform.h"
#include "sim/machine/transcript.h"

namespace sim {
namespace {

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  if (prefix.size() > text.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i]))) {
      return false;
    }
  }
  return true;
}

bool LessNoCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) <
           std::tolower(static_cast<unsigned char>(y));
  });
}

// MulDiv as the dialog manager rounds it.
int Scale(int value, int base, int divisor) {
  const long long product = static_cast<long long>(value) * base;
  const long long half = divisor / 2;
  return static_cast<int>(product >= 0 ? (product + half) / divisor : (product - half) / divisor);
}

}  // namespace

HeadlessWindow::HeadlessWindow(HeadlessDesktop& desktop, kit::CDialog& dialog,
                               const platform::DialogTemplate& dialogTemplate)
    : desktop_(desktop), dialog_(&dialog), template_(dialogTemplate),
      caption_(dialogTemplate.caption) {
  for (const platform::ControlTemplate& source : template_.controls) {
    ControlState control;
    control.id = source.id;
    control.className = source.className;
    control.text = source.text;
    control.enabled = !source.IsDisabled();
    control.visible = source.IsVisible();
    controls_.push_back(control);
  }
}

template <class Change>
void HeadlessWindow::OnWindowThread(Change change) {
  desktop_.HandOverToWindowThread(
      [this, &change] {
        std::lock_guard<std::mutex> lock(desktop_.mutex_);
        if (alive_) change();
      },
      this);
}

ControlState* HeadlessWindow::FindLocked(int id) {
  for (ControlState& control : controls_) {
    if (control.id == id) return &control;
  }
  return nullptr;
}

const ControlState* HeadlessWindow::FindLocked(int id) const {
  for (const ControlState& control : controls_) {
    if (control.id == id) return &control;
  }
  return nullptr;
}

void HeadlessWindow::ListLineLocked(const ControlState& control) const {
  std::string items = "[";
  for (std::size_t i = 0; i < control.items.size(); ++i) {
    if (i > 0) items += ",";
    items += JsonQuote(control.items[i]);
  }
  items += "]";
  TheTranscript().Add(Line()
                          .Str("event", "list")
                          .Num("control", control.id)
                          .Raw("items", items)
                          .Num("selected", control.selected));
}

bool HeadlessWindow::Exists() const {
  std::lock_guard<std::mutex> lock(desktop_.mutex_);
  return alive_;
}

bool HeadlessWindow::IsVisible() const {
  std::lock_guard<std::mutex> lock(desktop_.mutex_);
  return alive_ && shown_;
}

void HeadlessWindow::SetText(const std::string& text) {
  OnWindowThread([&] { caption_ = text; });
}

void HeadlessWindow::End(int result) {
  OnWindowThread([&] {
    if (ended_) return;
    ended_ = true;
    result_ = result;
    shown_ = false;
    desktop_.changed_.notify_all();
  });
}

void HeadlessWindow::InvalidateRect(const platform::Rect& rect, bool erase) {
  OnWindowThread([&] {
    const bool first = !invalid_ || paintRect_.right <= paintRect_.left;
    invalid_ = true;
    paintRect_ = first ? rect
                       : platform::Rect{std::min(paintRect_.left, rect.left),
                                        std::min(paintRect_.top, rect.top),
                                        std::max(paintRect_.right, rect.right),
                                        std::max(paintRect_.bottom, rect.bottom)};
    invalidations_.push_back(Invalidation{rect, erase});
  });
}

std::vector<HeadlessWindow::Invalidation> HeadlessWindow::Invalidations() const {
  std::lock_guard<std::mutex> lock(desktop_.mutex_);
  return invalidations_;
}

void HeadlessWindow::Update() {
  desktop_.HandOverToWindowThread(
      [this] {
        std::unique_lock<std::mutex> lock(desktop_.mutex_);
        if (alive_) desktop_.PaintIfInvalid(lock, this);
      },
      this);
}

// The dialog manager's WM_CLOSE: the command IDCANCEL, posted, unless the
// control of that id exists and is disabled; then a beep.
void HeadlessWindow::DefaultClose() {
  OnWindowThread([&] {
    const ControlState* cancel = FindLocked(platform::kIdCancel);
    if (cancel == nullptr || cancel->enabled) {
      desktop_.PostCommand(this, platform::kIdCancel);
    } else {
      ++desktop_.beeps_;
      TheTranscript().Add(Line().Str("event", "beep"));
    }
  });
}

std::uintptr_t HeadlessWindow::RegisterDeviceNotification(const void* filter,
                                                          std::uint32_t size) {
  std::uint32_t failure = 0;
  std::uintptr_t handle = 0;
  {
    std::lock_guard<std::mutex> lock(desktop_.mutex_);
    failure = desktop_.registrationError_;
    if (failure == 0 && alive_) {
      DeviceRegistration registration;
      registration.templateId = template_.id;
      const auto* bytes = static_cast<const std::uint8_t*>(filter);
      if (bytes != nullptr) registration.filter.assign(bytes, bytes + size);
      desktop_.registrations_.push_back(registration);
      desktop_.registeredWindows_.push_back(this);
      handle = 0x1000 + desktop_.registrations_.size();
    }
  }
  if (handle == 0 && failure != 0) platform::Os().io->SetLastError(failure);
  return handle;
}

void HeadlessWindow::EnableControl(int id, bool enable) {
  OnWindowThread([&] {
    ControlState* control = FindLocked(id);
    if (control == nullptr || control->enabled == enable) return;
    control->enabled = enable;
    TheTranscript().Add(
        Line().Str("event", "enable").Num("control", id).Bool("enabled", enable));
  });
}

bool HeadlessWindow::IsControlEnabled(int id) const {
  std::lock_guard<std::mutex> lock(desktop_.mutex_);
  const ControlState* control = FindLocked(id);
  return alive_ && control != nullptr && control->enabled;
}

bool HeadlessWindow::IsControlVisible(int id) const {
  std::lock_guard<std::mutex> lock(desktop_.mutex_);
  const ControlState* control = FindLocked(id);
  return alive_ && shown_ && control != nullptr && control->visible;
}

void HeadlessWindow::SetControlText(int id, const std::string& text) {
  OnWindowThread([&] {
    if (ControlState* control = FindLocked(id)) control->text = text;
  });
}

std::string HeadlessWindow::ControlText(int id) const {
  std::lock_guard<std::mutex> lock(desktop_.mutex_);
  const ControlState* control = FindLocked(id);
  return alive_ && control != nullptr ? control->text : std::string();
}

// The control's frame in client pixels, from its template rectangle in dialog
// units. The headless font's base units are 0.7 x 1.5 its point size (7 x 15
// for a 10-point face, as Times New Roman gives on Windows).
platform::Rect HeadlessWindow::ControlClientRect(int id) const {
  const platform::ControlTemplate* source = template_.Find(id);
  if (source == nullptr) return {};
  const int points = template_.fontPointSize > 0 ? template_.fontPointSize : 8;
  const int baseX = (points * 7 + 5) / 10;
  const int baseY = (points * 15 + 5) / 10;
  platform::Rect rect;
  rect.left = Scale(source->x, baseX, 4);
  rect.top = Scale(source->y, baseY, 8);
  rect.right = rect.left + Scale(source->cx, baseX, 4);
  rect.bottom = rect.top + Scale(source->cy, baseY, 8);
  return rect;
}

void HeadlessWindow::SetControlFont(int id, const platform::FontSpec& font) {
  OnWindowThread([&] {
    if (ControlState* control = FindLocked(id)) {
      control->font = font;
      control->hasFont = true;
    }
  });
}

void HeadlessWindow::SetControlExclamationIcon(int id) {
  OnWindowThread([&] {
    if (ControlState* control = FindLocked(id)) control->exclamationIcon = true;
  });
}

void HeadlessWindow::SetProgressRange(int id, int low, int high) {
  OnWindowThread([&] {
    ControlState* control = FindLocked(id);
    if (control == nullptr) return;
    control->rangeLow = low;
    control->rangeHigh = high;
    control->position = std::max(low, std::min(high, control->position));
  });
}

void HeadlessWindow::SetProgressPos(int id, int position) {
  OnWindowThread([&] {
    ControlState* control = FindLocked(id);
    if (control == nullptr) return;
    control->position = std::max(control->rangeLow, std::min(control->rangeHigh, position));
    TheTranscript().Add(Line().Str("event", "progress").Num("position", control->position));
  });
}

// The list box or combo box of that id, and its template; nullptr for a
// missing control or one of another class.
ControlState* HeadlessWindow::FindListLocked(int id, const platform::ControlTemplate** source) {
  ControlState* control = FindLocked(id);
  const platform::ControlTemplate* found = template_.Find(id);
  if (control == nullptr || found == nullptr || found->List() == platform::ListKind::kNone) {
    return nullptr;
  }
  if (source != nullptr) *source = found;
  return control;
}

int HeadlessWindow::AddString(int id, const std::string& text) {
  int index = -1;
  OnWindowThread([&] {
    const platform::ControlTemplate* source = nullptr;
    ControlState* control = FindListLocked(id, &source);
    if (control == nullptr) return;
    const platform::ListKind kind = source->List();
    const bool sorted = (kind == platform::ListKind::kListBox && (source->style & platform::kLbsSort)) ||
                        (kind == platform::ListKind::kComboBox && (source->style & platform::kCbsSort));
    auto at = control->items.end();
    if (sorted) at = std::upper_bound(control->items.begin(), control->items.end(), text, LessNoCase);
    index = static_cast<int>(at - control->items.begin());
    control->items.insert(at, text);
    if (sorted && control->selected >= index) ++control->selected;
    if (!initialising_) ListLineLocked(*control);
  });
  return index;
}

// LB_SETCURSEL keeps the selection for an index out of range; CB_SETCURSEL
// clears it. -1 clears both.
void HeadlessWindow::SetCurSel(int id, int index) {
  OnWindowThread([&] {
    const platform::ControlTemplate* source = nullptr;
    ControlState* control = FindListLocked(id, &source);
    if (control == nullptr) return;
    const platform::ListKind kind = source->List();
    const bool inRange = index >= 0 && index < static_cast<int>(control->items.size());
    if (inRange || index == -1) {
      control->selected = index;
    } else if (kind == platform::ListKind::kComboBox) {
      control->selected = -1;
    }
    if (!initialising_) ListLineLocked(*control);
  });
}

int HeadlessWindow::GetCurSel(int id) const {
  std::lock_guard<std::mutex> lock(desktop_.mutex_);
  const ControlState* control = FindLocked(id);
  return alive_ && control != nullptr ? control->selected : -1;
}

void HeadlessWindow::ResetContent(int id) {
  OnWindowThread([&] {
    ControlState* control = FindListLocked(id, nullptr);
    if (control == nullptr) return;
    control->items.clear();
    control->selected = -1;
    if (!initialising_) ListLineLocked(*control);
  });
}

// Searches for an entry that starts with text (case-insensitive) from the one
// after startAfter, wrapping round; -1 searches from the top. Not found: the
// selection stays.
int HeadlessWindow::SelectString(int id, int startAfter, const std::string& text) {
  int found = -1;
  OnWindowThread([&] {
    ControlState* control = FindListLocked(id, nullptr);
    if (control == nullptr) return;
    const int count = static_cast<int>(control->items.size());
    const int first = startAfter < 0 || startAfter >= count ? 0 : startAfter + 1;
    for (int n = 0; n < count; ++n) {
      const int index = (first + n) % count;
      if (StartsWithNoCase(control->items[index], text)) {
        found = index;
        break;
      }
    }
    if (found >= 0) control->selected = found;
    if (!initialising_) ListLineLocked(*control);
  });
  return found;
}

}  // namespace sim
