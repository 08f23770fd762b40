// An optional watcher of the program's background threads and of their waits
// on events. The real program installs none and its waits are plain ones; the
// simulated machine installs one that tells a settled program (every
// background thread blocked) from a working one and keeps virtual time.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace platform {

class AutoResetEvent;

class ActivityObserver {
 public:
  virtual ~ActivityObserver() = default;

  // A background thread (the device worker): announced by the creating thread
  // before it starts the thread, cancelled when it could not be created; its
  // first and its last step.
  virtual void ThreadExpected() {}
  virtual void ThreadCancelled() {}
  virtual void ThreadBegins() {}
  virtual void ThreadEnds() {}

  // The event has just become signalled. Called with the event's lock held.
  virtual void Signalled(const AutoResetEvent& /*event*/) {}

  // Blocks the calling thread, which holds `lock`, on `changed` until
  // `signaled` is set or timeoutMs has passed (kInfinite: no limit). The plain
  // wait by the clock, unless an observer keeps its own accounts around it.
  virtual void Block(const AutoResetEvent& event, std::unique_lock<std::mutex>& lock,
                     std::condition_variable& changed, const bool& signaled,
                     std::uint32_t timeoutMs);
};

// The observer in force: the installed one, or one that only waits.
ActivityObserver& Activity();
// Installed once, before the first background thread starts, and kept for the
// rest of the process (a thread announced to one observer ends with it).
void InstallActivityObserver(ActivityObserver* observer);

// The plain wait of ActivityObserver::Block.
void BlockUntilSignaled(std::unique_lock<std::mutex>& lock, std::condition_variable& changed,
                        const bool& signaled, std::uint32_t timeoutMs);

}  // namespace platform
