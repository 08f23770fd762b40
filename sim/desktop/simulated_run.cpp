// Running the whole program headless against the simulated dongle.
#include "sim/desktop/simulated_run.h"

#include <chrono>
#include <string>
#include <thread>

#include "device/vendor_request.h"
#include "monitor/device_worker.h"
#include "sim/desktop/dialog_templates.h"
#include "sim/machine/activity.h"
#include "sim/machine/transcript.h"
#include "sim/desktop/program_reset.h"
#include "ui/program.h"
#include "ui/resource_ids.h"

namespace sim {
namespace {
// A worker waiting for a dongle notices the end of the program at its next
// wait slice; virtual time hands it out at once.
constexpr auto kWorkerEndLimit = std::chrono::seconds(10);
}  // namespace

SimulatedRun::SimulatedRun(const SimDongleConfig& dongle)
    : machine_(dongle), desktop_(std::make_unique<HeadlessDesktop>()) {
  desktop_->SetGraphics(&graphics_);
  desktop_->SetOutOfScript([this](HeadlessDesktop& desktop) {
    const bool idle = !desktop.BoxOpen() && desktop.TopmostDialog() == IDD_UPGRADE &&
                      desktop.Control(IDC_EXIT).enabled;
    if (!idle || exitPressed_) return false;
    exitPressed_ = true;
    desktop.Click(IDC_EXIT);
    return true;
  });
}

bool SimulatedRun::Run() {
  ResetProgramStateForTests();
  TheTranscript().Clear();
  services_.emplace([this](platform::Services& services) {
    services.resources = &resources_;
    services.graphics = &graphics_;
    services.dialogs = desktop_.get();
  });
  RegisterProgramTemplates();
  machine_.Install();
  platform::activity::SetVirtualTime(true);
  machine_.Dongle().SetTranscriptLogging(true);

  // The program's exit code, as WinMain hands it to Windows.
  const int exitCode = RunProgram();
  if (exitCode != 0) desktop_->Fail("the program ended with exit code " + std::to_string(exitCode));

  desktop_->Close();
  WaitForWorkerEnd();
  machine_.Dongle().SetTranscriptLogging(false);
  platform::activity::SetVirtualTime(false);
  machine_.Uninstall();
  return !desktop_->Failed();
}

// The worker may still wait for a dongle; virtual time ends its wait slices
// until it has seen the end of the program.
void SimulatedRun::WaitForWorkerEnd() {
  const auto deadline = std::chrono::steady_clock::now() + kWorkerEndLimit;
  while (platform::activity::LiveBackgroundThreads() != 0 && std::chrono::steady_clock::now() < deadline) {
    platform::activity::ExpireTimedWaits();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

std::string SimulatedRun::Error() const { return desktop_->Error(); }

void SimulatedRun::RecordFinalDongleState() {
  SimDongle& dongle = machine_.Dongle();
  const std::vector<std::uint8_t> info = dongle.ReadData(ADDR_DEVICE_INFO, DEVICE_INFO_SIZE);
  std::string data = "{";
  for (std::uint16_t address : {ADDR_RF_GROUP, ADDR_BAND_MARKER, ADDR_START_BAND}) {
    if (data.size() > 1) data += ",";
    data += JsonQuote(std::to_string(address)) + ":" +
            std::to_string(dongle.ReadData(address, 1).at(0));
  }
  data += "}";
  TheTranscript().Add(Line()
                          .Str("event", "dongle")
                          .Str("info", HexLower(info.data(), info.size()))
                          .Raw("data", data));
}

}  // namespace sim
