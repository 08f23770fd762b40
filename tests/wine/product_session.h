// One run of TavrolinUpgrade.exe against the test bus's dongle, as a person
// sees it: the main window, its buttons, the program's message boxes; with
// the bus that plugs and unplugs the dongle and keeps its request log, and
// the relay that hands the program its device-change notifications.
#pragma once
#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

#include "bus_client.h"
#include "dongle_expectations.h"
#include "gui_support.h"
#include "notification_relay.h"
#include "remote_program.h"

namespace e2e {

constexpr auto kWindowWait = std::chrono::seconds(20);
constexpr auto kUpgradeWait = std::chrono::seconds(60);

// The program under test, found from this test program's folder.
std::string ProgramPath();

class Session {
 public:
  Session(guitest::Watchdog& watchdog, tavbus::BusClient& bus, remote::NotificationRelay& relay)
      : watchdog_(watchdog), bus_(bus), relay_(relay) {}
  ~Session();  // the relay stops forwarding; a program still running is ended

  // Starts the program; the relay forwards to its main window once found.
  bool Start();
  // Presses Exit and waits for the program to end.
  bool Exit();

  HWND Main() const { return main_; }
  remote::Program& Program() { return program_; }
  tavbus::BusClient& Bus() { return bus_; }
  void Step(const std::string& what) { watchdog_.Step(what); }

  // Upgrade and Adjust RF, as UpdateButtons leaves them.
  bool DeviceButtons(bool enabled) const;
  bool WaitDeviceButtons(bool enabled) const;

  // A person can press only an enabled button: false, with a failed check,
  // when it is disabled.
  bool Press(HWND dialog, int id, const std::string& what);
  HWND WaitDialog(const std::string& caption);
  // The next message box of the program (any of its threads); checks that it
  // shows `text` with exactly `buttons`, and returns it.
  remote::Box ExpectBox(const std::string& what, const std::string& text,
                        const std::vector<int>& buttons,
                        std::chrono::milliseconds limit = kWindowWait);
  bool Answer(const remote::Box& box, int id);
  // No message box of the program is open.
  bool NoBox() const { return program_.FindBox() == nullptr; }
  // Once the window thread pumps messages again (a message sent to the main
  // window returns): no dialog of the program exists besides the main window,
  // so the window thread is back in the main window's own loop and no box is
  // about to show.
  bool BackToMainWindow();

  // Plugs or unplugs the dongle and waits until its interface is up or gone.
  bool SetPlugged(bool plugged);
  // The driver's log, and its requests (without opens and closes).
  std::vector<TAVBUS_LOG_RECORD> Records();
  std::vector<Request> Log() { return Requests(Records()); }
  bool WaitForRequests(std::size_t count);
  bool ClearLog();

 private:
  guitest::Watchdog& watchdog_;
  tavbus::BusClient& bus_;
  remote::NotificationRelay& relay_;
  remote::Program program_;
  HWND main_ = nullptr;
};

}  // namespace e2e
