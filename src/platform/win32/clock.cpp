#include "platform/clock.h"

#include <winsock2.h>
#include <windows.h>

#include <cstdio>

namespace pw::platform {

std::uint32_t TickCount() { return ::GetTickCount(); }

LocalTime Now() {
  SYSTEMTIME t{};
  ::GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

std::string ShortDateText(const LocalTime& t) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", t.day, t.month, t.year);
  return buf;
}

void SleepMs(std::uint32_t ms) { ::Sleep(ms); }

}  // namespace pw::platform
