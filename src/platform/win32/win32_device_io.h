// The kernel services of the device link on real Windows: CreateFileA,
// DeviceIoControl, ReadFile, CloseHandle, the thread's last error and
// FormatMessageA, each forwarded as it is.
#pragma once
#include <cstdint>
#include <string>

#include "platform/device_io.h"

namespace win32 {

class Win32DeviceIo : public platform::DeviceIo {
 public:
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
};

}  // namespace win32
