// The TCP ports this process listens on, as the OS's connection table tells
// them: how a host learns where a listener it did not start has bound (a
// port of 0 in the settings takes any free one).
#pragma once

#include <vector>

namespace pw::platform {

// Sorted, each once; empty when none (or when the table cannot be read).
std::vector<int> OwnListeningPorts();

}  // namespace pw::platform
