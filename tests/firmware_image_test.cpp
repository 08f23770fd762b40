// The embedded firmware images: catalogue order, edition labels, the loader's
// failures and ScrambleBlock; and the committed image files against their
// generator.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "firmware/firmware_image.h"
#include "firmware/firmware_upgrader.h"
#include "make_images/image_generator.h"
#include "platform/platform.h"
#include "sim/desktop/embedded_resources.h"
#include "sim/machine/services_scope.h"
#include "sim/desktop/sim_resources.h"
#include "recording_upgrader.h"

namespace {

using platform::BoxStyle;

// A blank image whose trailer carries the given code and digits (bytes, so
// that zeros can be placed anywhere).
std::vector<std::uint8_t> ImageWith(std::array<std::uint8_t, 2> code, std::array<std::uint8_t, 3> digits) {
  std::vector<std::uint8_t> image(FirmwareImage::kSize, 0);
  std::memcpy(&image[FirmwareImage::kEditionCodeOffset], code.data(), code.size());
  std::memcpy(&image[FirmwareImage::kVersionOffset], digits.data(), digits.size());
  return image;
}

std::string LabelOf(const char* code, const char* digits) {
  return EditionLabel(ImageWith({std::uint8_t(code[0]), std::uint8_t(code[1])},
                                {std::uint8_t(digits[0]), std::uint8_t(digits[1]), std::uint8_t(digits[2])})
                          .data());
}

const char* const kEmbeddedLabels[kImageCount] = {
    "BadCompany Pro V3.51", "CallofDuty Pro V3.51", "KillZone Pro V3.51",
    "MAG Pro V3.51",        "UnCharted Pro V3.51",  "Standard V3.51",
};

class ImageLoaderTest : public ::testing::Test {
 protected:
  void ExpectLoadedUpTo(int loaded) {
    for (int i = 0; i < kImageCount; ++i) {
      if (i < loaded) {
        EXPECT_NE(dlg_.m_pImageData[i], nullptr) << i;
        EXPECT_EQ(dlg_.m_strLabels[i], kEmbeddedLabels[i]) << i;
      } else {
        EXPECT_EQ(dlg_.m_pImageData[i], nullptr) << i;
        EXPECT_EQ(dlg_.m_strLabels[i], "") << i;
      }
    }
  }

  void ExpectOneWarning(const char* text) {
    EXPECT_EQ(dlg_.Messages(), (std::vector<RecordingUpgrader::Box>{{text, BoxStyle::kWarning}}));
  }

