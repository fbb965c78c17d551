#include "algorithms/MeshTransform.h"
#include "algorithms/tests/AlgorithmTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace {

uint16_t Ramp(int x, int y, int c)
{
    return static_cast<uint16_t>(c == 3 ? 60000 - 10 * x : 500 * x + 700 * y + 13 * c);
}

// Mesh as the warp brush builds it: ceil(size / s) nodes each way.
std::unique_ptr<double[]> Mesh(int columns, int rows, const std::function<std::pair<double, double>(int i, int j)>& fn)
{
    std::unique_ptr<double[]> n(new double[size_t(columns) * rows * 2]);
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < columns; ++j) {
            auto [dx, dy] = fn(i, j);
            n[2 * (size_t(i) * columns + j)] = dx;
            n[2 * (size_t(i) * columns + j) + 1] = dy;
        }
    return n;
}

int Warp(CMeshTransform& m, ImageBuffer16& src, ImageBuffer16& dst)
{
    m.SetSource(&src);
    m.SetDestination(&dst);
    m.SetParams(nullptr);
    return m.Run();
}

const uint16_t* Px(const ImageBuffer16& img, int x, int y)
{
    return Row16(img, y) + x * 4;
}

TEST(MeshTransform, DisplacementsMovePixels)
{
    // 50 x 37 picture, cells of 8: 7 x 5 nodes, cells cover x < 48 and y < 32.
    ScopedImage src(MakeImage(50, 37, Ramp));
    struct Case {
        const char* name;
        std::function<std::pair<double, double>(int, int)> node;
        std::function<void(const ImageBuffer16&)> check;
    };
    const Case cases[] = {
        {"zero mesh", [](int, int) { return std::pair{0.0, 0.0}; },
         [&](const ImageBuffer16& d) { EXPECT_TRUE(SameImage(d, *src)); }},
        {"whole-pixel shift",
         [](int, int) { return std::pair{3.0, -2.0}; },
         [&](const ImageBuffer16& d) {
             for (int y = 2; y < 32; ++y)
                 for (int x = 0; x < 47 - 3; ++x)
                     for (int c = 0; c < 4; ++c)
                         ASSERT_EQ(Px(d, x, y)[c], Px(*src, x + 3, y - 2)[c]) << x << "," << y;
             // Rows 0 and 1 read above the picture.
             for (int c = 0; c < 4; ++c)
                 EXPECT_EQ(Px(d, 5, 1)[c], 0);
         }},
        {"half pixel to the left at the picture edge",
         [](int, int j) { return std::pair{j == 0 ? -0.5 : 0.0, 0.0}; },
         [&](const ImageBuffer16& d) {
             // The floor of -0.5 is -1: half transparent outside, half pixel 0.
             for (int y = 0; y < 32; ++y)
                 for (int c = 0; c < 4; ++c)
                     ASSERT_EQ(Px(d, 0, y)[c], Px(*src, 0, y)[c] * 128 >> 8) << y;
         }},
        {"pushed off the picture",
         [](int, int) { return std::pair{1000.0, 0.0}; },
         [&](const ImageBuffer16& d) {
             for (int y = 0; y < 32; ++y)
                 for (int x = 0; x < 48; ++x)
                     for (int c = 0; c < 4; ++c)
                         ASSERT_EQ(Px(d, x, y)[c], 0);
         }},
        {"one node moved",
         [](int i, int j) { return i == 2 && j == 3 ? std::pair{2.0, 4.0} : std::pair{0.0, 0.0}; },
         [&](const ImageBuffer16& d) {
             // The node's own pixel moves by the whole vector; cells without it stay.
             for (int c = 0; c < 4; ++c)
                 EXPECT_EQ(Px(d, 24, 16)[c], Px(*src, 26, 20)[c]);
             for (int c = 0; c < 4; ++c)
                 EXPECT_EQ(Px(d, 5, 5)[c], Px(*src, 5, 5)[c]);
             EXPECT_EQ(Px(d, 40, 30)[0], Px(*src, 40, 30)[0]);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CMeshTransform m;
        m.SetMesh(Mesh(7, 5, c.node), 7, 5, 8);
        ScopedImage dst;
        ASSERT_EQ(Warp(m, *src, *dst), 1);
        c.check(*dst);
        // The strip right of the last node column and below the last node row never changes.
        for (int y = 0; y < 37; ++y)
            for (int x = 0; x < 50; ++x)
                if (x >= 48 || y >= 32) {
                    ASSERT_EQ(std::memcmp(Px(*dst, x, y), Px(*src, x, y), 8), 0) << x << "," << y;
                }
    }
}

TEST(MeshTransform, RefusesMissingMeshAndBadCellsKeepsDestination)
{
    ScopedImage src(MakeImage(20, 20, Ramp));
    ScopedImage dst(MakeImage(4, 4, Ramp)), before(MakeImage(4, 4, Ramp));
    CMeshTransform none;
    EXPECT_EQ(Warp(none, *src, *dst), 0);
    CMeshTransform zeroCell;
    zeroCell.SetMesh(Mesh(3, 3, [](int, int) { return std::pair{1.0, 1.0}; }), 3, 3, 0);
    EXPECT_EQ(Warp(zeroCell, *src, *dst), 0);
    EXPECT_TRUE(SameImage(*dst, *before));
    ScopedImage empty;
    CMeshTransform m;
    m.SetMesh(Mesh(3, 3, [](int, int) { return std::pair{1.0, 1.0}; }), 3, 3, 8);
    EXPECT_EQ(Warp(m, *empty, *dst), 0);
}

TEST(MeshTransform, MeshLargerThanThePictureAndOddValuesStayInside)
{
    ScopedImage src(MakeImage(10, 7, Ramp)), dst;
    CMeshTransform m;
    m.SetMesh(Mesh(40, 30, [](int i, int j) {
                  return (i + j) % 3 == 0 ? std::pair{std::nan(""), 1e300} : std::pair{-1e9, 0.25};
              }),
              40, 30, 4);
    ASSERT_EQ(Warp(m, *src, *dst), 1);
    EXPECT_EQ(dst->width, 10);
    EXPECT_EQ(dst->height, 7);
}

TEST(MeshTransform, HelpersDoNotChangeTheResult)
{
    ScopedImage src(Noise(1000, 700, 4));
    ScopedImage out[2];
    for (int k = 0; k < 2; ++k) {
        WorkerScope scope(k == 0 ? 0 : 8);
        CMeshTransform m;
        m.SetMesh(Mesh(63, 44, [](int i, int j) { return std::pair{std::sin(i * 0.3) * 7.3, std::cos(j * 0.2) * 5.1}; }),
                  63, 44, 16);
        ASSERT_EQ(Warp(m, *src, *out[k]), 1);
    }
    EXPECT_TRUE(SameImage(*out[0], *out[1]));
}

} // namespace
