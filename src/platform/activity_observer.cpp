// The activity observer in force, the plain thread and the plain wait.
#include "platform/activity_observer.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/event.h"

namespace platform {
namespace {
std::atomic<ActivityObserver*> g_observer{nullptr};
}  // namespace

void ActivityObserver::StartThread(std::function<void()> body) {
  std::thread(std::move(body)).detach();
}

void ActivityObserver::Signal(const AutoResetEvent& /*event*/, std::condition_variable& changed,
                              bool& signaled) {
  signaled = true;
  changed.notify_one();
}

bool ActivityObserver::Take(const AutoResetEvent& /*event*/, std::unique_lock<std::mutex>& lock,
                            std::condition_variable& changed, bool& signaled,
                            std::uint32_t timeoutMs) {
  if (!signaled && timeoutMs != 0) BlockUntilSignaled(lock, changed, signaled, timeoutMs);
  const bool got = signaled;
  signaled = false;
  return got;
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
