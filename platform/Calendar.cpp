#include "platform/Calendar.h"

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

} // namespace platform
