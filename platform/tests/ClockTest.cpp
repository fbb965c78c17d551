#include "platform/Clock.h"
#include "platform/Thread.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(Clock, SystemClockMovesForward)
{
    uint64_t a = GetTickCount64();
    SleepMs(15);
    uint64_t b = GetTickCount64();
    EXPECT_GE(b - a, 10u);
    EXPECT_LT(GetTickCount32() - static_cast<uint32_t>(GetTickCount64()), 1000u);
}

TEST(Clock, InjectedSourceReplacesTheSystemClockAndIsRestored)
{
    uint64_t before = GetTickCount64();
    {
        ManualTickSource fake(0xFFFFFFF0ull);
        ScopedTickSource use(fake);
        EXPECT_EQ(GetTickCount64(), 0xFFFFFFF0ull);
        uint32_t start = GetTickCount32();
        fake.Advance(0x20);
        // The 32-bit count wrapped; the elapsed time across the wrap is still right.
        EXPECT_EQ(GetTickCount32(), 0x10u);
        EXPECT_EQ(TicksSince(start), 0x20u);
        EXPECT_EQ(GetTickCount64(), 0x100000010ull);
    }
    EXPECT_GE(GetTickCount64(), before);
    EXPECT_LT(GetTickCount64() - before, 60000u);
}
