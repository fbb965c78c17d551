#include "imaging/ConvolutionKernel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

namespace {

const int32_t kOnes3[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
const int32_t kSharpen[9] = {0, -1, 0, -1, 5, -1, 0, -1, 0};
const int32_t kSmooth5[25] = {1, 2, 2, 2, 1, 2, 4, 4, 4, 2, 2, 4, 8, 4, 2,
                              2, 4, 4, 4, 2, 1, 2, 2, 2, 1};

// Per-pixel reference with clamped positions, as the rule reads.
template <class Pixel>
std::vector<Pixel> Reference(const ConvolutionKernel& k, const Pixel* src, int w, int h, int channels,
                             int used)
{
    std::vector<Pixel> out(src, src + size_t(w) * h * channels);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < used; ++c) {
                int64_t sum = 0;
                for (int ky = 0; ky < k.height; ++ky)
                    for (int kx = 0; kx < k.width; ++kx) {
                        const int sx = std::clamp(x - k.centreX + kx, 0, w - 1);
                        const int sy = std::clamp(y - k.centreY + ky, 0, h - 1);
                        sum += int64_t(k.weights[ky * k.width + kx]) * src[(size_t(sy) * w + sx) * channels + c];
                    }
                const int64_t v = sum / k.divisor;
                out[(size_t(y) * w + x) * channels + c] =
                    Pixel(std::clamp<int64_t>(v, 0, std::numeric_limits<Pixel>::max()));
            }
    return out;
}

} // namespace

TEST(ConvolutionKernel, IdentityAndBorderRepeat16)
{
    const int32_t one[1] = {1};
    const ConvolutionKernel identity{one, 1, 1, 1, 0, 0};
    ImageBuffer16 src, dst;
    ASSERT_EQ(AllocImage16(src, 5, 3), 1);
    std::mt19937 rng(5);
    for (uint32_t i = 0; i < src.pixelCount * 4; ++i)
        src.data[i] = uint16_t(rng());
    ASSERT_EQ(identity.ApplyImage16(src, dst), 1);
    EXPECT_EQ(0, std::memcmp(dst.data, src.data, src.byteSize));

    // White left column, black elsewhere: the repeated border gives 6/9 in column 0 and 3/9
    // in column 1; alpha is copied, not convolved.
    for (uint32_t i = 0; i < src.pixelCount; ++i) {
        const bool left = i % 5 == 0;
        uint16_t* p = src.data + i * 4;
        p[0] = p[1] = p[2] = left ? 65535 : 0;
        p[3] = uint16_t(i);
    }
    const ConvolutionKernel box{kOnes3, 9, 3, 3, 1, 1};
    ASSERT_EQ(box.ApplyImage16(src, dst), 1);
    for (int y = 0; y < 3; ++y) {
        const uint16_t* row = dst.data + size_t(y) * 5 * 4;
        EXPECT_EQ(row[0], 43690) << "row " << y;
        EXPECT_EQ(row[4 + 2], 21845) << "row " << y;
        EXPECT_EQ(row[8 + 1], 0) << "row " << y;
        EXPECT_EQ(row[3], uint16_t(y * 5)) << "alpha";
    }
    FreeImageBuffer(src);
    FreeImageBuffer(dst);
}

TEST(ConvolutionKernel, SharpenClampsBothWays16)
{
    ImageBuffer16 src, dst;
    ASSERT_EQ(AllocImage16(src, 3, 3), 1);
    for (uint32_t i = 0; i < 9; ++i) {
        uint16_t* p = src.data + i * 4;
        p[0] = p[1] = p[2] = (i == 4) ? 60000 : 30000;  // bright centre
        p[3] = 0xFFFF;
    }
    const ConvolutionKernel sharpen{kSharpen, 1, 3, 3, 1, 1};
    ASSERT_EQ(sharpen.ApplyImage16(src, dst), 1);
    EXPECT_EQ(dst.data[4 * 4], 65535);       // 5 * 60000 - 4 * 30000 overshoots
    EXPECT_EQ(dst.data[1 * 4], 0);           // 5 * 30000 - 60000 - 3 * 30000 = 0
    EXPECT_EQ(dst.data[0], 30000);           // corner: 5*30000 - 4*30000 with repeats
    // In place gives the same as into another image.
    ASSERT_EQ(sharpen.ApplyImage16(src, src), 1);
    EXPECT_EQ(0, std::memcmp(src.data, dst.data, dst.byteSize));
    FreeImageBuffer(src);
    FreeImageBuffer(dst);
}

