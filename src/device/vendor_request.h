// The dongle's request transport: the 70-byte vendor request handed to the
// dongle's kernel driver through one synchronous device I/O control call, the
// two control codes, the three commands, the device data map, and the seven
// routines that build requests and read the replies.
#pragma once
#include <atomic>
#include <cstdint>

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

// Device data map.
constexpr std::uint16_t ADDR_DEVICE_INFO = 0;
constexpr std::uint16_t ADDR_IDENTITY = 16;
constexpr std::uint16_t ADDR_RF_GROUP = 21;
constexpr std::uint16_t ADDR_BAND_MARKER = 448;
constexpr std::uint16_t ADDR_START_BAND = 449;
constexpr std::uint16_t DEVICE_INFO_SIZE = 27;
constexpr std::uint16_t IDENTITY_SIZE = 11;
constexpr std::uint8_t BAND_MARKER_16_BANDS = 3;

// Flash geometry.
constexpr std::uint16_t FLASH_BLOCK_SIZE = 64;
constexpr std::uint16_t LARGE_PAGE_SIZE = 512;
constexpr std::uint16_t SMALL_PAGE_SIZE = 128;
constexpr std::uint16_t LARGE_PAGE_FLASH_BASE = 0xC000;
constexpr std::uint16_t SMALL_PAGE_FLASH_BASE = 0x0000;
constexpr std::uint16_t PROGRAM_AREA_SIZE = 12288;
constexpr std::uint16_t DATA_BLOCK_OFFSET = 0x3000;
constexpr std::uint16_t DATA_BLOCK_SIZE = 512;

constexpr std::uint32_t IO_BUFFER_SIZE = 512;

// The device's 27-byte information record (data addresses 0-26).
#pragma pack(push, 1)
struct DeviceInfo {
  std::uint8_t reserved0[7];
  char editionCode[2];
  char firmwareVersion[3];
  std::uint8_t reserved12[2];
  char hardwareVersion;
  std::uint8_t reserved15;
  std::uint8_t identity[11];
};
#pragma pack(pop)
static_assert(sizeof(DeviceInfo) == 27, "DeviceInfo is the 27 bytes at data addresses 0-26");

// Module state. g_hDevice is opened and closed by the worker only;
// g_deviceAbsent is written by both threads; g_largePages belongs to the
// window thread.
extern platform::Handle g_hDevice;
extern VendorRequest g_request;
extern std::uint8_t g_inBuffer[IO_BUFFER_SIZE];
extern std::uint8_t g_outBuffer[IO_BUFFER_SIZE];
extern std::uint32_t g_bytesReturned;
extern bool g_largePages;
extern std::atomic<int> g_deviceAbsent;

// How many failed control calls in a row the flash routines absorb before
// they give up with the last system error code: a dongle that was pulled out,
// or a closed handle, fails every call.
constexpr int kFlashRetryLimit = 64;

std::uint32_t SendRequest(std::uint32_t controlCode);
std::uint32_t QueryDeviceMode(int* needDescriptorCheck);
std::uint32_t ReadDeviceData(void* destination, std::uint16_t address, std::uint16_t length);
std::uint32_t WriteDeviceData(const void* source, std::uint16_t address, std::uint16_t length);
std::uint32_t ReadFlash(void* destination, std::uint16_t address, std::uint16_t length);
std::uint32_t WriteFlashBlock(const void* source, std::uint16_t address);
std::uint32_t ReadDeviceInfo(void* destination);
