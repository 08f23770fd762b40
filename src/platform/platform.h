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

// Changes the services in force for a scope and puts back the ones in force
// before when it ends: the tests' and the simulated runs' way to swap
// services. `change` gets a copy of the services in force to alter.
class ServicesScope {
 public:
  template <typename Change>
  explicit ServicesScope(Change change) : saved_(Os()) {
    Services services = saved_;
    change(services);
    Install(services);
  }
  ~ServicesScope() { Install(saved_); }
  ServicesScope(const ServicesScope&) = delete;
  ServicesScope& operator=(const ServicesScope&) = delete;

  // The services in force when the scope began.
  const Services& Saved() const { return saved_; }

 private:
  Services saved_;
};

}  // namespace platform
