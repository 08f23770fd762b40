// Holds the operating-system services in force, and the GUID comparison.
#include "platform/platform.h"

#include <cstring>

#include "platform/os_types.h"

namespace platform {
namespace {
Services g_services;
}

Services& Os() { return g_services; }
void Install(const Services& services) { g_services = services; }

bool operator==(const Guid& a, const Guid& b) { return std::memcmp(&a, &b, sizeof(Guid)) == 0; }

}  // namespace platform
