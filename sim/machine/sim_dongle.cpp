// The simulated dongle: request handling through the shared device model,
// fault injection, wire log and overlap detection.
#include "sim/machine/sim_dongle.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>

#include "platform/os_types.h"
#include "sim/machine/system_errors.h"
#include "sim/machine/transcript.h"

namespace sim {
namespace {

// The protocol as the dongle's driver knows it (the shared device model).
// Kept apart from the tool's own constants so that a wrong value on either
// side shows.
constexpr std::uint32_t kIoctlVendorRead = DONGLE_IOCTL_VENDOR_READ;
constexpr std::uint32_t kIoctlVendorWrite = DONGLE_IOCTL_VENDOR_WRITE;
constexpr std::uint32_t kDataOffset = DONGLE_PAYLOAD_OFFSET;  // the payload inside the request

bool EqualsIgnoreCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

DongleFault ModelFault(const Fault& fault) {
  DongleFault model;
  model.op = static_cast<std::uint32_t>(fault.op);
  model.kind = static_cast<std::uint32_t>(fault.kind);
  model.after = fault.after;
  model.count = fault.count;
  model.error = fault.error;
  model.reportedCount = fault.reportedCount;
  model.flipByte = fault.flipByte;
  model.flipBit = fault.flipBit;
  return model;
}

void CopyInto(std::vector<std::uint8_t>* memory, std::uint32_t address,
              const std::vector<std::uint8_t>& bytes) {
  if (address >= memory->size()) return;
  const std::size_t n = std::min<std::size_t>(bytes.size(), memory->size() - address);
  std::copy_n(bytes.begin(), n, memory->begin() + address);
}

std::vector<std::uint8_t> CopyOut(const std::vector<std::uint8_t>& memory, std::uint32_t address,
                                  std::uint32_t length) {
  if (address >= memory.size()) return {};
  const std::size_t n = std::min<std::size_t>(length, memory.size() - address);
  return std::vector<std::uint8_t>(memory.begin() + address, memory.begin() + address + n);
}

}  // namespace

std::vector<std::uint8_t> DefaultDescriptor() {
  return {kDongleDefaultDescriptor, kDongleDefaultDescriptor + DONGLE_DESCRIPTOR_SIZE};
}

std::string DefaultInterfacePath() {
  return "\\\\?\\usb#vid_054c&pid_0268#5&1a2b3c4d&0&1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
}

std::vector<std::uint8_t> DefaultDeviceInfo() {
  return {kDongleDefaultDeviceInfo, kDongleDefaultDeviceInfo + DONGLE_DEVICE_INFO_SIZE};
}

// Counts the requests inside the dongle; a second one reports an overlap.
class SimDongle::InFlight {
 public:
  InFlight(SimDongle& dongle, const char* what) : dongle_(dongle) {
    if (dongle_.inFlight_.fetch_add(1) != 0) {
      dongle_.ReportOverlap(std::string(what) + " while another request was inside the dongle");
    }
  }
  ~InFlight() { dongle_.inFlight_.fetch_sub(1); }
  InFlight(const InFlight&) = delete;
  InFlight& operator=(const InFlight&) = delete;

