// The whole program on real Win32 dialogs with the demo's simulated dongle:
// the main thread runs the program as TavrolinUpgrade.exe does, and a second
// thread plays the user with window messages, reads what the dialogs and
// message boxes show, and reads the dongle's memory. It covers the main
// window, its keys and close requests, a whole upgrade, the RF adjustment,
// and unplugging and plugging the dongle in again. Screenshots of the main
// window, the version dialog, the confirmation box and the RF dialog go to
// gui-screenshots/ beside the program. On a scaled display (other than 96
// dpi) the run is shorter: the main window, whose picture must fill the
// client area under the controls, and the dialogs and a box, each checked to
// fit and saved with the dpi in its name. Prints one line per check, then
// "N passed, M failed"; exits nonzero when a check failed or the run hung.
#include "gui_support.h"

#include <commctrl.h>
#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "firmware/firmware_upgrader.h"
#include "firmware/upgrade_report.h"
#include "sim/demo/demo_services.h"
#include "sim/machine/dongle_model.h"
#include "sim/machine/sim_machine.h"
#include "ui/app.h"
#include "ui/main_texts.h"
#include "ui/program.h"
// The program's control 1089, not the cursor of <windows.h>.
#undef IDC_ICON
#include "ui/resource_ids.h"
#include "ui/rf_texts.h"
#include "ui/upgrade_dlg.h"

using namespace guitest;
using namespace std::chrono_literals;

namespace {

constexpr auto kDialogWait = 20s;
constexpr auto kUpgradeWait = 120s;
constexpr auto kQuietWait = 600ms;  // nothing should appear meanwhile

const char kVersionCaption[] = "Select Firmware Version";
const char kRfCaption[] = "Adjust RF";
const char kConfirmation[] =
    "Your Hardware Version is: V1\r\nYour Firmware Version is: V3.51   \r\n\r\n"
    "Upgrade the Firmware to: Standard V3.51";
const char* const kNoDongle = kNoDongleText;  // the program's texts; see user_guide_test
const char kSuccessFirstLine[] = "Firmware Upgraded Successfully!";
const char* const kLabels[6] = {"BadCompany Pro V3.51", "CallofDuty Pro V3.51",
                                "KillZone Pro V3.51",   "MAG Pro V3.51",
                                "UnCharted Pro V3.51",  "Standard V3.51"};

// The demo's dongle has 512-byte pages.
constexpr std::uint32_t kFlashBase = DONGLE_FLASH_BASE_LARGE_PAGES;
constexpr std::uint32_t kProgramSize = DONGLE_PROGRAM_SIZE;
constexpr std::uint32_t kDataBlockAddress = kFlashBase + DONGLE_DATA_BLOCK_OFFSET;
constexpr std::uint32_t kDataBlockSize = DONGLE_DATA_BLOCK_SIZE;
constexpr std::uint32_t kIdentityAddress = DONGLE_ADDR_IDENTITY;
constexpr std::uint32_t kIdentitySize = DONGLE_IDENTITY_SIZE;
constexpr std::uint32_t kRfGroupAddress = DONGLE_ADDR_RF_GROUP;
constexpr std::uint32_t kStartBandAddress = DONGLE_ADDR_START_BAND;

// The program's name as the framework takes it: the file name, no extension.
std::string ProgramName() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::filesystem::path(path).stem().string();
}

std::string Shot(const char* name) { return std::string("gui-screenshots/") + name + ".png"; }

// A failed step makes the rest meaningless: report and end the process.
void Require(bool ok, const std::string& what) {
  if (Check(ok, what)) return;
  std::printf("the run stops here\n");
  const int code = Summary();
  std::fflush(stdout);
  TerminateProcess(GetCurrentProcess(), code == 0 ? 1 : static_cast<UINT>(code));
}

std::vector<std::uint8_t> Resource(const char* type, int id) {
  HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(id), type);
  if (found == nullptr) return {};
  HGLOBAL loaded = LoadResource(nullptr, found);
  const auto* bytes = static_cast<const std::uint8_t*>(LockResource(loaded));
  if (bytes == nullptr) return {};
  return std::vector<std::uint8_t>(bytes, bytes + SizeofResource(nullptr, found));
}

std::vector<std::uint8_t> NibbleSwapped(const std::uint8_t* bytes, std::size_t size) {
  std::vector<std::uint8_t> out(bytes, bytes + size);
  for (std::uint8_t& b : out) b = static_cast<std::uint8_t>((b << 4) | (b >> 4));
  return out;
}

