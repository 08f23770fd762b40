// Device I/O that forwards every call to another one and runs a hook just
// before each control call: a dongle that takes time to answer, a second
// thread's request slipped in mid-call, and the like.
#pragma once
#include <functional>
#include <string>

#include "platform/device_io.h"

namespace sim {

class HookedDeviceIo : public platform::DeviceIo {
 public:
  explicit HookedDeviceIo(platform::DeviceIo& inner, std::function<void()> beforeCall = {})
      : inner_(inner), beforeCall_(std::move(beforeCall)) {}

  void SetBeforeCall(std::function<void()> hook) { beforeCall_ = std::move(hook); }

  platform::Handle Open(const char* path) override { return inner_.Open(path); }
  bool IoControl(platform::Handle handle, std::uint32_t code, const void* in,
                 std::uint32_t inSize, void* out, std::uint32_t outSize,
                 std::uint32_t* returned) override {
    if (beforeCall_) beforeCall_();
    return inner_.IoControl(handle, code, in, inSize, out, outSize, returned);
  }
  bool Read(platform::Handle handle, void* buffer, std::uint32_t size,
            std::uint32_t* read) override {
    return inner_.Read(handle, buffer, size, read);
  }
  bool Close(platform::Handle handle) override { return inner_.Close(handle); }
  std::uint32_t LastError() override { return inner_.LastError(); }
  void SetLastError(std::uint32_t code) override { inner_.SetLastError(code); }
  bool SystemErrorText(std::uint32_t code, std::string* text) override {
    return inner_.SystemErrorText(code, text);
  }

 private:
  platform::DeviceIo& inner_;
  std::function<void()> beforeCall_;
};

}  // namespace sim
