#include "office/stored_report_name.h"

#include "services/safe_file_name.h"
#include "services/event_log.h"
#include "text/cp1251.h"
#include "text/visible_text.h"

namespace pw::office {

namespace {
constexpr std::size_t kExtensionLength = 4;
}

std::string ReportNameAsFormed(std::string_view name_line, std::string_view sender) {
  const std::string file = FileNamePart(name_line);
  const std::size_t kept = file.size() > kExtensionLength ? file.size() - kExtensionLength : 0;
  return file.substr(0, kept) + "_" + std::string(sender) + ".dat";
}

std::optional<std::string> StoredReportName(std::string_view name_line, std::string_view sender) {
  return SafeFileName(ReportNameAsFormed(name_line, sender));
}

std::string RefusedReportNameLine(std::string_view formed) {
  return std::string("Файл отчета не принят: недопустимое имя файла "_w) + text::VisibleText(formed);
}

}  // namespace pw::office
