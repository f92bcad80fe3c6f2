// The headless backend: windows are their models alone, and the operator's
// answers are the ones queued in the Operator. The Linux backend, and the
// tests' everywhere.
#include <atomic>

#include "ui/backend.h"
#include "ui/dispatcher.h"
#include "ui/operator.h"

namespace pw::ui {

namespace {

class HeadlessBackend final : public Backend {
 public:
  void WindowShown(Window&) override {}
  void WindowAddressable(Window&) override {}
  void WindowHidden(Window&) override {}
  void WindowChanged(Window&) override {}
  void WindowDestroyed(Window&) override {}
  void ControlChanged(Control&) override {}
  void ControlDestroyed(Control&) override {}
  void BringToFront(Window&) override {}

  Answer ShowMessageBox(const BoxRequest& box) override {
    return Operator::instance().AnswerHeadless(box);
  }
  Answer RunModal(Window& window) override { return Operator::instance().RunModalHeadless(window); }
  std::optional<std::string> ChooseFileToOpen(const std::string& caption) override {
    return Operator::instance().ChooseFileHeadless(caption);
  }
};

HeadlessBackend headless;
// Read on the main thread only; atomic so a stray reader never sees it torn.
std::atomic<Backend*> installed{nullptr};

}  // namespace

Backend& CurrentBackend() {
  Backend* b = installed.load(std::memory_order_acquire);
  return b != nullptr ? *b : headless;
}

void InstallBackend(Backend* backend) {
  AssertOnMainThread("InstallBackend");
  installed.store(backend, std::memory_order_release);
}

}  // namespace pw::ui
