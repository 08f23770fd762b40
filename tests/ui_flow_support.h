// Shared pieces of the end-to-end tests of the user interface: the texts a
// user reads (copied here to the letter, so that a changed text in the
// program shows up), dongle configurations, short forms of the wire log and
// the transcript, and a look at the main window while the program runs.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "device/vendor_request.h"
#include "firmware/firmware_image.h"
#include "monitor/connection_state.h"
#include "platform/os_types.h"
#include "sim/machine/demo_machine.h"
#include "sim/desktop/embedded_resources.h"
#include "sim/desktop/headless_desktop.h"
#include "sim/desktop/simulated_run.h"
#include "sim/machine/transcript.h"
#include "ui/app.h"
#include "ui/resource_ids.h"
#include "ui/upgrade_dlg.h"

namespace uitest {

using sim::BoxAnswer;
using Bytes = std::vector<std::uint8_t>;

// ---- What the user reads ----

inline const std::string kNoDongleText =
    "Please make sure that:\n the Dongle has been plugged into the USB port with the matching "
    "button pressed \nand the driver for the Dongle has been correctly installed.";
inline const std::string kUpgradeErrorText =
    "Error occurred during the Firmware upgrading,  \r\nMake sure press and hold the Matching "
    "button while plug it in and try it again, if this would not resolve the problem, please "
    "contact our technical support.";
inline const std::string kSuccessText =
    "Firmware Upgraded Successfully!\n\nYour Tavrolin is ready to use on the PS3. \n To continue "
    "please take out your dongle and plug it back in while holding the dongle button. \n To use "
    "the Tavrolin as a PC mouse remove the dongle and plug it in but do not press the dongle "
    "button.";
inline const std::string kDownloadingText =
    "Firmware downloading is in processing, \nDO NOT EXIT until it is finished!";
inline const std::string kVerifyFailedText =
    "Error occurred in Verifying Program.\nPlease try again..";
inline const std::string kOldFirmwareText =
    "The firmware version older than V1.4 is not supported, Please UPGRADE your firmware to a "
    "newer version.";
inline const std::string kRfQuestionText =
    "If your controller stutters or hesitates it could mean that you \nhave interference from "
    "other RF devices. To address this, you \ncan change the frequency hopping group to fit your "
    "environment. \n\nDO NOT adjust this if you do not have interference.\n\nDo you want to "
    "change the RF hopping group?";
inline const std::string kChooseGroupText = "Please choose one group first.";
inline const std::string kChooseBandText = "Please choose one starting band first.";
inline const std::string kGroupChangedText = "The RF group has been changed successfully!";
inline const std::string kBandChangedText = "The RF starting band has been changed successfully!\n";
inline const std::string kRfClosingNote =
    "\n\nYour Tavrolin is now ready to use on the PS3. \n To continue with this software please "
    "take out your dongle and plug it back in while holding the dongle button. \n To use the "
    "Tavrolin as a PC mouse remove the dongle and plug it in but do not press the dongle "
    "button.\n\nNote:  Please re-match the Mouse and Left grip before use. \nRematch the Mouse "
    "and Left grip by pressing the dongle button then the mouse button, then press the dongle "
    "button again and press the left stick button to complete the match.";

// The confirmation question for a dongle of hardware version '1' and the
// chosen edition's label, around the firmware text.
inline std::string Confirmation(const std::string& firmware, const std::string& label) {
  return "Your Hardware Version is: V1\r\nYour Firmware Version is: " + firmware +
         "   \r\n\r\nUpgrade the Firmware to: " + label;
}

// ---- Dongles ----

// The demo dongle: standard edition 3.51, hardware 1, 512-byte pages, RF
// group 0, 16 bands, band 5, plugged in.
inline sim::SimDongleConfig StandardDongle() { return sim::DemoDongleConfig(); }

inline sim::SimDongleConfig WithMode(std::uint8_t mode) {
  sim::SimDongleConfig config = StandardDongle();
  config.mode = mode;
  return config;
}

inline sim::SimDongleConfig Unplugged() {
  sim::SimDongleConfig config = StandardDongle();
  config.present = false;
  return config;
}

// The same dongle with another edition code and firmware version in its
// DeviceInfo record (bytes 7-8 and 9-11), the bytes after the version and
// after the hardware version not zero.
inline sim::SimDongleConfig WithFirmware(const char edition[2], const char version[3]) {
  sim::SimDongleConfig config = StandardDongle();
  config.deviceInfo[7] = static_cast<std::uint8_t>(edition[0]);
  config.deviceInfo[8] = static_cast<std::uint8_t>(edition[1]);
  for (int i = 0; i < 3; ++i) config.deviceInfo[9 + i] = static_cast<std::uint8_t>(version[i]);
  config.deviceInfo[12] = config.deviceInfo[15] = 'x';  // beside the fields, never shown
  return config;
}

inline sim::SimDongleConfig WithRf(int group, int marker, int band) {
  sim::SimDongleConfig config = StandardDongle();
  config.rfGroup = group;
  config.deviceInfo[ADDR_RF_GROUP] = static_cast<std::uint8_t>(group);
  config.bandMarker = marker;
  config.startBand = band;
  return config;
}

// ---- Firmware images as the dongle must end up holding them ----

inline Bytes EmbeddedImage(int resourceId) {
  for (const sim::EmbeddedResource& resource : sim::EmbeddedResources()) {
    if (std::string(resource.type) == kImageResourceType && resource.id == resourceId) {
      return Bytes(resource.bytes, resource.bytes + resource.size);
    }
  }
  ADD_FAILURE() << "no embedded image " << resourceId;
  return Bytes(FirmwareImage::kSize, 0);
}

inline Bytes Scrambled(const Bytes& image, std::uint32_t offset, std::uint32_t size) {
  Bytes bytes(image.begin() + offset, image.begin() + offset + size);
  ScrambleBlock(bytes.data(), size);
  return bytes;
}

// ---- The wire log in short ----

inline std::string Hex4(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", value & 0xFFFFu);
  return text;
}

// "mode", "DR 0015/1" (data read), "DW 01c1/1 05" (data write with its
// payload up to 4 bytes), "FR c000", "FW c000", "descriptor".
inline std::string Describe(const sim::WireRecord& record) {
  if (record.kind == sim::WireRecord::Kind::kRead) return "descriptor";
  const bool write = record.code == IOCTL_VENDOR_WRITE;
  switch (record.command) {
    case CMD_QUERY_MODE: return "mode";
    case CMD_FLASH: return std::string(write ? "FW " : "FR ") + Hex4(record.address);
    case CMD_DATA: {
      std::string line = std::string(write ? "DW " : "DR ") + Hex4(record.address) + "/" +
                         std::to_string(record.length);
      if (write && record.payload.size() <= 4) {
        line += " " + sim::HexLower(record.payload.data(), record.payload.size());
      }
      return line;
    }
    default: return "command " + Hex4(record.command);
  }
}

// The requests that reached the dongle's driver, in order.
inline std::vector<std::string> Wire(const sim::SimDongle& dongle) {
  std::vector<std::string> lines;
  for (const sim::WireRecord& record : dongle.WireLog()) {
    if (!record.refused) lines.push_back(Describe(record));
  }
  return lines;
}

// The requests after the last one described as `marker` (all of them when
// there is none).
inline std::vector<std::string> WireAfterLast(const sim::SimDongle& dongle,
                                              const std::string& marker) {
  const std::vector<std::string> all = Wire(dongle);
  std::size_t from = 0;
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (all[i] == marker) from = i + 1;
  }
  return std::vector<std::string>(all.begin() + static_cast<long>(from), all.end());
}

