// The shared connection state and the registration of the application object.
#include "monitor/connection_state.h"

namespace {
std::atomic<CConnectionState*> g_currentApp{nullptr};
}

std::atomic<CMonitorWindow*> g_pMainDlg{nullptr};
platform::AutoResetEvent g_evArrival;
platform::AutoResetEvent g_evRemoval;
platform::AutoResetEvent g_evWorkerDone;

CConnectionState::CConnectionState() : previous_(g_currentApp.exchange(this)) {}

CConnectionState::~CConnectionState() {
  CConnectionState* self = this;
  g_currentApp.compare_exchange_strong(self, previous_);
}

CConnectionState* CConnectionState::Current() { return g_currentApp.load(); }

void ResetMonitorState() {
  g_evArrival.Wait(0);
  g_evRemoval.Wait(0);
  g_evWorkerDone.Wait(0);
  g_pMainDlg.store(nullptr);
}
