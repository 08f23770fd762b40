// The demo build's services: the real Win32 ones, except that the device side
// is the simulated machine and the dialog backend also carries the simulated
// dongle's arrivals and removals to the windows, standing in for the system's
// WM_DEVICECHANGE broadcast. Linked into the demo and its Wine tests only,
// never into TavrolinUpgrade.exe. Free of <windows.h>.
#pragma once
#include <memory>

#include "platform/dialogs.h"

namespace sim {

class SimMachine;

// The Win32 dialog backend that is also the simulated machine's
// DeviceChangeSink. Make it on the window thread.
std::unique_ptr<platform::DialogSystem> MakeDemoDialogSystem();

// Installs the Win32 services with the demo's dialog backend, then the demo's
// simulated machine (sim::InstallDemoMachine), and returns the machine. Call
// on the program's main thread, which becomes the window thread.
SimMachine& InstallDemoServices();

}  // namespace sim
