#include "platform/Calendar.h"

#include <cerrno>
#include <ctime>

namespace platform {

bool CalendarFromUnix(int64_t seconds, bool local, CalendarTime& out)
{
    const time_t t = static_cast<time_t>(seconds);
    if (static_cast<int64_t>(t) != seconds)
        return false;
    std::tm parts {};
    if (!(local ? localtime_r(&t, &parts) : gmtime_r(&t, &parts)))
        return false;
    out.year = parts.tm_year + 1900;
    out.month = parts.tm_mon + 1;
    out.day = parts.tm_mday;
    out.hour = parts.tm_hour;
    out.minute = parts.tm_min;
    out.second = parts.tm_sec;
    out.weekday = parts.tm_wday;
    return true;
}

bool UnixFromLocalCalendar(const CalendarTime& parts, int64_t& seconds)
{
    std::tm t {};
    t.tm_year = parts.year - 1900;
    t.tm_mon = parts.month - 1;
    t.tm_mday = parts.day;
    t.tm_hour = parts.hour;
    t.tm_min = parts.minute;
    t.tm_sec = parts.second;
    t.tm_isdst = -1;
    errno = 0;
    const time_t r = std::mktime(&t);
    // -1 is also one second before 1970; only errno tells the two apart.
    if (r == time_t(-1) && errno != 0)
        return false;
    seconds = static_cast<int64_t>(r);
    return true;
}

} // namespace platform
