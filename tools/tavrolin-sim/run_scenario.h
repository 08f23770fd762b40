// Runs a scenario: the whole program on the simulated machine, with the
// scenario's dongle and faults, driven by its user script.
#pragma once
#include <string>

#include "sim/machine/sim_dongle.h"
#include "scenario.h"

namespace scenario {

// The dongle a scenario starts with: the demo dongle (standard edition,
// firmware "351", hardware "1", 512-byte pages, RF group 0, 16 bands, band 5)
// with the scenario's values over it. Without a dongle in the scenario it is
// the demo dongle, unplugged. Faults are not part of it.
sim::SimDongleConfig StartingDongle(const Scenario& scenario);

struct Outcome {
  int exitCode = 0;        // 0 the script ran through, 1 stall or script error
  std::string transcript;  // JSON Lines
  std::string error;       // one line when exitCode is 1
};

// Runs the program once. Only one run at a time in a process.
Outcome Run(const Scenario& scenario);

}  // namespace scenario
