// The fast bicubic and area resizers against slow, literal forms of their arithmetic: one value
// at a time, the cubic as two line passes with transposes, the area box with real weights.
// Random pictures, many shapes (one pixel, odd, prime, shrinking, enlarging, uneven ratios),
// with and without helper threads; every byte must agree.
#include "algorithms/ImageSize.h"
#include "algorithms/tests/AlgorithmTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <tuple>
#include <vector>

namespace {

using Values = std::vector<uint16_t>;

// S lines of n values each into T lines, one value at a time.
Values SlowCubicLines(const Values& in, size_t n, int S, int T, float B, float C)
{
    Values out(n * static_cast<size_t>(T));
    const float r = static_cast<float>(S) / static_cast<float>(T);
    const float f = std::max(r * 1.05f, 1.0f);
    const float g = 2 * f;
    float c = 0;
    for (int i = 0; i < T; ++i, c += r) {
        uint16_t* o = out.data() + static_cast<size_t>(i) * n;
        const int first = static_cast<int>(std::max(0.0f, c - g));
        const int last = static_cast<int>(std::min(static_cast<float>(S - 1), c + g));
        for (size_t v = 0; v < n; ++v) {
            if (last - first + 1 <= 1) {
                o[v] = in[static_cast<size_t>(first) * n + v];
                continue;
            }
            struct Slot { int value; int64_t total; };
            std::vector<std::pair<int, float>> lists[2];
            for (int k = first; k <= last; ++k) {
                const float w = MitchellNetravaliWeight(static_cast<float>(k) - c, f, B, C);
                lists[w > 0 ? 0 : 1].push_back({in[static_cast<size_t>(k) * n + v], std::fabs(w)});
            }
            Slot result[2] = {};
            for (int l = 0; l < 2; ++l) {
                const auto& list = lists[l];
                if (list.empty())
                    continue;
                std::vector<Slot> slots;
                for (size_t p = 0; p + 1 < list.size(); p += 2) {
                    const float wa = list[p].second, wb = list[p + 1].second;
                    const int t = wa + wb > 0 ? static_cast<int>(wa * 256 / (wa + wb)) : 128;
                    slots.push_back({(t * list[p].first + (256 - t) * list[p + 1].first) >> 8,
                                     static_cast<int>((wa + wb) * 256)});
                }
                if (list.size() % 2)
                    slots.push_back({list.back().first, static_cast<int>(list.back().second * 256)});
                while (slots.size() > 1) {
                    std::vector<Slot> next;
                    for (size_t m = 0; m + 1 < slots.size(); m += 2) {
                        const int64_t a = slots[m].total, b = slots[m + 1].total;
                        const int t = a + b > 0 ? static_cast<int>(a * 256 / (a + b)) : 128;
                        next.push_back({(t * slots[m].value + (256 - t) * slots[m + 1].value) >> 8, a + b});
                    }
                    if (slots.size() % 2)
                        next.push_back(slots.back());
                    slots.swap(next);
                }
                result[l] = slots[0];
            }
            const int L = static_cast<int>(result[0].total), M = static_cast<int>(result[1].total);
            if (lists[0].empty()) {
                o[v] = static_cast<uint16_t>(result[1].value);
            } else if (lists[1].empty() || L - M <= 0) {
                o[v] = static_cast<uint16_t>(result[0].value);
            } else {
                const float fl = static_cast<float>(L), fm = static_cast<float>(M);
                const float a = fl / (fl - fm), b = fm / (fl - fm);
                const float x = std::min(std::max(result[0].value * a - result[1].value * b, 0.0f), 65535.0f);
                o[v] = static_cast<uint16_t>(static_cast<int>(x + 0.5f));
            }
        }
    }
    return out;
}

Values Transposed(const Values& in, int w, int h)
{
    Values out(in.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 4; ++c)
                out[(static_cast<size_t>(x) * h + y) * 4 + c] = in[(static_cast<size_t>(y) * w + x) * 4 + c];
    return out;
}

// Rows, transpose, rows again, transpose back.
Values SlowCubic(const ImageBuffer16& src, int width, int height)
{
    const Values in(Pixels16(src), Pixels16(src) + PixelCount(src) * 4);
    const Values rows = SlowCubicLines(in, static_cast<size_t>(src.width) * 4, src.height, height, 0.33f, 0.73f);
    const Values turned = Transposed(rows, src.width, height);
    const Values cols = SlowCubicLines(turned, static_cast<size_t>(height) * 4, src.width, width, 0.33f, 0.73f);
    return Transposed(cols, height, width);
}

// Real weights, rows first, then columns; a box of no weight takes its first sample.
Values SlowArea(const ImageBuffer16& src, int width, int height, int areaValue)
{
    const double widen = (100 - areaValue) / 400.0;
    auto pass = [&](const Values& in, int n, int m, int lines, bool alongRows) {
        Values out(static_cast<size_t>(m) * lines * 4);
        auto at = [&](int line, int k, int count) {
            return alongRows ? (static_cast<size_t>(line) * count + k) : (static_cast<size_t>(k) * lines + line);
        };
        for (int line = 0; line < lines; ++line)
            for (int j = 0; j < m; ++j) {
                const double start = std::max(0.0, (j - 0.5 - widen) * n / m);
                const double end = std::min(static_cast<double>(n - 1), (j + 0.5 + widen) * n / m);
                const int first = static_cast<int>(start), last = static_cast<int>(end);
                for (int c = 0; c < 4; ++c) {
                    double sum = 0, total = 0;
                    for (int k = first; k <= last; ++k) {
                        const double w = k == last ? end - last : k == first ? 1 - (start - first) : 1.0;
                        sum += w * in[at(line, k, n) * 4 + c];
                        total += w;
                    }
                    out[at(line, j, m) * 4 + c] = total > 0 ? static_cast<uint16_t>(static_cast<int>(sum / total))
                                                            : in[at(line, first, n) * 4 + c];
                }
            }
        return out;
    };
    const Values in(Pixels16(src), Pixels16(src) + PixelCount(src) * 4);
    return pass(pass(in, src.width, width, src.height, true), src.height, height, width, false);
}

ImageBuffer16 RandomPicture(int w, int h, uint32_t seed)
{
    std::mt19937 rng(seed);
    ImageBuffer16 img{};
    EXPECT_TRUE(AllocImage16(img, w, h));
    // Half the pictures are full-range noise (overshoot and clamping), half smooth with small
    // noise (the values a photo has).
    const bool smooth = seed % 2;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w * 4; ++x)
            Row16(img, y)[x] = smooth ? static_cast<uint16_t>((x * 977 + y * 1531 + (rng() & 0x3FF)) & 0xFFFF)
                                      : static_cast<uint16_t>(rng());
    return img;
}

