// Windows gives a window that registered with RegisterDeviceNotificationA the
// device-interface record with an ANSI name (DEV_BROADCAST_DEVICEINTERFACE_A);
// Wine 8.0 gives it the Unicode record, whose name an ANSI program reads as
// "\". The relay stands in for Windows' conversion: it registers for the same
// notifications with the W call, builds the ANSI record from each one and
// sends it, as WM_DEVICECHANGE, to the program's window. It proves how the
// program handles a correct record, not how the system delivers it.
#pragma once
#include <windows.h>
#include <dbt.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace remote {

class NotificationRelay {
 public:
  NotificationRelay();   // registered once Ready() holds
  ~NotificationRelay();  // unregisters and ends its thread
  NotificationRelay(const NotificationRelay&) = delete;
  NotificationRelay& operator=(const NotificationRelay&) = delete;

  bool Ready() const { return ready_.load(); }
  // How a record is forwarded: converted to the ANSI record, as Windows
  // gives an ANSI window, or unchanged, as Wine 8.0 gives it.
  enum class Form { kAnsi, kAsWineSends };
  // Where the records go from now on; nullptr forwards nothing.
  void ForwardTo(HWND target, Form form = Form::kAnsi) {
    form_.store(form);
    target_.store(target);
  }

  // Notifications forwarded since the start, and the name of the last one
  // forwarded, in ANSI.
  int Forwarded() const { return forwarded_.load(); }
  std::string LastName() const;
  // Every notification received: "arrival NAME", "removal NAME", and
  // " (forwarded)" after those handed on.
  std::vector<std::string> History() const;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  void Run();
  void Relay(WPARAM event, const DEV_BROADCAST_HDR* header);

  std::atomic<bool> ready_{false};
  std::atomic<HWND> target_{nullptr};
  std::atomic<Form> form_{Form::kAnsi};
  std::atomic<int> forwarded_{0};
  std::atomic<DWORD> threadId_{0};
  mutable std::mutex mutex_;
  std::string lastName_;
  std::vector<std::string> history_;
  std::thread thread_;
};

}  // namespace remote
