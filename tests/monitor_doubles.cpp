// The window-side stand-ins of the monitor tests.
#include "monitor_doubles.h"

#include <thread>

#include "monitor/device_notify.h"
#include "platform/device_io.h"
#include "platform/os_types.h"
#include "sim/machine/activity.h"

namespace testing_support {

int RecordingDialogs::RunModal(kit::CDialog& /*dialog*/) { return platform::kIdCancel; }

int RecordingDialogs::MessageBox(const std::string& text, platform::BoxStyle style) {
  // A person answers; meanwhile a background caller counts as blocked. The
  // window manager's own calls change the thread's last error, as they may.
  platform::activity::BlockedScope blocked;
  if (platform::Os().io != nullptr) platform::Os().io->SetLastError(platform::kErrorSuccess);
  std::lock_guard<std::mutex> lock(records_);
  boxes_.push_back(Box{text, style});
  return answer_;
}

void RecordingDialogs::RunOnWindowThread(const std::function<void()>& work) {
  std::lock_guard<std::recursive_mutex> lock(window_);
  work();
}

void RecordingDialogs::BroadcastDeviceChange(std::uint32_t event,
                                             const std::vector<std::uint8_t>& record) {
  {
    std::lock_guard<std::mutex> lock(records_);
    ++broadcasts_;
  }
  std::lock_guard<std::recursive_mutex> lock(window_);
  FilterDeviceChange(platform::kWmDeviceChange, event, record.data(), record.size());
}

std::vector<RecordingDialogs::Box> RecordingDialogs::Boxes() const {
  std::lock_guard<std::mutex> lock(records_);
  return boxes_;
}

std::size_t RecordingDialogs::BoxCount() const {
  std::lock_guard<std::mutex> lock(records_);
  return boxes_.size();
}

int RecordingDialogs::Broadcasts() const {
  std::lock_guard<std::mutex> lock(records_);
  return broadcasts_;
}

void RecordingDialogs::SetAnswer(int answer) {
  std::lock_guard<std::mutex> lock(records_);
  answer_ = answer;
}

ScopedDialogs::ScopedDialogs(platform::DialogSystem* dialogs) : saved_(platform::Os().dialogs) {
  platform::Services services = platform::Os();
  services.dialogs = dialogs;
  platform::Install(services);
}

ScopedDialogs::~ScopedDialogs() {
  platform::Services services = platform::Os();
  services.dialogs = saved_;
  platform::Install(services);
}

void TestMainWindow::UpdateButtons() {
  platform::Os().dialogs->RunOnWindowThread([this] {
    const bool on = app_.m_bConnected.load() != 0;
    std::lock_guard<std::mutex> lock(mutex_);
    enabled_ = on;
    history_.push_back(on);
  });
}

bool TestMainWindow::ButtonsEnabled() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return enabled_;
}

int TestMainWindow::Updates() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(history_.size());
}

std::vector<bool> TestMainWindow::History() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return history_;
}

void TestApp::RefreshAdjRFBandList() {
  platform::Os().dialogs->RunOnWindowThread([this] {
    std::lock_guard<std::mutex> lock(mutex_);
    refreshes_.push_back(Refresh{m_nRfGroup.load(), m_b16Bands.load(), m_nStartBand.load()});
  });
}

std::vector<TestApp::Refresh> TestApp::Refreshes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return refreshes_;
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

bool WorkerSettled() {
  return platform::activity::LiveBackgroundThreads() == 1 &&
         platform::activity::RunningBackgroundThreads() == 0;
}

bool WaitWorkerSettled() { return WaitUntil(WorkerSettled); }

}  // namespace testing_support
