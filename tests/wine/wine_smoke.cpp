// Runs the real Win32 services where the program runs: the six firmware
// images loaded from this program's own resources, the device I/O calls on
// handles that cannot carry a request, and the request routines on top of
// them while no dongle is open. Prints one line per check, then
// "N passed, M failed", and exits nonzero when a check failed.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "device/vendor_request.h"
#include "gui_support.h"
#include "firmware/firmware_image.h"
#include "firmware/firmware_upgrader.h"
#include "platform/device_io.h"
#include "platform/os_types.h"
#include "platform/platform.h"
#include "platform/resources.h"
#include "platform/win32/win32_device_io.h"
#include "platform/win32/win32_resources.h"
#include "platform/win32/win32_services.h"

namespace {

using guitest::Check;

std::string Code(std::uint32_t code) {
  char text[16];
  std::snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(code));
  return text;
}

// The system's text for a code, with its line break removed for printing.
std::string ErrorText(std::uint32_t code) {
  std::string text;
  if (!platform::Os().io->SystemErrorText(code, &text)) return "";
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

// A failed call must leave a system error code that has a system text.
void CheckFailedCall(bool callResult, const std::string& call, std::uint32_t expectedCode) {
  platform::DeviceIo& io = *platform::Os().io;
  const std::uint32_t code = io.LastError();
  Check(!callResult, call + " fails");
  const std::string text = ErrorText(code);
  Check(code == expectedCode && !text.empty(),
        call + ": error " + Code(code) + " (\"" + text + "\"), expected " + Code(expectedCode));
}

void CheckServices() {
  win32::InstallWin32DeviceServices();
  const platform::Services first = platform::Os();
  Check(dynamic_cast<win32::Win32DeviceIo*>(first.io) != nullptr, "device I/O is the Win32 one");
  Check(dynamic_cast<win32::Win32Resources*>(first.resources) != nullptr,
        "resources are the Win32 ones");
  win32::InstallWin32DeviceServices();
  Check(platform::Os().io == first.io && platform::Os().resources == first.resources,
        "installing again keeps the same service objects");
}

// The loader's window side: messages go to the console, as failed checks.
class ConsoleUpgrader : public FirmwareUpgrader {
 public:
  bool WindowExists() override { return true; }
  void SetProgressPos(int /*position*/) override {}
  void RepaintProgressArea() override {}
  void EnableExit(bool /*enable*/) override {}
  int ShowMessage(const std::string& text, platform::BoxStyle /*style*/) override {
    Check(false, "no message from the loader: \"" + text + "\"");
    return platform::kIdOk;
  }
};

// The labels by load index, with each image's resource id.
struct ExpectedImage {
  int id;
  const char* label;
};

constexpr ExpectedImage kExpectedImages[kImageCount] = {
    {336, "BadCompany Pro V3.51"}, {337, "CallofDuty Pro V3.51"}, {338, "KillZone Pro V3.51"},
    {339, "MAG Pro V3.51"},        {342, "UnCharted Pro V3.51"},  {341, "Standard V3.51"},
};

void CheckFirmwareImages() {
  ConsoleUpgrader upgrader;
  Check(upgrader.LoadFirmwareImages(), "the six firmware images load from the resources");

  platform::Resources& resources = *platform::Os().resources;
  for (int index = 0; index < kImageCount; ++index) {
    const ExpectedImage& expected = kExpectedImages[index];
    const std::string name = "image " + std::to_string(index) + " (MYBIN " +
                             std::to_string(expected.id) + ")";
    Check(upgrader.m_strLabels[index] == expected.label,
          name + " is labelled \"" + upgrader.m_strLabels[index] + "\", expected \"" +
              expected.label + "\"");
    // The loader keeps the system's own bytes: the image is locked where it
    // lies and never copied.
    const platform::Resources::Found found = resources.Find(kImageResourceType, expected.id);
    Check(found != nullptr && resources.Size(found) == FirmwareImage::kSize &&
              resources.Lock(resources.Load(found)) == upgrader.m_pImageData[index],
          name + ": " + std::to_string(FirmwareImage::kSize) +
              " bytes, kept where the system locked them");
  }
  Check(resources.Find(kImageResourceType, 340) == nullptr, "no MYBIN resource 340");
  Check(resources.Find("MYBINX", 336) == nullptr, "no resource 336 of another type");
}

void CheckDeviceIo() {
  platform::DeviceIo& io = *platform::Os().io;

  io.SetLastError(1234);
  Check(io.LastError() == 1234, "the last error reads back what was set");

  io.SetLastError(0);
  const platform::Handle missing = io.Open("\\\\.\\TavrolinNoSuchDevice");
  CheckFailedCall(missing != platform::kInvalidHandle, "opening a device that is not there",
                  ERROR_FILE_NOT_FOUND);

  std::uint8_t in[IO_BUFFER_SIZE] = {};
  std::uint8_t out[IO_BUFFER_SIZE] = {};
  std::uint32_t returned = 0;

  // A plain file opens like a device path and reads synchronously; it has no
  // vendor requests, and once closed its handle carries nothing.
  std::error_code error;
  const std::filesystem::path path =
      std::filesystem::temp_directory_path(error) / "tavrolin_wine_smoke.bin";
  const char content[] = "tavrolin dongle";
  { std::ofstream(path, std::ios::binary).write(content, sizeof content); }
  const platform::Handle file = io.Open(path.string().c_str());
  if (Check(file != platform::kInvalidHandle, "opening a file by its path")) {
    char buffer[64] = {};
    std::uint32_t count = 0;
    Check(io.Read(file, buffer, sizeof buffer, &count) && count == sizeof content &&
              std::memcmp(buffer, content, sizeof content) == 0,
          "reading it gives its " + std::to_string(sizeof content) + " bytes");
    Check(io.Read(file, buffer, sizeof buffer, &count) && count == 0,
          "reading at its end gives 0 bytes");

    io.SetLastError(0);
    const bool sent = io.IoControl(file, IOCTL_VENDOR_READ, in, sizeof in, out, sizeof out,
                                   &returned);
    const std::uint32_t code = io.LastError();
    Check(!sent && code != 0 && !ErrorText(code).empty(),
          "a vendor request to a plain file fails with error " + Code(code) + " (\"" +
              ErrorText(code) + "\")");

    Check(io.Close(file), "closing it");
    io.SetLastError(0);
    CheckFailedCall(io.IoControl(file, IOCTL_VENDOR_READ, in, sizeof in, out, sizeof out,
                                 &returned),
                    "a vendor request on the closed handle", ERROR_INVALID_HANDLE);
    io.SetLastError(0);
    CheckFailedCall(io.Read(file, out, sizeof out, &returned), "a read on the closed handle",
                    ERROR_INVALID_HANDLE);
  }
  std::filesystem::remove(path, error);

  io.SetLastError(0);
  CheckFailedCall(io.IoControl(platform::kInvalidHandle, IOCTL_VENDOR_WRITE, in, sizeof in, out,
                               sizeof out, &returned),
                  "a vendor request on the invalid handle", ERROR_INVALID_HANDLE);

  std::string text = "unchanged";
  Check(!io.SystemErrorText(0x2FFFFFFFu, &text) && text == "unchanged",
        "a code without a system text gives none");
}

// The request routines over the real calls while no dongle is open: reads
// report the system's code and leave their destination alone, and the flash
// routines give up instead of repeating for ever.
void CheckTransportWithoutDevice() {
  g_hDevice = platform::kInvalidHandle;
  std::uint8_t byte = 0x5A;
  const std::uint32_t status = ReadDeviceData(&byte, ADDR_RF_GROUP, 1);
  Check(status == ERROR_INVALID_HANDLE && byte == 0x5A,
        "reading the RF group without a dongle gives status " + Code(status) +
            " and leaves the byte alone");
  std::uint8_t block[FLASH_BLOCK_SIZE] = {};
  Check(ReadFlash(block, LARGE_PAGE_FLASH_BASE, FLASH_BLOCK_SIZE) != 0,
        "a flash read without a dongle ends with a failure");
  Check(WriteFlashBlock(block, LARGE_PAGE_FLASH_BASE) != 0,
        "a flash write without a dongle ends with a failure");
}

}  // namespace

int main() {
  CheckServices();
  // Without the services the checks above have failed already.
  if (platform::Os().io == nullptr || platform::Os().resources == nullptr) return guitest::Summary();
  CheckFirmwareImages();
  CheckDeviceIo();
  CheckTransportWithoutDevice();
  return guitest::Summary();
}
