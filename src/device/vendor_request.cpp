// The request transport: the request record and I/O buffers, the
// request lock, the six routines that send vendor requests
// to the dongle's driver and interpret its replies, the descriptor read and
// the exchange of the device handle.
#include "device/vendor_request.h"

#include <cstring>
#include <mutex>

#include "platform/device_io.h"
#include "platform/platform.h"

// The wire format is little-endian and the request record is copied to the
// wire as it lies in memory.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "VendorRequest is copied to the wire as is: a little-endian host is required"
#endif

platform::Handle g_hDevice = platform::kInvalidHandle;
bool g_largePages = false;
std::atomic<int> g_deviceAbsent{0};

bool DongleGone() { return g_deviceAbsent.load() != 0; }

namespace {

// Used only while g_requestLock is held, and never cleared: each request
// overwrites the 70 request bytes of the input buffer, and each call gets its
// own reply and count (the data bytes a read leaves unused keep the last
// write's payload, which the driver ignores).
VendorRequest g_request = {};
std::uint8_t g_inBuffer[IO_BUFFER_SIZE] = {};
std::uint8_t g_outBuffer[IO_BUFFER_SIZE] = {};
std::uint32_t g_bytesReturned = 0;
std::mutex g_requestLock;

void FillRequest(std::uint16_t command, std::uint16_t address, std::uint16_t length) {
  g_request.command = command;
  g_request.address = address;
  g_request.length = length;
}

// A reply is copied only when it holds exactly the bytes asked for; a count
// beyond the output buffer no driver can deliver, so it is refused, not copied.
bool ReplyCountIs(std::uint32_t length) {
  return g_bytesReturned == length && length <= sizeof g_outBuffer;
}

// One attempt of a flash routine: its status, and whether a failure may be
// repeated.
struct FlashAttempt {
  std::uint32_t status;
  bool repeatable;
};

// Makes attempts, each under the request lock, until one succeeds or fails
// for good, or until a repeatable failure comes once g_deviceAbsent is set or
// as the kFlashRetryLimit-th in a row. The last attempt's status.
template <class Attempt>
std::uint32_t RepeatWhileDongleThere(Attempt attempt) {
  for (int failedCalls = 1;; ++failedCalls) {
    FlashAttempt result;
    {
      std::lock_guard<std::mutex> lock(g_requestLock);
      result = attempt();
    }
    if (result.status == kStatusOk || !result.repeatable) return result.status;
    if (failedCalls >= kFlashRetryLimit || DongleGone()) return result.status;
  }
}

// Sends g_request with the control code: copies its 70 bytes to g_inBuffer
// and makes the control call with the whole 512-byte buffers. kStatusOk, or
// the system error code of the failed call. The caller holds g_requestLock.
std::uint32_t SendRequest(std::uint32_t controlCode) {
  static_assert(sizeof g_request <= sizeof g_inBuffer, "the request fits the input buffer");
  // Bytes 70-511 of the input buffer are never written.
  std::memcpy(g_inBuffer, &g_request, sizeof g_request);
  platform::DeviceIo& io = *platform::Os().io;
  if (io.IoControl(g_hDevice, controlCode, g_inBuffer, sizeof g_inBuffer, g_outBuffer,
                   sizeof g_outBuffer, &g_bytesReturned)) {
    return kStatusOk;
  }
  const std::uint32_t error = io.LastError();
  // A failed call must never read as success, even if the system left no
  // error code behind.
  return error != platform::kErrorSuccess ? error : platform::kErrorGenFailure;
}

}  // namespace

platform::Handle ExchangeDeviceHandle(platform::Handle handle) {
  std::lock_guard<std::mutex> lock(g_requestLock);
  const platform::Handle replaced = g_hDevice;
  g_hDevice = handle;
  return replaced;
}