TEST(ConvolutionKernel, PlaneLeftColumn)
{
    Plane16 src, dst;
    ASSERT_EQ(AllocPlane16(src, 4, 3), 1);
    ASSERT_EQ(AllocPlane16(dst, 4, 3), 1);
    for (int i = 0; i < 12; ++i)
        src.data[i] = i % 4 == 0 ? 1000 : 0;
    const ConvolutionKernel box{kOnes3, 9, 3, 3, 1, 1};
    ASSERT_EQ(box.ApplyPlane16(src, dst), 1);
    for (int y = 0; y < 3; ++y) {
        EXPECT_EQ(dst.data[y * 4 + 0], 666);
        EXPECT_EQ(dst.data[y * 4 + 1], 333);
        EXPECT_EQ(dst.data[y * 4 + 2], 0);
    }
    FreePlane16(src);
    FreePlane16(dst);
}

TEST(ConvolutionKernel, MatchesReferenceAcrossSizesAndCentres)
{
    const int32_t asym[6] = {3, 0, -1, 2, 7, 1};  // 3 x 2, zero weight, negative weight
    struct K { const int32_t* w; int div, kw, kh, cx, cy; };
    const K kernels[] = {
        {kSmooth5, 68, 5, 5, 2, 2},
        {kOnes3, 9, 3, 3, 0, 0},
        {kOnes3, 9, 3, 3, 2, 2},
        {asym, 11, 3, 2, 1, 0},
        {asym, -3, 3, 2, 2, 1},
        {kSharpen, 1, 3, 3, 1, 1},
    };
    struct Size { int w, h; };
    std::mt19937 rng(11);
    // 600 wide crosses the blocks the interior is summed in.
    for (Size s : {Size{1, 1}, Size{2, 7}, Size{5, 5}, Size{6, 5}, Size{33, 9}, Size{600, 3}}) {
        ImageBuffer8 src8, dst8;
        ImageBuffer16 src16, dst16;
        ASSERT_EQ(AllocImage8(src8, s.w, s.h), 1);
        ASSERT_EQ(AllocImage8(dst8, s.w, s.h), 1);
        ASSERT_EQ(AllocImage16(src16, s.w, s.h), 1);
        for (uint32_t i = 0; i < src8.byteSize; ++i)
            src8.data[i] = uint8_t(rng());
        for (uint32_t i = 0; i < src16.pixelCount * 4; ++i)
            src16.data[i] = uint16_t(rng());
        for (const K& kd : kernels) {
            SCOPED_TRACE(testing::Message() << s.w << "x" << s.h << " kernel " << kd.kw << "x"
                                            << kd.kh << " centre " << kd.cx << "," << kd.cy);
            const ConvolutionKernel k{kd.w, kd.div, kd.kw, kd.kh, kd.cx, kd.cy};
            std::memcpy(dst8.data, src8.data, src8.byteSize);
            ASSERT_EQ(k.ApplyImage8(src8, dst8), 1);
            EXPECT_EQ(std::vector<uint8_t>(dst8.data, dst8.data + dst8.byteSize),
                      Reference(k, src8.data, s.w, s.h, 4, 3));
            ASSERT_EQ(k.ApplyImage16(src16, dst16), 1);
            EXPECT_EQ(std::vector<uint16_t>(dst16.data, dst16.data + dst16.pixelCount * 4),
                      Reference(k, src16.data, s.w, s.h, 4, 3));
        }
        FreeImageBuffer(src8);
        FreeImageBuffer(dst8);
        FreeImageBuffer(src16);
        FreeImageBuffer(dst16);
    }
}

