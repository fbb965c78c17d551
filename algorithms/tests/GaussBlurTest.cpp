#include "algorithms/GaussBlur.h"
#include "algorithms/ScratchCache.h"
#include "algorithms/tests/AlgorithmTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace {

TEST(GaussKernel, WeightsAndReduction)
{
    int w[kGaussMaxTaps];
    // sigma 1: raw 1024, 621, 138, 11, then 0; S = 2564; each rescaled by 2048 / S.
    EXPECT_EQ(BuildGaussKernel(1.0, w), 4);
    EXPECT_EQ(std::vector<int>(w, w + 5), (std::vector<int>{817, 496, 110, 8, 0}));
    EXPECT_EQ(BuildGaussKernel(2.5, w), 10);
    EXPECT_LE(BuildGaussKernel(0.1, w), 2);

    struct Case { double sigma; int b; double used; };
    for (const Case& c : {Case{0.05, 1, 0.05}, Case{2.5, 1, 2.5}, Case{2.6, 2, 1.3}, Case{10, 4, 2.5}, Case{10.1, 5, 2.02},
                          Case{5.0, 2, 2.5}, Case{5.0000001, 3, 1.67}, Case{250, 100, 2.5}, Case{250.01, 101, 2.48},
                          Case{1e6, 400000, 2.5}})
        EXPECT_EQ(GaussReduction(c.sigma), c.b) << c.sigma;
    // The factor is the smallest b with sigma / b <= 2.5 all along the way.
    for (int i = 1; i < 4000; ++i) {
        const double sigma = 2.5 + i * 0.0625;
        const int b = GaussReduction(sigma);
        ASSERT_LE(sigma / b, 2.5) << sigma;
        ASSERT_GT(sigma / (b - 1), 2.5) << sigma;
    }
    // Sigmas from stored records that no dialog sets must not stall the search.
    EXPECT_EQ(GaussReduction(std::nan("")), 1);
    EXPECT_GE(GaussReduction(1e300), 1 << 20);
    EXPECT_GE(GaussReduction(static_cast<double>(INFINITY)), 1 << 20);
}

TEST(GaussBlur, HugeOrInfiniteStoredSigmaStillFinishes)
{
    ScopedImage src(MakeImage(9, 7, [](int x, int y, int c) -> uint16_t { return static_cast<uint16_t>(c == 3 ? 65535 : 5000 * ((x + y) % 5)); }));
    for (double sigma : {1e12, static_cast<double>(INFINITY)}) {
        ScopedImage dst;
        CGaussBlur blur;
        blur.SetSource(&*src);
        blur.SetDestination(&*dst);
        blur.SetParams(&sigma);
        ASSERT_EQ(blur.Run(), 1) << sigma;
        EXPECT_EQ(blur.m_reduction, 7) << "capped by the shorter side";
        EXPECT_EQ(dst->width, 9);
        EXPECT_EQ(dst->height, 7);
        Plane8 plane{}, out{};
        ASSERT_TRUE(AllocPlane8(plane, 9, 7));
        std::memset(plane.data, 90, 63);
        EXPECT_EQ(FeatherMask(sigma, plane, out), 1);
        // Flat; the plane enlargement's 8-bit weights may lose a level.
        for (int i = 0; i < 63; ++i)
            ASSERT_EQ(out.data[i], out.data[0]);
        EXPECT_NEAR(out.data[0], 90, 2);
        FreePlane8(plane);
        FreePlane8(out);
    }
}

// The blur as described: a row pass into a copy, then a column pass through a column buffer,
// each dividing by the weights actually used.
std::vector<int> ReferenceBlur(const std::vector<int>& in, int w, int h, int C, double sigma)
{
    int k[kGaussMaxTaps];
    const int L = BuildGaussKernel(sigma, k);
    std::vector<int> mid(in.size()), out(in.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < C; ++c) {
                int64_t s = 0, ws = 0;
                for (int t = std::max(x - L + 1, 0); t <= std::min(x + L, w) - 1; ++t) {
                    s += int64_t(k[std::abs(t - x)]) * in[(size_t(y) * w + t) * C + c];
                    ws += k[std::abs(t - x)];
                }
                mid[(size_t(y) * w + x) * C + c] = int(s / ws);
            }
    for (int x = 0; x < w; ++x)
        for (int c = 0; c < C; ++c) {
            std::vector<int> column(h);
            for (int y = 0; y < h; ++y) {
                int64_t s = 0, ws = 0;
                for (int t = std::max(y - L + 1, 0); t <= std::min(y + L, h) - 1; ++t) {
                    s += int64_t(k[std::abs(t - y)]) * mid[(size_t(t) * w + x) * C + c];
                    ws += k[std::abs(t - y)];
                }
                column[y] = int(s / ws);
            }
            for (int y = 0; y < h; ++y)
                out[(size_t(y) * w + x) * C + c] = column[y];
        }
    return out;
}

