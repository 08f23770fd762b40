// The shared connection state and the registration of the application object.
#include "monitor/connection_state.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

// The live application objects in order of construction; the last is the
// current one. Read through the atomic, changed under the mutex. A
// function-local static: theApp, a static object of another file, registers
// itself here while the program starts.
struct Registry {
  std::mutex mutex;
  std::vector<CConnectionState*> apps;
  std::atomic<CConnectionState*> current{nullptr};
};

Registry& Apps() {
  static Registry registry;
  return registry;
}

}  // namespace

CConnectionState::CConnectionState() {
  Registry& registry = Apps();
  std::lock_guard<std::mutex> lock(registry.mutex);
  registry.apps.push_back(this);
  registry.current.store(this);
}

CConnectionState::~CConnectionState() {
  Registry& registry = Apps();
  std::lock_guard<std::mutex> lock(registry.mutex);
  auto& apps = registry.apps;
  apps.erase(std::remove(apps.begin(), apps.end(), this), apps.end());
  registry.current.store(apps.empty() ? nullptr : apps.back());
}

CConnectionState* CConnectionState::Current() { return Apps().current.load(); }
