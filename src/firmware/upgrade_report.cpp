// Version report and confirmation texts of the Upgrade command.
#include "firmware/upgrade_report.h"

#include "firmware/firmware_image.h"

const char* const kNoDongleText =
    "Please make sure that:\n the Dongle has been plugged into the USB port with the matching "
    "button pressed \nand the driver for the Dongle has been correctly installed.";

namespace {

// The standard edition names a few early versions by the game they came with.
const char* StandardEditionName(const std::string& version) {
  static const struct {
    const char* code;
    const char* name;
  } kNames[] = {{"P01", "COD Pro V1.0"}, {"P11", "COD Pro V1.1"}, {"P12", "COD Pro V1.2"},
                {"B10", "BC Pro V1.0"}};
  for (const auto& entry : kNames) {
    if (version == entry.code) return entry.name;
  }
  return nullptr;
}

}  // namespace

std::string HardwareVersionText(const DeviceInfo& info) {
  return FieldText(&info.hardwareVersion, 1);
}

std::string FirmwareVersionText(const DeviceInfo& info) {
  const std::string version = FieldText(info.firmwareVersion, 3);
  const std::string first = FieldText(info.firmwareVersion, 1);
  const std::string rest = FieldText(info.firmwareVersion + 1, 2);
  if (IsStandardEditionCode(info.editionCode)) {
    if (const char* name = StandardEditionName(version)) return name;
    // A version that already carries its point ("1.4") is shown as it is.
    if (info.firmwareVersion[1] == '.') return "V" + version;
    return "V" + first + "." + rest;
  }
  return FieldText(info.editionCode, 2) + " Pro V" + first + "." + rest;
}

std::string UpgradeConfirmationText(const DeviceInfo& info, const std::string& label) {
  return "Your Hardware Version is: V" + HardwareVersionText(info) +
         "\r\nYour Firmware Version is: " + FirmwareVersionText(info) + "   " +
         "\r\n\r\nUpgrade the Firmware to: " + label;
}
