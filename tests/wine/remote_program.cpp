// Driving the windows of another process; see remote_program.h.
#include "remote_program.h"

#include <algorithm>
#include <filesystem>
#include <thread>

namespace remote {
namespace {

std::string ClassOf(HWND hwnd) {
  char name[64] = {};
  GetClassNameA(hwnd, name, sizeof name);
  return name;
}

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
      ClassOf(hwnd) == "#32770") {
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

std::string TextOf(HWND hwnd) {
  // A window that stops answering must not stop the test: the watchdog
  // reports it, this read gives up after a while.
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 5000, &length)) return {};
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutA(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]),
                           SMTO_NORMAL, 5000, &copied)) {
    return {};
  }
  text.resize(std::min<std::size_t>(static_cast<std::size_t>(copied), text.size() - 1));
  return text;
}

Box ReadBox(HWND hwnd) {
  Box box;
  box.hwnd = hwnd;
  for (HWND child = GetWindow(hwnd, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    const std::string name = ClassOf(child);
    const LONG style = GetWindowLongA(child, GWL_STYLE);
    if (lstrcmpiA(name.c_str(), "Static") == 0 && (style & SS_TYPEMASK) != SS_ICON) {
      const std::string text = TextOf(child);
      if (!text.empty()) box.text = text;
    } else if (lstrcmpiA(name.c_str(), "Button") == 0 && IsWindowVisible(child)) {
      box.buttons.push_back(GetDlgCtrlID(child));
    }
  }
  return box;
}

namespace {
// The W messages: across processes Wine 8.0 answers LB_GETTEXT and
// CB_GETLBTEXT sent with the A call in UTF-16 without converting them.
std::vector<std::string> Entries(HWND control, UINT count, UINT lengthOf, UINT textOf) {
  std::vector<std::string> entries;
  const LRESULT total = SendMessageW(control, count, 0, 0);
  for (LRESULT i = 0; i < total; ++i) {
    const LRESULT length = SendMessageW(control, lengthOf, static_cast<WPARAM>(i), 0);
    if (length < 0) break;
    std::wstring wide(static_cast<std::size_t>(length) + 1, L'\0');
    SendMessageW(control, textOf, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&wide[0]));
    wide.resize(static_cast<std::size_t>(length));
    std::string text;
    for (wchar_t c : wide) text += c < 0x80 ? static_cast<char>(c) : '?';
    entries.push_back(text);
  }
  return entries;
}
}  // namespace

std::vector<std::string> ListEntries(HWND list) {
  return Entries(list, LB_GETCOUNT, LB_GETTEXTLEN, LB_GETTEXT);
}

std::vector<std::string> ComboEntries(HWND combo) {
  return Entries(combo, CB_GETCOUNT, CB_GETLBTEXTLEN, CB_GETLBTEXT);
}

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
