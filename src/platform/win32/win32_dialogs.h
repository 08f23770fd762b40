// The Win32 dialog backend and graphics library: real dialogs from the .rc
// templates, MessageBoxA, GDI+ through its flat interface. Free of
// <windows.h>, so the program's start-up code can make them.
#pragma once
#include <memory>

#include "platform/dialogs.h"
#include "platform/graphics.h"

namespace win32 {

// Make on the window thread (the program's main thread): hand-overs from other
// threads are sent to a message-only window it creates there.
std::unique_ptr<platform::DialogSystem> MakeDialogSystem();
std::unique_ptr<platform::Graphics> MakeGraphics();

}  // namespace win32
