// The connection monitor with the simulated machine: the worker's passes with
// and without a dongle, hot-plug cycles, open attempts and the re-plug box,
// the RF settings read, shutdown, and the device-change filter.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <vector>

#include "device/discovery.h"
#include "device/vendor_request.h"
#include "monitor/connection_state.h"
#include "monitor/device_notify.h"
#include "monitor/device_worker.h"
#include "monitor_doubles.h"
#include "platform/device_broadcast.h"
#include "platform/os_types.h"
#include "sim/machine/hooked_device_io.h"
#include "sim/machine/activity.h"
#include "sim/machine/sim_machine.h"
#include "sim/desktop/program_reset.h"

namespace {

// The worker's promised waits and retries, as numbers: an arrival slice of
// 1 s, removal slices of 50 ms, ten more openings, 50 ms for it to end.
static_assert(kArrivalWaitMs == 1000 && kRemovalWaitMs == 50 && kMaxOpenRetries == 10 &&
              kShutdownWaitMs == 50);

using namespace testing_support;
using platform::WaitResult;

sim::SimDongleConfig Config(bool present, int rfGroup = 2, int marker = 3, int band = 7) {
  sim::SimDongleConfig config;
  config.present = present;
  config.rfGroup = rfGroup;
  config.bandMarker = marker;
  config.startBand = band;
  return config;
}

class MonitorTest : public ::testing::Test {
 protected:
  explicit MonitorTest(const sim::SimDongleConfig& config = Config(true))
      : machine_(config), scope_(&dialogs_), window_(app_) {
    machine_.Install();
    ResetProgramStateForTests();
    // Timed waits of the worker end only when a test says so.
    platform::activity::SetVirtualTime(true);
    app_.m_pMainWnd.store(&window_);
  }

  ~MonitorTest() override {
    StopWorker();
    platform::activity::SetVirtualTime(false);
    CloseDevice();
    ResetProgramStateForTests();
  }

  void Start() {
    ASSERT_EQ(StartWorker(), 0u);
    ASSERT_TRUE(WaitWorkerSettled());
  }

  // Ends the worker wherever it waits.
  void StopWorker() {
    if (platform::activity::LiveBackgroundThreads() == 0) return;
    app_.m_bExit.store(1);
    g_evRemoval.Set();
    g_evArrival.Set();
    platform::activity::ExpireTimedWaits();
    ASSERT_TRUE(platform::activity::WaitForBackgroundEnd(5000));
  }

  // The worker parked with the dongle open, or waiting without it.
  bool ConnectedAndParked() {
    return WaitUntil([this] { return machine_.Io().OpenHandles() != 0 && WorkerSettled(); });
  }
  bool DisconnectedAndParked() {
    return WaitUntil([this] {
      return machine_.Io().OpenHandles() == 0 && app_.m_bConnected.load() == 0 && WorkerSettled();
    });
  }

  bool Deliver(std::uint32_t event, const std::vector<std::uint8_t>& record) {
    return FilterDeviceChange(platform::kWmDeviceChange, event, record.data(), record.size());
  }

  void Replug(std::uint16_t address, std::uint8_t value) {
    machine_.Unplug();
    ASSERT_TRUE(DisconnectedAndParked());
    machine_.Dongle().WriteData(address, {value});
    machine_.Plug();
    ASSERT_TRUE(ConnectedAndParked());
  }

