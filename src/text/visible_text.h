// Text that came from the wire, made safe to write into a log or history
// line: a peer's CR or LF must not start a line of its own that looks like
// one the system wrote, and a NUL or an escape sequence must not act on the
// reader's screen. Every control byte (below 0x20, and 0x7F) is written as
// \xHH, visible and inert; every other byte, Windows-1251 letters included,
// stays as it is.
#pragma once

#include <string>
#include <string_view>

namespace pw::text {

std::string VisibleText(std::string_view wire_text);

}  // namespace pw::text
