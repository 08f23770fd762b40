// The device-interface broadcast record (DEV_BROADCAST_DEVICEINTERFACE_A) that
// comes with WM_DEVICECHANGE and that registration for notifications takes as
// its filter: building one, and reading its name from untrusted bytes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/os_types.h"

namespace platform {

// Layout: dbcc_size, dbcc_devicetype, dbcc_reserved (u32 each; the first two
// are the DEV_BROADCAST_HDR every record starts with), dbcc_classguid, then
// the zero-terminated dbcc_name. The structure itself is 32 bytes.
constexpr std::size_t kBroadcastHeaderSize = 12;
constexpr std::size_t kBroadcastClassGuidOffset = 12;
constexpr std::size_t kBroadcastNameOffset = 28;
constexpr std::size_t kDeviceInterfaceBroadcastSize = 32;

// A record of type DBT_DEVTYP_DEVICEINTERFACE for `classGuid` and `name`; its
// size (and dbcc_size) covers the name and its terminator, and is at least
// the structure's 32 bytes. With an empty name: the registration filter.
std::vector<std::uint8_t> BuildDeviceInterfaceBroadcast(const Guid& classGuid,
                                                        const std::string& name);

// The name of a device-interface record. `size` is how many bytes at `record`
// may be read. false, and nothing read past the header, unless the record is
// of type DBT_DEVTYP_DEVICEINTERFACE and the name with its terminator lies
// inside both `size` and the record's own dbcc_size.
bool ReadDeviceInterfaceName(const void* record, std::size_t size, std::string* name);

}  // namespace platform