  sim::SimMachine machine_;
  RecordingDialogs dialogs_;
  ScopedDialogs scope_;
  TestApp app_;
  TestMainWindow window_;
};

class MonitorNoDongleTest : public MonitorTest {
 protected:
  MonitorNoDongleTest() : MonitorTest(Config(false)) {}
};

TEST_F(MonitorTest, DongleAttachedAtStartIsOpenedWithoutNotification) {
  EXPECT_EQ(app_.m_nStartBand.load(), 13);  // before the first reading
  Start();
  ASSERT_TRUE(ConnectedAndParked());
  EXPECT_EQ(g_pMainDlg.load(), &window_);
  EXPECT_EQ(app_.m_bConnected.load(), 1);
  EXPECT_EQ(window_.History(), std::vector<bool>{true});
  EXPECT_EQ(g_deviceAbsent.load(), 0);
  EXPECT_EQ(app_.m_nRfGroup.load(), 2);
  EXPECT_EQ(app_.m_b16Bands.load(), 1);
  EXPECT_EQ(app_.m_nStartBand.load(), 7);
  EXPECT_EQ(dialogs_.Broadcasts(), 0);
  EXPECT_EQ(dialogs_.BoxCount(), 0u);
}

TEST_F(MonitorNoDongleTest, WithoutDongleButtonsAreDisabledAtEverySlice) {
  Start();
  EXPECT_EQ(app_.m_bConnected.load(), 0);
  EXPECT_EQ(g_deviceAbsent.load(), 1);
  EXPECT_EQ(window_.History(), std::vector<bool>{false});
  EXPECT_EQ(app_.m_nRfGroup.load(), 0);
  EXPECT_EQ(app_.m_nStartBand.load(), 13);

  platform::activity::ExpireTimedWaits();  // one arrival slice passes
  ASSERT_TRUE(WaitUntil([this] { return window_.Updates() == 2; }));
  EXPECT_EQ(window_.History(), (std::vector<bool>{false, false}));
  EXPECT_EQ(machine_.Dongle().OpenCount(), 0u);
}

TEST_F(MonitorNoDongleTest, PlugAndUnplugCycles) {
  Start();
  for (std::uint8_t group = 1; group <= 3; ++group) {
    machine_.Dongle().WriteData(ADDR_RF_GROUP, {group});
    machine_.Plug();
    ASSERT_TRUE(ConnectedAndParked());
    EXPECT_EQ(app_.m_bConnected.load(), 1);
    EXPECT_TRUE(window_.ButtonsEnabled());
    EXPECT_EQ(g_deviceAbsent.load(), 0);
    EXPECT_EQ(app_.m_nRfGroup.load(), group);

    machine_.Unplug();
    ASSERT_TRUE(DisconnectedAndParked());
    EXPECT_FALSE(window_.ButtonsEnabled());
    EXPECT_EQ(g_deviceAbsent.load(), 1);
    EXPECT_EQ(machine_.Io().OpenHandles(), 0u);  // the worker closed it
  }
  EXPECT_EQ(machine_.Dongle().OpenCount(), 3u);
  EXPECT_EQ(dialogs_.BoxCount(), 0u);
}

TEST_F(MonitorTest, ArrivalWhileConnectedChangesNothing) {
  Start();
  ASSERT_TRUE(ConnectedAndParked());
  const int updates = window_.Updates();
  // The same dongle announced again, and a second one.
  EXPECT_TRUE(Deliver(platform::kDbtDeviceArrival, machine_.DongleRecord()));
  EXPECT_TRUE(Deliver(platform::kDbtDeviceArrival,
                      platform::BuildDeviceInterfaceBroadcast(
                          platform::kGuidDevinterfaceUsbDevice,
                          "\\\\?\\usb#vid_054c&pid_0268#6&2b&0&2#{a5dcbf10-6530-11d2-901f-00c04fb951ed}")));
  EXPECT_EQ(window_.Updates(), updates);
  EXPECT_EQ(g_evArrival.Wait(0), WaitResult::kTimeout);
  EXPECT_EQ(machine_.Io().OpenHandles(), 1u);
}

TEST_F(MonitorNoDongleTest, RemovalWhileNotConnectedStillEndsTheConnection) {
  Start();
  g_deviceAbsent.store(0);
  EXPECT_TRUE(Deliver(platform::kDbtDeviceRemoveComplete, machine_.DongleRecord()));
  EXPECT_EQ(app_.m_bConnected.load(), 0);
  EXPECT_EQ(g_deviceAbsent.load(), 1);
  EXPECT_EQ(window_.History(), (std::vector<bool>{false, false}));
  EXPECT_EQ(g_evRemoval.Wait(0), WaitResult::kSignaled);
}

TEST_F(MonitorTest, ElevenFailedOpeningsThenTheReplugBox) {
  machine_.Dongle().AddFault(sim::MakeFault(sim::FaultOp::kOpen, sim::FaultKind::kFail, 0, 3));
  Start();  // the first opening fails quietly, then two after the arrival...
  ASSERT_TRUE(Deliver(platform::kDbtDeviceArrival, machine_.DongleRecord()));
  ASSERT_TRUE(ConnectedAndParked());  // ...and the count starts from 0 again
  machine_.Unplug();
  ASSERT_TRUE(DisconnectedAndParked());
  machine_.Dongle().AddFault(
      sim::MakeFault(sim::FaultOp::kOpen, sim::FaultKind::kFail, 0, sim::kForever));
  machine_.Dongle().Plug();

  for (int round = 1; round <= 2; ++round) {
    machine_.Devices().ResetCounters();
    ASSERT_TRUE(Deliver(platform::kDbtDeviceArrival, machine_.DongleRecord()));
    ASSERT_TRUE(WaitUntil([&] {
      return dialogs_.BoxCount() == static_cast<std::size_t>(round) &&
             app_.m_bConnected.load() == 0 && WorkerSettled();
    }));
    // One opening right after the arrival and ten more; the counter starts
    // from 0 again after the box.
    EXPECT_EQ(machine_.Devices().Calls(sim::EnumCall::kGetClassDevs), 11);
    const auto box = dialogs_.Boxes().back();
    EXPECT_EQ(box.text, "Please Re-plug in your Tavrolin.\r\n");
    EXPECT_EQ(box.style, platform::BoxStyle::kWarning);
    EXPECT_FALSE(window_.ButtonsEnabled());
  }
  EXPECT_EQ(window_.History(),
            (std::vector<bool>{false, true, true, false, false, true, false, true, false}));
}

TEST_F(MonitorNoDongleTest, RemovalDuringTheOpenAttemptsEndsThemQuietly) {
  Start();
  sim::Fault refuse;
  refuse.op = sim::FaultOp::kOpen;
  refuse.count = 2;
  machine_.Dongle().AddFault(refuse);
  sim::Fault pulled;  // the third opening finds the dongle being pulled out
  pulled.op = sim::FaultOp::kOpen;
  pulled.after = 2;
  pulled.kind = sim::FaultKind::kUnplug;
  machine_.Dongle().AddFault(pulled);

  machine_.Plug();
  ASSERT_TRUE(WaitUntil([this] { return dialogs_.Broadcasts() == 2 && WorkerSettled(); }));
  EXPECT_EQ(dialogs_.BoxCount(), 0u);
  EXPECT_EQ(app_.m_bConnected.load(), 0);
  EXPECT_EQ(g_deviceAbsent.load(), 1);
  EXPECT_FALSE(window_.ButtonsEnabled());
  // The worker was not waiting for a removal: the signal stays for its next
  // wait on it.
  EXPECT_EQ(g_evRemoval.Wait(0), WaitResult::kSignaled);
}

TEST_F(MonitorNoDongleTest, ArrivalOverwrittenByTheWorkerStillConnects) {
  Start();
  // The state an arrival leaves when the worker cleared m_bConnected after
  // OnDeviceArrival had set it: the event pending, the flag clear.
  machine_.Dongle().Plug();
  g_evArrival.Set();
  ASSERT_TRUE(ConnectedAndParked());
  EXPECT_EQ(app_.m_bConnected.load(), 1);
  EXPECT_TRUE(window_.ButtonsEnabled());
}

TEST_F(MonitorTest, RfBytesAreSignExtendedAndOnlyMarker3Means16Bands) {
  machine_.Dongle().WriteData(ADDR_RF_GROUP, {0xFF});
  machine_.Dongle().WriteData(ADDR_START_BAND, {0x80});
  machine_.Dongle().WriteData(ADDR_BAND_MARKER, {2});
  Start();
  ASSERT_TRUE(ConnectedAndParked());
  EXPECT_EQ(app_.m_nRfGroup.load(), -1);
  EXPECT_EQ(app_.m_nStartBand.load(), -128);
  EXPECT_EQ(app_.m_b16Bands.load(), 0);

  Replug(ADDR_BAND_MARKER, 3);
  EXPECT_EQ(app_.m_b16Bands.load(), 1);
  Replug(ADDR_BAND_MARKER, 4);
  EXPECT_EQ(app_.m_b16Bands.load(), 0);
  Replug(ADDR_START_BAND, 0xFF);
  EXPECT_EQ(app_.m_nStartBand.load(), -1);
}

// A setting whose read failed is unknown (its list selects nothing), and only
// a marker read as 3 gives 16 bands: no byte of another read stands in.
TEST_F(MonitorTest, FailedSettingsReadLeavesTheSettingUnknown) {
  machine_.Dongle().AddFault(sim::MakeFault(sim::FaultOp::kDataRead, sim::FaultKind::kFail));
  Start();  // the group read fails
  ASSERT_TRUE(ConnectedAndParked());
  EXPECT_EQ(app_.m_nRfGroup.load(), kRfUnknown);
  EXPECT_EQ(app_.m_b16Bands.load(), 1);
  EXPECT_EQ(app_.m_nStartBand.load(), 7);

  // The marker read fails on a dongle of group 3; then the band read on one
  // holding band 9.
  machine_.Dongle().AddFault(sim::MakeFault(sim::FaultOp::kDataRead, sim::FaultKind::kFail, 1));
  machine_.Dongle().WriteData(ADDR_RF_GROUP, {3});
  Replug(ADDR_BAND_MARKER, 3);
  EXPECT_EQ(app_.m_nRfGroup.load(), 3);
  EXPECT_EQ(app_.m_b16Bands.load(), 0);
  machine_.Dongle().AddFault(sim::MakeFault(sim::FaultOp::kDataRead, sim::FaultKind::kFail, 2));
  Replug(ADDR_START_BAND, 9);
  EXPECT_EQ(app_.m_b16Bands.load(), 1);
  EXPECT_EQ(app_.m_nStartBand.load(), kRfUnknown);
}

TEST_F(MonitorTest, OpenRfDialogIsRefreshedWithTheNewReadings) {
  Start();
  ASSERT_TRUE(ConnectedAndParked());
  EXPECT_TRUE(app_.Refreshes().empty());  // not open: nothing refreshed

  app_.rfVisible.store(true);
  machine_.Dongle().WriteData(ADDR_RF_GROUP, {4});
  machine_.Dongle().WriteData(ADDR_BAND_MARKER, {2});
  Replug(ADDR_START_BAND, 12);
  const auto refreshes = app_.Refreshes();
  ASSERT_EQ(refreshes.size(), 1u);
  EXPECT_EQ(refreshes[0].group, 4);
  EXPECT_EQ(refreshes[0].sixteenBands, 0);
  EXPECT_EQ(refreshes[0].startBand, 12);
}

TEST_F(MonitorTest, ExitWhileConnectedEndsTheWorkerWithinTheWait) {
  Start();
  ASSERT_TRUE(ConnectedAndParked());
  ShutdownWorker();  // which tells the worker to end
  // The wait consumed the worker's signal: it returned before its time-out.
  EXPECT_EQ(g_evWorkerDone.Wait(0), WaitResult::kTimeout);
  ASSERT_TRUE(platform::activity::WaitForBackgroundEnd(2000));
  EXPECT_EQ(g_hDevice, platform::kInvalidHandle);  // the worker has ended
  EXPECT_EQ(machine_.Io().OpenHandles(), 0u);
}

// The system has no thread to give: the failure is reported with its code,
// and nothing waits for a worker that never ran.
TEST_F(MonitorTest, WorkerThatCannotBeStartedIsReported) {
  using platform::activity::RefuseNextThread;
  RefuseNextThread(std::make_error_code(std::errc::resource_unavailable_try_again));
  EXPECT_EQ(StartWorker(), static_cast<std::uint32_t>(EAGAIN));
  RefuseNextThread(std::error_code());  // a refusal without a code is still one
  EXPECT_EQ(StartWorker(), 1u);
  CConnectionState::SetCurrent(nullptr);  // no application object: nothing to start or end
  EXPECT_EQ(StartWorker(), 1u);
  ShutdownWorker();
  CConnectionState::SetCurrent(&app_);
  EXPECT_EQ(platform::activity::LiveBackgroundThreads(), 0);
  EXPECT_EQ(platform::activity::RunningBackgroundThreads(), 0);
  EXPECT_EQ(machine_.Dongle().OpenCount(), 0u);
}

TEST_F(MonitorNoDongleTest, ExitWithoutDongleNeitherSignalsNorWaits) {
  Start();
  app_.m_bExit.store(1);
  const auto before = std::chrono::steady_clock::now();
  ShutdownWorker();
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(50));
  EXPECT_EQ(g_evRemoval.Wait(0), WaitResult::kTimeout);
  EXPECT_EQ(platform::activity::LiveBackgroundThreads(), 1);
  // An arrival now: the worker sees the flag before it opens the dongle.
  machine_.Dongle().Plug();
  OnDeviceArrival();
  EXPECT_TRUE(platform::activity::WaitForBackgroundEnd(2000));
  EXPECT_EQ(machine_.Dongle().OpenCount(), 0u);
  EXPECT_EQ(g_evWorkerDone.Wait(0), WaitResult::kSignaled);  // nobody waited for it
}

