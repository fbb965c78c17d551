#include "imaging/ColourTables.h"
#include "imaging/ImageBuffer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

struct Image8 {
    ImageBuffer8 b;
    Image8() = default;
    Image8(int w, int h) { EXPECT_EQ(AllocImage8(b, w, h), 1); }
    ~Image8() { FreeImageBuffer(b); }
    uint8_t* at(int x, int y) { return b.data + (size_t(y) * b.width + x) * 4; }
    void fill(uint8_t v) { std::memset(b.data, v, b.byteSize); }
    void random(uint32_t seed)
    {
        std::mt19937 rng(seed);
        for (uint32_t i = 0; i < b.byteSize; ++i)
            b.data[i] = uint8_t(rng());
    }
};

} // namespace

TEST(ImageResample, BoxResizeCopiesEnlargesAndAverages)
{
    Image8 src(4, 4);
    src.random(1);

    // n = 1, same size, no rectangle: an exact copy.
    Image8 copy;
    ASSERT_EQ(ResizeImage8(src.b, copy.b, 4, 4, 1), 1);
    EXPECT_EQ(0, std::memcmp(copy.b.data, src.b.data, src.b.byteSize));

    // The top-left quarter at the full output size: every pixel doubled both ways.
    Image8 big;
    ASSERT_EQ(ResizeImage8(src.b, big.b, 4, 4, 1, 0, 0, 2, 2), 1);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(0, std::memcmp(big.at(x, y), src.at(x / 2, y / 2), 4)) << x << "," << y;

    // n = 2 from 4 x 4 to 2 x 2: truncated mean of each 2 x 2 block, alpha included.
    Image8 half;
    ASSERT_EQ(ResizeImage8(src.b, half.b, 2, 2, 2), 1);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            for (int c = 0; c < 4; ++c) {
                const int sum = src.at(2 * x, 2 * y)[c] + src.at(2 * x + 1, 2 * y)[c] +
                                src.at(2 * x, 2 * y + 1)[c] + src.at(2 * x + 1, 2 * y + 1)[c];
                EXPECT_EQ(half.at(x, y)[c], sum / 4) << x << "," << y << " channel " << c;
            }

    // Size 0 counts as 1; resizing in place works.
    Image8 one;
    ASSERT_EQ(ResizeImage8(src.b, one.b, 0, 0, 1), 1);
    EXPECT_EQ(one.b.width, 1);
    EXPECT_EQ(one.b.height, 1);
    EXPECT_EQ(0, std::memcmp(one.b.data, src.b.data, 4));
    Image8 inPlace(4, 4);
    std::memcpy(inPlace.b.data, src.b.data, src.b.byteSize);
    ASSERT_EQ(ResizeImage8(inPlace.b, inPlace.b, 2, 2, 2), 1);
    EXPECT_EQ(0, std::memcmp(inPlace.b.data, half.b.data, half.b.byteSize));
}

