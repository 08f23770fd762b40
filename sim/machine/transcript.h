// What a person would have seen and what went over the wire, in the order it
// happened: one line per event, each an ordered list of keys with values kept
// as JSON text. The simulated dongle and the headless desktop write to the
// same transcript, so their lines interleave as they really did.
#pragma once
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace sim {

struct Field {
  std::string key;
  std::string json;  // the value as JSON text: "\"box\"", "42", "true", "[...]"
};

class Line {
 public:
  Line& Str(const std::string& key, const std::string& value);
  Line& Num(const std::string& key, long long value);
  Line& Bool(const std::string& key, bool value);
  Line& Raw(const std::string& key, const std::string& json);

  // The JSON text of a key's value, or "" when the line has no such key.
  std::string Get(const std::string& key) const;
  std::string ToJson() const;  // {"k":v,...} in insertion order

 private:
  std::vector<Field> fields_;
};

class Transcript {
 public:
  void Add(const Line& line);
  std::vector<Line> Lines() const;
  // Lines whose "event" is the given kind.
  std::vector<Line> Events(const std::string& kind) const;
  std::string ToJsonLines() const;  // one object per line, each ending in \n
  void Clear();  // also lifts a freeze
  // After a failed run: lines added from now on are dropped, so the
  // transcript ends where the run went wrong.
  void Freeze();
  bool Frozen() const;

 private:
  mutable std::mutex mutex_;
  std::vector<Line> lines_;
  bool frozen_ = false;
};

// The transcript of the simulated machine in this process.
Transcript& TheTranscript();

// JSON helpers: a string literal with escapes (control bytes and bytes above
// 0x7F as \u00XX, so the literal is ASCII), and bytes as lower-case hex.
std::string JsonQuote(const std::string& text);
std::string HexLower(const std::uint8_t* bytes, std::size_t size);

}  // namespace sim
