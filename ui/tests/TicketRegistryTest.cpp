// The registry of live objects: tickets, liveness by pointer and by ticket, compaction.
#include "ui/TicketRegistry.h"

#include <gtest/gtest.h>

#include <vector>

TEST(TicketRegistry, ZeroAndUnknownTicketsAreNeverAlive)
{
    EXPECT_EQ(IsTicketAlive(0), 0);
    EXPECT_EQ(IsPointerAlive(nullptr), 0);
    const int before = TicketRecordCount();
    ReleaseTicket(0);
    ReleaseTicket(0x7FFFFFF0); // no record holds it
    EXPECT_EQ(TicketRecordCount(), before);
}

TEST(TicketRegistry, CompactionAtTheFiftiethReleaseKeepsAnswers)
{
    // Other tests of this process may have released tickets: release throwaway ones until a
    // compaction shows, after which the count of releases stands at exactly one.
    int throwaway = 0;
    for (int guard = 0; guard < 200; ++guard) {
        const int before = TicketRecordCount();
        ReleaseTicket(RegisterTicket(&throwaway));
        if (TicketRecordCount() <= before)
            break;
    }
    std::vector<int> objects(60);
    std::vector<int32_t> tickets;
    for (int& o : objects)
        tickets.push_back(RegisterTicket(&o));
    for (int32_t t : tickets)
        EXPECT_NE(t, 0);
    // Release 49 more: the release count reaches 50, so the next release compacts first.
    for (int i = 0; i < 49; ++i)
        ReleaseTicket(tickets[size_t(i)]);
    std::vector<int> aliveBefore;
    for (int& o : objects)
        aliveBefore.push_back(IsPointerAlive(&o));
    const int countBefore = TicketRecordCount();
    ReleaseTicket(tickets[49]); // compacts the 49 dead records, then releases one more
    EXPECT_LE(TicketRecordCount(), countBefore - 49);
    for (size_t i = 0; i < objects.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(IsPointerAlive(&objects[i]), i == 49 ? 0 : aliveBefore[i]);
        EXPECT_EQ(IsTicketAlive(tickets[i]), i <= 49 ? 0 : 1);
    }
    for (size_t i = 50; i < objects.size(); ++i)
        ReleaseTicket(tickets[i]);
}

TEST(TicketRegistry, RecycledAddressIsAliveAgainButTheOldTicketIsNot)
{
    int object = 0;
    const int32_t first = RegisterTicket(&object);
    ReleaseTicket(first);
    EXPECT_EQ(IsPointerAlive(&object), 0);
    const int32_t second = RegisterTicket(&object); // a new object at the same address
    EXPECT_EQ(IsPointerAlive(&object), 1);
    EXPECT_NE(first, second);
    EXPECT_EQ(TicketOfPointer(&object), second);
    // What delivery checks: a record posted to the first object must not reach the second.
    EXPECT_EQ(IsTicketFor(first, &object), 0);
    EXPECT_EQ(IsTicketFor(second, &object), 1);
    int other = 0;
    EXPECT_EQ(IsTicketFor(second, &other), 0);
    ReleaseTicket(second);
}

TEST(TicketRegistry, ManyRecordsReleasedInMixedOrderKeepEveryAnswer)
{
    // Thousands of neighbouring addresses (an item array) fill the tables well past their first
    // size; releases in a scrambled order exercise the removal of cells in the middle of runs.
    constexpr int kCount = 6000;
    std::vector<int64_t> objects(kCount);
    std::vector<int32_t> tickets(kCount);
    for (int i = 0; i < kCount; ++i)
        tickets[size_t(i)] = RegisterTicket(&objects[size_t(i)]);
    std::vector<bool> alive(kCount, true);
    uint32_t seed = 12345;
    for (int round = 0; round < 4; ++round) {
        for (int k = 0; k < kCount / 5; ++k) {
            seed = seed * 1664525u + 1013904223u;
            const size_t i = (seed >> 8) % kCount;
            if (!alive[i])
                continue;
            ReleaseTicket(tickets[i]);
            alive[i] = false;
        }
        for (int i = 0; i < kCount; ++i) {
            ASSERT_EQ(IsPointerAlive(&objects[size_t(i)]), alive[size_t(i)] ? 1 : 0) << "round " << round << " item " << i;
            ASSERT_EQ(IsTicketFor(tickets[size_t(i)], &objects[size_t(i)]), alive[size_t(i)] ? 1 : 0) << i;
        }
    }
    for (int i = 0; i < kCount; ++i)
        if (alive[size_t(i)])
            ReleaseTicket(tickets[size_t(i)]);
    for (int i = 0; i < kCount; ++i)
        EXPECT_EQ(IsPointerAlive(&objects[size_t(i)]), 0);
}

TEST(TicketRegistry, TwoAliveRecordsOfOnePointerAnswerNewestThenOlder)
{
    int object = 0;
    const int32_t older = RegisterTicket(&object);
    const int32_t newer = RegisterTicket(&object);
    EXPECT_EQ(TicketOfPointer(&object), newer);
    ReleaseTicket(newer);
    EXPECT_EQ(TicketOfPointer(&object), older);
    EXPECT_EQ(IsPointerAlive(&object), 1);
    ReleaseTicket(older);
    EXPECT_EQ(IsPointerAlive(&object), 0);
}
