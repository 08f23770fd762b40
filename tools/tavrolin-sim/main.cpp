// tavrolin-sim SCENARIO.json: runs the whole program headless on the
// simulated machine as the scenario says and prints the transcript as JSON
// Lines. Exit status: 0 the script ran through; 1 it stalled or could not be
// carried out (transcript so far, then one error line on stderr); 2 the
// scenario is malformed or unreadable (one error line, no transcript).
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "run_scenario.h"
#include "scenario.h"

namespace {

constexpr int kMalformed = 2;

// Error texts go out as one line whatever they hold.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

bool ReadFile(const std::string& path, std::string* text) {
  std::ifstream file(path, std::ios::binary);
  if (!file.is_open()) return false;
  try {
    text->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  } catch (const std::ios_base::failure&) {
    return false;  // a folder, say
  }
  return !file.bad();
}

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
  std::string text;
  if (!ReadFile(path, &text)) {
    std::cerr << "tavrolin-sim: cannot read " << path << "\n";
    return kMalformed;
  }
  scenario::Scenario parsed;
  std::string error;
  if (!scenario::Parse(text, &parsed, &error)) {
    std::cerr << "tavrolin-sim: malformed scenario: " << OneLine(error) << "\n";
    return kMalformed;
  }
  const scenario::Outcome outcome = scenario::Run(parsed);
  std::cout << outcome.transcript << std::flush;
  if (outcome.exitCode != 0) std::cerr << "tavrolin-sim: " << OneLine(outcome.error) << "\n";
  return outcome.exitCode;
}
