// The dongle's request transport: the 70-byte vendor request handed to the
// dongle's kernel driver through one synchronous device I/O control call, the
// two control codes, the three commands, the module state, the six
// routines that send requests and read the replies, the descriptor read and
// the exchange of the device handle.
#pragma once
#include <atomic>
#include <cstdint>

#include "device/device_map.h"
#include "device/retry_policy.h"
#include "platform/os_types.h"

#pragma pack(push, 1)
struct VendorRequest {
  std::uint16_t command;
  std::uint16_t address;
  std::uint16_t length;
  std::uint8_t data[64];
};
#pragma pack(pop)
static_assert(sizeof(VendorRequest) == 70, "the driver expects a 70-byte request");

// CTL_CODE(FILE_DEVICE_UNKNOWN, 0x800, METHOD_BUFFERED, FILE_READ_ACCESS) and
// CTL_CODE(FILE_DEVICE_UNKNOWN, 0x801, METHOD_BUFFERED, FILE_WRITE_ACCESS).
constexpr std::uint32_t IOCTL_VENDOR_READ = 0x00226000;
constexpr std::uint32_t IOCTL_VENDOR_WRITE = 0x0022A004;

constexpr std::uint16_t CMD_QUERY_MODE = 0x03BA;
constexpr std::uint16_t CMD_DATA = 0x03EE;
constexpr std::uint16_t CMD_FLASH = 0x03FF;

// Mode replies.
constexpr std::uint8_t MODE_CHECK_DESCRIPTOR = 0xAA;
constexpr std::uint8_t MODE_SMALL_PAGES = 0xBB;
constexpr std::uint8_t MODE_LARGE_PAGES = 0xCC;

constexpr std::uint32_t IO_BUFFER_SIZE = 512;

// Statuses of the device routines: 0, or a failed call's system error, or a
// protocol code below (equal to system codes 1 and 2, so callers tell only
// success from failure).
constexpr std::uint32_t kStatusOk = 0;
// The reply had an unexpected byte count, or the mode byte was none of the
// three known ones.
constexpr std::uint32_t kStatusWrongCount = 1;
constexpr std::uint32_t kStatusUnknownMode = 1;
// A data write longer than the request's 64 data bytes; nothing was sent.
constexpr std::uint32_t kStatusTooLong = 2;

// Module state. g_hDevice is opened and closed by the worker only;
// g_deviceAbsent is written by both threads; g_largePages belongs to the
// window thread. The request record, the I/O buffers and the request lock
// stay inside the transport.
extern platform::Handle g_hDevice;
extern bool g_largePages;
extern std::atomic<int> g_deviceAbsent;

// The dongle has been announced as removed, or the worker's last opening
// found none: g_deviceAbsent is set.
[[nodiscard]] bool DongleGone();

// One lock serialises device requests: each routine below holds it from
// filling the request record to reading the reply (the flash routines per
// attempt, not across their retries), so the worker thread and the window
// thread never overlap at the dongle.
//
// Puts `handle` in g_hDevice under the request lock, so that the handle
// never changes under a running request; returns the handle it replaced.
[[nodiscard]] platform::Handle ExchangeDeviceHandle(platform::Handle handle);

// One read of `size` bytes of the dongle's device descriptor through
// g_hDevice into `buffer`, under the request lock like every request. The
// byte count the read reported; 0 when nothing came.
[[nodiscard]] std::uint32_t ReadDescriptor(void* buffer, std::uint32_t size);

// Asks the dongle for its mode. kStatusOk for a known mode byte (0xAA sets
// *needDescriptorCheck to 1 and keeps g_largePages; 0xBB and 0xCC set it to 0
// and choose the geometry), kStatusUnknownMode for any other byte (nothing
// changes), or the system error code.
[[nodiscard]] std::uint32_t QueryDeviceMode(int* needDescriptorCheck);

// Reads `length` data bytes. kStatusOk with the bytes copied,
// kStatusWrongCount when the reply's byte count differs (nothing copied), or
// the system error code.
[[nodiscard]] std::uint32_t ReadDeviceData(void* destination, std::uint16_t address,
                                           std::uint16_t length);

// Writes `length` (at most 64) data bytes. kStatusOk when the driver took all
// of them, kStatusWrongCount when it took another count, kStatusTooLong when
// `length` is over 64 (nothing sent), or the system error code.
[[nodiscard]] std::uint32_t WriteDeviceData(const void* source, std::uint16_t address,
                                            std::uint16_t length);

// Reads `length` flash bytes, repeating failed calls (kFlashRetryLimit).
// kStatusOk with the bytes copied, kStatusWrongCount when the reply's byte
// count differs (not repeated), or the last system error code.
[[nodiscard]] std::uint32_t ReadFlash(void* destination, std::uint16_t address,
                                      std::uint16_t length);

// Writes one 64-byte flash block, repeating failed calls and short counts
// (kFlashRetryLimit). kStatusOk when the driver took the block; otherwise the
// last attempt's system error code, or kStatusWrongCount when that attempt
// was a wrong byte count.
[[nodiscard]] std::uint32_t WriteFlashBlock(const void* source, std::uint16_t address);

// Reads the 27-byte DeviceInfo record. kStatusOk with the record copied,
// kStatusWrongCount when the reply's byte count differs, or the system error
// code.
[[nodiscard]] std::uint32_t ReadDeviceInfo(void* destination);
