// What an exchange on the wire takes from the window or listener that runs
// it, as LevelDB's DBImpl takes its Env and Options: where its log lines go,
// the settings in force when it starts, and how the operator is asked. The
// protocol reaches no global of its own.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "ui/operator.h"

namespace pw {
namespace ui {
class ListBox;
}

// The settings one exchange reads, taken when its caller makes the context.
// HandshakeTimeOut's default, which also stands for a value below 1.
inline constexpr std::int32_t kDefaultHandshakeTimeOut = 60000;
// IdleTimeOut's default (30 min), which also stands for a value below 1.
inline constexpr std::int32_t kDefaultIdleTimeOut = 1800000;

struct WireSettings {
  bool PasswordEnable = false;
  std::string Password;
  bool PasswordUnusable = false;  // passwords on, none stored well: nobody passes
  std::int32_t ReadTimeOut = 10000;
  std::int32_t ConnectTimeOut = 10000;
  std::int32_t ZaprosTimeOut = 120000;
  bool useFastDatTravel = false;
  std::int32_t InetBuffSize = 128;
  std::int32_t HandshakeTimeOut = kDefaultHandshakeTimeOut;
  std::int32_t IdleTimeOut = kDefaultIdleTimeOut;
};

struct WireContext {
  // One line to the event log, and to list's window when list is given.
  std::function<void(std::string_view text, ui::ListBox* list)> log;
  // A message box; returns the operator's answer.
  std::function<ui::Answer(const ui::BoxRequest& box)> ask;
  // The handshake switched the transfer mode: for the whole process, not
  // the settings file.
  std::function<void(bool fast)> switch_transfer_mode;
  WireSettings settings;
};

// The plug-in's own: AddToLog, the operator, and TheSettings() as they stand
// now. Any thread.
WireContext CurrentWireContext();

}  // namespace pw
