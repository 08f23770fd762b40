// Programs the standard edition into the simulated dongle (512-byte pages),
// once per iteration, through the real request transport.
//
//   BM_ProgramNoLatency   CPU time of one upgrade; "requests" per upgrade.
//   BM_ProgramWithLatency every request spends 200 us in the dongle;
//                         "ratio" = wall time / (requests x 200 us), the
//                         share the program adds to the dongle's own time.
//
// Both check that an upgrade sends exactly the requests the protocol needs:
// 24 pages x (8 block writes + 8 read-backs) + 8 x 2 for the data block + 2
// for the identity, and that it ends in the success message.
//
//   cmake --build --preset native --target bench_program
//   build/native/tools/bench_program/bench_program
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#ifdef __linux__
#include <sys/prctl.h>
#endif

#include "device/vendor_request.h"
#include "firmware/firmware_upgrader.h"
#include "platform/platform.h"
#include "sim/machine/hooked_device_io.h"
#include "sim/machine/services_scope.h"
#include "sim/machine/sim_device_io.h"
#include "sim/machine/sim_dongle.h"
#include "sim/desktop/sim_resources.h"
#include "sim/desktop/program_reset.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint64_t kPages = PROGRAM_AREA_SIZE / LARGE_PAGE_SIZE;
constexpr std::uint64_t kBlocksPerPage = LARGE_PAGE_SIZE / FLASH_BLOCK_SIZE;
constexpr std::uint64_t kExpectedRequests = kPages * (kBlocksPerPage * 2) + 8 * 2 + 2;
static_assert(kExpectedRequests == 402, "24 x 16 + 16 + 2");

constexpr auto kLatency = std::chrono::microseconds(200);

// Waits a fixed time precisely: sleeps most of it, then spins to the
// deadline. A sleep overshoots what it asked for by the timer slack and the
// wake-up delay, so the part left to spin is what 99 of 100 sleeps on this
// machine overshoot, measured once at the start.
class PreciseWait {
 public:
  explicit PreciseWait(Clock::duration duration) : duration_(duration) {
#ifdef __linux__
    prctl(PR_SET_TIMERSLACK, 1UL);  // the default 50 us slack would be most of the overshoot
#endif
    if (duration_ <= Clock::duration::zero()) return;
    std::vector<Clock::duration> overshoot;
    const Clock::duration probe = duration_ / 2;
    for (int i = 0; i < 100; ++i) {
      const Clock::time_point start = Clock::now();
      std::this_thread::sleep_for(probe);
      overshoot.push_back(Clock::now() - start - probe);
    }
    std::sort(overshoot.begin(), overshoot.end());
    spin_ = std::min(duration_, overshoot[98] + std::chrono::microseconds(10));
  }

  void operator()() const {
    const Clock::time_point deadline = Clock::now() + duration_;
    if (duration_ > spin_) std::this_thread::sleep_for(duration_ - spin_);
    while (Clock::now() < deadline) {
    }
  }

  Clock::duration Spin() const { return spin_; }

 private:
  Clock::duration duration_;
  Clock::duration spin_ = Clock::duration::zero();
};

// The upgrade state without a window: progress and repaints go nowhere; the
// last message is kept to tell success from failure.
class HeadlessUpgrader : public FirmwareUpgrader {
 public:
  bool WindowExists() override { return true; }
  void SetProgressPos(int) override {}
  void RepaintProgressArea() override {}
  void EnableExit(bool) override {}
  int ShowMessage(const std::string& text, platform::BoxStyle) override {
    lastMessage = text;
    return platform::kIdOk;
  }
  std::string lastMessage;
};

// One simulated machine with an open dongle in 512-byte page mode and the
// images loaded.
class Bench {
 public:
  explicit Bench(Clock::duration latency)
      : wait_(latency),
        slowIo_(io_, [this] { wait_(); }),
        services_([this, latency](platform::Services& services) {
          services.io = latency.count() > 0 ? static_cast<platform::DeviceIo*>(&slowIo_) : &io_;
          services.resources = &resources_;
        }) {
    dongle_.SetWireLogEnabled(false);
    ResetProgramStateForTests();
    g_hDevice = io_.Open(sim::DefaultInterfacePath().c_str());
    g_largePages = true;
    ok_ = g_hDevice != platform::kInvalidHandle && upgrader_.LoadFirmwareImages() &&
          ReadDeviceInfo(upgrader_.m_info) == 0;
  }
  ~Bench() {
    io_.Close(g_hDevice);
    ResetProgramStateForTests();
  }

  bool Ready() const { return ok_; }
  // The part of each request's latency that is spun rather than slept.
  Clock::duration Spin() const { return wait_.Spin(); }

  // One upgrade; the number of requests it sent, or 0 when it failed.
  std::uint64_t Upgrade() {
    const std::uint64_t before = dongle_.RequestCount();
    upgrader_.lastMessage.clear();
    upgrader_.ProgramFirmware();
    if (upgrader_.lastMessage != kMsgUpgradeSucceeded) return 0;
    return dongle_.RequestCount() - before;
  }

 private:
  sim::SimDongle dongle_;
  sim::SimDeviceIo io_{dongle_};
  // The simulated device I/O with a fixed time spent in every control call.
  PreciseWait wait_;
  sim::HookedDeviceIo slowIo_;
  sim::SimResources resources_;
  HeadlessUpgrader upgrader_;
  platform::ServicesScope services_;
  bool ok_ = false;
};

bool CheckRequests(benchmark::State& state, std::uint64_t requests) {
  if (requests == kExpectedRequests) return true;
  state.SkipWithError(("upgrade sent " + std::to_string(requests) + " requests, expected " +
                       std::to_string(kExpectedRequests) + " (0: it failed)")
                          .c_str());
  return false;
}

void BM_ProgramNoLatency(benchmark::State& state) {
  Bench bench(Clock::duration::zero());
  if (!bench.Ready()) {
    state.SkipWithError("simulated machine not ready");
    return;
  }
  std::uint64_t requests = 0;
  for (auto _ : state) {
    requests = bench.Upgrade();
    if (!CheckRequests(state, requests)) break;
  }
  state.counters["requests"] = static_cast<double>(requests);
}
BENCHMARK(BM_ProgramNoLatency)->Unit(benchmark::kMicrosecond)->Iterations(50);

void BM_ProgramWithLatency(benchmark::State& state) {
  Bench bench(kLatency);
  if (!bench.Ready()) {
    state.SkipWithError("simulated machine not ready");
    return;
  }
  Clock::duration total{};
  std::uint64_t totalRequests = 0;
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    const std::uint64_t requests = bench.Upgrade();
    total += Clock::now() - start;
    if (!CheckRequests(state, requests)) break;
    totalRequests += requests;
  }
  const double dongleTime = std::chrono::duration<double>(kLatency).count() * static_cast<double>(totalRequests);
  state.counters["requests"] = static_cast<double>(kExpectedRequests);
  state.counters["spin_us"] = std::chrono::duration<double, std::micro>(bench.Spin()).count();
  state.counters["ratio"] = totalRequests > 0 ? std::chrono::duration<double>(total).count() / dongleTime : 0.0;
}
BENCHMARK(BM_ProgramWithLatency)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