inline int CountWrites(const sim::SimDongle& dongle) {
  int writes = 0;
  for (const sim::WireRecord& record : dongle.WireLog()) {
    if (!record.refused && record.code == IOCTL_VENDOR_WRITE) ++writes;
  }
  return writes;
}

inline int Count(const std::vector<std::string>& lines, const std::string& line) {
  int n = 0;
  for (const std::string& each : lines) n += each == line ? 1 : 0;
  return n;
}

// The worker's settings reads after each opening.
inline const std::vector<std::string> kSettingsReads = {"DR 0015/1", "DR 01c0/1", "DR 01c1/1"};

// ---- The transcript and the boxes in short ----

// Every box is an OK box with the exclamation icon, but the two questions
// (the confirmation and the RF question) and the success report.
inline platform::BoxStyle StyleOf(const std::string& text) {
  if (text.rfind("Your Hardware Version is:", 0) == 0) return platform::BoxStyle::kQuestion;
  if (text.rfind("If your controller stutters", 0) == 0) return platform::BoxStyle::kQuestion;
  if (text.rfind("Firmware Upgraded Successfully!", 0) == 0) return platform::BoxStyle::kInformation;
  return platform::BoxStyle::kWarning;
}

// The texts of the boxes shown, each checked for its style on the way.
inline std::vector<std::string> BoxTexts(const sim::HeadlessDesktop& desktop) {
  std::vector<std::string> texts;
  for (const sim::BoxRecord& box : desktop.Boxes()) {
    EXPECT_EQ(box.style, StyleOf(box.text)) << box.text;
    texts.push_back(box.text);
  }
  return texts;
}

