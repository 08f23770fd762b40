// Counts of background threads and of those that are running, and the
// activity observer that keeps them.
#include "sim/machine/activity.h"

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

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

bool WaitForBackgroundEnd(std::uint32_t timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (g_live.load() != 0) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

namespace {
std::mutex g_hookMutex;
std::optional<std::error_code> g_refusal;
const AutoResetEvent* g_holdEvent = nullptr;
std::function<void()> g_hold;
}  // namespace

void RefuseNextThread(std::error_code error) {
  std::lock_guard<std::mutex> lock(g_hookMutex);
  g_refusal = error;
}

void SetHoldAfterPoll(const AutoResetEvent* event, std::function<void()> hold) {
  std::lock_guard<std::mutex> lock(g_hookMutex);
  g_holdEvent = event;
  g_hold = std::move(hold);
}
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
  // The new thread counts as running from before its start, so that nobody
  // takes the program for settled before it has made its first pass.
  void StartThread(std::function<void()> body) override {
    ExpectBackgroundThread();
    try {
      std::optional<std::error_code> refusal;
      {
        std::lock_guard<std::mutex> lock(g_hookMutex);
        std::swap(refusal, g_refusal);
      }
      if (refusal) throw std::system_error(*refusal);
      ActivityObserver::StartThread([body = std::move(body)] {
        BeginBackgroundThread();
        body();
        EndBackgroundThread();
      });
    } catch (const std::system_error&) {
      CancelExpectedBackgroundThread();
      throw;
    }
  }

  void Signal(const AutoResetEvent& event, std::condition_variable& changed,
              bool& signaled) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto found = events_.find(&event);
      if (found != events_.end() && found->second.blocked != 0 && !found->second.credited) {
        found->second.credited = true;
        CreditWakeUp();
      }
    }
    ActivityObserver::Signal(event, changed, signaled);
  }

  bool Take(const AutoResetEvent& event, std::unique_lock<std::mutex>& lock,
            std::condition_variable& changed, bool& signaled, std::uint32_t timeoutMs) override {
    if (!IsBackgroundThread() || signaled || timeoutMs == 0) {
      const bool got = ActivityObserver::Take(event, lock, changed, signaled, timeoutMs);
      if (timeoutMs == 0 && IsBackgroundThread()) HoldAfterPoll(event, lock);
      return got;
    }
    Block(event, lock, changed, signaled, timeoutMs);
    const bool got = signaled;
    signaled = false;
    return got;
  }

 private:
  static void HoldAfterPoll(const AutoResetEvent& event, std::unique_lock<std::mutex>& lock) {
    std::function<void()> hold;
    {
      std::lock_guard<std::mutex> hookLock(g_hookMutex);
      if (g_holdEvent == &event) hold = g_hold;
    }
    if (!hold) return;
    lock.unlock();
    hold();
    lock.lock();
  }

  void Block(const AutoResetEvent& event, std::unique_lock<std::mutex>& lock,
             std::condition_variable& changed, const bool& signaled, std::uint32_t timeoutMs) {
    if (VirtualTime() && timeoutMs != kInfinite) {
      // Counted among the timed waits before it counts as blocked: once it
      // does, the program may be taken for settled and its time moved on, and
      // an expiry then must not miss this wait.
      const std::uint64_t generation = BeginTimedWait();
      Blocked(event);
      while (!signaled && ExpiryGeneration() == generation) changed.wait_for(lock, kVirtualPoll);
      Resumed(event, signaled);
      EndTimedWait(generation);  // only once the thread counts as running again
    } else {
      Blocked(event);
      BlockUntilSignaled(lock, changed, signaled, timeoutMs);
      Resumed(event, signaled);
    }
  }

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
