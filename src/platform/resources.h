// The program's own resources: find one by type and integer id, load it, lock
// it for its bytes, and ask its size (FindResourceA, LoadResource,
// LockResource, SizeofResource on the program's own module).
#pragma once
#include <cstdint>

namespace platform {

class Resources {
 public:
  virtual ~Resources() = default;
  using Found = const void*;   // HRSRC
  using Loaded = const void*;  // HGLOBAL

  virtual Found Find(const char* type, int id) = 0;          // nullptr: none
  virtual Loaded Load(Found found) = 0;                      // nullptr: failed
  virtual const std::uint8_t* Lock(Loaded loaded) = 0;       // nullptr: failed
  virtual std::uint32_t Size(Found found) = 0;               // 0: failed
};

}  // namespace platform
