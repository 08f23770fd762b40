// The application object and its run.
#include "ui/app.h"

#include "monitor/device_worker.h"
#include "platform/dialogs.h"
#include "platform/graphics.h"
#include "platform/platform.h"
#include "ui/upgrade_dlg.h"

CUItestApp::CUItestApp() = default;
CUItestApp::~CUItestApp() = default;

bool CUItestApp::InitInstance() {
  const std::uintptr_t token = platform::Os().graphics->Startup();
  {
    CUpgradeDlg dlg(nullptr);
    m_pMainWnd.store(&dlg);
    dlg.DoModal();
    m_bExit.store(1);
    ShutdownWorker();
    platform::Os().graphics->Shutdown(token);
    // The window object goes now; nothing may reach it through these.
    m_pMainWnd.store(nullptr);
    g_pMainDlg.store(nullptr);
  }
  return false;
}

// Asked from the worker thread: the dialog's window belongs to the window
// thread, so the question is put there.
bool CUItestApp::IsAdjRFWindowVisible() {
  bool visible = false;
  platform::Os().dialogs->RunOnWindowThread([this, &visible] {
    visible = m_dlgAdjRF.IsWindowVisible();
  });
  return visible;
}

void CUItestApp::RefreshAdjRFBandList() { m_dlgAdjRF.RefreshBandList(); }

void CUItestApp::ResetForNewRun() {
  m_nRfGroup.store(0);
  m_bConnected.store(0);
  m_bExit.store(0);
  m_b16Bands.store(0);
  m_nStartBand.store(13);
  m_pMainWnd.store(nullptr);
}
CUItestApp theApp;
