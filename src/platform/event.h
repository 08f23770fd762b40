// An auto-reset event: stays signalled until one wait consumes it; nothing
// resets it by hand. Built on the standard library so that both builds and the
// thread sanitizer see the same code.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace platform {

constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

enum class WaitResult { kSignaled, kTimeout };

class AutoResetEvent {
 public:
  AutoResetEvent() = default;
  AutoResetEvent(const AutoResetEvent&) = delete;
  AutoResetEvent& operator=(const AutoResetEvent&) = delete;

  void Set();
  // Waits at most timeoutMs (kInfinite: no limit) and consumes the signal.
  WaitResult Wait(std::uint32_t timeoutMs);

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool signaled_ = false;
};

}  // namespace platform
