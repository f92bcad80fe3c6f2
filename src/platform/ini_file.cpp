#include "platform/ini_file.h"

#include <charconv>
#include <optional>
#include <vector>

#include "platform/error.h"
#include "platform/files.h"
#include "text/cp1251.h"
#include "text/trim.h"

namespace pw {

namespace {

bool SameName(std::string_view a, std::string_view b) { return text::same_ignoring_case(a, b); }

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// A value loses the blanks before it and the spaces after it; a TAB at its
// end stays, since a list value marks the end of each entry with one.
std::string_view TrimValue(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// One line of the file: its text and the line break that ended it (CR LF,
// LF, a lone CR, or nothing on a last line without one).
struct Line {
  std::string text;
  std::string eol;
};

std::vector<Line> SplitLines(std::string_view content) {
  std::vector<Line> lines;
  std::size_t pos = 0;
  while (pos < content.size()) {
    const std::size_t end = content.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) {
      lines.push_back({std::string(content.substr(pos)), ""});
      break;
    }
    const std::size_t eol_len = content.compare(end, 2, "\r\n") == 0 ? 2 : 1;
    lines.push_back({std::string(content.substr(pos, end - pos)),
                     std::string(content.substr(end, eol_len))});
    pos = end + eol_len;
  }
  return lines;
}

enum class Kind { kOther, kBlank, kSection, kKey };

struct Parsed {
  Kind kind = Kind::kOther;
  std::string_view name;   // section or key name, trimmed
  std::size_t value_at = 0;  // key lines: offset of the value's first non-blank byte
};

// Comments (';') and lines without '=' are kOther: ignored on read, kept on write.
Parsed Classify(std::string_view line) {
  const std::string_view t = text::trim_blanks(line);
  if (t.empty()) return {Kind::kBlank, {}, 0};
  if (t.front() == ';') return {};
  if (t.front() == '[') {
    const std::size_t close = t.find(']');
    if (close != std::string_view::npos) return {Kind::kSection, text::trim_blanks(t.substr(1, close - 1)), 0};
  }
  const std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) return {};
  const std::string_view key = text::trim_blanks(line.substr(0, eq));
  if (key.empty()) return {};
  std::size_t at = eq + 1;
  while (at < line.size() && IsBlank(line[at])) ++at;
  return {Kind::kKey, key, at};
}

std::string ReadContent(const std::string& path) {
  if (!platform::FileExists(path)) return {};
  return platform::ReadWholeFile(path);
}

// Index of the first section line named section, or lines.size().
std::size_t FindSection(const std::vector<Line>& lines, std::string_view section) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const Parsed p = Classify(lines[i].text);
    if (p.kind == Kind::kSection && SameName(p.name, section)) return i;
  }
  return lines.size();
}

// Value of key in the first section named section (first key line wins).
std::optional<std::string> Lookup(std::string_view content, std::string_view section,
                                  std::string_view key) {
  section = text::trim_blanks(section);
  key = text::trim_blanks(key);
  const std::vector<Line> lines = SplitLines(content);
  for (std::size_t i = FindSection(lines, section) + 1; i < lines.size(); ++i) {
    const Parsed p = Classify(lines[i].text);
    if (p.kind == Kind::kSection) break;
    if (p.kind != Kind::kKey || !SameName(p.name, key)) continue;
    std::string_view value = TrimValue(std::string_view(lines[i].text).substr(p.value_at));
    // A value wrapped in matching quotes loses them, so quotes can keep blanks.
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
  }
  return std::nullopt;
}

// The text itself stays out of the message: it may be a scrambled password.
void CheckStorable(std::string_view what, std::string_view text, std::string_view forbidden,
                   std::string_view key) {
  if (text.find_first_of(forbidden) != std::string_view::npos)
    throw Error("WritePrivateProfileString: the " + std::string(what) + " of \"" +
                    std::string(key) + "\" cannot be stored in one line",
                ErrorKind::kSettings);
}

