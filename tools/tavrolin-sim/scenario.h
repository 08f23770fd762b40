// A scenario: the simulated dongle's starting state and faults, and what the
// user does. Read from a JSON file; every key is optional, unknown keys and
// values are refused so that a typing error never passes silently.
#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace scenario {

struct Fault {
  std::string op;    // mode, data-read, data-write, flash-read, flash-write, descriptor, open, any
  int after = 0;     // matching requests let through first
  int count = 1;     // requests the fault applies to
  std::string kind;  // fail, short, corrupt, unplug, flip
  std::uint32_t error = 31;
  int byte = 0;      // flip: which byte of what the request carries
  int bit = 0;       // flip: which bit of it
};

struct Dongle {
  bool present = true;
  std::uint8_t mode = 0xCC;
  std::optional<std::array<std::uint8_t, 27>> info;
  std::map<std::uint16_t, std::uint8_t> data;
  std::optional<std::array<std::uint8_t, 18>> descriptor;
  std::vector<Fault> faults;
};

struct Action {
  enum class Kind { kClick, kAnswer, kSelect, kKey, kClose, kPlug, kUnplug };
  Kind kind = Kind::kClick;
  int id = 0;         // click, select
  int index = 0;      // select
  std::string value;  // answer: ok/yes/no; key: escape/enter
};

struct Scenario {
  std::optional<Dongle> dongle;  // none: no dongle plugged in at start
  std::vector<Action> user;
  // The flash requests and progress positions of each stretch of programming
  // shown as one line each, for scenarios about something else.
  bool foldFlash = false;
};

// Parses a scenario's text. On a malformed scenario returns false and sets
// error to one line naming the problem.
bool Parse(const std::string& text, Scenario* out, std::string* error);

// Describes an action for messages ("click 1090").
std::string Describe(const Action& action);

}  // namespace scenario
