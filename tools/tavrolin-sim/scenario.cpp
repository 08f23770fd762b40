// Reading scenario files with nlohmann::json and checking every value.
#include "scenario.h"

#include <cctype>
#include <nlohmann/json.hpp>
#include <set>
#include <stdexcept>
#include <vector>

namespace scenario {
namespace {

using nlohmann::json;

// A malformed scenario; caught at the top and turned into the error line.
struct Bad : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A text from the scenario in quotes, its control characters written as
// \u00XX: the error stays one line, and a NUL cannot cut it short.
std::string Quoted(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      static const char kHex[] = "0123456789abcdef";
      quoted += "\\u00";
      quoted += kHex[byte >> 4];
      quoted += kHex[byte & 0xF];
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

void OnlyKeys(const json& object, const std::string& where, const std::set<std::string>& keys) {
  if (!object.is_object()) throw Bad(where + " must be an object");
  for (const auto& item : object.items()) {
    if (keys.count(item.key()) == 0) throw Bad("unknown key " + Quoted(item.key()) + " in " + where);
  }
}

long long Integer(const json& value, const std::string& what, long long low, long long high) {
  if (!value.is_number_integer() && !value.is_number_unsigned()) {
    throw Bad(what + " must be a whole number");
  }
  const long long number = value.get<long long>();
  if (number < low || number > high) {
    throw Bad(what + " must be from " + std::to_string(low) + " to " + std::to_string(high));
  }
  return number;
}

std::string Text(const json& value, const std::string& what) {
  if (!value.is_string()) throw Bad(what + " must be a string");
  return value.get<std::string>();
}

bool Flag(const json& value, const std::string& what) {
  if (!value.is_boolean()) throw Bad(what + " must be true or false");
  return value.get<bool>();
}

template <std::size_t N>
std::array<std::uint8_t, N> Hex(const json& value, const std::string& what) {
  std::string digits;
  for (char c : Text(value, what)) {
    if (c == ' ') continue;
    if (!std::isxdigit(static_cast<unsigned char>(c))) throw Bad(what + " holds a character that is not hex");
    digits += c;
  }
  if (digits.size() != 2 * N) {
    throw Bad(what + " must be " + std::to_string(N) + " bytes of hex (" + std::to_string(2 * N) +
              " digits), not " + std::to_string(digits.size()) + " digits");
  }
  std::array<std::uint8_t, N> bytes{};
  for (std::size_t i = 0; i < N; ++i) {
    bytes[i] = static_cast<std::uint8_t>(std::stoi(digits.substr(2 * i, 2), nullptr, 16));
  }
  return bytes;
}

std::string OneOf(const json& value, const std::string& what, const std::set<std::string>& allowed) {
  const std::string text = Text(value, what);
  if (allowed.count(text) == 0) throw Bad("unknown " + what + " " + Quoted(text));
  return text;
}

Fault ParseFault(const json& item, std::size_t index) {
  const std::string where = "dongle.faults[" + std::to_string(index) + "]";
  OnlyKeys(item, where, {"op", "after", "count", "kind", "error", "byte", "bit"});
  if (!item.contains("op")) throw Bad(where + " needs \"op\"");
  if (!item.contains("kind")) throw Bad(where + " needs \"kind\"");
  Fault fault;
  fault.op = OneOf(item["op"], "fault op",
                   {"mode", "data-read", "data-write", "flash-read", "flash-write", "descriptor",
                    "open", "any"});
  fault.kind = OneOf(item["kind"], "fault kind", {"fail", "short", "corrupt", "unplug", "flip"});
  if (fault.op == "open" && (fault.kind == "short" || fault.kind == "corrupt" || fault.kind == "flip")) {
    throw Bad(where + ": an open returns no bytes, so \"" + fault.kind + "\" does not apply to it");
  }
  // The worker thread opens the dongle, and the removal notice of an unplug
  // there is handled by the window thread: whether the worker's failed open
  // sees it yet is a matter of timing, so no transcript could be promised.
  if (fault.op == "open" && fault.kind == "unplug") {
    throw Bad(where + ": an unplug during an open races the removal notice, so its run "
                      "cannot be repeated byte for byte");
  }
  if (item.contains("after")) fault.after = static_cast<int>(Integer(item["after"], where + ".after", 0, 1000000));
  if (item.contains("count")) fault.count = static_cast<int>(Integer(item["count"], where + ".count", 1, 1000000));
  if (item.contains("error")) {
    fault.error = static_cast<std::uint32_t>(Integer(item["error"], where + ".error", 1, 0xFFFFFFFFLL));
  }
  if ((item.contains("byte") || item.contains("bit")) && fault.kind != "flip") {
    throw Bad(where + ": \"byte\" and \"bit\" name the bit of a \"flip\" only");
  }
  if (item.contains("byte")) fault.byte = static_cast<int>(Integer(item["byte"], where + ".byte", 0, 63));
  if (item.contains("bit")) fault.bit = static_cast<int>(Integer(item["bit"], where + ".bit", 0, 7));
  return fault;
}

void ParseData(const json& data, Dongle* dongle) {
  if (!data.is_object()) throw Bad("dongle.data must be an object");
  for (const auto& item : data.items()) {
    const std::string& key = item.key();
    if (key.empty() || key.size() > 5 ||
        key.find_first_not_of("0123456789") != std::string::npos || std::stol(key) > 0xFFFF) {
      throw Bad("dongle.data address " + Quoted(key) + " must be a decimal number from 0 to 65535");
    }
    dongle->data[static_cast<std::uint16_t>(std::stol(key))] =
        static_cast<std::uint8_t>(Integer(item.value(), "dongle.data[\"" + key + "\"]", 0, 255));
  }
}

Dongle ParseDongle(const json& object) {
  OnlyKeys(object, "dongle", {"present", "mode", "info", "data", "descriptor", "faults"});
  Dongle dongle;
  if (object.contains("present")) dongle.present = Flag(object["present"], "dongle.present");
  if (object.contains("mode")) dongle.mode = static_cast<std::uint8_t>(Integer(object["mode"], "dongle.mode", 0, 255));
  if (object.contains("info")) dongle.info = Hex<27>(object["info"], "dongle.info");
  if (object.contains("data")) ParseData(object["data"], &dongle);
  if (object.contains("descriptor")) dongle.descriptor = Hex<18>(object["descriptor"], "dongle.descriptor");
  if (object.contains("faults")) {
    const json& faults = object["faults"];
    if (!faults.is_array()) throw Bad("dongle.faults must be a list");
    for (std::size_t i = 0; i < faults.size(); ++i) dongle.faults.push_back(ParseFault(faults[i], i));
  }
  return dongle;
}

Action ParseAction(const json& item, std::size_t index) {
  const std::string where = "user[" + std::to_string(index) + "]";
  if (!item.is_object() || item.empty()) throw Bad(where + " must be an object naming one action");
  Action action;
  if (item.contains("click")) {
    OnlyKeys(item, where, {"click"});
    action.kind = Action::Kind::kClick;
    action.id = static_cast<int>(Integer(item["click"], where + ".click", 0, 65535));
  } else if (item.contains("answer")) {
    OnlyKeys(item, where, {"answer"});
    action.kind = Action::Kind::kAnswer;
    action.value = OneOf(item["answer"], "answer", {"ok", "yes", "no"});
  } else if (item.contains("select")) {
    OnlyKeys(item, where, {"select", "index"});
    if (!item.contains("index")) throw Bad(where + " needs \"index\"");
    action.kind = Action::Kind::kSelect;
    action.id = static_cast<int>(Integer(item["select"], where + ".select", 0, 65535));
    action.index = static_cast<int>(Integer(item["index"], where + ".index", 0, 65535));
  } else if (item.contains("key")) {
    OnlyKeys(item, where, {"key"});
    action.kind = Action::Kind::kKey;
    action.value = OneOf(item["key"], "key", {"escape", "enter"});
  } else if (item.contains("close") || item.contains("plug") || item.contains("unplug")) {
    const std::string name = item.contains("close") ? "close" : item.contains("plug") ? "plug" : "unplug";
    OnlyKeys(item, where, {name});
    if (!Flag(item[name], where + "." + name)) throw Bad(where + "." + name + " must be true");
    action.kind = name == "close" ? Action::Kind::kClose
                  : name == "plug" ? Action::Kind::kPlug
                                   : Action::Kind::kUnplug;
  } else {
    throw Bad("unknown action " + Quoted(item.items().begin().key()) + " in " + where);
  }
  return action;
}

void ParseTop(const json& top, Scenario* out) {
  OnlyKeys(top, "the scenario", {"dongle", "user", "fold"});
  if (top.contains("fold")) out->foldFlash = OneOf(top["fold"], "fold", {"flash"}) == "flash";
  if (top.contains("dongle") && !top["dongle"].is_null()) out->dongle = ParseDongle(top["dongle"]);
  if (top.contains("user")) {
    const json& user = top["user"];
    if (!user.is_array()) throw Bad("user must be a list of actions");
    for (std::size_t i = 0; i < user.size(); ++i) out->user.push_back(ParseAction(user[i], i));
  }
}

// A key given twice in one object would silently lose one of its values:
// finds the first such key, in a pass of its own over the text. (The parse
// callback of nlohmann::json could see the keys too, but after every value it
// closes it searches the whole enclosing list for a discarded one, which makes
// a long list of objects take quadratic time.)
class DuplicateKeyFinder : public nlohmann::json_sax<json> {
 public:
  std::string duplicate;

  bool start_object(std::size_t) override {
    open_.emplace_back();
    return true;
  }
  bool key(string_t& key) override {
    if (open_.back().insert(key).second) return true;
    duplicate = key;
    return false;  // the first one is enough
  }
  bool end_object() override {
    open_.pop_back();
    return true;
  }
  bool null() override { return true; }
  bool boolean(bool) override { return true; }
  bool number_integer(number_integer_t) override { return true; }
  bool number_unsigned(number_unsigned_t) override { return true; }
  bool number_float(number_float_t, const string_t&) override { return true; }
  bool string(string_t&) override { return true; }
  bool binary(binary_t&) override { return true; }
  bool start_array(std::size_t) override { return true; }
  bool end_array() override { return true; }
  bool parse_error(std::size_t, const std::string&, const json::exception&) override { return false; }

 private:
  // The keys of the objects being read, innermost last.
  std::vector<std::set<std::string>> open_;
};

}  // namespace

bool Parse(const std::string& text, Scenario* out, std::string* error) {
  json top;
  try {
    top = json::parse(text);
  } catch (const json::exception& e) {  // a syntax error, or a number out of range
    // "[json.exception.parse_error.101] parse error at line 1, ...": the
    // bracketed name says nothing to a reader of the scenario.
    std::string what = e.what();
    const std::size_t bracket = what.find("] ");
    if (what.rfind("[json.exception.", 0) == 0 && bracket != std::string::npos) {
      what = what.substr(bracket + 2);
    }
    *error = "not valid JSON: " + what;
    return false;
  }
  DuplicateKeyFinder keys;
  if (!json::sax_parse(text, &keys)) {  // valid JSON by now: it stops only at a key given twice
    *error = "the key " + Quoted(keys.duplicate) + " appears twice in one object";
    return false;
  }
  try {
    Scenario scenario;
    ParseTop(top, &scenario);
    *out = std::move(scenario);
    return true;
  } catch (const Bad& e) {
    *error = e.what();
    return false;
  } catch (const json::exception& e) {
    *error = e.what();  // a value of a type the checks above did not expect
    return false;
  }
}

std::string Describe(const Action& action) {
  switch (action.kind) {
    case Action::Kind::kClick: return "click " + std::to_string(action.id);
    case Action::Kind::kAnswer: return "answer " + action.value;
    case Action::Kind::kSelect:
      return "select " + std::to_string(action.id) + " index " + std::to_string(action.index);
    case Action::Kind::kKey: return "key " + action.value;
    case Action::Kind::kClose: return "close";
    case Action::Kind::kPlug: return "plug";
    case Action::Kind::kUnplug: return "unplug";
  }
  return "action";
}

}  // namespace scenario
