// Device discovery: the SetupAPI walk over the present USB devices that finds
// the dongle by hardware ID and takes its interface path, opening and closing
// that path, the descriptor check, and the enumeration failure box.
#include "device/discovery.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "device/vendor_request.h"
#include "platform/device_enum.h"
#include "platform/device_io.h"
#include "platform/dialogs.h"
#include "platform/platform.h"

using platform::Os;

const std::string g_deviceMatch = "VID_054C&PID_0268";
std::string g_devicePath;

// bLength 18, device, USB 2.00, class 0/0/0, 64-byte endpoint 0, vendor
// 0x054C, product 0x0268, release 1.00, strings 1/2/0, one configuration.
const std::uint8_t g_expectedDescriptor[DEVICE_DESCRIPTOR_SIZE] = {
    0x12, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x40, 0x4C,
    0x05, 0x68, 0x02, 0x00, 0x01, 0x01, 0x02, 0x00, 0x01};

namespace {

constexpr char kStepClassDevs[] = "GetClassDevs(All Present Devices)";
constexpr char kStepProperty[] = "GetDeviceRegistryProperty";
constexpr char kStepInterfaces[] = "SetupDiEnumDeviceInterfaces";
constexpr char kStepDetail[] = "SetupDiGetDeviceInterfaceDetail";

// Outcome of reading one device's hardware IDs.
enum class IdsResult { kMatch, kNoMatch, kSkip, kFailed };

// Walks a hardware-ID multi-string of `length` bytes: zero-terminated strings
// ended by an empty one. Every string is bounded by the end of the data, so a
// list that lacks its terminators is read no further than it goes.
bool AnyIdContains(const char* ids, std::size_t length, const std::string& match) {
  std::size_t at = 0;
  while (at < length && ids[at] != '\0') {
    std::size_t end = at;
    while (end < length && ids[end] != '\0') ++end;
    std::string id(ids + at, end - at);
    Os().devices->UpperCaseAnsi(&id);
    if (id.find(match) != std::string::npos) return true;
    at = end + 1;
  }
  return false;
}

// What a SetupAPI call that reports the size it needs answered last: the
// buffer it filled, which the caller frees (null unless `answered`), the
// buffer's size (on a failed allocation the size that could not be had), the
// size the last call reported, and the error that ended the attempts.
struct SizedAnswer {
  std::uint8_t* buffer = nullptr;
  std::uint32_t size = 0;
  std::uint32_t required = 0;
  std::uint32_t error = platform::kErrorSuccess;
  bool answered = false;
  bool allocationFailed = false;
};

// Asks `ask(buffer, size, &required)` with a zeroed buffer of `firstSize`
// bytes (none for 0), and while it fails for want of space asks again with a
// buffer of the size it reported. A real set answers the second call; the
// call must ask for more each time, and at most kSizeRequestLimit times more.
template <class Ask>
SizedAnswer AskGrowingBuffer(std::uint32_t firstSize, Ask ask) {
  platform::DeviceEnum& devices = *Os().devices;
  SizedAnswer answer;
  answer.size = firstSize;
  for (int round = 0;; ++round) {
    if (answer.size != 0) {
      answer.buffer = static_cast<std::uint8_t*>(devices.AllocZeroed(answer.size));
      if (answer.buffer == nullptr) {
        answer.error = platform::kErrorNotEnoughMemory;
        answer.allocationFailed = true;
        return answer;
      }
    }
    answer.required = 0;
    if (ask(answer.buffer, answer.size, &answer.required)) {
      answer.answered = true;
      return answer;
    }
    answer.error = Os().io->LastError();
    if (answer.buffer != nullptr) devices.Free(answer.buffer);
    answer.buffer = nullptr;
    if (answer.error != platform::kErrorInsufficientBuffer || answer.required <= answer.size ||
        round >= kSizeRequestLimit) {
      return answer;
    }
    answer.size = answer.required;
  }
}

// SPDRP_HARDWAREID of one device; the first call is made without a buffer.
SizedAnswer ReadHardwareIds(platform::Handle set, platform::DevInfoData* info) {
  return AskGrowingBuffer(0, [set, info](std::uint8_t* buffer, std::uint32_t size,
                                         std::uint32_t* required) {
    return Os().devices->GetDeviceRegistryProperty(set, info, platform::kSpdrpHardwareId, buffer,
                                                   size, required);
  });
}

// Reads one device's hardware IDs and tests them. On kFailed the last error
// holds the code to report.
IdsResult MatchHardwareIds(platform::Handle set, platform::DevInfoData* info,
                           const std::string& match) {
  const SizedAnswer ids = ReadHardwareIds(set, info);
  IdsResult result = IdsResult::kNoMatch;
  if (ids.answered) {
    // The data is what the call reported, and never more than the buffer.
    const std::size_t length = std::min(ids.required, ids.size);
    if (ids.buffer != nullptr &&
        AnyIdContains(reinterpret_cast<const char*>(ids.buffer), length, match)) {
      result = IdsResult::kMatch;
    }
  } else {
    result = ids.error == platform::kErrorInvalidData ? IdsResult::kSkip : IdsResult::kFailed;
  }
  if (ids.buffer != nullptr) Os().devices->Free(ids.buffer);
  if (result == IdsResult::kFailed) Os().io->SetLastError(ids.error);
  return result;
}

void ReportDetailAllocationFailure(std::uint32_t size) {
  Os().io->SetLastError(platform::kErrorNotEnoughMemory);
  char step[96];
  std::snprintf(step, sizeof step,
                "Couldn't allocate %d bytes for device interface detail buffer\n",
                static_cast<int>(size));
  ReportLastError(step);
}

// The path runs from offset 4 of the detail to its terminator, inside the
// `size` bytes of the buffer.
void TakePathFromDetail(const void* detail, std::uint32_t size) {
  const char* path = static_cast<const char*>(detail) + platform::kInterfaceDetailPathOffset;
  const std::size_t room = size - platform::kInterfaceDetailPathOffset;
  const void* end = std::memchr(path, '\0', room);
  g_devicePath.assign(path, end != nullptr ? static_cast<const char*>(end) - path : room);
}

// Takes the interface path of the matched device into g_devicePath. Failures
// are reported here; g_devicePath then keeps its earlier value.
void TakeInterfacePath(platform::Handle set, platform::DevInfoData* info) {
  platform::DeviceEnum& devices = *Os().devices;
  platform::DeviceIo& io = *Os().io;

  platform::DeviceInterfaceData interfaceData{};
  interfaceData.cbSize = sizeof(platform::DeviceInterfaceData);
  if (!devices.EnumDeviceInterfaces(set, info, platform::kGuidDevinterfaceUsbDevice, 0,
                                    &interfaceData)) {
    ReportLastError(kStepInterfaces);
    return;
  }

  // The size field holds the size of the structure's fixed part (that of the
  // build's architecture), whatever the buffer's size; the first request is
  // that fixed part alone, which the call answers with the size it needs.
  const SizedAnswer detail = AskGrowingBuffer(
      platform::kInterfaceDetailFixedSize,
      [&](std::uint8_t* buffer, std::uint32_t size, std::uint32_t* required) {
        const std::uint32_t sizeField = platform::kInterfaceDetailFixedSize;
        std::memcpy(buffer, &sizeField, sizeof sizeField);
        return devices.GetDeviceInterfaceDetail(set, &interfaceData, buffer, size, required);
      });
  if (detail.allocationFailed) {
    ReportDetailAllocationFailure(detail.size);
  } else if (detail.answered) {
    TakePathFromDetail(detail.buffer, detail.size);
    devices.Free(detail.buffer);
  } else {
    io.SetLastError(detail.error);
    ReportLastError(kStepDetail);
  }
}

}  // namespace

