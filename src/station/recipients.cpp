#include "station/recipients.h"

#include "text/trim.h"

namespace pw::station {

namespace {

// What the walk keeps after the first ";", or nothing when there is none.
std::string_view Rest(std::string_view text) {
  const auto semicolon = text.find(';');
  if (semicolon == std::string_view::npos) return {};
  return text.substr(semicolon + 1, kRecipientSpan);
}

// The entry at the head of the text: the part before the first ";", or the
// first 99 characters when there is no ";".
std::string_view Head(std::string_view text) {
  const auto semicolon = text.find(';');
  return semicolon == std::string_view::npos ? text.substr(0, kRecipientSpan)
                                             : text.substr(0, semicolon);
}

// Position counted from 1 of the first occurrence, 0 when absent.
std::size_t Position(std::string_view s, std::string_view what) {
  const auto at = s.find(what);
  return at == std::string_view::npos ? 0 : at + 1;
}

constexpr std::size_t kShortestAddress = 7;

}  // namespace

int CountRecipients(std::string_view text) {
  int count = 0;
  for (; !text.empty(); text = Rest(text)) ++count;
  return count;
}

std::string GetRecipient(std::string_view text, int k) {
  for (int i = 0; !text.empty(); text = Rest(text), ++i)
    if (i == k) return std::string(text::trim_controls_and_spaces(Head(text)));
  return {};
}

std::string ExtractStationAddress(std::string_view entry) {
  // Both cuts are looked up in the whole entry and taken from it; the cut
  // before " -" wins over the one before "-", so a host name with a hyphen
  // ("officeserver-1 - Офис 1") keeps it. Only an entry with no cut is held
  // to its first 99 characters.
  if (const auto blank_hyphen = Position(entry, " -"); blank_hyphen > kShortestAddress)
    return std::string(entry.substr(0, blank_hyphen - 1));
  if (const auto hyphen = Position(entry, "-"); hyphen > kShortestAddress)
    return std::string(entry.substr(0, hyphen - 1));
  return std::string(entry.substr(0, kRecipientSpan));
}

}  // namespace pw::station
