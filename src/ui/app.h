// The application object: brackets the whole run (graphics library up, the
// main window modally, the worker stopped, graphics library down) and carries
// the connection and RF state shared by the worker and the dialogs, and the
// one RF adjustment dialog. The dialogs reach it as theApp and the main
// window through theApp.MainDialog(); the connection monitor reaches the same
// object as CConnectionState::Current() and the main window as g_pMainDlg.
#pragma once
#include <cstdint>

#include "monitor/connection_state.h"
#include "ui/adj_rf_dlg.h"

class CUpgradeDlg;

class CUItestApp : public CConnectionState {
 public:
  CUItestApp();
  ~CUItestApp() override;

  // Runs the program; always false, so no message loop of the framework's
  // own follows.
  bool InitInstance();

  bool IsAdjRFWindowVisible() override;
  void RefreshAdjRFBandList() override;

  // The main window while InitInstance runs it, else nullptr.
  CUpgradeDlg* MainDialog() const;

  CAdjRFDlg m_dlgAdjRF;
};

// Defined with the objects it needs before it (ui/program_objects.cpp).
extern CUItestApp theApp;
