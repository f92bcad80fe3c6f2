// A name received from the wire, reduced to a plain file name before it is
// used in a stored file's name, so that nothing is written outside its
// folder.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pw {

// nullopt: the name cannot be made safe (refuse it); else the name with
// every unsafe character (separators, drive colons, control characters,
// characters Windows refuses in names) replaced by '_'.
std::optional<std::string> SafeFileName(std::string_view name);

}  // namespace pw
