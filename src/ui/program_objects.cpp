// The program's static objects that come in a fixed order: the connection
// monitor's three events and its main-window pointer, then the application
// object, whose run and whose worker use them. One file, because only within
// one file does the language fix the order of construction (and, reversed, of
// destruction) of such objects.
#include "monitor/connection_state.h"
#include "ui/app.h"

platform::AutoResetEvent g_evArrival;
platform::AutoResetEvent g_evRemoval;
platform::AutoResetEvent g_evWorkerDone;
std::atomic<CMonitorWindow*> g_pMainDlg{nullptr};

CUItestApp theApp;
