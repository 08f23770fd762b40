// The device worker: a background thread that opens the dongle when it is
// present, reads its RF settings into the application object and parks until
// the dongle is removed or the program ends; its start and its shutdown.
#pragma once
#include <cstdint>
#include <functional>

#include "device/retry_policy.h"

class CConnectionState;

// Waits of the worker: for an arrival, in slices after each of which it
// disables the buttons again; for the removal, in short slices.
constexpr std::uint32_t kArrivalWaitMs = 1000;
constexpr std::uint32_t kRemovalWaitMs = 50;
// How long ShutdownWorker waits for the worker to end.
constexpr std::uint32_t kShutdownWaitMs = 50;

extern const char* const kReplugText;  // "Please Re-plug in your Tavrolin.\r\n"

// m_nRfGroup or m_nStartBand after a failed read of it: a value no list
// entry has, so the RF dialog selects nothing and writes whatever is chosen,
// and no byte read gives (bytes are sign-extended), so it is never mistaken
// for what the dongle held and written back.
constexpr int kRfUnknown = -256;

// UpdateButtons on g_pMainDlg. The pointer is null until the worker has
// started (and stays null if it never does); the flags and events are all
// there is to update then.
void UpdateMainButtons();

// Starts DeviceWorker on a thread of its own with the current application
// object (CConnectionState::Current()) as its parameter. The thread is
// detached: nothing joins it. 0 when it started; nonzero when it could not be
// created or there is no application object.
std::uint32_t StartWorker();

// StartWorker with the thread made by `startThread`, which runs its argument
// on a new thread and throws std::system_error when the system has none to
// give (as the std::thread constructor does). StartWorker passes one that
// makes a std::thread.
using ThreadStarter = std::function<void(std::function<void()>)>;
std::uint32_t StartWorkerWith(const ThreadStarter& startThread);

// The worker's body; returns its exit code, 0.
std::uint32_t DeviceWorker(CConnectionState* app);

// Called on the window thread after the main window has closed and m_bExit
// has been set. With a dongle connected: asks the worker to end and waits for
// it at most kShutdownWaitMs. Otherwise returns at once.
void ShutdownWorker();

// For tests that hold the worker between two of its steps: `hook` runs on
// the worker thread each time an arrival has woken it, after it has cleared
// the removal signal left from the absence before and before it reads the
// latest notice. Set while no worker runs; empty (none) by default.
void SetArrivalTakenHook(std::function<void()> hook);

// Worker threads started and not yet ended (the worker's very last step).
int WorkerThreadsAlive();
// For tests and orderly tear-down: waits until no worker thread is left, at
// most timeoutMs. true when none is left.
bool WaitForWorkerEnd(std::uint32_t timeoutMs);
