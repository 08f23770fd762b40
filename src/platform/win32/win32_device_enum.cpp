// SetupAPI device enumeration behind platform::DeviceEnum. Each function only
// forwards and translates types; the structures are the SDK's own layout, which
// the asserts below pin down for the build's architecture.
#include "platform/win32/win32_device_enum.h"

#include <windows.h>
#include <setupapi.h>

#include <cstddef>

namespace win32 {
using platform::DevInfoData;
using platform::DeviceInterfaceData;
using platform::Guid;
using platform::Handle;
using platform::kInterfaceDetailFixedSize;
using platform::kInterfaceDetailPathOffset;

namespace {

static_assert(sizeof(DevInfoData) == sizeof(SP_DEVINFO_DATA), "DevInfoData is SP_DEVINFO_DATA");
static_assert(offsetof(DevInfoData, classGuid) == offsetof(SP_DEVINFO_DATA, ClassGuid), "layout");
static_assert(offsetof(DevInfoData, devInst) == offsetof(SP_DEVINFO_DATA, DevInst), "layout");
static_assert(offsetof(DevInfoData, reserved) == offsetof(SP_DEVINFO_DATA, Reserved), "layout");
static_assert(sizeof(DeviceInterfaceData) == sizeof(SP_DEVICE_INTERFACE_DATA),
              "DeviceInterfaceData is SP_DEVICE_INTERFACE_DATA");
static_assert(offsetof(DeviceInterfaceData, interfaceClassGuid) ==
                  offsetof(SP_DEVICE_INTERFACE_DATA, InterfaceClassGuid), "layout");
static_assert(offsetof(DeviceInterfaceData, flags) == offsetof(SP_DEVICE_INTERFACE_DATA, Flags),
              "layout");
static_assert(offsetof(DeviceInterfaceData, reserved) ==
                  offsetof(SP_DEVICE_INTERFACE_DATA, Reserved), "layout");
static_assert(kInterfaceDetailFixedSize == sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A),
              "the detail size field holds the SDK structure's size");
static_assert(kInterfaceDetailPathOffset == offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath),
              "the path follows the size field");
// The sizes SetupAPI checks in cbSize, as each Windows architecture has them:
// the 32-bit detail structure is packed, so its fixed part is 5 bytes there.
#if defined(_WIN64)
static_assert(sizeof(SP_DEVINFO_DATA) == 32 && sizeof(SP_DEVICE_INTERFACE_DATA) == 32 &&
                  sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 8 && kInterfaceDetailFixedSize == 8,
              "the 64-bit SetupAPI sizes");
#else
static_assert(sizeof(SP_DEVINFO_DATA) == 28 && sizeof(SP_DEVICE_INTERFACE_DATA) == 28 &&
                  sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 5 && kInterfaceDetailFixedSize == 5,
              "the 32-bit SetupAPI sizes");
#endif
static_assert(sizeof(Guid) == sizeof(GUID), "GUID");
static_assert(platform::kDigcfPresent == DIGCF_PRESENT &&
                  platform::kDigcfDeviceInterface == DIGCF_DEVICEINTERFACE &&
                  platform::kSpdrpHardwareId == SPDRP_HARDWAREID,
              "SetupAPI flags");
static_assert(sizeof(Handle) == sizeof(HDEVINFO), "a device information set fits a Handle");

HDEVINFO ToSet(Handle set) { return reinterpret_cast<HDEVINFO>(set); }
const GUID* ToGuid(const Guid& guid) { return reinterpret_cast<const GUID*>(&guid); }
PSP_DEVINFO_DATA ToInfo(DevInfoData* data) { return reinterpret_cast<PSP_DEVINFO_DATA>(data); }
PSP_DEVICE_INTERFACE_DATA ToInterface(DeviceInterfaceData* data) {
  return reinterpret_cast<PSP_DEVICE_INTERFACE_DATA>(data);
}

}  // namespace

Handle Win32DeviceEnum::GetClassDevs(const Guid& classGuid, std::uint32_t flags) {
  HDEVINFO set = SetupDiGetClassDevsA(ToGuid(classGuid), nullptr, nullptr, flags);
  return reinterpret_cast<Handle>(set);
}

bool Win32DeviceEnum::EnumDeviceInfo(Handle set, std::uint32_t index, DevInfoData* data) {
  return SetupDiEnumDeviceInfo(ToSet(set), index, ToInfo(data)) != FALSE;
}

bool Win32DeviceEnum::GetDeviceRegistryProperty(Handle set, DevInfoData* data,
                                                std::uint32_t property, std::uint8_t* buffer,
                                                std::uint32_t bufferSize,
                                                std::uint32_t* requiredSize) {
  DWORD required = 0;
  const BOOL ok = SetupDiGetDeviceRegistryPropertyA(ToSet(set), ToInfo(data), property, nullptr,
                                                    buffer, bufferSize, &required);
  if (requiredSize != nullptr) *requiredSize = required;
  return ok != FALSE;
}

bool Win32DeviceEnum::EnumDeviceInterfaces(Handle set, DevInfoData* data, const Guid& classGuid,
                                           std::uint32_t index,
                                           DeviceInterfaceData* interfaceData) {
  return SetupDiEnumDeviceInterfaces(ToSet(set), ToInfo(data), ToGuid(classGuid), index,
                                     ToInterface(interfaceData)) != FALSE;
}

bool Win32DeviceEnum::GetDeviceInterfaceDetail(Handle set, DeviceInterfaceData* interfaceData,
                                               void* detail, std::uint32_t detailSize,
                                               std::uint32_t* requiredSize) {
  DWORD required = 0;
  const BOOL ok = SetupDiGetDeviceInterfaceDetailA(
      ToSet(set), ToInterface(interfaceData),
      static_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(detail), detailSize, &required, nullptr);
  if (requiredSize != nullptr) *requiredSize = required;
  return ok != FALSE;
}

bool Win32DeviceEnum::DestroyDeviceInfoList(Handle set) {
  return SetupDiDestroyDeviceInfoList(ToSet(set)) != FALSE;
}

void* Win32DeviceEnum::AllocZeroed(std::size_t size) { return LocalAlloc(LPTR, size); }

void Win32DeviceEnum::Free(void* block) { LocalFree(block); }

void Win32DeviceEnum::UpperCaseAnsi(std::string* text) {
  if (text->empty()) return;
  CharUpperBuffA(&(*text)[0], static_cast<DWORD>(text->size()));
}

}  // namespace win32
