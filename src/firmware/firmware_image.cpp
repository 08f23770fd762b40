// Edition titles, edition labels and the nibble swap of firmware images.
#include "firmware/firmware_image.h"

#include <cstring>

namespace {

struct EditionName {
  char code[3];
  const char* title;
};

constexpr EditionName kEditionTitles[] = {
    {"BC", "BadCompany"}, {"CD", "CallofDuty"}, {"UC", "UnCharted"},
    {"KZ", "KillZone"},   {"MG", "MAG"},        {"RS", "Resistance"},
};

// Up to `size` bytes as a text that ends at the first zero byte.
std::string TextUpToZero(const std::uint8_t* bytes, std::size_t size) {
  std::string text;
  for (std::size_t i = 0; i < size && bytes[i] != 0; ++i) text += static_cast<char>(bytes[i]);
  return text;
}

}  // namespace

const char* EditionTitle(const std::uint8_t code[2]) {
  for (const EditionName& name : kEditionTitles) {
    if (std::memcmp(code, name.code, 2) == 0) return name.title;
  }
  return nullptr;
}

std::string EditionLabel(const std::uint8_t* image) {
  const std::uint8_t* code = image + FirmwareImage::kEditionCodeOffset;
  const std::uint8_t* digits = image + FirmwareImage::kVersionOffset;

  std::string label;
  if (code[0] == ' ' && code[1] == 'S') {
    label = "Standard V";
  } else {
    const char* title = EditionTitle(code);
    label = title != nullptr ? std::string(title) : TextUpToZero(code, 2);
    label += " Pro V";
  }
  label += TextUpToZero(digits, 1);
  label += ".";
  label += TextUpToZero(digits + 1, 2);
  return label;
}

void ScrambleBlock(std::uint8_t* buffer, std::uint32_t length) {
  for (std::uint32_t i = 0; i < length; ++i) {
    buffer[i] = static_cast<std::uint8_t>((buffer[i] << 4) | (buffer[i] >> 4));
  }
}
