#include "app/main_thread_link.h"

#include <memory>

namespace pw::app {

bool MainThreadLink::Post(std::function<void()> task) {
  auto owned = std::make_unique<std::function<void()>>(std::move(task));
  if (!::PostMessageW(window_, kRunTask, 0, reinterpret_cast<LPARAM>(owned.get()))) return false;
  owned.release();  // the main window's procedure takes it
  return true;
}

bool MainThreadLink::Sync(std::chrono::milliseconds bound) {
  MutexLock lock(mu_);
  if (closed_) return false;
  const std::uint64_t marker = ++posted_;
  if (!::PostMessageW(window_, kMarker, 0, static_cast<LPARAM>(marker))) return false;
  return reached_cv_.wait_for(mu_, bound, [&] {
    mu_.AssertHeld();  // the wait holds it while it asks
    return reached_ >= marker || closed_;
  }) && !closed_;
}

bool MainThreadLink::Handle(UINT message, WPARAM, LPARAM lparam) {
  if (message == kRunTask) {
    const std::unique_ptr<std::function<void()>> task(reinterpret_cast<std::function<void()>*>(lparam));
    (*task)();
    return true;
  }
  if (message == kMarker) {
    MutexLock lock(mu_);
    if (static_cast<std::uint64_t>(lparam) > reached_) reached_ = static_cast<std::uint64_t>(lparam);
    reached_cv_.notify_all();
    return true;
  }
  return false;
}

void MainThreadLink::Close() {
  MutexLock lock(mu_);
  closed_ = true;
  reached_cv_.notify_all();
}

}  // namespace pw::app
