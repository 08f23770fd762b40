// Which family of list messages a control's window class takes: the dialog
// backends address list boxes and combo boxes alike through it.
#pragma once
#include <string>

namespace platform {

constexpr const char* kClassListBox = "listbox";
constexpr const char* kClassComboBox = "combobox";

enum class ListKind { kNone, kListBox, kComboBox };
ListKind ListKindOfClass(const std::string& className);  // case-insensitive

// Window class names compare without regard to case.
bool EqualsNoCase(const std::string& a, const char* b);

}  // namespace platform
