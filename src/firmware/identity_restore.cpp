// The dongle's own identity bytes around an upgrade: confirmed by a second
// read before they are used, written back and verified after programming,
// and, when that restore fails, remembered for the rest of the run so that
// the retry the message asks for does not take the scrambled bytes for the
// dongle's own.
#include <cstddef>
#include <cstring>

#include "firmware/firmware_upgrader.h"

namespace {

bool SameIdentity(const std::uint8_t* a, const std::uint8_t* b) {
  return std::memcmp(a, b, IDENTITY_SIZE) == 0;
}

}  // namespace

bool FirmwareUpgrader::ConfirmIdentity() {
  std::uint8_t* const identity = m_info + offsetof(DeviceInfo, identity);
  std::uint8_t read[IDENTITY_SIZE];
  for (int reads = 0; reads < kIdentityConfirmReads; ++reads) {
    if (ReadDeviceData(read, ADDR_IDENTITY, IDENTITY_SIZE) != 0) return false;
    if (SameIdentity(read, identity)) {
      // Bytes a failed restore left behind are not this dongle's identity:
      // it gets the one that restore meant to write back.
      if (m_failedRestore.known && SameIdentity(read, m_failedRestore.left)) {
        std::memcpy(identity, m_failedRestore.intended, IDENTITY_SIZE);
      }
      return true;
    }
    std::memcpy(identity, read, IDENTITY_SIZE);  // the newest read, to be confirmed by the next
  }
  return false;
}

bool FirmwareUpgrader::RestoreIdentity() {
  // Sent as read from the device, without ScrambleBlock. A write that did not
  // take leaves wrong bytes in the identity area, and the next upgrade would
  // read them as the dongle's own and write them back for good: the write is
  // retried, as a flash block is, while the dongle is there.
  std::uint8_t send[IDENTITY_SIZE];
  std::memcpy(send, m_info + offsetof(DeviceInfo, identity), IDENTITY_SIZE);
  FailedRestore seen;
  for (int attempt = 1; attempt <= kIdentityWriteAttempts; ++attempt) {
    if (attempt > 1 && g_deviceAbsent.load() != 0) break;
    if (IdentityWritten(send, &seen)) {
      if (m_failedRestore.known && SameIdentity(send, m_failedRestore.intended)) {
        m_failedRestore.known = false;  // that dongle holds its identity again
      }
      return true;
    }
  }
  // Remembered only when the last thing seen of the dongle is a read-back
  // with no write after it; after a failed write or read what it holds is
  // not known, and the memory of an earlier failure stays.
  if (seen.known) {
    std::memcpy(seen.intended, send, IDENTITY_SIZE);
    m_failedRestore = seen;
  }
  return false;
}

// One attempt: write, read back, compare. *seen is what the dongle was last
// read back to hold (unknown from the write on until a read-back succeeds).
bool FirmwareUpgrader::IdentityWritten(const std::uint8_t* send, FailedRestore* seen) {
  seen->known = false;
  if (WriteDeviceData(send, ADDR_IDENTITY, IDENTITY_SIZE) != 0) return false;
  if (ReadDeviceData(seen->left, ADDR_IDENTITY, IDENTITY_SIZE) != 0) return false;
  seen->known = true;
  return SameIdentity(seen->left, send);
}
