// What the dongle should have received and should hold after the program's
// work: the requests of an upgrade in either flash geometry, of the settings
// reads and of an RF change, in order; and the bytes an upgrade leaves in
// flash and data area, from the images embedded in the program file itself.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "bus_control.h"

namespace e2e {

// One request as the dongle's driver sees it: a DeviceIoControl with its code
// and the command, address and length of the request record, or a ReadFile
// (the descriptor read, `length` being the byte count asked for).
struct Request {
  std::uint32_t kind;  // TAVBUS_LOG_IOCTL or TAVBUS_LOG_READ
  std::uint32_t ioctl;
  std::uint16_t command;
  std::uint16_t address;
  std::uint16_t length;
};
std::string Describe(const Request& request);

// The requests of a log, without opens and closes.
std::vector<Request> Requests(const std::vector<TAVBUS_LOG_RECORD>& log);
// "" when equal, else where and how they first differ.
std::string FirstDifference(const std::vector<Request>& expected,
                            const std::vector<Request>& actual);

Request DataRead(std::uint16_t address, std::uint16_t length);
Request DataWrite(std::uint16_t address, std::uint16_t length);

// The worker's three one-byte reads after each opening: 21, 448, 449.
std::vector<Request> SettingsReads();

struct UpgradeShape {
  bool largePages;
  bool descriptorCheck;  // the mode reply asked for it
};
// From the mode query to the identity read-back, when nothing fails: the
// mode, the record, the descriptor when asked for, the identity area read
// again to confirm the record's, the pages, the data block, the identity.
std::vector<Request> UpgradeRequests(const UpgradeShape& shape);

// The same with one fault absorbed: the flash write of index `n` (0 for the
// first) failed and was repeated at once; the flash read of index `n` came
// back short, so the page's verification started again from its first block.
void RepeatNthFlashWrite(std::vector<Request>* requests, std::size_t n);
void ReverifyAfterNthFlashRead(std::vector<Request>* requests, std::size_t n,
                               std::uint16_t pageSize);

// The six firmware images embedded in the program file, by catalogue index;
// empty when the file cannot be read.
std::vector<std::vector<std::uint8_t>> ProgramImages(const std::string& programPath);

// What an upgrade with `image` leaves in flash (from the flash base, 12288
// bytes) and in the data area (the 512-byte block after the program area):
// the image's parts nibble-swapped, as the program must scramble them.
std::vector<std::uint8_t> ExpectedFlash(const std::vector<std::uint8_t>& image);
std::vector<std::uint8_t> ExpectedDataBlock(const std::vector<std::uint8_t>& image);

}  // namespace e2e