std::vector<int> ReferenceReducedBlur(const std::vector<int>& in, int w, int h, int C, double sigma)
{
    const int b = GaussReduction(sigma);
    const int rw = w / b, rh = h / b;
    std::vector<int> small(size_t(rw) * rh * C);
    for (int y = 0; y < rh; ++y)
        for (int x = 0; x < rw; ++x)
            for (int c = 0; c < C; ++c) {
                int64_t s = 0;
                for (int j = 0; j < b; ++j)
                    for (int i = 0; i < b; ++i)
                        s += in[(size_t(y * b + j) * w + x * b + i) * C + c];
                small[(size_t(y) * rw + x) * C + c] = static_cast<int>(s / (int64_t(b) * b));
            }
    const std::vector<int> bl = ReferenceBlur(small, rw, rh, C, sigma / b);
    std::vector<int> out(in.size());
    auto at = [&](int x, int y, int c) { return bl[(size_t(y) * rw + x) * C + c]; };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int cx = std::min(x / b, rw - 1), cy = std::min(y / b, rh - 1);
            const int cx1 = std::min(cx + 1, rw - 1), cy1 = std::min(cy + 1, rh - 1);
            for (int c = 0; c < C; ++c) {
                const int t = at(cx, cy, c) + (at(cx1, cy, c) - at(cx, cy, c)) * (x % b) / b;
                const int bo = at(cx, cy1, c) + (at(cx1, cy1, c) - at(cx, cy1, c)) * (x % b) / b;
                out[(size_t(y) * w + x) * C + c] = t + (bo - t) * (y % b) / b;
            }
        }
    return out;
}

std::vector<int> Values(const ImageBuffer16& img)
{
    return std::vector<int>(Pixels16(img), Pixels16(img) + PixelCount(img) * 4);
}

TEST(GaussBlur, MatchesTheReferenceAtEdgesAndTails)
{
    for (double sigma : {0.3, 1.0, 2.5, 2.6, 7.0}) {
        for (auto [w, h] : {std::pair{1, 7}, {2, 3}, {7, 1}, {19, 5}, {20, 21}, {33, 9}}) {
            SCOPED_TRACE(testing::Message() << "sigma " << sigma << " size " << w << "x" << h);
            if (GaussReduction(sigma) > std::min(w, h))
                continue;
            ScopedImage src(Noise(w, h, w * 100 + h)), dst;
            CGaussBlur blur;
            ASSERT_EQ(blur.BlurImage16(sigma, *src, *dst), 1);
            const std::vector<int> expect = GaussReduction(sigma) == 1
                                                ? ReferenceBlur(Values(*src), w, h, 4, sigma)
                                                : ReferenceReducedBlur(Values(*src), w, h, 4, sigma);
            ASSERT_EQ(Values(*dst), expect);
        }
    }
}

TEST(GaussBlur, LargeReductionFactorsMatchTheReference)
{
    // Factors up to 255 divide through a multiply, larger ones plainly; the sizes leave uneven
    // remainders at the right and bottom and reduced pictures of one row or column.
    struct Case { double sigma; int w, h; };
    for (const Case& c : {Case{100.0, 130, 90}, Case{637.5, 520, 300}, Case{700.0, 600, 290}, Case{1000.0, 401, 900}}) {
        SCOPED_TRACE(c.sigma);
        ScopedImage src(Noise(c.w, c.h, static_cast<unsigned>(c.sigma))), dst;
        CGaussBlur blur;
        ASSERT_EQ(blur.BlurImage16(c.sigma, *src, *dst), 1);
        ASSERT_EQ(blur.m_reduction, GaussReduction(c.sigma));
        ASSERT_EQ(Values(*dst), ReferenceReducedBlur(Values(*src), c.w, c.h, 4, c.sigma));
    }
}

