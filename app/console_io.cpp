#include "app/console_io.h"

#include <windows.h>

#include "app/utf8.h"

namespace pw::app {

namespace {

bool IsConsole(HANDLE h) {
  DWORD mode = 0;
  return ::GetConsoleMode(h, &mode) != 0;
}

bool Usable(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }

}  // namespace

Output::Output() : out_(::GetStdHandle(STD_OUTPUT_HANDLE)), err_(::GetStdHandle(STD_ERROR_HANDLE)) {}

void Output::Line(const std::string& utf8) { Write(out_, utf8 + "\n"); }

void Output::Error(const std::string& utf8) { Write(err_, "pumpwire-app: " + utf8 + "\n"); }

void Output::Write(void* handle, const std::string& utf8) {
  if (!Usable(handle)) return;
  MutexLock lock(mu_);
  DWORD done = 0;
  if (IsConsole(handle)) {
    const std::wstring wide = WideFromUtf8(utf8);
    ::WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &done, nullptr);
    return;
  }
  // A pipe takes what fits; the rest goes after it.
  for (std::size_t at = 0; at < utf8.size(); at += done)
    if (!::WriteFile(handle, utf8.data() + at, static_cast<DWORD>(utf8.size() - at), &done, nullptr) || done == 0)
      return;
}

Input::Input() : handle_(::GetStdHandle(STD_INPUT_HANDLE)) { console_ = Usable(handle_) && IsConsole(handle_); }

bool Input::present() const { return Usable(handle_); }

bool Input::Fill() {
  if (ended_ || !present()) return false;
  if (console_) {
    wchar_t wide[1024];
    DWORD got = 0;
    if (!::ReadConsoleW(handle_, wide, 1024, &got, nullptr) || got == 0) return !(ended_ = true);
    buffered_ += Utf8FromWide(std::wstring_view(wide, got));
    return true;
  }
  char bytes[4096];
  DWORD got = 0;
  if (!::ReadFile(handle_, bytes, sizeof bytes, &got, nullptr) || got == 0) return !(ended_ = true);
  buffered_.append(bytes, got);
  return true;
}

std::optional<std::string> Input::ReadLine() {
  for (;;) {
    const auto lf = buffered_.find('\n');
    if (lf != std::string::npos) {
      std::string line = buffered_.substr(0, lf);
      buffered_.erase(0, lf + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return line;
    }
    if (!Fill()) {
      if (buffered_.empty()) return std::nullopt;
      std::string last;
      last.swap(buffered_);
      return last;
    }
  }
}

}  // namespace pw::app
