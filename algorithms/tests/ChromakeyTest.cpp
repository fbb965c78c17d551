#include "algorithms/Chromakey.h"
#include "algorithms/tests/AlgorithmTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(Chromakey, ForegroundChromaKeepsLumaTakesChroma)
{
    struct Case {
        uint16_t p[4], f[4], want[4];
    };
    const Case cases[] = {
        {{1000, 2000, 3000, 777}, {5000, 5000, 5000, 0}, {2184, 2184, 2184, 777}}, // grey F: luma only
        {{1000, 2000, 3000, 777}, {0, 0, 40000, 0}, {0, 0, 30241, 777}},          // clamped at 0
        {{30000, 30000, 30000, 5}, {20000, 30000, 10000, 0}, {27117, 37116, 17113, 5}},
    };
    for (const Case& c : cases) {
        uint16_t out[4];
        ApplyForegroundChroma(c.p, c.f, out);
        EXPECT_EQ(std::vector<uint16_t>(out, out + 4), std::vector<uint16_t>(c.want, c.want + 4));
    }
}

// A green screen with a red-brown subject rectangle in the middle.
constexpr uint16_t kGreen[4] = {3000, 40000, 3000, 65535};
bool Subject(int x, int y, int w, int h)
{
    return x >= w / 4 && x < 3 * w / 4 && y >= h / 4 && y < 3 * h / 4;
}
ImageBuffer16 GreenScreen(int w, int h)
{
    ImageBuffer16 img{};
    EXPECT_TRUE(AllocImage16(img, w, h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint16_t* p = Row16(img, y) + x * 4;
            if (Subject(x, y, w, h)) {
                p[0] = 9000 + 10 * (x % 7), p[1] = 18000 + 20 * (y % 5), p[2] = 41000, p[3] = 65535;
            } else {
                std::copy_n(kGreen, 4, p);
                p[1] = static_cast<uint16_t>(p[1] + 30 * ((x + y) % 4));
            }
        }
    return img;
}

int Key(ImageBuffer16& src, ImageBuffer16& dst, const ChromakeyParams& p, CChromakey* keep = nullptr)
{
    CChromakey local;
    CChromakey& k = keep ? *keep : local;
    k.SetSource(&src);
    k.SetDestination(&dst);
    k.SetParams(&p);
    return k.Run();
}

ChromakeyParams GreenKey()
{
    ChromakeyParams p;
    InitChromakeyParams(p);
    std::copy_n(kGreen, 4, p.samples[0]);
    p.sampleCount = 1;
    return p;
}

TEST(Chromakey, DrawnGreenScreen)
{
    const int w = 120, h = 90;
    ScopedImage src(GreenScreen(w, h));
    for (int radius : {0, 2}) {
        ChromakeyParams p = GreenKey();
        p.edgeRadius = static_cast<uint8_t>(radius);
        ScopedImage dst;
        CChromakey k;
        ASSERT_EQ(Key(*src, *dst, p, &k), 1);
        EXPECT_FALSE(k.m_nearGrey);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const bool in = Subject(x, y, w, h);
                const bool nearEdge = Subject(x - 4, y, w, h) != in || Subject(x + 4, y, w, h) != in ||
                                      Subject(x, y - 4, w, h) != in || Subject(x, y + 4, w, h) != in;
                if (nearEdge)
                    continue;
                const uint16_t* d = Row16(*dst, y) + x * 4;
                const uint16_t* s = Row16(*src, y) + x * 4;
                if (in) {
                    // Far from the key's hue: opaque and untouched.
                    ASSERT_EQ(std::memcmp(d, s, 8), 0) << radius << " " << x << "," << y;
                } else {
                    for (int c = 0; c < 4; ++c)
                        ASSERT_EQ(d[c], 0) << radius << " " << x << "," << y;
                }
            }
    }
}

