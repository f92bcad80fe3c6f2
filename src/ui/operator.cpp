#include "ui/operator.h"

#include "ui/dispatcher.h"

namespace pw::ui {

const char* AnswerName(Answer a) {
  switch (a) {
    case Answer::Ok: return "ok";
    case Answer::Cancel: return "cancel";
    case Answer::Yes: return "yes";
    case Answer::No: return "no";
  }
  return "?";
}

Operator& Operator::instance() {
  static Operator op;
  return op;
}

namespace {

bool IsButtonOf(Answer a, Buttons b) {
  switch (b) {
    case Buttons::Ok: return a == Answer::Ok;
    case Buttons::OkCancel: return a == Answer::Ok || a == Answer::Cancel;
    case Buttons::YesNo: return a == Answer::Yes || a == Answer::No;
  }
  return false;
}

Answer FirstButton(Buttons b) { return b == Buttons::YesNo ? Answer::Yes : Answer::Ok; }

}  // namespace

Answer Operator::MessageBox(const std::string& caption, const std::string& text, Buttons buttons) {
  Answer answer = FirstButton(buttons);
  Dispatcher::instance().run_sync([&] {
    Observer observer;
    {
      std::lock_guard lock(mu_);
      if (!answers_.empty()) {
        if (IsButtonOf(answers_.front(), buttons)) answer = answers_.front();
        answers_.pop_front();
      }
      observer = observer_;
    }
    if (observer) observer(caption, text, answer);
  });
  return answer;
}

void Operator::QueueAnswer(Answer a) {
  std::lock_guard lock(mu_);
  answers_.push_back(a);
}

void Operator::ClearAnswers() {
  std::lock_guard lock(mu_);
  answers_.clear();
}

void Operator::SetObserver(Observer observer) {
  std::lock_guard lock(mu_);
  observer_ = std::move(observer);
}

}  // namespace pw::ui
