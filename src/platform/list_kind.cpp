// The list family of a window class.
#include "platform/list_kind.h"

#include <cctype>

namespace platform {

bool EqualsNoCase(const std::string& a, const char* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return i == a.size() && b[i] == '\0';
}

ListKind ListKindOfClass(const std::string& className) {
  if (EqualsNoCase(className, kClassListBox)) return ListKind::kListBox;
  if (EqualsNoCase(className, kClassComboBox)) return ListKind::kComboBox;
  return ListKind::kNone;
}

}  // namespace platform
