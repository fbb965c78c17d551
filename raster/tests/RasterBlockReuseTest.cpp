// Big blocks are kept after Destroy and handed out again by Create: a reused block must look
// exactly like a new one, and must never be handed out for a bigger picture.
#include "raster/Raster.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

namespace {

// Every byte after the header (palette and pixels) is zero.
bool BlockIsZeroAfterHeader(const CRaster& image)
{
    const uint8_t* bytes = image.dib + sizeof(BITMAPINFOHEADER);
    const size_t count = image.BlockSize() - sizeof(BITMAPINFOHEADER);
    return std::all_of(bytes, bytes + count, [](uint8_t b) { return b == 0; });
}

void Scribble(CRaster& image)
{
    std::memset(image.dib + sizeof(BITMAPINFOHEADER), 0xA5,
                image.BlockSize() - sizeof(BITMAPINFOHEADER));
}

} // namespace

TEST(RasterBlockReuse, BlocksOfEarlierPicturesComeBackZeroFilled)
{
    CRaster::ReleaseSpareBlocks();
    // 24-bit, then 8-bit with a palette, of about the same size; all big enough to be kept.
    struct Step { int32_t w, h; int bits; };
    const Step steps[] = {{2000, 1500, 24}, {2000, 1500, 24}, {3000, 3000, 8}, {2000, 1500, 24},
                          {1999, 1501, 24}};
    const uint8_t* previous = nullptr;
    bool anyReused = false;
    for (const Step& s : steps) {
        CRaster image(s.w, s.h, s.bits, RasterFormatBMP);
        ASSERT_TRUE(image.IsValid());
        anyReused = anyReused || image.dib == previous;
        EXPECT_TRUE(BlockIsZeroAfterHeader(image)) << s.w << "x" << s.h << "x" << s.bits;
        BITMAPINFOHEADER stored;
        std::memcpy(&stored, image.dib, sizeof stored);
        EXPECT_EQ(stored.biWidth, s.w);
        EXPECT_EQ(stored.biHeight, s.h);
        EXPECT_EQ(stored.biBitCount, s.bits);
        Scribble(image);
        previous = image.dib;
    }
    // The point of keeping blocks: the same size is served from the kept one.
    EXPECT_TRUE(anyReused);
}

TEST(RasterBlockReuse, ABlockIsNeverReusedForABiggerOrMuchSmallerPicture)
{
    CRaster::ReleaseSpareBlocks();
    const uint8_t* kept = nullptr;
    {
        CRaster image(2000, 1500, 24, RasterFormatBMP);
        Scribble(image);
        kept = image.dib;
    }
    // Bigger by one row: writing its last byte would overrun the kept block (ASan would see it).
    CRaster bigger(2000, 1501, 24, RasterFormatBMP);
    ASSERT_TRUE(bigger.IsValid());
    EXPECT_NE(bigger.dib, kept);
    bigger.Row(bigger.Height() - 1)[bigger.rowStride - 1] = 1;
    EXPECT_TRUE(std::all_of(bigger.Row(0), bigger.Row(0) + bigger.rowStride,
                            [](uint8_t b) { return b == 0; }));
    // Half the size would pin twice the memory it needs.
    CRaster smaller(2000, 750, 24, RasterFormatBMP);
    EXPECT_NE(smaller.dib, kept);
    CRaster same(2000, 1500, 24, RasterFormatBMP);
    EXPECT_EQ(same.dib, kept);
    EXPECT_TRUE(BlockIsZeroAfterHeader(same));
}

TEST(RasterBlockReuse, TakeOverAndCreateOverAPictureHandTheirBlocksBack)
{
    CRaster::ReleaseSpareBlocks();
    CRaster target(2000, 1500, 24, RasterFormatBMP);
    Scribble(target);
    const uint8_t* oldBlock = target.dib;
    CRaster decoded(2000, 1500, 24, RasterFormatBMP);
    target.TakeOver(decoded); // frees target's old block
    CRaster next(2000, 1500, 24, RasterFormatBMP);
    EXPECT_EQ(next.dib, oldBlock);
    EXPECT_TRUE(BlockIsZeroAfterHeader(next));
    Scribble(next);
    next.Create(2000, 1500, 24, RasterFormatBMP); // Create over a picture destroys it first
    EXPECT_TRUE(BlockIsZeroAfterHeader(next));
}

TEST(RasterBlockReuse, ThreadsCreatingAndDestroyingAtOnceGetZeroedBlocksOfTheirOwn)
{
    CRaster::ReleaseSpareBlocks();
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &failures] {
            for (int i = 0; i < 6; ++i) {
                CRaster image(2000 + t, 1500, 24, RasterFormatBMP);
                if (!image.IsValid() || !BlockIsZeroAfterHeader(image))
                    ++failures[size_t(t)];
                else
                    Scribble(image); // a block shared by two threads would show the other's bytes
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures, std::vector<int>(4, 0));
    CRaster::ReleaseSpareBlocks();
}
