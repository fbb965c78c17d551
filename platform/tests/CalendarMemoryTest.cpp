#include "platform/Calendar.h"
#include "platform/Memory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>

using namespace platform;

TEST(Calendar, UtcPartsOfKnownMoments)
{
    struct Case { int64_t seconds; int year, month, day, hour, minute, second, weekday; };
    const Case cases[] = {
        { 0, 1970, 1, 1, 0, 0, 0, 4 },
        { 951782400, 2000, 2, 29, 0, 0, 0, 2 },          // a leap day
        { 1700000000, 2023, 11, 14, 22, 13, 20, 2 },
        { -1, 1969, 12, 31, 23, 59, 59, 3 },
        { 4102444799, 2099, 12, 31, 23, 59, 59, 4 },
    };
    for (const Case& c : cases) {
        CalendarTime t;
        ASSERT_TRUE(CalendarFromUnix(c.seconds, false, t)) << c.seconds;
        EXPECT_EQ(t.year, c.year) << c.seconds;
        EXPECT_EQ(t.month, c.month) << c.seconds;
        EXPECT_EQ(t.day, c.day) << c.seconds;
        EXPECT_EQ(t.hour, c.hour) << c.seconds;
        EXPECT_EQ(t.minute, c.minute) << c.seconds;
        EXPECT_EQ(t.second, c.second) << c.seconds;
        EXPECT_EQ(t.weekday, c.weekday) << c.seconds;
    }
    // Local time differs from UTC by whole quarter hours at most a day apart.
    CalendarTime local, utc;
    ASSERT_TRUE(CalendarFromUnix(1700000000, true, local));
    ASSERT_TRUE(CalendarFromUnix(1700000000, false, utc));
    EXPECT_EQ(local.second, utc.second);
    EXPECT_LE(std::abs(local.day - utc.day), 31);
}

TEST(Memory, PopulatedPagesKeepTheirContents)
{
    const size_t page = MemoryPageSize();
    ASSERT_GE(page, 4096u);
    ASSERT_EQ(page & (page - 1), 0u) << "a power of two";
    const size_t bytes = page * 16;
    void* raw = std::aligned_alloc(page, bytes);
    ASSERT_NE(raw, nullptr);
    std::unique_ptr<void, void (*)(void*)> block(raw, std::free);
    auto* p = static_cast<uint8_t*>(raw);
    std::memset(p, 0x5A, page); // the first page in memory, with data
    // Kernels before 5.14 refuse the request; either way nothing changes.
    PopulatePagesForWrite(p, bytes);
    EXPECT_EQ(p[0], 0x5A);
    EXPECT_EQ(p[page - 1], 0x5A);
    EXPECT_TRUE(IsPageResident(p + 17));
    EXPECT_TRUE(PopulatePagesForWrite(p, 0));
}

TEST(Calendar, LocalMidnightInAFixedZone)
{
    // Fixed offsets from zone strings, so no time-zone database is needed; TZ comes back after.
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    struct Case { const char* zone; int64_t midnight; };
    // 2026-03-18 00:00 local.
    const Case cases[] = {
        { "UTC0", 1773792000 },
        { "JST-9", 1773792000 - 9 * 3600 },
        { "EST5", 1773792000 + 5 * 3600 },
    };
    for (const Case& c : cases) {
        setenv("TZ", c.zone, 1);
        tzset();
        int64_t s = 0;
        ASSERT_TRUE(UnixFromLocalCalendar(CalendarTime{2026, 3, 18, 0, 0, 0}, s)) << c.zone;
        EXPECT_EQ(s, c.midnight) << c.zone;
        CalendarTime back;
        ASSERT_TRUE(CalendarFromUnix(s, true, back));
        EXPECT_EQ(back.day, 18) << c.zone;
        EXPECT_EQ(back.hour, 0) << c.zone;
    }
    if (old)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}
