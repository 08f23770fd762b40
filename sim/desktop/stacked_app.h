// Application objects a test makes beside theApp: each is the current one
// while it is the newest alive, and the one before comes back when it goes.
#pragma once
#include <vector>

#include "monitor/connection_state.h"

namespace sim {

// Made and destroyed on one thread; the worker reads the current object only.
class StackedApp : public CConnectionState {
 public:
  StackedApp();
  ~StackedApp() override;

 private:
  static std::vector<StackedApp*>& Live();  // oldest first
  CConnectionState* outer_;                 // current before the oldest one alive
};

}  // namespace sim
