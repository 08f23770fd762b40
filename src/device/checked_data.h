// Data-area bytes the program may act on, and writes it may trust. A reply
// can arrive whole with one wrong bit, so one read does not say what the
// dongle holds and one accepted write does not say what it stored: a value is
// taken when two reads in a row agree, and a write when it reads back equal.
#pragma once
#include <cstdint>

#include "device/vendor_request.h"

// The reads never agreed, or the bytes never read back as written.
constexpr std::uint32_t kStatusUnconfirmed = 1;

// The most bytes one data request carries.
constexpr std::uint16_t kMaxDataLength = sizeof(VendorRequest::data);

// Reads `length` (1 to 64) data bytes at `address` until two reads in a row
// agree, `reads` reads at most. With `lastKnown`, `bytes` holds on entry the
// program's last reading of them, which counts as the first of the two.
// kStatusOk with the agreed bytes in `bytes`; kStatusUnconfirmed when no two
// agreed; kStatusTooLong; or the status of the read that failed.
[[nodiscard]] std::uint32_t ReadConfirmed(std::uint8_t* bytes, bool lastKnown,
                                          std::uint16_t address, std::uint16_t length, int reads);

// Whether a failed request ends a verified write or counts as one more attempt.
enum class OnFailedRequest { kStop, kRetry };

// What a verified write saw of the dongle.
struct WriteOutcome {
  // kStatusOk: read back as written; kStatusUnconfirmed: the last read-back
  // differed; kStatusTooLong; or the status of the request that failed last.
  std::uint32_t status = kStatusUnconfirmed;
  // `held` is what the dongle was last read back to hold.
  bool seen = false;
  std::uint8_t held[kMaxDataLength] = {};
  // A write went out after that read-back, or before any: a write the driver
  // refused may still have reached the memory.
  bool changedSinceSeen = false;

  // The dongle may no longer hold `before` (`length` bytes).
  bool MayHaveChanged(const std::uint8_t* before, std::uint16_t length) const;
};

// Writes `length` (1 to 64) bytes at `address`, reads them back and compares;
// again while they differ (with kRetry also after a failed request), while the
// dongle is there, `attempts` times at most.
[[nodiscard]] WriteOutcome WriteVerified(const std::uint8_t* bytes, std::uint16_t address,
                                         std::uint16_t length, int attempts,
                                         OnFailedRequest onFailure);
