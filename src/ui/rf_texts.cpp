// RF adjustment texts and the firmware gate.
#include "ui/rf_texts.h"

const char* const kOldFirmwareText =
    "The firmware version older than V1.4 is not supported, Please UPGRADE your firmware to a "
    "newer version.";
const char* const kRfQuestionText =
    "If your controller stutters or hesitates it could mean that you \nhave interference from "
    "other RF devices. To address this, you \ncan change the frequency hopping group to fit your "
    "environment. \n\nDO NOT adjust this if you do not have interference.\n\nDo you want to "
    "change the RF hopping group?";
const char* const kChooseGroupText = "Please choose one group first.";
const char* const kChooseBandText = "Please choose one starting band first.";
const char* const kGroupChangedText = "The RF group has been changed successfully!";
const char* const kBandChangedText = "The RF starting band has been changed successfully!\n";
const char* const kRfClosingNote =
    "\n\nYour Tavrolin is now ready to use on the PS3. \n To continue with this software please "
    "take out your dongle and plug it back in while holding the dongle button. \n To use the "
    "Tavrolin as a PC mouse remove the dongle and plug it in but do not press the dongle "
    "button.\n\nNote:  Please re-match the Mouse and Left grip before use. \nRematch the Mouse "
    "and Left grip by pressing the dongle button then the mouse button, then press the dongle "
    "button again and press the left stick button to complete the match.";

bool FirmwareSupportsRf(const DeviceInfo& info) {
  static const unsigned char kMinimum[3] = {'1', '.', '4'};
  for (int i = 0; i < 3; ++i) {
    const auto have = static_cast<unsigned char>(info.firmwareVersion[i]);
    if (have != kMinimum[i]) return have > kMinimum[i];
  }
  return true;
}

int RfBandCount(bool sixteenBands) { return sixteenBands ? 16 : 13; }

std::string RfGroupEntry(int index) { return index == 0 ? "Default" : std::to_string(index); }

std::string RfBandEntry(int index) { return std::to_string(index); }
