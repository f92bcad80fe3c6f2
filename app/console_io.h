// The program's standard input and output. A GUI program has them when it is
// started with them (pipes, files, a console): lines go out UTF-8, each
// written whole and at once, and come in UTF-8. A console gets and gives
// wide text, so Cyrillic shows whatever its code page.
#pragma once

#include <optional>
#include <string>

#include "sync/mutex.h"

namespace pw::app {

class Output {
 public:
  Output();
  // A line on standard output. Any thread.
  void Line(const std::string& utf8);
  // "pumpwire-app: " + utf8 on standard error. Any thread.
  void Error(const std::string& utf8);

 private:
  void Write(void* handle, const std::string& utf8);

  Mutex mu_;  // one line at a time on both streams
  void* out_;
  void* err_;
};

class Input {
 public:
  Input();
  // False when the program was started without standard input (from a
  // desktop shortcut, say).
  bool present() const;
  // The next line without its line end; nothing at the end of input.
  std::optional<std::string> ReadLine();

 private:
  bool Fill();

  void* handle_;
  bool console_ = false;
  std::string buffered_;
  bool ended_ = false;
};

}  // namespace pw::app