// --- The worker held at chosen points of its device I/O ----------------------

// Holds the worker at one point until the test lets it go.
class Gate {
 public:
  void Arm() { Set(true); }
  void Release() { Set(false); }
  // The worker's side: stays here while armed.
  void Pass() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!armed_) return;
    held_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return !armed_; });
    held_ = false;
  }
  bool WaitHeld() {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(5), [this] { return held_; });
  }

 private:
  void Set(bool armed) {
    std::lock_guard<std::mutex> lock(mutex_);
    armed_ = armed;
    changed_.notify_all();
  }
  std::mutex mutex_;
  std::condition_variable changed_;
  bool armed_ = false;
  bool held_ = false;
};

// The simulated machine's device I/O with a gate in the open, in the close and
// before each control call.
class HeldDeviceIo : public sim::HookedDeviceIo {
 public:
  explicit HeldDeviceIo(platform::DeviceIo& inner)
      : HookedDeviceIo(inner, [this] { call.Pass(); }) {}
  platform::Handle Open(const char* path) override {
    open.Pass();
    return HookedDeviceIo::Open(path);
  }
  bool Close(platform::Handle handle) override {
    close.Pass();
    return HookedDeviceIo::Close(handle);
  }
  Gate open, close, call;
};

template <class Base>
class HeldWorkerTest : public Base {
 protected:
  HeldWorkerTest() : held_(this->machine_.Io()) {
    SetIo(&held_);
    platform::activity::SetHoldAfterPoll(&g_evRemoval, [this] { arrivalTaken_.Pass(); });
  }
  ~HeldWorkerTest() override {
    for (Gate* gate : {&held_.open, &held_.close, &held_.call, &arrivalTaken_}) gate->Release();
    this->StopWorker();
    platform::activity::SetHoldAfterPoll(nullptr, {});
    SetIo(&this->machine_.Io());
  }
  static void SetIo(platform::DeviceIo* io) {
    platform::Services services = platform::Os();
    services.io = io;
    platform::Install(services);
  }
  void Announce(std::uint32_t event) {
    this->dialogs_.BroadcastDeviceChange(event, this->machine_.DongleRecord());
  }
  // The dongle opened anew and the worker parked with the buttons on.
  bool ReopenedAndParked(std::uint64_t opens) {
    return WaitUntil([&] {
      return this->machine_.Dongle().OpenCount() == opens && WorkerSettled() &&
             this->machine_.Io().OpenHandles() == 1 && this->app_.m_bConnected.load() == 1;
    }) && this->window_.ButtonsEnabled();
  }
  HeldDeviceIo held_;
  // Between the worker's clearing of the removal left from the absence and
  // its reading of the latest notice, once an arrival has woken it.
  Gate arrivalTaken_;
};

