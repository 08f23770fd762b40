// Entry point of TavrolinUpgrade-demo.exe: the program of
// src/platform/win32/program/main.cpp with the simulated machine, a dongle
// plugged in, for its device side (I/O, enumeration, arrival and removal).
#include <windows.h>

#include "sim/demo/demo_services.h"
#include "sim/machine/system_errors.h"
#include "ui/program.h"

// The simulated machine fails its calls with the codes Windows gives.
static_assert(sim::kErrorFileNotFound == ERROR_FILE_NOT_FOUND &&
                  sim::kErrorInvalidHandle == ERROR_INVALID_HANDLE &&
                  sim::kErrorInvalidParameter == ERROR_INVALID_PARAMETER &&
                  sim::kErrorNoMoreItems == ERROR_NO_MORE_ITEMS,
              "the system error codes the simulated machine gives");

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  sim::InstallDemoServices();
  const int code = RunProgram();
  // As the program does: the device worker ends with the process.
  ExitProcess(static_cast<UINT>(code));
}
