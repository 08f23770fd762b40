// make_images: writes the six firmware images the program embeds.
//
// The committed files res/firmware/MYBIN_<id>.bin are this tool's output; a
// test checks that they still are. To make them again (only needed when the
// generator changes), from the repository's top:
//
//   cmake --preset native && cmake --build --preset native --target make_images
//   build/native/tools/make_images/make_images res/firmware
//
// then commit the files; the next build embeds them.
#include <cstdio>
#include <string>

#include "make_images/image_generator.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
    return 2;
  }
  const std::string directory = argv[1];
  for (const CatalogueEntry& entry : kImageCatalogue) {
    const std::string path = directory + "/" + make_images::ImageFileName(entry.resourceId);
    const std::vector<std::uint8_t> image = make_images::GenerateImage(entry);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
      std::perror(path.c_str());
      return 1;
    }
    const bool written = std::fwrite(image.data(), 1, image.size(), file) == image.size();
    if (std::fclose(file) != 0 || !written) {
      std::fprintf(stderr, "%s: write failed\n", path.c_str());
      return 1;
    }
    std::printf("%s\n", path.c_str());
  }
  return 0;
}
