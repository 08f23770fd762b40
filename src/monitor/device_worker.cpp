// The device worker thread, its start and the shutdown handshake.
#include "monitor/device_worker.h"

#include <atomic>
#include <chrono>
#include <system_error>
#include <thread>

#include "device/discovery.h"
#include "device/vendor_request.h"
#include "monitor/connection_state.h"
#include "platform/activity_observer.h"
#include "platform/dialogs.h"
#include "platform/platform.h"

const char* const kReplugText = "Please Re-plug in your Tavrolin.\r\n";

namespace {

std::atomic<int> g_workerThreads{0};

void UpdateMainButtons() {
  if (CMonitorWindow* window = g_pMainDlg.load()) window->UpdateButtons();
}

bool DeviceOpen() { return g_hDevice != platform::kInvalidHandle; }

}  // namespace

std::uint32_t DeviceWorker(CConnectionState* app) {
  // The failed openings since the last success or message; 0 to 11.
  std::uint8_t attempts = 0;
  // The one buffer of the three settings reads. A failed read leaves it as it
  // was, so its member gets the byte read last (0 before any success).
  std::uint8_t setting = 0;

  g_pMainDlg.store(app->m_pMainWnd.load());
  OpenDevice();
  while (app->m_bExit.load() == 0) {
    if (DeviceOpen()) {
      app->m_bConnected.store(1);
      UpdateMainButtons();
    } else {
      app->m_bConnected.store(0);
      UpdateMainButtons();
      if (g_evArrival.Wait(kArrivalWaitMs) != platform::WaitResult::kSignaled) continue;
      // A removal announced while no dongle was open (after failed openings,
      // or while waiting here) belongs to that absence: left pending, it
      // would end the connection of the dongle that has just arrived as soon
      // as its settings were read. A removal from now on is the new
      // dongle's. The exit test comes after, so that a shutdown signalled
      // before this point is still seen.
      g_evRemoval.Wait(0);
      if (app->m_bExit.load() != 0) break;
      OpenDevice();
      bool exitNow = false;
      while (!DeviceOpen()) {
        // A removal handled since the arrival ends the attempts quietly.
        if (app->m_bConnected.load() == 0) break;
        if (app->m_bExit.load() != 0) {
          exitNow = true;
          break;
        }
        if (++attempts > kMaxOpenRetries) {
          attempts = 0;
          platform::Os().dialogs->MessageBox(kReplugText, platform::BoxStyle::kWarning);
          break;
        }
        OpenDevice();
      }
      if (exitNow) break;
      if (!DeviceOpen()) continue;
      // An arrival handled between the handle test above and the clearing of
      // m_bConnected was overwritten by it; the dongle is open now, so say so
      // again and let the buttons show it.
      app->m_bConnected.store(1);
      UpdateMainButtons();
    }

    // Connected: the RF settings, one byte each. Their statuses are not
    // examined: a failed read leaves the byte read last in place. The
    // transport's request lock keeps these reads apart from a command the
    // window thread may have started meanwhile.
    (void)ReadDeviceData(&setting, ADDR_RF_GROUP, 1);
    app->m_nRfGroup.store(static_cast<std::int8_t>(setting));
    (void)ReadDeviceData(&setting, ADDR_BAND_MARKER, 1);
    app->m_b16Bands.store(setting == BAND_MARKER_16_BANDS ? 1 : 0);
    (void)ReadDeviceData(&setting, ADDR_START_BAND, 1);
    app->m_nStartBand.store(static_cast<std::int8_t>(setting));
    if (app->IsAdjRFWindowVisible()) app->RefreshAdjRFBandList();

    attempts = 0;
    while (g_evRemoval.Wait(kRemovalWaitMs) != platform::WaitResult::kSignaled) {
    }
    CloseDevice();
  }
  g_evWorkerDone.Set();
  return 0;
}

std::uint32_t StartWorker() {
  CConnectionState* app = CConnectionState::Current();
  if (app == nullptr) return 1;
  g_workerThreads.fetch_add(1);
  // The new thread counts as running from now on, so that nobody takes the
  // program for settled before the worker has made its first pass.
  platform::Activity().ThreadExpected();
  try {
    std::thread([app] {
      platform::Activity().ThreadBegins();
      DeviceWorker(app);
      platform::Activity().ThreadEnds();
      g_workerThreads.fetch_sub(1);
    }).detach();
  } catch (const std::system_error& error) {
    platform::Activity().ThreadCancelled();
    g_workerThreads.fetch_sub(1);
    return error.code().value() != 0 ? static_cast<std::uint32_t>(error.code().value()) : 1;
  }
  return 0;
}

void ShutdownWorker() {
  CConnectionState* app = CConnectionState::Current();
  if (app == nullptr || app->m_bConnected.load() == 0) return;
  app->m_bExit.store(1);
  g_evRemoval.Set();
  g_evWorkerDone.Wait(kShutdownWaitMs);
}

int WorkerThreadsAlive() { return g_workerThreads.load(); }

bool WaitForWorkerEnd(std::uint32_t timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (g_workerThreads.load() != 0) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
