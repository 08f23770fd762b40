// The resource script's shorthand statements (DEFPUSHBUTTON, PUSHBUTTON,
// LTEXT, EDITTEXT, LISTBOX, COMBOBOX) with the styles the resource compiler adds by
// itself, for the test dialogs; `style` is OR'ed into them as the compiler
// does.
#pragma once
#include <cstdint>
#include <string>

#include "sim/desktop/dialog_template.h"

namespace platform {

ControlTemplate DefPushButton(const std::string& text, int id, int x, int y, int cx, int cy,
                              std::uint32_t style = 0);
ControlTemplate PushButton(const std::string& text, int id, int x, int y, int cx, int cy,
                           std::uint32_t style = 0);
ControlTemplate LText(const std::string& text, int id, int x, int y, int cx, int cy,
                      std::uint32_t style = 0);
ControlTemplate EditText(int id, int x, int y, int cx, int cy, std::uint32_t style = 0);
ControlTemplate ListBox(int id, int x, int y, int cx, int cy, std::uint32_t style = 0);
ControlTemplate ComboBox(int id, int x, int y, int cx, int cy, std::uint32_t style = 0);

}  // namespace platform
