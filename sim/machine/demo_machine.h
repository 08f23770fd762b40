// The simulated machine of the demo build: a dongle of the standard edition,
// firmware 3.51, hardware 1, 512-byte pages, RF group 0, 16 starting bands
// with band 5 chosen, plugged in at start.
#pragma once

#include <cstdint>

#include "sim/machine/sim_dongle.h"

namespace sim {

class SimMachine;

// Time the demo's dongle spends on each request: a dongle on the USB bus
// takes milliseconds where the simulated one of the headless tests answers
// at once. The wait is a sleep, which the system rounds up (by about 2 ms
// under Wine; on Windows to its timer tick, often 15.6 ms): at 10 ms the 404
// requests of an upgrade in 512-byte pages take about 5 s, and the progress
// bar can be watched as it fills.
constexpr std::uint32_t kDemoLatencyMicros = 10000;

SimDongleConfig DemoDongleConfig();

// Makes the demo's machine (once), with its dongle's time per request, and
// installs its device I/O and device tree into the services in force.
SimMachine& InstallDemoMachine();

}  // namespace sim
