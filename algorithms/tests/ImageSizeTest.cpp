#include "algorithms/ImageSize.h"
#include "algorithms/tests/AlgorithmTestSupport.h"
#include "imaging/ConvolutionKernel.h"
#include "imaging/Document.h"

#include <gtest/gtest.h>

#include <random>
#include <tuple>

namespace {

ImageBuffer16 Row(const std::vector<uint16_t>& v, int height = 1)
{
    ImageBuffer16 img{};
    EXPECT_TRUE(AllocImage16(img, static_cast<int>(v.size()), height));
    for (int y = 0; y < height; ++y)
        for (size_t x = 0; x < v.size(); ++x)
            for (int c = 0; c < 4; ++c)
                Row16(img, y)[x * 4 + c] = v[x];
    return img;
}

uint16_t Flat(int, int, int c) { return static_cast<uint16_t>(40000 + c); }

std::vector<int> Channel0(const ImageBuffer16& img)
{
    std::vector<int> v;
    for (size_t i = 0; i < PixelCount(img); ++i)
        v.push_back(Pixels16(img)[i * 4]);
    return v;
}

TEST(ImageSize, NearestPicksTruncatedPositions)
{
    ScopedImage src(MakeImage(4, 4, [](int x, int y, int) -> uint16_t { return static_cast<uint16_t>(10 * y + x); })), dst;
    CImageSize is;
    ASSERT_EQ(is.ResizeNearest(*src, *dst, 2, 2), 1);
    EXPECT_EQ(Channel0(*dst), (std::vector<int>{0, 2, 20, 22}));
    ASSERT_EQ(is.ResizeNearest(*src, *dst, 3, 1), 1);
    EXPECT_EQ(Channel0(*dst), (std::vector<int>{0, 1, 2}));
}

TEST(ImageSize, BilinearEnlargesWithEightBitWeights)
{
    ScopedImage src(Row({1000, 2000, 4000}, 2)), dst;
    CImageSize is;
    ASSERT_EQ(is.ResizeBilinear(*src, *dst, 7, 3), 1);
    // x = j x 3 / 7: fractions 0, 109, 219, 73, 182 (last two columns at the edge).
    EXPECT_EQ(Channel0(*dst), (std::vector<int>{1000, 1425, 1855, 2570, 3421, 4000, 4000,
                                               1000, 1425, 1855, 2570, 3421, 4000, 4000,
                                               1000, 1425, 1855, 2570, 3421, 4000, 4000}));
    // Wider but not taller is handed to the 5x5 supersampling.
    ScopedImage a, b;
    ScopedImage pic(Noise(9, 7, 2));
    ASSERT_EQ(is.ResizeBilinear(*pic, *a, 15, 7), 1);
    ASSERT_EQ(is.Shrink5x5(*pic, *b, 15, 7), 1);
    EXPECT_TRUE(SameImage(*a, *b));
}

TEST(ImageSize, SupersamplingAndItsMatrices)
{
    ScopedImage src(Row({0, 100, 200, 300})), dst;
    CImageSize is;
    ASSERT_EQ(is.Shrink5x5(*src, *dst, 2, 1), 1);
    EXPECT_EQ(Channel0(*dst), (std::vector<int>{33, 200}));

    for (int amount : {0, 35, 100, 250}) {
        Matrix5x5 m;
        BuildSharpenMatrix5x5(m, amount);
        double sum = 0;
        for (auto& row : m)
            for (double v : row)
                sum += v;
        EXPECT_NEAR(sum, 1.0, 1e-12) << amount;
        EXPECT_DOUBLE_EQ(m[0][0], -amount / 60.0 / 32);
        EXPECT_DOUBLE_EQ(m[0][1], -2 * amount / 60.0 / 32);
        EXPECT_DOUBLE_EQ(m[2][0], -3 * amount / 60.0 / 32);
        EXPECT_DOUBLE_EQ(m[1][1], (amount / 60.0 + 1) / 9);
    }
    ScopedImage flat(MakeImage(13, 11, Flat));
    ASSERT_EQ(is.Shrink5x5(*flat, *dst, 5, 4), 1);
    for (size_t i = 0; i < PixelCount(*dst); ++i)
        ASSERT_EQ(Pixels16(*dst)[i * 4 + 2], 40002);
}

TEST(ImageSize, CubicWeightsAndRows)
{
    EXPECT_FLOAT_EQ(MitchellNetravaliWeight(0, 1, 0.33f, 0.73f), 6 - 2 * 0.33f);
    EXPECT_FLOAT_EQ(MitchellNetravaliWeight(2.0f, 1, 0.33f, 0.73f), 0);
    EXPECT_FLOAT_EQ(MitchellNetravaliWeight(-3, 2, 0.33f, 0.73f), MitchellNetravaliWeight(1.5f, 1, 0.33f, 0.73f));

    // Two rows to one: both weights positive, t = (int)(5.34 x 256 / (5.34 + 3.651)) = 152.
    std::vector<uint16_t> rows = {1000, 60000, 2000, 0};
    std::vector<uint16_t> out(2);
    ASSERT_TRUE(ResampleRowsCubic(out.data(), rows.data(), 2, 2, 1, 0.33f, 0.73f));
    EXPECT_EQ(out[0], (152 * 1000 + 104 * 2000) >> 8);
    EXPECT_EQ(out[1], (152 * 60000 + 104 * 0) >> 8);

    CImageSize is;
    ScopedImage one(Row({5, 600, 7, 8000})), dst, single;
    ASSERT_EQ(is.ResizeCubic(*one, *dst, 4, 5, 0.33f, 0.73f), 1);
    ASSERT_EQ(is.ResizeCubic(*one, *single, 4, 1, 0.33f, 0.73f), 1);
    for (int y = 0; y < 5; ++y)
        EXPECT_EQ(std::memcmp(Row16(*dst, y), Row16(*single, 0), 32), 0) << "a one-row source copies its row";
    ScopedImage flat(MakeImage(21, 17, Flat));
    for (auto [w, h] : {std::pair{10, 8}, {42, 34}, {3, 40}, {1, 1}}) {
        ASSERT_EQ(is.ResizeCubic(*flat, *dst, w, h, 0.33f, 0.73f), 1);
        ASSERT_EQ(dst->width, w);
        ASSERT_EQ(dst->height, h);
        for (size_t i = 0; i < PixelCount(*dst); ++i)
            ASSERT_EQ(Pixels16(*dst)[i * 4 + 1], 40001) << "constant stays constant at " << w << "x" << h;
    }
    // A step keeps its plateaus away from the edge and clamps its overshoot.
    ScopedImage step(Row({0, 0, 0, 0, 0, 0, 65535, 65535, 65535, 65535, 65535, 65535}, 3));
    ASSERT_EQ(is.ResizeCubic(*step, *dst, 24, 3, 0.33f, 0.73f), 1);
    EXPECT_EQ(Row16(*dst, 1)[0], 0);
    EXPECT_EQ(Row16(*dst, 1)[23 * 4], 65535);
}

TEST(ImageSize, CubicColumnPassEqualsTransposedRowPass)
{
    // Transpose, resample the rows, transpose back: the procedure the column pass stands for.
    for (auto [sw, sh, tw] : {std::tuple{13, 5, 6}, {9, 4, 21}, {1, 3, 4}, {40, 2, 17}, {7, 7, 7}, {13, 19, 6}, {9, 17, 21}, {5, 16, 40}}) {
        SCOPED_TRACE(testing::Message() << sw << "x" << sh << " to width " << tw);
        ScopedImage src(Noise(sw, sh, sw * 7 + tw)), turned, rows, expect, got;
        ASSERT_TRUE(TransposeImage16(*src, *turned));
        ASSERT_TRUE(AllocImage16(*rows, sh, tw));
        ASSERT_TRUE(ResampleRowsCubic(Pixels16(*rows), Pixels16(*turned), size_t(sh) * 4, sw, tw, 0.33f, 0.73f));
        ASSERT_TRUE(TransposeImage16(*rows, *expect));
        ASSERT_TRUE(ResampleColumnsCubic(*got, *src, tw, 0.33f, 0.73f));
        EXPECT_TRUE(SameImage(*got, *expect));
    }
}

TEST(ImageSize, AreaAveragingBoxesAndWidening)
{
    CImageSize is;
    ScopedImage src(Row({10, 20, 30, 40})), dst;
    ASSERT_EQ(is.AreaAverage(*src, *dst, 2, 1), 1);
    EXPECT_EQ(Channel0(*dst), (std::vector<int>{10, 25}));
    is.m_params.areaValue = 75; // boxes widened by 1/16 of a target pixel on each side
    ASSERT_EQ(is.AreaAverage(*src, *dst, 2, 1), 1);
    EXPECT_EQ(Channel0(*dst), (std::vector<int>{11, 24}));
}

// Area averaging as written: real weights, rows first, then columns.
std::vector<int> ReferenceArea(const ImageBuffer16& src, int width, int height, int areaValue)
{
    const double B = (100 - areaValue) / 400.0;
    auto pass = [&](const std::vector<double>& in, int n, int m, int lines, bool alongRows) {
        std::vector<double> out(static_cast<size_t>(m) * lines * 4);
        for (int line = 0; line < lines; ++line)
            for (int j = 0; j < m; ++j) {
                const double start = std::max(0.0, (j - 0.5 - B) * n / m);
                const double end = std::min(double(n - 1), (j + 0.5 + B) * n / m);
                const int first = int(start), last = int(end);
                for (int c = 0; c < 4; ++c) {
                    double sum = 0, total = 0;
                    for (int k = first; k <= last; ++k) {
                        double w = k == last ? end - last : k == first ? 1 - (start - first) : 1.0;
                        const size_t at = alongRows ? (size_t(line) * n + k) * 4 + c : (size_t(k) * lines + line) * 4 + c;
                        sum += w * in[at];
                        total += w;
                    }
                    const size_t to = alongRows ? (size_t(line) * m + j) * 4 + c : (size_t(j) * lines + line) * 4 + c;
                    const size_t firstAt = alongRows ? (size_t(line) * n + first) * 4 + c : (size_t(first) * lines + line) * 4 + c;
                    out[to] = total > 0 ? double(int(sum / total)) : in[firstAt];
                }
            }
        return out;
    };
    std::vector<double> in(Pixels16(src), Pixels16(src) + PixelCount(src) * 4);
    const std::vector<double> rows = pass(in, src.width, width, src.height, true);
    const std::vector<double> cols = pass(rows, src.height, height, width, false);
    return std::vector<int>(cols.begin(), cols.end());
}

TEST(ImageSize, AreaAveragingMatchesTheRealArithmetic)
{
    ScopedImage src(Noise(60, 36, 12)), dst;
    for (int areaValue : {100, 75}) {
        for (auto [w, h] : {std::pair{30, 18}, {20, 12}, {15, 9}, {36, 21}, {59, 35}, {120, 72}}) {
            SCOPED_TRACE(testing::Message() << w << "x" << h << " area " << areaValue);
            CImageSize is;
            is.m_params.areaValue = areaValue;
            ASSERT_EQ(is.AreaAverage(*src, *dst, w, h), 1);
            ASSERT_EQ(std::vector<int>(Pixels16(*dst), Pixels16(*dst) + PixelCount(*dst) * 4),
                      ReferenceArea(*src, w, h, areaValue));
        }
    }
}

TEST(ImageSize, AreaAveragingUnsharpDarkensAtHalfStrength)
{
    ScopedImage src(MakeImage(24, 16, [](int x, int, int c) -> uint16_t { return c == 3 ? 0xFFFF : x < 12 ? 10000 : 50000; }));
    ScopedImage plain, sharp, blurred;
    CImageSize a, b;
    b.m_params.sharpenAmount = 100;
    ASSERT_EQ(a.AreaAverage(*src, *plain, 12, 8), 1);
    ASSERT_EQ(b.AreaAverage(*src, *sharp, 12, 8), 1);
    static const int32_t k[9] = {4, 6, 4, 6, 8, 6, 4, 6, 4};
    ConvolutionKernel blur{k, 48, 3, 3, 1, 1};
    ASSERT_TRUE(blur.ApplyImage16(*plain, *blurred));
    int rises = 0, falls = 0;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 12; ++x) {
            const int p = Row16(*plain, y)[x * 4], q = Row16(*blurred, y)[x * 4], s = Row16(*sharp, y)[x * 4];
            const bool border = x == 0 || y == 0 || x == 11 || y == 7;
            const int d = p - q;
            const int expect = border ? p : std::clamp(d >= 0 ? p + d : p - (-d / 2), 0, 65535);
            ASSERT_EQ(s, expect) << x << "," << y;
            rises += !border && d > 0;
            falls += !border && d < 0;
        }
    EXPECT_GT(rises, 0);
    EXPECT_GT(falls, 0);
}

