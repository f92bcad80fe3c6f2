// The operator: whoever answers the questions the system asks. On Windows
// that is a person at a message box; here a host or a test queues the
// answers beforehand, and every box shown is reported to an observer.
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace pw::ui {

class Window;

enum class Buttons { Ok, OkCancel, YesNo };
enum class Answer { Ok, Cancel, Yes, No };

// "ok", "cancel", "yes", "no".
const char* AnswerName(Answer a);

class Operator {
 public:
  // The one operator of the process.
  static Operator& instance();

  using Observer =
      std::function<void(const std::string& caption, const std::string& text, Answer answer)>;

  // A task-modal message box, on top. Runs on the main thread (handed over
  // from any other thread). Takes the next queued answer when it is one of
  // the box's buttons, else the box's first button; a queued answer is used
  // up either way.
  Answer MessageBox(const std::string& caption, const std::string& text, Buttons buttons);

  // A modal window (a dialog, a viewer): shown while the operator looks at
  // it, then closed by the next queued answer, Ok or Cancel (none queued, or
  // another answer: Ok; used up either way). The modal observer sees the
  // window while it is shown. Main thread only.
  Answer ShowModal(Window& window);

  // Any thread.
  void QueueAnswer(Answer a);
  // Text the operator types into the next dialog that asks for text.
  void QueueText(std::string text);
  // The next queued text, or nothing.
  std::optional<std::string> TakeText();
  void ClearAnswers();
  // Called on the main thread for every box, after its answer is known.
  void SetObserver(Observer observer);
  void SetModalObserver(std::function<void(Window&)> observer);

 private:
  std::mutex mu_;
  std::deque<Answer> answers_;     // guarded by mu_
  std::deque<std::string> texts_;  // guarded by mu_
  Observer observer_;              // guarded by mu_
  std::function<void(Window&)> modal_observer_;  // guarded by mu_
};

}  // namespace pw::ui
