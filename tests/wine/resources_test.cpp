// The program's compiled resources (res/TavrolinUpgrade.rc, linked into this
// program as into TavrolinUpgrade.exe) against the portable copies the
// headless desktop runs on: the three dialog templates read back from the
// resource bytes (caption, size, styles, font, every control's id, class,
// text, position and styles), the same dialogs created by the real dialog
// manager (control classes, visibility and pixel positions through
// MapDialogRect), and the embedded files (six firmware images and the PNG,
// byte for byte as the simulated machine embeds them, and the manifest).
// Prints one line per check, then "N passed, M failed".
#include <windows.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "gui_support.h"
#include "tav_version.h"
#include "sim/desktop/dialog_template.h"
#include "sim/desktop/dialog_templates.h"
#include "sim/desktop/embedded_resources.h"

using guitest::Check;
using guitest::Hex;
using guitest::Num;
using platform::ControlTemplate;
using platform::DialogTemplate;

namespace {

// ---- Reading a DLGTEMPLATEEX ----

class TemplateReader {
 public:
  TemplateReader(const std::uint8_t* begin, std::size_t size)
      : begin_(begin), at_(begin), end_(begin + size) {}

  bool Ok() const { return ok_; }

  std::uint16_t Word() {
    std::uint16_t value = 0;
    Take(&value, sizeof value);
    return value;
  }
  std::uint32_t Dword() {
    std::uint32_t value = 0;
    Take(&value, sizeof value);
    return value;
  }
  std::int16_t Short() { return static_cast<std::int16_t>(Word()); }
  std::uint8_t Byte() {
    std::uint8_t value = 0;
    Take(&value, sizeof value);
    return value;
  }

  // A zero-terminated UTF-16 text, as narrow text (the templates are ASCII).
  std::string Text() {
    std::string text;
    for (std::uint16_t c = Word(); ok_ && c != 0; c = Word()) {
      text += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return text;
  }

  // A name or an ordinal (0xFFFF followed by the number).
  std::string TextOrOrdinal(int* ordinal) {
    *ordinal = -1;
    std::uint16_t first = 0;
    if (!Peek(&first)) return "";
    if (first == 0xFFFF) {
      Word();
      *ordinal = Word();
      return "";
    }
    return Text();
  }

  void AlignDword() {
    while (ok_ && (at_ - begin_) % 4 != 0) Byte();
  }
  void Skip(std::size_t count) {
    if (static_cast<std::size_t>(end_ - at_) < count) {
      ok_ = false;
      return;
    }
    at_ += count;
  }

 private:
  bool Peek(std::uint16_t* value) {
    if (end_ - at_ < 2) {
      ok_ = false;
      return false;
    }
    std::memcpy(value, at_, 2);
    return true;
  }
  void Take(void* out, std::size_t count) {
    if (static_cast<std::size_t>(end_ - at_) < count) {
      ok_ = false;
      return;
    }
    std::memcpy(out, at_, count);
    at_ += count;
  }

  const std::uint8_t* begin_;
  const std::uint8_t* at_;
  const std::uint8_t* end_;
  bool ok_ = true;
};

std::string ClassOfOrdinal(int ordinal) {
  switch (ordinal) {
    case 0x80: return "button";
    case 0x81: return "edit";
    case 0x82: return "static";
    case 0x83: return "listbox";
    case 0x84: return "scrollbar";
    case 0x85: return "combobox";
    default: return "#" + Num(ordinal);
  }
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The compiled template of a dialog id, in portable form; false when the
// resource is missing or malformed.
bool ReadCompiledTemplate(int id, DialogTemplate* out) {
  HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5));  // RT_DIALOG
  if (found == nullptr) return false;
  const auto* bytes = static_cast<const std::uint8_t*>(LockResource(LoadResource(nullptr, found)));
  if (bytes == nullptr) return false;
  TemplateReader reader(bytes, SizeofResource(nullptr, found));