  sim::SimResources resources_;
  RecordingUpgrader dlg_;
  platform::ServicesScope services_{
      [this](platform::Services& services) { services.resources = &resources_; }};
};

TEST(FirmwareImageTest, LayoutAndCatalogue) {
  EXPECT_EQ(FirmwareImage::kSize, 12900u);
  EXPECT_EQ(FirmwareImage::kDataBlockOffset, 12288u);
  EXPECT_EQ(FirmwareImage::kTrailerOffset, 12800u);
  EXPECT_EQ(FirmwareImage::kEditionCodeOffset, 12815u);
  EXPECT_EQ(FirmwareImage::kVersionOffset, 12817u);
  const int ids[kImageCount] = {336, 337, 338, 339, 342, 341};
  for (int i = 0; i < kImageCount; ++i) EXPECT_EQ(kImageCatalogue[i].resourceId, ids[i]) << i;
  EXPECT_STREQ(kImageResourceType, "MYBIN");
}

TEST(FirmwareImageTest, EditionTitles) {
  const std::pair<const char*, const char*> table[] = {
      {"BC", "BadCompany"}, {"CD", "CallofDuty"}, {"UC", "UnCharted"}, {"KZ", "KillZone"},
      {"MG", "MAG"},        {"RS", "Resistance"},
  };
  for (const auto& [code, title] : table) {
    EXPECT_STREQ(EditionTitle(reinterpret_cast<const std::uint8_t*>(code)), title) << code;
  }
  EXPECT_EQ(EditionTitle(reinterpret_cast<const std::uint8_t*>(" S")), nullptr);
  EXPECT_EQ(EditionTitle(reinterpret_cast<const std::uint8_t*>("bc")), nullptr);  // case-sensitive
  EXPECT_EQ(EditionTitle(reinterpret_cast<const std::uint8_t*>("XY")), nullptr);
}

TEST(FirmwareImageTest, LabelRules) {
  EXPECT_EQ(LabelOf("RS", "123"), "Resistance Pro V1.23");
  EXPECT_EQ(LabelOf("XY", "200"), "XY Pro V2.00");
  EXPECT_EQ(LabelOf(" T", "200"), " T Pro V2.00");
  EXPECT_EQ(LabelOf(" S", "200"), "Standard V2.00");
  EXPECT_EQ(LabelOf("S ", "200"), "S  Pro V2.00");
  EXPECT_EQ(LabelOf("bc", "351"), "bc Pro V3.51");
  EXPECT_EQ(LabelOf("MG", "P01"), "MAG Pro VP.01");
}

TEST(FirmwareImageTest, LabelStopsAtZeroBytes) {
  // A zero first code byte gives an empty title; a zero second byte ends it.
  EXPECT_EQ(EditionLabel(ImageWith({0, 'X'}, {'2', '0', '0'}).data()), " Pro V2.00");
  EXPECT_EQ(EditionLabel(ImageWith({'X', 0}, {'2', '0', '0'}).data()), "X Pro V2.00");
  // d0 zero appends nothing; d1 d2 end at the first zero.
  EXPECT_EQ(EditionLabel(ImageWith({'B', 'C'}, {0, '5', '1'}).data()), "BadCompany Pro V.51");
  EXPECT_EQ(EditionLabel(ImageWith({'B', 'C'}, {'3', 0, '1'}).data()), "BadCompany Pro V3.");
  EXPECT_EQ(EditionLabel(ImageWith({'B', 'C'}, {'3', '5', 0}).data()), "BadCompany Pro V3.5");
  EXPECT_EQ(EditionLabel(ImageWith({' ', 'S'}, {0, 0, 0}).data()), "Standard V.");
  EXPECT_EQ(EditionLabel(ImageWith({0, 0}, {0, 0, 0}).data()), " Pro V.");
}

TEST(FirmwareImageTest, ScrambleBlockSwapsNibbles) {
  std::uint8_t bytes[] = {0x12, 0xA5, 0x00, 0xFF};
  ScrambleBlock(bytes, sizeof(bytes));
  EXPECT_EQ(std::vector<std::uint8_t>(bytes, bytes + 4), (std::vector<std::uint8_t>{0x21, 0x5A, 0x00, 0xFF}));
  ScrambleBlock(bytes, sizeof(bytes));
  EXPECT_EQ(std::vector<std::uint8_t>(bytes, bytes + 4), (std::vector<std::uint8_t>{0x12, 0xA5, 0x00, 0xFF}));
}

TEST(FirmwareImageTest, ScrambleBlockOfLengthZeroChangesNothing) {
  std::uint8_t bytes[] = {0x12, 0xA5};
  ScrambleBlock(bytes, 0);
  EXPECT_EQ(bytes[0], 0x12);
  EXPECT_EQ(bytes[1], 0xA5);
  ScrambleBlock(nullptr, 0);
}

TEST(FirmwareImageTest, CommittedImagesAreTheGeneratorsOutput) {
  const std::vector<sim::EmbeddedResource> embedded = sim::EmbeddedResources();
  for (const CatalogueEntry& entry : kImageCatalogue) {
    const sim::EmbeddedResource* found = nullptr;
    for (const sim::EmbeddedResource& resource : embedded) {
      if (std::string(resource.type) == "MYBIN" && resource.id == entry.resourceId) found = &resource;
    }
    ASSERT_NE(found, nullptr) << "res/firmware/" << make_images::ImageFileName(entry.resourceId);
    const std::vector<std::uint8_t> expected = make_images::GenerateImage(entry);
    EXPECT_EQ(std::vector<std::uint8_t>(found->bytes, found->bytes + found->size), expected)
        << "res/firmware/" << make_images::ImageFileName(entry.resourceId)
        << " differs from tools/make_images output; regenerate it";
  }
}

TEST(FirmwareImageTest, GeneratedImagesDifferAndCarryTheirTrailer) {
  const std::vector<std::uint8_t> first = make_images::GenerateImage(kImageCatalogue[0]);
  const std::vector<std::uint8_t> second = make_images::GenerateImage(kImageCatalogue[1]);
  ASSERT_EQ(first.size(), FirmwareImage::kSize);
  EXPECT_NE(std::vector<std::uint8_t>(first.begin(), first.begin() + FirmwareImage::kTrailerOffset),
            std::vector<std::uint8_t>(second.begin(), second.begin() + FirmwareImage::kTrailerOffset));
  EXPECT_EQ(make_images::ImageFileName(342), "MYBIN_342.bin");
  for (const CatalogueEntry& entry : kImageCatalogue) {
    const std::vector<std::uint8_t> image = make_images::GenerateImage(entry);
    EXPECT_EQ(std::memcmp(&image[FirmwareImage::kEditionCodeOffset], entry.editionCode, 2), 0);
    EXPECT_EQ(std::memcmp(&image[FirmwareImage::kVersionOffset], entry.version, 3), 0);
  }
}

TEST_F(ImageLoaderTest, NothingLoadedBeforehand) {
  EXPECT_EQ(dlg_.m_nSelected, 5);
  EXPECT_EQ(dlg_.m_pImageCur, nullptr);
  EXPECT_EQ(dlg_.m_bDownloading, 0);
  ExpectLoadedUpTo(0);
  for (std::uint8_t byte : dlg_.m_info) EXPECT_EQ(byte, 0);
}

TEST_F(ImageLoaderTest, LoadsTheSixEmbeddedImagesInCatalogueOrder) {
  EXPECT_TRUE(dlg_.LoadFirmwareImages());
  ExpectLoadedUpTo(kImageCount);
  EXPECT_TRUE(dlg_.Messages().empty());
  std::vector<std::pair<std::string, int>> finds;
  for (const CatalogueEntry& entry : kImageCatalogue) finds.push_back({"MYBIN", entry.resourceId});
  EXPECT_EQ(resources_.FindCalls(), finds);
  // The pointers are the locked resource bytes themselves, not copies.
  for (int i = 0; i < kImageCount; ++i) {
    platform::Resources::Found found = resources_.Find("MYBIN", kImageCatalogue[i].resourceId);
    EXPECT_EQ(dlg_.m_pImageData[i], resources_.Lock(resources_.Load(found))) << i;
  }
}

TEST_F(ImageLoaderTest, AnotherEditionGetsItsLabel) {
  resources_.Add("MYBIN", 338, ImageWith({'R', 'S'}, {'1', '2', '3'}));
  EXPECT_TRUE(dlg_.LoadFirmwareImages());
  EXPECT_EQ(dlg_.m_strLabels[2], "Resistance Pro V1.23");
  EXPECT_EQ(dlg_.m_strLabels[3], "MAG Pro V3.51");
}

// One image that cannot be had stops the load there with its warning: the
// images before it stay loaded. An image of another size or type is missing.
struct LoadFailure {
  const char* what;
  std::function<void(sim::SimResources&)> spoil;
  int loaded;
  const char* warning;
};

class ImageLoadFailureTest : public ImageLoaderTest,
                             public ::testing::WithParamInterface<LoadFailure> {};

TEST_P(ImageLoadFailureTest, StopsTheLoadWithItsWarning) {
  GetParam().spoil(resources_);
  EXPECT_FALSE(dlg_.LoadFirmwareImages());
  ExpectLoadedUpTo(GetParam().loaded);
  ExpectOneWarning(GetParam().warning);
  EXPECT_EQ(resources_.FindCalls().size(), std::min<std::size_t>(GetParam().loaded + 1u, 6u));
}

using Step = sim::SimResources::Step;
const char kNotFound[] = "Error at Finding the firmware source.!";
std::vector<std::uint8_t> SizedImage(const char code[2], std::ptrdiff_t change) {
  std::vector<std::uint8_t> image = ImageWith({std::uint8_t(code[0]), std::uint8_t(code[1])}, {'3', '5', '1'});
  image.resize(static_cast<std::size_t>(static_cast<std::ptrdiff_t>(image.size()) + change));
  return image;
}

INSTANTIATE_TEST_SUITE_P(
    Images, ImageLoadFailureTest,
    ::testing::Values(
        LoadFailure{"Missing", [](sim::SimResources& r) { r.Remove("MYBIN", 339); }, 3, kNotFound},
        LoadFailure{"NotFound", [](sim::SimResources& r) { r.Fail("MYBIN", 339, Step::kFind); }, 3,
                    kNotFound},
        LoadFailure{"Load", [](sim::SimResources& r) { r.Fail("MYBIN", 337, Step::kLoad); }, 1,
                    "Error in LoadResource.!"},
        LoadFailure{"Lock", [](sim::SimResources& r) { r.Fail("MYBIN", 341, Step::kLock); }, 5,
                    "Error in LockResource.!"},
        LoadFailure{"FirstLock", [](sim::SimResources& r) { r.Fail("MYBIN", 336, Step::kLock); },
                    0, "Error in LockResource.!"},
        LoadFailure{"Short", [](sim::SimResources& r) { r.Add("MYBIN", 339, SizedImage("MG", -1)); },
                    3, kNotFound},
        LoadFailure{"Long", [](sim::SimResources& r) { r.Add("MYBIN", 342, SizedImage("UC", 1)); },
                    4, kNotFound},
        LoadFailure{"Empty", [](sim::SimResources& r) { r.Add("MYBIN", 336, {}); }, 0, kNotFound},
        LoadFailure{"OtherType",
                    [](sim::SimResources& r) {
                      r.Remove("MYBIN", 336);
                      r.Add("PNG", 336, SizedImage("BC", 0));
                    },
                    0, kNotFound}),
    [](const ::testing::TestParamInfo<LoadFailure>& info) { return info.param.what; });

TEST_F(ImageLoaderTest, InfoViewReadsTheRecord) {
  const char record[] = "0123456BC3.5xy7z0123456789A";
  std::memcpy(dlg_.m_info, record, DEVICE_INFO_SIZE);
  const DeviceInfo info = dlg_.Info();
  EXPECT_EQ(std::string(info.editionCode, 2), "BC");
  EXPECT_EQ(std::string(info.firmwareVersion, 3), "3.5");
  EXPECT_EQ(info.hardwareVersion, '7');
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(info.identity), 11), "0123456789A");
}

}  // namespace

