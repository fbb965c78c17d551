#include "algorithms/AlgorithmRandom.h"
#include "algorithms/Starlight.h"
#include "algorithms/tests/ColourTestSupport.h"

#include <climits>
#include <cmath>

namespace {

// A cross: one horizontal and one vertical line through the centre of the 128 x 128 shape.
struct Cross {
    Plane8 p{};
    Cross()
    {
        EXPECT_TRUE(AllocPlane8(p, 128, 128));
        for (int y = 0; y < 128; ++y)
            for (int x = 0; x < 128; ++x)
                p.data[y * 128 + x] = (std::abs(x - 64) <= 2 || std::abs(y - 64) <= 2) ? 255 : 0;
    }
    ~Cross() { FreePlane8(p); }
};

int RunStars(const StarlightParams& p, const Plane8* shape, ImageBuffer16& src, ImageBuffer16& dst, CStarlight* keep = nullptr)
{
    CStarlight local;
    CStarlight& s = keep ? *keep : local;
    s.SetRayShape(shape);
    return RunWith(s, &p, src, dst);
}

// Dark night with small bright lamps.
ImageBuffer16 Night(int w, int h)
{
    ImageBuffer16 img = Uniform(w, h, {3000, 3000, 3000, 321});
    auto lamp = [&](int cx, int cy, Bgra c) {
        for (int y = cy - 1; y <= cy + 1; ++y)
            for (int x = cx - 1; x <= cx + 1; ++x) {
                uint16_t* p = Row16(img, y) + x * 4;
                p[0] = c.b, p[1] = c.g, p[2] = c.r;
            }
    };
    lamp(w / 2, h / 2, {65535, 65535, 65535, 0});
    lamp(w / 5, h / 4, {20000, 60000, 65535, 0});
    return img;
}

TEST(StarFilter, SmallRulesTable)
{
    EXPECT_EQ(CStarlight::SuppressionRadius(100), 5);
    EXPECT_EQ(CStarlight::SuppressionRadius(0), 30);
    EXPECT_EQ(CStarlight::RingHue(0, 0, 10), 0);
    EXPECT_EQ(CStarlight::RingHue(5, 0, 10), 200);
    EXPECT_EQ(CStarlight::RingHue(0, 7, 10), 280 % 256) << "wraps every 0.64 R";
    int r, g, b, h, s, l;
    HslToRgbColour8(0, 255, 128, r, g, b);
    EXPECT_GT(r, 250);
    EXPECT_LT(g, 5);
    RgbColourToHsl8(0, 0, 255, h, s, l);
    EXPECT_NEAR(h, 171, 1);
    EXPECT_EQ(s, 255);
}

TEST(StarFilter, DarkPictureGetsNoStars)
{
    Cross shape;
    ScopedImage src(Photo(300, 200, 70)), dst;
    for (size_t i = 0; i < PixelCount(*src) * 4; ++i)
        if (i % 4 != 3)
            Pixels16(*src)[i] = static_cast<uint16_t>(Pixels16(*src)[i] % 39000);
    CStarlight s;
    ASSERT_EQ(RunStars(StarlightParams{}, &shape.p, *src, *dst, &s), 1);
    EXPECT_TRUE(s.m_highlights.empty());
    EXPECT_TRUE(SameImage(*src, *dst));
}

TEST(StarFilter, LampsGetCrossesInTheirColour)
{
    Cross shape;
    ScopedImage src(Night(500, 300)), dst;
    StarlightParams p;
    p.radius = 20, p.amount = 50, p.density = 50;
    CStarlight s;
    SeedAlgorithmRand(3);
    ASSERT_EQ(RunStars(p, &shape.p, *src, *dst, &s), 1);
    ASSERT_EQ(s.m_highlights.size(), 2u);
    EXPECT_EQ(s.m_pattern.width, 41);
    const Bgra ray = PixelAt(*dst, 250 + 12, 150), off = PixelAt(*dst, 250 + 12, 150 + 12);
    EXPECT_GT(ray.g, 6000) << "along the ray";
    EXPECT_EQ(off.g, 3000) << "between the rays";
    EXPECT_EQ(ray.a, 321);
    const Bgra warm = PixelAt(*dst, 100, 75 + 10);
    EXPECT_GT(warm.r - 3000, 2 * (warm.b - 3000)) << "the second lamp's rays carry its colour";
    // Ray radius 1: a 3 x 3 pattern.
    p.radius = 1;
    ASSERT_EQ(RunStars(p, &shape.p, *src, *dst, &s), 1);
    EXPECT_EQ(s.m_pattern.width, 3);
}

TEST(StarFilter, CornerStarStaysInside)
{
    Cross shape;
    ScopedImage src(Uniform(50, 40, {60000, 60000, 60000, 1})), rays;
    ASSERT_TRUE(AllocImage16(*rays, 50, 40));
    std::memset(Pixels16(*rays), 0, PixelCount(*rays) * 8);
    CStarlight s;
    s.SetSource(&*src);
    ImageBuffer8 pattern{};
    ASSERT_TRUE(AllocImage8(pattern, 21, 21));
    std::memset(pattern.data, 255, 21 * 21 * 4);
    s.StampStar(*rays, 0, 0, 200, pattern);
    s.StampStar(*rays, 49, 39, 200, pattern);
    s.StampStar(*rays, 60, 10, 200, pattern); // outside: nothing
    EXPECT_GT(PixelAt(*rays, 10, 10).g, 0);
    EXPECT_EQ(PixelAt(*rays, 11, 11).g, 0);
    EXPECT_GT(PixelAt(*rays, 39, 29).g, 0);
    EXPECT_EQ(PixelAt(*rays, 25, 20).g, 0);
    FreeImageBuffer(pattern);
}

TEST(StarFilter, HostileRecordsAndMissingShape)
{
    Cross shape;
    ScopedImage src(Night(200, 120)), dst;
    StarlightParams p;
    p.radius = INT_MAX, p.amount = INT_MIN, p.density = INT_MAX, p.rotation = std::nan(""), p.colourMode = 1;
    EXPECT_EQ(RunStars(p, &shape.p, *src, *dst), 1);
    p.radius = INT_MIN, p.amount = INT_MAX, p.rotation = 1e300;
    EXPECT_EQ(RunStars(p, &shape.p, *src, *dst), 1);
    EXPECT_EQ(RunStars(StarlightParams{}, nullptr, *src, *dst), 0) << "no ray shape";
}

TEST(StarFilter, HelpersDoNotChangeTheResult)
{
    Cross shape;
    ScopedImage src(Night(1200, 900));
    StarlightParams p;
    p.rotation = 0.3, p.colourMode = 1;
    ExpectHelpersAgree(*src, [&](ImageBuffer16& s, ImageBuffer16& d) {
        SeedAlgorithmRand(8);
        return RunStars(p, &shape.p, s, d);
    });
}

} // namespace
