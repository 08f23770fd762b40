// Texts and rules of the RF adjustment: the firmware gate, the question, the
// prompts and the report that follows a change.
#pragma once
#include <string>

#include "device/vendor_request.h"

extern const char* const kOldFirmwareText;
extern const char* const kRfQuestionText;
extern const char* const kChooseGroupText;
extern const char* const kChooseBandText;
extern const char* const kGroupChangedText;
extern const char* const kBandChangedText;
extern const char* const kRfClosingNote;

// Firmware 1.4 or later, compared byte by byte with "1.4" as unsigned values:
// the first differing byte decides, so "10." passes (the digit 0 is above the
// point) and "0.9" does not.
bool FirmwareSupportsRf(const DeviceInfo& info);

// Entries of the two lists: "Default", "1".."5"; "0".."12" or "0".."15".
constexpr int kRfGroupCount = 6;
int RfBandCount(bool sixteenBands);
std::string RfGroupEntry(int index);
std::string RfBandEntry(int index);