TEST(GaussBlur, SpreadDivisionTruncatesLikeIntegers)
{
    // Every factor of the enlarge step, every quotient up to the largest difference of two
    // 16-bit values times the largest fraction, on and either side of each exact multiple,
    // where a quotient rounded up or down would show.
    for (int b = 1; b < 256; ++b) {
        const int top = 65535 * std::max(b - 1, 1);
        for (int k = 0; k * b <= top + 1; ++k)
            for (int r = -1; r <= 1; ++r)
                for (int sign : {1, -1}) {
                    const int n = sign * (k * b + r);
                    if (n > top || n < -top)
                        continue;
                    if (SpreadDivide(n, b) != n / b)
                        FAIL() << n << " / " << b << " gave " << SpreadDivide(n, b);
                }
    }
}

TEST(GaussBlur, ReducedEightBitBlurMatchesTheReference)
{
    // The 8-bit picture takes the same reduce, blur and enlarge steps in its own type, with
    // edges from 0 to 255 so the enlarge step spreads the largest differences.
    struct Case { double sigma; int w, h; };
    for (const Case& c : {Case{7.0, 37, 29}, Case{30.0, 150, 61}, Case{640.0, 600, 260}}) {
        SCOPED_TRACE(c.sigma);
        std::mt19937 rng(static_cast<unsigned>(c.sigma));
        ImageBuffer8 img{}, dst{};
        ASSERT_TRUE(AllocImage8(img, c.w, c.h));
        std::vector<int> in(img.byteSize);
        for (uint32_t i = 0; i < img.byteSize; ++i)
            in[i] = img.data[i] = (i / 4 / 9) % 2 ? static_cast<uint8_t>(rng()) : (i / 4 % 9 < 4 ? 0 : 255);
        CGaussBlur blur;
        ASSERT_EQ(blur.BlurImage8(c.sigma, img, dst), 1);
        EXPECT_EQ(std::vector<int>(dst.data, dst.data + dst.byteSize), ReferenceReducedBlur(in, c.w, c.h, 4, c.sigma));
        FreeImageBuffer(img);
        FreeImageBuffer(dst);
    }
}

TEST(GaussBlur, ReducedBlurReusesItsWorkPicturesAndGivesThemBack)
{
    // The reduced and blurred pictures go back to the scratch cache: a second blur of the same
    // size takes them again instead of adding more, and an idle release empties the cache.
    ReleaseScratch();
    ScopedImage src(Noise(300, 200, 9)), dst;
    CGaussBlur blur;
    ASSERT_EQ(blur.BlurImage16(12.0, *src, *dst), 1);
    const int blocks = ScratchCachedBlocks();
    const size_t bytes = ScratchCachedBytes();
    EXPECT_GE(bytes, 2u * (300 / blur.m_reduction) * (200 / blur.m_reduction) * 8);
    const std::vector<int> first = Values(*dst);
    ASSERT_EQ(blur.BlurImage16(12.0, *src, *dst), 1);
    EXPECT_EQ(ScratchCachedBlocks(), blocks);
    EXPECT_EQ(ScratchCachedBytes(), bytes);
    EXPECT_EQ(Values(*dst), first) << "reused scratch holds old values; the result must not see them";
    ReleaseScratch();
    EXPECT_EQ(ScratchCachedBytes(), 0u);
}

TEST(GaussBlur, SmallSigmaCopiesAndReductionIsRecorded)
{
    ScopedImage src(Noise(12, 10, 3)), dst;
    CGaussBlur blur;
    ASSERT_EQ(blur.BlurImage16(0.05, *src, *dst), 1);
    EXPECT_TRUE(SameImage(*src, *dst));
    ASSERT_EQ(blur.BlurImage16(2.6, *src, *dst), 1);
    EXPECT_EQ(blur.m_reduction, 2);
    EXPECT_DOUBLE_EQ(blur.m_sigma, 1.3);
    ASSERT_EQ(blur.BlurImage16(10, *src, *dst), 1);
    EXPECT_EQ(blur.m_reduction, 4);
    EXPECT_DOUBLE_EQ(blur.m_sigma, 2.5);

    // In place gives the same as into another picture.
    ScopedImage other;
    ASSERT_EQ(blur.BlurImage16(1.7, *src, *other), 1);
    ASSERT_EQ(blur.BlurImage16(1.7, *src, *src), 1);
    EXPECT_TRUE(SameImage(*src, *other));
}

TEST(GaussBlur, ConstantStaysConstantAndTinyPicturesSurviveLargeSigma)
{
    ScopedImage flat(MakeImage(37, 23, [](int, int, int c) -> uint16_t { return static_cast<uint16_t>(50000 + c); })), dst;
    CGaussBlur blur;
    for (double sigma : {0.7, 2.5, 9.0}) {
        ASSERT_EQ(blur.BlurImage16(sigma, *flat, *dst), 1);
        EXPECT_TRUE(SameImage(*flat, *dst)) << sigma;
    }
    ScopedImage tiny(Noise(3, 2, 9));
    ASSERT_EQ(blur.BlurImage16(63, *tiny, *dst), 1);
    EXPECT_EQ(dst->width, 3);
    EXPECT_EQ(dst->height, 2);
}