 private:
  SimDongle& dongle_;
};

SimDongle::SimDongle(const SimDongleConfig& config) { ApplyConfig(config); }

void SimDongle::Reset(const SimDongleConfig& config) {
  std::lock_guard<std::mutex> lock(mutex_);
  ApplyConfig(config);
}

void SimDongle::ApplyConfig(const SimDongleConfig& config) {
  memory_.mode = config.mode;
  data_.assign(kDongleMemorySize, 0x00);
  CopyInto(&data_, 0, config.dataArea);
  CopyInto(&data_, 0, config.deviceInfo.empty() ? DefaultDeviceInfo() : config.deviceInfo);
  if (config.rfGroup >= 0) data_[DONGLE_ADDR_RF_GROUP] = static_cast<std::uint8_t>(config.rfGroup);
  if (config.bandMarker >= 0) {
    data_[DONGLE_ADDR_BAND_MARKER] = static_cast<std::uint8_t>(config.bandMarker);
  }
  if (config.startBand >= 0) {
    data_[DONGLE_ADDR_START_BAND] = static_cast<std::uint8_t>(config.startBand);
  }
  flash_.assign(kDongleMemorySize, 0xFF);
  CopyInto(&flash_, 0, config.flash);
  memory_.data = data_.data();
  memory_.flash = flash_.data();
  descriptor_ = config.descriptor.empty() ? DefaultDescriptor() : config.descriptor;
  interfacePath_ = config.interfacePath.empty() ? DefaultInterfacePath() : config.interfacePath;
  if (config.present) {
    present_ = true;
  } else {
    UnplugLocked();
  }
  faults_.clear();
  disappearAfter_ = -1;
  latencyMicros_.store(0);
  wireLog_.clear();
  wireLogEnabled_ = true;
  transcript_ = false;
  requests_ = 0;
  refused_ = 0;
  opens_ = 0;
  overlaps_.store(0);
}

// --- Presence ---------------------------------------------------------------

void SimDongle::Plug() {
  std::lock_guard<std::mutex> lock(mutex_);
  present_ = true;
}

void SimDongle::Unplug() {
  std::lock_guard<std::mutex> lock(mutex_);
  UnplugLocked();
}

void SimDongle::UnplugLocked() {
  if (!present_) return;
  present_ = false;
  ++generation_;  // the next plug-in is a new device object
}

bool SimDongle::IsPresent() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return present_;
}

void SimDongle::SetOnUnplug(std::function<void()> hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  onUnplug_ = std::move(hook);
}

// --- State --------------------------------------------------------------------

std::uint8_t SimDongle::Mode() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return memory_.mode;
}

void SimDongle::SetMode(std::uint8_t mode) {
  std::lock_guard<std::mutex> lock(mutex_);
  memory_.mode = mode;
}

std::vector<std::uint8_t> SimDongle::ReadData(std::uint32_t address, std::uint32_t length) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return CopyOut(data_, address, length);
}

void SimDongle::WriteData(std::uint32_t address, const std::vector<std::uint8_t>& bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  CopyInto(&data_, address, bytes);
}

std::vector<std::uint8_t> SimDongle::ReadFlashBytes(std::uint32_t address,
                                                    std::uint32_t length) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return CopyOut(flash_, address, length);
}

void SimDongle::WriteFlashBytes(std::uint32_t address, const std::vector<std::uint8_t>& bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  CopyInto(&flash_, address, bytes);
}

std::vector<std::uint8_t> SimDongle::Descriptor() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return descriptor_;
}

void SimDongle::SetDescriptor(const std::vector<std::uint8_t>& descriptor) {
  std::lock_guard<std::mutex> lock(mutex_);
  descriptor_ = descriptor;
}

std::string SimDongle::InterfacePath() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return interfacePath_;
}

// --- Faults -------------------------------------------------------------------

void SimDongle::AddFault(const Fault& fault) {
  std::lock_guard<std::mutex> lock(mutex_);
  const DongleFault model = ModelFault(fault);
  faults_.push_back(DongleActivateFault(&model));
}

void SimDongle::ClearFaults() {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_.clear();
}

void SimDongle::DisappearAfter(int requests) {
  std::function<void()> hook;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (requests == 0) {
      disappearAfter_ = -1;
      if (present_) {
        UnplugLocked();
        hook = onUnplug_;
      }
    } else {
      disappearAfter_ = requests < 0 ? -1 : requests;
    }
  }
  if (hook) hook();
}

void SimDongle::SetLatencyMicros(std::uint32_t micros) { latencyMicros_.store(micros); }

SimDongle::Effects SimDongle::TakeFaults(FaultOp op, bool isOpen) {
  return DongleTakeFaults(faults_.data(), static_cast<std::uint32_t>(faults_.size()),
                          static_cast<std::uint32_t>(op), isOpen ? 1 : 0);
}

bool SimDongle::CountRequestUnderLock() {
  ++requests_;
  if (disappearAfter_ > 0 && --disappearAfter_ == 0) {
    disappearAfter_ = -1;
    return true;
  }
  return false;
}

