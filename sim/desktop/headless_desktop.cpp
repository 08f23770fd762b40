// The headless desktop's message loops, message boxes and hand-overs (the
// scripted user's steps are in scripted_user.cpp, inspection in
// desktop_inspection.cpp).
//
// Every modal loop (a dialog's or a message box's) runs Pump on the window
// thread. Pump processes, in this order: hand-overs from other threads (sent
// messages), posted messages (commands of the dialog manager, device-change
// notifications), pending repaints; and when nothing is left and every
// background thread is blocked, the next action of the scripted user.
#include "sim/desktop/headless_desktop.h"

#include <algorithm>

#include "platform/kit.h"
#include "platform/os_types.h"
#include "sim/desktop/headless_desktop_parts.h"
#include "sim/desktop/headless_graphics.h"
#include "sim/desktop/headless_window.h"
#include "sim/machine/activity.h"
#include "sim/machine/transcript.h"

namespace sim {
namespace {

const char* StyleName(platform::BoxStyle style) {
  switch (style) {
    case platform::BoxStyle::kWarning: return "warning";
    case platform::BoxStyle::kInformation: return "information";
    case platform::BoxStyle::kQuestion: return "question";
  }
  return "warning";
}

std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  std::replace(text.begin(), text.end(), '\r', ' ');
  return text;
}

}  // namespace

// Settling needs to know which background threads are blocked.
HeadlessDesktop::HeadlessDesktop() : windowThread_(std::this_thread::get_id()) {
  platform::activity::InstallActivityTracking();
}

HeadlessDesktop::~HeadlessDesktop() { Close(); }

void HeadlessDesktop::Close() {
  std::unique_lock<std::mutex> lock(mutex_);
  closing_ = true;
  ReleaseWaitersLocked();
  changed_.wait(lock, [this] { return foreignCalls_ == 0; });
}

// ---- Set-up ----

void HeadlessDesktop::SetStepLimit(std::chrono::milliseconds limit) {
  std::lock_guard<std::mutex> lock(mutex_);
  stepLimit_ = limit;
}

void HeadlessDesktop::SetOutOfScript(OutOfScript policy) {
  std::lock_guard<std::mutex> lock(mutex_);
  outOfScript_ = std::move(policy);
}

void HeadlessDesktop::FailDeviceRegistration(std::uint32_t lastError) {
  std::lock_guard<std::mutex> lock(mutex_);
  registrationError_ = lastError;
}

void HeadlessDesktop::SetGraphics(HeadlessGraphics* graphics) {
  std::lock_guard<std::mutex> lock(mutex_);
  graphics_ = graphics;
}

// ---- Threads ----

bool HeadlessDesktop::OnWindowThreadLocked() const {
  return std::this_thread::get_id() == windowThread_;
}

// While no dialog is open and no modal loop runs, the calling thread becomes
// the window thread.
bool HeadlessDesktop::AdoptWindowThreadLocked() {
  const bool anyDialog = std::any_of(surfaces_.begin(), surfaces_.end(),
                                     [](const Surface& s) { return s.window != nullptr; });
  if (anyDialog || loops_ > 0) return false;
  windowThread_ = std::this_thread::get_id();
  return true;
}

bool HeadlessDesktop::HandOverToWindowThread(const std::function<void()>& fn,
                                             const HeadlessWindow* target) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (OnWindowThreadLocked()) {
    lock.unlock();
    fn();
    return true;
  }
  if (closing_ || !error_.empty()) return false;
  if (target != nullptr && !target->alive_) return false;
  auto handOver = std::make_shared<HandOver>();
  handOver->fn = fn;
  handOver->target = target;
  handOvers_.push_back(handOver);
  ++foreignCalls_;
  changed_.notify_all();
  changed_.wait(lock, [&] { return handOver->done; });
  --foreignCalls_;
  changed_.notify_all();
  return !handOver->dropped;
}

void HeadlessDesktop::RunOnWindowThread(const std::function<void()>& task) {
  HandOverToWindowThread(task, nullptr);
}