TEST(GaussBlur, ProgressOfReducedAndUnreducedBlurs)
{
    WorkerScope scope(0, false);
    ScopedImage src(Noise(20, 20, 1)), dst;
    for (auto [sigma, expected] : {std::pair{10.0, std::vector<int>{30, 50, 70, 100}}, {2.0, std::vector<int>{50}}}) {
        CGaussBlur blur;
        ASSERT_EQ(blur.BlurImage16(sigma, *src, *dst), 1);
        std::vector<int> got;
        for (auto& m : scope.host.Pump())
            got.push_back(m.p1);
        EXPECT_EQ(got, expected) << sigma;
    }
}

TEST(GaussBlur, RunTakesADoubleAndHelpersDoNotChangeTheResult)
{
    ScopedImage src(Noise(1000, 900, 5));
    ScopedImage out[2][3];
    const double sigmas[3] = {2.0, 10.0, 30.0};
    for (int k = 0; k < 2; ++k) {
        WorkerScope scope(k == 0 ? 0 : 8);
        for (int s = 0; s < 3; ++s) {
            CGaussBlur blur;
            blur.SetSource(&*src);
            blur.SetDestination(&*out[k][s]);
            blur.SetParams(&sigmas[s]);
            ASSERT_EQ(blur.Run(), 1);
        }
    }
    for (int s = 0; s < 3; ++s)
        EXPECT_TRUE(SameImage(*out[0][s], *out[1][s])) << sigmas[s];
}

TEST(GaussBlur, EightBitImageAndPlaneFollowTheSameRule)
{
    std::mt19937 rng(4);
    ImageBuffer8 img{}, dst{};
    ASSERT_TRUE(AllocImage8(img, 13, 11));
    std::vector<int> in(img.byteSize);
    for (uint32_t i = 0; i < img.byteSize; ++i)
        in[i] = img.data[i] = static_cast<uint8_t>(rng());
    CGaussBlur blur;
    ASSERT_EQ(blur.BlurImage8(1.4, img, dst), 1);
    EXPECT_EQ(std::vector<int>(dst.data, dst.data + dst.byteSize), ReferenceBlur(in, 13, 11, 4, 1.4));

    Plane8 plane{}, out{};
    ASSERT_TRUE(AllocPlane8(plane, 13, 11));
    std::vector<int> pv(plane.byteSize);
    for (uint32_t i = 0; i < plane.byteSize; ++i)
        pv[i] = plane.data[i] = static_cast<uint8_t>(rng());
    ASSERT_EQ(blur.BlurPlane8(2.0, plane, out), 1);
    EXPECT_EQ(std::vector<int>(out.data, out.data + out.byteSize), ReferenceBlur(pv, 13, 11, 1, 2.0));
    ASSERT_EQ(FeatherMask(0.0, plane, out), 1) << "radius 0 feathers nothing";
    EXPECT_EQ(std::memcmp(out.data, plane.data, plane.byteSize), 0);
    ASSERT_EQ(FeatherMask(40.0, plane, out), 1);
    EXPECT_EQ(out.width, 13);
    FreeImageBuffer(img);
    FreeImageBuffer(dst);
    FreePlane8(plane);
    FreePlane8(out);
}

// --- masks ---

struct ScopedPlane {
    Plane8 p{};
    ~ScopedPlane() { FreePlane8(p); }
};