// The pixels of a background picture (297 unless told), decoded from the
// program's own resource.
class PictureColours {
 public:
  explicit PictureColours(int id = IDR_BACKGROUND_PNG) {
    const std::vector<std::uint8_t> png = Resource("PNG", id);
    if (png.empty()) return;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, png.size());
    std::memcpy(GlobalLock(block), png.data(), png.size());
    GlobalUnlock(block);
    IStream* stream = nullptr;
    if (CreateStreamOnHGlobal(block, TRUE, &stream) == S_OK) {
      Gdiplus::DllExports::GdipCreateBitmapFromStream(stream, &bitmap_);
      stream->Release();
    }
  }
  ~PictureColours() {
    if (bitmap_ != nullptr) Gdiplus::DllExports::GdipDisposeImage(bitmap_);
  }
  PictureColours(const PictureColours&) = delete;
  PictureColours& operator=(const PictureColours&) = delete;

  bool Valid() const { return bitmap_ != nullptr; }
  UINT Width() const {
    UINT width = 0;
    if (bitmap_ != nullptr) Gdiplus::DllExports::GdipGetImageWidth(bitmap_, &width);
    return width;
  }
  UINT Height() const {
    UINT height = 0;
    if (bitmap_ != nullptr) Gdiplus::DllExports::GdipGetImageHeight(bitmap_, &height);
    return height;
  }
  Gdiplus::ARGB At(int x, int y) const {
    Gdiplus::ARGB colour = 0;
    if (bitmap_ != nullptr) Gdiplus::DllExports::GdipBitmapGetPixel(bitmap_, x, y, &colour);
    return colour;
  }

 private:
  Gdiplus::GpBitmap* bitmap_ = nullptr;
};

// Positions from 5 to the last pixel but two of a length, about every step.
std::vector<int> Samples(int length, int step) {
  std::vector<int> at;
  for (int v = 5; v < length - 3; v += step) at.push_back(v);
  at.push_back(length - 3);
  return at;
}

bool Near(COLORREF screen, Gdiplus::ARGB picture) {
  const int dr = static_cast<int>(GetRValue(screen)) - static_cast<int>((picture >> 16) & 0xFF);
  const int dg = static_cast<int>(GetGValue(screen)) - static_cast<int>((picture >> 8) & 0xFF);
  const int db = static_cast<int>(GetBValue(screen)) - static_cast<int>(picture & 0xFF);
  return dr * dr + dg * dg + db * db <= 3 * 4 * 4;
}

// A resampled pixel lies, channel by channel, within the colours of the
// picture's pixels around the point it maps to (two pixels each way, what a
// bicubic filter scaling down by up to two reads, and a little beyond, for
// its overshoot).
bool WithinNeighbours(COLORREF screen, const PictureColours& picture, int x, int y) {
  const int seen[3] = {GetRValue(screen), GetGValue(screen), GetBValue(screen)};
  int low[3] = {255, 255, 255};
  int high[3] = {0, 0, 0};
  for (int dy = -2; dy <= 2; ++dy) {
    for (int dx = -2; dx <= 2; ++dx) {
      const int px = std::clamp(x + dx, 0, static_cast<int>(picture.Width()) - 1);
      const int py = std::clamp(y + dy, 0, static_cast<int>(picture.Height()) - 1);
      const Gdiplus::ARGB colour = picture.At(px, py);
      for (int c = 0; c < 3; ++c) {
        const int value = static_cast<int>((colour >> (16 - 8 * c)) & 0xFF);
        low[c] = std::min(low[c], value);
        high[c] = std::max(high[c], value);
      }
    }
  }
  constexpr int kOvershoot = 8;
  for (int c = 0; c < 3; ++c) {
    if (seen[c] < low[c] - kOvershoot || seen[c] > high[c] + kOvershoot) return false;
  }
  return true;
}

class Automation {
 public:
  Automation(DWORD windowThread, sim::SimMachine& machine)
      : thread_(windowThread), machine_(machine), program_(ProgramName()) {}

  void Run() {
    watchdog_.Step("the main window opens");
    CheckMainWindow();
    if (Scaled()) {
      RunScaled();
      return;
    }
    CheckKeysOnMainWindow();
    RunUpgrade();
    RunRfAdjustment();
    UnplugAndPlug();
    EndWithEnter();
    finished_ = true;
  }

  bool Finished() const { return finished_; }
  HWND MainWindow() const { return main_; }
  Watchdog& Dog() { return watchdog_; }

 private:
  HWND Item(int id) const { return GetDlgItem(main_, id); }

  // The box of this program that is on top now, or nullptr.
  HWND FindBox() const { return FindDialog(thread_, program_); }

  Box WaitForBox(const std::string& what, std::chrono::milliseconds limit = kDialogWait) {
    watchdog_.Step(what);
    HWND hwnd = WaitForDialog(thread_, program_, limit);
    Require(hwnd != nullptr, what);
    return ReadBox(hwnd);
  }

  void Answer(const Box& box, int id) {
    PostCommand(box.hwnd, id);
    Require(WaitUntil([&box] { return !IsWindow(box.hwnd); }, kDialogWait),
            "the box closes on answer " + Num(id));
  }

  // Where a key typed on the main window goes: the window with the focus,
  // once the focus is back in the main window after a box or dialog closed.
  HWND KeyTarget() {
    HWND focus = nullptr;
    WaitUntil(
        [&] {
          focus = FocusOf(thread_);
          return focus == main_ || (focus != nullptr && IsChild(main_, focus));
        },
        kQuietWait);
    return focus;
  }

