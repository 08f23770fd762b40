// The simulated machine: wiring of dongle, device I/O and device tree, and
// the hot-plug announcements.
#include "sim/machine/sim_machine.h"

#include "platform/device_broadcast.h"
#include "platform/dialogs.h"
#include "platform/os_types.h"
#include "sim/machine/activity.h"
#include "sim/machine/device_change_sink.h"

namespace sim {

std::vector<std::string> DongleHardwareIds() {
  return {"USB\\VID_054C&PID_0268&REV_0100", "USB\\VID_054C&PID_0268"};
}

SimMachine::SimMachine(const SimDongleConfig& config)
    : dongle_(config), io_(dongle_), tree_(&io_) {
  // The program's waits on this machine are counted, and keep virtual time
  // when it is on.
  platform::activity::InstallActivityTracking();
  RefreshDongleIdentity();
  dongle_.SetOnUnplug([this] { Announce(platform::kDbtDeviceRemoveComplete); });
}

SimMachine::~SimMachine() {
  dongle_.SetOnUnplug(nullptr);
  Uninstall();
}

void SimMachine::Install() {
  if (installed_) return;
  saved_ = platform::Os();
  platform::Services services = saved_;
  services.io = &io_;
  services.devices = &tree_;
  platform::Install(services);
  installed_ = true;
}

void SimMachine::Uninstall() {
  if (!installed_) return;
  // Only the two services this machine put in; others may have changed since.
  platform::Services services = platform::Os();
  services.io = saved_.io;
  services.devices = saved_.devices;
  platform::Install(services);
  installed_ = false;
}

void SimMachine::Plug() {
  if (dongle_.IsPresent()) return;
  RefreshDongleIdentity();
  dongle_.Plug();
  Announce(platform::kDbtDeviceArrival);
}

void SimMachine::Unplug() {
  if (!dongle_.IsPresent()) return;
  dongle_.Unplug();
  Announce(platform::kDbtDeviceRemoveComplete);
}

void SimMachine::SetDeviceChangeHook(DeviceChangeHook hook) {
  std::lock_guard<std::mutex> lock(hookMutex_);
  hook_ = std::move(hook);
}

void SimMachine::RefreshDongleIdentity() {
  SimUsbDevice identity;
  identity.hardwareIds = DongleHardwareIds();
  identity.interfacePath = dongle_.InterfacePath();
  SimDongle* dongle = &dongle_;
  tree_.SetDongle(identity, [dongle] { return dongle->IsPresent(); });
}

std::vector<std::uint8_t> SimMachine::DongleRecord() const {
  return platform::BuildDeviceInterfaceBroadcast(platform::kGuidDevinterfaceUsbDevice,
                                                 dongle_.InterfacePath());
}

void SimMachine::Announce(std::uint32_t event) {
  const std::vector<std::uint8_t> record = DongleRecord();
  if (auto* sink = dynamic_cast<DeviceChangeSink*>(platform::Os().dialogs)) {
    sink->BroadcastDeviceChange(event, record);
    return;
  }
  DeviceChangeHook hook;
  {
    std::lock_guard<std::mutex> lock(hookMutex_);
    hook = hook_;
  }
  if (hook) hook(event, record);
}

}  // namespace sim
