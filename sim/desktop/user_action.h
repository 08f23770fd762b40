// One step of the headless desktop's scripted user, and its one-line text
// form ("click 1090", "select 1097 2", "key enter", "key escape", "close",
// "answer yes", "tick"), which a scenario file may use as well.
#pragma once
#include <functional>
#include <string>

namespace sim {

enum class BoxAnswer { kOk, kYes, kNo };

struct UserAction {
  enum class Kind { kClick, kSelect, kEnter, kEscape, kClose, kAnswer, kTick, kCustom };

  Kind kind = Kind::kCustom;
  int id = 0;                    // kClick, kSelect: control id in the topmost dialog
  int index = 0;                 // kSelect: entry
  BoxAnswer answer = BoxAnswer::kOk;
  std::string label;             // kCustom: its name in errors
  std::function<void()> action;  // kCustom: runs on the window thread

  static UserAction Click(int id);
  static UserAction Select(int id, int index);
  static UserAction Enter();
  static UserAction Escape();
  static UserAction Close();       // Alt+F4: WM_CLOSE to the topmost dialog
  static UserAction Answer(BoxAnswer answer);
  static UserAction Tick();        // expires the timed waits of virtual time
  static UserAction Custom(const std::string& label, std::function<void()> action);

  std::string Describe() const;
};

// Reads the text form; false (and *action untouched) for anything else.
// Custom actions have no text form.
bool ParseUserAction(const std::string& text, UserAction* action);

const char* BoxAnswerName(BoxAnswer answer);  // "ok", "yes", "no"

}  // namespace sim
