// The simulated dongle: its driver and firmware as one peer that carries out
// the vendor requests exactly as the tool relies on them (mode
// byte, data area, program flash, byte counts, failing calls), answers the
// descriptor read, can be plugged and unplugged, takes fault
// injection, keeps a wire log and refuses to serve two requests at once.
// The protocol, the memory behind it and the fault rules are the shared
// device model (dongle_model), which the test kernel driver runs as well.
#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "sim/machine/dongle_model.h"

namespace sim {

class Line;

constexpr std::uint32_t kDongleMemorySize = DONGLE_MEMORY_SIZE;  // data area and flash: u16 addresses
constexpr std::uint32_t kRequestSize = DONGLE_REQUEST_SIZE;     // a VendorRequest on the wire
constexpr std::uint32_t kMaxRequestLength = DONGLE_MAX_LENGTH;  // payload of one request

// The 18-byte device descriptor the tool expects.
std::vector<std::uint8_t> DefaultDescriptor();
// The interface path of the default dongle.
std::string DefaultInterfacePath();
// The 27 DeviceInfo bytes of the default dongle: edition " S", firmware
// "1.4", hardware '2', identity 5A 3C 00 12 34 00 56 78 9A BC DE (RF group 0
// at data address 21).
std::vector<std::uint8_t> DefaultDeviceInfo();

// The state a dongle starts from. Empty vectors mean "the default".
struct SimDongleConfig {
  std::uint8_t mode = 0xCC;                 // the mode reply byte
  std::vector<std::uint8_t> dataArea;       // copied to data address 0 (rest zero)
  std::vector<std::uint8_t> deviceInfo;     // data 0-26, over dataArea; default DefaultDeviceInfo()
  int rfGroup = -1;                         // data 21 when >= 0
  int bandMarker = 3;                       // data 448 when >= 0
  int startBand = 0;                        // data 449 when >= 0
  std::vector<std::uint8_t> flash;          // copied to flash address 0 (rest 0xFF, erased)
  std::vector<std::uint8_t> descriptor;     // default DefaultDescriptor(); any size
  std::string interfacePath;                // default DefaultInterfacePath()
  bool present = true;                      // plugged in
};

// What a fault applies to. kAny matches every request (control call or
// descriptor read); opens are matched by kOpen only. A control call whose
// code and command name none of the first five kinds matches kAny only.
enum class FaultOp {
  kMode = DONGLE_OP_MODE,
  kDataRead = DONGLE_OP_DATA_READ,
  kDataWrite = DONGLE_OP_DATA_WRITE,
  kFlashRead = DONGLE_OP_FLASH_READ,
  kFlashWrite = DONGLE_OP_FLASH_WRITE,
  kDescriptor = DONGLE_OP_DESCRIPTOR,
  kOpen = DONGLE_OP_OPEN,
  kAny = DONGLE_OP_ANY
};

enum class FaultKind {
  kFail = DONGLE_FAULT_FAIL,        // the call fails with `error`; a write stores nothing
  kShort = DONGLE_FAULT_SHORT,      // the request is carried out, the count reported is one less
  kCorrupt = DONGLE_FAULT_CORRUPT,  // bit 0 of the last byte delivered (read) or stored (write) flips
  kUnplug = DONGLE_FAULT_UNPLUG,    // the dongle is unplugged just before the request, which then fails
  kReportCount = DONGLE_FAULT_REPORT_COUNT,  // carried out, `reportedCount` is reported instead
  // Bit `flipBit` of byte `flipByte` of what the request carries flips on its
  // way: in a read's reply (the memory keeps the right byte), or in a write's
  // payload (the dongle stores the flipped byte).
  kFlip = DONGLE_FAULT_FLIP,
};

constexpr int kForever = DONGLE_FOREVER;

// A fault lets `after` matching requests pass, then applies to the next
// `count` (kForever: all further) matching ones. Each fault counts the
// requests it matches on its own, so several faults can be active at once;
// when more than one applies to a request, kUnplug wins over kFail, which
// wins over the others (kShort, kCorrupt, kFlip and kReportCount combine). Requests
// refused because the dongle is unplugged are not counted. On an open,
// kShort, kCorrupt, kFlip and kReportCount have no effect.
struct Fault {
  FaultOp op = FaultOp::kAny;
  int after = 0;
  int count = 1;
  FaultKind kind = FaultKind::kFail;
  std::uint32_t error = 31;  // ERROR_GEN_FAILURE
  std::uint32_t reportedCount = 0;
  std::uint32_t flipByte = 0;  // kFlip: below kMaxRequestLength
  std::uint32_t flipBit = 0;   // kFlip: 0-7
};

// A fault of `kind` on the requests of `op`, after `after` of them, `count`
// times (error 31 for a failure).
inline Fault MakeFault(FaultOp op, FaultKind kind, int after = 0, int count = 1) {
  Fault fault;
  fault.op = op;
  fault.kind = kind;
  fault.after = after;
  fault.count = count;
  return fault;
}

// A flip of bit `bit` of byte `byte` of what the requests of `op` carry,
// after `after` of them, `count` times.
inline Fault MakeFlip(FaultOp op, int after, int count, int byte, int bit) {
  Fault fault = MakeFault(op, FaultKind::kFlip, after, count);
  fault.flipByte = static_cast<std::uint32_t>(byte);
  fault.flipBit = static_cast<std::uint32_t>(bit);
  return fault;
}

// A reply of `op` that reports `reported` bytes whatever it carried, after
// `after` requests, `count` times.
inline Fault MakeCountFault(FaultOp op, std::uint32_t reported, int after = 0, int count = 1) {
  Fault fault = MakeFault(op, FaultKind::kReportCount, after, count);
  fault.reportedCount = reported;
  return fault;
}

// One request as the dongle received it.
struct WireRecord {
  enum class Kind { kIoControl, kRead };
  Kind kind = Kind::kIoControl;
  std::uint32_t code = 0;      // control code (kIoControl)
  std::uint32_t inSize = 0;    // size of the input buffer (kIoControl)
  std::uint32_t outSize = 0;   // size of the output buffer / requested read length
  std::uint16_t command = 0;   // the request fields; 0 where the input was too short
  std::uint16_t address = 0;
  std::uint16_t length = 0;
  std::array<std::uint8_t, kRequestSize> request{};  // the first 70 input bytes as received
  bool inputTailZero = true;   // every input byte after the first 70 was zero
  std::vector<std::uint8_t> payload;  // writes: the first `length` (<= 64) data bytes
  // The request never reached the driver: the dongle was unplugged, or the
  // handle belonged to an earlier plug-in. Such records are kept here (and
  // counted) but never written to the transcript.
  bool refused = false;
  bool ok = false;              // the call succeeded
  std::uint32_t error = 0;      // its system error code when it failed
  std::uint32_t returned = 0;   // the byte count reported when it succeeded
};

class SimDongle {
 public:
  explicit SimDongle(const SimDongleConfig& config = SimDongleConfig());
  SimDongle(const SimDongle&) = delete;
  SimDongle& operator=(const SimDongle&) = delete;

