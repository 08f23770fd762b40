// The dongle's own identity bytes around an upgrade: confirmed by a second
// read before they are used, written back and verified after programming,
// and, when that restore fails, remembered for the rest of the run so that
// the retry the message asks for does not take the scrambled bytes for the
// dongle's own. The RF group lives inside the identity bytes and the user may
// change it in between, so the memory leaves that byte out.
#include <cstddef>
#include <cstring>

#include "device/checked_data.h"
#include "firmware/firmware_upgrader.h"

namespace {

constexpr std::size_t kGroupInIdentity = ADDR_RF_GROUP - ADDR_IDENTITY;

bool SameOutsideGroup(const std::uint8_t* a, const std::uint8_t* b) {
  return std::memcmp(a, b, kGroupInIdentity) == 0 &&
         std::memcmp(a + kGroupInIdentity + 1, b + kGroupInIdentity + 1,
                     IDENTITY_SIZE - kGroupInIdentity - 1) == 0;
}

}  // namespace

bool FirmwareUpgrader::ConfirmIdentity() {
  std::uint8_t* const identity = m_info + offsetof(DeviceInfo, identity);
  if (ReadConfirmed(identity, true, ADDR_IDENTITY, IDENTITY_SIZE, kConfirmReads) != kStatusOk) {
    return false;
  }
  // Bytes a failed restore left behind are not this dongle's identity: it
  // gets the one that restore meant to write, with the group it has now if
  // the user has set it since (else that byte, too, may be the restore's).
  if (m_failedRestore.known && SameOutsideGroup(identity, m_failedRestore.left)) {
    const std::uint8_t group = identity[kGroupInIdentity];
    std::memcpy(identity, m_failedRestore.intended, IDENTITY_SIZE);
    if (m_failedRestore.groupChanged) identity[kGroupInIdentity] = group;
  }
  return true;
}

bool FirmwareUpgrader::RestoreIdentity() {
  // Sent as read from the device, without ScrambleBlock, and retried like a
  // flash block while the dongle is there: a write that did not take leaves
  // wrong bytes that the next upgrade would read as the dongle's own.
  std::uint8_t send[IDENTITY_SIZE];
  std::memcpy(send, m_info + offsetof(DeviceInfo, identity), IDENTITY_SIZE);
  WriteOutcome outcome =
      WriteVerified(send, ADDR_IDENTITY, IDENTITY_SIZE, kIdentityWriteAttempts, OnFailedRequest::kRetry);
  if (outcome.seen && outcome.status != kStatusOk && !DongleGone()) {
    // The last read-back may itself have arrived wrong: what the dongle holds
    // is read again until two reads agree, while it answers; agreed or not,
    // the newest bytes read are the best guess kept below.
    (void)ReadConfirmed(outcome.held, true, ADDR_IDENTITY, IDENTITY_SIZE, kConfirmReads);
  }
  if (outcome.seen && !SameOutsideGroup(outcome.held, send)) {
    // Kept even when a later attempt failed: the last bytes seen are the
    // best guess at what the dongle holds.
    m_failedRestore.known = true;
    m_failedRestore.groupChanged = false;
    std::memcpy(m_failedRestore.intended, send, IDENTITY_SIZE);
    std::memcpy(m_failedRestore.left, outcome.held, IDENTITY_SIZE);
  } else if (outcome.seen && m_failedRestore.known &&
             SameOutsideGroup(send, m_failedRestore.intended)) {
    m_failedRestore.known = false;  // that dongle holds its identity again
  }
  return outcome.status == kStatusOk;
}
