// The CONTROL statement with the styles the resource compiler adds by itself,
// and the registry of the program's templates.
#include "sim/desktop/dialog_template.h"

#include <map>
#include <memory>
#include <mutex>

namespace platform {
namespace {

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
