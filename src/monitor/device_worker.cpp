// The device worker thread, its start and the shutdown handshake.
#include "monitor/device_worker.h"

#include <system_error>

#include "device/discovery.h"
#include "device/vendor_request.h"
#include "monitor/connection_state.h"
#include "monitor/device_notify.h"
#include "platform/activity_observer.h"
#include "platform/dialogs.h"
#include "platform/platform.h"

const char* const kReplugText = "Please Re-plug in your Tavrolin.\r\n";

void UpdateMainButtons() {
  if (CMonitorWindow* window = g_pMainDlg.load()) window->UpdateButtons();
}

namespace {

// Only the worker changes g_hDevice, so it may look without the request lock.
bool IsDeviceOpen() { return g_hDevice != platform::kInvalidHandle; }

// Each dongle's life: wait for its arrival, open it, read its RF settings, park until its removal.
// An arrival that finds m_bConnected set is dropped as a duplicate and a removal clears it, so the
// worker never sets it after a removal nor clears it over an arrival it has still to open.
class DeviceWorkerRun {
 public:
  explicit DeviceWorkerRun(CConnectionState* app) : app_(app), seen_(LatestDeviceNotice().serial) {}

  void Run() {
    g_pMainDlg.store(app_->m_pMainWnd.load());
    OpenDevice();
    while (!ExitRequested()) {
      if (IsDeviceOpen()) {
        MarkConnected();
      } else {
        if (!WaitForArrival()) continue;
        if (ExitRequested()) break;
        if (!OpenAfterArrival()) continue;
      }
      ReadRfSettings();
      ParkUntilRemoval();
    }
    g_evWorkerDone.Set();
  }

 private:
  bool ExitRequested() const { return app_->m_bExit.load() != 0; }

  // Connected unless announced removed since the open: that removal is pending, and the next
  // arrival must not be taken for a duplicate.
  void MarkConnected() {
    WithNoticesHeld([this] {
      if (!RemovedSince(LatestDeviceNotice())) app_->m_bConnected.store(1);
    });
    UpdateMainButtons();
  }

  // No dongle open: the buttons go off at every slice, except over an arrival
  // that has come in meanwhile and is still to be opened.
  void MarkDisconnected() {
    WithNoticesHeld([this] {
      if (!ArrivedSince(LatestDeviceNotice())) app_->m_bConnected.store(0);
    });
    UpdateMainButtons();
  }

  // true when an arrival came; false after a slice without one, or when the
  // dongle announced has been removed again before the worker got to it.
  bool WaitForArrival() {
    MarkDisconnected();
    if (g_evArrival.Wait(kArrivalWaitMs) != platform::WaitResult::kSignaled) return false;
    // Clear a removal left from the absence (it would end this dongle's connection) before reading
    // the notice: a removal handled earlier withdraws the arrival, a later one stays for the park,
    // and a shutdown's signal cleared here meets the exit test after.
    g_evRemoval.Wait(0);
    const DeviceNotice notice = LatestDeviceNotice();
    const bool withdrawn = RemovedSince(notice);
    seen_ = notice.serial;
    return !withdrawn;
  }

  // The latest notice came after the one the worker acted on last, and is a
  // removal, or an arrival.
  bool RemovedSince(const DeviceNotice& notice) const {
    return notice.serial != seen_ && !notice.arrival;
  }
  bool ArrivedSince(const DeviceNotice& notice) const {
    return notice.serial != seen_ && notice.arrival;
  }

  // Up to 1 + kMaxOpenRetries openings without pause, then the re-plug
  // message. false when no dongle came of it (or the program is ending).
  bool OpenAfterArrival() {
    OpenDevice();
    while (!IsDeviceOpen()) {
      // A removal handled since the arrival ends the attempts quietly.
      if (RemovedSince(LatestDeviceNotice()) || ExitRequested()) return false;
      if (++attempts_ > kMaxOpenRetries) {
        attempts_ = 0;
        platform::Os().dialogs->MessageBox(kReplugText, platform::BoxStyle::kWarning);
        return false;
      }
      OpenDevice();
    }
    MarkConnected();
    return true;
  }

  // One byte each, under the transport's lock beside the window's commands. A failed read is
  // kRfUnknown and only a marker of 3 means 16 bands, so the RF dialog never offers or writes a
  // value the dongle does not have.
  void ReadRfSettings() {
    app_->m_nRfGroup.store(ReadSetting(ADDR_RF_GROUP));
    app_->m_b16Bands.store(ReadSetting(ADDR_BAND_MARKER) == BAND_MARKER_16_BANDS ? 1 : 0);
    app_->m_nStartBand.store(ReadSetting(ADDR_START_BAND));
    if (app_->IsAdjRFWindowVisible()) app_->RefreshAdjRFBandList();
  }

  // The byte at `address`, sign-extended, or kRfUnknown when the read failed.
  static int ReadSetting(std::uint16_t address) {
    std::uint8_t byte = 0;
    if (ReadDeviceData(&byte, address, 1) != 0) return kRfUnknown;
    return static_cast<std::int8_t>(byte);
  }

  void ParkUntilRemoval() {
    attempts_ = 0;
    while (g_evRemoval.Wait(kRemovalWaitMs) != platform::WaitResult::kSignaled) {
    }
    CloseDevice();
  }

  CConnectionState* app_;
  // The failed openings since the last success or message; 0 to 11.
  int attempts_ = 0;
  // The serial of the latest notice the worker has acted on.
  std::uint32_t seen_;
};

}  // namespace

std::uint32_t DeviceWorker(CConnectionState* app) {
  DeviceWorkerRun(app).Run();
  return 0;
}

std::uint32_t StartWorker() {
  CConnectionState* app = CConnectionState::Current();
  if (app == nullptr) return 1;
  try {
    platform::Activity().StartThread([app] { DeviceWorker(app); });
  } catch (const std::system_error& error) {
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
