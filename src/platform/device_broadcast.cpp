// Building device-interface broadcast records and reading their names within
// the bounds the record and its sender give.
#include "platform/device_broadcast.h"

#include <algorithm>
#include <cstring>

namespace platform {
namespace {

void PutU32(std::vector<std::uint8_t>* bytes, std::size_t offset, std::uint32_t value) {
  std::memcpy(bytes->data() + offset, &value, sizeof value);
}

std::uint32_t GetU32(const std::uint8_t* bytes, std::size_t offset) {
  std::uint32_t value = 0;
  std::memcpy(&value, bytes + offset, sizeof value);
  return value;
}

}  // namespace

std::vector<std::uint8_t> BuildDeviceInterfaceBroadcast(const Guid& classGuid,
                                                        const std::string& name) {
  const std::size_t size =
      std::max(kDeviceInterfaceBroadcastSize, kBroadcastNameOffset + name.size() + 1);
  std::vector<std::uint8_t> record(size, 0);
  PutU32(&record, 0, static_cast<std::uint32_t>(size));
  PutU32(&record, 4, kDbtDevtypDeviceInterface);
  std::memcpy(record.data() + kBroadcastClassGuidOffset, &classGuid, sizeof classGuid);
  std::memcpy(record.data() + kBroadcastNameOffset, name.data(), name.size());
  return record;
}

bool ReadDeviceInterfaceName(const void* record, std::size_t size, std::string* name) {
  if (record == nullptr || size < kBroadcastHeaderSize) return false;
  const auto* bytes = static_cast<const std::uint8_t*>(record);
  if (GetU32(bytes, 4) != kDbtDevtypDeviceInterface) return false;
  const std::size_t limit = std::min<std::size_t>(size, GetU32(bytes, 0));
  if (limit <= kBroadcastNameOffset) return false;
  const std::uint8_t* start = bytes + kBroadcastNameOffset;
  const void* end = std::memchr(start, '\0', limit - kBroadcastNameOffset);
  if (end == nullptr) return false;  // the name runs past the record
  name->assign(reinterpret_cast<const char*>(start),
               static_cast<const std::uint8_t*>(end) - start);
  return true;
}

}  // namespace platform
