// Entry point of TavrolinUpgrade-demo.exe: the program of
// src/platform/win32/program/main.cpp with the simulated machine, a dongle
// plugged in, for its device side (I/O, enumeration, arrival and removal).
#include <windows.h>

#include "sim/demo/demo_services.h"
#include "ui/program.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  sim::InstallDemoServices();
  const int code = RunProgram();
  // As the program does: the device worker ends with the process.
  ExitProcess(static_cast<UINT>(code));
}