void HeadlessDesktop::BroadcastDeviceChange(std::uint32_t event,
                                            const std::vector<std::uint8_t>& record) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (closing_ || !error_.empty()) return;
  for (HeadlessWindow* window : registeredWindows_) {
    if (!window->alive_) continue;
    auto posted = std::make_shared<Posted>();
    posted->target = window;
    posted->deviceChange = true;
    posted->event = event;
    posted->record = record;
    posted_.push_back(posted);
  }
  changed_.notify_all();
}

void HeadlessDesktop::PostCommand(HeadlessWindow* window, int id) {
  auto posted = std::make_shared<Posted>();
  posted->target = window;
  posted->id = id;
  posted_.push_back(posted);
  changed_.notify_all();
}

// ---- Dialogs ----

int HeadlessDesktop::RunModal(kit::CDialog& dialog) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (closing_ || !error_.empty()) return platform::kIdCancel;
  const platform::DialogTemplate* found = platform::FindTemplate(dialog.TemplateId());
  if (found == nullptr) return -1;  // as DialogBoxParam without its template
  if (!AdoptWindowThreadLocked() && !OnWindowThreadLocked()) {
    FailLocked("dialog " + std::to_string(dialog.TemplateId()) +
               " run from a thread other than the window thread");
    return -1;
  }
  windows_.push_back(std::make_unique<HeadlessWindow>(*this, dialog, *found));
  HeadlessWindow* window = windows_.back().get();
  surfaces_.push_back({window, -1});
  lock.unlock();

  dialog.AttachWindow(window);
  dialog.OnInitDialog();

  lock.lock();
  ShowAfterInitLocked(window);
  Pump(lock, [window] { return window->ended_; });
  const int result = DestroyLocked(window);
  lock.unlock();
  dialog.AttachWindow(nullptr);
  return result;
}

// WM_INITDIALOG has run: the dialog shows (unless it ended there) with its
// lists as they were filled.
void HeadlessDesktop::ShowAfterInitLocked(HeadlessWindow* window) {
  window->initialising_ = false;
  if (!window->ended_) {
    window->shown_ = true;
    window->invalid_ = true;  // the first WM_PAINT, of the whole client area
    window->paintWhole_ = true;
  }
  TheTranscript().Add(
      Line().Str("event", "dialog").Num("template", window->template_.id).Str("state", "open"));
  for (const ControlState& control : window->controls_) {
    if (platform::ListKindOfClass(control.className) != platform::ListKind::kNone) {
      window->ListLineLocked(control);
    }
  }
}

// The modal loop has ended: the window goes; its result.
int HeadlessDesktop::DestroyLocked(HeadlessWindow* window) {
  if (!window->ended_) {  // the run failed: the loop ends as on Escape
    window->ended_ = true;
    window->result_ = platform::kIdCancel;
  }
  window->alive_ = false;
  window->shown_ = false;
  window->dialog_->OnDestroy();
  surfaces_.erase(std::remove_if(surfaces_.begin(), surfaces_.end(),
                                 [window](const Surface& s) { return s.window == window; }),
                  surfaces_.end());
  TheTranscript().Add(Line()
                          .Str("event", "dialog")
                          .Num("template", window->template_.id)
                          .Str("state", "closed")
                          .Num("result", window->result_));
  changed_.notify_all();
  return window->result_;
}

void HeadlessDesktop::PaintIfInvalid(std::unique_lock<std::mutex>& lock, HeadlessWindow* window) {
  if (!window->invalid_) return;
  window->invalid_ = false;
  const bool whole = window->paintWhole_;
  const platform::Rect paint = window->paintRect_;
  window->paintWhole_ = false;
  window->paintRect_ = platform::Rect{};
  if (!window->dialog_->WantsPaint()) return;  // the platform paints it
  std::unique_ptr<platform::PaintContext> context;
  if (graphics_ != nullptr) {
    context = graphics_->NewPaintContext(whole ? nullptr : &paint);
  } else {
    context = std::make_unique<NullPaintContext>();
  }
  kit::CDialog* dialog = window->dialog_;
  lock.unlock();
  dialog->OnPaint(*context);
  lock.lock();
}