void SimDongle::WaitLatency() const {
  const std::uint32_t micros = latencyMicros_.load();
  if (micros == 0) return;
  const auto duration = std::chrono::microseconds(micros);
  if (micros >= 1000) {
    std::this_thread::sleep_for(duration);
    return;
  }
  const auto deadline = std::chrono::steady_clock::now() + duration;
  while (std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
}

// --- Logs and counters ----------------------------------------------------------

void SimDongle::Record(WireRecord record) {
  if (wireLogEnabled_) wireLog_.push_back(std::move(record));
}

std::vector<WireRecord> SimDongle::WireLog() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return wireLog_;
}

void SimDongle::ClearWireLog() {
  std::lock_guard<std::mutex> lock(mutex_);
  wireLog_.clear();
}

void SimDongle::SetWireLogEnabled(bool on) {
  std::lock_guard<std::mutex> lock(mutex_);
  wireLogEnabled_ = on;
}

std::uint64_t SimDongle::RequestCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

std::uint64_t SimDongle::RefusedCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return refused_;
}

std::uint64_t SimDongle::OpenCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return opens_;
}

void SimDongle::SetTranscriptLogging(bool on) {
  std::lock_guard<std::mutex> lock(mutex_);
  transcript_ = on;
}

// --- Overlap detection ----------------------------------------------------------

void SimDongle::SetOverlapHandler(OverlapHandler handler) {
  std::lock_guard<std::mutex> lock(handlerMutex_);
  overlapHandler_ = std::move(handler);
}

std::uint64_t SimDongle::OverlapCount() const { return overlaps_.load(); }

