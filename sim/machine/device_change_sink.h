// Where the simulated machine announces a device arrival or removal: the
// dialog backend in force when it is one of the simulator's (the headless
// desktop, or the demo's real dialogs), standing in for the system's
// WM_DEVICECHANGE broadcast. The real program's dialogs never need it.
#pragma once
#include <cstdint>
#include <vector>

namespace sim {

class DeviceChangeSink {
 public:
  // The record is delivered as WM_DEVICECHANGE to every window registered for
  // device notifications (the demo: every window of the window thread, where
  // the others leave it alone), on the window thread, without blocking the caller.
  virtual void BroadcastDeviceChange(std::uint32_t event,
                                     const std::vector<std::uint8_t>& record) = 0;

 protected:
  ~DeviceChangeSink() = default;
};

}  // namespace sim
