// The simulated machine: one simulated dongle, the device I/O over it and the
// device tree it shows up in, installed as the system's services, with
// hot-plugging that announces arrivals and removals as the system does.
#pragma once
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sim/machine/sim_device_io.h"
#include "sim/machine/sim_device_tree.h"
#include "sim/machine/sim_dongle.h"

namespace sim {

// The hardware IDs the dongle reports: those of a PlayStation 3 controller.
std::vector<std::string> DongleHardwareIds();

class SimMachine {
 public:
  // Receives the announcements when no dialog backend is installed: the
  // WM_DEVICECHANGE event (DBT_DEVICEARRIVAL, DBT_DEVICEREMOVECOMPLETE) and
  // the DEV_BROADCAST_DEVICEINTERFACE_A record.
  using DeviceChangeHook =
      std::function<void(std::uint32_t event, const std::vector<std::uint8_t>& record)>;

  explicit SimMachine(const SimDongleConfig& config = SimDongleConfig());
  // Uninstalls if installed.
  ~SimMachine();
  SimMachine(const SimMachine&) = delete;
  SimMachine& operator=(const SimMachine&) = delete;

  SimDongle& Dongle() { return dongle_; }
  SimDeviceIo& Io() { return io_; }
  SimDeviceTree& Devices() { return tree_; }

  // Puts the device I/O and the device tree into platform::Os(), keeping the
  // other services; Uninstall puts back the services in force before.
  void Install();
  void Uninstall();

  // Hot-plug. Plug() and Unplug() change the dongle's presence and announce
  // the change; a call that changes nothing announces nothing. An unplug the
  // dongle causes itself (an injected fault) is announced too. Announcements
  // go to the installed dialog backend when it is a DeviceChangeSink, or,
  // otherwise, to the hook.
  void Plug();
  void Unplug();
  void SetDeviceChangeHook(DeviceChangeHook hook);

  // The record announcing the dongle's interface.
  std::vector<std::uint8_t> DongleRecord() const;

 private:
  // The dongle's identity in the tree, taken from the dongle.
  void RefreshDongleIdentity();
  void Announce(std::uint32_t event);

  SimDongle dongle_;
  SimDeviceIo io_;
  SimDeviceTree tree_;
  std::mutex hookMutex_;
  DeviceChangeHook hook_;
  bool installed_ = false;
  platform::Services saved_;
};

}  // namespace sim
