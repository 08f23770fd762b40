// Plain values the portable code shares with the operating system: handles,
// system error codes, dialog command ids and message-box answers. Mirrors the
// Windows values so that statuses and ids mean the same on every build.
#pragma once
#include <cstdint>

namespace platform {

// A kernel object handle as the portable code sees it (a file handle, a device
// information set). kInvalidHandle mirrors INVALID_HANDLE_VALUE.
using Handle = std::intptr_t;
constexpr Handle kInvalidHandle = -1;

// System error codes the system itself tests for or sets.
constexpr std::uint32_t kErrorSuccess = 0;
constexpr std::uint32_t kErrorNotEnoughMemory = 8;      // ERROR_NOT_ENOUGH_MEMORY
constexpr std::uint32_t kErrorInvalidData = 13;         // ERROR_INVALID_DATA
constexpr std::uint32_t kErrorGenFailure = 31;          // ERROR_GEN_FAILURE
constexpr std::uint32_t kErrorInsufficientBuffer = 122; // ERROR_INSUFFICIENT_BUFFER
constexpr std::uint32_t kErrorDeviceNotConnected = 1167; // ERROR_DEVICE_NOT_CONNECTED

// Dialog command ids and message-box answers (IDOK, IDCANCEL, IDYES, IDNO).
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

// Device-change notification values (WM_DEVICECHANGE and its records).
constexpr std::uint32_t kWmDeviceChange = 0x0219;
constexpr std::uint32_t kDbtDeviceArrival = 0x8000;
constexpr std::uint32_t kDbtDeviceRemoveComplete = 0x8004;
constexpr std::uint32_t kDbtDevtypDeviceInterface = 5;

// A GUID laid out as Windows lays it out.
struct Guid {
  std::uint32_t data1;
  std::uint16_t data2;
  std::uint16_t data3;
  std::uint8_t data4[8];
};
static_assert(sizeof(Guid) == 16, "GUID is 16 bytes");

bool operator==(const Guid& a, const Guid& b);
inline bool operator!=(const Guid& a, const Guid& b) { return !(a == b); }

// GUID_DEVINTERFACE_USB_DEVICE {A5DCBF10-6530-11D2-901F-00C04FB951ED}
constexpr Guid kGuidDevinterfaceUsbDevice = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

}  // namespace platform
