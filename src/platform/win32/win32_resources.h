// The program's own resources on real Windows: FindResourceA, LoadResource,
// LockResource and SizeofResource on the executable's module.
#pragma once
#include <cstdint>

#include "platform/resources.h"

namespace win32 {

class Win32Resources : public platform::Resources {
 public:
  Found Find(const char* type, int id) override;
  Loaded Load(Found found) override;
  const std::uint8_t* Lock(Loaded loaded) override;
  std::uint32_t Size(Found found) override;
};

}  // namespace win32
