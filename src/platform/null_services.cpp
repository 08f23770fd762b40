// The null services.
#include "platform/null_services.h"

#include <cstdlib>
#include <string>

#include "platform/device_enum.h"
#include "platform/device_io.h"
#include "platform/dialogs.h"
#include "platform/graphics.h"
#include "platform/os_types.h"
#include "platform/resources.h"

namespace platform {
namespace {

// Every device call fails as with a device that is not connected.
class NullDeviceIo : public DeviceIo {
 public:
  Handle Open(const char*) override { return Fail(kInvalidHandle); }
  bool IoControl(Handle, std::uint32_t, const void*, std::uint32_t, void*, std::uint32_t,
                 std::uint32_t*) override {
    return Fail(false);
  }
  bool Read(Handle, void*, std::uint32_t, std::uint32_t*) override { return Fail(false); }
  bool Close(Handle) override { return Fail(false); }
  std::uint32_t LastError() override { return t_lastError; }
  void SetLastError(std::uint32_t code) override { t_lastError = code; }
  bool SystemErrorText(std::uint32_t, std::string*) override { return false; }

 private:
  template <typename T>
  static T Fail(T result) {
    t_lastError = kErrorDeviceNotConnected;
    return result;
  }
  static thread_local std::uint32_t t_lastError;
};
thread_local std::uint32_t NullDeviceIo::t_lastError = kErrorSuccess;

// An enumeration that finds nothing; upper-casing is plain ASCII.
class NullDeviceEnum : public DeviceEnum {
 public:
  Handle GetClassDevs(const Guid&, std::uint32_t) override { return kInvalidHandle; }
  bool EnumDeviceInfo(Handle, std::uint32_t, DevInfoData*) override { return false; }
  bool GetDeviceRegistryProperty(Handle, DevInfoData*, std::uint32_t, std::uint8_t*,
                                 std::uint32_t, std::uint32_t*) override {
    return false;
  }
  bool EnumDeviceInterfaces(Handle, DevInfoData*, const Guid&, std::uint32_t,
                            DeviceInterfaceData*) override {
    return false;
  }
  bool GetDeviceInterfaceDetail(Handle, DeviceInterfaceData*, void*, std::uint32_t,
                                std::uint32_t*) override {
    return false;
  }
  bool DestroyDeviceInfoList(Handle) override { return false; }
  void* AllocZeroed(std::size_t size) override { return std::calloc(1, size); }
  void Free(void* block) override { std::free(block); }
  void UpperCaseAnsi(std::string* text) override {
    for (char& c : *text) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
  }
};

class NullResources : public Resources {
 public:
  Found Find(const char*, int) override { return nullptr; }
  Loaded Load(Found) override { return nullptr; }
  const std::uint8_t* Lock(Loaded) override { return nullptr; }
  std::uint32_t Size(Found) override { return 0; }
};

class NullGraphics : public Graphics {
 public:
  std::uintptr_t Startup() override { return 0; }
  void Shutdown(std::uintptr_t) override {}
  Picture* CreatePicture(const std::uint8_t*, std::uint32_t) override { return nullptr; }
};

class NullDialogs : public DialogSystem {
 public:
  int RunModal(kit::CDialog&) override { return -1; }
  int MessageBox(const std::string&, BoxStyle) override { return 0; }
  void RunOnWindowThread(const std::function<void()>& task) override { task(); }
};

}  // namespace

Services WithNullServices(Services services) {
  // Never destroyed: a worker may still reach a service while the process
  // ends.
  static const Services nulls{new NullDeviceIo, new NullDeviceEnum, new NullResources,
                              new NullGraphics, new NullDialogs};
  if (services.io == nullptr) services.io = nulls.io;
  if (services.devices == nullptr) services.devices = nulls.devices;
  if (services.resources == nullptr) services.resources = nulls.resources;
  if (services.graphics == nullptr) services.graphics = nulls.graphics;
  if (services.dialogs == nullptr) services.dialogs = nulls.dialogs;
  return services;
}

}  // namespace platform
