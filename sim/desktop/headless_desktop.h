// The headless desktop: runs the program's dialogs with their controls in
// memory, plays a scripted user and writes what a person would have seen to
// the shared transcript. Dialog-manager semantics follow the real one: Enter
// presses the default push button; Escape sends IDCANCEL, and a close request
// runs OnClose whose default turns into IDCANCEL, both unless a control of
// that id exists and is disabled, which earns a beep instead.
#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/desktop/dialog_template.h"
#include "platform/dialogs.h"
#include "sim/machine/device_change_sink.h"
#include "sim/desktop/user_action.h"

namespace sim {

class HeadlessGraphics;
class HeadlessWindow;

// What a control shows, as tests inspect it.
struct ControlState {
  int id = 0;
  std::string className;
  std::string text;
  bool enabled = true;
  bool visible = true;
  std::vector<std::string> items;  // list box and combo box entries
  int selected = -1;
  int rangeLow = 0;  // progress bar
  int rangeHigh = 100;
  int position = 0;
  platform::FontSpec font;
  bool hasFont = false;
  bool exclamationIcon = false;
};

struct BoxRecord {
  platform::BoxStyle style = platform::BoxStyle::kWarning;
  std::string caption;
  std::string text;
  bool fromWindowThread = true;
  int answer = 0;  // 0 while open
};

struct DeviceRegistration {
  int templateId = 0;
  std::vector<std::uint8_t> filter;
};

class HeadlessDesktop : public platform::DialogSystem, public DeviceChangeSink {
 public:
  // The thread that makes the desktop is the window thread until a dialog
  // runs; from then on it is the thread that runs the outermost dialog.
  HeadlessDesktop();
  // Wakes every thread still blocked in the desktop (boxes answered as on an
  // error, hand-overs dropped) and waits until they have left it.
  ~HeadlessDesktop() override;
  // The same, while the desktop stays installed: from now on boxes answer at
  // once, hand-overs are dropped and no dialog opens, so threads still running
  // after the program's end never block in the desktop.
  void Close();
  HeadlessDesktop(const HeadlessDesktop&) = delete;
  HeadlessDesktop& operator=(const HeadlessDesktop&) = delete;

  // ---- platform::DialogSystem ----
  int RunModal(kit::CDialog& dialog) override;
  int MessageBox(const std::string& text, platform::BoxStyle style) override;
  void RunOnWindowThread(const std::function<void()>& task) override;

  // ---- DeviceChangeSink ----
  void BroadcastDeviceChange(std::uint32_t event,
                             const std::vector<std::uint8_t>& record) override;

  // ---- Set-up ----
  void SetStepLimit(std::chrono::milliseconds limit);
  // Called on the window thread when the program waits for input and the
  // script is empty. Returns true when it queued more actions (or otherwise
  // moved the program on); false makes it a stall error.
  using OutOfScript = std::function<bool(HeadlessDesktop&)>;
  void SetOutOfScript(OutOfScript policy);
  // Device-notification registration fails from now on, with this last error
  // (set through the installed DeviceIo when there is one); 0 makes it work.
  void FailDeviceRegistration(std::uint32_t lastError);
  // Draws of OnPaint go to this recorder.
  void SetGraphics(HeadlessGraphics* graphics);

  // ---- The scripted user ----
  // Actions run one at a time, each once the program has settled.
  HeadlessDesktop& Enqueue(UserAction action);
  HeadlessDesktop& Click(int id) { return Enqueue(UserAction::Click(id)); }
  HeadlessDesktop& Select(int id, int index) { return Enqueue(UserAction::Select(id, index)); }
  HeadlessDesktop& PressEnter() { return Enqueue(UserAction::Enter()); }
  HeadlessDesktop& PressEscape() { return Enqueue(UserAction::Escape()); }
  HeadlessDesktop& RequestClose() { return Enqueue(UserAction::Close()); }
  HeadlessDesktop& Answer(BoxAnswer answer) { return Enqueue(UserAction::Answer(answer)); }
  HeadlessDesktop& Do(const std::string& label, std::function<void()> action) {
    return Enqueue(UserAction::Custom(label, std::move(action)));
  }
  std::size_t PendingActions() const;

  // ---- Errors ----
  // Ends the run: records the first error, freezes the transcript, ends every
  // modal loop and makes later dialogs and boxes return at once.
  void Fail(const std::string& error);
  bool Failed() const;
  std::string Error() const;  // one line; "" when none

