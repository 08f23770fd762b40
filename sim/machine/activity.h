// Knows whether the program's background threads have anything to do, so that
// a simulated desktop can tell "settled" (every background thread blocked on an
// event or on the user) from "still working". Background threads announce
// themselves and their waits on events through the activity observer that
// the simulated machine installs; message boxes mark them blocked.
#pragma once
#include <cstdint>
#include <functional>
#include <system_error>

namespace platform {
class AutoResetEvent;
}  // namespace platform

namespace platform::activity {

// Installs the observer that keeps these counts and virtual time (once per
// process; later calls change nothing). The headless desktop and the
// simulated machine call it when they are made.
void InstallActivityTracking();

// A background thread starts or ends (the device worker).
// ExpectBackgroundThread, called by the creating thread before it starts the
// thread, counts the new thread as running at once, so that nobody sees
// "settled" before it has begun; its BeginBackgroundThread then takes that
// count over instead of adding its own.
void ExpectBackgroundThread();
void CancelExpectedBackgroundThread();  // the thread could not be created
void BeginBackgroundThread();
void EndBackgroundThread();
bool IsBackgroundThread();

// Background threads that exist, and those of them that are running (not
// blocked on an event or waiting for the user).
int LiveBackgroundThreads();
int RunningBackgroundThreads();
// Waits until no background thread is left, at most timeoutMs. true when none is.
bool WaitForBackgroundEnd(std::uint32_t timeoutMs);
// The next thread the program starts is refused with `error` (even one whose
// code is 0), as a system without a thread to give refuses it.
void RefuseNextThread(std::error_code error);
// `hold` runs on a background thread each time its zero-time wait on `event`
// has taken the signal or found none, with the event free (nullptr: never).
void SetHoldAfterPoll(const AutoResetEvent* event, std::function<void()> hold);

// The calling background thread blocks on something outside itself, or
// resumes. Balanced calls; no effect on other threads.
void MarkBlocked();
void MarkRunning();
// A thread that wakes a blocked background thread counts it as running at
// once, so that nobody sees "settled" between the wake-up and its resumption.
void CreditWakeUp();

class BlockedScope {
 public:
  BlockedScope() { if (IsBackgroundThread()) MarkBlocked(); }
  ~BlockedScope() { if (IsBackgroundThread()) MarkRunning(); }
  BlockedScope(const BlockedScope&) = delete;
  BlockedScope& operator=(const BlockedScope&) = delete;
};

// Simulated time for background threads. When on, a timed wait of a
// background thread does not time out by the clock; it times out when
// ExpireTimedWaits is called. Makes scripted runs independent of timing.
void SetVirtualTime(bool on);
bool VirtualTime();
void ExpireTimedWaits();
std::uint64_t ExpiryGeneration();

// A background thread's timed wait under virtual time registers itself, so
// that the threads an expiry wakes count as running until they have resumed
// (they would otherwise look blocked between the expiry and their wake-up).
// BeginTimedWait returns the generation the wait belongs to; EndTimedWait is
// called after the thread counts as running again.
std::uint64_t BeginTimedWait();
void EndTimedWait(std::uint64_t generation);
int PendingExpiries();

// Every background thread is blocked and none is about to resume from an
// expired wait.
bool BackgroundSettled();

}  // namespace platform::activity
