// The spare-block cache of the hot paths: blocks are reused, the cache stays within its bounds
// however much is given back, and ReleaseScratch empties it.
#include "algorithms/ScratchCache.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

namespace {

class ScratchCacheTest : public ::testing::Test {
protected:
    void SetUp() override { ReleaseScratch(); }
    void TearDown() override { ReleaseScratch(); }
};

TEST_F(ScratchCacheTest, GivenBackBlockIsReusedForTheSameOrANearSize)
{
    void* first;
    {
        ScratchBlock b(300000);
        ASSERT_TRUE(b);
        EXPECT_GE(b.size(), 300000u);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(b.data()) % 64, 0u);
        std::memset(b.data(), 1, 300000);
        first = b.data();
    }
    EXPECT_EQ(ScratchCachedBlocks(), 1);
    ScratchBlock again(290000);
    EXPECT_EQ(again.data(), first);
    EXPECT_EQ(ScratchCachedBlocks(), 0);
    EXPECT_EQ(ScratchCachedBytes(), 0u);
}

TEST_F(ScratchCacheTest, SmallNeedIsNotServedByAFarLargerBlock)
{
    void* big;
    {
        ScratchBlock b(size_t{8} << 20);
        big = b.data();
    }
    ScratchBlock small(4096);
    ASSERT_TRUE(small);
    EXPECT_NE(small.data(), big);
    EXPECT_EQ(ScratchCachedBlocks(), 1); // the big one still waits for a big need
}

TEST_F(ScratchCacheTest, StaysWithinItsBoundsAndReleasesEverything)
{
    struct Case {
        size_t bytes;
        int blocks;
    };
    const Case cases[] = {
        {size_t{9} << 20, 20},  // more bytes than the bound
        {4096, 3 * kScratchCacheBlocks}, // more blocks than the bound
        {kScratchCacheBytes + 1, 2},     // each larger than the whole cache: never kept
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        {
            std::vector<ScratchBlock> held;
            for (int i = 0; i < c.blocks; ++i) {
                held.emplace_back(c.bytes);
                ASSERT_TRUE(held.back());
            }
        } // all given back at once
        EXPECT_LE(ScratchCachedBytes(), kScratchCacheBytes);
        EXPECT_LE(ScratchCachedBlocks(), kScratchCacheBlocks);
        if (c.bytes > kScratchCacheBytes)
            EXPECT_EQ(ScratchCachedBlocks(), 0);
        else
            EXPECT_GT(ScratchCachedBlocks(), 0);
        ReleaseScratch();
        EXPECT_EQ(ScratchCachedBytes(), 0u);
        EXPECT_EQ(ScratchCachedBlocks(), 0);
    }
}

TEST_F(ScratchCacheTest, MovedBlockGoesBackOnce)
{
    ScratchBlock a(100000);
    ScratchBlock b(std::move(a));
    EXPECT_FALSE(a);
    ScratchBlock c;
    c = std::move(b);
    c.Reset();
    a.Reset();
    b.Reset();
    EXPECT_EQ(ScratchCachedBlocks(), 1);
    EXPECT_TRUE(c.Take(0));
    EXPECT_FALSE(c);
}

TEST_F(ScratchCacheTest, ThreadsTakingAndGivingBackKeepTheCountRight)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i) {
                ScratchBlock b(static_cast<size_t>(((t + i) % 5) + 1) << 16);
                if (b)
                    static_cast<unsigned char*>(b.data())[0] = static_cast<unsigned char>(i);
            }
        });
    for (auto& th : threads)
        th.join();
    EXPECT_LE(ScratchCachedBlocks(), kScratchCacheBlocks);
    // Every spare is one of the sizes taken: the byte count must lie between the counts of
    // that many smallest and largest blocks.
    const size_t bytes = ScratchCachedBytes(), blocks = static_cast<size_t>(ScratchCachedBlocks());
    EXPECT_EQ(bytes % (size_t{1} << 16), 0u);
    EXPECT_GE(bytes, blocks << 16);
    EXPECT_LE(bytes, blocks * (size_t{5} << 16));
    EXPECT_GT(blocks, 0u);
}

} // namespace