  bool NoBoxFor(std::chrono::milliseconds time) {
    return !WaitUntil([this] { return FindBox() != nullptr; }, time);
  }

  void CheckBox(const Box& box, const std::string& text, LPCSTR icon, const char* iconName,
                std::vector<int> buttons, HWND owner, const std::string& what) {
    Check(box.caption == program_,
          what + ": caption \"" + box.caption + "\" is the program's name \"" + program_ + "\"");
    Check(box.text == text, what + ": text \"" + Escaped(box.text) + "\"");
    Check(box.icon != nullptr && box.icon == LoadIconA(nullptr, icon),
          what + ": the " + iconName + " icon");
    Check(box.buttons == buttons, what + ": buttons " + ButtonNames(box.buttons));
    Check(box.owner == owner && owner != nullptr && !IsWindowEnabled(owner),
          what + ": owned by the dialog below it, which takes no input meanwhile");
  }

  // ---- A scaled display ----

  bool Scaled() const { return dpi_ != 96; }

  // A screenshot's path, named after the display's dots per inch when scaled.
  std::string ShotHere(const std::string& name) const {
    return Shot((Scaled() ? name + "-" + Num(dpi_) + "dpi" : name).c_str());
  }

  // On a scaled display the main window (checked as at 96 dpi), the version
  // dialog, the RF question and the RF dialog: each laid out inside its own
  // client area, and saved as a screenshot.
  void RunScaled() {
    PostCommand(main_, IDC_UPGRADE);
    LookAtDialog(kVersionCaption, "version-dialog", IDCANCEL);
    PostCommand(main_, IDC_ADJUST_RF);
    const Box question = WaitForBox("Adjust RF asks its question");
    CheckFits(question.hwnd, "the RF question box");
    SaveScreenshot({main_, question.hwnd}, ShotHere("rf-question"));
    Answer(question, IDYES);
    LookAtDialog(kRfCaption, "rf-dialog", IDC_RF_EXIT);
    EndWithEnter();
    finished_ = true;
  }

  // The dialog that opens now: checked to fit, saved, then closed with the
  // button given.
  void LookAtDialog(const std::string& caption, const std::string& shot, int closeId) {
    watchdog_.Step("\"" + caption + "\" opens");
    HWND dialog = WaitForDialog(thread_, caption, kDialogWait);
    Require(dialog != nullptr, "\"" + caption + "\" opens");
    CheckFits(dialog, "\"" + caption + "\"");
    SaveScreenshot({main_, dialog}, ShotHere(shot));
    PostCommand(dialog, closeId);
    Require(WaitGone(dialog, kDialogWait),
            "\"" + caption + "\" closes on button " + Num(closeId));
  }

