// A client of the test bus's control interface for test programs: opens the
// bus through SetupAPI and offers one function per control verb. Every
// function returns false when the call failed; Error() then gives the system
// error code.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "bus_control.h"

namespace tavbus {

class BusClient {
 public:
  BusClient() = default;
  ~BusClient();
  BusClient(const BusClient&) = delete;
  BusClient& operator=(const BusClient&) = delete;

  // Finds the bus's control interface and opens it.
  [[nodiscard]] bool Open();
  void Close();
  bool IsOpen() const { return handle_ != nullptr; }
  std::uint32_t Error() const { return error_; }

  [[nodiscard]] bool Plug();
  [[nodiscard]] bool Unplug();
  [[nodiscard]] bool Reset();
  [[nodiscard]] bool SetMode(std::uint8_t mode);
  [[nodiscard]] bool SetDescriptor(const std::vector<std::uint8_t>& descriptor);
  // The 27-byte DeviceInfo record at data address 0.
  [[nodiscard]] bool SetDeviceRecord(const std::vector<std::uint8_t>& record);
  [[nodiscard]] bool WriteData(std::uint32_t address, const std::vector<std::uint8_t>& bytes);
  [[nodiscard]] bool ReadData(std::uint32_t address, std::uint32_t length,
                              std::vector<std::uint8_t>* bytes);
  [[nodiscard]] bool WriteFlash(std::uint32_t address, const std::vector<std::uint8_t>& bytes);
  [[nodiscard]] bool ReadFlash(std::uint32_t address, std::uint32_t length,
                               std::vector<std::uint8_t>* bytes);
  [[nodiscard]] bool AddFault(const DongleFault& fault);
  [[nodiscard]] bool ClearFaults();
  // Every record since the last clear (at most TAVBUS_LOG_CAPACITY).
  [[nodiscard]] bool ReadLog(std::vector<TAVBUS_LOG_RECORD>* records);
  [[nodiscard]] bool ClearLog();
  [[nodiscard]] bool State(TAVBUS_STATE* state);

 private:
  bool Call(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
            std::uint32_t outSize, std::uint32_t* returned = nullptr);
  bool WriteMemory(std::uint32_t area, std::uint32_t address,
                   const std::vector<std::uint8_t>& bytes);
  bool ReadMemory(std::uint32_t area, std::uint32_t address, std::uint32_t length,
                  std::vector<std::uint8_t>* bytes);

  void* handle_ = nullptr;
  std::uint32_t error_ = 0;
};

// A fault of `kind` on requests of `op`: `after` pass, then `count` are hit.
DongleFault MakeBusFault(std::uint32_t op, std::uint32_t kind, int after = 0, int count = 1,
                         std::uint32_t error = 31 /* ERROR_GEN_FAILURE */);

// One log record as a line of text, for people and for failure messages.
std::string DescribeLogRecord(const TAVBUS_LOG_RECORD& record);

// Now on the request log's clock: QueryPerformanceCounter in 100 ns units.
std::uint64_t LogClockNow();

}  // namespace tavbus
