// Device-change notifications on the window thread: the filter, and the
// arrival and removal routines that set the flags and wake the worker.
#include "monitor/device_notify.h"

#include <atomic>
#include <cstdio>
#include <mutex>

#include "device/discovery.h"
#include "device/vendor_request.h"
#include "monitor/connection_state.h"
#include "monitor/device_worker.h"
#include "platform/device_broadcast.h"
#include "platform/device_enum.h"
#include "platform/os_types.h"
#include "platform/platform.h"

namespace {

// The notices as one word, serial << 1 | arrival, changed under the lock.
std::mutex g_noticeLock;
std::atomic<std::uint32_t> g_notices{0};

// m_bConnected and the notice change together.
void Notice(bool arrival) {
  std::lock_guard<std::mutex> lock(g_noticeLock);
  if (CConnectionState* app = CConnectionState::Current()) app->m_bConnected.store(arrival ? 1 : 0);
  const std::uint32_t serial = (g_notices.load() >> 1) + 1;
  g_notices.store(serial << 1 | (arrival ? 1u : 0u));
}

}  // namespace

DeviceNotice LatestDeviceNotice() {
  const std::uint32_t word = g_notices.load();
  return DeviceNotice{word >> 1, (word & 1u) != 0};
}

void WithNoticesHeld(const std::function<void()>& update) {
  std::lock_guard<std::mutex> lock(g_noticeLock);
  update();
}

void OnDeviceArrival() {
  Notice(true);
  UpdateMainButtons();
  g_deviceAbsent.store(0);
  g_evArrival.Set();
}

void OnDeviceRemoval() {
  Notice(false);
  UpdateMainButtons();
  g_deviceAbsent.store(1);
  g_evRemoval.Set();
}

bool FilterDeviceChange(std::uint32_t message, std::uintptr_t wParam, const void* record,
                        std::size_t recordSize) {
  if (message != platform::kWmDeviceChange) return false;
  const bool arrival = wParam == platform::kDbtDeviceArrival;
  const bool removal = wParam == platform::kDbtDeviceRemoveComplete;
  if (!arrival && !removal) return false;
  // Volumes, ports and other records carry no interface name.
  std::string name;
  if (!platform::ReadDeviceInterfaceName(record, recordSize, &name)) return false;
  platform::Os().devices->UpperCaseAnsi(&name);
  if (name.find(g_deviceMatch) == std::string::npos) return false;

  if (arrival) {
    // Any matching interface counts; while one is connected, others change
    // nothing.
    CConnectionState* app = CConnectionState::Current();
    if (app == nullptr || app->m_bConnected.load() == 0) OnDeviceArrival();
  } else {
    OnDeviceRemoval();
  }
  return true;
}

std::vector<std::uint8_t> DeviceNotificationFilter() {
  return platform::BuildDeviceInterfaceBroadcast(platform::kGuidDevinterfaceUsbDevice, "");
}

std::string RegistrationFailureText(std::uint32_t error) {
  char text[64];
  std::snprintf(text, sizeof text, "RegisterDeviceNotification failed: 0x%x",
                static_cast<unsigned>(error));
  return text;
}
