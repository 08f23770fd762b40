// The test bus's control interface over SetupAPI and DeviceIoControl.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include "bus_client.h"

#include <windows.h>
#include <setupapi.h>

#include <cstdio>
#include <cstring>

namespace tavbus {
namespace {

const GUID kBusInterface = TAVBUS_INTERFACE_GUID_INIT;

static_assert(sizeof(TAVBUS_LOG_RECORD) == 48, "the driver's record layout");

// The device path of the first present control interface of the bus.
bool FindBusPath(std::string* path) {
  HDEVINFO set = SetupDiGetClassDevsA(&kBusInterface, nullptr, nullptr,
                                      DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) return false;
  SP_DEVICE_INTERFACE_DATA data = {};
  data.cbSize = sizeof data;
  bool found = false;
  if (SetupDiEnumDeviceInterfaces(set, nullptr, &kBusInterface, 0, &data)) {
    DWORD size = 0;
    SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &size, nullptr);
    std::vector<char> buffer(size + sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A));
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
    detail->cbSize = sizeof *detail;
    if (SetupDiGetDeviceInterfaceDetailA(set, &data, detail, static_cast<DWORD>(buffer.size()),
                                         nullptr, nullptr)) {
      *path = detail->DevicePath;
      found = true;
    }
  }
  const DWORD error = GetLastError();
  SetupDiDestroyDeviceInfoList(set);
  SetLastError(found ? 0 : error);
  return found;
}

const char* KindName(std::uint32_t kind) {
  switch (kind) {
    case TAVBUS_LOG_CREATE: return "create";
    case TAVBUS_LOG_CLOSE: return "close";
    case TAVBUS_LOG_IOCTL: return "ioctl";
    case TAVBUS_LOG_READ: return "read";
  }
  return "?";
}

}  // namespace

BusClient::~BusClient() { Close(); }

bool BusClient::Open() {
  Close();
  std::string path;
  if (!FindBusPath(&path)) {
    error_ = GetLastError();
    return false;
  }
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error_ = GetLastError();
    return false;
  }
  handle_ = handle;
  return true;
}

void BusClient::Close() {
  if (handle_ != nullptr) CloseHandle(handle_);
  handle_ = nullptr;
}

bool BusClient::Call(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                     std::uint32_t outSize, std::uint32_t* returned) {
  DWORD count = 0;
  const BOOL ok = handle_ != nullptr &&
                  DeviceIoControl(handle_, code, const_cast<void*>(in), inSize, out, outSize,
                                  &count, nullptr);
  error_ = ok ? 0 : (handle_ != nullptr ? GetLastError() : ERROR_INVALID_HANDLE);
  if (returned != nullptr) *returned = count;
  return ok != FALSE;
}

bool BusClient::Plug() { return Call(TAVBUS_IOCTL_PLUG, nullptr, 0, nullptr, 0); }
bool BusClient::Unplug() { return Call(TAVBUS_IOCTL_UNPLUG, nullptr, 0, nullptr, 0); }
bool BusClient::Reset() { return Call(TAVBUS_IOCTL_RESET, nullptr, 0, nullptr, 0); }

bool BusClient::SetMode(std::uint8_t mode) {
  const std::uint32_t value = mode;
  return Call(TAVBUS_IOCTL_SET_MODE, &value, sizeof value, nullptr, 0);
}

bool BusClient::SetDescriptor(const std::vector<std::uint8_t>& descriptor) {
  return Call(TAVBUS_IOCTL_SET_DESCRIPTOR, descriptor.data(),
              static_cast<std::uint32_t>(descriptor.size()), nullptr, 0);
}

bool BusClient::SetDeviceRecord(const std::vector<std::uint8_t>& record) {
  return WriteData(0, record);
}

bool BusClient::WriteMemory(std::uint32_t area, std::uint32_t address,
                            const std::vector<std::uint8_t>& bytes) {
  const TAVBUS_MEMORY head = {area, address, static_cast<std::uint32_t>(bytes.size())};
  std::vector<std::uint8_t> in(sizeof head + bytes.size());
  std::memcpy(in.data(), &head, sizeof head);
  if (!bytes.empty()) std::memcpy(in.data() + sizeof head, bytes.data(), bytes.size());
  return Call(TAVBUS_IOCTL_WRITE_MEMORY, in.data(), static_cast<std::uint32_t>(in.size()),
              nullptr, 0);
}

