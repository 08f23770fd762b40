// Auto-reset event with the bookkeeping that keeps "settled" honest: a
// background thread blocked here counts as blocked, and the thread that wakes
// it counts it as running again before the wake-up is visible.
#include "platform/event.h"

#include <chrono>

#include "platform/activity.h"

namespace platform {
namespace {
constexpr auto kVirtualPoll = std::chrono::milliseconds(5);
}

void AutoResetEvent::Set() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (signaled_) return;
  signaled_ = true;
  if (trackedWaiters_ > 0 && !credited_) {
    credited_ = true;
    activity::CreditWakeUp();
  }
  changed_.notify_one();
}

WaitResult AutoResetEvent::Wait(std::uint32_t timeoutMs) {
  const bool tracked = activity::IsBackgroundThread();
  std::unique_lock<std::mutex> lock(mutex_);
  if (signaled_) {
    signaled_ = false;
    return WaitResult::kSignaled;
  }
  if (timeoutMs == 0) return WaitResult::kTimeout;
  if (tracked) {
    ++trackedWaiters_;
    activity::MarkBlocked();
  }
  const bool virtualTime = tracked && activity::VirtualTime() && timeoutMs != kInfinite;
  const auto generation =
      virtualTime ? activity::BeginTimedWait() : activity::ExpiryGeneration();
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!signaled_) {
    if (timeoutMs == kInfinite) {
      changed_.wait(lock);
    } else if (virtualTime) {
      if (activity::ExpiryGeneration() != generation) break;
      changed_.wait_for(lock, kVirtualPoll);
    } else if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) {
      break;
    }
  }
  const bool got = signaled_;
  if (got) signaled_ = false;
  if (tracked) {
    --trackedWaiters_;
    if (got && credited_) {
      credited_ = false;  // the setter already counted this thread as running
    } else {
      activity::MarkRunning();
    }
    if (virtualTime) activity::EndTimedWait(generation);
  }
  return got ? WaitResult::kSignaled : WaitResult::kTimeout;
}

}  // namespace platform