TEST(ImageResample, BoxResizeRefusesOrClipsBadArguments)
{
    Image8 src(4, 4);
    src.random(2);
    Image8 out;
    struct Case { int w, h, n, l, t, r, b; int result; const char* why; };
    const Case cases[] = {
        {2, 2, 0, 0, 0, 0, 0, 0, "no samples"},
        {-3, 2, 1, 0, 0, 0, 0, 0, "negative width"},
        {2, 2, 1, 3, 0, 1, 4, 0, "rectangle with right left of left"},
        {8, 8, 2, -5, -5, 100, 100, 1, "rectangle beyond the image is clipped"},
        {3, 3, 3, 4, 4, 9, 9, 1, "rectangle wholly outside keeps to the last pixel"},
        {INT32_MAX, 2, 1, 0, 0, 0, 0, 0, "output too large to allocate: refused before the tables"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(ResizeImage8(src.b, out.b, c.w, c.h, c.n, c.l, c.t, c.r, c.b), c.result);
    }
    EXPECT_EQ(ResizeImage8(ImageBuffer8{}, out.b, 2, 2, 1), 0);
}

TEST(ImageResample, SixteenBitBoxResizeAveragesBeforeConverting)
{
    BuildGammaTables();
    ImageBuffer16 src;
    ASSERT_EQ(AllocImage16(src, 2, 2), 1);
    const uint16_t px[16] = {1000, 2000, 3000, 0xFFFF, 1001, 2000, 3000, 0xFFFF,
                             1003, 2003, 3003, 0x7FFF, 1000, 2000, 3000, 0xFFFF};
    std::memcpy(src.data, px, sizeof(px));
    Image8 out;
    ASSERT_EQ(ResizeImage16To8(src, out.b, 1, 1, 2), 1);
    const uint16_t mean[4] = {uint16_t((1000 + 1001 + 1003 + 1000) / 4), 2000, 3000,
                              uint16_t((3 * 0xFFFF + 0x7FFF) / 4)};
    uint8_t expected[4];
    ConvertPixel16To8(mean, expected);
    EXPECT_EQ(0, std::memcmp(out.b.data, expected, 4));

    // Same size without a rectangle converts the whole image.
    ASSERT_EQ(ResizeImage16To8(src, out.b, 2, 2, 1), 1);
    ConvertPixel16To8(px + 8, expected);
    EXPECT_EQ(0, std::memcmp(out.at(0, 1), expected, 4));
    FreeImageBuffer(src);
}

TEST(ImageResample, BilinearWeightsAndEdges)
{
    // All white: the weights add up to 255, so every channel comes out as 253.
    Image8 white(3, 3);
    white.fill(255);
    Image8 up(5, 5);
    ASSERT_EQ(ResizeImage8Bilinear(white.b, up.b, 5, 5), 1);
    for (uint32_t i = 0; i < up.b.byteSize; ++i)
        ASSERT_EQ(up.b.data[i], 253) << "byte " << i;
    // The two row terms are truncated separately: at a row fraction of 170/256 white loses
    // one more level (84 + 168).
    Image8 white5(5, 5);
    white5.fill(255);
    Image8 up7(7, 7);
    ASSERT_EQ(ResizeImage8Bilinear(white5.b, up7.b, 7, 7), 1);
    EXPECT_EQ(up7.at(0, 0)[0], 253);
    EXPECT_EQ(up7.at(0, 1)[0], 252);

    // A 2 x 1 ramp to 3 x 2: the middle column is half-way, the right edge has no neighbour.
    // The source has one row, so every output row uses that row alone.
    Image8 ramp(2, 1);
    ramp.fill(0);
    std::memset(ramp.at(1, 0), 255, 4);
    Image8 wide(3, 2);
    wide.fill(0xEE);
    ASSERT_EQ(ResizeImage8Bilinear(ramp.b, wide.b, 3, 2), 1);
    const uint8_t expected[3] = {0, 127, 253};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(wide.at(x, y)[0], expected[x]) << x << "," << y;

    // A size of 1 samples the first pixel instead of dividing by zero.
    Image8 column(1, 3);
    ASSERT_EQ(ResizeImage8Bilinear(white.b, column.b, 1, 3), 1);
    EXPECT_EQ(column.at(0, 0)[0], 253);

    // A source extent smaller than the image reads only inside it.
    Image8 two(2, 2);
    ASSERT_EQ(ResizeImage8Bilinear(white.b, two.b, 2, 2, 1, 1), 1);
    EXPECT_EQ(two.at(1, 1)[0], 253);

    struct Case { int dw, dh, w, h, sw, sh; const char* why; };
    const Case refused[] = {
        {3, 3, 4, 4, -1, -1, "destination of another size"},
        {3, 3, 0, 3, -1, -1, "width 0"},
        {3, 3, 3, 3, 9, -1, "source extent wider than the image"},
        {3, 3, 3, 3, 0, -1, "source extent 0"},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.why);
        Image8 d(c.dw, c.dh);
        EXPECT_EQ(ResizeImage8Bilinear(white.b, d.b, c.w, c.h, c.sw, c.sh), 0);
    }
    Image8 tooWide(10001, 1);
    EXPECT_EQ(ResizeImage8Bilinear(white.b, tooWide.b, 10001, 1), 0);
}

