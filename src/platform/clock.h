// Time: the millisecond tick counter and the local wall clock.
#pragma once

#include <cstdint>
#include <string>

namespace pw::platform {

// Milliseconds since an arbitrary start, wrapping at 2^32 like the Windows
// tick counter; differences of two ticks are meaningful, not the values.
std::uint32_t TickCount();

struct LocalTime {
  int year, month, day;  // month and day from 1
  int hour, minute, second, millisecond;
};

LocalTime Now();

// The date in the system's short date format: "dd.mm.yyyy" with the Russian
// settings the stations run with.
std::string ShortDateText(const LocalTime& t);

void SleepMs(std::uint32_t ms);

}  // namespace pw::platform
