// The headless desktop's scripted user: the queue of actions, the next step
// once the program has settled, and how each action reaches the topmost box
// or dialog as the dialog manager would deliver it.
#include "sim/desktop/headless_desktop.h"

#include "platform/kit.h"
#include "platform/os_types.h"
#include "sim/desktop/headless_desktop_parts.h"
#include "sim/desktop/headless_window.h"
#include "sim/machine/activity.h"
#include "sim/machine/transcript.h"

namespace sim {
namespace {

int AnswerId(BoxAnswer answer) {
  switch (answer) {
    case BoxAnswer::kOk: return platform::kIdOk;
    case BoxAnswer::kYes: return platform::kIdYes;
    case BoxAnswer::kNo: return platform::kIdNo;
  }
  return platform::kIdOk;
}

}  // namespace

HeadlessDesktop& HeadlessDesktop::Enqueue(UserAction action) {
  std::lock_guard<std::mutex> lock(mutex_);
  script_.push_back(std::move(action));
  changed_.notify_all();
  return *this;
}

std::size_t HeadlessDesktop::PendingActions() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return script_.size();
}

// ---- The next step ----

// The next scripted action; with none left, the out-of-script policy, and a
// stall when that does not move the program on either.
HeadlessDesktop::PumpStep HeadlessDesktop::NextUserStepLocked(std::unique_lock<std::mutex>& lock) {
  if (!script_.empty()) {
    UserAction action = std::move(script_.front());
    script_.pop_front();
    lastAction_ = action.Describe();
    ApplyAction(lock, std::move(action));
    return PumpStep::kWorked;
  }
  bool movedOn = false;
  if (outOfScript_) {
    OutOfScript policy = outOfScript_;
    lock.unlock();
    movedOn = policy(*this);
    lock.lock();
  }
  if (!movedOn) {
    FailLocked("stall: the script ran out while the program waited for input (" +
               DescribeTopLocked() + ")");
    return PumpStep::kStalled;
  }
  // Actions the policy queued are applied once the program has settled again.
  return script_.empty() ? PumpStep::kIdle : PumpStep::kWorked;
}

void HeadlessDesktop::ApplyAction(std::unique_lock<std::mutex>& lock, UserAction action) {
  using Kind = UserAction::Kind;
  const std::string what = action.Describe();
  if (action.kind == Kind::kTick) {
    platform::activity::ExpireTimedWaits();
    return;
  }
  if (action.kind == Kind::kCustom) {
    lock.unlock();
    if (action.action) action.action();
    lock.lock();
    return;
  }
  if (surfaces_.empty()) {
    ScriptError(what + ": nothing is open");
    return;
  }
  const Surface top = surfaces_.back();
  if (action.kind == Kind::kAnswer) {
    AnswerBoxLocked(top, action.answer, what);
  } else if (top.window == nullptr) {
    ScriptError(what + ": a message box is open (" + DescribeTopLocked() + ")");
  } else {
    ApplyToWindowLocked(lock, *top.window, action, what);
  }
}

void HeadlessDesktop::AnswerBoxLocked(const Surface& top, BoxAnswer answer,
                                      const std::string& what) {
  if (top.box < 0) {
    ScriptError(what + ": no message box is open (" + DescribeTopLocked() + ")");
    return;
  }
  BoxSlot& slot = boxes_[static_cast<std::size_t>(top.box)];
  const bool question = slot.record.style == platform::BoxStyle::kQuestion;
  if (question != (answer != BoxAnswer::kOk)) {
    ScriptError(what + ": the box offers " + (question ? "yes and no" : "ok only"));
    return;
  }
  slot.record.answer = AnswerId(answer);
  surfaces_.pop_back();
  TheTranscript().Add(Line().Str("event", "answer").Str("value", BoxAnswerName(answer)));
  if (slot.trackedWaiter) platform::activity::CreditWakeUp();
  changed_.notify_all();
}

void HeadlessDesktop::ApplyToWindowLocked(std::unique_lock<std::mutex>& lock,
                                          HeadlessWindow& window, const UserAction& action,
                                          const std::string& what) {
  using Kind = UserAction::Kind;
  switch (action.kind) {
    case Kind::kClick:
      ClickLocked(lock, window, action.id, what);
      return;
    case Kind::kSelect:
      SelectLocked(window, action.id, action.index, what);
      return;
    case Kind::kEnter:
      PressEnterLocked(window);
      return;
    case Kind::kEscape:
      PressEscapeLocked(window);
      return;
    case Kind::kClose: {
      kit::CDialog* dialog = window.dialog_;
      lock.unlock();
      dialog->OnClose();
      lock.lock();
      return;
    }
    default:
      return;
  }
}

void HeadlessDesktop::ClickLocked(std::unique_lock<std::mutex>& lock, HeadlessWindow& window,
                                  int id, const std::string& what) {
  const ControlState* control = window.FindLocked(id);
  const platform::ControlTemplate* source = window.template_.Find(id);
  const std::string where = " in dialog " + std::to_string(window.template_.id);
  if (control == nullptr || source == nullptr) {
    ScriptError(what + ": no control " + std::to_string(id) + where);
  } else if (!source->IsButton()) {
    ScriptError(what + ": control " + std::to_string(id) + " is not a button" + where);
  } else if (!control->visible) {
    ScriptError(what + ": button " + std::to_string(id) + " is hidden" + where);
  } else if (!control->enabled) {
    ScriptError(what + ": button " + std::to_string(id) + " is disabled" + where);
  } else {
    kit::CDialog* dialog = window.dialog_;
    lock.unlock();
    dialog->OnCommand(id);
    lock.lock();
  }
}

void HeadlessDesktop::SelectLocked(HeadlessWindow& window, int id, int index,
                                   const std::string& what) {
  ControlState* control = window.FindLocked(id);
  const std::string where = " in dialog " + std::to_string(window.template_.id);
  if (control == nullptr ||
      platform::ListKindOfClass(control->className) == platform::ListKind::kNone) {
    ScriptError(what + ": no list " + std::to_string(id) + where);
  } else if (!control->visible || !control->enabled) {
    ScriptError(what + ": list " + std::to_string(id) + " is " +
                (control->visible ? "disabled" : "hidden") + where);
  } else if (index < 0 || index >= static_cast<int>(control->items.size())) {
    ScriptError(what + ": list " + std::to_string(id) + " has " +
                std::to_string(control->items.size()) + " entries" + where);
  } else {
    control->selected = index;
  }
}

// DM_GETDEFID: the default push button, else IDOK; a disabled default button
// takes no Enter.
void HeadlessDesktop::PressEnterLocked(HeadlessWindow& window) {
  const int defaultId = window.template_.DefaultButtonId();
  if (defaultId == 0) {
    PostCommand(&window, platform::kIdOk);
  } else if (const ControlState* control = window.FindLocked(defaultId)) {
    if (control->enabled) PostCommand(&window, defaultId);
  }
}

// IsDialogMessage: the command IDCANCEL, unless the control of that id exists
// and is disabled; then a beep, as for a close request.
void HeadlessDesktop::PressEscapeLocked(HeadlessWindow& window) {
  const ControlState* cancel = window.FindLocked(platform::kIdCancel);
  if (cancel == nullptr || cancel->enabled) {
    PostCommand(&window, platform::kIdCancel);
  } else {
    ++beeps_;
    TheTranscript().Add(Line().Str("event", "beep"));
  }
}

}  // namespace sim
