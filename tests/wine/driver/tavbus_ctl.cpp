// The test bus from the command line, for people: plug and unplug the dongle,
// set its state, add faults, dump its memory and read the request log.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bus_client.h"

namespace {

const char kUsage[] =
    "usage: tavbus_ctl VERB [ARGS]\n"
    "  state                          plugged or not, mode, faults, log size\n"
    "  plug | unplug                  the dongle arrives or leaves; its memory stays\n"
    "  reset                          a fresh dongle: memory, descriptor, faults, log\n"
    "  mode BYTE                      the mode reply (0xAA, 0xBB, 0xCC, ...)\n"
    "  record HEX                     the 27-byte device record at data address 0\n"
    "  descriptor HEX                 the bytes every descriptor read returns\n"
    "  write data|flash ADDR HEX      store bytes\n"
    "  dump data|flash ADDR LEN       print bytes\n"
    "  fault OP KIND [AFTER [COUNT [ERROR]]]\n"
    "      OP: mode data-read data-write flash-read flash-write descriptor open any\n"
    "      KIND: fail short corrupt unplug count=N flip=BYTE:BIT; COUNT -1: every further one\n"
    "      flip: that bit of a read's reply or of a write's payload (flip alone: 0:0)\n"
    "  clear-faults\n"
    "  log                            every request since the last clear\n"
    "  clear-log\n";

const char* const kOps[] = {"mode", "data-read", "data-write", "flash-read",
                            "flash-write", "descriptor", "open", "any"};
const char* const kKinds[] = {"fail", "short", "corrupt", "unplug"};

int Index(const char* const* names, int count, const std::string& name) {
  for (int i = 0; i < count; ++i) {
    if (name == names[i]) return i;
  }
  return -1;
}

unsigned long Number(const char* text) { return std::strtoul(text, nullptr, 0); }

// "12 01 00 02" or "12010002".
bool Bytes(int argc, char** argv, int first, std::vector<std::uint8_t>* bytes) {
  std::string hex;
  for (int i = first; i < argc; ++i) hex += argv[i];
  std::string digits;
  for (char c : hex) {
    if (c != ' ' && c != ':' && c != ',') digits += c;
  }
  if (digits.size() % 2 != 0) return false;
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    char* end = nullptr;
    const std::string pair = digits.substr(i, 2);
    bytes->push_back(static_cast<std::uint8_t>(std::strtoul(pair.c_str(), &end, 16)));
    if (*end != '\0') return false;
  }
  return true;
}

void Dump(std::uint32_t address, const std::vector<std::uint8_t>& bytes) {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i % 16 == 0) std::printf("%s%05X:", i == 0 ? "" : "\n", static_cast<unsigned>(address + i));
    std::printf(" %02X", bytes[i]);
  }
  std::printf("\n");
}

bool IsFlash(const std::string& area) { return area == "flash"; }

// "flip=20:4": bit 4 of byte 20; "flip": bit 0 of byte 0.
bool FlipAt(const std::string& kind, DongleFault* fault) {
  if (kind == "flip") return true;
  char* end = nullptr;
  fault->flipByte = static_cast<std::uint32_t>(std::strtoul(kind.c_str() + 5, &end, 0));
  if (*end != ':') return false;
  fault->flipBit = static_cast<std::uint32_t>(std::strtoul(end + 1, &end, 0));
  return *end == '\0' && fault->flipByte < DONGLE_MAX_LENGTH && fault->flipBit < 8;
}

