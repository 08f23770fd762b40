// The auto-reset event. Its signal and its wait go through the activity
// observer, which the simulated machine uses to count blocked threads.
#include "platform/event.h"

#include "platform/activity_observer.h"

namespace platform {

void AutoResetEvent::Set() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (signaled_) return;
  Activity().Signal(*this, changed_, signaled_);
}

WaitResult AutoResetEvent::Wait(std::uint32_t timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  const bool got = Activity().Take(*this, lock, changed_, signaled_, timeoutMs);
  return got ? WaitResult::kSignaled : WaitResult::kTimeout;
}

}  // namespace platform
