// Device enumeration shaped on the SetupAPI calls that device discovery makes:
// a device information set for an interface class, its members by index, their
// hardware-ID property, their first interface and its detail (device path).
// The structures have the layout of the build's own architecture, so their
// size fields are what the real calls expect (28/5 on 32-bit, 32/8 on 64-bit).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/os_types.h"

namespace platform {

constexpr std::uint32_t kDigcfPresent = 0x02;
constexpr std::uint32_t kDigcfDeviceInterface = 0x10;
constexpr std::uint32_t kSpdrpHardwareId = 0x01;

// SP_DEVINFO_DATA
struct DevInfoData {
  std::uint32_t cbSize;
  Guid classGuid;
  std::uint32_t devInst;
  std::uintptr_t reserved;
};

// SP_DEVICE_INTERFACE_DATA
struct DeviceInterfaceData {
  std::uint32_t cbSize;
  Guid interfaceClassGuid;
  std::uint32_t flags;
  std::uintptr_t reserved;
};

// SP_DEVICE_INTERFACE_DETAIL_DATA_A: a 32-bit size field followed by the
// zero-terminated path. Its fixed part is 5 bytes on 32-bit Windows (packed)
// and 8 on 64-bit Windows (aligned).
constexpr std::uint32_t kInterfaceDetailFixedSize = sizeof(void*) == 8 ? 8 : 5;
constexpr std::size_t kInterfaceDetailPathOffset = 4;

class DeviceEnum {
 public:
  virtual ~DeviceEnum() = default;

  // SetupDiGetClassDevsA(classGuid, nullptr, nullptr, flags); kInvalidHandle
  // on failure with the last error set.
  virtual Handle GetClassDevs(const Guid& classGuid, std::uint32_t flags) = 0;

  // SetupDiEnumDeviceInfo(set, index, data); data->cbSize must be set.
  virtual bool EnumDeviceInfo(Handle set, std::uint32_t index, DevInfoData* data) = 0;

  // SetupDiGetDeviceRegistryPropertyA(set, data, property, nullptr, buffer,
  // bufferSize, requiredSize). Fails with kErrorInsufficientBuffer (and the
  // size it needs) while the buffer is too small.
  virtual bool GetDeviceRegistryProperty(Handle set, DevInfoData* data,
                                         std::uint32_t property, std::uint8_t* buffer,
                                         std::uint32_t bufferSize,
                                         std::uint32_t* requiredSize) = 0;

  // SetupDiEnumDeviceInterfaces(set, data, classGuid, index, interfaceData).
  virtual bool EnumDeviceInterfaces(Handle set, DevInfoData* data, const Guid& classGuid,
                                    std::uint32_t index,
                                    DeviceInterfaceData* interfaceData) = 0;

  // SetupDiGetDeviceInterfaceDetailA(set, interfaceData, detail, detailSize,
  // requiredSize, nullptr). detail starts with the 32-bit size field.
  virtual bool GetDeviceInterfaceDetail(Handle set, DeviceInterfaceData* interfaceData,
                                        void* detail, std::uint32_t detailSize,
                                        std::uint32_t* requiredSize) = 0;

  // SetupDiDestroyDeviceInfoList(set).
  virtual bool DestroyDeviceInfoList(Handle set) = 0;

  // LocalAlloc(LPTR, size) / LocalFree: zero-filled memory, nullptr on failure.
  virtual void* AllocZeroed(std::size_t size) = 0;
  virtual void Free(void* block) = 0;

  // CharUpperBuffA: upper-cases a narrow string in place, multi-byte aware,
  // in the ANSI code page.
  virtual void UpperCaseAnsi(std::string* text) = 0;
};

}  // namespace platform
