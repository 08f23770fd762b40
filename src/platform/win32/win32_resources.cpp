// Forwards each resource call to Win32 on the module that started the process
// (a null module handle).
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include "platform/win32/win32_resources.h"

#include <windows.h>

namespace win32 {
namespace {
HRSRC ToHrsrc(platform::Resources::Found found) {
  return static_cast<HRSRC>(const_cast<void*>(found));
}
}  // namespace

platform::Resources::Found Win32Resources::Find(const char* type, int id) {
  return FindResourceA(nullptr, MAKEINTRESOURCEA(id), type);
}

platform::Resources::Loaded Win32Resources::Load(Found found) {
  return LoadResource(nullptr, ToHrsrc(found));
}

const std::uint8_t* Win32Resources::Lock(Loaded loaded) {
  return static_cast<const std::uint8_t*>(LockResource(const_cast<void*>(loaded)));
}

std::uint32_t Win32Resources::Size(Found found) { return SizeofResource(nullptr, ToHrsrc(found)); }

}  // namespace win32
