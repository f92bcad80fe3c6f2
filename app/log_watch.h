// Tells the main window when something changes in the log's folder (a line
// written, a file set aside), so the new lines come out at once and an idle
// application does not look at the file again and again.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

namespace pw::app {

class LogWatch {
 public:
  // Posts message to window at each change until destroyed; watching() is
  // false when the system cannot watch the folder.
  LogWatch(const std::wstring& folder, HWND window, UINT message);
  ~LogWatch();
  LogWatch(const LogWatch&) = delete;
  LogWatch& operator=(const LogWatch&) = delete;

  bool watching() const { return thread_.joinable(); }
  // The main thread is reading the log: the next change is told again. A
  // burst of lines costs one message, not one each.
  void Taken() { told_ = false; }

 private:
  void Run();

  HANDLE change_;
  HANDLE stop_;
  HWND window_;
  UINT message_;
  std::atomic<bool> told_{false};
  std::thread thread_;
};

}  // namespace pw::app
