// The shared connection state and the registration of the application object.
#include "monitor/connection_state.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace {
// The live application objects in order of construction; the last is the
// current one. Read through the atomic, changed under the mutex.
std::mutex g_appsMutex;
std::vector<CConnectionState*> g_apps;
std::atomic<CConnectionState*> g_currentApp{nullptr};
}  // namespace

std::atomic<CMonitorWindow*> g_pMainDlg{nullptr};
platform::AutoResetEvent g_evArrival;
platform::AutoResetEvent g_evRemoval;
platform::AutoResetEvent g_evWorkerDone;

CConnectionState::CConnectionState() {
  std::lock_guard<std::mutex> lock(g_appsMutex);
  g_apps.push_back(this);
  g_currentApp.store(this);
}

CConnectionState::~CConnectionState() {
  std::lock_guard<std::mutex> lock(g_appsMutex);
  g_apps.erase(std::remove(g_apps.begin(), g_apps.end(), this), g_apps.end());
  g_currentApp.store(g_apps.empty() ? nullptr : g_apps.back());
}

CConnectionState* CConnectionState::Current() { return g_currentApp.load(); }

void ResetMonitorState() {
  g_evArrival.Wait(0);
  g_evRemoval.Wait(0);
  g_evWorkerDone.Wait(0);
  g_pMainDlg.store(nullptr);
}
