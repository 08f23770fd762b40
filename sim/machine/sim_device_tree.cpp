// The simulated device tree. A GetClassDevs call takes a snapshot of the
// devices present, the dongle among them when it says it is plugged in; the
// other calls answer from that snapshot as SetupAPI answers from its set.
#include "sim/machine/sim_device_tree.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "sim/machine/system_errors.h"

namespace sim {
namespace {

constexpr std::uint32_t kSpintActive = 0x1;  // SPINT_ACTIVE

std::size_t Index(EnumCall call) { return static_cast<std::size_t>(call); }

std::string PropertyBytes(const SimUsbDevice& device) {
  if (device.rawHardwareIds) return *device.rawHardwareIds;
  return HardwareIdMultiString(device.hardwareIds);
}

bool HasProperty(const SimUsbDevice& device) {
  return device.rawHardwareIds.has_value() || !device.hardwareIds.empty();
}

}  // namespace

std::string HardwareIdMultiString(const std::vector<std::string>& ids) {
  std::string bytes;
  for (const std::string& id : ids) {
    bytes += id;
    bytes += '\0';
  }
  bytes += '\0';
  return bytes;
}

SimDeviceTree::SimDeviceTree(platform::DeviceIo* errors) : errors_(errors) {}

SimDeviceTree::~SimDeviceTree() {
  for (void* block : allocations_) std::free(block);
}

void SimDeviceTree::AddDevice(const SimUsbDevice& device) {
  std::lock_guard<std::mutex> lock(mutex_);
  devices_.push_back(device);
}

void SimDeviceTree::ClearDevices() {
  std::lock_guard<std::mutex> lock(mutex_);
  devices_.clear();
}

void SimDeviceTree::SetDongle(const SimUsbDevice& identity, std::function<bool()> present) {
  std::lock_guard<std::mutex> lock(mutex_);
  dongle_ = identity;
  donglePresent_ = std::move(present);
}

void SimDeviceTree::SetDonglePosition(std::size_t position) {
  std::lock_guard<std::mutex> lock(mutex_);
  donglePosition_ = position;
}

void SimDeviceTree::FailCall(EnumCall call, std::uint32_t error, int afterCalls, int times) {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_[Index(call)] = Fault{error, afterCalls, times};
}

void SimDeviceTree::FailAllocation(int afterAllocations, int times) {
  std::lock_guard<std::mutex> lock(mutex_);
  allocFault_ = Fault{platform::kErrorSuccess, afterAllocations, times};
}

void SimDeviceTree::ClearFaults() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (Fault& fault : faults_) fault = Fault{};
  allocFault_ = Fault{};
  growProperty_ = false;
}

void SimDeviceTree::GrowPropertyAtEachCall() {
  std::lock_guard<std::mutex> lock(mutex_);
  growProperty_ = true;
}

int SimDeviceTree::Calls(EnumCall call) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_[Index(call)];
}

std::vector<DetailRequest> SimDeviceTree::DetailRequests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return detailRequests_;
}

int SimDeviceTree::OpenSets() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(sets_.size());
}

int SimDeviceTree::LiveAllocations() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(allocations_.size());
}

int SimDeviceTree::BadFrees() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return badFrees_;
}

void SimDeviceTree::ResetCounters() {
  ClearFaults();
  std::lock_guard<std::mutex> lock(mutex_);
  std::fill(std::begin(calls_), std::end(calls_), 0);
  detailRequests_.clear();
  badFrees_ = 0;
}

bool SimDeviceTree::TakeFault(EnumCall call, std::uint32_t* error) {
  ++calls_[Index(call)];
  Fault& fault = faults_[Index(call)];
  if (fault.times == 0) return false;
  if (fault.skip > 0) {
    --fault.skip;
    return false;
  }
  if (fault.times > 0) --fault.times;
  *error = fault.error;
  return true;
}

bool SimDeviceTree::Fail(std::uint32_t error) {
  platform::DeviceIo* sink = errors_ != nullptr ? errors_ : platform::Os().io;
  if (sink != nullptr) sink->SetLastError(error);
  return false;
}

const SimDeviceTree::Snapshot* SimDeviceTree::CallOnSet(EnumCall call, platform::Handle set) {
  std::uint32_t error = 0;
  if (TakeFault(call, &error)) {
    Fail(error);
    return nullptr;
  }
  auto found = sets_.find(set);
  if (found == sets_.end()) {
    Fail(sim::kErrorInvalidHandle);
    return nullptr;
  }
  return &found->second;
}

