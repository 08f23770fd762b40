// Scripted user actions: constructors, text form and parsing.
#include "sim/desktop/user_action.h"

#include <sstream>

namespace sim {
namespace {
UserAction Of(UserAction::Kind kind) {
  UserAction action;
  action.kind = kind;
  return action;
}
}  // namespace

UserAction UserAction::Click(int id) {
  UserAction action = Of(Kind::kClick);
  action.id = id;
  return action;
}

UserAction UserAction::Select(int id, int index) {
  UserAction action = Of(Kind::kSelect);
  action.id = id;
  action.index = index;
  return action;
}

UserAction UserAction::Enter() { return Of(Kind::kEnter); }
UserAction UserAction::Escape() { return Of(Kind::kEscape); }
UserAction UserAction::Close() { return Of(Kind::kClose); }
UserAction UserAction::Tick() { return Of(Kind::kTick); }

UserAction UserAction::Answer(BoxAnswer answer) {
  UserAction action = Of(Kind::kAnswer);
  action.answer = answer;
  return action;
}

UserAction UserAction::Custom(const std::string& label, std::function<void()> fn) {
  UserAction action = Of(Kind::kCustom);
  action.label = label;
  action.action = std::move(fn);
  return action;
}

const char* BoxAnswerName(BoxAnswer answer) {
  switch (answer) {
    case BoxAnswer::kOk: return "ok";
    case BoxAnswer::kYes: return "yes";
    case BoxAnswer::kNo: return "no";
  }
  return "?";
}

std::string UserAction::Describe() const {
  switch (kind) {
    case Kind::kClick: return "click " + std::to_string(id);
    case Kind::kSelect: return "select " + std::to_string(id) + " " + std::to_string(index);
    case Kind::kEnter: return "key enter";
    case Kind::kEscape: return "key escape";
    case Kind::kClose: return "close";
    case Kind::kAnswer: return std::string("answer ") + BoxAnswerName(answer);
    case Kind::kTick: return "tick";
    case Kind::kCustom: return "do " + label;
  }
  return "?";
}

namespace {

// "key enter" / "key escape", after the verb.
bool ParseKey(std::istream& in, UserAction* parsed) {
  std::string word;
  if (!(in >> word)) return false;
  if (word == "enter") {
    *parsed = UserAction::Enter();
  } else if (word == "escape") {
    *parsed = UserAction::Escape();
  } else {
    return false;
  }
  return true;
}

// "answer ok|yes|no", after the verb.
bool ParseAnswer(std::istream& in, UserAction* parsed) {
  std::string word;
  if (!(in >> word)) return false;
  for (BoxAnswer answer : {BoxAnswer::kOk, BoxAnswer::kYes, BoxAnswer::kNo}) {
    if (word == BoxAnswerName(answer)) {
      *parsed = UserAction::Answer(answer);
      return true;
    }
  }
  return false;
}

bool ParseVerb(const std::string& verb, std::istream& in, UserAction* parsed) {
  int id = 0;
  int index = 0;
  if (verb == "click") {
    if (!(in >> id)) return false;
    *parsed = UserAction::Click(id);
  } else if (verb == "select") {
    if (!(in >> id >> index)) return false;
    *parsed = UserAction::Select(id, index);
  } else if (verb == "key") {
    return ParseKey(in, parsed);
  } else if (verb == "answer") {
    return ParseAnswer(in, parsed);
  } else if (verb == "close") {
    *parsed = UserAction::Close();
  } else if (verb == "tick") {
    *parsed = UserAction::Tick();
  } else {
    return false;
  }
  return true;
}

}  // namespace

bool ParseUserAction(const std::string& text, UserAction* action) {
  std::istringstream in(text);
  std::string verb;
  in >> verb;
  UserAction parsed;
  if (!ParseVerb(verb, in, &parsed)) return false;
  std::string word;
  if (in >> word) return false;  // trailing words
  *action = std::move(parsed);
  return true;
}

}  // namespace sim
