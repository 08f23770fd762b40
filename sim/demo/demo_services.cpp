// The demo's dialog backend: the Win32 one, plus the list of windows that
// registered for device notifications, to which the simulated dongle's
// announcements go as WM_DEVICECHANGE through a message-only window of its
// own.
#include "platform/win32/win32_internal.h"

#include <algorithm>

#include "platform/platform.h"
#include "platform/win32/win32_dialogs.h"
#include "platform/win32/win32_services.h"
#include "sim/demo/demo_services.h"
#include "sim/machine/demo_machine.h"
#include "sim/machine/device_change_sink.h"

namespace sim {
namespace {

constexpr UINT kWmDeviceBroadcast = WM_APP;  // wParam: event, lParam: Broadcast*
constexpr const char* kBroadcastClass = "TavrolinDemoBroadcast";

class DemoDialogs;

struct Broadcast {
  DemoDialogs* system;
  std::vector<std::uint8_t> record;
};

class DemoDialogs : public win32::Win32Dialogs, public DeviceChangeSink {
 public:
  DemoDialogs();
  ~DemoDialogs() override;

  void BroadcastDeviceChange(std::uint32_t event, const std::vector<std::uint8_t>& record) override;
  void Registered(HWND hwnd) override { registered_.push_back(hwnd); }
  void Detach(win32::Win32Window* window) override;
  // The broadcast, on the window thread.
  void Deliver(std::uint32_t event, const std::vector<std::uint8_t>& record);

 private:
  HWND broadcastWindow_ = nullptr;
  std::vector<HWND> registered_;  // window thread only
};

LRESULT CALLBACK BroadcastProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != kWmDeviceBroadcast) return DefWindowProcA(hwnd, message, wParam, lParam);
  std::unique_ptr<Broadcast> broadcast(reinterpret_cast<Broadcast*>(lParam));
  broadcast->system->Deliver(static_cast<std::uint32_t>(wParam), broadcast->record);
  return 0;
}

DemoDialogs::DemoDialogs() {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = BroadcastProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = kBroadcastClass;
  RegisterClassA(&windowClass);
  broadcastWindow_ = CreateWindowExA(0, kBroadcastClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                     nullptr, GetModuleHandleA(nullptr), nullptr);
}

DemoDialogs::~DemoDialogs() {
  if (broadcastWindow_ != nullptr) DestroyWindow(broadcastWindow_);
}

// Posted, so that the caller never waits; the record travels with the message.
void DemoDialogs::BroadcastDeviceChange(std::uint32_t event,
                                        const std::vector<std::uint8_t>& record) {
  auto broadcast = std::make_unique<Broadcast>(Broadcast{this, record});
  if (PostMessageA(broadcastWindow_, kWmDeviceBroadcast, event,
                   reinterpret_cast<LPARAM>(broadcast.get()))) {
    broadcast.release();
  }
}

void DemoDialogs::Deliver(std::uint32_t event, const std::vector<std::uint8_t>& record) {
  const std::vector<HWND> targets = registered_;
  for (HWND hwnd : targets) {
    SendMessageA(hwnd, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(record.data()));
  }
}

void DemoDialogs::Detach(win32::Win32Window* window) {
  const HWND hwnd = window->Handle();
  registered_.erase(std::remove(registered_.begin(), registered_.end(), hwnd), registered_.end());
  Win32Dialogs::Detach(window);
}

}  // namespace

std::unique_ptr<platform::DialogSystem> MakeDemoDialogSystem() {
  return std::make_unique<DemoDialogs>();
}

SimMachine& InstallDemoServices() {
  win32::InstallWin32DeviceServices();
  static const std::unique_ptr<platform::DialogSystem> dialogs = MakeDemoDialogSystem();
  static const std::unique_ptr<platform::Graphics> graphics = win32::MakeGraphics();
  platform::Services services = platform::Os();
  services.dialogs = dialogs.get();
  services.graphics = graphics.get();
  platform::Install(services);
  return InstallDemoMachine();
}

}  // namespace sim
