// The test bus under Wine, met by the program's own device link through the
// real Win32 calls: discovery through SetupAPI, the open, the vendor requests
// and the descriptor read, faults, an unplug in the middle and the dongle's
// memory across plug-ins, and the request log. Needs the bus installed and
// running (scripts/lib/driver.sh). Prints one line per check, then
// "N passed, M failed"; exits nonzero when a check failed.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <cctype>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "bus_client.h"
#include "device/discovery.h"
#include "device/vendor_request.h"
#include "gui_support.h"
#include "platform/win32/win32_services.h"

namespace {

using guitest::Check;

// Plug-and-play work happens in the driver's process: wait for its outcome,
// with a deadline only for a bus that never gets there.
bool Eventually(const std::function<bool()>& condition) {
  return guitest::WaitUntil(condition, std::chrono::seconds(20));
}

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t seed) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(seed + i * 7);
  return bytes;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A present dongle with its interface: the search matched and gave a path.
bool Found() {
  g_devicePath.clear();
  return FindDevicePath(g_deviceMatch) == 1 && !g_devicePath.empty();
}

// Nothing of the dongle among the present devices, not even without its
// interface.
bool Absent() { return FindDevicePath(g_deviceMatch) == 0; }

// The dongle arrives: its USB interface shows up and the program opens it.
bool PlugAndOpen(tavbus::BusClient& bus, const std::string& when) {
  if (!Check(bus.Plug(), "plug " + when)) return false;
  if (!Check(Eventually(Found), "the dongle is found " + when)) return false;
  OpenDevice();
  return Check(g_hDevice != platform::kInvalidHandle && g_deviceAbsent.load() == 0,
               "the dongle opens " + when);
}

void CheckDiscovery(tavbus::BusClient& bus) {
  Check(Eventually(Absent), "no dongle before the first plug-in");
  if (!PlugAndOpen(bus, "after the first plug-in")) return;
  const std::string path = Lower(g_devicePath);
  Check(path.rfind("\\\\?\\usb#vid_054c&pid_0268#", 0) == 0 &&
            path.find("{a5dcbf10-6530-11d2-901f-00c04fb951ed}") != std::string::npos,
        "the path is the dongle's USB device interface: " + g_devicePath);
}

void CheckRequests(tavbus::BusClient& bus) {
  int needCheck = 0;
  Check(bus.SetMode(0xBB) && QueryDeviceMode(&needCheck) == 0 && !g_largePages && needCheck == 0,
        "mode 0xBB: 128-byte pages");
  Check(bus.SetMode(0xAA) && QueryDeviceMode(&needCheck) == 0 && needCheck == 1,
        "mode 0xAA: the descriptor check");
  std::uint8_t info[27] = {};
  Check(ReadDeviceInfo(info) == 0 &&
            std::memcmp(info, kDongleDefaultDeviceInfo, sizeof info) == 0,
        "the 27-byte device record");
  const std::uint8_t group = 4;
  std::uint8_t readBack = 0;
  std::vector<std::uint8_t> stored;
  Check(WriteDeviceData(&group, ADDR_RF_GROUP, 1) == 0 &&
            ReadDeviceData(&readBack, ADDR_RF_GROUP, 1) == 0 && readBack == group &&
            bus.ReadData(ADDR_RF_GROUP, 1, &stored) && stored == std::vector<std::uint8_t>{group},
        "a data byte written, read back and stored");
  for (std::uint16_t address : {std::uint16_t{0xC000}, std::uint16_t{0x0040}}) {
    const std::vector<std::uint8_t> block = Pattern(64, static_cast<std::uint8_t>(address >> 8));
    std::vector<std::uint8_t> back(64);
    Check(WriteFlashBlock(block.data(), address) == 0 && ReadFlash(back.data(), address, 64) == 0 &&
              back == block && bus.ReadFlash(address, 64, &stored) && stored == block,
          "a flash block written, read back and stored at " + std::to_string(address));
  }
  Check(!bus.WriteData(DONGLE_MEMORY_SIZE - 1, {1, 2}) && bus.Error() == ERROR_INVALID_PARAMETER,
        "the bus refuses a write past the end of the data area");
  int matched = 0;
  Check(CheckDescriptor(&matched) == 0 && matched == 1, "the 18-byte descriptor matches");
  std::vector<std::uint8_t> other(kDongleDefaultDescriptor, kDongleDefaultDescriptor + 18);
  other[10] = 0x69;  // idProduct 0x0269
  Check(bus.SetDescriptor(other) && CheckDescriptor(&matched) == 2 && matched == 0,
        "a descriptor with another product does not match");
}

