#include "services/safe_file_name.h"

#include <algorithm>
#include <array>

#include "platform/files.h"

namespace pw {

namespace {

bool Unsafe(unsigned char c) {
  constexpr std::string_view kRefusedByWindows = "<>:\"/\\|?*";
  return c < 0x20 || c == 0x7F || kRefusedByWindows.find(static_cast<char>(c)) != std::string_view::npos;
}

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

// The device names Windows opens instead of a file, whatever the folder.
bool ReservedDevice(std::string_view name) {
  std::string_view base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  const std::string upper = Upper(base);
  constexpr std::array<std::string_view, 4> kPlain = {"CON", "PRN", "AUX", "NUL"};
  if (std::find(kPlain.begin(), kPlain.end(), upper) != kPlain.end()) return true;
  return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) &&
         upper[3] >= '1' && upper[3] <= '9';
}

}  // namespace

std::optional<std::string> SafeFileName(std::string_view name) {
  std::string safe(name);
  for (char& c : safe)
    if (Unsafe(static_cast<unsigned char>(c))) c = '_';
  if (!safe.empty() && safe.find_first_not_of('.') == std::string::npos) return std::nullopt;
  if (ReservedDevice(safe)) return std::nullopt;
  // Windows drops dots and blanks at the end of a name: "report.txt." would
  // land on report.txt, " .. " on the folder's parent.
  for (auto c = safe.rbegin(); c != safe.rend() && (*c == '.' || *c == ' '); ++c) *c = '_';
  // A received file stored under a temporary's name would be renamed over
  // the temporary of a reception under way, and land in that one's target.
  if (platform::IsTemporaryName(safe)) return std::nullopt;
  return safe;
}

}  // namespace pw
