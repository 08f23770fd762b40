// Device I/O of the simulated machine: handles over one simulated dongle, the
// thread's last error and the system's error texts.
#include "sim/machine/sim_device_io.h"

namespace sim {
namespace {

thread_local std::uint32_t t_lastError = platform::kErrorSuccess;

struct ErrorText {
  std::uint32_t code;
  const char* text;
};

constexpr ErrorText kErrorTexts[] = {
    {sim::kErrorFileNotFound, "The system cannot find the file specified.\r\n"},
    {sim::kErrorInvalidHandle, "The handle is invalid.\r\n"},
    {platform::kErrorNotEnoughMemory, "Not enough memory is available to process this command.\r\n"},
    {platform::kErrorInvalidData, "The data is invalid.\r\n"},
    {platform::kErrorGenFailure, "A device attached to the system is not functioning.\r\n"},
    {sim::kErrorInvalidParameter, "The parameter is incorrect.\r\n"},
    {platform::kErrorInsufficientBuffer, "The data area passed to a system call is too small.\r\n"},
    {sim::kErrorNoMoreItems, "No more data is available.\r\n"},
    {platform::kErrorDeviceNotConnected, "The device is not connected.\r\n"},
};

}  // namespace

bool SystemErrorTextFor(std::uint32_t code, std::string* text) {
  for (const ErrorText& entry : kErrorTexts) {
    if (entry.code == code) {
      if (text != nullptr) *text = entry.text;
      return true;
    }
  }
  return false;
}

SimDeviceIo::SimDeviceIo(SimDongle& dongle) : dongle_(dongle) {}

platform::Handle SimDeviceIo::Open(const char* path) {
  if (path == nullptr) {
    t_lastError = sim::kErrorInvalidParameter;
    return platform::kInvalidHandle;
  }
  std::uint64_t generation = 0;
  std::uint32_t error = 0;
  if (!dongle_.Open(path, &generation, &error)) {
    t_lastError = error;
    return platform::kInvalidHandle;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  const platform::Handle handle = nextHandle_;
  nextHandle_ += 4;
  handles_[handle] = generation;
  return handle;
}

bool SimDeviceIo::Lookup(platform::Handle handle, std::uint64_t* generation) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = handles_.find(handle);
  if (found == handles_.end()) return false;
  *generation = found->second;
  return true;
}

bool SimDeviceIo::IoControl(platform::Handle handle, std::uint32_t code, const void* in,
                            std::uint32_t inSize, void* out, std::uint32_t outSize,
                            std::uint32_t* returned) {
  std::uint64_t generation = 0;
  if (!Lookup(handle, &generation)) {
    if (returned != nullptr) *returned = 0;
    t_lastError = sim::kErrorInvalidHandle;
    return false;
  }
  std::uint32_t error = 0;
  if (!dongle_.IoControl(generation, code, in, inSize, out, outSize, returned, &error)) {
    t_lastError = error;
    return false;
  }
  return true;
}

bool SimDeviceIo::Read(platform::Handle handle, void* buffer, std::uint32_t size,
                       std::uint32_t* read) {
  std::uint64_t generation = 0;
  if (!Lookup(handle, &generation)) {
    if (read != nullptr) *read = 0;
    t_lastError = sim::kErrorInvalidHandle;
    return false;
  }
  std::uint32_t error = 0;
  if (!dongle_.Read(generation, buffer, size, read, &error)) {
    t_lastError = error;
    return false;
  }
  return true;
}

bool SimDeviceIo::Close(platform::Handle handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (handles_.erase(handle) == 0) {
    t_lastError = sim::kErrorInvalidHandle;
    return false;
  }
  return true;
}

std::uint32_t SimDeviceIo::LastError() { return t_lastError; }

void SimDeviceIo::SetLastError(std::uint32_t code) { t_lastError = code; }

bool SimDeviceIo::SystemErrorText(std::uint32_t code, std::string* text) {
  return SystemErrorTextFor(code, text);
}

std::size_t SimDeviceIo::OpenHandles() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return handles_.size();
}

ScopedDeviceIo::ScopedDeviceIo(platform::DeviceIo* io)
    : scope_([io](platform::Services& services) { services.io = io; }) {}

}  // namespace sim
