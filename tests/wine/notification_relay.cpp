// The stand-in for Windows' conversion of device-interface notifications;
// see notification_relay.h.
#include "notification_relay.h"

#include <dbt.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <vector>

namespace remote {
namespace {

// GUID_DEVINTERFACE_USB_DEVICE, the class the program registers for.
const GUID kUsbDeviceInterface = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

// The record Windows gives an ANSI window: the A structure with the name in
// the ANSI code page, its size covering the name and its terminator.
std::vector<std::uint8_t> AnsiRecord(const DEV_BROADCAST_DEVICEINTERFACE_W& wide,
                                     const std::string& name) {
  const std::size_t size = offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name) + name.size() + 1;
  std::vector<std::uint8_t> bytes(std::max(size, sizeof(DEV_BROADCAST_DEVICEINTERFACE_A)), 0);
  auto* record = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(bytes.data());
  record->dbcc_size = static_cast<DWORD>(size);
  record->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  record->dbcc_classguid = wide.dbcc_classguid;
  std::memcpy(record->dbcc_name, name.c_str(), name.size() + 1);
  return bytes;
}

// The record's name in the ANSI code page, read no further than the record's
// own size says.
std::string AnsiName(const DEV_BROADCAST_DEVICEINTERFACE_W& wide) {
  const std::size_t room =
      (wide.dbcc_size - offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name)) / sizeof(wchar_t);
  const std::wstring name(wide.dbcc_name, wcsnlen(wide.dbcc_name, room));
  if (name.empty()) return {};
  const int length = static_cast<int>(name.size());
  const int size =
      WideCharToMultiByte(CP_ACP, 0, name.data(), length, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(std::max(size, 0)), '\0');
  if (size > 0) {
    WideCharToMultiByte(CP_ACP, 0, name.data(), length, &narrow[0], size, nullptr, nullptr);
  }
  return narrow;
}

}  // namespace

NotificationRelay::NotificationRelay() : thread_([this] { Run(); }) {}

NotificationRelay::~NotificationRelay() {
  // The thread may not have made its message queue yet: keep asking.
  while (thread_.joinable() &&
         (threadId_.load() == 0 || !PostThreadMessageA(threadId_.load(), WM_QUIT, 0, 0))) {
    Sleep(10);
  }
  if (thread_.joinable()) thread_.join();
}

std::vector<std::string> NotificationRelay::History() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return history_;
}

std::string NotificationRelay::LastName() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lastName_;
}

void NotificationRelay::Run() {
  MSG message;
  PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);  // makes the queue
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"TavrolinTestNotificationRelay";
  RegisterClassW(&windowClass);
  HWND hwnd = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                              nullptr, windowClass.hInstance, nullptr);
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  DEV_BROADCAST_DEVICEINTERFACE_W filter = {};
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  filter.dbcc_classguid = kUsbDeviceInterface;
  HDEVNOTIFY registration = RegisterDeviceNotificationW(hwnd, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
  threadId_.store(GetCurrentThreadId());
  ready_.store(registration != nullptr);
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  if (registration != nullptr) UnregisterDeviceNotification(registration);
  DestroyWindow(hwnd);
}

LRESULT CALLBACK NotificationRelay::WindowProc(HWND hwnd, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
  if (message == WM_DEVICECHANGE &&
      (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE)) {
    auto* relay = reinterpret_cast<NotificationRelay*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
    if (relay != nullptr && header != nullptr) relay->Relay(wParam, header);
    return TRUE;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

void NotificationRelay::Relay(WPARAM event, const DEV_BROADCAST_HDR* header) {
  if (header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE ||
      header->dbch_size < sizeof(DEV_BROADCAST_DEVICEINTERFACE_W)) {
    return;
  }
  const auto& wide = *reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(header);
  const std::string name = AnsiName(wide);
  HWND target = target_.load();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    history_.push_back((event == DBT_DEVICEARRIVAL ? "arrival " : "removal ") + name +
                       (target != nullptr ? " (forwarded)" : ""));
  }
  if (target == nullptr) return;
  const std::vector<std::uint8_t> record =
      form_.load() == Form::kAnsi
          ? AnsiRecord(wide, name)
          : std::vector<std::uint8_t>(
                reinterpret_cast<const std::uint8_t*>(header),
                reinterpret_cast<const std::uint8_t*>(header) + header->dbch_size);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    lastName_ = name;
  }
  // Sent, as the system sends it: when the call returns the program has
  // handled the record. Wine copies dbch_size bytes of it across processes.
  SendMessageA(target, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(record.data()));
  forwarded_.fetch_add(1);
}

}  // namespace remote
