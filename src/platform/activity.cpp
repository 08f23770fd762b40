// Counts of background threads and of those that are running.
#include "platform/activity.h"

#include <atomic>

namespace platform::activity {
namespace {
std::atomic<int> g_live{0};
std::atomic<int> g_running{0};
std::atomic<bool> g_virtualTime{false};
std::atomic<std::uint64_t> g_expiry{0};
thread_local bool t_background = false;
}  // namespace

void BeginBackgroundThread() {
  t_background = true;
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
void ExpireTimedWaits() { g_expiry.fetch_add(1); }
std::uint64_t ExpiryGeneration() { return g_expiry.load(); }

}  // namespace platform::activity