// Adds the fault; false, with *usage set, when its operation or kind is malformed.
bool Fault(tavbus::BusClient& bus, int argc, char** argv, bool* usage) {
  const int op = Index(kOps, 8, argv[2]);
  const std::string kind = argv[3];
  int kindIndex = Index(kKinds, 4, kind);
  DongleFault fault = tavbus::MakeBusFault(
      static_cast<std::uint32_t>(op), 0, argc > 4 ? std::atoi(argv[4]) : 0,
      argc > 5 ? std::atoi(argv[5]) : 1, argc > 6 ? static_cast<std::uint32_t>(Number(argv[6])) : 31);
  if (kind.rfind("count=", 0) == 0) {
    kindIndex = DONGLE_FAULT_REPORT_COUNT;
    fault.reportedCount = static_cast<std::uint32_t>(Number(kind.c_str() + 6));
  } else if (kind == "flip" || kind.rfind("flip=", 0) == 0) {
    kindIndex = FlipAt(kind, &fault) ? DONGLE_FAULT_FLIP : -1;
  }
  *usage = op < 0 || kindIndex < 0;
  if (*usage) return false;
  fault.kind = static_cast<std::uint32_t>(kindIndex);
  return bus.AddFault(fault);
}

bool Log(tavbus::BusClient& bus) {
  std::vector<TAVBUS_LOG_RECORD> records;
  if (!bus.ReadLog(&records)) return false;
  for (const TAVBUS_LOG_RECORD& record : records) {
    std::printf("%s\n", tavbus::DescribeLogRecord(record).c_str());
  }
  return true;
}

bool State(tavbus::BusClient& bus) {
  TAVBUS_STATE state;
  if (!bus.State(&state)) return false;
  std::printf("plugged %u, started %u, mode 0x%02X, descriptor %u bytes, faults %u, "
              "log %u, open handles %u, plug-ins %u\n",
              state.plugged, state.started, state.mode, state.descriptorLength, state.faults,
              state.logTotal, state.openHandles, state.plugCount);
  return true;
}

// Runs one verb; false when it failed or was malformed (*usage set).
bool Run(tavbus::BusClient& bus, int argc, char** argv, bool* usage) {
  const std::string verb = argv[1];
  std::vector<std::uint8_t> bytes;
  *usage = false;
  if (verb == "state") return State(bus);
  if (verb == "plug") return bus.Plug();
  if (verb == "unplug") return bus.Unplug();
  if (verb == "reset") return bus.Reset();
  if (verb == "clear-faults") return bus.ClearFaults();
  if (verb == "clear-log") return bus.ClearLog();
  if (verb == "log") return Log(bus);
  if (verb == "mode" && argc == 3) return bus.SetMode(static_cast<std::uint8_t>(Number(argv[2])));
  if (verb == "record" && Bytes(argc, argv, 2, &bytes)) return bus.SetDeviceRecord(bytes);
  if (verb == "descriptor" && Bytes(argc, argv, 2, &bytes)) return bus.SetDescriptor(bytes);
  if (verb == "fault" && argc >= 4) return Fault(bus, argc, argv, usage);
  if (verb == "write" && argc >= 5 && Bytes(argc, argv, 4, &bytes)) {
    const auto address = static_cast<std::uint32_t>(Number(argv[3]));
    return IsFlash(argv[2]) ? bus.WriteFlash(address, bytes) : bus.WriteData(address, bytes);
  }
  if (verb == "dump" && argc == 5) {
    const auto address = static_cast<std::uint32_t>(Number(argv[3]));
    const auto length = static_cast<std::uint32_t>(Number(argv[4]));
    const bool ok = IsFlash(argv[2]) ? bus.ReadFlash(address, length, &bytes)
                                     : bus.ReadData(address, length, &bytes);
    if (ok) Dump(address, bytes);
    return ok;
  }
  *usage = true;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  tavbus::BusClient bus;
  if (!bus.Open()) {
    std::fprintf(stderr, "tavbus_ctl: the bus is not running (error %u); run tavbus_install\n",
                 bus.Error());
    return 1;
  }
  bool usage = false;
  if (Run(bus, argc, argv, &usage)) return 0;
  if (usage) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::fprintf(stderr, "tavbus_ctl: %s failed (error %u)\n", argv[1], bus.Error());
  return 1;
}
