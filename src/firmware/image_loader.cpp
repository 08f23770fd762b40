// LoadFirmwareImages: the six embedded images, located and locked in
// catalogue order, and their edition labels.
#include "firmware/firmware_upgrader.h"
#include "platform/platform.h"
#include "platform/resources.h"

const char kMsgImageNotFound[] = "Error at Finding the firmware source.!";
const char kMsgImageLoadFailed[] = "Error in LoadResource.!";
const char kMsgImageLockFailed[] = "Error in LockResource.!";

bool FirmwareUpgrader::LoadFirmwareImages() {
  platform::Resources& resources = *platform::Os().resources;
  for (int i = 0; i < kImageCount; ++i) {
    platform::Resources::Found found = resources.Find(kImageResourceType, kImageCatalogue[i].resourceId);
    // A resource of another size would make the trailer reads and the
    // programming run past its end: it is no firmware image.
    if (found == nullptr || resources.Size(found) != FirmwareImage::kSize) {
      ShowMessage(kMsgImageNotFound, platform::BoxStyle::kWarning);
      return false;
    }
    platform::Resources::Loaded loaded = resources.Load(found);
    if (loaded == nullptr) {
      ShowMessage(kMsgImageLoadFailed, platform::BoxStyle::kWarning);
      return false;
    }
    const std::uint8_t* bytes = resources.Lock(loaded);
    if (bytes == nullptr) {
      ShowMessage(kMsgImageLockFailed, platform::BoxStyle::kWarning);
      return false;
    }
    m_pImageData[i] = bytes;
    m_strLabels[i] = EditionLabel(bytes);
  }
  return true;
}
