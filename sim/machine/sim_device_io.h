// The kernel's device I/O services over one simulated dongle: opening its
// interface path, control calls and descriptor reads on handles, closing, the
// thread's last error and the system's error texts.
#pragma once
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "platform/device_io.h"
#include "platform/platform.h"
#include "sim/machine/services_scope.h"
#include "sim/machine/sim_dongle.h"
#include "sim/machine/system_errors.h"

namespace sim {

// The system's text for the error codes the system meets (2, 6, 8, 13, 31,
// 87, 122, 259, 1167), each ending in "\r\n"; false for any other code.
bool SystemErrorTextFor(std::uint32_t code, std::string* text);

// Handles: Open succeeds while the dongle is present and the path equals its
// interface path, compared case-insensitively as Windows does; each open
// gives a new, larger handle number. Calls on a closed or unknown handle fail
// with kErrorInvalidHandle. A handle belongs to the device object it was
// opened on: after an unplug its calls fail with kErrorDeviceNotConnected,
// and keep failing after a re-plug (the re-plugged dongle is a new device
// object; the system must close the handle and open a new one). Open fails
// with kErrorFileNotFound when the dongle is absent or the path differs.
// The last error is kept per thread, shared by all instances, as on Windows;
// successful calls leave it unchanged.
class SimDeviceIo : public platform::DeviceIo {
 public:
  explicit SimDeviceIo(SimDongle& dongle);

  platform::Handle Open(const char* path) override;
  bool IoControl(platform::Handle handle, std::uint32_t code, const void* in,
                 std::uint32_t inSize, void* out, std::uint32_t outSize,
                 std::uint32_t* returned) override;
  bool Read(platform::Handle handle, void* buffer, std::uint32_t size,
            std::uint32_t* read) override;
  bool Close(platform::Handle handle) override;
  std::uint32_t LastError() override;
  void SetLastError(std::uint32_t code) override;
  bool SystemErrorText(std::uint32_t code, std::string* text) override;

  SimDongle& Dongle() { return dongle_; }
  std::size_t OpenHandles() const;

 private:
  bool Lookup(platform::Handle handle, std::uint64_t* generation) const;

  SimDongle& dongle_;
  mutable std::mutex mutex_;
  std::map<platform::Handle, std::uint64_t> handles_;  // open handle -> device object
  platform::Handle nextHandle_ = 0x40;
};

// Installs a DeviceIo into platform::Os() for a scope and puts back the
// services that were in force before.
class ScopedDeviceIo {
 public:
  explicit ScopedDeviceIo(platform::DeviceIo* io);

 private:
  platform::ServicesScope scope_;
};

}  // namespace sim
