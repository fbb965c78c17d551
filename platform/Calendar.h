// Calendar parts of a moment, in UTC or in the local time zone.
#pragma once

#include <cstdint>

namespace platform {

struct CalendarTime {
    int year = 0, month = 0, day = 0; // month and day from 1
    int hour = 0, minute = 0, second = 0;
    int weekday = 0;                  // 0 = Sunday
};

// Seconds since 1970-01-01 00:00 UTC as calendar parts; false when out of range.
bool CalendarFromUnix(int64_t seconds, bool local, CalendarTime& out);
// Local calendar parts (year, month, day, hour, minute, second; weekday ignored) as seconds since
// 1970, daylight saving decided by the system's rules for that moment; false when out of range.
bool UnixFromLocalCalendar(const CalendarTime& parts, int64_t& seconds);

} // namespace platform
