#include "temp_folder.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "platform/environment.h"
#include "platform/files.h"

namespace pw::test {

std::string NewTemporaryFolder(const std::string& prefix) {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = prefix;
    for (int i = 0; i < 8; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
    const auto path = std::filesystem::temp_directory_path() / name;
    if (std::filesystem::create_directory(path)) return path.string();  // ours alone
  }
  throw std::runtime_error("no new temporary folder for " + prefix);
}

TempFolder::TempFolder() {
  path_ = NewTemporaryFolder("pumpwire-") + platform::kPathSeparator;
  platform::SetEnvironmentValue("PUMPWIRE_ROOT", path_.c_str());
  platform::SetEnvironmentValue("PUMPWIRE_WINDIR", nullptr);
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempFolder::operator/(const std::string& name) const {
  std::string path = path_ + name;
  std::replace(path.begin() + static_cast<std::ptrdiff_t>(path_.size()), path.end(), '/',
               platform::kPathSeparator);
  return path;
}

std::filesystem::path Utf8Path(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(Utf8Path(path), std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(Utf8Path(path), std::ios::binary | std::ios::trunc);
  out << bytes;
}

}  // namespace pw::test
