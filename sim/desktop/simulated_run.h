// A whole run of the program on the simulated machine: the headless desktop,
// the simulated dongle and device tree, the embedded resources and the
// headless graphics library installed as the system's services, the program
// run to its end under a scripted user, and the transcript of what happened.
#pragma once
#include <memory>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "sim/desktop/headless_desktop.h"
#include "sim/desktop/headless_graphics.h"
#include "sim/machine/services_scope.h"
#include "sim/machine/sim_dongle.h"
#include "sim/machine/sim_machine.h"
#include "sim/desktop/sim_resources.h"

namespace sim {

class SimulatedRun {
 public:
  // The dongle starts in `dongle`'s state, plugged in when its `present` is
  // set; either way a later plug brings it in.
  explicit SimulatedRun(const SimDongleConfig& dongle);
  SimulatedRun(const SimulatedRun&) = delete;
  SimulatedRun& operator=(const SimulatedRun&) = delete;

  HeadlessDesktop& Desktop() { return *desktop_; }
  SimMachine& Machine() { return machine_; }
  SimDongle& Dongle() { return machine_.Dongle(); }
  SimResources& Resources() { return resources_; }
  HeadlessGraphics& Graphics() { return graphics_; }

  // Runs the program to its end with the actions queued on the desktop. When
  // the actions run out while the main window is idle, Exit is pressed, as a
  // user leaving the tool would. false when the run stalled or a step of the
  // script could not be carried out (Error() says which).
  bool Run();
  std::string Error() const;

  // The closing transcript line: the dongle's data addresses 0-26 and its
  // three RF bytes.
  void RecordFinalDongleState();

 private:
  void WaitForWorkerEnd();

  SimMachine machine_;
  SimResources resources_;
  HeadlessGraphics graphics_;
  std::unique_ptr<HeadlessDesktop> desktop_;
  // The services of the run, from Run() on; the ones before come back when
  // the run object goes (before the desktop does).
  std::optional<platform::ServicesScope> services_;
  bool exitPressed_ = false;
};

}  // namespace sim
