// Test support: a real X server (Xvfb) of its own for a test, on a display
// number it picks itself among the free ones, with a known picture drawn on
// its root window; and DISPLAY pointed at it while a test runs. The server
// ends when the last connection closes (-terminate): this object holds one
// until it is destroyed, so the server and its lock files go with it.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/child_process.h"

namespace pw::test {

class XvfbScreen {
 public:
  // Whether Xvfb is installed (on PATH).
  static bool Installed();

  // Starts Xvfb with a width x height screen of depth bits and waits until
  // it accepts connections (it writes its display number then). Without
  // shared_memory the server offers no MIT-SHM, so the copy goes through
  // the socket. Raises std::runtime_error when it does not come up.
  XvfbScreen(int width, int height, int depth, bool shared_memory = true);
  ~XvfbScreen();
  XvfbScreen(const XvfbScreen&) = delete;
  XvfbScreen& operator=(const XvfbScreen&) = delete;

  // ":N"
  const std::string& display() const { return display_; }

  // Fills the root window in four quarters: red top-left, green top-right,
  // blue bottom-left, white bottom-right (test::Quarters).
  void DrawQuarters();

  // Kills the server at once, as a crash would; every client's connection
  // breaks.
  void Kill();

 private:
  std::unique_ptr<platform::ChildProcess> server_;
  std::string display_;
  struct Connection;
  std::unique_ptr<Connection> keeper_;  // keeps the server up
};

// DISPLAY set to a value (or removed, for nullptr) for the life of this
// object, then put back. Only while no other thread of the test runs.
class ScopedDisplay {
 public:
  explicit ScopedDisplay(const char* value);
  ~ScopedDisplay();
  ScopedDisplay(const ScopedDisplay&) = delete;
  ScopedDisplay& operator=(const ScopedDisplay&) = delete;

 private:
  std::optional<std::string> old_;
};

}  // namespace pw::test
