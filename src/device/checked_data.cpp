// The confirmed read and the verified write of data-area bytes.
#include "device/checked_data.h"

#include <cstring>

std::uint32_t ReadConfirmed(std::uint8_t* bytes, bool lastKnown, std::uint16_t address,
                            std::uint16_t length, int reads) {
  if (length > kMaxDataLength) return kStatusTooLong;
  std::uint8_t read[kMaxDataLength];
  bool previous = lastKnown;
  for (int n = 0; n < reads; ++n) {
    const std::uint32_t status = ReadDeviceData(read, address, length);
    if (status != kStatusOk) return status;
    if (previous && std::memcmp(read, bytes, length) == 0) return kStatusOk;
    std::memcpy(bytes, read, length);  // the newest read, to be confirmed by the next
    previous = true;
  }
  return kStatusUnconfirmed;
}

bool WriteOutcome::MayHaveChanged(const std::uint8_t* before, std::uint16_t length) const {
  return changedSinceSeen || (seen && std::memcmp(held, before, length) != 0);
}

WriteOutcome WriteVerified(const std::uint8_t* bytes, std::uint16_t address, std::uint16_t length,
                           int attempts, OnFailedRequest onFailure) {
  WriteOutcome outcome;
  if (length > kMaxDataLength) {
    outcome.status = kStatusTooLong;
    return outcome;
  }
  std::uint8_t readBack[kMaxDataLength];
  for (int attempt = 1; attempt <= attempts; ++attempt) {
    if (attempt > 1 && DongleGone()) break;
    outcome.changedSinceSeen = true;
    outcome.status = WriteDeviceData(bytes, address, length);
    if (outcome.status == kStatusOk) outcome.status = ReadDeviceData(readBack, address, length);
    if (outcome.status != kStatusOk) {
      if (onFailure == OnFailedRequest::kStop) break;
      continue;
    }
    std::memcpy(outcome.held, readBack, length);
    outcome.seen = true;
    outcome.changedSinceSeen = false;
    if (std::memcmp(readBack, bytes, length) == 0) break;
    outcome.status = kStatusUnconfirmed;
  }
  return outcome;
}
