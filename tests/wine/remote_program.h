// Playing the user of a program that runs in another process: starting it,
// finding its dialogs and message boxes among the windows of all its threads
// (the device worker shows boxes of its own), and pressing, selecting and
// reading with window messages, as a person's clicks reach it.
#pragma once
#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

#include "gui_support.h"

namespace remote {

class Program {
 public:
  Program() = default;
  ~Program();  // ends the process if it still runs
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // CreateProcessA on `path`, with its own folder as the working folder.
  bool Start(const std::string& path);
  bool Running() const;
  // Waits for the process to end by itself.
  bool WaitForExit(std::chrono::milliseconds limit);
  void Terminate();
  DWORD ExitCode() const;

  // The message boxes' caption: the program file's name without extension.
  const std::string& Name() const { return name_; }

  // Top-level dialogs (class #32770) of the process, any thread: the visible
  // ones, or all.
  std::vector<HWND> Dialogs(bool visibleOnly = true) const;
  HWND FindDialog(const std::string& caption) const;
  HWND WaitForDialog(const std::string& caption, std::chrono::milliseconds limit) const;
  // A message box of the program (its caption is the program's name).
  HWND FindBox() const { return FindDialog(name_); }

 private:
  PROCESS_INFORMATION process_ = {};
  std::string name_;
};

// Wine on a display without a window manager (the virtual display of the
// tests) waits 2 s for the manager that never answers each time a managed
// window of the program is hidden. For its lifetime this makes the windows
// of the program file `exeName` unmanaged, through Wine's per-program
// settings (HKCU\Software\Wine\AppDefaults\<exeName>\X11 Driver,
// Managed = N); the key is deleted again at the end. Windows ignores it.
class UnmanagedWindows {
 public:
  explicit UnmanagedWindows(const std::string& exeName);
  ~UnmanagedWindows();
  UnmanagedWindows(const UnmanagedWindows&) = delete;
  UnmanagedWindows& operator=(const UnmanagedWindows&) = delete;

 private:
  std::string key_;
};

// Texts, message boxes and list entries are read as for the program's own
// windows (gui_support.h), by messages that reach another process as well.
using guitest::Box;
using guitest::ReadBox;
using guitest::TextOf;
inline std::vector<std::string> ListEntries(HWND list) { return guitest::ListBoxItems(list); }
inline std::vector<std::string> ComboEntries(HWND combo) { return guitest::ComboBoxItems(combo); }

bool Enabled(HWND dialog, int id);
// LB_SETCURSEL or CB_SETCURSEL on a control of the dialog; the index selected.
long SelectListEntry(HWND dialog, int id, int index);
long SelectComboEntry(HWND dialog, int id, int index);

}  // namespace remote
