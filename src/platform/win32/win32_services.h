// Puts the real Win32 services into platform::Os() at start-up.
#pragma once

namespace win32 {

// Installs every service that has a Win32 implementation (one object each,
// living for the rest of the run) and keeps whatever was installed for the
// others, so that a build can mix real and simulated services.
void InstallWin32DeviceServices();

// The device services above, and the dialog backend and graphics library:
// everything the program needs. Call on the program's main thread, which
// becomes the window thread.
void InstallWin32Services();

}  // namespace win32
