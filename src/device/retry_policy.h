// How often the program repeats what the dongle refused, each limit with its
// reason: the flash calls, the page writer, the identity check and write-back,
// the RF settings' write-back, the descriptor read, the enumeration's size
// requests and the worker's openings.
#pragma once

// How many failed control calls in a row the flash routines absorb before
// they give up with the last system error code: a dongle that was pulled out,
// or a closed handle, fails every call.
// Why a count and not only g_deviceAbsent: the flash routines run on the
// window thread inside the programming sequence, which does not pump the
// window's messages, so the removal notification that would set
// g_deviceAbsent cannot be handled while the loop runs, and the
// worker, which closes the handle, waits for that very notification. Only a
// bound inside the loop can end it. 64 calls in a row: a transient refusal
// (a busy endpoint, a bus reset) clears within a few immediate retries, while
// 64 back-to-back failures cost well under a millisecond on a dongle that is
// gone; the page writer adds its own 9 attempts per block above this.
// g_deviceAbsent, when it is set all the same (by the worker's failed open),
// ends the loop at the first failed call.
constexpr int kFlashRetryLimit = 64;

// Attempts per block write, and verification failures per page, before a
// page gives up.
constexpr int kBlockWriteAttempts = 9;
constexpr int kPageVerifyFailures = 9;
// Attempts at writing the identity bytes back and reading them back equal:
// the same allowance for transient trouble as a flash block gets.
constexpr int kIdentityWriteAttempts = kBlockWriteAttempts;
// Reads of a value the program will act on (the identity, an RF setting, the
// band-count marker) while two in a row disagree: one flipped bit spoils one
// read, so two agree within a few unless the link keeps failing.
constexpr int kConfirmReads = kIdentityWriteAttempts;
// Attempts at writing an RF setting until it reads back as written, and again
// at putting the value before back when it never does.
constexpr int kRfWriteAttempts = kIdentityWriteAttempts;

// A read that returns no bytes is repeated at once. The dongle answers the
// descriptor read within a read or two when it is there; when it has been
// pulled out every read comes back empty, so the check gives up once
// g_deviceAbsent is set or after this many empty reads in a row.
constexpr int kDescriptorEmptyReadLimit = 64;

// A size request that fails for want of space is repeated with the size the
// call reported. A real set answers the second call; the bound (and the
// demand that the reported size grows) keeps a misbehaving enumeration from
// turning the search into an endless loop. Past it the call counts as failed
// with ERROR_INSUFFICIENT_BUFFER.
constexpr int kSizeRequestLimit = 8;

// Failed openings after an arrival before the re-plug message: the one right
// after the arrival and this many more.
constexpr int kMaxOpenRetries = 10;
