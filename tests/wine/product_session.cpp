// One run of the program against the test bus; see product_session.h.
#include "product_session.h"

// The program's control 1089, not the cursor of <windows.h>.
#undef IDC_ICON
#include "ui/main_texts.h"
#include "ui/resource_ids.h"

namespace e2e {
using guitest::ButtonNames;
using guitest::Check;
using guitest::Escaped;
using guitest::Num;

std::string ProgramPath() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path);
  folder.erase(folder.find_last_of("\\/") + 1);
  std::string relative = TAV_PROGRAM_FROM_TESTS;
  for (char& c : relative) c = c == '/' ? '\\' : c;
  return folder + relative;
}

Session::~Session() {
  relay_.ForwardTo(nullptr);
  program_.Terminate();
}

bool Session::Start() {
  Step("the program starts");
  if (!program_.Start(ProgramPath())) {
    guitest::Note("CreateProcess failed with error " + Num(static_cast<long long>(GetLastError())));
    return Check(false, "the program starts");
  }
  Check(true, "the program starts");
  main_ = program_.WaitForDialog(kMainCaption, kWindowWait);
  relay_.ForwardTo(main_);
  return Check(main_ != nullptr, "its main window opens");
}

bool Session::Exit() {
  Step("the program ends on Exit");
  if (!Press(main_, IDC_EXIT, "Exit")) return false;
  const bool ended = program_.WaitForExit(kWindowWait);
  relay_.ForwardTo(nullptr);
  return Check(ended, "the program ends on Exit");
}

bool Session::DeviceButtons(bool enabled) const {
  return remote::Enabled(main_, IDC_UPGRADE) == enabled &&
         remote::Enabled(main_, IDC_ADJUST_RF) == enabled;
}

bool Session::WaitDeviceButtons(bool enabled) const {
  return guitest::WaitUntil([&] { return DeviceButtons(enabled); }, kWindowWait);
}

bool Session::Press(HWND dialog, int id, const std::string& what) {
  if (!Check(remote::Enabled(dialog, id), what + ": the button is enabled")) return false;
  guitest::PostCommand(dialog, id);
  return true;
}

HWND Session::WaitDialog(const std::string& caption) {
  Step("the dialog \"" + caption + "\" opens");
  HWND dialog = program_.WaitForDialog(caption, kWindowWait);
  Check(dialog != nullptr, "the dialog \"" + caption + "\" opens");
  return dialog;
}

remote::Box Session::ExpectBox(const std::string& what, const std::string& text,
                               const std::vector<int>& buttons, std::chrono::milliseconds limit) {
  Step(what);
  HWND hwnd = program_.WaitForDialog(program_.Name(), limit);
  if (!Check(hwnd != nullptr, what + ": a message box opens")) return {};
  const remote::Box box = remote::ReadBox(hwnd);
  Check(box.text == text, what + ": the box reads \"" + Escaped(box.text) + "\"" +
                              (box.text == text ? "" : ", not \"" + Escaped(text) + "\""));
  Check(box.buttons == buttons, what + ": buttons " + ButtonNames(box.buttons));
  return box;
}

bool Session::Answer(const remote::Box& box, int id) {
  if (box.hwnd == nullptr) return false;
  guitest::PostCommand(box.hwnd, id);
  return Check(guitest::WaitUntil([&] { return !IsWindow(box.hwnd); }, kWindowWait),
               "the box closes on " + ButtonNames({id}));
}

bool Session::BackToMainWindow() {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(main_, WM_NULL, 0, 0, SMTO_NORMAL, 20000, &result)) return false;
  for (HWND dialog : program_.Dialogs(false)) {
    if (dialog != main_) return false;
  }
  return true;
}

bool Session::SetPlugged(bool plugged) {
  TAVBUS_STATE state = {};
  if (!bus_.State(&state)) return Check(false, "the bus answers (error " + Num(bus_.Error()) + ")");
  if ((state.plugged != 0) != plugged && !(plugged ? bus_.Plug() : bus_.Unplug())) {
    return Check(false,
                 std::string(plugged ? "plug" : "unplug") + " (error " + Num(bus_.Error()) + ")");
  }
  const bool done = guitest::WaitUntil(
      [&] { return bus_.State(&state) && (state.started != 0) == plugged; }, kWindowWait);
  return Check(done, std::string("the dongle's interface is ") + (plugged ? "up" : "gone"));
}

std::vector<TAVBUS_LOG_RECORD> Session::Records() {
  std::vector<TAVBUS_LOG_RECORD> records;
  if (!bus_.ReadLog(&records)) Check(false, "the request log is read");
  return records;
}

bool Session::WaitForRequests(std::size_t count) {
  return guitest::WaitUntil([&] { return Log().size() >= count; }, kWindowWait);
}

bool Session::ClearLog() {
  return bus_.ClearLog() ||
         Check(false, "the request log is cleared (error " + Num(bus_.Error()) + ")");
}

}  // namespace e2e
