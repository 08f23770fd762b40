// Counts of background threads and of those that are running, and the
// activity observer that keeps them.
#include "sim/machine/activity.h"

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>

#include "platform/activity_observer.h"
#include "platform/event.h"

namespace platform::activity {
namespace {
std::atomic<int> g_live{0};
std::atomic<int> g_running{0};
std::atomic<bool> g_virtualTime{false};
std::atomic<std::uint64_t> g_expiry{0};
thread_local bool t_background = false;

std::mutex g_timedMutex;
int g_currentTimedWaits = 0;  // waits of the current generation
int g_expiredTimedWaits = 0;  // waits of an older generation, not yet ended
}  // namespace

std::atomic<int> g_expected{0};  // announced threads that have not begun yet

void ExpectBackgroundThread() {
  g_expected.fetch_add(1);
  g_running.fetch_add(1);
  g_live.fetch_add(1);
}

void CancelExpectedBackgroundThread() {
  g_expected.fetch_sub(1);
  g_running.fetch_sub(1);
  g_live.fetch_sub(1);
}

void BeginBackgroundThread() {
  t_background = true;
  int expected = g_expected.load();
  while (expected > 0) {
    if (g_expected.compare_exchange_weak(expected, expected - 1)) return;
  }
  g_running.fetch_add(1);
  g_live.fetch_add(1);
}

void EndBackgroundThread() {
  t_background = false;
  g_running.fetch_sub(1);
  g_live.fetch_sub(1);
}

bool IsBackgroundThread() { return t_background; }
int LiveBackgroundThreads() { return g_live.load(); }
int RunningBackgroundThreads() { return g_running.load(); }
void MarkBlocked() { g_running.fetch_sub(1); }
void MarkRunning() { g_running.fetch_add(1); }
void CreditWakeUp() { g_running.fetch_add(1); }

void SetVirtualTime(bool on) { g_virtualTime.store(on); }
bool VirtualTime() { return g_virtualTime.load(); }
void ExpireTimedWaits() {
  std::lock_guard<std::mutex> lock(g_timedMutex);
  g_expiredTimedWaits += g_currentTimedWaits;
  g_currentTimedWaits = 0;
  g_expiry.fetch_add(1);
}

std::uint64_t ExpiryGeneration() { return g_expiry.load(); }

std::uint64_t BeginTimedWait() {
  std::lock_guard<std::mutex> lock(g_timedMutex);
  ++g_currentTimedWaits;
  return g_expiry.load();
}

void EndTimedWait(std::uint64_t generation) {
  std::lock_guard<std::mutex> lock(g_timedMutex);
  if (generation == g_expiry.load()) {
    --g_currentTimedWaits;
  } else {
    --g_expiredTimedWaits;
  }
}

int PendingExpiries() {
  std::lock_guard<std::mutex> lock(g_timedMutex);
  return g_expiredTimedWaits;
}

// Pending expiries first: a thread leaves them only after it counts as
// running, so this order never misses a thread between the two.
bool BackgroundSettled() { return PendingExpiries() == 0 && RunningBackgroundThreads() == 0; }

namespace {

constexpr auto kVirtualPoll = std::chrono::milliseconds(5);

// Background threads blocked in an event's wait, and whether the thread that
// set the event has already counted the woken one as running again.
struct EventWaiters {
  int blocked = 0;
  bool credited = false;
};

// A background thread blocked on an event counts as blocked; the thread that
// wakes it counts it as running again before the wake-up is visible, so that
// nobody sees "settled" in between. Under virtual time its timed waits end
// when ExpireTimedWaits is called, not by the clock.
class Tracking : public ActivityObserver {
 public:
  void ThreadExpected() override { ExpectBackgroundThread(); }
  void ThreadCancelled() override { CancelExpectedBackgroundThread(); }
  void ThreadBegins() override { BeginBackgroundThread(); }
  void ThreadEnds() override { EndBackgroundThread(); }

  void Signalled(const AutoResetEvent& event) override {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = events_.find(&event);
    if (found == events_.end() || found->second.blocked == 0 || found->second.credited) return;
    found->second.credited = true;
    CreditWakeUp();
  }

  void Block(const AutoResetEvent& event, std::unique_lock<std::mutex>& lock,
             std::condition_variable& changed, const bool& signaled,
             std::uint32_t timeoutMs) override {
    if (!IsBackgroundThread()) {
      BlockUntilSignaled(lock, changed, signaled, timeoutMs);
      return;
    }
    Blocked(event);
    if (VirtualTime() && timeoutMs != kInfinite) {
      const std::uint64_t generation = BeginTimedWait();
      while (!signaled && ExpiryGeneration() == generation) changed.wait_for(lock, kVirtualPoll);
      Resumed(event, signaled);
      EndTimedWait(generation);  // only once the thread counts as running again
    } else {
      BlockUntilSignaled(lock, changed, signaled, timeoutMs);
      Resumed(event, signaled);
    }
  }

 private:
  void Blocked(const AutoResetEvent& event) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++events_[&event].blocked;
    }
    MarkBlocked();
  }

  void Resumed(const AutoResetEvent& event, bool signaled) {
    std::lock_guard<std::mutex> lock(mutex_);
    EventWaiters& waiters = events_[&event];
    --waiters.blocked;
    if (signaled && waiters.credited) {
      waiters.credited = false;  // the setter already counted this thread as running
    } else {
      MarkRunning();
    }
    if (waiters.blocked == 0 && !waiters.credited) events_.erase(&event);
  }

  std::mutex mutex_;
  std::map<const AutoResetEvent*, EventWaiters> events_;
};

}  // namespace

void InstallActivityTracking() {
  // Never destroyed: a worker may still wait on an event while the process
  // ends.
  static Tracking* const tracking = new Tracking;
  InstallActivityObserver(tracking);
}

}  // namespace platform::activity
