// The operator: whoever answers the questions the system asks. Each question
// goes to the backend (backend.h): under a native renderer a person answers
// it at a real message box or dialog; under the headless backend a host or a
// test has queued the answers here beforehand, and every box shown is
// reported to an observer.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "sync/mutex.h"
#include "ui/backend.h"
#include "sync/thread_annotations.h"

namespace pw::ui {

class Window;

// "ok", "cancel", "yes", "no".
const char* AnswerName(Answer a);

class Operator {
 public:
  // The one operator of the process.
  static Operator& instance();

  using Observer =
      std::function<void(const std::string& caption, const std::string& text, Answer answer)>;

  // A message box. Runs on the main thread (handed over from any other
  // thread, which waits for the answer). Headless: takes the next queued
  // answer when it is one of the box's buttons, else the box's first button;
  // a queued answer is used up either way. (Not named MessageBox: <windows.h>
  // makes that a macro.)
  Answer ShowMessageBox(const BoxRequest& box) LOCKS_EXCLUDED(mu_);
  // The common box: caption, text and buttons, nothing else asked.
  Answer ShowMessageBox(const std::string& caption, const std::string& text, Buttons buttons)
      LOCKS_EXCLUDED(mu_) {
    return ShowMessageBox(BoxRequest{caption, text, buttons});
  }

  // A modal window (a dialog, a viewer), shown until the operator closes it.
  // Headless: closed by the next queued answer, Ok or Cancel (none queued, or
  // another answer: Ok; used up either way). The modal observer sees the
  // window while it is shown and may act on it; when it presses one of the
  // window's own closing buttons (the window's modal_result is set), that
  // closes it instead of the queued answer. Main thread only.
  Answer ShowModal(Window& window) LOCKS_EXCLUDED(mu_);

  // Any thread.
  void QueueAnswer(Answer a) LOCKS_EXCLUDED(mu_);
  // Text the operator types into the next dialog that asks for text.
  void QueueText(std::string text) LOCKS_EXCLUDED(mu_);
  // The next queued text, or nothing.
  std::optional<std::string> TakeText() LOCKS_EXCLUDED(mu_);
  void ClearAnswers() LOCKS_EXCLUDED(mu_);
  // The file-open dialog. Headless: the next queued chosen path, or nothing
  // (cancelled). Main thread only. The observer of boxes is told "open: CAPTION -> PATH" or "-> cancel".
  std::optional<std::string> ChooseFileToOpen(const std::string& caption) LOCKS_EXCLUDED(mu_);
  void QueueChosenFile(std::string path) LOCKS_EXCLUDED(mu_);  // any thread; the path in Windows-1251

  // Called on the main thread for every box, after its answer is known.
  void SetObserver(Observer observer) LOCKS_EXCLUDED(mu_);
  // Told of every file-open dialog on the main thread: its caption and the
  // chosen path, nothing when cancelled.
  using OpenObserver =
      std::function<void(const std::string& caption, const std::optional<std::string>& path)>;
  void SetOpenObserver(OpenObserver observer) LOCKS_EXCLUDED(mu_);
  void SetModalObserver(std::function<void(Window&)> observer) LOCKS_EXCLUDED(mu_);

  // The headless backend's side: the queued answers and the observers.
  Answer AnswerHeadless(const BoxRequest& box) LOCKS_EXCLUDED(mu_);
  Answer RunModalHeadless(Window& window) LOCKS_EXCLUDED(mu_);
  std::optional<std::string> ChooseFileHeadless(const std::string& caption) LOCKS_EXCLUDED(mu_);

 private:
  Mutex mu_;
  std::deque<Answer> answers_ GUARDED_BY(mu_);
  std::deque<std::string> texts_ GUARDED_BY(mu_);
  // An empty path stands for a cancelled dialog.
  std::deque<std::string> chosen_files_ GUARDED_BY(mu_);
  OpenObserver open_observer_ GUARDED_BY(mu_);
  Observer observer_ GUARDED_BY(mu_);
  std::function<void(Window&)> modal_observer_ GUARDED_BY(mu_);
};

}  // namespace pw::ui