// ---- Message boxes ----

int HeadlessDesktop::DefaultAnswer(platform::BoxStyle style) {
  return style == platform::BoxStyle::kQuestion ? platform::kIdNo : platform::kIdOk;
}

int HeadlessDesktop::MessageBox(const std::string& text, platform::BoxStyle style) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (closing_ || !error_.empty()) return DefaultAnswer(style);
  if (!platform::activity::IsBackgroundThread()) AdoptWindowThreadLocked();
  BoxSlot slot;
  slot.record.style = style;
  slot.record.caption = programName_;
  slot.record.text = text;
  slot.record.fromWindowThread = OnWindowThreadLocked();
  boxes_.push_back(slot);
  const std::size_t index = boxes_.size() - 1;
  return slot.record.fromWindowThread ? RunBoxOnWindowThread(lock, index)
                                      : BoxFromOtherThread(lock, index);
}

void HeadlessDesktop::OpenBoxLocked(std::size_t index) {
  const BoxRecord& record = boxes_[index].record;
  surfaces_.push_back({nullptr, static_cast<int>(index)});
  TheTranscript().Add(Line()
                          .Str("event", "box")
                          .Str("style", StyleName(record.style))
                          .Str("caption", record.caption)
                          .Str("text", record.text));
}

// A box of the window thread runs a nested message loop: hand-overs and
// notifications go on being processed while it is open.
int HeadlessDesktop::RunBoxOnWindowThread(std::unique_lock<std::mutex>& lock, std::size_t index) {
  OpenBoxLocked(index);
  Pump(lock, [this, index] { return boxes_[index].record.answer != 0; });
  BoxRecord& record = boxes_[index].record;
  if (record.answer == 0) {
    record.answer = DefaultAnswer(record.style);
    RemoveBoxSurfaceLocked(index);
  }
  return record.answer;
}

// A box of another thread: the window thread opens it at its next pump, and
// the calling thread blocks until the scripted user has answered.
int HeadlessDesktop::BoxFromOtherThread(std::unique_lock<std::mutex>& lock, std::size_t index) {
  auto handOver = std::make_shared<HandOver>();
  handOver->box = static_cast<int>(index);
  handOvers_.push_back(handOver);
  boxes_[index].trackedWaiter = platform::activity::IsBackgroundThread();
  if (boxes_[index].trackedWaiter) platform::activity::MarkBlocked();
  ++foreignCalls_;
  changed_.notify_all();
  // Whoever answers counts a tracked waiter as running again.
  changed_.wait(lock, [&] { return boxes_[index].record.answer != 0; });
  --foreignCalls_;
  changed_.notify_all();
  return boxes_[index].record.answer;
}

// ---- The message loop ----

void HeadlessDesktop::Pump(std::unique_lock<std::mutex>& lock, const std::function<bool()>& done) {
  ++loops_;
  auto idleSince = Clock::now();
  while (!done() && error_.empty() && !closing_) {
    const PumpStep step = PumpOnce(lock);
    if (step == PumpStep::kStalled) break;
    if (step == PumpStep::kWorked) {
      idleSince = Clock::now();
      continue;
    }
    if (StepLimitPassedLocked(idleSince)) break;
    changed_.wait_for(lock, std::chrono::milliseconds(1));
  }
  --loops_;
}

// What a message loop does in turn: hand-overs from other threads, posted
// messages, painting, and once the program has settled, the user's next step.
HeadlessDesktop::PumpStep HeadlessDesktop::PumpOnce(std::unique_lock<std::mutex>& lock) {
  if (RunHandOverLocked(lock) || DeliverPostedLocked(lock) || PaintOneLocked(lock)) {
    return PumpStep::kWorked;
  }
  if (!platform::activity::BackgroundSettled()) return PumpStep::kIdle;
  return NextUserStepLocked(lock);
}

