// The dongle's address map: where the device data lives, the geometry of its
// flash, and the 27-byte information record at the start of the data area.
#pragma once
#include <cstdint>

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
constexpr std::uint16_t DATA_BLOCK_SIZE = 512;

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