TEST(Chromakey, KeysThatKeyNothingOrGoThroughMatting)
{
    const int w = 60, h = 40;
    ScopedImage src(GreenScreen(w, h));
    {
        // No samples: the membership is the Gaussian at the far end of the hue circle.
        ChromakeyParams p = GreenKey();
        p.sampleCount = 0;
        ScopedImage dst;
        ASSERT_EQ(Key(*src, *dst, p), 1);
        EXPECT_TRUE(SameImage(*src, *dst));
    }
    struct Case {
        const char* name;
        uint16_t key[4];
    };
    for (const Case& c : {Case{"white", {60000, 60000, 60000, 0}}, Case{"black", {0, 0, 0, 0}},
                          Case{"grey", {20000, 20300, 19900, 0}}}) {
        ChromakeyParams p = GreenKey();
        std::copy_n(c.key, 4, p.samples[0]);
        ScopedImage dst;
        CChromakey k;
        EXPECT_EQ(Key(*src, *dst, p, &k), 1) << c.name;
        EXPECT_TRUE(k.m_nearGrey) << c.name;
    }
}

TEST(Chromakey, AlphaCurveAndRecordHandOver)
{
    const int w = 60, h = 40;
    ScopedImage src(GreenScreen(w, h));
    ChromakeyParams p = GreenKey();
    ScopedImage plain, zeroCurve, identity;
    ASSERT_EQ(Key(*src, *plain, p), 1);
    p.snapAndCurve = 1;
    ASSERT_EQ(Key(*src, *zeroCurve, p), 1);
    for (size_t i = 0; i < PixelCount(*zeroCurve); ++i)
        ASSERT_EQ(Pixels16(*zeroCurve)[i * 4 + 3], 0);
    for (int i = 0; i < 256; ++i)
        p.alphaCurve[i] = static_cast<uint8_t>(i);
    ASSERT_EQ(Key(*src, *identity, p), 1);
    EXPECT_TRUE(SameImage(*plain, *identity));

    // A record claiming more than its size reads only its own bytes; one shorter than the
    // sample count keeps the default count of none.
    uint8_t bytes[400];
    ChromakeyParams big = GreenKey();
    big.size = 400;
    std::memcpy(bytes, &big, sizeof big);
    std::memset(bytes + 360, 0xEE, 40);
    ScopedImage fromBig;
    ASSERT_EQ(Key(*src, *fromBig, *reinterpret_cast<ChromakeyParams*>(bytes)), 1);
    EXPECT_TRUE(SameImage(*plain, *fromBig));
    ChromakeyParams shortRecord = GreenKey();
    shortRecord.size = 88;
    ScopedImage fromShort;
    CChromakey k;
    ASSERT_EQ(Key(*src, *fromShort, shortRecord, &k), 1);
    EXPECT_EQ(k.m_params.sampleCount, 0);
    EXPECT_EQ(k.m_params.size, 360);

    ScopedImage empty, out;
    EXPECT_EQ(Key(*empty, *out, GreenKey()), 0);
    // Keyed in place is refused: the mask pass needs the source intact.
    EXPECT_EQ(Key(*src, *src, GreenKey()), 0);
    // A stored edge radius of 255 is held to 32 and still finishes.
    ChromakeyParams wide = GreenKey();
    wide.edgeRadius = 255;
    ScopedImage fromWide;
    EXPECT_EQ(Key(*src, *fromWide, wide), 1);
}

TEST(Chromakey, HelpersDoNotChangeTheResult)
{
    ScopedImage src(GreenScreen(900, 500));
    ScopedImage out[2];
    ChromakeyParams p = GreenKey();
    p.matteBlur = 2;
    for (int k = 0; k < 2; ++k) {
        WorkerScope scope(k == 0 ? 0 : 8);
        ASSERT_EQ(Key(*src, *out[k], p), 1);
    }
    EXPECT_TRUE(SameImage(*out[0], *out[1]));
}

} // namespace
