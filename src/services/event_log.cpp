#include "services/event_log.h"

#include <cstdio>
#include <mutex>

#include "platform/error.h"
#include "platform/files.h"
#include "services/folders.h"
#include "platform/ini_file.h"
#include "services/locks.h"
#include "services/settings.h"
#include "ui/window.h"

namespace pw {

namespace {

std::string TwoDigits(int v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02d", v);
  return buf;
}

}  // namespace

std::string FormatShortTimeStamp(const platform::LocalTime& t) {
  return TwoDigits(t.hour) + ":" + TwoDigits(t.minute) + ":" + TwoDigits(t.second) + "  ";
}

std::string FormatLongTimeStamp(const platform::LocalTime& t) {
  char ms[8];
  std::snprintf(ms, sizeof ms, "%03d", t.millisecond);
  return platform::ShortDateText(t) + " " + TwoDigits(t.hour) + ":" + TwoDigits(t.minute) + ":" +
         TwoDigits(t.second) + ":" + ms + " ";
}

std::string ShortTimeStamp() { return FormatShortTimeStamp(platform::Now()); }
std::string LongTimeStamp() { return FormatLongTimeStamp(platform::Now()); }

std::string SetAsideName(const std::string& dated) {
  if (!platform::FileExists(dated)) return dated;
  std::string name = dated;
  for (int counter = 2; counter <= kSetAsidesPerDay; ++counter) {
    name = dated + "." + std::to_string(counter);
    if (!platform::FileExists(name)) break;
  }
  return name;  // the last one, replaced, when every name is taken
}

void AppendWithRotation(const std::string& path, std::string_view line) {
  platform::AppendToFile(path, line);
  if (FileSizeByName(path) > kRotationLimit) {
    try {
      platform::RenameReplacing(path, SetAsideName(path + platform::ShortDateText(platform::Now())));
    } catch (const Error&) {
      // Open elsewhere, perhaps: the file grows until a later call succeeds.
    }
  }
}

void AddToLog(std::string_view text, ui::ListBox* list) {
  {
    MutexLock lock(LogLock());
    std::string line = LongTimeStamp() + " - ";
    line.append(text);
    line += "\r\n";
    AppendWithRotation(CurrentFolders().log_file, line);
  }
  if (list != nullptr) {
    std::string window_line = ShortTimeStamp();
    window_line.append(text);
    ui::SendWindowMessage(list->owner(), ui::WM_LOGLINE, window_line);
  }
}

std::uint32_t FileSizeByName(const std::string& path) {
  const auto size = platform::FileSize(path);
  return size ? static_cast<std::uint32_t>(*size) : 0;
}

std::string FileNamePart(std::string_view path) {
  const auto pos = path.find_last_of("\\/");
  if (pos == std::string_view::npos) return std::string(path);
  return std::string(path.substr(pos + 1, 999));
}

void RememberAddress(const std::string& address, std::vector<std::string>& list,
                     std::vector<std::string>& items) {
  std::size_t k = 0;
  while (k < list.size() && list[k] != address) ++k;
  if (k == list.size()) list.emplace_back();
  // Entries 0..k-1 move one place down over the found (or new) entry.
  for (std::size_t i = k; i > 0; --i) list[i] = std::move(list[i - 1]);
  list[0] = address;
  IniFile(IniFilePath()).WriteString(kSettingsSection, "IPs", FormatRememberedAddresses(list));
  items = list;
}

}  // namespace pw

