// The writes of one press of Change: confirm, write and verify, put back.
#include "ui/rf_change.h"

#include "device/retry_policy.h"
#include "monitor/device_worker.h"
#include "ui/rf_texts.h"

namespace {

// A setting as the worker keeps it: the byte sign-extended.
int AsReading(std::uint8_t byte) { return static_cast<std::int8_t>(byte); }

}  // namespace

bool RfChange::Apply(std::uint16_t address, std::atomic<int>& reading, int value) {
  if (!CanHold(address, value)) return false;  // nothing written
  const int last = reading.load();
  std::uint8_t present = static_cast<std::uint8_t>(last);
  if (ReadConfirmed(&present, last != kRfUnknown, address, 1, kConfirmReads) != kStatusOk) {
    return false;
  }
  const auto byte = static_cast<std::uint8_t>(value);
  const WriteOutcome outcome = WriteVerified(&byte, address, 1, kRfWriteAttempts, OnFailedRequest::kStop);
  if (outcome.status == kStatusOk) {
    reading.store(value);
    return true;
  }
  reading.store(PutBack(address, present, outcome));
  return false;
}

int RfChange::PutBack(std::uint16_t address, std::uint8_t present, const WriteOutcome& outcome) {
  if (!outcome.MayHaveChanged(&present, 1)) return AsReading(present);
  if (DongleGone() || !CanHold(address, AsReading(present))) return kRfUnknown;
  const WriteOutcome putBack =
      WriteVerified(&present, address, 1, kRfWriteAttempts, OnFailedRequest::kStop);
  return putBack.status == kStatusOk ? AsReading(present) : kRfUnknown;
}

bool RfChange::CanHold(std::uint16_t address, int value) {
  if (address == ADDR_RF_GROUP) return value >= 0 && value < kRfGroupCount;
  if (value < 0 || value >= RfBandCount(true)) return false;
  if (value < RfBandCount(false)) return true;
  if (bandCount_ == BandCount::kUnread) {
    std::uint8_t marker = 0;
    const bool sixteen = ReadConfirmed(&marker, false, ADDR_BAND_MARKER, 1, kConfirmReads) == kStatusOk &&
                         marker == BAND_MARKER_16_BANDS;
    bandCount_ = sixteen ? BandCount::kSixteen : BandCount::kThirteen;
  }
  return bandCount_ == BandCount::kSixteen;
}
