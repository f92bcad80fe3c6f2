// What the command line asks of the host folder before Load: its LogFiles/
// and host/requests/, and the keys of cnf.INI (passwords in the scrambled
// form the plug-in reads).
#pragma once

#include <string>
#include <vector>

#include "host/host_options.h"

namespace pw::host {

// Raises pw::Error when a folder or cnf.INI cannot be written, or when
// --int-password comes without IntLogin. Answers what the operator should
// hear of (UTF-8): --password while PasswordEnable is off.
std::vector<std::string> PrepareHostFolder(const HostOptions& options);

}  // namespace pw::host
