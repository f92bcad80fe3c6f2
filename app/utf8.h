// UTF-8, the program's standard input and output, to and from the wide
// texts of the W calls, every character kept.
#pragma once

#include <string>
#include <string_view>

namespace pw::app {

std::wstring WideFromUtf8(std::string_view utf8);
std::string Utf8FromWide(std::wstring_view wide);

// A text on one line: CR and LF as \r and \n.
std::string OneLine(std::string_view utf8);

}  // namespace pw::app
