#include <cstdint>
#include <random>

#include "platform/error.h"
#include "platform/files.h"

namespace pw::platform {

namespace {

constexpr std::string_view kPrefix = "~pw";
constexpr std::string_view kSuffix = ".tmp";

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

// 64 bits from the OS's source of randomness, as 16 hex digits: not a
// counter or a process id, which a peer could work out and send first.
std::string RandomPart() {
  std::random_device source;
  const std::uint64_t value = (static_cast<std::uint64_t>(source()) << 32) ^ source();
  constexpr char kDigits[] = "0123456789abcdef";
  std::string out(16, '0');
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = kDigits[(value >> (4 * i)) & 0xF];
  return out;
}

}  // namespace

bool IsTemporaryName(std::string_view name) {
  return name.size() >= kPrefix.size() + kSuffix.size() &&
         EqualIgnoringCase(name.substr(0, kPrefix.size()), kPrefix) &&
         EqualIgnoringCase(name.substr(name.size() - kSuffix.size()), kSuffix);
}

WritableFile CreateTemporaryBeside(const std::string& path) {
  // Not built on the target's own name, which may already be as long as a
  // name can be.
  const std::size_t slash = path.find_last_of(std::string{'/', kPathSeparator});
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  // A name that is taken is left to its owner; a few draws of 64 bits all
  // taken means something else is wrong.
  constexpr int kDraws = 8;
  for (int draw = 0; draw < kDraws; ++draw) {
    std::optional<WritableFile> file =
        WritableFile::CreateNew(folder + std::string(kPrefix) + RandomPart() + std::string(kSuffix));
    if (file) return std::move(*file);
  }
  throw Error("create a temporary file beside " + path + ": every name drawn exists", ErrorKind::kFile);
}

std::size_t RemoveTemporaries(const std::string& folder) {
  if (!DirectoryExists(folder)) return 0;
  std::string prefix = folder;
  if (!prefix.empty() && prefix.back() != '/' && prefix.back() != kPathSeparator)
    prefix += kPathSeparator;
  std::size_t removed = 0;
  for (const std::string& name : FileNamesIn(folder)) {
    const std::string path = prefix + name;
    if (!IsTemporaryName(name) || !FileExists(path)) continue;
    RemoveFile(path);
    if (!FileExists(path)) ++removed;
  }
  return removed;
}

}  // namespace pw::platform
