// The services in force before a build installs its own, and in place of any
// it leaves out: no device is there, no resource is found, no picture is
// drawn, no dialog is shown (running one fails, a message box answers 0), and
// work for the window thread runs at once. The rest of the code can then call
// every service without asking whether it is there.
#pragma once

#include "platform/platform.h"

namespace platform {

// Every field that is null replaced by its null service.
Services WithNullServices(Services services);

}  // namespace platform