using HeldWorkerNoDongleTest = HeldWorkerTest<MonitorNoDongleTest>;
using HeldWorkerDongleTest = HeldWorkerTest<MonitorTest>;

// A removal handled while the worker opens, and the arrival that follows it
// handled before the worker has closed the stale handle: the arrival is not
// taken for a duplicate of the connection that was just removed.
TEST_F(HeldWorkerNoDongleTest, ArrivalAfterARemovalDuringTheOpenIsKept) {
  Start();
  held_.open.Arm();
  held_.call.Arm();
  machine_.Plug();
  ASSERT_TRUE(held_.open.WaitHeld());
  Announce(platform::kDbtDeviceRemoveComplete);
  held_.open.Release();
  ASSERT_TRUE(held_.call.WaitHeld());  // opened; about to read the settings
  Announce(platform::kDbtDeviceArrival);
  held_.call.Release();
  EXPECT_TRUE(ReopenedAndParked(2));
  EXPECT_EQ(dialogs_.BoxCount(), 0u);
}

// A removal handled just after an arrival has woken the worker, while the
// dongle can still be opened: the worker sees it and opens nothing, and the
// removal's signal does not end the connection of the next arrival.
TEST_F(HeldWorkerNoDongleTest, RemovalJustAfterTheArrivalIsSeen) {
  Start();
  arrivalTaken_.Arm();
  machine_.Plug();
  ASSERT_TRUE(arrivalTaken_.WaitHeld());
  Announce(platform::kDbtDeviceRemoveComplete);
  arrivalTaken_.Release();
  ASSERT_TRUE(DisconnectedAndParked());
  EXPECT_EQ(machine_.Dongle().OpenCount(), 0u);
  EXPECT_FALSE(window_.ButtonsEnabled());
  Announce(platform::kDbtDeviceArrival);
  EXPECT_TRUE(ReopenedAndParked(1));
}

