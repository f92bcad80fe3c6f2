#include "ui/operator.h"

#include "ui/dispatcher.h"
#include "ui/window.h"

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

Answer Operator::ShowMessageBox(const BoxRequest& box) {
  Answer answer = FirstButton(box.buttons);
  Dispatcher::instance().run_sync([&] {
    AssertOnMainThread("Operator::ShowMessageBox");
    answer = CurrentBackend().ShowMessageBox(box);
  });
  return answer;
}

Answer Operator::AnswerHeadless(const BoxRequest& box) {
  Answer answer = FirstButton(box.buttons);
  Observer observer;
  {
    MutexLock lock(mu_);
    if (!answers_.empty()) {
      if (IsButtonOf(answers_.front(), box.buttons)) answer = answers_.front();
      answers_.pop_front();
    }
    observer = observer_;
  }
  if (observer) observer(box.caption, box.text, answer);
  return answer;
}

Answer Operator::ShowModal(Window& window) {
  AssertOnMainThread("Operator::ShowModal");
  return CurrentBackend().RunModal(window);
}

Answer Operator::RunModalHeadless(Window& window) {
  Answer answer = Answer::Ok;
  std::function<void(Window&)> observer;
  {
    MutexLock lock(mu_);
    if (!answers_.empty()) {
      if (answers_.front() == Answer::Cancel) answer = Answer::Cancel;
      answers_.pop_front();
    }
    observer = modal_observer_;
  }
  window.modal_result = Window::ModalResult::None;
  window.Show();
  if (observer) observer(window);
  if (window.modal_result != Window::ModalResult::None)
    answer = window.modal_result == Window::ModalResult::Ok ? Answer::Ok : Answer::Cancel;
  window.Hide();
  return answer;
}

void Operator::QueueText(std::string text) {
  MutexLock lock(mu_);
  texts_.push_back(std::move(text));
}

std::optional<std::string> Operator::TakeText() {
  MutexLock lock(mu_);
  if (texts_.empty()) return std::nullopt;
  std::string text = std::move(texts_.front());
  texts_.pop_front();
  return text;
}

std::optional<std::string> Operator::ChooseFileToOpen(const std::string& caption) {
  AssertOnMainThread("Operator::ChooseFileToOpen");
  return CurrentBackend().ChooseFileToOpen(caption);
}

std::optional<std::string> Operator::ChooseFileHeadless(const std::string& caption) {
  std::optional<std::string> path;
  OpenObserver observer;
  {
    MutexLock lock(mu_);
    if (!chosen_files_.empty()) {
      if (!chosen_files_.front().empty()) path = std::move(chosen_files_.front());
      chosen_files_.pop_front();
    }
    observer = open_observer_;
  }
  if (observer) observer(caption, path);
  return path;
}

void Operator::QueueChosenFile(std::string path) {
  MutexLock lock(mu_);
  chosen_files_.push_back(std::move(path));
}

void Operator::SetOpenObserver(OpenObserver observer) {
  MutexLock lock(mu_);
  open_observer_ = std::move(observer);
}

void Operator::SetModalObserver(std::function<void(Window&)> observer) {
  MutexLock lock(mu_);
  modal_observer_ = std::move(observer);
}

void Operator::QueueAnswer(Answer a) {
  MutexLock lock(mu_);
  answers_.push_back(a);
}

void Operator::ClearAnswers() {
  MutexLock lock(mu_);
  answers_.clear();
  texts_.clear();
  chosen_files_.clear();
}

void Operator::SetObserver(Observer observer) {
  MutexLock lock(mu_);
  observer_ = std::move(observer);
}

}  // namespace pw::ui
