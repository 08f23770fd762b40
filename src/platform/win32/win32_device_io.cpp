// Forwards each device I/O call to the Win32 function of the same shape.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include "platform/win32/win32_device_io.h"

#include <windows.h>

#include "platform/win32/win32_handle.h"

namespace win32 {

static_assert(sizeof(DWORD) == sizeof(std::uint32_t), "DWORD is 32 bits");
static_assert(platform::kErrorNotEnoughMemory == ERROR_NOT_ENOUGH_MEMORY &&
                  platform::kErrorInvalidData == ERROR_INVALID_DATA &&
                  platform::kErrorGenFailure == ERROR_GEN_FAILURE &&
                  platform::kErrorInsufficientBuffer == ERROR_INSUFFICIENT_BUFFER &&
                  platform::kErrorDeviceNotConnected == ERROR_DEVICE_NOT_CONNECTED,
              "the system error codes the program names");

platform::Handle Win32DeviceIo::Open(const char* path) {
  return FromWin32(CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr));
}

bool Win32DeviceIo::IoControl(platform::Handle handle, std::uint32_t code, const void* in,
                              std::uint32_t inSize, void* out, std::uint32_t outSize,
                              std::uint32_t* returned) {
  // The count goes through a DWORD of our own: without an OVERLAPPED the
  // system requires somewhere to write it.
  DWORD count = 0;
  const BOOL ok = DeviceIoControl(ToWin32(handle), code, const_cast<void*>(in), inSize, out,
                                  outSize, &count, nullptr);
  if (returned != nullptr) *returned = count;
  return ok != FALSE;
}

bool Win32DeviceIo::Read(platform::Handle handle, void* buffer, std::uint32_t size,
                         std::uint32_t* read) {
  DWORD count = 0;
  const BOOL ok = ReadFile(ToWin32(handle), buffer, size, &count, nullptr);
  if (read != nullptr) *read = count;
  return ok != FALSE;
}

bool Win32DeviceIo::Close(platform::Handle handle) { return CloseHandle(ToWin32(handle)) != FALSE; }

std::uint32_t Win32DeviceIo::LastError() { return GetLastError(); }

void Win32DeviceIo::SetLastError(std::uint32_t code) { ::SetLastError(code); }

bool Win32DeviceIo::SystemErrorText(std::uint32_t code, std::string* text) {
  // With FORMAT_MESSAGE_ALLOCATE_BUFFER the buffer argument receives the
  // address of a block the system allocated; it is released with LocalFree.
  char* block = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&block),
      0, nullptr);
  if (length == 0 || block == nullptr) return false;
  text->assign(block, length);
  LocalFree(block);
  return true;
}

}  // namespace win32
