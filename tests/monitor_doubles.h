// Stand-ins for the window side of the connection monitor in tests: a
// recording dialog backend whose "window thread" is a lock, a main window
// that records its button states, and an application object.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "monitor/connection_state.h"
#include "platform/dialogs.h"
#include "platform/os_types.h"
#include "platform/platform.h"
#include "sim/desktop/stacked_app.h"
#include "sim/machine/device_change_sink.h"

namespace testing_support {

// Message boxes answer at once and are recorded; RunOnWindowThread runs the
// work on the calling thread while holding the window lock; broadcasts go
// straight to the device-change filter, under the window lock as well.
class RecordingDialogs : public platform::DialogSystem, public sim::DeviceChangeSink {
 public:
  struct Box {
    std::string text;
    platform::BoxStyle style;
  };

  int RunModal(kit::CDialog& dialog) override;
  int MessageBox(const std::string& text, platform::BoxStyle style) override;
  void RunOnWindowThread(const std::function<void()>& work) override;
  void BroadcastDeviceChange(std::uint32_t event, const std::vector<std::uint8_t>& record) override;

  std::vector<Box> Boxes() const;
  std::size_t BoxCount() const;
  int Broadcasts() const;
  void SetAnswer(int answer);

 private:
  std::recursive_mutex window_;
  mutable std::mutex records_;
  std::vector<Box> boxes_;
  int broadcasts_ = 0;
  int answer_ = platform::kIdOk;
};

// Puts a dialog backend into platform::Os() for a scope.
class ScopedDialogs {
 public:
  explicit ScopedDialogs(platform::DialogSystem* dialogs);
  ~ScopedDialogs();
  ScopedDialogs(const ScopedDialogs&) = delete;
  ScopedDialogs& operator=(const ScopedDialogs&) = delete;

 private:
  platform::DialogSystem* saved_;
};

// The main window's buttons as UpdateButtons leaves them.
class TestMainWindow : public CMonitorWindow {
 public:
  explicit TestMainWindow(CConnectionState& app) : app_(app) {}
  void UpdateButtons() override;

  bool ButtonsEnabled() const;
  int Updates() const;
  std::vector<bool> History() const;

 private:
  CConnectionState& app_;
  mutable std::mutex mutex_;
  bool enabled_ = true;  // the template creates both buttons enabled
  std::vector<bool> history_;
};

// An application object with an RF dialog that is open or not, recording
// each refresh with the settings it would show.
class TestApp : public sim::StackedApp {
 public:
  struct Refresh {
    int group;
    int sixteenBands;
    int startBand;
  };

  bool IsAdjRFWindowVisible() override { return rfVisible.load(); }
  void RefreshAdjRFBandList() override;
  std::vector<Refresh> Refreshes() const;

  std::atomic<bool> rfVisible{false};

 private:
  mutable std::mutex mutex_;
  std::vector<Refresh> refreshes_;
};

// Polls `done` every millisecond for at most `timeout`.
bool WaitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));

// The worker is blocked (on an event or a message box) and nothing has woken it.
bool WorkerSettled();
// Waits for WorkerSettled().
bool WaitWorkerSettled();

}  // namespace testing_support
