// The unchanged TavrolinUpgrade.exe against the test bus's dongle: this
// program starts it, plays its user through window messages from outside
// (buttons, list entries, message boxes), and checks what reached the dongle
// through the real Win32 calls (SetupAPI, CreateFile, DeviceIoControl,
// ReadFile) in the driver's request log and memory. Device-change
// notifications reach the program through the relay (notification_relay.h).
// Prints one line per check, then "N passed, M failed"; exits nonzero when a
// check failed or a step hung.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "firmware/firmware_image.h"
#include "product_session.h"
// The program's control 1089, not the cursor of <windows.h>.
#undef IDC_ICON
#include "ui/resource_ids.h"

using namespace std::chrono_literals;
using e2e::Request;
using e2e::Session;
using guitest::Check;
using guitest::Note;
using guitest::Num;

namespace {

const char kVersionCaption[] = "Select Firmware Version";
const char kRfCaption[] = "Adjust RF";
const char* const kLabels[6] = {"BadCompany Pro V3.51", "CallofDuty Pro V3.51",
                                "KillZone Pro V3.51",   "MAG Pro V3.51",
                                "UnCharted Pro V3.51",  "Standard V3.51"};
const char kUpgradeError[] =
    "Error occurred during the Firmware upgrading,  \r\nMake sure press and hold the Matching "
    "button while plug it in and try it again, if this would not resolve the problem, please "
    "contact our technical support.";
const char kSuccess[] =
    "Firmware Upgraded Successfully!\n\nYour Tavrolin is ready to use on the PS3. \n To continue "
    "please take out your dongle and plug it back in while holding the dongle button. \n To use "
    "the Tavrolin as a PC mouse remove the dongle and plug it in but do not press the dongle "
    "button.";
const char kReadFlashError[] = "Error occurred in ReadFlash.";
const char kRfQuestion[] =
    "If your controller stutters or hesitates it could mean that you \nhave interference from "
    "other RF devices. To address this, you \ncan change the frequency hopping group to fit your "
    "environment. \n\nDO NOT adjust this if you do not have interference.\n\nDo you want to "
    "change the RF hopping group?";
const char kRfReportBothChanged[] =
    "The RF starting band has been changed successfully!\nThe RF group has been changed "
    "successfully!\n\nYour Tavrolin is now ready to use on the PS3. \n To continue with this "
    "software please take out your dongle and plug it back in while holding the dongle button. "
    "\n To use the Tavrolin as a PC mouse remove the dongle and plug it in but do not press the "
    "dongle button.\n\nNote:  Please re-match the Mouse and Left grip before use. \nRematch the "
    "Mouse and Left grip by pressing the dongle button then the mouse button, then press the "
    "dongle button again and press the left stick button to complete the match.";

// The confirmation for a fresh dongle of the bus (edition " S", firmware
// "1.4", hardware "2") and the edition chosen.
std::string FreshDongleConfirmation(int index) {
  return std::string("Your Hardware Version is: V2\r\nYour Firmware Version is: V1.4   \r\n\r\n"
                     "Upgrade the Firmware to: ") +
         kLabels[index];
}

using Images = std::vector<std::vector<std::uint8_t>>;

struct Env {
  guitest::Watchdog& watchdog;
  tavbus::BusClient& bus;
  remote::NotificationRelay& relay;
  const Images& images;
};

bool Bus(bool ok, const char* what, tavbus::BusClient& bus) {
  return ok || Check(false, std::string(what) + " (bus error " + Num(bus.Error()) + ")");
}

std::vector<std::uint8_t> ReadData(tavbus::BusClient& bus, std::uint32_t address,
                                   std::uint32_t length) {
  std::vector<std::uint8_t> bytes;
  Bus(bus.ReadData(address, length, &bytes), "the dongle's data area is read", bus);
  return bytes;
}

std::vector<std::uint8_t> ReadFlash(tavbus::BusClient& bus, std::uint32_t address,
                                    std::uint32_t length) {
  std::vector<std::uint8_t> bytes;
  Bus(bus.ReadFlash(address, length, &bytes), "the dongle's flash is read", bus);
  return bytes;
}

bool CheckRequests(Session& session, const std::vector<Request>& expected,
                   const std::string& what) {
  const std::string difference = e2e::FirstDifference(expected, session.Log());
  return Check(difference.empty(), what + " (" + Num(static_cast<long long>(expected.size())) +
                                       " requests in order)" +
                                       (difference.empty() ? "" : ": " + difference));
}

// A fresh dongle with its three settings, plugged in or not.
bool PrepareDongle(Session& session, bool plugged) {
  tavbus::BusClient& bus = session.Bus();
  return Bus(bus.Reset() && bus.ClearFaults(), "a fresh dongle", bus) &&
         session.SetPlugged(plugged) && session.ClearLog();
}

// Once the worker has opened the dongle: its three reads, then the buttons.
void ExpectConnected(Session& session, const std::string& when) {
  session.Step("the settings reads " + when);
  session.WaitForRequests(3);
  CheckRequests(session, e2e::SettingsReads(),
                when + ": the worker reads the RF settings at 21, 448 and 449");
  Check(session.WaitDeviceButtons(true), when + ": Upgrade and Adjust RF are enabled");
}

// Upgrade, then the edition at `index` in the version dialog, then OK.
bool ChooseEdition(Session& session, int index) {
  if (!session.Press(session.Main(), IDC_UPGRADE, "Upgrade")) return false;
  HWND dialog = session.WaitDialog(kVersionCaption);
  if (dialog == nullptr) return false;
  const std::vector<std::string> labels(kLabels, kLabels + 6);
  Check(guitest::ListBoxItems(GetDlgItem(dialog, IDC_VERSION_LIST)) == labels,
        "the version dialog lists the six editions");
  Check(remote::SelectListEntry(dialog, IDC_VERSION_LIST, index) == index,
        std::string("\"") + kLabels[index] + "\" is chosen");
  if (!session.Press(dialog, IDOK, "OK")) return false;
  return Check(guitest::WaitGone(dialog, e2e::kWindowWait), "the version dialog closes");
}

struct Upgrade {
  int index;
  e2e::UpgradeShape shape;
  std::string confirmation;
};

// The image's program area in flash, its data block after it, the identity
// bytes as they were.
void CheckProgrammed(Session& session, const std::vector<std::uint8_t>& image, bool largePages,
                     const std::vector<std::uint8_t>& identity, const std::string& what) {
  const std::uint32_t base = largePages ? 0xC000 : 0x0000;
  Check(ReadFlash(session.Bus(), base, 12288) == e2e::ExpectedFlash(image),
        what + ": flash from " + guitest::Hex(base) + " holds the program area as scrambled");
  Check(ReadData(session.Bus(), base + 0x3000, 512) == e2e::ExpectedDataBlock(image),
        what + ": data from " + guitest::Hex(base + 0x3000) + " holds the data block as scrambled");
  Check(ReadData(session.Bus(), 16, 11) == identity, what + ": the identity bytes are restored");
}

void UpgradeSucceeds(Session& session, const Env& env, const Upgrade& upgrade,
                     const std::string& what) {
  const std::vector<std::uint8_t> identity = ReadData(env.bus, 16, 11);
  session.ClearLog();
  if (!ChooseEdition(session, upgrade.index)) return;
  session.Answer(session.ExpectBox(what + ", confirmation", upgrade.confirmation, {IDYES, IDNO}),
                 IDYES);
  session.Answer(session.ExpectBox(what + ", outcome", kSuccess, {IDOK}, e2e::kUpgradeWait), IDOK);
  CheckRequests(session, e2e::UpgradeRequests(upgrade.shape), what);
  CheckProgrammed(session, env.images[static_cast<std::size_t>(upgrade.index)],
                  upgrade.shape.largePages, identity, what);
  Check(guitest::WaitUntil([&] { return remote::Enabled(session.Main(), IDC_EXIT); }, 5s),
        what + ": Exit is enabled again");
}

// Group 2 and band 5 shown; group 4 and band 9 chosen, written and read back.
void ChangeRf(Session& session) {
  session.ClearLog();
  if (!session.Press(session.Main(), IDC_ADJUST_RF, "Adjust RF")) return;
  session.Answer(session.ExpectBox("the RF question", kRfQuestion, {IDYES, IDNO}), IDYES);
  HWND rf = session.WaitDialog(kRfCaption);
  if (rf == nullptr) return;
  HWND group = GetDlgItem(rf, IDC_RF_GROUP);
  HWND band = GetDlgItem(rf, IDC_RF_BAND);
  Check(SendMessageA(group, CB_GETCURSEL, 0, 0) == 2 && SendMessageA(band, CB_GETCURSEL, 0, 0) == 5,
        "the RF dialog shows the dongle's group 2 and band 5");
  Check(guitest::ComboBoxItems(band).size() == 16, "band marker 3: 16 starting bands listed");
  remote::SelectComboEntry(rf, IDC_RF_GROUP, 4);
  remote::SelectComboEntry(rf, IDC_RF_BAND, 9);
  if (!session.Press(rf, IDC_RF_CHANGE, "Change")) return;
  session.Answer(session.ExpectBox("the RF change", kRfReportBothChanged, {IDOK}), IDOK);
  CheckRequests(session,
                {e2e::DataWrite(21, 1), e2e::DataRead(21, 1), e2e::DataWrite(449, 1),
                 e2e::DataRead(449, 1)},
                "the RF change: group written and read back, then band");
  Check(ReadData(session.Bus(), 21, 1) == std::vector<std::uint8_t>{4} &&
            ReadData(session.Bus(), 449, 1) == std::vector<std::uint8_t>{9},
        "the dongle holds group 4 at 21 and band 9 at 449");
  session.Press(rf, IDC_RF_EXIT, "Exit of the RF dialog");
  Check(guitest::WaitGone(rf, e2e::kWindowWait), "the RF dialog closes");
}

// ---- The cases ----

void PluggedAtStart(const Env& env) {
  Note("the dongle plugged in before the program starts");
  Session session(env.watchdog, env.bus, env.relay);
  if (!PrepareDongle(session, true)) return;
  Bus(env.bus.WriteData(21, {2}) && env.bus.WriteData(449, {5}) && env.bus.ClearLog(),
      "group 2 and band 5 are stored", env.bus);
  if (!session.Start()) return;
  ExpectConnected(session, "at start");
  UpgradeSucceeds(session, env, {0, {true, false}, FreshDongleConfirmation(0)},
                  "upgrade of a 512-byte page dongle");
  ChangeRf(session);
  session.Exit();
}

}  // namespace

int main() {
  guitest::Watchdog watchdog(110s);
  tavbus::BusClient bus;
  if (!Check(bus.Open(), "the test bus's control interface opens (error " + Num(bus.Error()) +
                             "; is the driver installed and started?)")) {
    return guitest::Summary();
  }
  remote::NotificationRelay relay;
  Check(guitest::WaitUntil([&] { return relay.Ready(); }, 10s),
        "the relay is registered for USB device-interface notifications");
  const Images images = e2e::ProgramImages(e2e::ProgramPath());
  if (!Check(images.size() == 6, "the six firmware images are read from the program file")) {
    return guitest::Summary();
  }
  // The expected bytes come from ScrambleBlock: a nibble swap.
  std::uint8_t sample[4] = {0x12, 0xA5, 0x00, 0xFF};
  ScrambleBlock(sample, 4);
  Check(sample[0] == 0x21 && sample[1] == 0x5A && sample[2] == 0x00 && sample[3] == 0xFF,
        "the expected bytes are the images' nibble-swapped bytes");

  const Env env{watchdog, bus, relay, images};
  PluggedAtStart(env);
  watchdog.Disarm();
  return guitest::Summary();
}
