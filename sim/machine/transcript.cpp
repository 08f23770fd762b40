// The shared transcript and its JSON text.
#include "sim/machine/transcript.h"

#include <cstdio>

namespace sim {

Line& Line::Str(const std::string& key, const std::string& value) {
  return Raw(key, JsonQuote(value));
}

Line& Line::Num(const std::string& key, long long value) {
  return Raw(key, std::to_string(value));
}

Line& Line::Bool(const std::string& key, bool value) { return Raw(key, value ? "true" : "false"); }

Line& Line::Raw(const std::string& key, const std::string& json) {
  fields_.push_back({key, json});
  return *this;
}

std::string Line::Get(const std::string& key) const {
  for (const Field& field : fields_) {
    if (field.key == key) return field.json;
  }
  return "";
}

std::string Line::ToJson() const {
  std::string out = "{";
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    if (i > 0) out += ",";
    out += JsonQuote(fields_[i].key) + ":" + fields_[i].json;
  }
  return out + "}";
}

void Transcript::Add(const Line& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (frozen_) return;
  lines_.push_back(line);
}

std::vector<Line> Transcript::Lines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_;
}

std::vector<Line> Transcript::Events(const std::string& kind) const {
  const std::string quoted = JsonQuote(kind);
  std::vector<Line> out;
  for (const Line& line : Lines()) {
    if (line.Get("event") == quoted) out.push_back(line);
  }
  return out;
}

std::string Transcript::ToJsonLines() const {
  std::string out;
  for (const Line& line : Lines()) out += line.ToJson() + "\n";
  return out;
}

void Transcript::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.clear();
  frozen_ = false;
}

void Transcript::Freeze() {
  std::lock_guard<std::mutex> lock(mutex_);
  frozen_ = true;
}

bool Transcript::Frozen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return frozen_;
}

Transcript& TheTranscript() {
  static Transcript transcript;
  return transcript;
}

std::string JsonQuote(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        // A byte above 0x7F is the character of that code point, U+0080 to
        // U+00FF, escaped like a control byte: every line is valid UTF-8 (and
        // plain ASCII) whatever bytes the dongle returns, and each byte reads
        // back as its own value, with no code page to guess.
        if (c < 0x20 || c > 0x7F) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string HexLower(const std::uint8_t* bytes, std::size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(size * 2);
  for (std::size_t i = 0; i < size; ++i) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 0x0F];
  }
  return out;
}

}  // namespace sim
