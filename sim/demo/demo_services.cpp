// The demo's dialog backend: the Win32 one, plus a message-only window of its
// own through which the simulated dongle's announcements go as WM_DEVICECHANGE
// to the windows of the window thread. The main window is the one registered
// for device notifications; the others leave the message alone.
#include "platform/win32/win32_internal.h"

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
  // The broadcast, on the window thread.
  void Deliver(std::uint32_t event, const std::vector<std::uint8_t>& record);

 private:
  HWND broadcastWindow_ = nullptr;
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

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(hwnd);
  return TRUE;
}

// The windows are gathered first; one that a message has closed is passed over.
void DemoDialogs::Deliver(std::uint32_t event, const std::vector<std::uint8_t>& record) {
  std::vector<HWND> targets;
  EnumThreadWindows(GetCurrentThreadId(), CollectWindow, reinterpret_cast<LPARAM>(&targets));
  for (HWND hwnd : targets) {
    if (hwnd != broadcastWindow_ && IsWindow(hwnd)) {
      SendMessageA(hwnd, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(record.data()));
    }
  }
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