TEST(ImageResample, PlaneResize)
{
    Plane8 src, dst;
    ASSERT_EQ(AllocPlane8(src, 2, 2), 1);
    const uint8_t v[4] = {0, 255, 255, 0};
    std::memcpy(src.data, v, 4);
    ASSERT_EQ(ResizePlane8(src, dst, 3, 3), 1);
    ASSERT_EQ(dst.width, 3);
    // (1,1) sits half-way between all four: 63 from the top pair, 63 from the bottom pair.
    EXPECT_EQ(dst.data[4], 126);
    EXPECT_EQ(dst.data[2], 253);  // right edge: (1,0) with (1,1) at weight 0
    EXPECT_EQ(dst.data[8], 0);
    // Shrinking works as well (bilinear, the result callers get).
    ASSERT_EQ(ResizePlane8(src, dst, 1, 1), 1);
    EXPECT_EQ(dst.width, 1);
    EXPECT_EQ(ResizePlane8(src, dst, 20001, 2), 0);
    FreePlane8(src);
    FreePlane8(dst);
}

namespace {

// The blur as first described: horizontal half-width r, then an in-place vertical pass
// column by column with half-width T, dividing by the used weights at the edges.
void ReferenceBlur(const Image8& src, Image8& out, int r)
{
    int64_t raw[16] = {};
    int T = 16;
    for (int k = 0; k < 16; ++k) {
        raw[k] = int64_t(1024.0 * std::pow(2.7188282, -double(k * k) / (2.0 * r * r)));
        if (raw[k] == 0) { T = k; break; }
    }
    int64_t S = raw[0];
    for (int k = 1; k < T; ++k)
        S += 2 * raw[k];
    int w[16] = {};
    for (int k = 0; k < T; ++k)
        w[k] = int(raw[k] * 2048 / S);
    const int W = src.b.width, H = src.b.height;
    auto pass = [&](auto get, auto put, int n, int h) {
        std::vector<int> line(size_t(n) * 4);
        for (int i = 0; i < n; ++i)
            for (int c = 0; c < 4; ++c)
                line[size_t(i) * 4 + c] = get(i, c);
        for (int i = 0; i < n; ++i)
            for (int c = 0; c < 4; ++c) {
                int sum = 0, ws = 0;
                for (int d = -(h - 1); d <= h - 1; ++d)
                    if (i + d >= 0 && i + d < n) {
                        sum += line[size_t(i + d) * 4 + c] * w[std::abs(d)];
                        ws += w[std::abs(d)];
                    }
                put(i, c, (i - h + 1 >= 0 && i + h <= n) ? sum >> 11 : sum / ws);
            }
    };
    for (int y = 0; y < H; ++y)
        pass([&](int x, int c) { return int(const_cast<Image8&>(src).at(x, y)[c]); },
             [&](int x, int c, int v) { out.at(x, y)[c] = uint8_t(v); }, W, r);
    for (int x = 0; x < W; ++x)
        pass([&](int y, int c) { return int(out.at(x, y)[c]); },
             [&](int y, int c, int v) { out.at(x, y)[c] = uint8_t(v); }, H, T);
}

} // namespace

