// cnf.INI with the semantics of the Windows profile API: section and key
// names compare without regard to letter case; writing one key keeps every
// other section, key, comment, blank line and their order as they were.
// Every call opens the file, reads or writes it, and closes it again, since
// the host and other components share the file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pw {

class IniFile {
 public:
  explicit IniFile(std::string path) : path_(std::move(path)) {}

  const std::string& path() const { return path_; }

  // The value of key in section, or def when the file, section or key is
  // missing. Blanks before the value and spaces after it go (a TAB at its
  // end stays: a list value ends each entry with one); a value wrapped in matching double
  // or single quotes loses them. The first section and key of a name count.
  std::string ReadString(std::string_view section, std::string_view key,
                         const std::string& def) const;
  // Decimal integer with an optional sign; a missing value, one that is not
  // a number or one outside 32 bits gives def.
  std::int32_t ReadInteger(std::string_view section, std::string_view key,
                           std::int32_t def) const;
  // Any non-zero number is on.
  bool ReadBool(std::string_view section, std::string_view key, bool def) const;
  // The key names of section, each once, in the order they first appear.
  std::vector<std::string> ReadKeys(std::string_view section) const;

  // Replaces the value in place, or adds the key after the last non-blank
  // line of its section, or adds the section at the end (creating the file).
  // Raises pw::Error when the file cannot be written, or when a name or the
  // value holds a line break; the old file then stays whole.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  // Several keys of one section in a single replacement of the file, in
  // their order: either all of them land or (on a raise) none.
  using Entry = std::pair<std::string, std::string>;
  void WriteStrings(std::string_view section, const std::vector<Entry>& entries);
  void WriteInteger(std::string_view section, std::string_view key, std::int32_t value);
  void WriteBool(std::string_view section, std::string_view key, bool value);

 private:
  std::string path_;
};

}  // namespace pw
