// Driving real dialogs from a second thread; see gui_support.h.
#include "gui_support.h"

#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <mutex>

namespace guitest {
namespace {

std::mutex g_outputMutex;
int g_passed = 0;
int g_failed = 0;

void PrintLine(const std::string& line) {
  std::lock_guard<std::mutex> lock(g_outputMutex);
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

}  // namespace

bool Check(bool ok, const std::string& what) {
  {
    std::lock_guard<std::mutex> lock(g_outputMutex);
    (ok ? g_passed : g_failed) += 1;
  }
  PrintLine(std::string(ok ? "pass " : "FAIL ") + what);
  return ok;
}

void Note(const std::string& text) { PrintLine("note " + text); }

int Failed() {
  std::lock_guard<std::mutex> lock(g_outputMutex);
  return g_failed;
}

int Summary() {
  int passed = 0;
  int failed = 0;
  {
    std::lock_guard<std::mutex> lock(g_outputMutex);
    passed = g_passed;
    failed = g_failed;
  }
  PrintLine(std::to_string(passed) + " passed, " + std::to_string(failed) + " failed");
  return failed == 0 && passed > 0 ? 0 : 1;
}

std::string Num(long long value) { return std::to_string(value); }

std::string Hex(unsigned long value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%lX", value);
  return text;
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

// ---- Watchdog ----

namespace {
std::mutex g_stepMutex;
}

Watchdog::Watchdog(std::chrono::seconds limit) {
  thread_ = std::thread([this, limit] {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (armed_.load()) {
      if (std::chrono::steady_clock::now() >= deadline) {
        std::string step;
        {
          std::lock_guard<std::mutex> lock(g_stepMutex);
          step = step_;
        }
        Check(false, "the run ends within " + Num(limit.count()) + " s (stuck at: " + step + ")");
        const int code = Summary();
        TerminateProcess(GetCurrentProcess(), code == 0 ? 3 : static_cast<UINT>(code) + 2);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  });
}

Watchdog::~Watchdog() {
  Disarm();
  if (thread_.joinable()) thread_.join();
}

void Watchdog::Step(const std::string& what) {
  std::lock_guard<std::mutex> lock(g_stepMutex);
  step_ = what;
}

void Watchdog::Disarm() { armed_.store(false); }

// ---- Windows ----

std::string ClassOf(HWND hwnd) {
  char name[128] = {};
  GetClassNameA(hwnd, name, sizeof name);
  return name;
}

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

std::vector<HWND> ThreadDialogs(DWORD thread) {
  std::vector<HWND> found;
  EnumThreadWindows(
      thread,
      [](HWND hwnd, LPARAM param) CALLBACK -> BOOL {
        if (IsWindowVisible(hwnd) && ClassOf(hwnd) == "#32770") {
          reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

HWND FindDialog(DWORD thread, const std::string& caption) {
  for (HWND hwnd : ThreadDialogs(thread)) {
    if (TextOf(hwnd) == caption) return hwnd;
  }
  return nullptr;
}

HWND WaitForDialog(DWORD thread, const std::string& caption, std::chrono::milliseconds limit) {
  HWND found = nullptr;
  WaitUntil([&] { return (found = FindDialog(thread, caption)) != nullptr; }, limit);
  return found;
}

bool WaitGone(HWND hwnd, std::chrono::milliseconds limit) {
  return WaitUntil([hwnd] { return !IsWindow(hwnd) || !IsWindowVisible(hwnd); }, limit);
}

Box ReadBox(HWND hwnd) {
  Box box;
  box.hwnd = hwnd;
  box.caption = TextOf(hwnd);
  box.owner = GetWindow(hwnd, GW_OWNER);
  EnumChildWindows(
      hwnd,
      [](HWND child, LPARAM param) CALLBACK -> BOOL {
        Box& box = *reinterpret_cast<Box*>(param);
        const std::string name = ClassOf(child);
        const LONG style = GetWindowLongA(child, GWL_STYLE);
        if (lstrcmpiA(name.c_str(), "Static") == 0) {
          if ((style & SS_TYPEMASK) == SS_ICON) {
            box.icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
          } else {
            const std::string text = TextOf(child);
            if (!text.empty()) box.text = text;
          }
        } else if (lstrcmpiA(name.c_str(), "Button") == 0 && IsWindowVisible(child)) {
          box.buttons.push_back(GetDlgCtrlID(child));
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&box));
  return box;
}

std::string ButtonNames(const std::vector<int>& ids) {
  std::string names;
  for (int id : ids) {
    names += names.empty() ? "" : " ";
    names += id == IDOK ? "OK" : id == IDYES ? "Yes" : id == IDNO ? "No" : Num(id);
  }
  return names;
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

std::vector<std::string> ListBoxItems(HWND list) {
  return Entries(list, LB_GETCOUNT, LB_GETTEXTLEN, LB_GETTEXT);
}

std::vector<std::string> ComboBoxItems(HWND combo) {
  return Entries(combo, CB_GETCOUNT, CB_GETLBTEXTLEN, CB_GETLBTEXT);
}

RECT ClientRectOf(HWND control) {
  RECT rect = {0, 0, 0, 0};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

void PostCommand(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

HWND FocusOf(DWORD thread) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(thread, &info)) return nullptr;
  return info.hwndFocus;
}

void PostKey(HWND target, UINT key) {
  const UINT scan = MapVirtualKeyA(key, MAPVK_VK_TO_VSC);
  PostMessageA(target, WM_KEYDOWN, key, static_cast<LPARAM>(1 | (scan << 16)));
  PostMessageA(target, WM_KEYUP, key, static_cast<LPARAM>(1 | (scan << 16) | (3u << 30)));
}

// ---- Screenshots ----

namespace {

namespace gdip = Gdiplus::DllExports;

// The PNG encoder of GDI+.
const CLSID kPngEncoder = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

std::wstring Wide(const std::string& text) {
  const int size = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(std::max(size, 1)), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], size);
  wide.resize(wide.size() - 1);
  return wide;
}

// Wine's drive Z: is the host's root: the path as the host sees it.
std::string HostPath(std::string path) {
  if (path.size() < 3 || (path[0] != 'Z' && path[0] != 'z') || path[1] != ':') return path;
  path.erase(0, 2);
  for (char& c : path) c = c == '\\' ? '/' : c;
  return path;
}

}  // namespace

void StartScreenshots() {
  static const bool started = [] {
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    // Kept for the rest of the run: screenshots may be taken until the end.
    return Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
  }();
  (void)started;
}

namespace {

// The window or one of its descendants has a paint still to come.
bool PaintPending(HWND hwnd) {
  if (GetUpdateRect(hwnd, nullptr, FALSE)) return true;
  for (HWND child = GetWindow(hwnd, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    if (PaintPending(child)) return true;
  }
  return false;
}

}  // namespace

bool SaveScreenshot(const std::vector<HWND>& windows, const std::string& path) {
  StartScreenshots();
  // A window that has just opened, or that a closed box uncovered, may not
  // have painted yet: have each one painted whole first. Under Wine the call
  // can return before every control has painted (a control just disabled
  // paints from its thread's own loop), so the shot waits until none of the
  // windows has a paint pending.
  for (HWND hwnd : windows) {
    if (hwnd != nullptr) {
      RedrawWindow(hwnd, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    }
  }
  WaitUntil(
      [&windows] {
        return std::none_of(windows.begin(), windows.end(),
                            [](HWND hwnd) { return hwnd != nullptr && PaintPending(hwnd); });
      },
      std::chrono::seconds(5));
  RECT area = {0, 0, 0, 0};
  bool any = false;
  for (HWND hwnd : windows) {
    RECT rect;
    if (hwnd == nullptr || !GetWindowRect(hwnd, &rect)) continue;
    if (!any) {
      area = rect;
      any = true;
    } else {
      UnionRect(&area, &area, &rect);
    }
  }
  if (!any) return false;
  InflateRect(&area, 8, 8);
  RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  IntersectRect(&area, &area, &screen);
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  if (width <= 0 || height <= 0) return false;

  HDC screenDc = GetDC(nullptr);
  HDC memoryDc = CreateCompatibleDC(screenDc);
  HBITMAP bitmap = CreateCompatibleBitmap(screenDc, width, height);
  HGDIOBJ old = SelectObject(memoryDc, bitmap);
  const bool copied =
      BitBlt(memoryDc, 0, 0, width, height, screenDc, area.left, area.top, SRCCOPY) != FALSE;
  SelectObject(memoryDc, old);
  DeleteDC(memoryDc);
  ReleaseDC(nullptr, screenDc);

  bool saved = false;
  std::error_code error;
  const std::filesystem::path file = std::filesystem::absolute(path, error);
  std::filesystem::create_directories(file.parent_path(), error);
  Gdiplus::GpBitmap* image = nullptr;
  if (copied && gdip::GdipCreateBitmapFromHBITMAP(bitmap, nullptr, &image) == Gdiplus::Ok) {
    saved = gdip::GdipSaveImageToFile(image, Wide(file.string()).c_str(), &kPngEncoder,
                                      nullptr) == Gdiplus::Ok;
    gdip::GdipDisposeImage(image);
  }
  DeleteObject(bitmap);
  if (saved) PrintLine("screenshot " + HostPath(file.string()));
  return saved;
}

}  // namespace guitest
