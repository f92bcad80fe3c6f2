// Names that come over the wire and end up in a stored file's name are
// reduced here to one plain file name, so no peer can make the system write
// outside the folder it chose, on Windows or elsewhere.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pw {

// The name with every character that cannot stand in a plain Windows file
// name replaced by '_': the separators "\" and "/", the drive and stream
// colon, the wildcards and quotes <>"|?*, and control characters. So
// "..\..\x" becomes ".._.._x" and "C:\x" or "\\server\x" lose their
// prefixes; so do dots and blanks at the end, which Windows would drop
// ("a.txt." becomes "a.txt_"). Refused (nothing): a name of dots alone ("." and ".."), and a
// reserved device name (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9 in any
// letter case, also with an extension or trailing blanks, as Windows reads
// "nul.txt" as the device), and a name of our temporaries' pattern
// ("~pw*.tmp", platform::IsTemporaryName). An empty name stays empty: whether it is enough
// is the caller's to say. Windows-1251 bytes; bytes above 127 are kept.
std::optional<std::string> SafeFileName(std::string_view name);

}  // namespace pw
