#include "station/stored_request_name.h"

#include "services/safe_file_name.h"
#include "text/cp1251.h"
#include "text/visible_text.h"

namespace pw::station {

std::optional<std::string> StoredRequestName(const std::string& announced,
                                             const std::function<void(std::string_view)>& log) {
  const std::string formed = announced + "_z";
  const std::optional<std::string> stored = SafeFileName(formed);
  if (!stored)
    log(std::string("Недопустимое имя файла запроса, файл не принят: "_w) + text::VisibleText(announced));
  else if (*stored != formed)
    log(std::string("Недопустимое имя файла запроса "_w) + text::VisibleText(announced) +
        std::string(" заменено на "_w) + *stored);
  return stored;
}

}  // namespace pw::station
