// What the firmware loader and the programming sequence need of the main
// window: whether it still exists, its progress bar, the repaint of the area
// around the bar, its Exit button and its message boxes. The main window
// implements these; tests record them.
#pragma once
#include <string>

#include "platform/dialogs.h"

class ProgrammingWindow {
 public:
  virtual ~ProgrammingWindow() = default;

  // IsWindow of the main window.
  virtual bool WindowExists() = 0;
  // PBM_SETPOS to m_progress (range 0 to 100).
  virtual void SetProgressPos(int position) = 0;
  // InvalidateRect of m_rcProgress without erasing the background, then
  // UpdateWindow: the area around the bar is painted at once, although the
  // window's message loop does not run while programming.
  virtual void RepaintProgressArea() = 0;
  // EnableWindow of m_btnExit.
  virtual void EnableExit(bool enable) = 0;
  // AfxMessageBox: modal, caption the program's name; returns the answer.
  virtual int ShowMessage(const std::string& text, platform::BoxStyle style) = 0;
};
