// How often the program repeats what the dongle refused, each limit with its reason.
#pragma once

// Failed flash calls in a row before giving up: programming holds the window thread, so a pulled
// dongle's removal goes unseen and only a count ends it. 64 calls outlast a busy endpoint or a bus
// reset, and cost under a millisecond on a dongle that is gone.
constexpr int kFlashRetryLimit = 64;

// Attempts per block write, and verification failures per page, before a
// page gives up.
constexpr int kBlockWriteAttempts = 9;
constexpr int kPageVerifyFailures = 9;
// Attempts at writing the identity bytes back and reading them back equal:
// the same allowance for transient trouble as a flash block gets.
constexpr int kIdentityWriteAttempts = kBlockWriteAttempts;
// Reads of a value the program acts on (identity, RF setting, band marker) until two agree: a
// flipped bit spoils one read, so two agree within a few unless the link keeps failing.
constexpr int kConfirmReads = kIdentityWriteAttempts;
// Attempts at writing an RF setting until it reads back as written, and again
// at putting the value before back when it never does.
constexpr int kRfWriteAttempts = kIdentityWriteAttempts;

// Empty descriptor reads in a row before the check gives up (sooner when the dongle is gone): a
// dongle that is there answers within a read or two, a pulled one never.
constexpr int kDescriptorEmptyReadLimit = 64;

// Enumeration calls repeated with the larger size they report: a real set answers the second, the
// bound stops a misbehaving one (the call then fails with ERROR_INSUFFICIENT_BUFFER).
constexpr int kSizeRequestLimit = 8;

// Failed openings after an arrival before the re-plug message: the one right
// after the arrival and this many more.
constexpr int kMaxOpenRetries = 10;
