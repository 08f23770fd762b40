// Services swapped for a scope, for the tests and the simulated runs.
#pragma once

#include "platform/platform.h"

namespace platform {

// Changes the services in force for a scope and puts back the ones in force
// before when it ends: the tests' and the simulated runs' way to swap
// services. `change` gets a copy of the services in force to alter.
class ServicesScope {
 public:
  template <typename Change>
  explicit ServicesScope(Change change) : saved_(Os()) {
    Services services = saved_;
    change(services);
    Install(services);
  }
  ~ServicesScope() { Install(saved_); }
  ServicesScope(const ServicesScope&) = delete;
  ServicesScope& operator=(const ServicesScope&) = delete;

 private:
  Services saved_;
};

}  // namespace platform