ScopedPlane* Mask(ScopedPlane& sp, const std::vector<std::string>& rows)
{
    const int h = static_cast<int>(rows.size()), w = static_cast<int>(rows[0].size());
    EXPECT_TRUE(AllocPlane8(sp.p, w, h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const char c = rows[y][x];
            sp.p.data[y * w + x] = c == '#' ? 255 : c == '.' ? 0 : static_cast<uint8_t>((c - '0') * 20);
        }
    return &sp;
}

std::vector<std::string> Draw(const Plane8& p)
{
    std::vector<std::string> rows;
    if (!p.data)
        return rows;
    for (int y = 0; y < p.height; ++y) {
        std::string r;
        for (int x = 0; x < p.width; ++x) {
            const int v = p.data[y * p.width + x];
            r += v == 255 ? '#' : v == 0 ? '.' : static_cast<char>('0' + v / 20);
        }
        rows.push_back(r);
    }
    return rows;
}

TEST(Masks, ExpandGrowsOverADiscAndKeepsFullPixels)
{
    ScopedPlane src, dst;
    Mask(src, {".......", ".......", ".......", "...5...", ".......", ".......", "......#"});
    ASSERT_EQ(ExpandMask(src.p, dst.p, 2), 1);
    EXPECT_EQ(Draw(dst.p), (std::vector<std::string>{".......", "...5...", "..555..", ".55555.", "..555.#", "...5.##", "....###"}));
    ASSERT_EQ(ExpandMask(src.p, dst.p, 0), 1);
    EXPECT_EQ(Draw(dst.p), Draw(src.p));

    ScopedPlane empty, out;
    Mask(empty, {"....", "...."});
    ASSERT_EQ(ExpandMask(empty.p, out.p, 3), 1);
    EXPECT_EQ(Draw(out.p), (std::vector<std::string>{"....", "...."}));
    ASSERT_EQ(ShrinkMask(empty.p, out.p, 0, 0), 1);
    EXPECT_EQ(Draw(out.p), (std::vector<std::string>{"....", "...."}));
}

TEST(Masks, ShrinkErodesAndReleasesWhenAsked)
{
    ScopedPlane src, dst;
    Mask(src, {"........", ".######.", ".######.", ".######.", ".######.", "........"});
    ASSERT_EQ(ShrinkMask(src.p, dst.p, 1, 0), 1);
    EXPECT_EQ(Draw(dst.p), (std::vector<std::string>{"........", "........", "..####..", "..####..", "........", "........"}));
    // A stripe narrower than twice the radius goes entirely.
    ASSERT_EQ(ShrinkMask(src.p, dst.p, 3, 0), 1);
    EXPECT_EQ(Draw(dst.p)[2], "........");
    ASSERT_EQ(ShrinkMask(src.p, dst.p, 3, 1), 1);
    EXPECT_EQ(dst.p.data, nullptr) << "released when empty";
}

TEST(Masks, BorderAndBoundingBox)
{
    ScopedPlane src, dst;
    Mask(src, {"......", ".####.", ".####.", ".####.", ".####.", "......"});
    ASSERT_EQ(MaskBorder(src.p, dst.p, 1), 1);
    EXPECT_EQ(Draw(dst.p), (std::vector<std::string>{"......", ".####.", ".#..#.", ".#..#.", ".####.", "......"}));
    ASSERT_EQ(MaskBorder(src.p, dst.p, 2), 1);
    EXPECT_EQ(Draw(dst.p), (std::vector<std::string>{".####.", "######", "##..##", "##..##", "######", ".####."}));
    ASSERT_EQ(MaskBorder(src.p, dst.p, 0), 1);
    EXPECT_EQ(dst.p.data, nullptr) << "width 0 gives an empty result";

    EXPECT_EQ(MaskBBox(src.p), (MaskRect{1, 1, 5, 5}));
    ScopedPlane none;
    Mask(none, {"...", "..."});
    const MaskRect r = MaskBBox(none.p);
    EXPECT_LT(r.right, r.left);
}

} // namespace

namespace {

TEST(GaussBlurJob, RunsOnTheWorkerWithProgressThenCompletion)
{
    WorkerScope scope(4);
    ScopedImage src(Noise(300, 200, 8)), dst, direct;
    const double sigma = 9.0;
    CGaussBlur blur;
    ASSERT_EQ(StartAlgorithm(&blur, &*src, &*dst, &sigma, 0), 1);
    const auto msgs = scope.host.PumpUntil(1000);
    std::vector<int> p1;
    for (const auto& m : msgs)
        p1.push_back(m.p1);
    EXPECT_EQ(p1, (std::vector<int>{30, 50, 70, 100, 1000}));
    EXPECT_EQ(msgs.back().p2, 1);
    ASSERT_TRUE(theAlgorithmThread.WaitIdle(5000));
    CGaussBlur again;
    ASSERT_EQ(again.BlurImage16(sigma, *src, *direct), 1);
    EXPECT_TRUE(SameImage(*dst, *direct));
    EXPECT_EQ(scope.host.Pump().size(), 4u) << "a run on the calling thread reports to the listener too";

    // The same object run again reports its percentages again.
    ASSERT_EQ(StartAlgorithm(&blur, &*src, &*dst, &sigma, 100), 1);
    const auto second = scope.host.PumpUntil(1100);
    EXPECT_EQ(second.size(), 5u);
}

} // namespace
