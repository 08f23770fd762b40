// Resetting the program's shared state.
#include "sim/desktop/program_reset.h"

#include <cstring>
#include <mutex>

#include "device/discovery.h"
#include "device/vendor_request.h"
#include "monitor/connection_state.h"
#include "ui/app.h"

namespace {

void ResetDeviceLink() {
  std::lock_guard<std::mutex> lock(RequestLock());
  g_hDevice = platform::kInvalidHandle;
  std::memset(&g_request, 0, sizeof g_request);
  std::memset(g_inBuffer, 0, sizeof g_inBuffer);
  std::memset(g_outBuffer, 0, sizeof g_outBuffer);
  g_bytesReturned = 0;
  g_largePages = false;
  g_deviceAbsent.store(0);
}

void ResetMonitor() {
  // A wait that does not block consumes a pending signal.
  g_evArrival.Wait(0);
  g_evRemoval.Wait(0);
  g_evWorkerDone.Wait(0);
  g_pMainDlg.store(nullptr);
}

void ResetApp() {
  theApp.m_nRfGroup.store(0);
  theApp.m_bConnected.store(0);
  theApp.m_bExit.store(0);
  theApp.m_b16Bands.store(0);
  theApp.m_nStartBand.store(13);
  theApp.m_pMainWnd.store(nullptr);
}

}  // namespace

void ResetProgramStateForTests() {
  ResetDeviceLink();
  g_devicePath.clear();
  ResetMonitor();
  ResetApp();
}
