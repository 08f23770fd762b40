// From a parsed scenario to a simulated run and its transcript.
#include "run_scenario.h"

#include <vector>

#include "sim/machine/demo_machine.h"
#include "sim/machine/transcript.h"
#include "sim/desktop/user_action.h"
#include "sim/desktop/simulated_run.h"

namespace scenario {
namespace {

sim::FaultOp OpOf(const std::string& op) {
  if (op == "mode") return sim::FaultOp::kMode;
  if (op == "data-read") return sim::FaultOp::kDataRead;
  if (op == "data-write") return sim::FaultOp::kDataWrite;
  if (op == "flash-read") return sim::FaultOp::kFlashRead;
  if (op == "flash-write") return sim::FaultOp::kFlashWrite;
  if (op == "descriptor") return sim::FaultOp::kDescriptor;
  if (op == "open") return sim::FaultOp::kOpen;
  return sim::FaultOp::kAny;
}

sim::FaultKind KindOf(const std::string& kind) {
  if (kind == "short") return sim::FaultKind::kShort;
  if (kind == "corrupt") return sim::FaultKind::kCorrupt;
  if (kind == "unplug") return sim::FaultKind::kUnplug;
  if (kind == "flip") return sim::FaultKind::kFlip;
  return sim::FaultKind::kFail;
}

sim::BoxAnswer AnswerOf(const std::string& value) {
  if (value == "yes") return sim::BoxAnswer::kYes;
  if (value == "no") return sim::BoxAnswer::kNo;
  return sim::BoxAnswer::kOk;
}

void Queue(sim::SimulatedRun& run, const Action& action) {
  sim::HeadlessDesktop& desktop = run.Desktop();
  sim::SimMachine& machine = run.Machine();
  switch (action.kind) {
    case Action::Kind::kClick: desktop.Click(action.id); break;
    case Action::Kind::kAnswer: desktop.Answer(AnswerOf(action.value)); break;
    case Action::Kind::kSelect: desktop.Select(action.id, action.index); break;
    case Action::Kind::kKey:
      if (action.value == "enter") {
        desktop.PressEnter();
      } else {
        desktop.PressEscape();
      }
      break;
    case Action::Kind::kClose: desktop.RequestClose(); break;
    case Action::Kind::kPlug: desktop.Do("plug", [&machine] { machine.Plug(); }); break;
    case Action::Kind::kUnplug: desktop.Do("unplug", [&machine] { machine.Unplug(); }); break;
  }
}

bool IsFlashRequest(const sim::Line& line) {
  return line.Get("event") == "\"request\"" && line.Get("command") == "1023";
}

bool IsProgress(const sim::Line& line) { return line.Get("event") == "\"progress\""; }

// Each run of flash requests and progress positions, once it holds a flash
// request, becomes one line: how many flash requests, and every position in
// order. Everything else stays as it was.
std::string FoldFlash(const std::vector<sim::Line>& lines) {
  std::string out;
  for (std::size_t i = 0; i < lines.size();) {
    std::size_t end = i, requests = 0;
    std::string positions;
    for (; end < lines.size() && (IsFlashRequest(lines[end]) || IsProgress(lines[end])); ++end) {
      if (IsFlashRequest(lines[end])) {
        ++requests;
      } else {
        positions += (positions.empty() ? "" : ",") + lines[end].Get("position");
      }
    }
    if (requests == 0) {
      out += lines[i++].ToJson() + "\n";
      continue;
    }
    sim::Line folded;
    folded.Str("event", "flash").Num("requests", static_cast<long long>(requests));
    out += folded.Raw("progress", "[" + positions + "]").ToJson() + "\n";
    i = end;
  }
  return out;
}

}  // namespace

sim::SimDongleConfig StartingDongle(const Scenario& scenario) {
  sim::SimDongleConfig config = sim::DemoDongleConfig();
  if (!scenario.dongle) {
    config.present = false;
    return config;
  }
  const Dongle& dongle = *scenario.dongle;
  config.present = dongle.present;
  config.mode = dongle.mode;
  if (dongle.info) {
    config.deviceInfo.assign(dongle.info->begin(), dongle.info->end());
    config.rfGroup = -1;  // address 21 is the info's byte 21
  }
  if (dongle.descriptor) config.descriptor.assign(dongle.descriptor->begin(), dongle.descriptor->end());
  return config;
}

Outcome Run(const Scenario& scenario) {
  sim::SimulatedRun run(StartingDongle(scenario));
  if (scenario.dongle) {
    for (const auto& [address, value] : scenario.dongle->data) run.Dongle().WriteData(address, {value});
    for (const Fault& fault : scenario.dongle->faults) {
      sim::Fault injected =
          sim::MakeFault(OpOf(fault.op), KindOf(fault.kind), fault.after, fault.count);
      injected.error = fault.error;
      injected.flipByte = static_cast<std::uint32_t>(fault.byte);
      injected.flipBit = static_cast<std::uint32_t>(fault.bit);
      run.Dongle().AddFault(injected);
    }
  }
  for (const Action& action : scenario.user) Queue(run, action);

  Outcome outcome;
  const bool ran = run.Run();
  const std::size_t left = run.Desktop().PendingActions();
  if (!ran) {
    outcome.exitCode = 1;
    outcome.error = run.Error();
  } else if (left > 0) {
    // The program ended before the script did: the script expected more.
    const Action& next = scenario.user[scenario.user.size() - left];
    outcome.exitCode = 1;
    outcome.error = "script error: the program ended with " + std::to_string(left) +
                    (left == 1 ? " action" : " actions") + " left, the first being \"" +
                    Describe(next) + "\"";
  } else {
    run.RecordFinalDongleState();
  }
  outcome.transcript = scenario.foldFlash ? FoldFlash(sim::TheTranscript().Lines())
                                          : sim::TheTranscript().ToJsonLines();
  return outcome;
}

}  // namespace scenario
