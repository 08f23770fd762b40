// Hundreds of plug and unplug cycles while the window thread keeps sending
// requests: the worker's settings reads and the window thread's commands must
// never be inside the dongle at the same time.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "device/discovery.h"
#include "device/vendor_request.h"
#include "monitor/connection_state.h"
#include "monitor/device_worker.h"
#include "monitor_doubles.h"
#include "sim/machine/activity.h"
#include "sim/machine/sim_machine.h"
#include "sim/desktop/program_reset.h"

namespace {

using namespace testing_support;

constexpr int kCycles = 300;
constexpr int kCommandsPerCycle = 3;

TEST(MonitorStressTest, PlugCyclesWithWindowThreadCommandsNeverOverlap) {
  sim::SimDongleConfig config;
  config.present = false;
  sim::SimMachine machine(config);
  RecordingDialogs dialogs;
  ScopedDialogs scope(&dialogs);
  machine.Install();
  ResetProgramStateForTests();
  platform::activity::SetVirtualTime(false);

  std::atomic<int> overlaps{0};
  machine.Dongle().SetOverlapHandler([&](const std::string&) { overlaps.fetch_add(1); });
  machine.Dongle().SetLatencyMicros(20);
  machine.Dongle().SetWireLogEnabled(false);

  TestApp app;
  TestMainWindow window(app);
  app.m_pMainWnd.store(&window);
  ASSERT_EQ(StartWorker(), 0u);

  // The test's thread is the window thread: it announces the changes and
  // sends commands as soon as the worker has opened the new plug-in, which is
  // when the worker reads the settings.
  int answered = 0;
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    machine.Plug();
    ASSERT_TRUE(WaitUntil([&] { return machine.Io().OpenHandles() != 0; })) << "cycle " << cycle;
    for (int i = 0; i < kCommandsPerCycle; ++i) {
      std::uint8_t group = 0;
      if (ReadDeviceData(&group, ADDR_RF_GROUP, 1) == 0) ++answered;
      DeviceInfo info{};
      if (ReadDeviceInfo(&info) == 0) ++answered;
    }
    machine.Unplug();
    std::uint8_t band = 0;
    (void)ReadDeviceData(&band, ADDR_START_BAND, 1);  // races the removal: any outcome will do
    ASSERT_TRUE(WaitUntil([&] { return machine.Io().OpenHandles() == 0; })) << "cycle " << cycle;
  }

  // The last word was a removal: the worker ends up closed and waiting.
  EXPECT_TRUE(WaitUntil([&] { return !machine.Io().OpenHandles() && !app.m_bConnected.load(); }));
  app.m_bExit.store(1);
  g_evRemoval.Set();
  g_evArrival.Set();
  ASSERT_TRUE(platform::activity::WaitForBackgroundEnd(5000));
  CloseDevice();
  ResetProgramStateForTests();

  EXPECT_EQ(overlaps.load(), 0);
  EXPECT_EQ(machine.Dongle().OverlapCount(), 0u);
  EXPECT_EQ(machine.Io().OpenHandles(), 0u);
  // Both threads really talked to the dongle.
  EXPECT_GT(machine.Dongle().OpenCount(), 0u);
  EXPECT_GT(answered, kCycles);
}

}  // namespace
