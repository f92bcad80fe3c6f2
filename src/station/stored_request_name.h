// The name under which a station keeps a request file in the office folder:
// the name the office announced followed by "_z". The stored name is what
// must be a plain file name, so a request named COM1 is kept as COM1_z (an
// ordinary file) and one named "abc." as "abc._z".
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace pw::station {

// The stored name (no folder) made a plain file name (SafeFileName); a name
// that had to change is logged with what it became. Nothing, and a logged
// refusal, when it would still name a device ("nul.txt" gives "nul.txt_z").
std::optional<std::string> StoredRequestName(const std::string& announced,
                                             const std::function<void(std::string_view)>& log);

}  // namespace pw::station
