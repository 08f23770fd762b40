// How the program starts its background thread and how its events signal and
// wait. The real program installs the plain thread and waits; the simulated
// machine installs its own, which tells a settled program (every background
// thread blocked) from a working one and keeps virtual time.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace platform {

class AutoResetEvent;

class ActivityObserver {
 public:
  virtual ~ActivityObserver() = default;

  // Runs `body` on a new, detached thread (the device worker). Throws
  // std::system_error when the system has no thread to give, as the
  // std::thread constructor does.
  virtual void StartThread(std::function<void()> body);

  // Signals the event: sets `signaled` and wakes one waiter. Called with the
  // event's lock held.
  virtual void Signal(const AutoResetEvent& event, std::condition_variable& changed,
                      bool& signaled);

  // The calling thread, which holds `lock`, waits on `changed` until
  // `signaled` is set or timeoutMs has passed (0: not at all; kInfinite: no
  // limit), then takes the signal. true when it was signalled.
  virtual bool Take(const AutoResetEvent& event, std::unique_lock<std::mutex>& lock,
                    std::condition_variable& changed, bool& signaled, std::uint32_t timeoutMs);
};

// The observer in force: the installed one, or a plain one before any is.
ActivityObserver& Activity();
// Installed once, before the first background thread starts, and kept for the
// rest of the process.
void InstallActivityObserver(ActivityObserver* observer);

// The plain wait of ActivityObserver::Take, before it takes the signal.
void BlockUntilSignaled(std::unique_lock<std::mutex>& lock, std::condition_variable& changed,
                        const bool& signaled, std::uint32_t timeoutMs);

}  // namespace platform
