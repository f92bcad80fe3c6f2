// How passwords are kept in cnf.INI: the text scrambled with a key (the
// built-in one mixed with the key given) and written as hexadecimal digits.
// Shared by the plug-in and by a host that writes a password for it.
#pragma once

#include <string>
#include <string_view>

namespace pw {

// The key the listener's Password is scrambled with (IntPassword's is the
// IntLogin beside it).
inline constexpr std::string_view kPasswordKey = "qrst";

std::string ScrambleText(std::string_view key, std::string_view data);
std::string EncodePassword(std::string_view key, std::string_view plain);
// Reads two hexadecimal digits (either case) per byte; a lone last digit is
// ignored, and a pair that is not two hexadecimal digits ends the text.
std::string DecodePassword(std::string_view key, std::string_view stored);
// Whether stored is wholly the form EncodePassword writes (pairs of
// hexadecimal digits, either case).
bool IsScrambledForm(std::string_view stored);

}  // namespace pw
