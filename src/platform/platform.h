// The one place where the running program finds its operating-system services.
// Each build installs its implementations at start: the real Win32 ones, the
// simulated machine, or a mix (the demo: real dialogs, simulated dongle).
#pragma once

namespace platform {

class DeviceIo;
class DeviceEnum;
class Resources;
class Graphics;
class DialogSystem;

struct Services {
  DeviceIo* io = nullptr;
  DeviceEnum* devices = nullptr;
  Resources* resources = nullptr;
  Graphics* graphics = nullptr;
  DialogSystem* dialogs = nullptr;
};

// The services in force. Set before any system code runs; not changed while
// threads of the system run. Never null: a service a build does not install
// is a null one (platform/null_services.h).
Services& Os();
void Install(const Services& services);

}  // namespace platform
