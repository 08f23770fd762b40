// Runs the real Win32 services where the program runs: the six firmware
// images from this program's own resources, and the device I/O calls on
// handles that cannot carry a request. Prints one line per check, then
// "N passed, M failed", and exits nonzero when a check failed.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "device/vendor_request.h"
#include "platform/device_io.h"
#include "platform/os_types.h"
#include "platform/platform.h"
#include "platform/resources.h"
#include "platform/win32/win32_device_io.h"
#include "platform/win32/win32_resources.h"
#include "platform/win32/win32_services.h"

namespace {

int g_passed = 0;
int g_failed = 0;

bool Check(bool ok, const std::string& what) {
  std::printf("%s %s\n", ok ? "pass" : "FAIL", what.c_str());
  (ok ? g_passed : g_failed) += 1;
  return ok;
}

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

// The catalogue in load order: resource id, trailer fields and label.
struct CatalogueEntry {
  int id;
  const char* editionCode;
  const char* versionDigits;
  const char* label;
};

constexpr CatalogueEntry kCatalogue[] = {
    {336, "BC", "351", "BadCompany Pro V3.51"}, {337, "CD", "351", "CallofDuty Pro V3.51"},
    {338, "KZ", "351", "KillZone Pro V3.51"},   {339, "MG", "351", "MAG Pro V3.51"},
    {342, "UC", "351", "UnCharted Pro V3.51"},  {341, " S", "351", "Standard V3.51"},
};

constexpr std::uint32_t kImageSize = 12900;
constexpr std::uint32_t kEditionCodeOffset = 12815;
constexpr std::uint32_t kVersionDigitsOffset = 12817;

void CheckFirmwareImages() {
  platform::Resources& resources = *platform::Os().resources;
  int index = 0;
  for (const CatalogueEntry& entry : kCatalogue) {
    const std::string name = "image " + std::to_string(index++) + " (MYBIN " +
                             std::to_string(entry.id) + ", " + entry.label + ")";
    const platform::Resources::Found found = resources.Find("MYBIN", entry.id);
    if (!Check(found != nullptr, name + ": found")) continue;
    const std::uint32_t size = resources.Size(found);
    const std::uint8_t* bytes = resources.Lock(resources.Load(found));
    if (!Check(bytes != nullptr && size == kImageSize,
               name + ": loaded and locked, " + std::to_string(size) + " bytes")) {
      continue;
    }
    const bool codeMatches = std::memcmp(bytes + kEditionCodeOffset, entry.editionCode, 2) == 0;
    const bool digitsMatch = std::memcmp(bytes + kVersionDigitsOffset, entry.versionDigits, 3) == 0;
    Check(codeMatches && digitsMatch, name + ": trailer holds edition \"" + entry.editionCode +
                                          "\" and version \"" + entry.versionDigits + "\"");
    Check(resources.Lock(resources.Load(resources.Find("MYBIN", entry.id))) == bytes,
          name + ": stays at the same address when loaded again");
  }
  Check(resources.Find("MYBIN", 340) == nullptr, "no MYBIN resource 340");
  Check(resources.Find("MYBINX", 336) == nullptr, "no resource 336 of another type");
}

void CheckDeviceIo() {
  platform::DeviceIo& io = *platform::Os().io;

  io.SetLastError(1234);
  Check(io.LastError() == 1234, "the last error reads back what was set");

  io.SetLastError(0);
  const platform::Handle missing = io.Open("\\\\.\\TavrolinNoSuchDevice");
  CheckFailedCall(missing != platform::kInvalidHandle, "opening a device that is not there",
                  platform::kErrorFileNotFound);

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
                    "a vendor request on the closed handle", platform::kErrorInvalidHandle);
    io.SetLastError(0);
    CheckFailedCall(io.Read(file, out, sizeof out, &returned), "a read on the closed handle",
                    platform::kErrorInvalidHandle);
  }
  std::filesystem::remove(path, error);

  io.SetLastError(0);
  CheckFailedCall(io.IoControl(platform::kInvalidHandle, IOCTL_VENDOR_WRITE, in, sizeof in, out,
                               sizeof out, &returned),
                  "a vendor request on the invalid handle", platform::kErrorInvalidHandle);

  std::string text = "unchanged";
  Check(!io.SystemErrorText(0x2FFFFFFFu, &text) && text == "unchanged",
        "a code without a system text gives none");
}

}  // namespace

int main() {
  CheckServices();
  CheckFirmwareImages();
  CheckDeviceIo();
  std::printf("%d passed, %d failed\n", g_passed, g_failed);
  std::fflush(stdout);
  return g_failed == 0 ? 0 : 1;
}
