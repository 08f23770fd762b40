// The unchanged TavrolinUpgrade.exe against the test driver's dongle: this
// program starts it, plays its user through window messages from outside
// (buttons, list entries, message boxes), and checks what reached the dongle
// through the real Win32 calls in the driver's request log and memory.
// Prints one line per check, then "N passed, M failed"; exits nonzero when a
// check failed or a step hung.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "gui_support.h"
#include "remote_program.h"
#include "notification_relay.h"
// The program's control 1089, not the cursor of <windows.h>.
#undef IDC_ICON
#include "ui/resource_ids.h"

using namespace std::chrono_literals;
using guitest::Check;
using guitest::Escaped;
using guitest::Num;

namespace {

constexpr auto kWindowWait = 20s;
constexpr auto kUpgradeWait = 60s;

const char kMainCaption[] = "Tavrolin Combo Upgrade";

std::string ProgramPath() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path);
  folder.erase(folder.find_last_of("\\/") + 1);
  std::string relative = TAV_PROGRAM_FROM_TESTS;
  for (char& c : relative) c = c == '/' ? '\\' : c;
  return folder + relative;
}

// One run of the program: started, its main window found, ended.
class Session {
 public:
  explicit Session(guitest::Watchdog& watchdog) : watchdog_(watchdog) {}

  bool Start() {
    watchdog_.Step("the program starts");
    if (!Check(program_.Start(ProgramPath()), "the program starts: " + ProgramPath())) {
      return false;
    }
    main_ = program_.WaitForDialog(kMainCaption, kWindowWait);
    return Check(main_ != nullptr, "its main window opens");
  }

  HWND Main() const { return main_; }
  remote::Program& Program() { return program_; }

  // Upgrade and Adjust RF, as UpdateButtons leaves them.
  bool DeviceButtons(bool enabled) const {
    return remote::Enabled(main_, IDC_UPGRADE) == enabled &&
           remote::Enabled(main_, IDC_ADJUST_RF) == enabled;
  }
  bool WaitDeviceButtons(bool enabled, std::chrono::milliseconds limit = kWindowWait) const {
    return guitest::WaitUntil([&] { return DeviceButtons(enabled); }, limit);
  }

  // A person can press only an enabled button.
  bool Press(HWND dialog, int id, const std::string& what) {
    if (!Check(remote::Enabled(dialog, id), what + ": the button is enabled")) return false;
    guitest::PostCommand(dialog, id);
    return true;
  }

  // The next message box of the program, any thread.
  remote::Box WaitBox(const std::string& what, std::chrono::milliseconds limit = kWindowWait) {
    watchdog_.Step(what);
    HWND hwnd = program_.WaitForDialog(program_.Name(), limit);
    Check(hwnd != nullptr, what);
    return hwnd != nullptr ? remote::ReadBox(hwnd) : remote::Box{};
  }

  bool Answer(const remote::Box& box, int id) {
    if (box.hwnd == nullptr) return false;
    guitest::PostCommand(box.hwnd, id);
    return Check(guitest::WaitUntil([&] { return !IsWindow(box.hwnd); }, kWindowWait),
                 "the box closes on answer " + Num(id));
  }

  // Exit ends the modal run and with it the program.
  bool Exit() {
    watchdog_.Step("the program ends on Exit");
    if (!Press(main_, IDC_EXIT, "Exit")) return false;
    const bool ended = program_.WaitForExit(kWindowWait);
    return Check(ended, "the program ends on Exit");
  }

 private:
  guitest::Watchdog& watchdog_;
  remote::Program program_;
  HWND main_ = nullptr;
};

}  // namespace

int main() {
  guitest::Watchdog watchdog(110s);
  Session session(watchdog);
  if (session.Start()) {
    Check(session.WaitDeviceButtons(false), "with no dongle Upgrade and Adjust RF become disabled");
    Check(session.Program().FindBox() == nullptr, "no message box");
    session.Exit();
  }
  watchdog.Disarm();
  return guitest::Summary();
}
