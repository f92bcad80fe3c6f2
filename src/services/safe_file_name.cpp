#include "services/safe_file_name.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace pw {

namespace {

bool Unsafe(unsigned char c) {
  static constexpr std::string_view kRefusedByWindows = "<>:\"/\\|?*";
  return c < 32 || c == 127 || kRefusedByWindows.find(static_cast<char>(c)) != std::string_view::npos;
}

// CON, PRN, AUX, NUL, COM1-9, LPT1-9, also with an extension ("NUL.txt").
bool ReservedDeviceName(std::string_view name) {
  std::string stem(name.substr(0, name.find('.')));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  std::transform(stem.begin(), stem.end(), stem.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  static constexpr std::array<std::string_view, 4> kPlain = {"CON", "PRN", "AUX", "NUL"};
  if (std::find(kPlain.begin(), kPlain.end(), stem) != kPlain.end()) return true;
  return stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) &&
         stem[3] >= '1' && stem[3] <= '9';
}

}  // namespace

std::optional<std::string> SafeFileName(std::string_view name) {
  std::string safe(name);
  for (char& c : safe)
    if (Unsafe(static_cast<unsigned char>(c))) c = '_';
  // Nothing but dots and blanks names the folder itself or its parent.
  if (safe.find_first_not_of(". ") == std::string::npos) return std::nullopt;
  if (ReservedDeviceName(safe)) return std::nullopt;
  return safe;
}

}  // namespace pw
