// The committed resource files (res/), embedded into the simulated machine as
// byte arrays by a source the build generates at configure time
// (cmake/embed_resources.cmake).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

struct EmbeddedResource {
  const char* type;  // "MYBIN", "PNG"
  int id;
  const std::uint8_t* bytes;
  std::size_t size;
};

// Every embedded file, in the order the build lists them.
std::vector<EmbeddedResource> EmbeddedResources();

}  // namespace sim
