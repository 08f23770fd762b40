// The stack of application objects made beside theApp.
#include "sim/desktop/stacked_app.h"

#include <algorithm>

namespace sim {

std::vector<StackedApp*>& StackedApp::Live() {
  static std::vector<StackedApp*> live;
  return live;
}

StackedApp::StackedApp() : outer_(Live().empty() ? Current() : Live().front()->outer_) {
  Live().push_back(this);
  SetCurrent(this);
}

StackedApp::~StackedApp() {
  std::vector<StackedApp*>& live = Live();
  live.erase(std::remove(live.begin(), live.end(), this), live.end());
  SetCurrent(live.empty() ? outer_ : live.back());
}

}  // namespace sim
