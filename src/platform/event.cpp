// The auto-reset event. A wait that has to block goes through the activity
// observer, which the simulated machine uses to count blocked threads.
#include "platform/event.h"

#include "platform/activity_observer.h"

namespace platform {

void AutoResetEvent::Set() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (signaled_) return;
  signaled_ = true;
  Activity().Signalled(*this);
  changed_.notify_one();
}

WaitResult AutoResetEvent::Wait(std::uint32_t timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!signaled_ && timeoutMs != 0) Activity().Block(*this, lock, changed_, signaled_, timeoutMs);
  const bool got = signaled_;
  signaled_ = false;
  return got ? WaitResult::kSignaled : WaitResult::kTimeout;
}

}  // namespace platform
