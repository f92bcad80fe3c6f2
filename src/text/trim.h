// Cutting blanks from the ends of a text. Two notions of a blank are in use:
// the INI file's (space and TAB, as the profile API trims) and the address
// box's (every byte up to and including the space).
#pragma once

#include <string_view>

namespace pw::text {

// Without spaces and TABs at its ends.
std::string_view trim_blanks(std::string_view s);

// Without bytes up to and including the space (control bytes among them) at
// its ends.
std::string_view trim_controls_and_spaces(std::string_view s);

}  // namespace pw::text
