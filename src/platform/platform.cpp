// Holds the operating-system services in force, and the GUID comparison.
#include "platform/platform.h"

#include <cstring>

#include "platform/null_services.h"
#include "platform/os_types.h"

namespace platform {
namespace {
// A function-local static: the services are there, null ones at first, for
// any static object that might reach them while the program starts.
Services& TheServices() {
  static Services services = WithNullServices(Services());
  return services;
}
}  // namespace

Services& Os() { return TheServices(); }
void Install(const Services& services) { TheServices() = WithNullServices(services); }

bool operator==(const Guid& a, const Guid& b) { return std::memcmp(&a, &b, sizeof(Guid)) == 0; }

}  // namespace platform