std::uint32_t QueryDeviceMode(int* needDescriptorCheck) {
  std::lock_guard<std::mutex> lock(g_requestLock);
  FillRequest(CMD_QUERY_MODE, 0, 1);
  const std::uint32_t status = SendRequest(IOCTL_VENDOR_READ);
  if (status != kStatusOk) return status;
  // The byte count of the mode reply is not examined: the driver only has to
  // put the mode byte at offset 0.
  switch (g_outBuffer[0]) {
    case MODE_CHECK_DESCRIPTOR:
      if (needDescriptorCheck != nullptr) *needDescriptorCheck = 1;
      return kStatusOk;  // g_largePages keeps the geometry of the last 0xBB / 0xCC
    case MODE_SMALL_PAGES:
      if (needDescriptorCheck != nullptr) *needDescriptorCheck = 0;
      g_largePages = false;
      return kStatusOk;
    case MODE_LARGE_PAGES:
      if (needDescriptorCheck != nullptr) *needDescriptorCheck = 0;
      g_largePages = true;
      return kStatusOk;
    default:
      return kStatusUnknownMode;  // the flag and g_largePages keep their values
  }
}

std::uint32_t ReadDeviceData(void* destination, std::uint16_t address, std::uint16_t length) {
  std::lock_guard<std::mutex> lock(g_requestLock);
  FillRequest(CMD_DATA, address, length);
  const std::uint32_t status = SendRequest(IOCTL_VENDOR_READ);
  if (status != kStatusOk) return status;
  if (!ReplyCountIs(length)) return kStatusWrongCount;
  std::memcpy(destination, g_outBuffer, length);
  return kStatusOk;
}

std::uint32_t WriteDeviceData(const void* source, std::uint16_t address, std::uint16_t length) {
  if (length > sizeof g_request.data) return kStatusTooLong;  // nothing is sent
  std::lock_guard<std::mutex> lock(g_requestLock);
  std::memcpy(g_request.data, source, length);
  FillRequest(CMD_DATA, address, length);
  const std::uint32_t status = SendRequest(IOCTL_VENDOR_WRITE);
  if (status != kStatusOk) return status;
  return g_bytesReturned != length ? kStatusWrongCount : kStatusOk;
}

std::uint32_t ReadDeviceInfo(void* destination) {
  std::lock_guard<std::mutex> lock(g_requestLock);
  FillRequest(CMD_DATA, ADDR_DEVICE_INFO, DEVICE_INFO_SIZE);
  const std::uint32_t status = SendRequest(IOCTL_VENDOR_READ);
  if (status != kStatusOk) return status;
  if (!ReplyCountIs(DEVICE_INFO_SIZE)) return kStatusWrongCount;
  std::memcpy(destination, g_outBuffer, DEVICE_INFO_SIZE);
  return kStatusOk;
}

std::uint32_t ReadDescriptor(void* buffer, std::uint32_t size) {
  std::lock_guard<std::mutex> lock(g_requestLock);
  std::uint32_t count = 0;
  // The count tells it all: a failed read delivers no bytes.
  platform::Os().io->Read(g_hDevice, buffer, size, &count);
  return count;
}

// Both flash routines repeat a failed call at once, holding the lock for each
// attempt only, while the dongle is there: once g_deviceAbsent is set, or
// after kFlashRetryLimit failed attempts in a row (see retry_policy.h), they
// end with the last attempt's status.
std::uint32_t ReadFlash(void* destination, std::uint16_t address, std::uint16_t length) {
  return RepeatWhileDongleThere([&]() -> FlashAttempt {
    FillRequest(CMD_FLASH, address, length);
    const std::uint32_t status = SendRequest(IOCTL_VENDOR_READ);
    if (status != kStatusOk) return {status, true};
    if (!ReplyCountIs(length)) return {kStatusWrongCount, false};  // no further attempt
    std::memcpy(destination, g_outBuffer, length);
    return {kStatusOk, false};
  });
}

// A wrong byte count counts as a failed call too, and is repeated; it ends
// the routine with kStatusWrongCount when it was the last attempt.
std::uint32_t WriteFlashBlock(const void* source, std::uint16_t address) {
  return RepeatWhileDongleThere([&]() -> FlashAttempt {
    std::memcpy(g_request.data, source, FLASH_BLOCK_SIZE);
    FillRequest(CMD_FLASH, address, FLASH_BLOCK_SIZE);
    const std::uint32_t status = SendRequest(IOCTL_VENDOR_WRITE);
    if (status != kStatusOk) return {status, true};
    // A short count: the driver did not take the whole block.
    return {g_bytesReturned == FLASH_BLOCK_SIZE ? kStatusOk : kStatusWrongCount, true};
  });
}

