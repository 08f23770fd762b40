// Counts of background threads and of those that are running.
#include "platform/activity.h"

#include <atomic>
#include <mutex>

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

}  // namespace platform::activity
