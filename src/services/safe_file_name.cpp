#include "services/safe_file_name.h"

#include <initializer_list>

#include "text/cp1251.h"

#include "platform/files.h"

namespace pw {

namespace {

bool Unsafe(unsigned char c) {
  constexpr std::string_view kRefusedByWindows = "<>:\"/\\|?*";
  return c < 0x20 || c == 0x7F || kRefusedByWindows.find(static_cast<char>(c)) != std::string_view::npos;
}

// The device names Windows opens instead of a file, whatever the folder.
bool ReservedDevice(std::string_view name) {
  std::string_view base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  for (std::string_view device : {"CON", "PRN", "AUX", "NUL"})
    if (text::same_ignoring_case(base, device)) return true;
  if (base.size() != 4 || base[3] < '1' || base[3] > '9') return false;
  const std::string_view stem = base.substr(0, 3);
  return text::same_ignoring_case(stem, "COM") || text::same_ignoring_case(stem, "LPT");
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