Values ValuesOf(const ImageBuffer16& img)
{
    return Values(Pixels16(img), Pixels16(img) + PixelCount(img) * 4);
}

struct Shape {
    int sw, sh, tw, th;
};

std::vector<Shape> Shapes()
{
    std::vector<Shape> s = {
        {1, 1, 1, 1},    {1, 1, 5, 3},    {7, 1, 3, 1},    {1, 9, 1, 4},    {2, 2, 1, 1},   {13, 11, 5, 7},
        {17, 13, 37, 29}, {31, 23, 15, 11}, {24, 16, 12, 8}, {24, 16, 48, 32}, {29, 31, 29, 31}, {41, 7, 19, 14},
        {8, 40, 16, 3},  {53, 47, 26, 23}, {10, 10, 23, 7}, {64, 48, 21, 17}, {6, 5, 59, 61},   {97, 3, 96, 2},
        // Ratios of binary fractions (the area boxes' weights become small integers), and one
        // so fine that its integers grow too large for the integer form.
        {36, 27, 24, 18}, {12, 9, 16, 12}, {5, 3, 40, 24}, {40, 24, 5, 3}, {28, 20, 21, 15}, {3, 2, 1536, 4},
    };
    std::mt19937 rng(2024);
    for (int i = 0; i < 14; ++i) {
        const int sw = 1 + static_cast<int>(rng() % 70), sh = 1 + static_cast<int>(rng() % 70);
        s.push_back({sw, sh, 1 + static_cast<int>(rng() % 90), 1 + static_cast<int>(rng() % 90)});
    }
    return s;
}

TEST(ImageSizeExact, BlendRowsKeepsTheThirtyTwoBitQuotient)
{
    // Every weight pair summing to 256 (the narrow form) and a few that do not, over random
    // values and the extremes.
    std::mt19937 rng(5);
    Values a(4099), b(4099), out(4099);
    for (size_t i = 0; i < a.size(); ++i) {
        a[i] = static_cast<uint16_t>(i < 4 ? (i & 1) * 65535 : rng());
        b[i] = static_cast<uint16_t>(i < 4 ? (i >> 1) * 65535 : rng());
    }
    std::vector<std::pair<int, int>> weights = {{100, 100}, {0, 255}, {300, 7}};
    for (int t = 0; t <= 256; ++t)
        weights.push_back({t, 256 - t});
    for (auto [ta, tb] : weights) {
        BlendRows16(out.data(), a.data(), b.data(), a.size(), ta, tb);
        for (size_t i = 0; i < a.size(); ++i)
            ASSERT_EQ(out[i], static_cast<uint16_t>((uint32_t(ta) * a[i] + uint32_t(tb) * b[i]) >> 8))
                << ta << "/" << tb << " at " << i;
    }
}