  const std::uint16_t version = reader.Word();
  const std::uint16_t signature = reader.Word();
  if (version != 1 || signature != 0xFFFF) return false;  // not DIALOGEX
  reader.Dword();  // help id
  out->id = id;
  out->exStyle = reader.Dword();
  out->style = reader.Dword();
  const int count = reader.Word();
  out->x = reader.Short();
  out->y = reader.Short();
  out->cx = reader.Short();
  out->cy = reader.Short();
  int ordinal = 0;
  reader.TextOrOrdinal(&ordinal);  // menu
  reader.TextOrOrdinal(&ordinal);  // window class
  out->caption = reader.Text();
  if (out->style & (DS_SETFONT | DS_SHELLFONT)) {
    out->fontPointSize = reader.Word();
    out->fontWeight = reader.Word();
    out->fontItalic = reader.Byte() != 0;
    reader.Byte();  // character set
    out->fontFace = reader.Text();
  }
  out->controls.clear();
  for (int i = 0; i < count && reader.Ok(); ++i) {
    reader.AlignDword();
    ControlTemplate control;
    reader.Dword();  // help id
    control.exStyle = reader.Dword();
    control.style = reader.Dword();
    control.x = reader.Short();
    control.y = reader.Short();
    control.cx = reader.Short();
    control.cy = reader.Short();
    control.id = static_cast<int>(reader.Dword());
    control.className = reader.TextOrOrdinal(&ordinal);
    if (ordinal >= 0) control.className = ClassOfOrdinal(ordinal);
    control.text = reader.TextOrOrdinal(&ordinal);
    if (ordinal >= 0) control.text = "#" + Num(ordinal);
    reader.Skip(reader.Word());  // creation data
    out->controls.push_back(control);
  }
  return reader.Ok();
}

// "what differs" between two values, or "" when they are equal.
template <class T>
std::string Differs(const char* field, const T& compiled, const T& portable) {
  if (compiled == portable) return "";
  return std::string(" ") + field + " differs;";
}

std::string HexDiff(const char* field, std::uint32_t compiled, std::uint32_t portable) {
  if (compiled == portable) return "";
  return std::string(" ") + field + " " + Hex(compiled) + " against " + Hex(portable) + ";";
}

void CompareTemplate(const DialogTemplate& portable) {
  const std::string name = "template " + Num(portable.id);
  DialogTemplate compiled;
  if (!Check(ReadCompiledTemplate(portable.id, &compiled),
             name + " is a DIALOGEX resource that reads to its end")) {
    return;
  }
  std::string diff = Differs("caption", compiled.caption, portable.caption) +
                     Differs("position", std::vector<int>{compiled.x, compiled.y, compiled.cx, compiled.cy},
                             std::vector<int>{portable.x, portable.y, portable.cx, portable.cy}) +
                     HexDiff("style", compiled.style, portable.style) +
                     HexDiff("extended style", compiled.exStyle, portable.exStyle) +
                     Differs("font face", compiled.fontFace, portable.fontFace) +
                     Differs("font size", compiled.fontPointSize, portable.fontPointSize) +
                     Differs("font weight", compiled.fontWeight, portable.fontWeight) +
                     Differs("italic", compiled.fontItalic, portable.fontItalic);
  Check(diff.empty(), name + " \"" + compiled.caption + "\" " + Num(compiled.cx) + " x " +
                          Num(compiled.cy) + ", " + compiled.fontFace + " " +
                          Num(compiled.fontPointSize) + " pt, as in the portable table" + diff);
  if (!Check(compiled.controls.size() == portable.controls.size(),
             name + ": " + Num(static_cast<long long>(compiled.controls.size())) + " controls")) {
    return;
  }
  for (std::size_t i = 0; i < compiled.controls.size(); ++i) {
    const ControlTemplate& c = compiled.controls[i];
    const ControlTemplate& p = portable.controls[i];
    const std::string what = name + " control " + Num(static_cast<long long>(i + 1)) + " (id " +
                             Num(p.id) + ", " + p.className + ")";
    diff = Differs("id", c.id, p.id) + Differs("class", Lower(c.className), Lower(p.className)) +
           Differs("text", c.text, p.text) +
           Differs("position", std::vector<int>{c.x, c.y, c.cx, c.cy},
                   std::vector<int>{p.x, p.y, p.cx, p.cy}) +
           HexDiff("style", c.style, p.style) + HexDiff("extended style", c.exStyle, p.exStyle);
    Check(diff.empty(), what + " matches" + diff);
  }
}

// ---- The dialogs as the dialog manager makes them ----

INT_PTR CALLBACK QuietDialogProc(HWND, UINT message, WPARAM, LPARAM) {
  return message == WM_INITDIALOG ? TRUE : FALSE;
}

// As the dialog manager places a control: its position and its size are
// each converted from dialog units on their own.
RECT DialogUnitsToPixels(HWND dialog, int x, int y, int cx, int cy) {
  RECT units = {x, y, cx, cy};
  MapDialogRect(dialog, &units);
  return {units.left, units.top, units.left + units.right, units.top + units.bottom};
}

std::string RectText(const RECT& r) {
  return "(" + Num(r.left) + "," + Num(r.top) + ")-(" + Num(r.right) + "," + Num(r.bottom) + ")";
}

void CheckCreatedDialog(const DialogTemplate& portable) {
  const std::string name = "dialog " + Num(portable.id);
  HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(portable.id),
                                   nullptr, QuietDialogProc, 0);
  if (!Check(dialog != nullptr, name + " is created by the dialog manager")) return;

