// The image generator: SplitMix64 seeded by the resource id fills the program
// area and the data block; the trailer is zero but for the edition code and
// the version digits.
#include "make_images/image_generator.h"

#include <cstring>

namespace make_images {
namespace {

// SplitMix64: a fixed, portable sequence (no library distribution whose
// output could differ between standard libraries).
class SplitMix64 {
 public:
  explicit SplitMix64(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }

 private:
  std::uint64_t state_;
};

constexpr std::uint64_t kSeedBase = 0x54415652'4F4C494Eull;  // "TAVROLIN"

}  // namespace

std::vector<std::uint8_t> GenerateImage(const CatalogueEntry& entry) {
  std::vector<std::uint8_t> image(FirmwareImage::kSize, 0);
  SplitMix64 random(kSeedBase ^ static_cast<std::uint64_t>(entry.resourceId));
  // Program area and data block: each random word gives eight bytes, low first.
  for (std::uint32_t i = 0; i < FirmwareImage::kTrailerOffset; i += 8) {
    const std::uint64_t word = random.Next();
    for (std::uint32_t k = 0; k < 8; ++k) image[i + k] = static_cast<std::uint8_t>(word >> (8 * k));
  }
  std::memcpy(&image[FirmwareImage::kEditionCodeOffset], entry.editionCode, FirmwareImage::kEditionCodeSize);
  std::memcpy(&image[FirmwareImage::kVersionOffset], entry.version, FirmwareImage::kVersionSize);
  return image;
}

std::string ImageFileName(int resourceId) {
  return std::string(kImageResourceType) + "_" + std::to_string(resourceId) + ".bin";
}

}  // namespace make_images
