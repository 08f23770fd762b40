// What Windows test programs need to drive real dialogs: the pass/fail
// report and a watchdog; finding the dialogs and message boxes of the window
// thread, reading their texts and controls (of this process or, with
// remote_program.h, of another), pressing their buttons with window
// messages, screenshots.
#pragma once
#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace guitest {

// One line per check ("pass ..." / "FAIL ..."), notes ("note ..."), and the
// closing "N passed, M failed". Safe from any thread.
bool Check(bool ok, const std::string& what);
void Note(const std::string& text);
int Failed();
// Prints the closing line; the exit code for it (0 when nothing failed).
int Summary();

// Decimal and hexadecimal forms for messages.
std::string Num(long long value);
std::string Hex(unsigned long value);
// A text with its line breaks shown as \r and \n, for one-line messages.
std::string Escaped(const std::string& text);

// Polls a condition every 20 ms until it holds or the time is up.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit);

// Ends the process with a failure when Disarm() is not called in time: a
// dialog that never appears or never closes must not hang the run.
class Watchdog {
 public:
  explicit Watchdog(std::chrono::seconds limit);
  ~Watchdog();
  void Step(const std::string& what);  // the step named in the failure line
  void Disarm();

 private:
  std::atomic<bool> armed_{true};
  std::string step_;
  std::thread thread_;
};

// ---- Windows of the window thread ----

std::string ClassOf(HWND hwnd);
// WM_GETTEXT sent to the window, so its thread must be pumping messages (a
// modal loop or a message box); empty when it does not answer within 5 s.
std::string TextOf(HWND hwnd);
// The visible top-level dialog windows (class #32770) of a thread, topmost
// first.
std::vector<HWND> ThreadDialogs(DWORD thread);
// The visible dialog of that thread with this caption, or nullptr.
HWND FindDialog(DWORD thread, const std::string& caption);
HWND WaitForDialog(DWORD thread, const std::string& caption, std::chrono::milliseconds limit);
// Waits until the window is no longer a visible window.
bool WaitGone(HWND hwnd, std::chrono::milliseconds limit);

// A message box as the user sees it.
struct Box {
  HWND hwnd = nullptr;
  std::string caption;
  std::string text;        // its text static
  HICON icon = nullptr;    // the icon static's icon
  std::vector<int> buttons;  // ids of its push buttons, in child order
  HWND owner = nullptr;
};
Box ReadBox(HWND hwnd);
// Push button ids as their names ("OK Yes No", other ids as numbers).
std::string ButtonNames(const std::vector<int>& ids);

// Entries of a list box or combo box (ASCII texts).
std::vector<std::string> ListBoxItems(HWND list);
std::vector<std::string> ComboBoxItems(HWND combo);

// A control's rectangle in its dialog's client coordinates.
RECT ClientRectOf(HWND control);

// The dialog manager's view of a button press: WM_COMMAND with BN_CLICKED,
// posted to the dialog so that its own thread handles it.
void PostCommand(HWND dialog, int id);
// The window with the keyboard focus in a thread (GetGUIThreadInfo).
HWND FocusOf(DWORD thread);
// A key as the modal loop receives it: WM_KEYDOWN and WM_KEYUP posted to the
// window (normally the one with the focus), which the dialog manager sees in
// IsDialogMessage.
void PostKey(HWND target, UINT key);

// ---- Screenshots ----

// Starts GDI+ for the PNG encoder (once per process).
void StartScreenshots();
// Saves the screen area covering these windows (with a small margin) as a
// PNG file; the folder is made when missing. Prints "screenshot <path>".
bool SaveScreenshot(const std::vector<HWND>& windows, const std::string& path);

}  // namespace guitest
