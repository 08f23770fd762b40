// The application object: brackets the whole run (graphics library up, the
// main window modally, the worker stopped, graphics library down) and carries
// the connection and RF state shared by the worker and the dialogs, and the
// one RF adjustment dialog.
#pragma once
#include <cstdint>

#include "monitor/connection_state.h"
#include "ui/adj_rf_dlg.h"

class CUItestApp : public CConnectionState {
 public:
  CUItestApp();
  ~CUItestApp() override;

  // Runs the program; always false, so no message loop of the framework's
  // own follows.
  bool InitInstance();

  bool IsAdjRFWindowVisible() override;
  void RefreshAdjRFBandList() override;

  // Back to the values of a fresh start, for a second run in one process.
  void ResetForNewRun();

  CAdjRFDlg m_dlgAdjRF;
};

extern CUItestApp theApp;