// A DevInfoData names its device by the member number the tree put in its
// reserved field when it enumerated it.
const SimUsbDevice* SimDeviceTree::DeviceOf(const Snapshot& snapshot,
                                            const platform::DevInfoData* data) {
  if (data == nullptr || data->cbSize != sizeof(platform::DevInfoData)) {
    Fail(kErrorInvalidUserBuffer);
    return nullptr;
  }
  if (data->reserved == 0 || data->reserved > snapshot.size()) {
    Fail(sim::kErrorInvalidParameter);
    return nullptr;
  }
  return &snapshot[data->reserved - 1];
}

platform::Handle SimDeviceTree::GetClassDevs(const platform::Guid& classGuid,
                                             std::uint32_t flags) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::uint32_t error = 0;
  if (TakeFault(EnumCall::kGetClassDevs, &error)) {
    Fail(error);
    return platform::kInvalidHandle;
  }
  Snapshot snapshot;
  // Only interfaces of the USB device class exist in this tree.
  if ((flags & platform::kDigcfDeviceInterface) != 0 &&
      classGuid == platform::kGuidDevinterfaceUsbDevice) {
    snapshot = devices_;
    if (dongle_ && donglePresent_ && donglePresent_()) {
      const std::size_t at = std::min(donglePosition_, snapshot.size());
      snapshot.insert(snapshot.begin() + static_cast<std::ptrdiff_t>(at), *dongle_);
    }
  }
  const platform::Handle set = nextSet_++;
  sets_.emplace(set, std::move(snapshot));
  return set;
}

bool SimDeviceTree::EnumDeviceInfo(platform::Handle set, std::uint32_t index,
                                   platform::DevInfoData* data) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Snapshot* snapshot = CallOnSet(EnumCall::kEnumDeviceInfo, set);
  if (snapshot == nullptr) return false;
  if (data == nullptr || data->cbSize != sizeof(platform::DevInfoData)) {
    return Fail(kErrorInvalidUserBuffer);
  }
  if (index >= snapshot->size()) return Fail(sim::kErrorNoMoreItems);
  data->classGuid = kGuidDevclassUsb;
  data->devInst = 0x100 + index;
  data->reserved = static_cast<std::uintptr_t>(index) + 1;
  return true;
}

bool SimDeviceTree::GetDeviceRegistryProperty(platform::Handle set, platform::DevInfoData* data,
                                              std::uint32_t property, std::uint8_t* buffer,
                                              std::uint32_t bufferSize,
                                              std::uint32_t* requiredSize) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Snapshot* snapshot = CallOnSet(EnumCall::kGetDeviceRegistryProperty, set);
  if (snapshot == nullptr) return false;
  const SimUsbDevice* device = DeviceOf(*snapshot, data);
  if (device == nullptr) return false;
  if (buffer == nullptr && bufferSize != 0) return Fail(sim::kErrorInvalidParameter);
  // The tree keeps only the hardware-ID property; any other is absent.
  if (property != platform::kSpdrpHardwareId || !HasProperty(*device)) {
    return Fail(platform::kErrorInvalidData);
  }
  const std::string bytes = PropertyBytes(*device);
  auto needed = static_cast<std::uint32_t>(bytes.size());
  if (growProperty_) needed = std::max(needed, bufferSize + 1);
  if (requiredSize != nullptr) *requiredSize = needed;
  if (bufferSize < needed) return Fail(platform::kErrorInsufficientBuffer);
  std::memcpy(buffer, bytes.data(), bytes.size());
  return true;
}