namespace sim {
namespace {

TEST(SimResourcesTest, DefaultTableHoldsTheEmbeddedFiles) {
  SimResources resources;
  for (const CatalogueEntry& entry : kImageCatalogue) {
    platform::Resources::Found found = resources.Find("MYBIN", entry.resourceId);
    ASSERT_NE(found, nullptr) << entry.resourceId;
    EXPECT_EQ(resources.Size(found), FirmwareImage::kSize);
  }
  EXPECT_EQ(resources.Find("MYBIN", 340), nullptr);
  EXPECT_EQ(resources.Find("PNG", 336), nullptr);
}

TEST(SimResourcesTest, FaultsAndUnknownHandles) {
  SimResources resources;
  resources.Clear();
  resources.Add("PNG", 297, {1, 2, 3});
  platform::Resources::Found found = resources.Find("PNG", 297);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(resources.Size(found), 3u);
  const std::uint8_t* bytes = resources.Lock(resources.Load(found));
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(bytes[2], 3);

  resources.Fail("PNG", 297, SimResources::Step::kLoad);
  EXPECT_EQ(resources.Load(resources.Find("PNG", 297)), nullptr);
  resources.Fail("PNG", 297, SimResources::Step::kLock);
  EXPECT_NE(resources.Load(resources.Find("PNG", 297)), nullptr);
  EXPECT_EQ(resources.Lock(resources.Load(resources.Find("PNG", 297))), nullptr);
  resources.ClearFaults();
  EXPECT_NE(resources.Lock(resources.Load(resources.Find("PNG", 297))), nullptr);

  int stranger = 0;
  EXPECT_EQ(resources.Load(&stranger), nullptr);
  EXPECT_EQ(resources.Lock(&stranger), nullptr);
  EXPECT_EQ(resources.Size(&stranger), 0u);
  EXPECT_EQ(resources.Load(nullptr), nullptr);
}

}  // namespace
}  // namespace sim
