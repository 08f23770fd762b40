// Installs the test bus in the Wine prefix and starts it: the root device and
// its driver on the first run, a newer tavbus.sys copied over the installed
// one, the service started when its control interface is missing. Run from
// its own folder, beside tavbus.sys and tavbus.inf. Exit status 0: the bus
// answers on its control interface, with this driver file installed.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
#include <newdev.h>
#include <setupapi.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bus_client.h"

namespace {

// GUID_DEVCLASS_SYSTEM, the class of the root device.
const GUID kSystemClass = {0x4d36e97d, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
const char kInstanceId[] = TAVBUS_HARDWARE_ID "\\0000";
// A service start takes a few hundred milliseconds; the bus is given far more.
constexpr int kStartWaitMs = 30000;

std::string ProgramFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder = path;
  return folder.substr(0, folder.find_last_of('\\') + 1);
}

bool Fail(const char* step) {
  std::printf("tavbus_install: %s failed (error %lu)\n", step, GetLastError());
  return false;
}

bool RootDeviceExists() {
  HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
  if (set == INVALID_HANDLE_VALUE) return false;
  SP_DEVINFO_DATA data = {};
  data.cbSize = sizeof data;
  const bool exists = SetupDiOpenDeviceInfoA(set, kInstanceId, nullptr, 0, &data) != FALSE;
  SetupDiDestroyDeviceInfoList(set);
  return exists;
}

// The root device with the bus's hardware ID, and the driver for it.
bool InstallRootDevice(const std::string& folder) {
  HDEVINFO set = SetupDiCreateDeviceInfoList(&kSystemClass, nullptr);
  if (set == INVALID_HANDLE_VALUE) return Fail("SetupDiCreateDeviceInfoList");
  SP_DEVINFO_DATA data = {};
  data.cbSize = sizeof data;
  static const char kHardwareIds[] = TAVBUS_HARDWARE_ID "\0";
  bool ok = SetupDiCreateDeviceInfoA(set, kInstanceId, &kSystemClass, nullptr, nullptr, 0, &data) ||
            Fail("SetupDiCreateDeviceInfo");
  ok = ok && (SetupDiSetDeviceRegistryPropertyA(set, &data, SPDRP_HARDWAREID,
                                                reinterpret_cast<const BYTE*>(kHardwareIds),
                                                sizeof kHardwareIds) ||
              Fail("SetupDiSetDeviceRegistryProperty"));
  ok = ok && (SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set, &data) ||
              Fail("DIF_REGISTERDEVICE"));
  SetupDiDestroyDeviceInfoList(set);
  const std::string inf = folder + "tavbus.inf";
  BOOL reboot = FALSE;
  return ok && (UpdateDriverForPlugAndPlayDevicesA(nullptr, TAVBUS_HARDWARE_ID, inf.c_str(),
                                                    INSTALLFLAG_FORCE, &reboot) ||
                Fail("UpdateDriverForPlugAndPlayDevices"));
}

std::vector<char> FileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool BusAnswers() {
  tavbus::BusClient bus;
  return bus.Open();
}

std::string InstalledDriverFile() {
  char system[MAX_PATH] = {};
  GetSystemDirectoryA(system, MAX_PATH);
  return std::string(system) + "\\drivers\\" TAVBUS_DRIVER_FILE;
}

bool DriverFileCurrent(const std::string& folder) {
  return FileBytes(InstalledDriverFile()) == FileBytes(folder + TAVBUS_DRIVER_FILE);
}

// Installing again does not replace an installed driver file: a changed one
// is copied over it here. A loaded driver stays loaded until the Wine server
// ends, so the copy is refused while the bus runs.
bool UpdateDriverFile(const std::string& folder) {
  if (DriverFileCurrent(folder)) return true;
  if (BusAnswers()) {
    std::printf("tavbus_install: an older %s is loaded; end this prefix's Wine server "
                "(wineserver -k) and run tavbus_install again\n", TAVBUS_DRIVER_FILE);
    return false;
  }
  const std::string built = folder + TAVBUS_DRIVER_FILE;
  const std::string installed = InstalledDriverFile();
  std::printf("tavbus_install: copying %s to %s\n", built.c_str(), installed.c_str());
  return CopyFileA(built.c_str(), installed.c_str(), FALSE) || Fail("CopyFile");
}

bool StartService() {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (manager == nullptr) return Fail("OpenSCManager");
  SC_HANDLE service = OpenServiceA(manager, TAVBUS_SERVICE_NAME, SERVICE_START);
  bool ok = service != nullptr || Fail("OpenService");
  if (ok && !StartServiceA(service, 0, nullptr)) {
    ok = GetLastError() == ERROR_SERVICE_ALREADY_RUNNING || Fail("StartService");
  }
  if (service != nullptr) CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return ok;
}

bool WaitForBus() {
  for (int waited = 0; waited < kStartWaitMs; waited += 50) {
    if (BusAnswers()) return true;
    Sleep(50);
  }
  std::printf("tavbus_install: the bus did not appear within %d ms\n", kStartWaitMs);
  return false;
}

}  // namespace

int main() {
  const std::string folder = ProgramFolder();
  bool ok = true;
  if (!RootDeviceExists()) {
    std::printf("tavbus_install: installing the root device %s\n", kInstanceId);
    ok = InstallRootDevice(folder);
  }
  ok = ok && UpdateDriverFile(folder);
  if (ok && !BusAnswers()) ok = StartService() && WaitForBus();
  if (ok) std::printf("tavbus_install: the bus is running\n");
  return ok ? 0 : 1;
}
