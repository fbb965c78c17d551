#include "algorithms/AutoLevel.h"
#include "algorithms/HdrMerge.h"
#include "algorithms/tests/AlgorithmTestSupport.h"
#include "imaging/ColourTables.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

struct Picture8 {
    ImageBuffer8 img{};
    Picture8(int w, int h, const std::function<uint8_t(int x, int y, int c)>& fn)
    {
        EXPECT_TRUE(AllocImage8(img, w, h));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < 4; ++c)
                    img.data[(size_t(y) * w + x) * 4 + c] = c == 3 ? 255 : fn(x, y, c);
    }
    ~Picture8() { FreeImageBuffer(img); }
};

Picture8 Flat(int w, int h, uint8_t v)
{
    return Picture8(w, h, [v](int, int, int c) { return uint8_t(v + c); });
}

// Working-space colour of an 8-bit sample, as the merge converts it.
std::array<int, 3> Working(const uint8_t* p)
{
    const int B = SrgbDecodeTable[p[0]], G = SrgbDecodeTable[p[1]], R = SrgbDecodeTable[p[2]];
    return {int(0.958839 * B + 0.041166 * G), G, int(0.715146 * R + 0.284856 * G)};
}

TEST(HdrMerge, WeightTablesAtTheMiddleAndTheEnds)
{
    HdrMergeParams p;
    p.weightDark = 128, p.weightBright = 51;
    struct Case {
        int strength, m;
        std::array<int, 3> want;
    };
    for (const Case& c : {Case{0, 0, {128, 77, 51}}, Case{0, 65535, {128, 77, 51}}, Case{25, 32768, {128, 77, 51}},
                          Case{25, 65535, {128 + 40, 77, 51 - 40}}, Case{25, 0, {128 - 40, 77, 51 + 40}},
                          Case{400, 65535, {255, 0, 1}}, Case{400, 0, {0, 0, 256}}}) {
        p.strength = c.strength;
        EXPECT_EQ(HdrWeights(p, c.m), c.want) << c.strength << " " << c.m;
    }
    // Stored weights beyond the scale never give the middle a negative share.
    p.strength = 0, p.weightDark = 300, p.weightBright = 200;
    EXPECT_EQ(HdrWeights(p, 32768), (std::array<int, 3>{255, 0, 1}));
}

TEST(HdrMerge, FlatExposuresBlendWithTheTableWeights)
{
    BuildGammaTables();
    const int w = 20, h = 12;
    Picture8 dark = Flat(w, h, 30), mid = Flat(w, h, 110), bright = Flat(w, h, 220);
    ScopedImage ref(MakeImage(w, h, [](int, int, int c) -> uint16_t { return c == 3 ? 40000 : 1234; }));
    for (int count : {2, 3}) {
        HdrMergeParams p;
        p.count = count;
        p.slots[0] = &dark.img;
        p.slots[1] = count == 3 ? &mid.img : nullptr; // two exposures never read the middle slot
        p.slots[2] = &bright.img;
        p.weightPicture = &mid.img;
        p.strength = 25, p.weightDark = 128, p.weightBright = 64, p.radius = 3;
        CHDRMerge merge;
        merge.m_params = p;
        ScopedImage out;
        ASSERT_EQ(merge.Merge(*ref, *out), 1);
        const int m = SrgbDecodeTable[(6 * 111 + 3 * 112 + 110) / 10];
        const auto wt = HdrWeights(p, m);
        const auto d = Working(dark.img.data), md = Working(mid.img.data), b = Working(bright.img.data);
        const int sum = wt[0] + (count == 3 ? wt[1] : 0) + wt[2];
        for (int c = 0; c < 3; ++c) {
            const int want = (wt[0] * d[c] + (count == 3 ? wt[1] * md[c] : 0) + wt[2] * b[c]) / sum;
            EXPECT_EQ(Row16(*out, 3)[5 * 4 + c], want) << count << " " << c;
        }
        EXPECT_EQ(Row16(*out, 3)[5 * 4 + 3], 40000);
        // The identity never samples the last column and row: they keep the reference.
        for (int c = 0; c < 4; ++c) {
            EXPECT_EQ(Row16(*out, 4)[(w - 1) * 4 + c], Row16(*ref, 4)[(w - 1) * 4 + c]);
            EXPECT_EQ(Row16(*out, h - 1)[2 * 4 + c], Row16(*ref, h - 1)[2 * 4 + c]);
        }
    }
}

