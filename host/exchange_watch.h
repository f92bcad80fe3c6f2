// The automatic exchanges the host starts ("auto"), followed through the
// log: the plug-in starts one and returns at once, and only its log lines
// tell when it has ended and how it went.
#pragma once

#include <string>

namespace pw::host {

class ExchangeWatch {
 public:
  // A station's exchange with each office of its address box (Windows-1251)
  // in turn.
  void StationStarted(const std::string& address_box);
  // The office's exchange with one station.
  void OfficeStarted();
  // One new log line (Windows-1251, without its stamp); true when it ends
  // the exchange under way.
  bool Line(const std::string& line);
  bool running() const { return kind_ != Kind::kNone; }
  // Whether an exchange watched so far sent or fetched no report.
  bool failed() const { return failed_; }

 private:
  bool End();

  enum class Kind { kNone, kStation, kOffice };
  Kind kind_ = Kind::kNone;
  int offices_left_ = 0;   // station: offices whose outcome is still to come
  bool told_ = false;      // office: the station's outcome is in the log
  bool failed_ = false;
};

}  // namespace pw::host