bool SimDeviceTree::EnumDeviceInterfaces(platform::Handle set, platform::DevInfoData* data,
                                         const platform::Guid& classGuid, std::uint32_t index,
                                         platform::DeviceInterfaceData* interfaceData) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Snapshot* snapshot = CallOnSet(EnumCall::kEnumDeviceInterfaces, set);
  if (snapshot == nullptr) return false;
  if (interfaceData == nullptr || interfaceData->cbSize != sizeof(platform::DeviceInterfaceData)) {
    return Fail(kErrorInvalidUserBuffer);
  }
  if (classGuid != platform::kGuidDevinterfaceUsbDevice) return Fail(sim::kErrorNoMoreItems);

  // With a device: its interfaces (at most one). Without: every interface of
  // the set, in member order.
  std::size_t member = 0;
  if (data != nullptr) {
    const SimUsbDevice* device = DeviceOf(*snapshot, data);
    if (device == nullptr) return false;
    if (index != 0 || device->interfacePath.empty()) return Fail(sim::kErrorNoMoreItems);
    member = data->reserved - 1;
  } else {
    std::uint32_t seen = 0;
    for (member = 0; member < snapshot->size(); ++member) {
      if ((*snapshot)[member].interfacePath.empty()) continue;
      if (seen++ == index) break;
    }
    if (member == snapshot->size()) return Fail(sim::kErrorNoMoreItems);
  }
  interfaceData->interfaceClassGuid = classGuid;
  interfaceData->flags = kSpintActive;
  interfaceData->reserved = static_cast<std::uintptr_t>(member) + 1;
  return true;
}

bool SimDeviceTree::GetDeviceInterfaceDetail(platform::Handle set,
                                             platform::DeviceInterfaceData* interfaceData,
                                             void* detail, std::uint32_t detailSize,
                                             std::uint32_t* requiredSize) {
  std::lock_guard<std::mutex> lock(mutex_);
  DetailRequest request{detailSize, 0};
  if (detail != nullptr && detailSize >= sizeof(std::uint32_t)) {
    std::memcpy(&request.sizeField, detail, sizeof(std::uint32_t));
  }
  detailRequests_.push_back(request);
  const Snapshot* snapshot = CallOnSet(EnumCall::kGetDeviceInterfaceDetail, set);
  if (snapshot == nullptr) return false;
  if (interfaceData == nullptr || interfaceData->cbSize != sizeof(platform::DeviceInterfaceData)) {
    return Fail(kErrorInvalidUserBuffer);
  }
  if (interfaceData->reserved == 0 || interfaceData->reserved > snapshot->size()) {
    return Fail(sim::kErrorInvalidParameter);
  }
  const std::string& path = (*snapshot)[interfaceData->reserved - 1].interfacePath;
  if (detail == nullptr && detailSize != 0) return Fail(kErrorInvalidUserBuffer);
  if (detail != nullptr) {
    // The buffer must hold the size field and at least the path's terminator,
    // and the size field must hold the fixed part's size.
    if (detailSize < platform::kInterfaceDetailPathOffset + 1) return Fail(kErrorInvalidUserBuffer);
    if (request.sizeField != platform::kInterfaceDetailFixedSize) {
      return Fail(kErrorInvalidUserBuffer);
    }
  }
  const auto needed =
      static_cast<std::uint32_t>(platform::kInterfaceDetailPathOffset + path.size() + 1);
  if (requiredSize != nullptr) *requiredSize = needed;
  if (detail == nullptr || detailSize < needed) return Fail(platform::kErrorInsufficientBuffer);
  char* out = static_cast<char*>(detail) + platform::kInterfaceDetailPathOffset;
  std::memcpy(out, path.c_str(), path.size() + 1);
  return true;
}

bool SimDeviceTree::DestroyDeviceInfoList(platform::Handle set) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::uint32_t error = 0;
  if (TakeFault(EnumCall::kDestroyDeviceInfoList, &error)) return Fail(error);
  if (sets_.erase(set) == 0) return Fail(sim::kErrorInvalidHandle);
  return true;
}

void* SimDeviceTree::AllocZeroed(std::size_t size) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (allocFault_.times != 0) {
    if (allocFault_.skip > 0) {
      --allocFault_.skip;
    } else {
      // Says nothing of why, as an allocator need not: the program has to
      // name the failure itself rather than show an older call's error.
      if (allocFault_.times > 0) --allocFault_.times;
      return nullptr;
    }
  }
  if (size > kAllocationLimit) {
    Fail(platform::kErrorNotEnoughMemory);
    return nullptr;
  }
  void* block = std::calloc(size == 0 ? 1 : size, 1);
  if (block == nullptr) {
    Fail(platform::kErrorNotEnoughMemory);
    return nullptr;
  }
  allocations_.insert(block);
  return block;
}

void SimDeviceTree::Free(void* block) {
  if (block == nullptr) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (allocations_.erase(block) == 0) {
    ++badFrees_;  // not ours: counted, never handed to free()
    return;
  }
  std::free(block);
}

void SimDeviceTree::UpperCaseAnsi(std::string* text) {
  for (char& c : *text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
}

}  // namespace sim
