// The embedded firmware images: the layout of one image, the catalogue of the
// six editions in their fixed order, the edition label built from an image's
// trailer, and ScrambleBlock, the nibble swap applied to every piece of an
// image just before it is sent to the dongle.
#pragma once
#include <cstdint>
#include <string>

#include "device/vendor_request.h"
#include "ids/image_ids.h"

// One embedded image: exactly 12900 bytes. The program area and the data
// block are opaque; only the edition code and the version digits of the
// trailer are read, as text.
struct FirmwareImage {
  static constexpr std::uint32_t kSize = 12900;
  static constexpr std::uint32_t kProgramOffset = 0;
  static constexpr std::uint32_t kProgramSize = 12288;
  static constexpr std::uint32_t kDataBlockOffset = 12288;
  static constexpr std::uint32_t kDataBlockSize = 512;
  static constexpr std::uint32_t kTrailerOffset = 12800;
  static constexpr std::uint32_t kTrailerSize = 100;
  static constexpr std::uint32_t kEditionCodeOffset = 12815;  // two ASCII characters
  static constexpr std::uint32_t kEditionCodeSize = 2;
  static constexpr std::uint32_t kVersionOffset = 12817;      // three ASCII digits d0 d1 d2
  static constexpr std::uint32_t kVersionSize = 3;
};
static_assert(FirmwareImage::kProgramSize == PROGRAM_AREA_SIZE, "program area is the flash area");
static_assert(FirmwareImage::kDataBlockSize == DATA_BLOCK_SIZE, "data block is what the dongle takes");
static_assert(FirmwareImage::kDataBlockOffset == FirmwareImage::kProgramOffset + FirmwareImage::kProgramSize,
              "the data block follows the program area");
static_assert(FirmwareImage::kTrailerOffset == FirmwareImage::kDataBlockOffset + FirmwareImage::kDataBlockSize,
              "the trailer follows the data block");
static_assert(FirmwareImage::kTrailerOffset + FirmwareImage::kTrailerSize == FirmwareImage::kSize,
              "the trailer ends the image");
static_assert(FirmwareImage::kEditionCodeOffset + FirmwareImage::kEditionCodeSize ==
                  FirmwareImage::kVersionOffset,
              "the version digits follow the edition code");
static_assert(FirmwareImage::kVersionOffset + FirmwareImage::kVersionSize <= FirmwareImage::kSize,
              "the version digits lie inside the trailer");

// The image catalogue: resource type "MYBIN", the integer ids of
// src/ids/image_ids.h loaded in its order; the index is the edition's number
// everywhere else (m_nSelected).
constexpr char kImageResourceType[] = "MYBIN";

struct CatalogueEntry {
  int resourceId;
  char editionCode[3];  // the two trailer characters, plus a terminator
  char version[4];      // the three trailer digits, plus a terminator
};

// Index -> resource id, and the trailer fields each embedded image carries.
#define TAV_CATALOGUE_ENTRY(id, name, code, version) {IDR_FIRMWARE_##name, code, version},
constexpr CatalogueEntry kImageCatalogue[] = {TAV_FIRMWARE_IMAGES(TAV_CATALOGUE_ENTRY)};
#undef TAV_CATALOGUE_ENTRY
constexpr int kImageCount = static_cast<int>(sizeof kImageCatalogue / sizeof kImageCatalogue[0]);

// The standard edition, selected when the main window starts: the one whose
// code is " S".
constexpr int StandardImageIndex() {
  for (int i = 0; i < kImageCount; ++i) {
    if (kImageCatalogue[i].editionCode[0] == ' ' && kImageCatalogue[i].editionCode[1] == 'S') return i;
  }
  return -1;
}
constexpr int kStandardImageIndex = StandardImageIndex();
static_assert(kStandardImageIndex >= 0, "the catalogue holds the standard edition");

// The standard edition's code, " S": its labels and version texts carry no
// title.
bool IsStandardEditionCode(const char code[2]);

// Up to `size` characters of a fixed-width field, as a text that ends at the
// first zero byte.
std::string FieldText(const char* field, std::size_t size);

// The title an edition code stands for, or nullptr for a code outside the
// table (" S", the standard naming, is not a title either). Codes compare
// byte for byte, case-sensitive.
const char* EditionTitle(const std::uint8_t code[2]);

// The label of an image, from its trailer: "Standard V" for the code " S",
// otherwise the title (or the code's own characters, as a text ending at the
// first zero byte) and " Pro V"; then d0 (a zero appends nothing), ".", and
// d1 d2 as a text ending at the first zero byte. `image` holds at least
// FirmwareImage::kSize bytes.
std::string EditionLabel(const std::uint8_t* image);

// Swaps the two nibbles of each of `length` bytes at `buffer`, in place
// (0x12 -> 0x21). Its own inverse; length 0 leaves the buffer untouched.
void ScrambleBlock(std::uint8_t* buffer, std::uint32_t length);
