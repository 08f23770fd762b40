// The application object and its run.
#include "ui/app.h"

#include "monitor/device_worker.h"
#include "platform/dialogs.h"
#include "platform/graphics.h"
#include "platform/platform.h"
#include "ui/upgrade_dlg.h"

CUItestApp::CUItestApp() { SetCurrent(this); }

CUItestApp::~CUItestApp() { SetCurrent(nullptr); }

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

// InitInstance stores nothing but its CUpgradeDlg there.
CUpgradeDlg* CUItestApp::MainDialog() const {
  return static_cast<CUpgradeDlg*>(m_pMainWnd.load());
}
