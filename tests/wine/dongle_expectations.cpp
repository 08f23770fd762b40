// Expected requests and memory of the dongle; see dongle_expectations.h.
#include "dongle_expectations.h"

#include <windows.h>

#include <cstdio>

#include "firmware/firmware_image.h"

namespace e2e {
namespace {

// The protocol's geometry: the program bytes from the flash base in 64-byte
// blocks, then the data block at base + 0x3000 in the data area, then the
// identity bytes.
constexpr std::uint16_t kProgramSize = DONGLE_PROGRAM_SIZE;
constexpr std::uint16_t kBlock = DONGLE_FLASH_BLOCK;
constexpr std::uint16_t kDataBlockOffset = DONGLE_DATA_BLOCK_OFFSET;
constexpr std::uint16_t kDataBlockSize = DONGLE_DATA_BLOCK_SIZE;
constexpr std::uint16_t kIdentityAddress = DONGLE_ADDR_IDENTITY;
constexpr std::uint16_t kIdentitySize = DONGLE_IDENTITY_SIZE;
constexpr std::uint16_t kDescriptorReadSize = DONGLE_DESCRIPTOR_READ_SIZE;

Request Ioctl(std::uint32_t code, std::uint16_t command, std::uint16_t address,
              std::uint16_t length) {
  return Request{TAVBUS_LOG_IOCTL, code, command, address, length};
}

Request FlashWrite(std::uint16_t address) {
  return Ioctl(DONGLE_IOCTL_VENDOR_WRITE, DONGLE_CMD_FLASH, address, kBlock);
}
Request FlashRead(std::uint16_t address) {
  return Ioctl(DONGLE_IOCTL_VENDOR_READ, DONGLE_CMD_FLASH, address, kBlock);
}

bool operator==(const Request& a, const Request& b) {
  return a.kind == b.kind && a.ioctl == b.ioctl && a.command == b.command &&
         a.address == b.address && a.length == b.length;
}

std::vector<std::uint8_t> Scrambled(const std::vector<std::uint8_t>& image, std::size_t offset,
                                    std::size_t size) {
  if (image.size() < offset + size) return {};
  std::vector<std::uint8_t> bytes(image.begin() + static_cast<std::ptrdiff_t>(offset),
                                  image.begin() + static_cast<std::ptrdiff_t>(offset + size));
  // The dongle takes every byte of an image with its two nibbles swapped.
  for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>((b << 4) | (b >> 4));
  return bytes;
}

}  // namespace

std::string Describe(const Request& request) {
  char text[120];
  if (request.kind == TAVBUS_LOG_READ) {
    std::snprintf(text, sizeof text, "ReadFile of %u bytes", request.length);
  } else {
    std::snprintf(text, sizeof text, "%s cmd 0x%04X addr 0x%04X len %u",
                  request.ioctl == DONGLE_IOCTL_VENDOR_WRITE ? "write" : "read", request.command,
                  request.address, request.length);
  }
  return text;
}

std::vector<Request> Requests(const std::vector<TAVBUS_LOG_RECORD>& log) {
  std::vector<Request> requests;
  for (const TAVBUS_LOG_RECORD& record : log) {
    if (record.kind == TAVBUS_LOG_IOCTL) {
      requests.push_back(Ioctl(record.ioctl, record.command, record.address, record.length));
    } else if (record.kind == TAVBUS_LOG_READ) {
      requests.push_back(
          Request{TAVBUS_LOG_READ, 0, 0, 0, static_cast<std::uint16_t>(record.inSize)});
    }
  }
  return requests;
}

std::string FirstDifference(const std::vector<Request>& expected,
                            const std::vector<Request>& actual) {
  for (std::size_t i = 0; i < expected.size() || i < actual.size(); ++i) {
    if (i < expected.size() && i < actual.size() && expected[i] == actual[i]) continue;
    return "request " + std::to_string(i) + ": expected " +
           (i < expected.size() ? Describe(expected[i]) : "none") + ", got " +
           (i < actual.size() ? Describe(actual[i]) : "none");
  }
  return "";
}

Request DataRead(std::uint16_t address, std::uint16_t length) {
  return Ioctl(DONGLE_IOCTL_VENDOR_READ, DONGLE_CMD_DATA, address, length);
}

Request DataWrite(std::uint16_t address, std::uint16_t length) {
  return Ioctl(DONGLE_IOCTL_VENDOR_WRITE, DONGLE_CMD_DATA, address, length);
}

std::vector<Request> SettingsReads() {
  return {DataRead(DONGLE_ADDR_RF_GROUP, 1), DataRead(DONGLE_ADDR_BAND_MARKER, 1),
          DataRead(DONGLE_ADDR_START_BAND, 1)};
}

std::vector<Request> UpgradeRequests(const UpgradeShape& shape) {
  const std::uint16_t pageSize = shape.largePages ? 512 : 128;
  const std::uint16_t base =
      shape.largePages ? DONGLE_FLASH_BASE_LARGE_PAGES : DONGLE_FLASH_BASE_SMALL_PAGES;
  std::vector<Request> requests = {Ioctl(DONGLE_IOCTL_VENDOR_READ, DONGLE_CMD_QUERY_MODE, 0, 1),
                                   DataRead(0, DONGLE_DEVICE_INFO_SIZE)};
  if (shape.descriptorCheck)
    requests.push_back(Request{TAVBUS_LOG_READ, 0, 0, 0, kDescriptorReadSize});
  requests.push_back(DataRead(kIdentityAddress, kIdentitySize));  // the record's identity confirmed
  for (std::uint16_t page = base; page != base + kProgramSize; page += pageSize) {
    for (std::uint16_t block = 0; block < pageSize; block += kBlock) {
      requests.push_back(FlashWrite(static_cast<std::uint16_t>(page + block)));
    }
    for (std::uint16_t block = 0; block < pageSize; block += kBlock) {
      requests.push_back(FlashRead(static_cast<std::uint16_t>(page + block)));
    }
  }
  for (std::uint16_t block = 0; block < kDataBlockSize; block += kBlock) {
    const auto address = static_cast<std::uint16_t>(base + kDataBlockOffset + block);
    requests.push_back(DataWrite(address, kBlock));
    requests.push_back(DataRead(address, kBlock));
  }
  requests.push_back(DataWrite(kIdentityAddress, kIdentitySize));
  requests.push_back(DataRead(kIdentityAddress, kIdentitySize));
  return requests;
}

namespace {
// The position of the nth request like `like` (command and control code).
std::vector<Request>::iterator Nth(std::vector<Request>* requests, const Request& like,
                                   std::size_t n) {
  for (auto it = requests->begin(); it != requests->end(); ++it) {
    if (it->kind == like.kind && it->ioctl == like.ioctl && it->command == like.command &&
        n-- == 0) {
      return it;
    }
  }
  return requests->end();
}
}  // namespace

void RepeatNthFlashWrite(std::vector<Request>* requests, std::size_t n) {
  const auto it = Nth(requests, FlashWrite(0), n);
  if (it != requests->end()) requests->insert(it + 1, *it);
}

void ReverifyAfterNthFlashRead(std::vector<Request>* requests, std::size_t n,
                               std::uint16_t pageSize) {
  const auto it = Nth(requests, FlashRead(0), n);
  if (it == requests->end()) return;
  const std::uint16_t failed = it->address;
  std::vector<Request> again;
  for (auto address = static_cast<std::uint16_t>(failed - failed % pageSize); address <= failed;
       address = static_cast<std::uint16_t>(address + kBlock)) {
    again.push_back(FlashRead(address));
  }
  requests->insert(it + 1, again.begin(), again.end());
}

std::vector<std::vector<std::uint8_t>> ProgramImages(const std::string& programPath) {
  HMODULE module = LoadLibraryExA(programPath.c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (module == nullptr) return {};
  std::vector<std::vector<std::uint8_t>> images;
  for (const CatalogueEntry& entry : kImageCatalogue) {
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(entry.resourceId), kImageResourceType);
    const void* bytes = found ? LockResource(LoadResource(module, found)) : nullptr;
    if (bytes == nullptr) break;
    const auto* start = static_cast<const std::uint8_t*>(bytes);
    images.emplace_back(start, start + SizeofResource(module, found));
  }
  FreeLibrary(module);
  if (images.size() != static_cast<std::size_t>(kImageCount)) images.clear();
  return images;
}

std::vector<std::uint8_t> ExpectedFlash(const std::vector<std::uint8_t>& image) {
  return Scrambled(image, 0, kProgramSize);
}

std::vector<std::uint8_t> ExpectedDataBlock(const std::vector<std::uint8_t>& image) {
  return Scrambled(image, kProgramSize, kDataBlockSize);
}

}  // namespace e2e