int FindDevicePath(const std::string& match) {
  platform::DeviceEnum& devices = *Os().devices;
  const platform::Handle set = devices.GetClassDevs(
      platform::kGuidDevinterfaceUsbDevice, platform::kDigcfPresent | platform::kDigcfDeviceInterface);
  if (set == platform::kInvalidHandle) {
    ReportLastError(kStepClassDevs);
    return 0;
  }

  int result = 0;
  // Size fields hold the sizes of the build's own structures (28 and 5 on
  // 32-bit Windows, 32 and 8 on 64-bit): the calls refuse any other.
  platform::DevInfoData info{};
  info.cbSize = sizeof(platform::DevInfoData);
  for (std::uint32_t index = 0; devices.EnumDeviceInfo(set, index, &info); ++index) {
    const IdsResult ids = MatchHardwareIds(set, &info, match);
    if (ids == IdsResult::kFailed) {
      ReportLastError(kStepProperty);
      devices.DestroyDeviceInfoList(set);
      return 0;
    }
    if (ids != IdsResult::kMatch) continue;
    // Only the first matching device is used.
    result = 1;
    TakeInterfacePath(set, &info);
    break;
  }
  devices.DestroyDeviceInfoList(set);
  return result;
}

void OpenDevice() {
  platform::Handle handle = platform::kInvalidHandle;
  if (FindDevicePath(g_deviceMatch) == 1) handle = Os().io->Open(g_devicePath.c_str());
  // Called while g_hDevice is closed: the handle replaced is the invalid one.
  static_cast<void>(ExchangeDeviceHandle(handle));
  g_deviceAbsent.store(handle == platform::kInvalidHandle ? 1 : 0);
}

void CloseDevice() {
  const platform::Handle handle = ExchangeDeviceHandle(platform::kInvalidHandle);
  if (handle != platform::kInvalidHandle) Os().io->Close(handle);
}

std::uint32_t CheckDescriptor(int* matched) {
  std::uint8_t buffer[DESCRIPTOR_READ_SIZE] = {};
  std::uint32_t count = 0;
  for (int emptyReads = 0;;) {
    buffer[0] = 0xAB;
    count = ReadDescriptor(buffer, DESCRIPTOR_READ_SIZE);
    if (count != 0) break;
    if (DongleGone() || ++emptyReads >= kDescriptorEmptyReadLimit) break;
  }
  // Bytes that were not received are never compared as if they had been.
  const bool equal =
      count >= DEVICE_DESCRIPTOR_SIZE &&
      std::memcmp(buffer + DESCRIPTOR_COMPARE_FROM, g_expectedDescriptor + DESCRIPTOR_COMPARE_FROM,
                  DEVICE_DESCRIPTOR_SIZE - DESCRIPTOR_COMPARE_FROM) == 0;
  *matched = equal ? 1 : 0;
  return equal ? kStatusOk : kDescriptorMismatch;
}

void ReportLastError(const std::string& step) {
  platform::DeviceIo& io = *Os().io;
  const std::uint32_t code = io.LastError();
  std::string text;
  if (io.SystemErrorText(code, &text)) {
    Os().dialogs->MessageBox(step + " FAILURE: " + text + "\n", platform::BoxStyle::kWarning);
  }
  io.SetLastError(code);
}
