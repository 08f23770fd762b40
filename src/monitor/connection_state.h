// The connection state the worker thread and the window thread share: the
// three auto-reset events, the main-window pointer g_pMainDlg, and the flags
// and RF settings kept in the application object, whose base class is here.
#pragma once
#include <atomic>

#include "platform/event.h"

// The window operations the connection monitor needs from the main window
// (CUpgradeDlg implements it). Called from the worker thread as well as the
// window thread: the implementation hands the work to the window thread and
// returns when it has run (platform::Os().dialogs->RunOnWindowThread).
class CMonitorWindow {
 public:
  // Enables the Upgrade and Adjust RF buttons when m_bConnected of the
  // application object is set, disables them otherwise.
  virtual void UpdateButtons() = 0;

 protected:
  ~CMonitorWindow() = default;
};

// The connection monitor's part of the application object (theApp is the
// current one while it lives). The flags are written by both threads, hence atomics.
class CConnectionState {
 public:
  CConnectionState() = default;
  virtual ~CConnectionState() = default;
  CConnectionState(const CConnectionState&) = delete;
  CConnectionState& operator=(const CConnectionState&) = delete;

  // RF hopping group, from data address 21; the RF dialog sets it after a
  // verified change.
  std::atomic<int> m_nRfGroup{0};
  // A dongle counts as connected; drives the Upgrade and Adjust RF buttons.
  std::atomic<int> m_bConnected{0};
  // The worker must end.
  std::atomic<int> m_bExit{0};
  // The dongle offers 16 starting bands (0-15) instead of 13 (0-12).
  std::atomic<int> m_b16Bands{0};
  // RF starting band, from data address 449; 13 until the first reading.
  std::atomic<int> m_nStartBand{13};
  // The main window; InitInstance stores it before the modal run, and the
  // worker takes it as g_pMainDlg when it starts.
  std::atomic<CMonitorWindow*> m_pMainWnd{nullptr};

  // The RF adjustment dialog (m_dlgAdjRF of the application). Called from the
  // worker thread after each settings read: whether its window is visible
  // (false while the dialog is not open), and the refresh of its lists from
  // the members above, handed to the window thread and waited for.
  virtual bool IsAdjRFWindowVisible() = 0;
  virtual void RefreshAdjRFBandList() = 0;

  // The current application object, or nullptr when there is none.
  static CConnectionState* Current();
  static void SetCurrent(CConnectionState* app);
};

// The main window, published by the worker as its first step; null until
// then. Read by the notification routines and the version dialog.
extern std::atomic<CMonitorWindow*> g_pMainDlg;

// Auto-reset, created not signalled; nothing resets them by hand. Defined
// with theApp, before it (ui/program_objects.cpp).
extern platform::AutoResetEvent g_evArrival;     // a matching interface arrived
extern platform::AutoResetEvent g_evRemoval;     // removed, or the worker must end
extern platform::AutoResetEvent g_evWorkerDone;  // the worker has ended