void SimDongle::ReportOverlap(const std::string& what) {
  overlaps_.fetch_add(1);
  {
    // An overlap is reported by both requests that meet, from two threads at
    // once: the handler hears them one at a time.
    std::lock_guard<std::mutex> lock(handlerMutex_);
    if (overlapHandler_) {
      overlapHandler_(what);
      return;
    }
  }
  std::fprintf(stderr, "simulated dongle: overlapping requests: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

// --- The driver -----------------------------------------------------------------

bool SimDongle::IoControl(std::uint64_t generation, std::uint32_t code, const void* in,
                          std::uint32_t inSize, void* out, std::uint32_t outSize,
                          std::uint32_t* returned, std::uint32_t* error) {
  InFlight flight(*this, "control call");
  WaitLatency();

  const auto* inBytes = static_cast<const std::uint8_t*>(in);
  auto* outBytes = static_cast<std::uint8_t*>(out);
  const std::uint32_t inAvailable = inBytes != nullptr ? inSize : 0;

  WireRecord record;
  record.kind = WireRecord::Kind::kIoControl;
  record.code = code;
  record.inSize = inSize;
  record.outSize = outSize;
  record.command = DongleRequestU16(inBytes, inAvailable, 0);
  record.address = DongleRequestU16(inBytes, inAvailable, 2);
  record.length = DongleRequestU16(inBytes, inAvailable, 4);
  const std::uint32_t head = std::min(inAvailable, kRequestSize);
  if (head > 0) std::memcpy(record.request.data(), inBytes, head);
  for (std::uint32_t i = kRequestSize; i < inAvailable; ++i) {
    if (inBytes[i] != 0) {
      record.inputTailZero = false;
      break;
    }
  }
  const bool isWrite = code == kIoctlVendorWrite;
  if (isWrite && inAvailable > kDataOffset) {
    const std::uint32_t n = std::min({static_cast<std::uint32_t>(record.length),
                                      kMaxRequestLength, inAvailable - kDataOffset});
    record.payload.assign(inBytes + kDataOffset, inBytes + kDataOffset + n);
  }

  Line line;
  line.Str("event", "request");
  if (code == kIoctlVendorRead) {
    line.Str("ioctl", "read");
  } else if (isWrite) {
    line.Str("ioctl", "write");
  } else {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
    line.Str("ioctl", text);
  }
  line.Num("command", record.command).Num("address", record.address).Num("length", record.length);
  if (isWrite) line.Str("data", HexLower(record.payload.data(), record.payload.size()));

  const auto op = static_cast<FaultOp>(DongleClassify(code, record.command));
  return Serve(generation, op, std::move(record), line,
               [&](const Effects& effects, std::uint32_t* count, std::uint32_t* err) {
                 return Execute(code, inBytes, inAvailable, outBytes,
                                outBytes != nullptr ? outSize : 0, effects, count, err);
               },
               returned, error);
}

// One request through the dongle: its faults, its refusal when the dongle is
// unplugged or the handle is stale (such a request never reaches the driver:
// it is counted and kept in the wire log, not in the transcript), the
// transcript line, the request count with a due disappearance, and the wire
// record. `perform` carries the request out.
bool SimDongle::Serve(std::uint64_t generation, FaultOp op, WireRecord record, const Line& line,
                      const Perform& perform, std::uint32_t* returned, std::uint32_t* error) {
  std::function<void()> hook;
  bool ok = false;
  std::uint32_t err = 0;
  std::uint32_t count = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Effects effects{};
    if (present_ && generation == generation_) {
      effects = TakeFaults(op, false);
      if (effects.unplug) {
        UnplugLocked();
        hook = onUnplug_;
      }
    }
    if (!present_ || generation != generation_) {
      ++refused_;
      err = platform::kErrorDeviceNotConnected;
      record.refused = true;
    } else {
      if (transcript_) TheTranscript().Add(line);
      const bool disappear = CountRequestUnderLock();
      ok = perform(effects, &count, &err);
      if (disappear) {
        UnplugLocked();
        hook = onUnplug_;
      }
    }
    record.ok = ok;
    record.error = ok ? 0 : err;
    record.returned = ok ? count : 0;
    Record(std::move(record));
  }
  if (hook) hook();
  if (returned != nullptr) *returned = ok ? count : 0;
  if (!ok && error != nullptr) *error = err;
  return ok;
}

bool SimDongle::Execute(std::uint32_t code, const std::uint8_t* in, std::uint32_t inSize,
                        std::uint8_t* out, std::uint32_t outSize, const Effects& effects,
                        std::uint32_t* returned, std::uint32_t* error) {
  switch (DongleExecute(&memory_, code, in, inSize, out, outSize, &effects, returned)) {
    case DONGLE_DONE:
      return true;
    case DONGLE_FAILED:
      *error = effects.error;
      return false;
    case DONGLE_BUFFER_TOO_SMALL:
      *error = platform::kErrorInsufficientBuffer;
      return false;
    default:
      *error = sim::kErrorInvalidParameter;
      return false;
  }
}

bool SimDongle::Read(std::uint64_t generation, void* buffer, std::uint32_t size,
                     std::uint32_t* read, std::uint32_t* error) {
  InFlight flight(*this, "descriptor read");
  WaitLatency();

  WireRecord record;
  record.kind = WireRecord::Kind::kRead;
  record.outSize = size;

  const Line line = Line().Str("event", "readfile").Num("length", size);
  return Serve(generation, FaultOp::kDescriptor, std::move(record), line,
               [&](const Effects& effects, std::uint32_t* count, std::uint32_t* err) {
                 if (effects.fail) {
                   *err = effects.error;
                   return false;
                 }
                 if (buffer == nullptr && size > 0) {
                   *err = sim::kErrorInvalidParameter;
                   return false;
                 }
                 *count = DongleReadDescriptor(descriptor_.data(),
                                               static_cast<std::uint32_t>(descriptor_.size()),
                                               static_cast<std::uint8_t*>(buffer), size, &effects);
                 return true;
               },
               read, error);
}

bool SimDongle::Open(const std::string& path, std::uint64_t* generation, std::uint32_t* error) {
  std::function<void()> hook;
  bool ok = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    *error = sim::kErrorFileNotFound;
    if (present_ && EqualsIgnoreCase(path, interfacePath_)) {
      const Effects effects = TakeFaults(FaultOp::kOpen, true);
      if (effects.unplug) {
        UnplugLocked();
        hook = onUnplug_;
      } else if (effects.fail) {
        *error = effects.error;
      } else {
        ++opens_;
        *generation = generation_;
        ok = true;
      }
    }
  }
  if (hook) hook();
  return ok;
}

}  // namespace sim
