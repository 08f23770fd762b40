// The shorthand statements as CONTROL statements.
#include "rc_statements.h"

namespace platform {

ControlTemplate DefPushButton(const std::string& text, int id, int x, int y, int cx, int cy,
                              std::uint32_t style) {
  return Control(text, id, "button", kWsTabStop | kBsDefPushButton | style, x, y, cx, cy);
}

ControlTemplate PushButton(const std::string& text, int id, int x, int y, int cx, int cy,
                           std::uint32_t style) {
  return Control(text, id, "button", kWsTabStop | kBsPushButton | style, x, y, cx, cy);
}

ControlTemplate LText(const std::string& text, int id, int x, int y, int cx, int cy,
                      std::uint32_t style) {
  return Control(text, id, "static", kWsGroup | kSsLeft | style, x, y, cx, cy);
}

ControlTemplate EditText(int id, int x, int y, int cx, int cy, std::uint32_t style) {
  return Control("", id, kClassEdit, kWsBorder | kWsTabStop | kEsLeft | style, x, y, cx, cy);
}

ControlTemplate ListBox(int id, int x, int y, int cx, int cy, std::uint32_t style) {
  return Control("", id, kClassListBox, kWsBorder | kLbsNotify | style, x, y, cx, cy);
}

ControlTemplate ComboBox(int id, int x, int y, int cx, int cy, std::uint32_t style) {
  return Control("", id, kClassComboBox, style, x, y, cx, cy);
}

}  // namespace platform
