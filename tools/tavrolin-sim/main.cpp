// tavrolin-sim SCENARIO.json: runs the whole program headless on the
// simulated machine as the scenario says and prints the transcript as JSON
// Lines. Exit status: 0 the script ran through; 1 it stalled or could not be
// carried out (transcript so far, then one error line on stderr); 2 the
// scenario is malformed or unreadable (one error line, no transcript).
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

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

// Scenario files are a few kilobytes. The bound keeps a runaway input (a
// generated file gone wrong, a device such as /dev/zero, a pipe that never
// ends) from taking all memory: more than this is refused without being read
// to its end.
constexpr std::size_t kMaxScenarioBytes = 4 * 1024 * 1024;

enum class ReadResult { kRead, kUnreadable, kTooLarge };

// The whole file, or kTooLarge as soon as more than kMaxScenarioBytes have
// come. A read error (a folder, say) makes it kUnreadable.
ReadResult ReadFile(const std::string& path, std::string* text) {
  std::ifstream file(path, std::ios::binary);
  if (!file.is_open()) return ReadResult::kUnreadable;
  std::vector<char> chunk(64 * 1024);
  while (file) {
    file.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    text->append(chunk.data(), static_cast<std::size_t>(file.gcount()));
    if (text->size() > kMaxScenarioBytes) return ReadResult::kTooLarge;
  }
  return file.bad() ? ReadResult::kUnreadable : ReadResult::kRead;
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
  switch (ReadFile(path, &text)) {
    case ReadResult::kRead: break;
    case ReadResult::kUnreadable:
      std::cerr << "tavrolin-sim: cannot read " << path << "\n";
      return kMalformed;
    case ReadResult::kTooLarge:
      std::cerr << "tavrolin-sim: malformed scenario: the file is larger than "
                << (kMaxScenarioBytes >> 20) << " MiB\n";
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