// An arrival handled while the worker goes from the closed handle to its
// wait, then a first opening that fails: the worker does not take its own
// view of the flag for a removal, and opens the dongle.
TEST_F(HeldWorkerDongleTest, ArrivalJustAfterTheCloseSurvivesAFailedOpen) {
  Start();
  ASSERT_TRUE(ConnectedAndParked());
  machine_.Dongle().AddFault(sim::MakeFault(sim::FaultOp::kOpen, sim::FaultKind::kFail));
  held_.close.Arm();
  machine_.Unplug();
  ASSERT_TRUE(held_.close.WaitHeld());
  machine_.Plug();
  held_.close.Release();
  EXPECT_TRUE(ReopenedAndParked(2));
  EXPECT_EQ(dialogs_.BoxCount(), 0u);
}

// --- The filter and the notification routines, without a worker -------------

class NotificationTest : public MonitorTest {
 protected:
  NotificationTest() { g_deviceAbsent.store(0); }

  // Nothing happened: no event, no flag change, no button update.
  void ExpectIgnored(const char* what) {
    SCOPED_TRACE(what);
    EXPECT_EQ(g_evArrival.Wait(0), WaitResult::kTimeout);
    EXPECT_EQ(g_evRemoval.Wait(0), WaitResult::kTimeout);
    EXPECT_EQ(app_.m_bConnected.load(), 0);
    EXPECT_EQ(g_deviceAbsent.load(), 0);
  }
};

