// The CONTROL statement with the styles the resource compiler adds by itself,
// and the registry of the program's templates.
#include "platform/dialog_template.h"

#include <cctype>
#include <map>
#include <memory>
#include <mutex>

namespace platform {
namespace {

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

struct Registry {
  std::mutex mutex;
  // Nodes are never freed while the program runs, so a pointer handed out
  // stays valid when the id is registered again.
  std::map<int, std::unique_ptr<DialogTemplate>> templates;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

ListKind ListKindOfClass(const std::string& className) {
  if (EqualsNoCase(className, kClassListBox)) return ListKind::kListBox;
  if (EqualsNoCase(className, kClassComboBox)) return ListKind::kComboBox;
  return ListKind::kNone;
}

bool ControlTemplate::IsButton() const { return EqualsNoCase(className, kClassButton); }

bool ControlTemplate::IsDefaultPushButton() const {
  return IsButton() && (style & kBsTypeMask) == kBsDefPushButton;
}

const ControlTemplate* DialogTemplate::Find(int controlId) const {
  for (const ControlTemplate& control : controls) {
    if (control.id == controlId) return &control;
  }
  return nullptr;
}

int DialogTemplate::DefaultButtonId() const {
  for (const ControlTemplate& control : controls) {
    if (control.IsDefaultPushButton()) return control.id;
  }
  return 0;
}

ControlTemplate Control(const std::string& text, int id, const std::string& className,
                        std::uint32_t style, int x, int y, int cx, int cy,
                        std::uint32_t exStyle) {
  ControlTemplate control;
  control.id = id;
  control.className = className;
  control.text = text;
  control.x = x;
  control.y = y;
  control.cx = cx;
  control.cy = cy;
  control.style = kWsChild | kWsVisible | style;
  control.exStyle = exStyle;
  return control;
}

void RegisterTemplate(const DialogTemplate& dialogTemplate) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  auto& slot = registry.templates[dialogTemplate.id];
  if (slot) {
    *slot = dialogTemplate;
  } else {
    slot = std::make_unique<DialogTemplate>(dialogTemplate);
  }
}

const DialogTemplate* FindTemplate(int id) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  auto found = registry.templates.find(id);
  return found == registry.templates.end() ? nullptr : found->second.get();
}

}  // namespace platform
