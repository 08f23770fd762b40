// What the tests and the scenario runner read of the headless desktop: the
// open dialogs and their controls, the boxes, registrations, beeps. Any
// thread; values are copies.
#include "sim/desktop/headless_desktop.h"

#include <algorithm>

#include "sim/desktop/headless_desktop_parts.h"
#include "sim/desktop/headless_window.h"

namespace sim {

HeadlessWindow* HeadlessDesktop::TopmostWindowLocked() const {
  for (auto it = surfaces_.rbegin(); it != surfaces_.rend(); ++it) {
    if (it->window != nullptr) return it->window;
  }
  return nullptr;
}

// ---- Inspection ----

const HeadlessWindow* HeadlessDesktop::FindOpenLocked(int templateId) const {
  for (auto it = surfaces_.rbegin(); it != surfaces_.rend(); ++it) {
    if (it->window != nullptr && it->window->template_.id == templateId) return it->window;
  }
  return nullptr;
}

int HeadlessDesktop::TopmostDialog() const {
  std::lock_guard<std::mutex> lock(mutex_);
  const HeadlessWindow* window = TopmostWindowLocked();
  return window ? window->template_.id : 0;
}

bool HeadlessDesktop::IsDialogOpen(int templateId) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return FindOpenLocked(templateId) != nullptr;
}

ControlState HeadlessDesktop::Control(int id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const HeadlessWindow* window = TopmostWindowLocked();
  const ControlState* control = window ? window->FindLocked(id) : nullptr;
  return control ? *control : ControlState{};
}

ControlState HeadlessDesktop::Control(int templateId, int id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const HeadlessWindow* window = FindOpenLocked(templateId);
  const ControlState* control = window ? window->FindLocked(id) : nullptr;
  return control ? *control : ControlState{};
}

std::string HeadlessDesktop::Caption(int templateId) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const HeadlessWindow* window = FindOpenLocked(templateId);
  return window ? window->caption_ : std::string();
}

bool HeadlessDesktop::BoxOpen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::any_of(surfaces_.begin(), surfaces_.end(),
                     [](const Surface& s) { return s.box >= 0; });
}

BoxRecord HeadlessDesktop::OpenBox() const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto it = surfaces_.rbegin(); it != surfaces_.rend(); ++it) {
    if (it->box >= 0) return boxes_[static_cast<std::size_t>(it->box)].record;
  }
  return BoxRecord{};
}

std::vector<BoxRecord> HeadlessDesktop::Boxes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<BoxRecord> records;
  for (const BoxSlot& slot : boxes_) records.push_back(slot.record);
  return records;
}

std::vector<DeviceRegistration> HeadlessDesktop::Registrations() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return registrations_;
}

int HeadlessDesktop::PendingHandOvers() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(handOvers_.size());
}

int HeadlessDesktop::Beeps() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return beeps_;
}

}  // namespace sim
