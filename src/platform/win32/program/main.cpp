// Entry point of TavrolinUpgrade.exe and of its demo build. The program uses
// the real Windows services; the demo swaps in the simulated machine with a
// dongle plugged in for its device side (I/O, enumeration, arrival and removal)
// and is the same program in every other respect.
#include <windows.h>

#include "platform/win32/win32_services.h"
#include "ui/program.h"

#ifdef TAV_DEMO
#include "sim/machine/demo_machine.h"
#endif

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  win32::InstallWin32Services();
#ifdef TAV_DEMO
  sim::InstallDemoMachine();
#endif
  const int code = RunProgram();
  // The device worker may still be waiting for a dongle; it ends with the
  // process, as the platform ends it, rather than meet objects that static
  // destruction has already taken down.
  ExitProcess(static_cast<UINT>(code));
}
