// Driving the windows of another process; see remote_program.h.
#include "remote_program.h"

#include <algorithm>
#include <filesystem>
#include <thread>

namespace remote {
namespace {

struct DialogSearch {
  DWORD process;
  bool visibleOnly;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectDialog(HWND hwnd, LPARAM param) {
  auto& search = *reinterpret_cast<DialogSearch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(hwnd, &owner);
  if (owner == search.process && (!search.visibleOnly || IsWindowVisible(hwnd)) &&
      guitest::ClassOf(hwnd) == "#32770") {
    search.found.push_back(hwnd);
  }
  return TRUE;
}

}  // namespace

Program::~Program() {
  Terminate();
  if (process_.hThread != nullptr) CloseHandle(process_.hThread);
  if (process_.hProcess != nullptr) CloseHandle(process_.hProcess);
}

bool Program::Start(const std::string& path) {
  const std::filesystem::path file(path);
  name_ = file.stem().string();
  const std::string folder = file.parent_path().string();
  std::string commandLine = "\"" + path + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  return CreateProcessA(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &process_) != FALSE;
}

bool Program::Running() const {
  return process_.hProcess != nullptr && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

bool Program::WaitForExit(std::chrono::milliseconds limit) {
  if (process_.hProcess == nullptr) return true;
  return WaitForSingleObject(process_.hProcess, static_cast<DWORD>(limit.count())) == WAIT_OBJECT_0;
}

void Program::Terminate() {
  if (!Running()) return;
  TerminateProcess(process_.hProcess, 99);
  WaitForSingleObject(process_.hProcess, 10000);
}

DWORD Program::ExitCode() const {
  DWORD code = STILL_ACTIVE;
  if (process_.hProcess != nullptr) GetExitCodeProcess(process_.hProcess, &code);
  return code;
}

std::vector<HWND> Program::Dialogs(bool visibleOnly) const {
  DialogSearch search{process_.dwProcessId, visibleOnly, {}};
  if (process_.hProcess != nullptr) EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND Program::FindDialog(const std::string& caption) const {
  for (HWND hwnd : Dialogs()) {
    if (TextOf(hwnd) == caption) return hwnd;
  }
  return nullptr;
}

HWND Program::WaitForDialog(const std::string& caption, std::chrono::milliseconds limit) const {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (HWND found = FindDialog(caption)) return found;
    if (std::chrono::steady_clock::now() >= deadline || !Running()) return nullptr;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

UnmanagedWindows::UnmanagedWindows(const std::string& exeName)
    : key_("Software\\Wine\\AppDefaults\\" + exeName) {
  HKEY key = nullptr;
  const std::string driverKey = key_ + "\\X11 Driver";
  if (RegCreateKeyExA(HKEY_CURRENT_USER, driverKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                      &key, nullptr) == ERROR_SUCCESS) {
    RegSetValueExA(key, "Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>("N"), 2);
    RegCloseKey(key);
  }
}

UnmanagedWindows::~UnmanagedWindows() { RegDeleteTreeA(HKEY_CURRENT_USER, key_.c_str()); }

bool Enabled(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  return control != nullptr && IsWindowEnabled(control);
}

long SelectListEntry(HWND dialog, int id, int index) {
  HWND list = GetDlgItem(dialog, id);
  SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
  return static_cast<long>(SendMessageA(list, LB_GETCURSEL, 0, 0));
}

long SelectComboEntry(HWND dialog, int id, int index) {
  HWND combo = GetDlgItem(dialog, id);
  SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  return static_cast<long>(SendMessageA(combo, CB_GETCURSEL, 0, 0));
}

}  // namespace remote
