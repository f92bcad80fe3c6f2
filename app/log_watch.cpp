#include "app/log_watch.h"

namespace pw::app {

LogWatch::LogWatch(const std::wstring& folder, HWND window, UINT message)
    : change_(::FindFirstChangeNotificationW(
          folder.c_str(), FALSE,
          FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE)),
      stop_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      window_(window),
      message_(message) {
  if (change_ != INVALID_HANDLE_VALUE && stop_ != nullptr) thread_ = std::thread([this] { Run(); });
}

LogWatch::~LogWatch() {
  if (thread_.joinable()) {
    ::SetEvent(stop_);
    thread_.join();
  }
  if (change_ != INVALID_HANDLE_VALUE) ::FindCloseChangeNotification(change_);
  if (stop_ != nullptr) ::CloseHandle(stop_);
}

void LogWatch::Run() {
  const HANDLE events[] = {stop_, change_};
  while (::WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
    if (!told_.exchange(true)) ::PostMessageW(window_, message_, 0, 0);
    if (!::FindNextChangeNotification(change_)) return;
  }
}

}  // namespace pw::app
