// The activity observer in force and the plain wait.
#include "platform/activity_observer.h"

#include <atomic>
#include <chrono>

#include "platform/event.h"

namespace platform {
namespace {
std::atomic<ActivityObserver*> g_observer{nullptr};
}  // namespace

void ActivityObserver::Block(const AutoResetEvent& /*event*/, std::unique_lock<std::mutex>& lock,
                             std::condition_variable& changed, const bool& signaled,
                             std::uint32_t timeoutMs) {
  BlockUntilSignaled(lock, changed, signaled, timeoutMs);
}

ActivityObserver& Activity() {
  // Never destroyed: a worker may still wait on an event while the process
  // ends.
  static ActivityObserver* const plain = new ActivityObserver;
  ActivityObserver* observer = g_observer.load();
  return observer != nullptr ? *observer : *plain;
}

void InstallActivityObserver(ActivityObserver* observer) { g_observer.store(observer); }

void BlockUntilSignaled(std::unique_lock<std::mutex>& lock, std::condition_variable& changed,
                        const bool& signaled, std::uint32_t timeoutMs) {
  if (timeoutMs == kInfinite) {
    changed.wait(lock, [&signaled] { return signaled; });
    return;
  }
  changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&signaled] { return signaled; });
}

}  // namespace platform