// Each notice also moves the serial on by one, so that the worker can tell
// a notice it has not seen from the last one it saw.
TEST_F(NotificationTest, RoutinesWithoutMainWindowSkipTheButtons) {
  ASSERT_EQ(g_pMainDlg.load(), nullptr);
  const std::uint32_t serial = LatestDeviceNotice().serial;
  OnDeviceArrival();
  EXPECT_EQ(app_.m_bConnected.load(), 1);
  EXPECT_EQ(g_deviceAbsent.load(), 0);
  EXPECT_EQ(g_evArrival.Wait(0), WaitResult::kSignaled);
  EXPECT_TRUE(LatestDeviceNotice().arrival);
  OnDeviceRemoval();
  OnDeviceRemoval();
  EXPECT_EQ(app_.m_bConnected.load(), 0);
  EXPECT_EQ(g_deviceAbsent.load(), 1);
  EXPECT_EQ(g_evRemoval.Wait(0), WaitResult::kSignaled);
  EXPECT_EQ(window_.Updates(), 0);
  EXPECT_EQ(LatestDeviceNotice().serial, serial + 3);
  EXPECT_FALSE(LatestDeviceNotice().arrival);

  g_pMainDlg.store(&window_);
  OnDeviceArrival();
  EXPECT_EQ(window_.History(), std::vector<bool>{true});
}

TEST_F(NotificationTest, NamesAreUpperCasedAndSearchedForTheMatch) {
  const auto record = [](const std::string& name) {
    return platform::BuildDeviceInterfaceBroadcast(platform::kGuidDevinterfaceUsbDevice, name);
  };
  EXPECT_FALSE(Deliver(platform::kDbtDeviceArrival, record("\\\\?\\usb#vid_054c&pid_0269#x")));
  EXPECT_FALSE(Deliver(platform::kDbtDeviceArrival, record("\\\\?\\usb#vid_1234&pid_0268#x")));
  ExpectIgnored("other vendor or product");

  EXPECT_TRUE(Deliver(platform::kDbtDeviceArrival, record("\\\\?\\usb#vid_054c&pid_0268#x")));
  EXPECT_EQ(app_.m_bConnected.load(), 1);
  EXPECT_EQ(g_evArrival.Wait(0), WaitResult::kSignaled);
}