TEST(ImageSize, SmartChoosesItsPath)
{
    CImageSize is;
    is.m_params.sharpenAmount = 35;
    is.m_params.areaValue = 75;
    ScopedImage src(Noise(40, 30, 7)), a, b;
    ASSERT_EQ(is.SmartResize(*src, *a, 40, 30), 1);
    EXPECT_TRUE(SameImage(*a, *src)) << "same size: a copy";
    ASSERT_EQ(is.SmartResize(*src, *a, 40, 20), 1);
    ASSERT_EQ(is.Shrink5x5(*src, *b, 40, 20), 1);
    EXPECT_TRUE(SameImage(*a, *b)) << "scale exactly 1: plain supersampling";
    ASSERT_EQ(is.SmartResize(*src, *a, 20, 15), 1);
    ASSERT_EQ(is.AreaAverage(*src, *b, 20, 15), 1);
    EXPECT_TRUE(SameImage(*a, *b)) << "half the width: area averaging";
    ASSERT_EQ(is.SmartResize(*src, *a, 21, 15), 1);
    Matrix5x5 m;
    BuildSharpenMatrix5x5(m, 35);
    uint16_t px[4];
    CImageSize::SampleSupersampled5x5(*src, 21, 15, m, 7, 9, 0.666666 - 75 * 0.00333333, px);
    EXPECT_EQ(std::memcmp(px, Row16(*a, 9) + 7 * 4, 8), 0) << "51 %: sharpened supersampling";

    // Enlargement runs through the tripling in 100-row bands.
    ScopedImage small(Noise(12, 9, 8));
    ASSERT_EQ(is.SmartResize(*small, *a, 30, 20), 1);
    EXPECT_EQ(a->width, 30);
    EXPECT_EQ(a->height, 20);
}