inline std::vector<int> ProgressPositions() {
  std::vector<int> positions;
  for (const sim::Line& line : sim::TheTranscript().Events("progress")) {
    positions.push_back(std::stoi(line.Get("position")));
  }
  return positions;
}

// Every list line of one control, as "[items] selected".
inline std::vector<std::string> ListLines(int control) {
  std::vector<std::string> lines;
  for (const sim::Line& line : sim::TheTranscript().Events("list")) {
    if (line.Get("control") == std::to_string(control)) {
      lines.push_back(line.Get("items") + " " + line.Get("selected"));
    }
  }
  return lines;
}

inline std::string Entries(int count) {
  std::string items = "[";
  for (int i = 0; i < count; ++i) items += (i ? ",\"" : "\"") + std::to_string(i) + "\"";
  return items + "]";
}

inline const std::string kGroupEntries = "[\"Default\",\"1\",\"2\",\"3\",\"4\",\"5\"]";

inline int DialogOpenings(int templateId) {
  int n = 0;
  for (const sim::Line& line : sim::TheTranscript().Events("dialog")) {
    if (line.Get("template") == std::to_string(templateId) && line.Get("state") == "\"open\"") ++n;
  }
  return n;
}

// ---- The main window while the program runs ----

inline CUpgradeDlg* MainWindow() { return theApp.MainDialog(); }

// What the main window shows, and its programming flag.
struct MainState {
  bool open = false;
  bool exitEnabled = false;
  bool upgradeEnabled = false;
  bool adjustEnabled = false;
  int progress = -1;
  int downloading = -1;
  int hiddenShown = 0;  // controls created hidden that are visible now
};

inline MainState Capture(const sim::HeadlessDesktop& desktop) {
  MainState state;
  state.open = desktop.IsDialogOpen(IDD_UPGRADE);
  state.exitEnabled = desktop.Control(IDD_UPGRADE, IDC_EXIT).enabled;
  state.upgradeEnabled = desktop.Control(IDD_UPGRADE, IDC_UPGRADE).enabled;
  state.adjustEnabled = desktop.Control(IDD_UPGRADE, IDC_ADJUST_RF).enabled;
  state.progress = desktop.Control(IDD_UPGRADE, IDC_PROGRESS).position;
  if (CUpgradeDlg* main = MainWindow()) state.downloading = main->m_bDownloading;
  for (int id :
       {IDC_EDIT_FRAME, IDC_EDIT_WARNING, IDC_EDIT_AUX1, IDC_EDIT_AUX2, IDC_TITLE, IDC_ICON}) {
    if (desktop.Control(IDD_UPGRADE, id).visible) ++state.hiddenShown;
  }
  return state;
}

// Queues a look at the main window at the script's current point.
inline void CaptureAt(sim::SimulatedRun& run, MainState* state) {
  run.Desktop().Do("look at the main window", [&run, state] { *state = Capture(run.Desktop()); });
}

// The window back at rest after a command: Exit enabled, not programming,
// nothing hidden shown.
inline void ExpectIdle(const MainState& state) {
  EXPECT_TRUE(state.open);
  EXPECT_TRUE(state.exitEnabled);
  EXPECT_EQ(state.downloading, 0);
  EXPECT_EQ(state.hiddenShown, 0);
}

}  // namespace uitest