TEST(ImageSizeExact, CubicAgreesWithTheLiteralPasses)
{
    uint32_t seed = 1;
    for (const Shape& s : Shapes()) {
        SCOPED_TRACE(testing::Message() << s.sw << "x" << s.sh << " to " << s.tw << "x" << s.th);
        ScopedImage src(RandomPicture(s.sw, s.sh, seed++)), dst;
        CImageSize is;
        ASSERT_EQ(is.ResizeCubic(*src, *dst, s.tw, s.th, 0.33f, 0.73f), 1);
        ASSERT_EQ(dst->width, s.tw);
        ASSERT_EQ(dst->height, s.th);
        ASSERT_EQ(ValuesOf(*dst), SlowCubic(*src, s.tw, s.th));
    }
}

TEST(ImageSizeExact, AreaAgreesWithTheRealArithmetic)
{
    uint32_t seed = 100;
    for (int areaValue : {100, 75, 0}) {
        for (const Shape& s : Shapes()) {
            SCOPED_TRACE(testing::Message() << s.sw << "x" << s.sh << " to " << s.tw << "x" << s.th << " area "
                                            << areaValue);
            ScopedImage src(RandomPicture(s.sw, s.sh, seed++)), dst;
            CImageSize is;
            is.m_params.areaValue = areaValue;
            ASSERT_EQ(is.AreaAverage(*src, *dst, s.tw, s.th), 1);
            ASSERT_EQ(ValuesOf(*dst), SlowArea(*src, s.tw, s.th, areaValue));
        }
    }
}

// Pictures big enough to be shared out over the helpers, each result compared with the slow form
// with 0 and with 8 helpers.
TEST(ImageSizeExact, HelpersKeepEveryByte)
{
    const Shape shapes[] = {{601, 433, 300, 216}, {257, 199, 514, 398}, {389, 241, 251, 397}};
    uint32_t seed = 7;
    for (const Shape& s : shapes) {
        SCOPED_TRACE(testing::Message() << s.sw << "x" << s.sh << " to " << s.tw << "x" << s.th);
        ScopedImage src(RandomPicture(s.sw, s.sh, seed++));
        const Values cubic = SlowCubic(*src, s.tw, s.th);
        const Values area = SlowArea(*src, s.tw, s.th, 100);
        const Values widened = SlowArea(*src, s.tw, s.th, 75);
        for (int helpers : {0, 8}) {
            SCOPED_TRACE(testing::Message() << helpers << " helpers");
            WorkerScope scope(helpers);
            CImageSize is;
            ScopedImage dst;
            ASSERT_EQ(is.ResizeCubic(*src, *dst, s.tw, s.th, 0.33f, 0.73f), 1);
            EXPECT_EQ(ValuesOf(*dst), cubic);
            ASSERT_EQ(is.AreaAverage(*src, *dst, s.tw, s.th), 1);
            EXPECT_EQ(ValuesOf(*dst), area);
            is.m_params.areaValue = 75;
            ASSERT_EQ(is.AreaAverage(*src, *dst, s.tw, s.th), 1);
            EXPECT_EQ(ValuesOf(*dst), widened);
        }
    }
}

// The halving shortcut against the general two-pass path, on sources of even and odd sizes
// (the shortcut applies only where both axes halve exactly; elsewhere both take the general
// path), with and without helpers, plain and sharpened, including all-white corners where a
// 16-bit sum of two values would overflow.
TEST(ImageSizeExact, HalvingShortcutGivesTheGeneralBytes)
{
    const Shape shapes[] = {
        {2, 2, 1, 1},     {4, 2, 2, 1},     {10, 6, 5, 3},    {18, 14, 9, 7},   {34, 2, 17, 1},
        {2, 34, 1, 17},   {70, 66, 35, 33}, {602, 434, 301, 217}, {7, 5, 3, 2}, {9, 9, 4, 4},
        {11, 8, 5, 4},    {16, 13, 8, 6},   {600, 433, 300, 216},
    };
    uint32_t seed = 31;
    for (int helpers : {0, 8}) {
        WorkerScope scope(helpers);
        for (int sharpen : {0, 40})
            for (const Shape& s : shapes) {
                SCOPED_TRACE(testing::Message() << s.sw << "x" << s.sh << " to " << s.tw << "x" << s.th << ", "
                                                << helpers << " helpers, sharpen " << sharpen);
                ScopedImage src(RandomPicture(s.sw, s.sh, seed++)), fast, general;
                for (int y = 0; y < std::min(s.sh, 3); ++y)
                    for (int x = 0; x < std::min(s.sw, 5) * 4; ++x)
                        Row16(*src, y)[x] = 65535;
                CImageSize is;
                is.m_params.sharpenAmount = sharpen;
                ASSERT_EQ(is.AreaAverage(*src, *fast, s.tw, s.th), 1);
                is.m_fastPaths = false;
                ASSERT_EQ(is.AreaAverage(*src, *general, s.tw, s.th), 1);
                ASSERT_EQ(fast->width, s.tw);
                ASSERT_EQ(fast->height, s.th);
                ASSERT_EQ(ValuesOf(*fast), ValuesOf(*general));
                if (sharpen == 0)
                    ASSERT_EQ(ValuesOf(*fast), SlowArea(*src, s.tw, s.th, 100));
            }
    }
}

} // namespace