TEST(ImageSize, RunChecksItsRecord)
{
    ScopedImage src(Noise(8, 6, 1)), dst;
    ImageSizeParams p;
    p.width = 4;
    p.height = 3;
    p.method = 1;
    CImageSize is;
    is.SetSource(&*src);
    is.SetDestination(&*dst);
    is.SetParams(&p);
    ASSERT_EQ(is.Run(), 1);
    EXPECT_EQ(dst->width, 4);
    p.method = 7;
    EXPECT_EQ(is.Run(), 0);
    p.method = 5;
    ASSERT_EQ(is.Run(), 1);
    EXPECT_EQ(dst->width, 16) << "double size ignores the asked size";
    EXPECT_EQ(dst->height, 12);
    p.size = 41;
    EXPECT_EQ(is.Run(), 0);
}

TEST(ImageSize, WholeDocument)
{
    CZDDoc doc;
    ScopedImage bg(Noise(40, 30, 1)), l1(Noise(10, 8, 2)), l2(Noise(6, 4, 3));
    ASSERT_TRUE(doc.AddLayer(*bg, u"bg"));
    ASSERT_TRUE(doc.AddLayer(*l1, u"one"));
    ASSERT_TRUE(doc.AddLayer(*l2, u"two"));
    doc.GetLayer(2)->x = 3;
    doc.GetLayer(2)->y = -5;
    ASSERT_TRUE(AllocPlane8(doc.selection, 40, 30));
    std::memset(doc.selection.data, 200, 1200);
    auto item = std::make_unique<MaskItem>();
    ASSERT_TRUE(AllocPlane8(item->plane, 10, 10));
    std::memset(item->plane.data, 255, 100);
    item->x = 5;
    item->y = 7;
    doc.masks.push_back(std::move(item));
    doc.modified = 0;

    ImageSizeParams p;
    p.width = 80;
    p.height = 60;
    p.method = 2;
    CImageSize is;
    is.SetDocument(&doc);
    is.SetParams(&p);
    p.method = 7;
    EXPECT_EQ(is.Run(), 0);
    EXPECT_EQ(doc.width, 40);
    p.method = 2;
    ASSERT_EQ(is.Run(), 1);
    EXPECT_EQ(doc.width, 80);
    EXPECT_EQ(doc.height, 60);
    EXPECT_EQ(doc.GetLayer(0)->pixels.width, 80);
    EXPECT_EQ(doc.GetLayer(1)->pixels.width, 20);
    EXPECT_EQ(doc.GetLayer(1)->pixels.height, 16);
    EXPECT_EQ(doc.GetLayer(1)->x, 30);
    EXPECT_EQ(doc.GetLayer(1)->y, 22);
    EXPECT_EQ(doc.GetLayer(2)->x, 6);
    EXPECT_EQ(doc.GetLayer(2)->y, -9) << "(int)(-10 + 0.5) truncates toward zero";
    EXPECT_EQ(doc.selection.width, 80);
    EXPECT_EQ(doc.masks[0]->plane.width, 20);
    EXPECT_EQ(doc.masks[0]->x, 10);
    EXPECT_EQ(doc.masks[0]->y, 14);
    EXPECT_EQ(doc.modified, 1);

    doc.modified = 0;
    ASSERT_EQ(is.Run(), 1);
    EXPECT_EQ(doc.modified, 0) << "already the target size: untouched";

    p.method = 5; // doubles whatever the record asks
    ASSERT_EQ(is.Run(), 1);
    EXPECT_EQ(doc.width, 160);
    EXPECT_EQ(doc.GetLayer(0)->pixels.width, 160);
    EXPECT_EQ(doc.GetLayer(2)->pixels.width, 24);
}

TEST(ImageSize, HelpersDoNotChangeResults)
{
    ScopedImage src(Noise(1000, 900, 11));
    ScopedImage out[2][6];
    for (int k = 0; k < 2; ++k) {
        WorkerScope scope(k == 0 ? 0 : 8);
        CImageSize is;
        ASSERT_EQ(is.ResizeCubic(*src, *out[k][0], 500, 450, 0.33f, 0.73f), 1);
        ASSERT_EQ(is.ResizeCubic(*src, *out[k][1], 1300, 1000, 0.33f, 0.73f), 1);
        ASSERT_EQ(is.AreaAverage(*src, *out[k][2], 500, 450), 1);
        ASSERT_EQ(is.ResizeBilinear(*src, *out[k][3], 1100, 1000), 1);
        ASSERT_EQ(is.ResizeNearest(*src, *out[k][4], 1700, 1300), 1);
        ASSERT_EQ(is.ResizeNearest(*src, *out[k][5], 333, 777), 1);
    }
    for (int i = 0; i < 6; ++i)
        EXPECT_TRUE(SameImage(*out[0][i], *out[1][i])) << i;
}

} // namespace
