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

// The trailer's bytes as characters.
const char* Chars(const std::uint8_t* bytes) { return reinterpret_cast<const char*>(bytes); }

}  // namespace

bool IsStandardEditionCode(const char code[2]) { return code[0] == ' ' && code[1] == 'S'; }

std::string FieldText(const char* field, std::size_t size) {
  return std::string(field, strnlen(field, size));
}

const char* EditionTitle(const std::uint8_t code[2]) {
  for (const EditionName& name : kEditionTitles) {
    if (std::memcmp(code, name.code, FirmwareImage::kEditionCodeSize) == 0) return name.title;
  }
  return nullptr;
}

std::string EditionLabel(const std::uint8_t* image) {
  const std::uint8_t* code = image + FirmwareImage::kEditionCodeOffset;
  const char* digits = Chars(image + FirmwareImage::kVersionOffset);

  std::string label;
  if (IsStandardEditionCode(Chars(code))) {
    label = "Standard V";
  } else {
    const char* title = EditionTitle(code);
    label = title != nullptr ? std::string(title)
                             : FieldText(Chars(code), FirmwareImage::kEditionCodeSize);
    label += " Pro V";
  }
  label += FieldText(digits, 1);
  label += ".";
  label += FieldText(digits + 1, 2);
  return label;
}

void ScrambleBlock(std::uint8_t* buffer, std::uint32_t length) {
  for (std::uint32_t i = 0; i < length; ++i) {
    buffer[i] = static_cast<std::uint8_t>((buffer[i] << 4) | (buffer[i] >> 4));
  }
}
