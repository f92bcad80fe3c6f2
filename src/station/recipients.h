// The office address box names one recipient or several, separated by ";",
// each a bare address (or host name) or an address followed by " - " and a
// free name: "192.168.0.12 - Офис 1; 10.0.0.5". These helpers split such a
// text. Texts are Windows-1251, one byte per character.
//
// Every step past a ";" keeps at most the 99 characters that follow it, so
// all recipients after the first must fit in the 99 characters after the
// first ";"; anything beyond is not read.
#pragma once

#include <string>
#include <string_view>

namespace pw::station {

// The most characters kept of what follows a ";", and of the last entry.
inline constexpr std::size_t kRecipientSpan = 99;

// Number of recipients: a text ending in ";" plus blanks counts one more,
// empty, recipient.
int CountRecipients(std::string_view text);

// The k-th recipient (from 0) without leading and trailing blanks; empty
// when the text has fewer.
std::string GetRecipient(std::string_view text, int k);

// The address part of one recipient: the entry before its first " -" when
// that stands after the 7th character (positions counted from 1), else the
// entry before its first "-" when that does, else the first 99 characters
// of the entry. The " -" cut wins, so "officeserver-1 - Office 1" gives
// "officeserver-1". A hyphen at
// position 7 or earlier belongs to the address: no dotted IPv4 address is
// shorter than 7 characters, and host names like "my-host" keep theirs.
std::string ExtractStationAddress(std::string_view entry);

}  // namespace pw::station
