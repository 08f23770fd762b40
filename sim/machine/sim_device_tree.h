// The simulated machine's device tree: the USB devices present, each with its
// hardware IDs and interface path, enumerated through platform::DeviceEnum with
// the size protocols, size-field checks and error codes of the SetupAPI calls.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/device_enum.h"
#include "platform/device_io.h"

namespace sim {

// ERROR_INVALID_USER_BUFFER: what the SetupAPI calls answer when a structure's
// size field does not hold the size of the structure they expect.
constexpr std::uint32_t kErrorInvalidUserBuffer = 1784;

// GUID_DEVCLASS_USB {36FC9E60-C465-11CF-8056-444553540000}: the setup class the
// tree reports for its devices.
constexpr platform::Guid kGuidDevclassUsb = {
    0x36FC9E60, 0xC465, 0x11CF, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

// One present USB device.
struct SimUsbDevice {
  // The hardware-ID property, as a list; empty: the device has no such property
  // (the read fails with ERROR_INVALID_DATA).
  std::vector<std::string> hardwareIds;
  // When set, the property's exact bytes instead of the list (for malformed
  // multi-strings: no final terminator, no terminator at all).
  std::optional<std::string> rawHardwareIds;
  // Path of its interface of the USB device class; empty: no such interface.
  std::string interfacePath;
};

// The calls of the enumeration, for fault injection and counting.
enum class EnumCall {
  kGetClassDevs,
  kEnumDeviceInfo,
  kGetDeviceRegistryProperty,
  kEnumDeviceInterfaces,
  kGetDeviceInterfaceDetail,
  kDestroyDeviceInfoList,
};
constexpr std::size_t kEnumCallKinds = 6;

// One call of GetDeviceInterfaceDetail as it arrived.
struct DetailRequest {
  std::uint32_t bufferSize;  // the size argument
  std::uint32_t sizeField;   // the structure's size field (0 without a buffer)
};

class SimDeviceTree : public platform::DeviceEnum {
 public:
  static constexpr int kAlways = -1;
  // Allocations above this size fail, as they would on a real machine long
  // before; it keeps an absurd size from a faulty caller from exhausting memory.
  static constexpr std::size_t kAllocationLimit = 64u << 20;

  // Failed calls set their error code as the last error of `errors` (the
  // machine's device I/O), where the system reads it; nullptr: platform::Os().io.
  explicit SimDeviceTree(platform::DeviceIo* errors = nullptr);
  ~SimDeviceTree() override;
  SimDeviceTree(const SimDeviceTree&) = delete;
  SimDeviceTree& operator=(const SimDeviceTree&) = delete;

  // Devices other than the simulated dongle, in enumeration order.
  void AddDevice(const SimUsbDevice& device);
  void ClearDevices();

  // The simulated dongle: listed in every snapshot taken while `present` says
  // it is plugged in (asked once per GetClassDevs), at the dongle's position
  // among the other devices: 0 first, past the last (the default) at the end.
  void SetDongle(const SimUsbDevice& identity, std::function<bool()> present);
  void SetDonglePosition(std::size_t position);

  // The next calls of a kind succeed `afterCalls` times, then fail with `error`
  // `times` times (kAlways: until ClearFaults).
  void FailCall(EnumCall call, std::uint32_t error, int afterCalls = 0, int times = 1);
  // The next allocations succeed `afterAllocations` times, then fail, leaving
  // the last error as it was.
  void FailAllocation(int afterAllocations = 0, int times = 1);
  // The hardware-ID property asks for one byte more than each buffer it gets,
  // as a property that grows between calls would (until ClearFaults).
  void GrowPropertyAtEachCall();
  void ClearFaults();

  // What happened: calls per kind, detail requests, sets not destroyed,
  // allocations not freed, frees of blocks the tree never handed out.
  int Calls(EnumCall call) const;
  std::vector<DetailRequest> DetailRequests() const;
  int OpenSets() const;
  int LiveAllocations() const;
  int BadFrees() const;
  // Forgets counts, faults and detail requests (not devices or open sets).
  void ResetCounters();

  // platform::DeviceEnum
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
  // ASCII upper-casing: a-z become A-Z, every other byte stays. Hardware IDs
  // and interface paths are ASCII, so this is what CharUpperBuffA does to them
  // in any ANSI code page.
  void UpperCaseAnsi(std::string* text) override;

 private:
  struct Fault {
    std::uint32_t error = 0;
    int skip = 0;
    int times = 0;  // 0: no fault armed
  };
  using Snapshot = std::vector<SimUsbDevice>;

  // Counts the call and consumes an armed fault; true: the call must fail
  // with *error.
  bool TakeFault(EnumCall call, std::uint32_t* error);
  bool Fail(std::uint32_t error);  // sets the last error, returns false
  // The start of a call on a device information set: counted, an armed fault
  // taken, the set found; nullptr (the last error set) when the call fails.
  const Snapshot* CallOnSet(EnumCall call, platform::Handle set);
  // The device a DevInfoData of the set names, or nullptr (error already set).
  const SimUsbDevice* DeviceOf(const Snapshot& snapshot, const platform::DevInfoData* data);

  mutable std::mutex mutex_;
  platform::DeviceIo* errors_;
  std::vector<SimUsbDevice> devices_;
  std::optional<SimUsbDevice> dongle_;
  std::function<bool()> donglePresent_;
  std::size_t donglePosition_ = static_cast<std::size_t>(-1);
  std::map<platform::Handle, Snapshot> sets_;
  platform::Handle nextSet_ = 0x5E70;
  Fault faults_[kEnumCallKinds];
  Fault allocFault_;
  bool growProperty_ = false;
  int calls_[kEnumCallKinds] = {};
  std::vector<DetailRequest> detailRequests_;
  std::set<void*> allocations_;
  int badFrees_ = 0;
};

// The hardware-ID multi-string of a device: each ID with its terminator, then
// the empty string that ends the list.
std::string HardwareIdMultiString(const std::vector<std::string>& ids);

}  // namespace sim
