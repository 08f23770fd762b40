// One press of Change in the RF dialog as the dongle sees it: a setting's
// present value is confirmed before it is first written, the new value is
// written and verified, and when it never takes, the present value is put
// back if the dongle can hold it. A band of 13 or more needs a band count of
// 16 confirmed by two agreeing reads of the marker, to be written or put back.
#pragma once
#include <atomic>
#include <cstdint>

#include "device/checked_data.h"

class RfChange {
 public:
  // Sets the setting at `address` (ADDR_RF_GROUP or ADDR_START_BAND) to
  // `value`. `reading` is the program's last reading of it (the worker's at
  // connection, or the last verified write) and afterwards holds what the
  // dongle is known to hold, kRfUnknown when that is not known. true when
  // the value read back as written; false when the shared error is due.
  [[nodiscard]] bool Apply(std::uint16_t address, std::atomic<int>& reading, int value);

 private:
  // The value is one the dongle can hold at that address.
  bool CanHold(std::uint16_t address, int value);
  // After a change that did not take: puts `present` back when the dongle
  // may hold something else; returns what the dongle is known to hold.
  int PutBack(std::uint16_t address, std::uint8_t present, const WriteOutcome& outcome);

  enum class BandCount { kUnread, kThirteen, kSixteen };
  BandCount bandCount_ = BandCount::kUnread;
};