// The log says what reached the dongle, in order, with the sizes the
// program passed and the counts the driver reported.
void CheckLog(tavbus::BusClient& bus) {
  std::uint8_t band = 0;
  const std::uint8_t identity[11] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
  Check(bus.ClearLog(), "clear the log");
  const std::uint64_t before = tavbus::LogClockNow();
  (void)ReadDeviceData(&band, ADDR_START_BAND, 1);  // the log shows the outcome
  (void)WriteDeviceData(identity, ADDR_IDENTITY, 11);
  const std::uint64_t after = tavbus::LogClockNow();
  std::vector<TAVBUS_LOG_RECORD> log;
  Check(bus.ReadLog(&log) && log.size() == 2, "two requests in the log");
  if (log.size() != 2) return;
  Check(log[0].kind == TAVBUS_LOG_IOCTL && log[0].ioctl == IOCTL_VENDOR_READ &&
            log[0].command == CMD_DATA && log[0].address == ADDR_START_BAND &&
            log[0].length == 1 && log[0].inSize == 512 && log[0].outSize == 512 &&
            log[0].status == 0 && log[0].returned == 1,
        "read: " + tavbus::DescribeLogRecord(log[0]));
  Check(log[1].ioctl == IOCTL_VENDOR_WRITE && log[1].address == ADDR_IDENTITY &&
            log[1].length == 11 && log[1].returned == 11 && log[1].time >= log[0].time,
        "write: " + tavbus::DescribeLogRecord(log[1]));
  Check(before <= log[0].time && log[1].time <= after,
        "the log's times are on the clock of QueryPerformanceCounter");
}

void CheckFaults(tavbus::BusClient& bus) {
  std::uint8_t byte = 0;
  int needCheck = 0;
  Check(bus.AddFault(tavbus::MakeBusFault(DONGLE_OP_DATA_READ, DONGLE_FAULT_FAIL, 1, 1, 1117)) &&
            ReadDeviceData(&byte, 0, 1) == 0 && ReadDeviceData(&byte, 0, 1) == 1117 &&
            ReadDeviceData(&byte, 0, 1) == 0,
        "the second data read fails with the error given (1117)");
  Check(bus.AddFault(tavbus::MakeBusFault(DONGLE_OP_MODE, DONGLE_FAULT_FAIL, 0, 1, 1460)) &&
            QueryDeviceMode(&needCheck) == 1460,
        "an error code the driver wraps in a status comes back (1460)");
  std::uint8_t block[64];
  Check(bus.AddFault(tavbus::MakeBusFault(DONGLE_OP_FLASH_READ, DONGLE_FAULT_SHORT)) &&
            ReadFlash(block, 0xC000, 64) == 1 && ReadFlash(block, 0xC000, 64) == 0,
        "a short flash read-back, then a whole one");
  Check(bus.ClearFaults(), "clear the faults");
}

// Pulled out in the middle: the request fails, the interface goes, nothing
// of the dongle stays among the present devices, and its memory is there
// again at the next plug-in.
void CheckUnplugAndMemory(tavbus::BusClient& bus) {
  std::uint8_t byte = 0x5A;
  Check(WriteDeviceData(&byte, ADDR_START_BAND, 1) == 0, "start band written");
  int needCheck = 0;
  Check(bus.AddFault(tavbus::MakeBusFault(DONGLE_OP_MODE, DONGLE_FAULT_UNPLUG)) &&
            QueryDeviceMode(&needCheck) != 0,
        "the request during which the dongle is pulled out fails");
  const std::uint32_t stale = ReadDeviceData(&byte, ADDR_START_BAND, 1);
  Check(stale != 0, "the handle of the unplugged dongle fails");
  guitest::Note("a request on the unplugged dongle's handle fails with error " + guitest::Num(stale));
  Check(Eventually(Absent), "the unplugged dongle is not among the present devices");
  guitest::Note("once it is removed, the same handle fails with error " +
                guitest::Num(ReadDeviceData(&byte, ADDR_START_BAND, 1)));
  CloseDevice();
  if (!PlugAndOpen(bus, "again")) return;
  byte = 0;
  Check(ReadDeviceData(&byte, ADDR_START_BAND, 1) == 0 && byte == 0x5A,
        "the memory survives unplug and plug-in");
  TAVBUS_STATE state;
  Check(bus.State(&state) && state.plugged == 1 && state.started == 1 && state.plugCount >= 2,
        "the bus reports the dongle plugged and started");
  CloseDevice();
}

}  // namespace

int main() {
  win32::InstallWin32DeviceServices();
  tavbus::BusClient bus;
  if (Check(bus.Open(), "the bus's control interface opens (scripts/lib/driver.sh installs it)") &&
      Check(bus.Unplug() && bus.Reset(), "a fresh dongle, unplugged")) {
    CheckDiscovery(bus);
    CheckRequests(bus);
    CheckLog(bus);
    CheckFaults(bus);
    CheckUnplugAndMemory(bus);
    Check(bus.Unplug() && bus.Reset(), "the bus left with a fresh dongle, unplugged");
  }
  return guitest::Summary();
}