TEST(ImageResample, BlurOfUniformGreyDarkensAsWeighted)
{
    // r = 1: weights 817, 496, 110, 8 (T = 4). The horizontal pass keeps only the centre:
    // 100 * 817 >> 11 = 39. Vertically the inner rows get 39 * 2045 >> 11 = 38 and the three
    // rows at each end, divided by the weights they use, stay 39.
    Image8 grey(8, 8);
    grey.fill(100);
    Image8 out;
    ASSERT_EQ(BlurImage8(grey.b, out.b, 1), 1);
    const int expectedRow[8] = {39, 39, 39, 38, 38, 39, 39, 39};
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            for (int c = 0; c < 4; ++c)
                ASSERT_EQ(out.at(x, y)[c], expectedRow[y]) << x << "," << y;
}

TEST(ImageResample, BlurMatchesReferenceForEveryRadius)
{
    struct Size { int w, h; };
    // 1100 wide crosses the blocks the sums are taken in.
    for (Size s : {Size{13, 37}, Size{40, 5}, Size{1, 1}, Size{3, 70}, Size{1100, 2}}) {
        Image8 src(s.w, s.h);
        src.random(uint32_t(s.w * 100 + s.h));
        for (int r = 1; r <= 16; ++r) {
            SCOPED_TRACE(testing::Message() << s.w << "x" << s.h << " radius " << r);
            Image8 expected(s.w, s.h);
            ReferenceBlur(src, expected, r);
            Image8 out;
            ASSERT_EQ(BlurImage8(src.b, out.b, r), 1);
            ASSERT_EQ(0, std::memcmp(out.b.data, expected.b.data, expected.b.byteSize));
            // In place gives the same.
            Image8 inPlace(s.w, s.h);
            std::memcpy(inPlace.b.data, src.b.data, src.b.byteSize);
            ASSERT_EQ(BlurImage8(inPlace.b, inPlace.b, r), 1);
            ASSERT_EQ(0, std::memcmp(inPlace.b.data, expected.b.data, expected.b.byteSize));
        }
    }
    Image8 src(4, 4);
    Image8 out;
    EXPECT_EQ(BlurImage8(src.b, out.b, 0), 0);
    EXPECT_EQ(BlurImage8(src.b, out.b, 17), 0);
    EXPECT_EQ(BlurImage8(ImageBuffer8{}, out.b, 1), 0);
}

TEST(ImageResample, TallImagesBlurWithoutAFixedColumnLimit)
{
    Image8 tall(1, 5000);
    tall.fill(200);
    Image8 out;
    ASSERT_EQ(BlurImage8(tall.b, out.b, 2), 1);
    EXPECT_EQ(out.at(0, 4999)[0], out.at(0, 0)[0]);
}

TEST(ImageResample, BoxPositionsTruncate)
{
    // Positions are left + i (right - left) / (n new size), truncated. One row of 3 pixels to
    // 2 pixels at 2 x 2 samples: x = 0, 0, 1, 2, so the first output is pixel 0 alone and the
    // second the truncated mean of pixels 1 and 2. With n = 1 and a rectangle from 1 to 3 into
    // 3 pixels: x = 1 + i 2 / 3 = 1, 1, 2.
    Image8 src(3, 1);
    const uint8_t v[3] = {10, 20, 31};
    for (int x = 0; x < 3; ++x)
        std::memset(src.at(x, 0), v[x], 4);
    struct Case { int newWidth, n, left, right; std::vector<uint8_t> expected; };
    const Case cases[] = {
        {2, 2, 0, 0, {10, 25}},
        {3, 1, 1, 3, {20, 20, 31}},
        // x = i 3 / 12 = 0,0,0, 0,1,1, 1,1,2, 2,2,2: means 10, 50 / 3, 71 / 3, 31.
        {4, 3, 0, 0, {10, 16, 23, 31}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "width " << c.newWidth << " n " << c.n);
        Image8 out;
        ASSERT_EQ(ResizeImage8(src.b, out.b, c.newWidth, 1, c.n, c.left, 0, c.right, 1), 1);
        ASSERT_EQ(out.b.width, c.newWidth);
        for (int x = 0; x < c.newWidth; ++x)
            EXPECT_EQ(out.at(x, 0)[0], c.expected[size_t(x)]) << x;
    }
}