TEST_F(NotificationTest, OnlyDeviceInterfaceRecordsWithAWholeNameAreRead) {
  const std::string name = "\\\\?\\USB#VID_054C&PID_0268#5&1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
  const std::vector<std::uint8_t> whole =
      platform::BuildDeviceInterfaceBroadcast(platform::kGuidDevinterfaceUsbDevice, name);
  auto setU32 = [](std::vector<std::uint8_t>* bytes, std::size_t at, std::uint32_t value) {
    std::memcpy(bytes->data() + at, &value, sizeof value);
  };

  // A volume record (DEV_BROADCAST_VOLUME, 18 bytes) and a port record that
  // is an interface record with the match text in all but its type.
  EXPECT_EQ(reinterpret_cast<const char*>(whole.data()) + 28, name);  // dbcc_name at byte 28
  std::vector<std::uint8_t> volume(18, 0);
  setU32(&volume, 0, 18);
  setU32(&volume, 4, 2);  // DBT_DEVTYP_VOLUME
  EXPECT_FALSE(Deliver(platform::kDbtDeviceArrival, volume));
  std::vector<std::uint8_t> port = whole;
  setU32(&port, 4, 3);  // DBT_DEVTYP_PORT
  EXPECT_FALSE(Deliver(platform::kDbtDeviceRemoveComplete, port));
  ExpectIgnored("other device types");

  // Interface records cut short: by the bytes given, by their own size
  // field, or before the name starts.
  std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + 40);  // no terminator
  EXPECT_FALSE(Deliver(platform::kDbtDeviceArrival, cut));
  std::vector<std::uint8_t> lying = whole;
  for (std::uint32_t size : {40u, 20u}) {  // ending inside the name, or before it
    setU32(&lying, 0, size);
    EXPECT_FALSE(Deliver(platform::kDbtDeviceArrival, lying));
  }
  std::vector<std::uint8_t> header(whole.begin(), whole.begin() + 28);
  EXPECT_FALSE(Deliver(platform::kDbtDeviceArrival, header));
  std::vector<std::uint8_t> tiny(whole.begin(), whole.begin() + 6);
  EXPECT_FALSE(Deliver(platform::kDbtDeviceArrival, tiny));
  EXPECT_FALSE(FilterDeviceChange(platform::kWmDeviceChange, platform::kDbtDeviceArrival,
                                  nullptr, 0));
  ExpectIgnored("truncated records");

  // Other events and other messages pass untouched.
  EXPECT_FALSE(FilterDeviceChange(platform::kWmDeviceChange, 0x8001, whole.data(), whole.size()));
  EXPECT_FALSE(FilterDeviceChange(0x0010, platform::kDbtDeviceArrival, whole.data(), whole.size()));
  ExpectIgnored("other events");

  EXPECT_TRUE(Deliver(platform::kDbtDeviceRemoveComplete, whole));
  EXPECT_EQ(g_deviceAbsent.load(), 1);
}

TEST_F(NotificationTest, RegistrationFilterAndFailureText) {
  const std::vector<std::uint8_t> filter = DeviceNotificationFilter();
  ASSERT_EQ(filter.size(), 32u);
  std::uint32_t size = 0;
  std::uint32_t type = 0;
  std::memcpy(&size, filter.data(), 4);
  std::memcpy(&type, filter.data() + 4, 4);
  EXPECT_EQ(size, 32u);
  EXPECT_EQ(type, 5u);  // DBT_DEVTYP_DEVICEINTERFACE
  EXPECT_EQ(std::memcmp(filter.data() + 12, &platform::kGuidDevinterfaceUsbDevice, 16), 0);
  EXPECT_EQ(filter[28], 0);
  EXPECT_EQ(RegistrationFailureText(0x57), "RegisterDeviceNotification failed: 0x57");
  EXPECT_EQ(RegistrationFailureText(1066), "RegisterDeviceNotification failed: 0x42a");
}

TEST(ConnectionStateTest, TheNewestLiveApplicationObjectIsCurrent) {
  CConnectionState* outer = CConnectionState::Current();
  auto first = std::make_unique<TestApp>();
  EXPECT_EQ(CConnectionState::Current(), first.get());
  auto second = std::make_unique<TestApp>();
  EXPECT_EQ(CConnectionState::Current(), second.get());
  first.reset();  // out of order: the newer one stays current
  EXPECT_EQ(CConnectionState::Current(), second.get());
  second.reset();
  EXPECT_EQ(CConnectionState::Current(), outer);
  if (outer == nullptr) {
    EXPECT_NE(StartWorker(), 0u);  // no application object
  }
}

}  // namespace
