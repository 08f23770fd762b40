// The kernel services the device link uses: open a device path, one device
// I/O control call, one synchronous read, close, the thread's last error and
// the system's text for an error code. Shaped 1:1 on the Win32 calls.
#pragma once
#include <cstdint>
#include <string>

#include "platform/os_types.h"

namespace platform {

class DeviceIo {
 public:
  virtual ~DeviceIo() = default;

  // CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
  // OPEN_EXISTING, 0, nullptr). kInvalidHandle on failure, last error set.
  virtual Handle Open(const char* path) = 0;

  // DeviceIoControl(handle, code, in, inSize, out, outSize, returned, nullptr).
  // false on failure, with the last error set.
  virtual bool IoControl(Handle handle, std::uint32_t code, const void* in,
                         std::uint32_t inSize, void* out, std::uint32_t outSize,
                         std::uint32_t* returned) = 0;

  // ReadFile(handle, buffer, size, read, nullptr), synchronous.
  virtual bool Read(Handle handle, void* buffer, std::uint32_t size,
                    std::uint32_t* read) = 0;

  // CloseHandle(handle).
  virtual bool Close(Handle handle) = 0;

  // GetLastError / SetLastError of the calling thread.
  virtual std::uint32_t LastError() = 0;
  virtual void SetLastError(std::uint32_t code) = 0;

  // FormatMessageA(FROM_SYSTEM | ALLOCATE_BUFFER | IGNORE_INSERTS, code,
  // language 0x400). false when the system has no text for the code.
  virtual bool SystemErrorText(std::uint32_t code, std::string* text) = 0;
};

}  // namespace platform
