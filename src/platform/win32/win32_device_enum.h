// The real device enumeration: platform::DeviceEnum forwarded 1:1 to SetupAPI,
// LocalAlloc/LocalFree and CharUpperBuffA.
#pragma once
#include "platform/device_enum.h"

namespace platform::win32 {

class Win32DeviceEnum : public DeviceEnum {
 public:
  Handle GetClassDevs(const Guid& classGuid, std::uint32_t flags) override;
  bool EnumDeviceInfo(Handle set, std::uint32_t index, DevInfoData* data) override;
  bool GetDeviceRegistryProperty(Handle set, DevInfoData* data, std::uint32_t property,
                                 std::uint8_t* buffer, std::uint32_t bufferSize,
                                 std::uint32_t* requiredSize) override;
  bool EnumDeviceInterfaces(Handle set, DevInfoData* data, const Guid& classGuid,
                            std::uint32_t index, DeviceInterfaceData* interfaceData) override;
  bool GetDeviceInterfaceDetail(Handle set, DeviceInterfaceData* interfaceData, void* detail,
                                std::uint32_t detailSize, std::uint32_t* requiredSize) override;
  bool DestroyDeviceInfoList(Handle set) override;
  void* AllocZeroed(std::size_t size) override;
  void Free(void* block) override;
  void UpperCaseAnsi(std::string* text) override;
};

// The one instance the program installs into platform::Os().devices.
DeviceEnum& TheWin32DeviceEnum();

}  // namespace platform::win32