// Sets key in the first section named section, as WriteString describes.
void Put(std::vector<Line>& lines, std::string_view section, std::string_view key,
         std::string_view value, const std::string& eol) {
  const std::string entry = std::string(key) + "=" + std::string(value);
  const std::size_t header = FindSection(lines, section);
  if (header == lines.size()) {
    if (!lines.empty() && lines.back().eol.empty()) lines.back().eol = eol;
    std::string heading = "[";
    heading.append(section);
    heading += ']';
    lines.push_back({std::move(heading), eol});
    lines.push_back({entry, eol});
    return;
  }
  std::size_t last_filled = header;  // the section's last non-blank line
  for (std::size_t i = header + 1; i < lines.size(); ++i) {
    const Parsed p = Classify(lines[i].text);
    if (p.kind == Kind::kSection) break;
    if (p.kind == Kind::kKey && SameName(p.name, key)) {
      // Keep the key's spelling and the blanks around '=' as they were.
      lines[i].text = lines[i].text.substr(0, p.value_at) + std::string(value);
      return;
    }
    if (p.kind != Kind::kBlank) last_filled = i;
  }
  if (lines[last_filled].eol.empty()) lines[last_filled].eol = eol;
  lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(last_filled) + 1, {entry, eol});
}

}  // namespace

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                const std::string& def) const {
  return Lookup(ReadContent(path_), section, key).value_or(def);
}

std::int32_t IniFile::ReadInteger(std::string_view section, std::string_view key,
                                  std::int32_t def) const {
  const std::optional<std::string> value = Lookup(ReadContent(path_), section, key);
  if (!value) return def;
  std::string_view digits = text::trim_blanks(*value);
  // from_chars takes a '-' but not a '+'.
  if (digits.size() > 1 && digits.front() == '+' && digits[1] != '-') digits.remove_prefix(1);
  std::int32_t result = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), result, 10);
  if (ec != std::errc() || end != digits.data() + digits.size() || digits.empty()) return def;
  return result;
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

std::vector<std::string> IniFile::ReadKeys(std::string_view section) const {
  const std::vector<Line> lines = SplitLines(ReadContent(path_));
  std::vector<std::string> keys;
  for (std::size_t i = FindSection(lines, text::trim_blanks(section)) + 1; i < lines.size(); ++i) {
    const Parsed p = Classify(lines[i].text);
    if (p.kind == Kind::kSection) break;
    if (p.kind != Kind::kKey) continue;
    bool seen = false;
    for (const std::string& key : keys) seen = seen || SameName(key, p.name);
    if (!seen) keys.emplace_back(p.name);
  }
  return keys;
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  WriteStrings(section, {{std::string(key), std::string(value)}});
}

void IniFile::WriteStrings(std::string_view section, const std::vector<Entry>& entries) {
  // A line break in any part would split the entry and could forge others.
  constexpr std::string_view kBreaks("\r\n\0", 3);
  section = text::trim_blanks(section);
  for (const Entry& e : entries) {
    const std::string_view key = text::trim_blanks(e.first);
    CheckStorable("section name", section, std::string(kBreaks) + "]", key);
    CheckStorable("key name", key, std::string(kBreaks) + "=", key);
    CheckStorable("value", e.second, kBreaks, key);
    if (key.empty()) throw Error("WritePrivateProfileString: empty key name", ErrorKind::kSettings);
  }

  const std::string content = ReadContent(path_);
  std::vector<Line> lines = SplitLines(content);
  // New lines follow the file's own line breaks; a new file gets CR LF.
  std::string eol = "\r\n";
  for (const Line& line : lines)
    if (!line.eol.empty()) { eol = line.eol; break; }
  for (const Entry& e : entries) Put(lines, section, text::trim_blanks(e.first), e.second, eol);

  std::string out;
  out.reserve(content.size() + 64 * entries.size());
  for (const Line& line : lines) out += line.text + line.eol;
  platform::WriteFileReplacing(path_, out);
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, std::int32_t value) {
  WriteString(section, key, std::to_string(value));
}

void IniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

}  // namespace pw