  // Back to a fresh dongle in the configured state: memory, faults, log and
  // counters reset; the hooks and handlers stay.
  void Reset(const SimDongleConfig& config = SimDongleConfig());

  // --- Presence. A plug-in is a new device object: handles opened before an
  // unplug keep failing after the next Plug(). Unplug() called from outside
  // does not run the onUnplug hook (the caller knows); the hook runs only for
  // unplugs the dongle causes itself (kUnplug faults, DisappearAfter). It
  // runs on the thread of the request that caused it, outside the dongle's
  // lock but while that request is still inside the dongle: it may ask the
  // dongle's state or queue a removal notification, but a request made from
  // it is an overlap.
  void Plug();
  void Unplug();
  bool IsPresent() const;
  void SetOnUnplug(std::function<void()> hook);

  // --- State, for tests and for the machine.
  std::uint8_t Mode() const;
  void SetMode(std::uint8_t mode);
  std::vector<std::uint8_t> ReadData(std::uint32_t address, std::uint32_t length) const;
  void WriteData(std::uint32_t address, const std::vector<std::uint8_t>& bytes);
  std::vector<std::uint8_t> ReadFlashBytes(std::uint32_t address, std::uint32_t length) const;
  void WriteFlashBytes(std::uint32_t address, const std::vector<std::uint8_t>& bytes);
  std::vector<std::uint8_t> Descriptor() const;
  void SetDescriptor(const std::vector<std::uint8_t>& descriptor);
  std::string InterfacePath() const;