  // The headless desktop places controls with the base units of a 10-point
  // Times New Roman on Windows: 7 x 15 pixels.
  RECT base = {0, 0, 4, 8};
  MapDialogRect(dialog, &base);
  Check(base.right == 7 && base.bottom == 15,
        name + ": dialog base units " + Num(base.right) + " x " + Num(base.bottom) +
            " pixels, as the headless desktop reckons them");

  RECT client;
  GetClientRect(dialog, &client);
  const RECT size = DialogUnitsToPixels(dialog, 0, 0, portable.cx, portable.cy);
  Check(client.right == size.right && client.bottom == size.bottom,
        name + ": client area " + Num(client.right) + " x " + Num(client.bottom) +
            " pixels, its dialog units mapped");

  // Children in creation order, which is the template's order.
  std::size_t index = 0;
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT), ++index) {
    if (index >= portable.controls.size()) break;
    const ControlTemplate& p = portable.controls[index];
    const std::string what = name + " control " + Num(static_cast<long long>(index + 1)) +
                             " (id " + Num(p.id) + ")";
    char className[64] = {};
    GetClassNameA(child, className, sizeof className);
    const bool visible = (GetWindowLongA(child, GWL_STYLE) & WS_VISIBLE) != 0;
    Check(GetDlgCtrlID(child) == p.id && Lower(className) == Lower(p.className) &&
              visible == p.IsVisible(),
          what + " is a " + className + ", " + (visible ? "shown" : "hidden"));

    const RECT expected = DialogUnitsToPixels(dialog, p.x, p.y, p.cx, p.cy);
    const RECT actual = guitest::ClientRectOf(child);
    if (p.List() == platform::ListKind::kComboBox) {
      // The window is the closed box; the template's height is the opened
      // list's, which the platform reports in its own way.
      RECT dropped = {0, 0, 0, 0};
      SendMessageA(child, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
      Check(actual.left == expected.left && actual.top == expected.top &&
                actual.right == expected.right,
            what + " at " + RectText(actual) + " against " + RectText(expected) +
                " (closed)");
      guitest::Note(what + ": opened height " + Num(dropped.bottom - dropped.top) +
                    " pixels for " + Num(expected.bottom - expected.top) + " in the template");
    } else {
      Check(std::memcmp(&actual, &expected, sizeof actual) == 0,
            what + " at " + RectText(actual) + " against " + RectText(expected));
    }
  }
  Check(index == portable.controls.size() && GetWindow(dialog, GW_CHILD) != nullptr,
        name + " has its " + Num(static_cast<long long>(portable.controls.size())) + " controls");
  DestroyWindow(dialog);
}

// ---- Embedded files ----


// The version record's fixed part and the manifest's identity carry the one
// version number the build was given.
void CheckVersion(const std::string& manifest) {
  HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16));  // RT_VERSION
  const void* data = found ? LockResource(LoadResource(nullptr, found)) : nullptr;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  const std::uint32_t size = found ? SizeofResource(nullptr, found) : 0;
  VS_FIXEDFILEINFO fixed = {};
  for (std::uint32_t at = 0; bytes != nullptr && at + sizeof fixed <= size; at += 4) {
    std::uint32_t signature = 0;
    std::memcpy(&signature, bytes + at, sizeof signature);
    if (signature == VS_FFI_SIGNATURE) {
      std::memcpy(&fixed, bytes + at, sizeof fixed);
      break;
    }
  }
  const DWORD n[4] = {TAV_VERSION_NUMBERS};
  Check(fixed.dwFileVersionMS == ((n[0] << 16) | n[1]) &&
            fixed.dwFileVersionLS == ((n[2] << 16) | n[3]) &&
            fixed.dwProductVersionMS == fixed.dwFileVersionMS &&
            fixed.dwProductVersionLS == fixed.dwFileVersionLS,
        "VERSIONINFO: file and product version " TAV_VERSION_TEXT);
  const std::string processor = sizeof(void*) == 8 ? "amd64" : "x86";
  Check(manifest.find("version=\"" TAV_VERSION_TEXT "\" processorArchitecture=\"" + processor + "\"") !=
            std::string::npos,
        "the manifest's identity has version " TAV_VERSION_TEXT " and this build's processor, " +
            processor);
}

