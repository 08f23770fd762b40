// The headless desktop's own records, shared by its files: a hand-over to
// the window thread, a posted message, a surface in z-order, a message box.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "sim/desktop/headless_desktop.h"

namespace sim {

struct HeadlessDesktop::HandOver {
  std::function<void()> fn;
  const HeadlessWindow* target = nullptr;  // nullptr: not tied to a window
  int box = -1;                            // >= 0: open this box of another thread
  bool done = false;
  bool dropped = false;
};

struct HeadlessDesktop::Posted {
  HeadlessWindow* target = nullptr;
  bool deviceChange = false;  // else a command
  int id = 0;
  std::uint32_t event = 0;
  std::vector<std::uint8_t> record;
};

struct HeadlessDesktop::Surface {
  HeadlessWindow* window = nullptr;  // a dialog, or
  int box = -1;                      // a message box
};

struct HeadlessDesktop::BoxSlot {
  BoxRecord record;
  bool trackedWaiter = false;  // a background thread blocks on it
};

}  // namespace sim