  // Every shown control of a dialog or box lies inside its client area.
  void CheckFits(HWND dialog, const std::string& what) {
    RECT client;
    GetClientRect(dialog, &client);
    int outside = 0;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
      if (!IsWindowVisible(child)) continue;
      const RECT r = ClientRectOf(child);
      const bool inside = r.left >= 0 && r.top >= 0 && r.right <= client.right &&
                          r.bottom <= client.bottom;
      if (!inside) ++outside;
    }
    Check(outside == 0, what + " at " + Num(dpi_) + " dpi: every control inside its " +
                            Num(client.right) + " x " + Num(client.bottom) + " client area");
  }

  // The picture's light panel, 18,268 to 582,392 in its own pixels, lies
  // under the progress bar's frame and the buttons at every scale.
  void CheckControlsOnPanel(const RECT& client) {
    const double fx = Scaled() ? client.right / 600.0 : 1.0;
    const double fy = Scaled() ? client.bottom / 400.0 : 1.0;
    const RECT panel = {std::lround(18 * fx), std::lround(268 * fy), std::lround(582 * fx),
                        std::lround(392 * fy)};
    for (int id : {IDC_EDIT_FRAME, IDC_UPGRADE, IDC_ADJUST_RF, IDC_EXIT}) {
      const RECT r = ClientRectOf(Item(id));
      Check(r.left >= panel.left && r.top >= panel.top && r.right <= panel.right &&
                r.bottom <= panel.bottom,
            "control " + Num(id) + " (" + Num(r.left) + "," + Num(r.top) + " to " +
                Num(r.right) + "," + Num(r.bottom) + ") lies on the picture's panel (" +
                Num(panel.left) + "," + Num(panel.top) + " to " + Num(panel.right) + "," +
                Num(panel.bottom) + ")");
    }
  }

  // ---- The main window ----

  void CheckMainWindow() {
    main_ = WaitForDialog(thread_, kMainCaption, kDialogWait);
    Require(main_ != nullptr, "the main window opens, caption \"" + std::string(kMainCaption) + "\"");
    dpi_ = static_cast<int>(GetDpiForWindow(main_));
    Note("the display has " + Num(dpi_) + " dpi");
    // Printed, not checked: Wine has one scale for every monitor and gives a
    // DPI-aware program per-monitor awareness whatever its manifest asks.
    Note("DPI awareness of the main window: " +
         Num(GetAwarenessFromDpiAwarenessContext(GetWindowDpiAwarenessContext(main_))) +
         " (2: per monitor)");
    // The worker has opened the dongle and read its settings.
    Require(WaitUntil(
                [] { return theApp.m_bConnected.load() != 0 && theApp.m_nStartBand.load() == 5; },
                kDialogWait),
            "the worker connects the simulated dongle and reads band 5");

    struct Shown {
      int id;
      const char* text;
    };
    for (const Shown& button : {Shown{IDC_UPGRADE, "Upgrade"}, Shown{IDC_ADJUST_RF, "Adjust RF"},
                                Shown{IDC_EXIT, "Exit"}}) {
      HWND hwnd = Item(button.id);
      Check(hwnd != nullptr && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd) &&
                TextOf(hwnd) == button.text,
            "button " + Num(button.id) + " \"" + button.text + "\" is shown and enabled");
    }
    Check(IsWindowVisible(Item(IDC_PROGRESS)) &&
              SendMessageA(Item(IDC_PROGRESS), PBM_GETPOS, 0, 0) == 0 &&
              SendMessageA(Item(IDC_PROGRESS), PBM_GETRANGE, FALSE, 0) == 100,
          "the progress bar is shown, range 0-100, at 0");
    for (int id : {IDC_EDIT_FRAME, IDC_EDIT_WARNING, IDC_EDIT_AUX1, IDC_EDIT_AUX2, IDC_TITLE,
                   IDC_ICON}) {
      Check(Item(id) != nullptr && !IsWindowVisible(Item(id)), "control " + Num(id) + " is hidden");
    }
    const LONG style = GetWindowLongA(main_, GWL_STYLE);
    Check((style & WS_SYSMENU) == 0, "the main window has no system menu and no close box");
    Check(FocusOf(thread_) == Item(IDC_EXIT), "the keyboard focus starts on Exit");

    RECT client;
    GetClientRect(main_, &client);
    // 343 x 213 dialog units of a 10-point Times New Roman (base units 7 x
    // 15) come to 600 x 399.4 pixels: the picture's last row is cut off.
    RECT units = {0, 0, 343, 213};
    MapDialogRect(main_, &units);
    Check(client.right == units.right && client.bottom == units.bottom,
          "the client area is the template's 343 x 213 dialog units: " + Num(client.right) +
              " x " + Num(client.bottom) + " pixels");
    Check(client.right >= 600 && client.bottom >= 399,
          "it holds the 600 x 400 picture but for the row the dialog units round away");
    CheckPicture(client);
    CheckControlsOnPanel(client);

    // The repaint rectangle around the progress bar is control 1083's frame.
    const auto* window = static_cast<const CUpgradeDlg*>(g_pMainDlg.load());
    const RECT frame = ClientRectOf(Item(IDC_EDIT_FRAME));
    const RECT bar = ClientRectOf(Item(IDC_PROGRESS));
    Check(window != nullptr && window->m_rcProgress.left == frame.left &&
              window->m_rcProgress.top == frame.top && window->m_rcProgress.right == frame.right &&
              window->m_rcProgress.bottom == frame.bottom && frame.left < bar.left &&
              frame.top < bar.top && frame.right > bar.right && frame.bottom > bar.bottom,
          "the repaint rectangle is control 1083's frame, which encloses the progress bar");
    SaveScreenshot({main_}, ShotHere("main-window"));
  }

  // Pixels of the client area outside the controls show the picture's
  // colours: at 96 dpi drawn at its own size from the top-left corner, on a
  // scaled display the larger drawing scaled down over the whole client area
  // (there a pixel is compared with that drawing's pixels around the point
  // it maps to, since resampling blends neighbours).
  void CheckPicture(const RECT& client) {
    PictureColours picture;
    if (!Check(picture.Valid() && picture.Width() == 600 && picture.Height() == 400,
               "the PNG resource decodes to 600 x 400")) {
      return;
    }
    const bool scaled = Scaled();
    // On a scaled display the drawing at twice the size covers a client area
    // up to 1200 x 800, the one at three times a larger one.
    const bool twice = client.right <= 1200 && client.bottom <= 800;
    const PictureColours drawn(!scaled ? IDR_BACKGROUND_PNG
                               : twice ? IDR_BACKGROUND_2X_PNG
                                       : IDR_BACKGROUND_3X_PNG);
    std::vector<RECT> controls;
    for (int id : {IDC_UPGRADE, IDC_ADJUST_RF, IDC_EXIT, IDC_PROGRESS}) {
      RECT r = ClientRectOf(Item(id));
      InflateRect(&r, 2, 2);
      controls.push_back(r);
    }
    const int right = scaled ? client.right : std::min<int>(client.right, 600);
    const int bottom = scaled ? client.bottom : std::min<int>(client.bottom, 400);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    int compared = 0;
    int matching = 0;
    int notFace = 0;
    std::string firstMismatch;
    HDC dc = GetDC(main_);
    for (int y : Samples(bottom, 30)) {
      for (int x : Samples(right, 40)) {
        const POINT p = {x, y};
        bool covered = false;
        for (const RECT& r : controls) covered = covered || PtInRect(&r, p);
        const int px = scaled ? x * static_cast<int>(drawn.Width()) / client.right : x;
        const int py = scaled ? y * static_cast<int>(drawn.Height()) / client.bottom : y;
        const Gdiplus::ARGB expected = drawn.At(px, py);
        if (covered || (expected >> 24) != 0xFF) continue;
        const COLORREF seen = GetPixel(dc, x, y);
        ++compared;
        if (scaled ? WithinNeighbours(seen, drawn, px, py) : Near(seen, expected)) {
          ++matching;
        } else if (firstMismatch.empty()) {
          firstMismatch = " (first difference at " + Num(x) + "," + Num(y) + ": " + Hex(seen) +
                          " against " + Hex(expected & 0xFFFFFF) + ")";
        }
        if (seen != face) ++notFace;
      }
    }
    ReleaseDC(main_, dc);
    Check(compared > 50 && matching == compared,
          Num(matching) + " of " + Num(compared) + " sampled pixels show the picture" +
              firstMismatch);
    Check(notFace > compared / 2, "the client area is not the dialog face colour");
  }

  // Escape and a close request run the Adjust RF action (the command of id
  // 2): its question comes up, and No opens nothing.
  void CheckKeysOnMainWindow() {
    struct Way {
      const char* name;
      std::function<void()> send;
    };
    const std::vector<Way> ways = {
        {"Escape", [this] { PostKey(KeyTarget(), VK_ESCAPE); }},
        {"a close request (WM_CLOSE)", [this] { PostMessageA(main_, WM_CLOSE, 0, 0); }},
        {"Alt+F4", [this] {
           PostMessageA(KeyTarget(), WM_SYSKEYDOWN, VK_F4, static_cast<LPARAM>(1u | (1u << 29)));
         }},
        // Enter presses the push button with the focus rather than Exit.
        {"Enter with the focus on Adjust RF", [this] {
           PostMessageA(main_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(IDC_ADJUST_RF)), TRUE);
           WaitUntil([this] { return FocusOf(thread_) == Item(IDC_ADJUST_RF); }, kQuietWait);
           PostKey(Item(IDC_ADJUST_RF), VK_RETURN);
         }},
    };
    for (const Way& way : ways) {
      way.send();
      const Box box = WaitForBox(std::string(way.name) + " on the main window asks the RF question");
      CheckBox(box, kRfQuestionText, IDI_QUESTION, "question", {IDYES, IDNO}, main_,
               std::string("RF question after ") + way.name);
      Answer(box, IDNO);
      Check(!WaitUntil([this] { return FindDialog(thread_, kRfCaption) != nullptr; }, kQuietWait),
            std::string("No after ") + way.name + " opens no RF dialog");
      Check(IsWindowVisible(main_) && IsWindowEnabled(main_),
            std::string("the main window stays open after ") + way.name);
    }
  }

  // ---- Upgrade ----

  // Enter in the version dialog is OK; No to the confirmation writes nothing.
  void DeclineUpgrade() {
    watchdog_.Step("the version dialog opens");
    PostCommand(main_, IDC_UPGRADE);
    HWND version = WaitForDialog(thread_, kVersionCaption, kDialogWait);
    Require(version != nullptr, "Upgrade opens \"" + std::string(kVersionCaption) + "\"");
    HWND list = GetDlgItem(version, IDC_VERSION_LIST);
    PostKey(list, VK_RETURN);
    Require(WaitGone(version, kDialogWait), "Enter in the list ends the version dialog");
    const Box confirm = WaitForBox("Enter asks for confirmation");
    const std::uint64_t requests = machine_.Dongle().RequestCount();
    Check(confirm.text == kConfirmation, "Enter works as OK: the confirmation for the sixth edition");
    Answer(confirm, IDNO);
    Check(NoBoxFor(kQuietWait), "No ends the flow without a message");
    Check(machine_.Dongle().RequestCount() == requests &&
              machine_.Dongle().ReadFlashBytes(kFlashBase, kProgramSize) ==
                  std::vector<std::uint8_t>(kProgramSize, 0xFF),
          "No sends nothing more to the dongle; its flash stays erased");
    Check(IsWindowEnabled(Item(IDC_EXIT)) &&
              SendMessageA(Item(IDC_PROGRESS), PBM_GETPOS, 0, 0) == 0,
          "Exit stays enabled and the progress bar at 0");
  }

  void RunUpgrade() {
    DeclineUpgrade();
    const std::vector<std::uint8_t> identityBefore =
        machine_.Dongle().ReadData(kIdentityAddress, kIdentitySize);

    watchdog_.Step("the version dialog opens");
    PostCommand(main_, IDC_UPGRADE);
    HWND version = WaitForDialog(thread_, kVersionCaption, kDialogWait);
    Require(version != nullptr, "Upgrade opens \"" + std::string(kVersionCaption) + "\"");
    Check(!IsWindowEnabled(main_), "the main window takes no input while it is open");
    HWND list = GetDlgItem(version, IDC_VERSION_LIST);
    const std::vector<std::string> items = ListBoxItems(list);
    Check(items == std::vector<std::string>(kLabels, kLabels + 6),
          "the list holds the six edition labels in catalogue order");
    Check(SendMessageA(list, LB_GETCURSEL, 0, 0) == 5, "the sixth, \"Standard V3.51\", is selected");
    SaveScreenshot({main_, version}, Shot("version-dialog"));

    // LB_SETCURSEL with an index past the end.
    SendMessageA(list, LB_SETCURSEL, 99, 0);
    const LRESULT afterOutOfRange = SendMessageA(list, LB_GETCURSEL, 0, 0);
    Note("LB_SETCURSEL past the end leaves selection " + Num(afterOutOfRange) +
         (afterOutOfRange == 5 ? " (kept, as on the headless desktop)"
                               : " (the headless desktop keeps it)"));
    SendMessageA(list, LB_SETCURSEL, 5, 0);

    watchdog_.Step("the confirmation box opens");
    PostCommand(version, IDOK);
    Require(WaitGone(version, kDialogWait), "OK closes the version dialog");
    const Box confirm = WaitForBox("OK asks for confirmation");
    CheckBox(confirm, kConfirmation, IDI_QUESTION, "question", {IDYES, IDNO}, main_,
             "confirmation");
    SaveScreenshot({main_, confirm.hwnd}, Shot("confirmation-box"));
    Check(machine_.Dongle().ReadFlashBytes(kFlashBase, 64) == std::vector<std::uint8_t>(64, 0xFF),
          "nothing is written before Yes");

    Answer(confirm, IDYES);
    const Box done = WaitForBox("the programming ends with a box", kUpgradeWait);
    Check(done.caption == program_, "success box caption \"" + done.caption + "\"");
    Check(done.text == kMsgUpgradeSucceeded &&
              done.text.compare(0, std::strlen(kSuccessFirstLine), kSuccessFirstLine) == 0,
          "success box text \"" + Escaped(done.text.substr(0, 60)) + "...\"");
    Check(done.icon != nullptr && done.icon == LoadIconA(nullptr, IDI_INFORMATION),
          "success box: the information icon");
    Check(done.buttons == std::vector<int>{IDOK}, "success box: one OK button");
    Check(SendMessageA(Item(IDC_PROGRESS), PBM_GETPOS, 0, 0) == 100,
          "the progress bar stands at 100 while the box is open");
    Check(!IsWindowEnabled(Item(IDC_EXIT)), "Exit is disabled until the flow ends");
    SaveScreenshot({main_, done.hwnd}, Shot("upgrade-done"));
    CheckFlashedImage(identityBefore);

    Answer(done, IDOK);
    Check(WaitUntil([this] { return IsWindowEnabled(Item(IDC_EXIT)) != FALSE; }, kDialogWait),
          "Exit is enabled again after the flow");
    Check(SendMessageA(Item(IDC_PROGRESS), PBM_GETPOS, 0, 0) == 0,
          "the progress bar is back at 0");
  }

  void CheckFlashedImage(const std::vector<std::uint8_t>& identityBefore) {
    const std::vector<std::uint8_t> image = Resource("MYBIN", IDR_FIRMWARE_STANDARD);
    if (!Check(image.size() == 12900, "the standard image (MYBIN 341) is in the resources")) return;
    sim::SimDongle& dongle = machine_.Dongle();
    Check(dongle.ReadFlashBytes(kFlashBase, kProgramSize) == NibbleSwapped(image.data(), kProgramSize),
          "flash 0xC000-0xEFFF holds the image's program area, nibble-swapped");
    Check(dongle.ReadData(kDataBlockAddress, kDataBlockSize) ==
              NibbleSwapped(image.data() + kProgramSize, kDataBlockSize),
          "data 0xF000-0xF1FF holds the image's data block, nibble-swapped");
    Check(dongle.ReadData(kIdentityAddress, kIdentitySize) == identityBefore,
          "the identity bytes 16-26 are unchanged");
  }

  // ---- RF adjustment ----

  HWND OpenRfDialog() {
    PostCommand(main_, IDC_ADJUST_RF);
    const Box question = WaitForBox("Adjust RF asks its question");
    Check(question.text == kRfQuestionText, "Adjust RF asks the RF question");
    Answer(question, IDYES);
    watchdog_.Step("the RF dialog opens");
    HWND rf = WaitForDialog(thread_, kRfCaption, kDialogWait);
    Require(rf != nullptr, "Yes opens \"" + std::string(kRfCaption) + "\"");
    return rf;
  }

  void RunRfAdjustment() {
    HWND rf = OpenRfDialog();
    HWND band = GetDlgItem(rf, IDC_RF_BAND);
    HWND group = GetDlgItem(rf, IDC_RF_GROUP);
    std::vector<std::string> bands;
    for (int i = 0; i < 16; ++i) bands.push_back(std::to_string(i));
    Check(ComboBoxItems(band) == bands, "the band list holds \"0\" to \"15\"");
    Check(SendMessageA(band, CB_GETCURSEL, 0, 0) == 5, "band 5 is selected");
    Check(ComboBoxItems(group) == std::vector<std::string>{"Default", "1", "2", "3", "4", "5"},
          "the group list holds \"Default\", \"1\" to \"5\"");
    Check(SendMessageA(group, CB_GETCURSEL, 0, 0) == 0, "group \"Default\" is selected");
    RECT bandRect = ClientRectOf(band);
    RECT groupRect = ClientRectOf(group);
    Check(bandRect.top < groupRect.top, "the band list is the upper one");
    SaveScreenshot({main_, rf}, Shot("rf-dialog"));

    // Combo-box messages the program relies on, as the headless desktop models
    // them: CB_SELECTSTRING searches after the start index, by prefix;
    // CB_SETCURSEL past the end clears the selection.
    Check(SendMessageA(band, CB_SELECTSTRING, 0, reinterpret_cast<LPARAM>("1")) == 1 &&
              SendMessageA(band, CB_SELECTSTRING, 1, reinterpret_cast<LPARAM>("1")) == 10,
          "CB_SELECTSTRING finds \"1\" after 0 and \"10\" after 1");
    // CB_SETCURSEL past the end: Windows clears the selection, and so does
    // the headless desktop; the program never relies on it.
    SendMessageA(group, CB_SETCURSEL, 99, 0);
    const LRESULT afterOutOfRange = SendMessageA(group, CB_GETCURSEL, 0, 0);
    Note("CB_SETCURSEL past the end leaves selection " + Num(afterOutOfRange) +
         (afterOutOfRange == CB_ERR ? " (cleared, as on the headless desktop)"
                                    : " (the headless desktop clears it)"));

    SendMessageA(band, CB_SETCURSEL, 9, 0);
    SendMessageA(group, CB_SETCURSEL, 2, 0);
    PostCommand(rf, IDC_RF_CHANGE);
    const Box report = WaitForBox("Change reports its outcome");
    CheckBox(report,
             std::string(kBandChangedText) + kGroupChangedText + kRfClosingNote,
             IDI_EXCLAMATION, "warning", {IDOK}, rf, "RF report");
    Check(machine_.Dongle().ReadData(kRfGroupAddress, 1) == std::vector<std::uint8_t>{2},
          "the dongle holds group 2 at data 21");
    Check(machine_.Dongle().ReadData(kStartBandAddress, 1) == std::vector<std::uint8_t>{9},
          "the dongle holds band 9 at data 449");
    Check(theApp.m_nRfGroup.load() == 2 && theApp.m_nStartBand.load() == 9,
          "the program keeps group 2 and band 9");
    SaveScreenshot({main_, rf, report.hwnd}, Shot("rf-report"));
    Answer(report, IDOK);
    Check(IsWindowVisible(rf) != FALSE, "the RF dialog stays open after the report");

    // The RF dialog has no IDCANCEL control: a close request ends it.
    PostMessageA(rf, WM_CLOSE, 0, 0);
    Check(WaitGone(rf, kDialogWait), "a close request ends the RF dialog");

    rf = OpenRfDialog();
    Check(SendMessageA(GetDlgItem(rf, IDC_RF_BAND), CB_GETCURSEL, 0, 0) == 9 &&
              SendMessageA(GetDlgItem(rf, IDC_RF_GROUP), CB_GETCURSEL, 0, 0) == 2,
          "opened again, it shows band 9 and group 2");
    PostCommand(rf, IDC_RF_EXIT);
    Check(WaitGone(rf, kDialogWait), "Exit ends the RF dialog");
    Check(NoBoxFor(kQuietWait), "Exit shows no message");

    // The RF dialog has no default push button: Enter is IDOK, which ends it.
    rf = OpenRfDialog();
    PostKey(GetDlgItem(rf, IDC_RF_GROUP), VK_RETURN);
    Check(WaitGone(rf, kDialogWait), "Enter ends the RF dialog");
    Check(NoBoxFor(kQuietWait) && machine_.Dongle().ReadData(kStartBandAddress, 1) ==
                                      std::vector<std::uint8_t>{9},
          "Enter writes nothing and shows no message");
  }

  // ---- Unplug and plug in ----

  void UnplugAndPlug() {
    watchdog_.Step("unplugging");
    machine_.Unplug();
    Check(WaitUntil(
              [this] {
                return !IsWindowEnabled(Item(IDC_UPGRADE)) && !IsWindowEnabled(Item(IDC_ADJUST_RF));
              },
              kDialogWait),
          "unplugging disables Upgrade and Adjust RF (WM_DEVICECHANGE)");
    Check(IsWindowEnabled(Item(IDC_EXIT)) && theApp.m_bConnected.load() == 0,
          "Exit stays enabled; the dongle counts as gone");
    CheckControlsStayDrawn();
    SaveScreenshot({main_}, Shot("unplugged"));

    // A close request while id 2 (Adjust RF) is disabled: Windows refuses it
    // with a beep; printed, since Wine may answer otherwise.
    PostMessageA(main_, WM_CLOSE, 0, 0);
    HWND box = nullptr;
    WaitUntil([&] { return (box = FindBox()) != nullptr; }, kQuietWait);
    if (box == nullptr) {
      Note("close request with Adjust RF disabled: refused");
    } else {
      const Box seen = ReadBox(box);
      Note("close request with Adjust RF disabled: turned into IDCANCEL (box \"" +
           Escaped(seen.text.substr(0, 40)) + "...\")");
      Check(seen.text == kNoDongle, "its Adjust RF action reports the missing dongle");
      Answer(seen, IDOK);
    }
    HWND focus = KeyTarget();
    Note("the focus is now on " +
         (focus == nullptr ? std::string("no window")
          : focus == main_ ? std::string("the main window itself")
                           : ClassOf(focus) + " " + Num(GetDlgCtrlID(focus))));
    PostKey(focus != nullptr ? focus : main_, VK_ESCAPE);
    box = nullptr;
    WaitUntil([&] { return (box = FindBox()) != nullptr; }, kQuietWait);
    if (box == nullptr) {
      Note("Escape with Adjust RF disabled: nothing");
    } else {
      const Box seen = ReadBox(box);
      Note("Escape with Adjust RF disabled: IDCANCEL sent all the same");
      Check(seen.text == kNoDongle, "Escape's Adjust RF action reports the missing dongle");
      Answer(seen, IDOK);
    }

    watchdog_.Step("plugging in again");
    machine_.Plug();
    Check(WaitUntil(
              [this] {
                return IsWindowEnabled(Item(IDC_UPGRADE)) && IsWindowEnabled(Item(IDC_ADJUST_RF));
              },
              kDialogWait),
          "plugging in again enables Upgrade and Adjust RF");
    Check(WaitUntil([] { return theApp.m_nStartBand.load() == 9 && theApp.m_nRfGroup.load() == 2; },
                    kDialogWait),
          "the worker reads the dongle's new settings again");
  }

  // The window's style does not clip its children, so its paint could land on
  // a control that has just painted itself (seen after an unplug: progress
  // bar and buttons covered by the picture until they painted again). Each
  // of many whole repaints leaves every shown control's own pixels in the
  // window, never the picture's.
  void CheckControlsStayDrawn() {
    PictureColours picture;
    std::vector<POINT> inside;
    for (int id : {IDC_UPGRADE, IDC_ADJUST_RF, IDC_EXIT, IDC_PROGRESS}) {
      const RECT r = ClientRectOf(Item(id));
      inside.push_back({r.left + 3, (r.top + r.bottom) / 2});
    }
    int covered = 0;
    for (int round = 0; round < 100; ++round) {
      RedrawWindow(main_, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
      HDC dc = GetDC(main_);
      for (const POINT& p : inside) {
        if (Near(GetPixel(dc, p.x, p.y), picture.At(p.x, p.y))) ++covered;
      }
      ReleaseDC(main_, dc);
    }
    Check(picture.Valid() && covered == 0,
          "100 repaints after the unplug: the picture never covers a control (" + Num(covered) +
              " times)");
  }

  // Enter with the focus on Exit ends the program.
  void EndWithEnter() {
    watchdog_.Step("Enter ends the run");
    PostMessageA(main_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(IDC_EXIT)), TRUE);
    Check(WaitUntil([this] { return FocusOf(thread_) == Item(IDC_EXIT); }, kDialogWait),
          "the focus is on Exit");
    PostKey(Item(IDC_EXIT), VK_RETURN);
    Check(WaitGone(main_, kDialogWait), "Enter closes the main window");
  }

  DWORD thread_;
  sim::SimMachine& machine_;
  std::string program_;
  HWND main_ = nullptr;
  int dpi_ = 96;
  Watchdog watchdog_{240s};
  bool finished_ = false;
};

}  // namespace

int main() {
  StartScreenshots();
  sim::SimMachine& machine = sim::InstallDemoServices();

  Automation automation(GetCurrentThreadId(), machine);
  std::thread user([&automation] { automation.Run(); });
  const int code = RunProgram();
  user.join();
  Check(code == 0, "the program returns 0");
  Check(automation.Finished() && !IsWindow(automation.MainWindow()),
        "the run ended with the main window closed");
  automation.Dog().Disarm();
  const int result = Summary();
  // As the program does: the device worker ends with the process.
  ExitProcess(static_cast<UINT>(result));
}
