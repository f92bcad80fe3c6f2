#include "platform/board_view.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string_view>

#include "text/cp1251.h"
#include "text/visible_text.h"

namespace pw::platform {

namespace {

std::string Two(int n) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02d", n);
  return buf;
}

std::string Day(const std::chrono::year_month_day& d) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", static_cast<int>(d.year()),
                static_cast<unsigned>(d.month()), static_cast<unsigned>(d.day()));
  return buf;
}

std::chrono::year_month_day DateOf(const LocalTime& t) {
  return std::chrono::year_month_day{std::chrono::year{t.year},
                                     std::chrono::month{static_cast<unsigned>(t.month)},
                                     std::chrono::day{static_cast<unsigned>(t.day)}};
}

// "HH:MM" as minutes of the day; -1 when it is no such time.
int DeadlineMinutes(const std::string& text) {
  int h = 0, m = 0;
  char extra = 0;
  if (std::sscanf(text.c_str(), "%d:%d%c", &h, &m, &extra) != 2) return -1;
  if (h < 0 || h > 23 || m < 0 || m > 59) return -1;
  return h * 60 + m;
}

std::string Number(std::int64_t n) { return std::to_string(n); }

std::string Seconds(double s) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f", s);
  return buf;
}

}  // namespace

std::string BoardTime(const LocalTime& t) {
  return Day(DateOf(t)) + " " + Two(t.hour) + ":" + Two(t.minute) + ":" + Two(t.second);
}

std::string BoardDay(const LocalTime& t, int days_back) {
  return Day(std::chrono::year_month_day{std::chrono::sys_days{DateOf(t)} -
                                         std::chrono::days{days_back}});
}

bool IsTimeOfDay(const std::string& text) { return DeadlineMinutes(text) >= 0; }

std::string LastDeadline(const std::string& deadline, const LocalTime& now) {
  const int minutes = DeadlineMinutes(deadline.empty() ? std::string(kDefaultReportDeadline) : deadline);
  if (minutes < 0) return {};
  const bool passed_today = now.hour * 60 + now.minute >= minutes;
  return BoardDay(now, passed_today ? 0 : 1) + " " + Two(minutes / 60) + ":" + Two(minutes % 60) + ":00";
}

const std::vector<std::string>& BoardColumns() {
  static const std::vector<std::string> columns = {
      Text("АЗС"_w),          Text("IP"_w),           Text("Нет отчета"_w),      Text("Связь"_w),
      Text("Отчет"_w),        Text("Файл отчета"_w),  Text("Байт"_w),            Text("Сек"_w),
      Text("SHA-256"_w),      Text("Запрос"_w),       Text("Файл запроса"_w),    Text("Байт запроса"_w),
      Text("Сегодня успешно"_w), Text("Сегодня неудачно"_w), Text("Ошибка"_w), Text("Текст ошибки"_w)};
  return columns;
}

std::vector<BoardLine> BoardLines(std::vector<BoardRow> rows, const std::string& last_deadline) {
  auto report_time = [](const BoardRow& r) { return r.report ? r.report->at : std::string(); };
  std::sort(rows.begin(), rows.end(), [&](const BoardRow& a, const BoardRow& b) {
    if (report_time(a) != report_time(b)) return report_time(a) < report_time(b);
    return a.station < b.station;
  });
  std::vector<BoardLine> lines;
  lines.reserve(rows.size());
  for (const BoardRow& r : rows) {
    BoardLine line;
    line.station = r.station;
    line.address = r.address;
    line.late = !last_deadline.empty() && report_time(r) < last_deadline;
    const BoardReport report = r.report.value_or(BoardReport{});
    const BoardRequest request = r.request.value_or(BoardRequest{});
    const BoardFailure failure = r.failure.value_or(BoardFailure{});
    line.texts = {r.station,
                  r.address,
                  line.late ? std::string("!") : std::string(),
                  r.last_contact,
                  report.at,
                  report.file,
                  r.report ? Number(report.bytes) : std::string(),
                  r.report ? Seconds(report.seconds) : std::string(),
                  report.digest,
                  request.at,
                  request.file,
                  r.request ? Number(request.bytes) : std::string(),
                  Number(r.ok_today),
                  Number(r.failed_today),
                  failure.at,
                  failure.text};
    lines.push_back(std::move(line));
  }
  return lines;
}

std::vector<BoardLine> CurrentBoardLines(const std::string& database_folder,
                                         const std::string& deadline) {
  const LocalTime now = Now();
  return BoardLines(ReadBoard(database_folder, BoardDay(now, 0)), LastDeadline(deadline, now));
}

std::string BoardTable(const std::vector<BoardLine>& lines) {
  // A station's name is what it told: its CR, LF or escape bytes must not
  // start a row of their own or act on the reader's screen.
  std::vector<std::vector<std::string>> rows{BoardColumns()};
  for (const BoardLine& line : lines) {
    std::vector<std::string>& cells = rows.emplace_back();
    for (const std::string& text : line.texts) cells.push_back(text::VisibleText(text));
  }
  std::vector<std::size_t> width(rows.front().size());
  for (const auto& cells : rows)
    for (std::size_t c = 0; c < cells.size() && c < width.size(); ++c)
      width[c] = std::max(width[c], cells[c].size());
  std::string table;
  for (const auto& cells : rows) {
    std::string out;
    for (std::size_t c = 0; c < cells.size(); ++c) {
      out += cells[c];
      if (c + 1 < cells.size()) out += std::string(width[c] - cells[c].size() + 2, ' ');
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    table += out + "\r\n";
  }
  return table;
}

std::string BoardCsv(const std::vector<BoardLine>& lines) {
  auto field = [](const std::string& cp1251) {
    std::string text = text::utf8_from_cp1251(cp1251);
    // A name a station told that starts like a formula ("=HYPERLINK(...)")
    // is shown by the spreadsheet as text, not worked out.
    if (!text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos)
      text.insert(0, 1, '\'');
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
      if (c == '"') quoted += '"';
      quoted += c;
    }
    return quoted + "\"";
  };
  auto row = [&](const std::vector<std::string>& texts) {
    std::string out;
    for (std::size_t c = 0; c < texts.size(); ++c) out += (c ? "," : "") + field(texts[c]);
    return out + "\r\n";
  };
  std::string csv = row(BoardColumns());
  for (const BoardLine& line : lines) csv += row(line.texts);
  return csv;
}

}  // namespace pw::platform
