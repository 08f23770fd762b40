// Entry point of TavrolinUpgrade.exe: the real Windows services, then the
// program.
#include <windows.h>

#include "platform/win32/win32_services.h"
#include "ui/program.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  win32::InstallWin32Services();
  const int code = RunProgram();
  // The device worker may still be waiting for a dongle; it ends with the
  // process, as the platform ends it, rather than meet objects that static
  // destruction has already taken down.
  ExitProcess(static_cast<UINT>(code));
}
