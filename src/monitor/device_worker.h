// The device worker: a background thread that opens the dongle when it is
// present, reads its RF settings into the application object and parks until
// the dongle is removed or the program ends; its start and its shutdown.
#pragma once
#include <cstdint>

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

// Starts DeviceWorker on a thread of its own (platform::Activity().StartThread)
// with the current application object (CConnectionState::Current()) as its
// parameter. The thread is detached: nothing joins it. 0 when it started; the
// system error code when it could not be created; 1 when there is no
// application object.
std::uint32_t StartWorker();

// The worker's body; returns its exit code, 0.
std::uint32_t DeviceWorker(CConnectionState* app);

// Called on the window thread after the main window has closed and m_bExit
// has been set. With a dongle connected: asks the worker to end and waits for
// it at most kShutdownWaitMs. Otherwise returns at once.
void ShutdownWorker();
