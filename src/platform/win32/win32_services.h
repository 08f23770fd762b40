// Puts the real Win32 services into platform::Os() at start-up.
#pragma once

namespace win32 {

// Installs every service that has a Win32 implementation (one object each,
// living for the rest of the run) and keeps whatever was installed for the
// others, so that a build can mix real and simulated services.
void InstallWin32DeviceServices();

}  // namespace win32
