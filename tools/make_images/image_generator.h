// The six embedded firmware images, made reproducibly: opaque program and
// data bytes from a fixed seeded generator, and a trailer holding the edition
// code and version digits of the catalogue.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "firmware/firmware_image.h"

namespace make_images {

// The FirmwareImage::kSize bytes of one catalogue entry's image. The same on
// every machine and every run.
std::vector<std::uint8_t> GenerateImage(const CatalogueEntry& entry);

// "MYBIN_336.bin": the file under res/firmware/ that holds an image.
std::string ImageFileName(int resourceId);

}  // namespace make_images