void CheckEmbeddedFiles() {
  int images = 0;
  for (const sim::EmbeddedResource& expected : sim::EmbeddedResources()) {
    const std::string name = std::string(expected.type) + " " + Num(expected.id);
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(expected.id), expected.type);
    const void* bytes = found ? LockResource(LoadResource(nullptr, found)) : nullptr;
    Check(bytes != nullptr && SizeofResource(nullptr, found) == expected.size &&
              std::memcmp(bytes, expected.bytes, expected.size) == 0,
          name + " is in the resources, the same " + Num(static_cast<long long>(expected.size)) +
              " bytes as the simulated machine's");
    if (std::strcmp(expected.type, "MYBIN") == 0 && expected.size == 12900) ++images;
  }
  Check(images == 6, "six firmware images of 12900 bytes");

  // The picture and its drawings at two and three times the size: the
  // signature, then IHDR: width, height (big-endian), depth 8, colour type 6
  // (RGBA).
  struct Picture {
    int id;
    std::uint32_t width;
    std::uint32_t height;
  };
  for (const Picture& picture : {Picture{297, 600, 400}, Picture{298, 1200, 800},
                                 Picture{299, 1800, 1200}}) {
    HRSRC png = FindResourceA(nullptr, MAKEINTRESOURCEA(picture.id), "PNG");
    const auto* header =
        png ? static_cast<const std::uint8_t*>(LockResource(LoadResource(nullptr, png))) : nullptr;
    std::uint8_t start[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D',
                            'R', 0, 0, 0, 0, 0, 0, 0, 0, 8, 6};
    for (int i = 0; i < 4; ++i) {
      start[16 + i] = static_cast<std::uint8_t>(picture.width >> (24 - 8 * i));
      start[20 + i] = static_cast<std::uint8_t>(picture.height >> (24 - 8 * i));
    }
    Check(header != nullptr && SizeofResource(nullptr, png) > sizeof start &&
              std::memcmp(header, start, sizeof start) == 0,
          "PNG " + Num(picture.id) + ": a " + Num(picture.width) + " x " + Num(picture.height) +
              " picture, 8 bits per channel with alpha");
  }

  HRSRC manifest = FindResourceA(nullptr, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
  std::string text;
  if (manifest != nullptr) {
    const char* bytes = static_cast<const char*>(LockResource(LoadResource(nullptr, manifest)));
    if (bytes != nullptr) text.assign(bytes, SizeofResource(nullptr, manifest));
  }
  Check(text.find("level=\"asInvoker\"") != std::string::npos &&
            text.find("uiAccess=\"false\"") != std::string::npos &&
            text.find(">true</dpiAware>") != std::string::npos,
        "the manifest asks for the invoker's privileges and declares DPI awareness");
  Check(text.find(">PerMonitorV2</dpiAwareness>") != std::string::npos,
        "the manifest prefers per-monitor awareness (version 2), dpiAware the fallback");
  CheckVersion(text);
  // No application title string (57344): the program's name comes from its
  // file name.
  Check(FindResourceA(nullptr, MAKEINTRESOURCEA(57344 / 16 + 1), MAKEINTRESOURCEA(6)) == nullptr,
        "no string table with an application title");
}

}  // namespace

int main() {
  const DialogTemplate templates[] = {MainWindowTemplate(), SelectFirmwareTemplate(),
                                      AdjustRfTemplate()};
  for (const DialogTemplate& portable : templates) CompareTemplate(portable);
  for (const DialogTemplate& portable : templates) CheckCreatedDialog(portable);
  CheckEmbeddedFiles();
  return guitest::Summary();
}