TEST(ConvolutionKernel, RefusesUnusableKernelsAndWrongDestinations)
{
    ImageBuffer8 src, small;
    ASSERT_EQ(AllocImage8(src, 4, 4), 1);
    ASSERT_EQ(AllocImage8(small, 3, 4), 1);
    std::memset(src.data, 9, src.byteSize);
    const ConvolutionKernel ok{kOnes3, 9, 3, 3, 1, 1};
    const ConvolutionKernel cases[] = {
        {kOnes3, 0, 3, 3, 1, 1},     // divisor 0
        {nullptr, 9, 3, 3, 1, 1},    // no weights
        {kOnes3, 9, 3, 3, 3, 1},     // centre outside the kernel
        {kOnes3, 9, 0, 3, 0, 1},     // empty kernel
    };
    for (const ConvolutionKernel& k : cases) {
        ImageBuffer8 dst;
        ASSERT_EQ(AllocImage8(dst, 4, 4), 1);
        EXPECT_EQ(k.ApplyImage8(src, dst), 0);
        ImageBuffer16 d16;
        ImageBuffer16 s16;
        ASSERT_EQ(AllocImage16(s16, 2, 2), 1);
        EXPECT_EQ(k.ApplyImage16(s16, d16), 0);
        EXPECT_EQ(d16.data, nullptr);
        FreeImageBuffer(dst);
        FreeImageBuffer(s16);
    }
    EXPECT_EQ(ok.ApplyImage8(src, small), 0);
    Plane16 p, q;
    ASSERT_EQ(AllocPlane16(p, 4, 4), 1);
    ASSERT_EQ(AllocPlane16(q, 4, 3), 1);
    EXPECT_EQ(ok.ApplyPlane16(p, q), 0);
    FreePlane16(p);
    FreePlane16(q);
    FreeImageBuffer(src);
    FreeImageBuffer(small);
}

TEST(ConvolutionKernel, WideSumsAndPlanesMatchReference)
{
    // Weights beyond 16 bits, or whose sums could pass 32 bits on 16-bit values, take wider
    // sums; planes go through the same loops with one channel. All must match the rule.
    const int32_t wide[3] = {40000, 1, 40001};             // 8-bit: too wide for 16-bit weights
    const int32_t mixed[6] = {-70000, 100000, 30000, 0, 5, -5};
    const int32_t huge[4] = {INT32_MAX / 4, INT32_MAX / 4, -INT32_MAX / 4, 7};
    struct K { const int32_t* w; int div, kw, kh, cx, cy; };
    const K kernels[] = {
        {wide, 80002, 3, 1, 1, 0},
        {wide, 3, 1, 3, 0, 2},
        {mixed, 60000, 3, 2, 1, 1},
        {mixed, -7, 2, 3, 0, 0},
        {huge, 65536, 2, 2, 1, 1},
        {kSmooth5, 68, 5, 5, 2, 2},
    };
    std::mt19937 rng(23);
    struct Size { int w, h; };
    for (Size s : {Size{1, 1}, Size{3, 4}, Size{300, 3}}) {
        ImageBuffer8 src8, dst8;
        ImageBuffer16 src16, dst16;
        Plane16 p, q;
        ASSERT_EQ(AllocImage8(src8, s.w, s.h), 1);
        ASSERT_EQ(AllocImage8(dst8, s.w, s.h), 1);
        ASSERT_EQ(AllocImage16(src16, s.w, s.h), 1);
        ASSERT_EQ(AllocPlane16(p, s.w, s.h), 1);
        ASSERT_EQ(AllocPlane16(q, s.w, s.h), 1);
        for (uint32_t i = 0; i < src8.byteSize; ++i)
            src8.data[i] = uint8_t(rng());
        for (uint32_t i = 0; i < src16.pixelCount * 4; ++i)
            src16.data[i] = uint16_t(rng());
        for (uint32_t i = 0; i < p.pixelCount; ++i)
            p.data[i] = uint16_t(rng());
        for (const K& kd : kernels) {
            SCOPED_TRACE(testing::Message() << s.w << "x" << s.h << " kernel " << kd.kw << "x"
                                            << kd.kh << " divisor " << kd.div);
            const ConvolutionKernel k{kd.w, kd.div, kd.kw, kd.kh, kd.cx, kd.cy};
            std::memcpy(dst8.data, src8.data, src8.byteSize);
            ASSERT_EQ(k.ApplyImage8(src8, dst8), 1);
            EXPECT_EQ(std::vector<uint8_t>(dst8.data, dst8.data + dst8.byteSize),
                      Reference(k, src8.data, s.w, s.h, 4, 3));
            ASSERT_EQ(k.ApplyImage16(src16, dst16), 1);
            EXPECT_EQ(std::vector<uint16_t>(dst16.data, dst16.data + dst16.pixelCount * 4),
                      Reference(k, src16.data, s.w, s.h, 4, 3));
            ASSERT_EQ(k.ApplyPlane16(p, q), 1);
            EXPECT_EQ(std::vector<uint16_t>(q.data, q.data + q.pixelCount),
                      Reference(k, p.data, s.w, s.h, 1, 1));
        }
        FreeImageBuffer(src8);
        FreeImageBuffer(dst8);
        FreeImageBuffer(src16);
        FreeImageBuffer(dst16);
        FreePlane16(p);
        FreePlane16(q);
    }
}
