#include "host/exchange_watch.h"

#include "station/recipients.h"
#include "text/cp1251.h"

namespace pw::host {

namespace {

bool Starts(const std::string& line, std::string_view cp1251) { return line.starts_with(cp1251); }

}  // namespace

void ExchangeWatch::StationStarted(const std::string& address_box) {
  kind_ = Kind::kStation;
  offices_left_ = station::CountRecipients(address_box);
}

void ExchangeWatch::OfficeStarted() {
  kind_ = Kind::kOffice;
  told_ = false;
}

bool ExchangeWatch::End() {
  kind_ = Kind::kNone;
  return true;
}

bool ExchangeWatch::Line(const std::string& line) {
  if (kind_ == Kind::kNone) return false;
  // Before any peer is reached, or an error that leaves the whole exchange.
  if (Starts(line, "Соединение с интернет не установлено"_w) ||
      Starts(line, "Ошибка обмена информацией"_w)) {
    failed_ = true;
    return End();
  }
  if (kind_ == Kind::kStation) {
    // Each office ends with one of these three.
    const bool sent = Starts(line, "Передача отчета произведена успешно!"_w);
    if (!sent && !Starts(line, "Отчет не отправлен!"_w) &&
        !Starts(line, "Ошибка при подключении к офису"_w))
      return false;
    if (!sent) failed_ = true;
    return --offices_left_ <= 0 && End();
  }
  // The office tells the station's outcome, then closes the connection (a
  // refused password closes it once before its outcome too).
  if (Starts(line, "Обмен данными с АЗС"_w)) {
    told_ = true;
  } else if (Starts(line, "НЕУДАЧНЫЙ обмен данными"_w) || Starts(line, "Ошибка при подключении к АЗС"_w) ||
             Starts(line, "Не найден файл запроса"_w)) {
    told_ = true;
    failed_ = true;
  } else if (told_ && Starts(line, "Разорвано исходящее соединение с АЗС"_w)) {
    return End();
  }
  return false;
}

}  // namespace pw::host
