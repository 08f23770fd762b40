// The real device enumeration: platform::DeviceEnum forwarded 1:1 to SetupAPI,
// LocalAlloc/LocalFree and CharUpperBuffA.
#pragma once
#include "platform/device_enum.h"

namespace win32 {

class Win32DeviceEnum : public platform::DeviceEnum {
 public:
  platform::Handle GetClassDevs(const platform::Guid& classGuid, std::uint32_t flags) override;
  bool EnumDeviceInfo(platform::Handle set, std::uint32_t index,
                      platform::DevInfoData* data) override;
  bool GetDeviceRegistryProperty(platform::Handle set, platform::DevInfoData* data,
                                 std::uint32_t property, std::uint8_t* buffer,
                                 std::uint32_t bufferSize, std::uint32_t* requiredSize) override;
  bool EnumDeviceInterfaces(platform::Handle set, platform::DevInfoData* data,
                            const platform::Guid& classGuid, std::uint32_t index,
                            platform::DeviceInterfaceData* interfaceData) override;
  bool GetDeviceInterfaceDetail(platform::Handle set, platform::DeviceInterfaceData* interfaceData,
                                void* detail, std::uint32_t detailSize,
                                std::uint32_t* requiredSize) override;
  bool DestroyDeviceInfoList(platform::Handle set) override;
  void* AllocZeroed(std::size_t size) override;
  void Free(void* block) override;
  void UpperCaseAnsi(std::string* text) override;
};

}  // namespace win32
