// A FirmwareUpgrader whose window operations are recorded, in order, instead
// of reaching a window; message boxes answer OK.
#pragma once
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "firmware/firmware_upgrader.h"
#include "platform/os_types.h"

class RecordingUpgrader : public FirmwareUpgrader {
 public:
  struct Box {
    std::string text;
    platform::BoxStyle style;
    bool operator==(const Box& other) const { return text == other.text && style == other.style; }
    friend void PrintTo(const Box& box, std::ostream* out) {
      *out << (box.style == platform::BoxStyle::kInformation ? "information" : box.style == platform::BoxStyle::kWarning ? "warning" : "question")
           << " box \"" << box.text << "\"";
    }
  };

  // Every operation as one line: "exists", "progress 7", "repaint",
  // "exit on", "exit off", "box warning", "box information".
  bool WindowExists() override {
    calls.push_back("exists");
    return windowExists;
  }
  void SetProgressPos(int position) override {
    calls.push_back("progress " + std::to_string(position));
    progress = position;
    positions.push_back(position);
  }
  void RepaintProgressArea() override { calls.push_back("repaint"); }
  void EnableExit(bool enable) override {
    calls.push_back(enable ? "exit on" : "exit off");
    exitEnabled = enable;
  }
  int ShowMessage(const std::string& text, platform::BoxStyle style) override {
    calls.push_back(style == platform::BoxStyle::kInformation ? "box information"
                    : style == platform::BoxStyle::kWarning   ? "box warning"
                                                              : "box question");
    boxes.push_back({text, style});
    if (onMessage) onMessage(text);
    return platform::kIdOk;
  }

  const std::vector<Box>& Messages() const { return boxes; }

  bool windowExists = true;
  bool exitEnabled = true;  // the window starts with Exit enabled
  int progress = 0;
  std::vector<std::string> calls;
  std::vector<int> positions;
  std::vector<Box> boxes;
  // Runs while a message box is open (the only time other window messages run).
  std::function<void(const std::string&)> onMessage;
};