  // ---- Inspection (any thread; values are copies) ----
  int TopmostDialog() const;                 // template id, 0 when none is open
  bool IsDialogOpen(int templateId) const;
  ControlState Control(int id) const;        // of the topmost dialog
  ControlState Control(int templateId, int id) const;
  std::string Caption(int templateId) const;
  bool BoxOpen() const;
  BoxRecord OpenBox() const;                 // the topmost open box
  std::vector<BoxRecord> Boxes() const;      // every box shown, in order
  std::vector<DeviceRegistration> Registrations() const;
  int PendingHandOvers() const;
  int Beeps() const;

 private:
  friend class HeadlessWindow;
  struct HandOver;
  struct Posted;
  struct Surface;  // a dialog or a box, in z-order
  struct BoxSlot;

  bool OnWindowThreadLocked() const;
  bool AdoptWindowThreadLocked();
  // Runs fn on the window thread; from another thread waits until it ran.
  // false when it was dropped (error, shut-down, or target window gone).
  bool HandOverToWindowThread(const std::function<void()>& fn, const HeadlessWindow* target);
  int RunBoxOnWindowThread(std::unique_lock<std::mutex>& lock, std::size_t boxIndex);
  int BoxFromOtherThread(std::unique_lock<std::mutex>& lock, std::size_t boxIndex);
  void OpenBoxLocked(std::size_t boxIndex);
  void ShowAfterInitLocked(HeadlessWindow* window);
  int DestroyLocked(HeadlessWindow* window);
  // The window thread's message loop: runs until done() holds, one step at a
  // time. A step that did something starts the step limit anew.
  using Clock = std::chrono::steady_clock;
  enum class PumpStep { kWorked, kIdle, kStalled };
  void Pump(std::unique_lock<std::mutex>& lock, const std::function<bool()>& done);
  PumpStep PumpOnce(std::unique_lock<std::mutex>& lock);
  bool RunHandOverLocked(std::unique_lock<std::mutex>& lock);
  bool DeliverPostedLocked(std::unique_lock<std::mutex>& lock);
  bool PaintOneLocked(std::unique_lock<std::mutex>& lock);
  PumpStep NextUserStepLocked(std::unique_lock<std::mutex>& lock);
  // Fails the run when nothing has happened for the step limit.
  bool StepLimitPassedLocked(Clock::time_point idleSince);
  // The scripted user's steps; a step that cannot be carried out fails the
  // run with a script error naming it (`what`).
  void ApplyAction(std::unique_lock<std::mutex>& lock, UserAction action);
  void AnswerBoxLocked(const Surface& top, BoxAnswer answer, const std::string& what);
  void ApplyToWindowLocked(std::unique_lock<std::mutex>& lock, HeadlessWindow& window,
                           const UserAction& action, const std::string& what);
  void ClickLocked(std::unique_lock<std::mutex>& lock, HeadlessWindow& window, int id,
                   const std::string& what);
  void SelectLocked(HeadlessWindow& window, int id, int index, const std::string& what);
  void PressEnterLocked(HeadlessWindow& window);
  void PressEscapeLocked(HeadlessWindow& window);
  void ScriptError(const std::string& what);
  void FailLocked(const std::string& error);
  void ReleaseWaitersLocked();
  void RemoveBoxSurfaceLocked(std::size_t index);
  void PostCommand(HeadlessWindow* window, int id);
  void PaintIfInvalid(std::unique_lock<std::mutex>& lock, HeadlessWindow* window);
  HeadlessWindow* TopmostWindowLocked() const;
  const HeadlessWindow* FindOpenLocked(int templateId) const;
  std::string DescribeTopLocked() const;
  static int DefaultAnswer(platform::BoxStyle style);

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::thread::id windowThread_;
  std::string programName_ = "TavrolinUpgrade";
  std::chrono::milliseconds stepLimit_{10000};
  OutOfScript outOfScript_;
  std::uint32_t registrationError_ = 0;
  HeadlessGraphics* graphics_ = nullptr;

  std::deque<UserAction> script_;
  std::deque<std::shared_ptr<HandOver>> handOvers_;
  std::deque<std::shared_ptr<Posted>> posted_;
  std::vector<Surface> surfaces_;  // bottom first
  std::vector<std::unique_ptr<HeadlessWindow>> windows_;  // every window ever made
  std::vector<BoxSlot> boxes_;  // every box shown
  std::vector<DeviceRegistration> registrations_;
  std::vector<HeadlessWindow*> registeredWindows_;  // beside registrations_
  int beeps_ = 0;
  int loops_ = 0;          // modal loops of the window thread now running
  int foreignCalls_ = 0;   // other threads inside the desktop
  bool closing_ = false;
  std::string error_;
  std::string lastAction_;  // the step the program is settling from
};

}  // namespace sim
