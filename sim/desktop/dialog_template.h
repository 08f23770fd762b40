// Dialog templates in portable form: what a DIALOGEX statement of the .rc
// script says, as data. The headless desktop builds its controls from these;
// the Win32 backend runs the compiled .rc templates of the same ids.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/list_kind.h"

namespace platform {

// Window and control styles, with the values the compiled template carries.
constexpr std::uint32_t kWsPopup = 0x80000000u;
constexpr std::uint32_t kWsChild = 0x40000000u;
constexpr std::uint32_t kWsVisible = 0x10000000u;
constexpr std::uint32_t kWsDisabled = 0x08000000u;
constexpr std::uint32_t kWsCaption = 0x00C00000u;
constexpr std::uint32_t kWsBorder = 0x00800000u;
constexpr std::uint32_t kWsVScroll = 0x00200000u;
constexpr std::uint32_t kWsSysMenu = 0x00080000u;
constexpr std::uint32_t kWsGroup = 0x00020000u;
constexpr std::uint32_t kWsTabStop = 0x00010000u;
constexpr std::uint32_t kWsExTransparent = 0x00000020u;

constexpr std::uint32_t kDs3dLook = 0x0004u;
constexpr std::uint32_t kDsSetFont = 0x0040u;
constexpr std::uint32_t kDsModalFrame = 0x0080u;

constexpr std::uint32_t kBsPushButton = 0x0000u;
constexpr std::uint32_t kBsDefPushButton = 0x0001u;
constexpr std::uint32_t kBsTypeMask = 0x000Fu;

constexpr std::uint32_t kEsLeft = 0x0000u;
constexpr std::uint32_t kEsMultiLine = 0x0004u;
constexpr std::uint32_t kEsUpperCase = 0x0008u;
constexpr std::uint32_t kEsAutoVScroll = 0x0040u;
constexpr std::uint32_t kEsReadOnly = 0x0800u;
constexpr std::uint32_t kEsNumber = 0x2000u;

constexpr std::uint32_t kSsLeft = 0x0000u;
constexpr std::uint32_t kSsIcon = 0x0003u;
constexpr std::uint32_t kSsSimple = 0x000Bu;
constexpr std::uint32_t kSsRealSizeImage = 0x0800u;

constexpr std::uint32_t kLbsNotify = 0x0001u;
constexpr std::uint32_t kLbsSort = 0x0002u;
constexpr std::uint32_t kLbsNoIntegralHeight = 0x0100u;

constexpr std::uint32_t kCbsDropDownList = 0x0003u;
constexpr std::uint32_t kCbsSort = 0x0100u;

// IDC_STATIC: the id of controls the program never addresses.
constexpr int kIdStatic = -1;

// Window class names of the controls a template may hold.
constexpr const char* kClassButton = "button";
constexpr const char* kClassEdit = "edit";
constexpr const char* kClassStatic = "static";
constexpr const char* kClassProgress = "msctls_progress32";

struct ControlTemplate {
  int id = kIdStatic;
  std::string className;
  std::string text;
  int x = 0;
  int y = 0;
  int cx = 0;
  int cy = 0;
  std::uint32_t style = 0;    // full window style, WS_CHILD and WS_VISIBLE included
  std::uint32_t exStyle = 0;

  // "NOT style" of the script: clears bits, e.g. Without(kWsVisible).
  ControlTemplate& Without(std::uint32_t bits) {
    style &= ~bits;
    return *this;
  }
  bool IsVisible() const { return (style & kWsVisible) != 0; }
  bool IsDisabled() const { return (style & kWsDisabled) != 0; }
  bool IsButton() const;
  bool IsDefaultPushButton() const;
  ListKind List() const { return ListKindOfClass(className); }
};

struct DialogTemplate {
  int id = 0;
  std::string caption;
  int x = 0;
  int y = 0;
  int cx = 0;
  int cy = 0;
  std::uint32_t style = 0;
  std::uint32_t exStyle = 0;
  std::string fontFace;
  int fontPointSize = 0;
  int fontWeight = 0;
  bool fontItalic = false;
  std::vector<ControlTemplate> controls;  // template order, which is the tab order

  const ControlTemplate* Find(int controlId) const;  // first control of that id
  // The id of the first default push button, or 0 when there is none.
  int DefaultButtonId() const;
};

// CONTROL "text", id, "class", style, x, y, cx, cy, exStyle: `style` OR'ed
// into WS_CHILD | WS_VISIBLE, as the resource compiler does.
ControlTemplate Control(const std::string& text, int id, const std::string& className,
                        std::uint32_t style, int x, int y, int cx, int cy,
                        std::uint32_t exStyle = 0);

// The program's templates by id. Registering an id again replaces it.
void RegisterTemplate(const DialogTemplate& dialogTemplate);
const DialogTemplate* FindTemplate(int id);  // nullptr: no such template

}  // namespace platform
