#include "algorithms/RedEye.h"
#include "algorithms/tests/ColourTestSupport.h"

namespace {

struct Mask {
    Plane8 p{};
    Mask(int w, int h) { EXPECT_TRUE(AllocPlane8(p, w, h)); std::memset(p.data, 0, size_t(w) * h); }
    ~Mask() { FreePlane8(p); }
    void Disc(int cx, int cy, int r, uint8_t v = 255)
    {
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x)
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r)
                    p.data[size_t(y) * p.width + x] = v;
    }
};

int RunRedEye(const Mask& m, ImageBuffer16& src, ImageBuffer16& dst)
{
    RedEyeParams p;
    p.mask = &m.p;
    return RunOnce<CRedEye>(p, src, dst);
}

TEST(RedEye, MembershipTables)
{
    struct Case {
        int v, hue, sat, light;
    };
    const Case cases[] = {
        {0, 255, 0, 0},         {999, 255, 0, 0},          {2000, 255, 0, 127},     {3000, 255, 0, 255},
        {7999, 255, 0, 255},    {10000, 128, 0, 255},      {12000, 0, 0, 255},      {17000, 0, 127, 255},
        {20000, 0, 204, 255},   {22000, 0, 255, 221},      {27500, 0, 255, 127},    {35000, 0, 255, 0},
        {53536, 0, 255, 0},     {57536, 255, 255, 0},      {65535, 255, 255, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CRedEye::HueMembership(c.v), c.hue) << c.v;
        EXPECT_EQ(CRedEye::SaturationMembership(c.v), c.sat) << c.v;
        EXPECT_EQ(CRedEye::LightnessMembership(c.v), c.light) << c.v;
    }
}

// A drawn eye: skin-free grey face, white of the eye, a red iris disc, a blue dot of catch
// light outside the red, and the brush covering the whole eye.
TEST(RedEye, DrawnEye)
{
    ScopedImage src(Uniform(100, 80, {30000, 30000, 30000, 4321})), dst;
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 100; ++x) {
            uint16_t* p = Row16(*src, y) + x * 4;
            const int d2 = (x - 50) * (x - 50) + (y - 40) * (y - 40);
            if (d2 <= 49)
                p[0] = 2000, p[1] = 2000, p[2] = 16000; // red pupil
            else if (d2 <= 144)
                p[0] = 40000, p[1] = 40000, p[2] = 41000; // white of the eye
        }
    uint16_t* blue = Row16(*src, 40) + 60 * 4;
    blue[0] = 16000, blue[1] = 2000, blue[2] = 2000;
    Mask m(100, 80);
    m.Disc(50, 40, 12);
    CRedEye eye;
    RedEyeParams p;
    p.mask = &m.p;
    ASSERT_EQ(RunWith(eye, &p, *src, *dst), 1);
    EXPECT_EQ(eye.m_box, (MaskRect{38, 28, 63, 53}));
    // The redness measure, blurred, in box coordinates: full inside the pupil (hue 0, saturation
    // 50971, lightness 9000 all measure 255), nothing on the neutral white a few pixels out.
    auto measure = [&](int x, int y) { return eye.m_work.data[(y - 28) * eye.m_work.width + (x - 38)]; };
    EXPECT_EQ(eye.m_work.width, 25);
    EXPECT_EQ(measure(50, 40), 255);
    EXPECT_GE(measure(53, 42), 250);
    EXPECT_EQ(measure(39, 40), 0);
    EXPECT_EQ(measure(50, 29), 0);
    EXPECT_GT(measure(57, 40), 0) << "the pupil's edge is softened outward";
    const Bgra centre = PixelAt(*dst, 50, 40);
    EXPECT_EQ(centre.r, 2000) << "full redness: R becomes max(B, G)";
    EXPECT_EQ(centre.a, 4321);
    EXPECT_EQ(PixelAt(*dst, 50, 30).r, 41000) << "the white of the eye is neutral";
    EXPECT_EQ(PixelAt(*dst, 60, 40).b, 16000) << "blue is far from red";
    EXPECT_EQ(PixelAt(*dst, 60, 40).r, 2000);
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 100; ++x)
            if (x < 38 || x >= 63 || y < 28 || y >= 53) {
                ASSERT_EQ(std::memcmp(Row16(*src, y) + x * 4, Row16(*dst, y) + x * 4, 8), 0);
            }
    // The edge of the pupil is softened, not cut.
    const uint16_t edge = PixelAt(*dst, 57, 40).r;
    EXPECT_GE(edge, 2000);
    EXPECT_LE(edge, 41000);
}

TEST(RedEye, RefusedAreas)
{
    ScopedImage src(Uniform(100, 80, {2000, 2000, 16000, 1})), dst;
    struct Case {
        const char* why;
        void (*draw)(Mask&);
    };
    const Case cases[] = {
        {"nothing brushed", [](Mask&) {}},
        {"two spots more than half the width apart", [](Mask& m) { m.Disc(10, 40, 3); m.Disc(80, 40, 3); }},
        {"taller than half the height", [](Mask& m) { m.Disc(50, 5, 3); m.Disc(50, 75, 3); }},
        {"narrower than 4 pixels", [](Mask& m) { m.Disc(50, 40, 1); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Mask m(100, 80);
        c.draw(m);
        EXPECT_EQ(RunRedEye(m, *src, *dst), 0);
    }
    Mask wrong(50, 40);
    wrong.Disc(20, 20, 5);
    EXPECT_EQ(RunRedEye(wrong, *src, *dst), 0) << "a mask of another size";
    EXPECT_EQ(RunOnce<CRedEye>(RedEyeParams{}, *src, *dst), 0) << "no mask";
}

TEST(RedEye, HelpersDoNotChangeTheResult)
{
    ScopedImage src(Photo(1000, 920, 60));
    Mask m(1000, 920);
    m.Disc(400, 400, 200, 180);
    ExpectHelpersAgree(*src, [&](ImageBuffer16& s, ImageBuffer16& d) { return RunRedEye(m, s, d); });
}

} // namespace
