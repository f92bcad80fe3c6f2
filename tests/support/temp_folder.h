// A fresh folder tree for one test, removed afterwards, with the system's
// installation and settings folders pointed at it.
#pragma once

#include <filesystem>
#include <string>

namespace pw::test {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // Ends in the OS's separator. UTF-8 and Windows-1251 alike (ASCII).
  const std::string& path() const { return path_; }
  // A path below the folder; the "/" of name become the OS's separators,
  // as the system joins its paths.
  std::string operator/(const std::string& name) const;

 private:
  std::string path_;
};

// Makes a new empty folder under the system's temporary folder, named
// prefix + random letters; its path, without a trailing separator.
std::string NewTemporaryFolder(const std::string& prefix);

// Paths in tests are UTF-8 (a Cyrillic name stays whole on every OS).
std::filesystem::path Utf8Path(const std::string& utf8);

// Bytes of a file, "" when missing.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

}  // namespace pw::test