TEST(HdrMerge, SampledThroughEachSlotsTransform)
{
    BuildGammaTables();
    Picture8 ramp(40, 10, [](int x, int, int) { return uint8_t(x * 6); });
    AlignTransform half;
    half.c = 0.5;
    uint8_t px[4];
    ASSERT_EQ(SampleAligned(ramp.img, 7, 3, px, half), 1);
    EXPECT_EQ(px[0], (42 * 128 + 48 * 128) >> 8);
    EXPECT_EQ(px[3], 255);
    for (auto [x, y] : {std::pair{39, 0}, {0, 9}, {-1, 0}})
        EXPECT_EQ(SampleAligned(ramp.img, x, y, px, AlignTransform{}), 0) << x << "," << y;
    AlignTransform nan;
    nan.a = std::nan("");
    EXPECT_EQ(SampleAligned(ramp.img, 3, 3, px, nan), 0);
}

TEST(HdrMerge, RunStretchesTheMergeAndRefusesMissingPictures)
{
    BuildGammaTables();
    Picture8 dark(30, 20, [](int x, int y, int) { return uint8_t(x * 2 + y); });
    Picture8 bright(30, 20, [](int x, int y, int) { return uint8_t(100 + x * 4 + y); });
    ScopedImage ref(MakeImage(30, 20, [](int, int, int c) -> uint16_t { return c == 3 ? 65535 : 500; }));
    HdrMergeParams p;
    p.slots[0] = &dark.img, p.slots[2] = &bright.img, p.weightPicture = &bright.img;
    ScopedImage merged, run, stretched;
    CHDRMerge a;
    a.m_params = p;
    ASSERT_EQ(a.Merge(*ref, *merged), 1);
    CHDRMerge b;
    b.SetSource(&*ref);
    b.SetDestination(&*run);
    b.SetParams(&p);
    ASSERT_EQ(b.Run(), 1);
    ASSERT_EQ(AutoContrast(*merged, *stretched, 1), 1);
    EXPECT_TRUE(SameImage(*run, *stretched));

    ScopedImage empty, out;
    CHDRMerge c;
    c.SetSource(&*empty);
    c.SetDestination(&*out);
    c.SetParams(&p);
    EXPECT_EQ(c.Run(), 0);
    HdrMergeParams noWeight = p;
    noWeight.weightPicture = nullptr;
    CHDRMerge d;
    d.SetSource(&*ref);
    d.SetDestination(&*out);
    d.SetParams(&noWeight);
    EXPECT_EQ(d.Run(), 0);
    // A weight picture smaller than the reference is read at the nearest position.
    Picture8 small(7, 5, [](int x, int, int) { return uint8_t(x * 30); });
    HdrMergeParams smallWeight = p;
    smallWeight.weightPicture = &small.img;
    CHDRMerge e;
    e.m_params = smallWeight;
    EXPECT_EQ(e.Merge(*ref, *out), 1);
}

TEST(HdrMerge, HelpersDoNotChangeTheResult)
{
    BuildGammaTables();
    Picture8 dark(1000, 600, [](int x, int y, int c) { return uint8_t((x * 3 + y * 5 + c * 7) & 0xFF); });
    Picture8 mid(1000, 600, [](int x, int y, int c) { return uint8_t((x * 7 + y + c * 11 + 60) & 0xFF); });
    Picture8 bright(1000, 600, [](int x, int y, int c) { return uint8_t((x + y * 9 + c + 120) & 0xFF); });
    ScopedImage ref(Noise(1000, 600, 5));
    HdrMergeParams p;
    p.count = 3;
    p.slots[0] = &dark.img, p.slots[1] = &mid.img, p.slots[2] = &bright.img, p.weightPicture = &mid.img;
    p.transforms[1].c = 2.3, p.transforms[2].b = 0.01, p.transforms[2].f = -1.7;
    ScopedImage out[2];
    for (int k = 0; k < 2; ++k) {
        WorkerScope scope(k == 0 ? 0 : 8);
        CHDRMerge m;
        m.SetSource(&*ref);
        m.SetDestination(&*out[k]);
        m.SetParams(&p);
        ASSERT_EQ(m.Run(), 1);
    }
    EXPECT_TRUE(SameImage(*out[0], *out[1]));
}

} // namespace
