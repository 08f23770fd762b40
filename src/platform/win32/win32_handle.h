// Conversion between a Win32 HANDLE and the portable platform::Handle. The
// value is kept bit for bit, so INVALID_HANDLE_VALUE is kInvalidHandle.
#pragma once
#include <windows.h>

#include "platform/os_types.h"

namespace win32 {

static_assert(sizeof(HANDLE) == sizeof(platform::Handle), "a handle fits the portable type");

inline platform::Handle FromWin32(HANDLE handle) {
  return reinterpret_cast<platform::Handle>(handle);
}

inline HANDLE ToWin32(platform::Handle handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace win32
