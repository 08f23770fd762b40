// The real Win32 services, one line each. This file includes no <windows.h>,
// so the portable interfaces it names keep their own spelling.
#include "platform/win32/win32_services.h"

#include "platform/activity_observer.h"
#include "platform/platform.h"
#include "platform/win32/win32_device_enum.h"
#include "platform/win32/win32_dialogs.h"
#include "platform/win32/win32_device_io.h"
#include "platform/win32/win32_resources.h"

namespace win32 {
namespace {
// One instance of a service for the whole run.
template <class Service>
Service* Single() {
  static Service instance;
  return &instance;
}
}  // namespace

void InstallWin32DeviceServices() {
  platform::Services services = platform::Os();
  services.io = Single<Win32DeviceIo>();
  services.devices = Single<Win32DeviceEnum>();
  services.resources = Single<Win32Resources>();
  platform::Install(services);
}

void InstallWin32Services() {
  InstallWin32DeviceServices();
  platform::InstallActivityObserver(Single<platform::ActivityObserver>());
  static const std::unique_ptr<platform::DialogSystem> dialogs = MakeDialogSystem();
  static const std::unique_ptr<platform::Graphics> graphics = MakeGraphics();
  platform::Services services = platform::Os();
  services.dialogs = dialogs.get();
  services.graphics = graphics.get();
  platform::Install(services);
}

}  // namespace win32