  // --- Fault injection.
  void AddFault(const Fault& fault);
  void ClearFaults();
  // Unplug (and run the hook) once `requests` more requests have been
  // carried out; a negative value turns it off.
  void DisappearAfter(int requests);
  // Time every request spends inside the dongle, in microseconds.
  void SetLatencyMicros(std::uint32_t micros);

  // --- Wire log and counters. Every control call and descriptor read that
  // reaches the dongle (a known, open handle) is in the wire log, including
  // those the driver fails. Those refused because the dongle is unplugged or
  // the handle is stale did not reach the driver: they are in the wire log
  // with `refused` set and counted by RefusedCount(), but are not written to
  // the transcript and count neither for RequestCount(), faults nor
  // DisappearAfter(). Calls on closed or unknown handles never reach the
  // dongle.
  std::vector<WireRecord> WireLog() const;
  void ClearWireLog();
  void SetWireLogEnabled(bool on);  // on by default; counters run either way
  std::uint64_t RequestCount() const;   // requests that reached the driver
  std::uint64_t RefusedCount() const;   // requests refused unplugged / stale
  std::uint64_t OpenCount() const;      // successful opens
  // Transcript lines for requests and descriptor reads (off by default).
  void SetTranscriptLogging(bool on);

  // --- Overlap detection: two requests inside the dongle at once.
  using OverlapHandler = std::function<void(const std::string& what)>;
  // Default (also after passing nullptr): print to stderr and abort.
  void SetOverlapHandler(OverlapHandler handler);
  std::uint64_t OverlapCount() const;

  // --- The driver side, called by SimDeviceIo with the generation of the
  // handle's device object. Return false with *error set on failure.
  bool IoControl(std::uint64_t generation, std::uint32_t code, const void* in,
                 std::uint32_t inSize, void* out, std::uint32_t outSize,
                 std::uint32_t* returned, std::uint32_t* error);
  bool Read(std::uint64_t generation, void* buffer, std::uint32_t size, std::uint32_t* read,
            std::uint32_t* error);
  // An open of `path`: false with *error set when it fails; *generation is
  // the device object the handle belongs to.
  bool Open(const std::string& path, std::uint64_t* generation, std::uint32_t* error);

 private:
  using Effects = DongleEffects;
  class InFlight;

  void ApplyConfig(const SimDongleConfig& config);
  Effects TakeFaults(FaultOp op, bool isOpen);
  using Perform =
      std::function<bool(const Effects& effects, std::uint32_t* count, std::uint32_t* error)>;
  bool Serve(std::uint64_t generation, FaultOp op, WireRecord record, const Line& line,
             const Perform& perform, std::uint32_t* returned, std::uint32_t* error);
  void UnplugLocked();
  void WaitLatency() const;
  void ReportOverlap(const std::string& what);
  void Record(WireRecord record);
  bool CountRequestUnderLock();  // true when DisappearAfter is due
  bool Execute(std::uint32_t code, const std::uint8_t* in, std::uint32_t inSize,
               std::uint8_t* out, std::uint32_t outSize, const Effects& effects,
               std::uint32_t* returned, std::uint32_t* error);

  mutable std::mutex mutex_;
  // The mode byte, and the two areas stored in data_ and flash_.
  DongleMemory memory_{};
  std::vector<std::uint8_t> data_;
  std::vector<std::uint8_t> flash_;
  std::vector<std::uint8_t> descriptor_;
  std::string interfacePath_;
  bool present_ = true;
  std::uint64_t generation_ = 1;
  std::function<void()> onUnplug_;

  std::vector<DongleActiveFault> faults_;
  int disappearAfter_ = -1;
  std::atomic<std::uint32_t> latencyMicros_{0};

  std::vector<WireRecord> wireLog_;
  bool wireLogEnabled_ = true;
  bool transcript_ = false;
  std::uint64_t requests_ = 0;
  std::uint64_t refused_ = 0;
  std::uint64_t opens_ = 0;

  std::atomic<int> inFlight_{0};
  std::atomic<std::uint64_t> overlaps_{0};
  std::mutex handlerMutex_;
  OverlapHandler overlapHandler_;
};

}  // namespace sim
