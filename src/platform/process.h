// Running another program and reading what it prints.
#pragma once

#include <string>

namespace pw::platform {

struct CommandResult {
  int exit_code = -1;   // -1 when it did not exit normally (killed by a signal)
  std::string output;   // its standard output, Windows-1251
};

// The system's command interpreter that RunCommand uses: "sh" or "cmd".
extern const char kCommandInterpreter[];

// Runs command through the system's command interpreter (sh -c here, cmd /c
// on Windows) with argument appended as one more argument, quoted, and waits
// for it to end. Its standard input is empty, its standard error is ours.
// Both texts are Windows-1251. Raises pw::Error when it cannot be started.
// Any thread.
CommandResult RunCommand(const std::string& command, const std::string& argument);

}  // namespace pw::platform