bool HeadlessDesktop::RunHandOverLocked(std::unique_lock<std::mutex>& lock) {
  if (handOvers_.empty()) return false;
  std::shared_ptr<HandOver> handOver = handOvers_.front();
  handOvers_.pop_front();
  if (handOver->box >= 0) {
    OpenBoxLocked(static_cast<std::size_t>(handOver->box));
  } else if (handOver->target != nullptr && !handOver->target->alive_) {
    handOver->dropped = true;
  } else {
    lock.unlock();
    handOver->fn();
    lock.lock();
  }
  handOver->done = true;
  changed_.notify_all();
  return true;
}

bool HeadlessDesktop::DeliverPostedLocked(std::unique_lock<std::mutex>& lock) {
  if (posted_.empty()) return false;
  std::shared_ptr<Posted> posted = posted_.front();
  posted_.pop_front();
  if (!posted->target->alive_) return true;
  kit::CDialog* dialog = posted->target->dialog_;
  lock.unlock();
  if (posted->deviceChange) {
    dialog->WindowProc(platform::kWmDeviceChange, posted->event, posted->record.data(),
                       posted->record.size());
  } else {
    dialog->OnCommand(posted->id);
  }
  lock.lock();
  return true;
}

// The last shown window that needs painting, painted.
bool HeadlessDesktop::PaintOneLocked(std::unique_lock<std::mutex>& lock) {
  HeadlessWindow* invalid = nullptr;
  for (const auto& window : windows_) {
    if (window->alive_ && window->shown_ && window->invalid_) invalid = window.get();
  }
  if (invalid == nullptr) return false;
  PaintIfInvalid(lock, invalid);
  return true;
}

bool HeadlessDesktop::StepLimitPassedLocked(Clock::time_point idleSince) {
  if (Clock::now() - idleSince < stepLimit_) return false;
  FailLocked("stall: the program did not settle within " + std::to_string(stepLimit_.count()) +
             " ms" + (lastAction_.empty() ? std::string() : " after \"" + lastAction_ + "\"") +
             " (" + DescribeTopLocked() + ")");
  return true;
}

std::string HeadlessDesktop::DescribeTopLocked() const {
  if (surfaces_.empty()) return "nothing open";
  const Surface& top = surfaces_.back();
  if (top.window != nullptr) return "dialog " + std::to_string(top.window->template_.id) + " on top";
  return "message box " + OneLine(JsonQuote(boxes_[static_cast<std::size_t>(top.box)].record.text)) +
         " open";
}

// ---- Errors ----

void HeadlessDesktop::ScriptError(const std::string& what) { FailLocked("script error: " + what); }

void HeadlessDesktop::Fail(const std::string& error) {
  std::lock_guard<std::mutex> lock(mutex_);
  FailLocked(error);
}

void HeadlessDesktop::FailLocked(const std::string& error) {
  if (!error_.empty()) return;
  error_ = OneLine(error.empty() ? std::string("failed") : error);
  TheTranscript().Freeze();
  ReleaseWaitersLocked();
  posted_.clear();
  script_.clear();
}

// Boxes of other threads answer as the unwinding does and their threads wake;
// hand-overs not yet run are dropped.
void HeadlessDesktop::ReleaseWaitersLocked() {
  for (std::size_t i = 0; i < boxes_.size(); ++i) {
    BoxSlot& slot = boxes_[i];
    if (slot.record.answer != 0 || slot.record.fromWindowThread) continue;
    slot.record.answer = DefaultAnswer(slot.record.style);
    if (slot.trackedWaiter) platform::activity::CreditWakeUp();
    RemoveBoxSurfaceLocked(i);
  }
  for (auto& handOver : handOvers_) {
    handOver->done = true;
    handOver->dropped = true;
  }
  handOvers_.clear();
  changed_.notify_all();
}

void HeadlessDesktop::RemoveBoxSurfaceLocked(std::size_t index) {
  const int box = static_cast<int>(index);
  surfaces_.erase(std::remove_if(surfaces_.begin(), surfaces_.end(),
                                 [box](const Surface& s) { return s.box == box; }),
                  surfaces_.end());
}

bool HeadlessDesktop::Failed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return !error_.empty();
}

std::string HeadlessDesktop::Error() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return error_;
}

}  // namespace sim
