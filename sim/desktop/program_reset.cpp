// Resetting the program's shared state.
#include "sim/desktop/program_reset.h"

#include "device/discovery.h"
#include "device/vendor_request.h"
#include "monitor/connection_state.h"
#include "ui/app.h"

namespace {

// The transport's record and buffers need no reset: each request overwrites
// the bytes the dongle acts on, and each call brings its own reply.
void ResetDeviceLink() {
  static_cast<void>(ExchangeDeviceHandle(platform::kInvalidHandle));  // an open one is not closed
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