bool BusClient::ReadMemory(std::uint32_t area, std::uint32_t address, std::uint32_t length,
                           std::vector<std::uint8_t>* bytes) {
  const TAVBUS_MEMORY head = {area, address, length};
  bytes->assign(length, 0);
  std::uint32_t returned = 0;
  if (!Call(TAVBUS_IOCTL_READ_MEMORY, &head, sizeof head, bytes->data(), length, &returned)) {
    return false;
  }
  bytes->resize(returned);
  return true;
}

bool BusClient::WriteData(std::uint32_t address, const std::vector<std::uint8_t>& bytes) {
  return WriteMemory(TAVBUS_AREA_DATA, address, bytes);
}

bool BusClient::ReadData(std::uint32_t address, std::uint32_t length,
                         std::vector<std::uint8_t>* bytes) {
  return ReadMemory(TAVBUS_AREA_DATA, address, length, bytes);
}

bool BusClient::WriteFlash(std::uint32_t address, const std::vector<std::uint8_t>& bytes) {
  return WriteMemory(TAVBUS_AREA_FLASH, address, bytes);
}

bool BusClient::ReadFlash(std::uint32_t address, std::uint32_t length,
                          std::vector<std::uint8_t>* bytes) {
  return ReadMemory(TAVBUS_AREA_FLASH, address, length, bytes);
}

bool BusClient::AddFault(const DongleFault& fault) {
  return Call(TAVBUS_IOCTL_ADD_FAULT, &fault, sizeof fault, nullptr, 0);
}

bool BusClient::ClearFaults() { return Call(TAVBUS_IOCTL_CLEAR_FAULTS, nullptr, 0, nullptr, 0); }

bool BusClient::ReadLog(std::vector<TAVBUS_LOG_RECORD>* records) {
  constexpr std::uint32_t kChunk = 512;  // records per call
  std::vector<std::uint8_t> out(sizeof(TAVBUS_LOG_HEADER) + kChunk * sizeof(TAVBUS_LOG_RECORD));
  records->clear();
  for (;;) {
    const auto first = static_cast<std::uint32_t>(records->size());
    std::uint32_t returned = 0;
    if (!Call(TAVBUS_IOCTL_READ_LOG, &first, sizeof first, out.data(),
              static_cast<std::uint32_t>(out.size()), &returned)) {
      return false;
    }
    TAVBUS_LOG_HEADER head;
    std::memcpy(&head, out.data(), sizeof head);
    const std::size_t fit = (returned - sizeof head) / sizeof(TAVBUS_LOG_RECORD);
    const std::size_t count = head.count < fit ? head.count : fit;
    const auto* start = out.data() + sizeof head;
    for (std::size_t i = 0; i < count; ++i) {
      TAVBUS_LOG_RECORD record;
      std::memcpy(&record, start + i * sizeof record, sizeof record);
      records->push_back(record);
    }
    const std::uint32_t kept = head.total < TAVBUS_LOG_CAPACITY ? head.total : TAVBUS_LOG_CAPACITY;
    if (count == 0 || records->size() >= kept) return true;
  }
}

bool BusClient::ClearLog() { return Call(TAVBUS_IOCTL_CLEAR_LOG, nullptr, 0, nullptr, 0); }

bool BusClient::State(TAVBUS_STATE* state) {
  std::memset(state, 0, sizeof *state);
  return Call(TAVBUS_IOCTL_GET_STATE, nullptr, 0, state, sizeof *state);
}

DongleFault MakeBusFault(std::uint32_t op, std::uint32_t kind, int after, int count,
                         std::uint32_t error) {
  DongleFault fault = {};
  fault.op = op;
  fault.kind = kind;
  fault.after = after;
  fault.count = count;
  fault.error = error;
  return fault;
}

std::string DescribeLogRecord(const TAVBUS_LOG_RECORD& record) {
  char line[200];
  std::snprintf(line, sizeof line,
                "#%u %-6s ioctl=0x%08X cmd=0x%04X addr=%u len=%u in=%u out=%u status=0x%08X "
                "returned=%u faults=%u time=%llu",
                record.sequence, KindName(record.kind), record.ioctl, record.command,
                record.address, record.length, record.inSize, record.outSize,
                static_cast<unsigned>(record.status), record.returned, record.faults,
                static_cast<unsigned long long>(record.time));
  return line;
}

std::uint64_t LogClockNow() {
  LARGE_INTEGER count;
  LARGE_INTEGER frequency;
  QueryPerformanceCounter(&count);
  QueryPerformanceFrequency(&frequency);
  const auto ticks = static_cast<std::uint64_t>(count.QuadPart);
  const auto perSecond = static_cast<std::uint64_t>(frequency.QuadPart);
  return ticks / perSecond * 10000000u + ticks % perSecond * 10000000u / perSecond;
}

}  // namespace tavbus
