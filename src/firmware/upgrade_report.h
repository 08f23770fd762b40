// The texts the Upgrade command shows before it writes anything: the dongle's
// hardware and firmware versions as the user reads them, and the confirmation
// question that names the edition about to be installed.
#pragma once
#include <string>

#include "device/vendor_request.h"

extern const char* const kNoDongleText;

// "COD Pro V1.1", "V3.51", "CD Pro V3.51" ... from the record's edition code
// and firmware version.
std::string FirmwareVersionText(const DeviceInfo& info);

// The hardware version character as a text (a zero byte gives "").
std::string HardwareVersionText(const DeviceInfo& info);

// The whole Yes/No question for upgrading to the edition labelled `label`.
std::string UpgradeConfirmationText(const DeviceInfo& info, const std::string& label);
