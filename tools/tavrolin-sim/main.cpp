// tavrolin-sim SCENARIO.json: runs the whole program headless on the
// simulated machine as the scenario says and prints the transcript as JSON
// Lines. Exit status: 0 the script ran through; 1 it stalled or could not be
// carried out (transcript so far, then one error line on stderr); 2 the
// scenario is malformed or unreadable (one error line, no transcript).
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "run_scenario.h"
#include "scenario.h"

namespace {

constexpr int kMalformed = 2;

int Usage() {
  std::cerr << "usage: tavrolin-sim SCENARIO.json\n";
  return kMalformed;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return Usage();
  const std::string path = argv[1];
  if (path == "-h" || path == "--help") {
    std::cout << "usage: tavrolin-sim SCENARIO.json\n"
                 "Runs the program headless on the simulated dongle as the scenario says and\n"
                 "prints the transcript as JSON Lines. Format: docs/scenarios.md.\n";
    return 0;
  }
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  if (!file || !(text << file.rdbuf())) {
    std::cerr << "tavrolin-sim: cannot read " << path << "\n";
    return kMalformed;
  }
  scenario::Scenario parsed;
  std::string error;
  if (!scenario::Parse(text.str(), &parsed, &error)) {
    std::cerr << "tavrolin-sim: malformed scenario: " << error << "\n";
    return kMalformed;
  }
  const scenario::Outcome outcome = scenario::Run(parsed);
  std::cout << outcome.transcript << std::flush;
  if (outcome.exitCode != 0) std::cerr << "tavrolin-sim: " << outcome.error << "\n";
  return outcome.exitCode;
}
