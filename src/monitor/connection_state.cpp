// The shared connection state and the current application object.
#include "monitor/connection_state.h"

namespace {

// Constant-initialised, so theApp, a static object of another file, can set
// it while the program starts.
std::atomic<CConnectionState*> g_current{nullptr};

}  // namespace

CConnectionState* CConnectionState::Current() { return g_current.load(); }

void CConnectionState::SetCurrent(CConnectionState* app) { g_current.store(app); }
