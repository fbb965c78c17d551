#include "algorithms/ToneLut.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

ToneTable Table(int type, double a, double b)
{
    ToneTable t(kToneLutSize);
    BuildToneLut(t.data(), type, a, b);
    return t;
}

TEST(ToneLut, ShapesGiveTheDocumentedEntries)
{
    struct Case { int type; double a, b; int input; int expected; const char* why; };
    const Case cases[] = {
        {0x100, 0, 0, 12345, 12345, "identity"},
        {0x101, 1, 0, 40000, 40000, "brightness factor 1 without roll-off is identity"},
        {0x101, 2, 20000, 10000, 20000, "brightness doubles below the roll-off"},
        {0x101, 2, 20000, 45535, 65535, "91070 is limited"},
        {0x101, 2, 20000, 65535, 65535, "roll-off keeps the top"},
        {0x101, 2, 20000, 55535, 65535, "inside the roll-off: (55535*128 + 111070*128)>>8 limited"},
        {0x101, 0.5, 20000, 65535, 65535, "roll-off blends back to the unscaled top"},
        {0x101, -3, 0, 1000, 0, "negative factor is limited at 0, not wrapped"},
        {0x101, 1e30, 0, 5, 65535, "a huge factor saturates"},
        {0x103, 0, 20000, 0, 1, "contrast with roll-off maps 0 to 1"},
        {0x103, 0, 20000, 20000, 32768, "inside the flat zone"},
        {0x103, 0, 20000, 45536, 32768, "upper end of the flat zone"},
        {0x103, 2, 0, 0, 1, "no roll-off, factor >= 1: distance limited to 32767"},
        {0x103, 2, 0, 40000, 47232, "distance 7232 doubled"},
        {0x103, 2, 0, 30000, 27232, "below the middle"},
        {0x104, 0, 0, 33333, 33333, "sine with amplitude 0 is unchanged"},
        {0x105, 100, 200, 99, 0, "linear levels below lo"},
        {0x105, 100, 200, 150, 32767, "linear levels midpoint"},
        {0x105, 100, 200, 200, 65535, "linear levels from hi on"},
        {0x105, 200, 200, 200, 65535, "empty level range does not divide by zero"},
        {0x106, 20000, 40000, 20000, 0, "gamma levels: the black point maps to 0"},
        {0x106, 20000, 40000, 40000, 65535, "gamma levels: the white point maps to 65535"},
        {0x106, 0, 65535, 32768, 32768, "full range gamma levels is identity at the middle"},
        {0x102, 1, 0, 777, 777, "gamma 1"},
        {0x102, 2, 0, 32768, 16384, "gamma 2 squares: (0.50000763^2)*65535+0.5"},
        {0x107, 5, 5, 4242, 4242, "unknown shape leaves the identity"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(Table(c.type, c.a, c.b)[c.input], c.expected);
    }
}

TEST(ToneLut, GammaLevelsInteriorMatchesTheFormula)
{
    // e = E(30000/65535) lies between c = E(20000/65535) and d = E(40000/65535).
    const ToneTable t = Table(0x106, 20000, 40000);
    auto enc = [](double x) { return x < 0.0031308 ? 12.92 * x : 1.055 * std::pow(x, 1 / 2.4) - 0.055; };
    const double c = enc(20000 / 65535.0), d = enc(40000 / 65535.0), e = enc(30000 / 65535.0);
    const double f = (e - c) / (d - c);
    const double lin = f < 0.0404499 ? f / 12.92 : std::pow((f + 0.055) / 1.055, 2.4);
    EXPECT_EQ(t[30000], static_cast<int>(lin * 65535 + 0.5));
    for (int i = 1; i < kToneLutSize; ++i)
        ASSERT_LE(t[i - 1], t[i]) << "levels must be monotonic at " << i;
}

TEST(ToneLut, ShapesCombineOnOneTable)
{
    // Brightness then contrast, as the brightness/contrast dialog builds its table.
    ToneTable t(kToneLutSize);
    BuildToneLut(t.data(), 0x101, 1.5, 20000);
    BuildToneLut(t.data(), 0x003, 1.0, 20000);
    EXPECT_EQ(t[10000], 15000); // contrast factor 1 keeps the brightened 15000
    EXPECT_EQ(t[65535], 65535);
    EXPECT_EQ(t[50000], 65535); // 75000 limited by brightness, kept by contrast
}

TEST(CurveControlValues, KnotsAndRoundTrip)
{
    const int knots[][2] = {{0, 0}, {1, 128}, {2, 300}, {3, 512}, {4, 700}, {5, 1024},
                            {6, 1536}, {7, 2048}, {130, 65024}, {131, 65535}};
    for (auto& k : knots)
        EXPECT_EQ(CurveKnot(k[0]), k[1]) << "k " << k[0];

    ToneTable id(kToneLutSize);
    BuildToneLut(id.data(), 0x100, 0, 0);
    CurveControlValues v;
    CurveToControlValues(id.data(), v);
    ToneTable back(kToneLutSize, 7);
    ControlValuesToCurve(back.data(), v);
    EXPECT_EQ(back, id);
}

TEST(CurveControlValues, UnpackInterpolatesAndTruncatesTowardZero)
{
    CurveControlValues v{};
    for (int k = 0; k < kCurveControlCount; ++k)
        v[k] = 1000;
    v[1] = 0;     // falling segment 0..128 then rising 128..300
    v[130] = 0;   // top segment 65024..65535 rises from 0 to 1000
    ToneTable c(kToneLutSize);
    ControlValuesToCurve(c.data(), v);
    EXPECT_EQ(c[0], 1000);
    EXPECT_EQ(c[1], 1000 + (1 * -1000) / 128); // -7.8 truncates to -7: 993
    EXPECT_EQ(c[1], 993);
    EXPECT_EQ(c[128], 0);
    EXPECT_EQ(c[129], (1 * 1000) / 172);
    EXPECT_EQ(c[65024], 0);
    EXPECT_EQ(c[65279], (255 * 1000) / 511);
    EXPECT_EQ(c[65535], 1000);
}

TEST(CurveControlValues, StoredStepChecksItsLength)
{
    ToneTable rgb(3 * kToneLutSize);
    for (int i = 0; i < kToneLutSize; ++i) {
        rgb[i] = static_cast<uint16_t>(65535 - i);
        rgb[kToneLutSize + i] = static_cast<uint16_t>(i);
        rgb[2 * kToneLutSize + i] = 1234;
    }
    const std::vector<uint8_t> packed = PackCurveStep(2, rgb.data());
    ASSERT_EQ(packed.size(), 793u);
    EXPECT_EQ(packed[0], 2);
    EXPECT_EQ(packed[1 + 2 * 131], 0x00); // R at knot 65535 is 0, little-endian
    // The stored bytes: R at knot 128 is 65407 (7F FF), G at knot 300 is 300 (2C 01), B at 65535 is 1234.
    EXPECT_EQ(std::vector<int>(packed.begin() + 3, packed.begin() + 5), (std::vector<int>{0x7F, 0xFF}));
    EXPECT_EQ(std::vector<int>(packed.begin() + 265 + 4, packed.begin() + 265 + 6), (std::vector<int>{0x2C, 0x01}));
    EXPECT_EQ(std::vector<int>(packed.begin() + 529 + 262, packed.end()), (std::vector<int>{0xD2, 0x04}));
    int mode = -1;
    ToneTable back;
    ASSERT_TRUE(UnpackCurveStep(packed.data(), packed.size(), mode, back));
    EXPECT_EQ(mode, 2);
    EXPECT_EQ(back, rgb); // linear curves survive packing unchanged

    EXPECT_FALSE(UnpackCurveStep(packed.data(), 265, mode, back)) << "three blocks need 793 bytes";
    const std::vector<uint8_t> one = PackCurveStep(4, rgb.data());
    EXPECT_EQ(one.size(), 265u);
    EXPECT_TRUE(UnpackCurveStep(one.data(), one.size(), mode, back));
    EXPECT_EQ(back.size(), static_cast<size_t>(kToneLutSize));
    const uint8_t bad[1] = {9};
    EXPECT_FALSE(UnpackCurveStep(bad, 1, mode, back));
    EXPECT_FALSE(UnpackCurveStep(nullptr, 0, mode, back));
}

} // namespace
