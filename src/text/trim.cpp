#include "text/trim.h"

namespace pw::text {

namespace {

template <typename IsBlank>
std::string_view Trimmed(std::string_view s, IsBlank is_blank) {
  while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
  return s;
}

}  // namespace

std::string_view trim_blanks(std::string_view s) {
  return Trimmed(s, [](char c) { return c == ' ' || c == '\t'; });
}

std::string_view trim_controls_and_spaces(std::string_view s) {
  return Trimmed(s, [](char c) { return static_cast<unsigned char>(c) <= ' '; });
}

}  // namespace pw::text
