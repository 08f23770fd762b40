// The simulated machine of the demo build: a dongle of the standard edition,
// firmware 3.51, hardware 1, 512-byte pages, RF group 0, 16 starting bands
// with band 5 chosen, plugged in at start.
#pragma once

#include "sim/machine/sim_dongle.h"

namespace sim {

class SimMachine;

SimDongleConfig DemoDongleConfig();

// Makes the demo's machine (once) and installs its device I/O and device tree
// into the services in force.
SimMachine& InstallDemoMachine();

}  // namespace sim
