// Pixel classification of the edge-directed tripling: the fractional sample patterns.
#include "algorithms/X3Enlarge.h"
#include "algorithms/tests/AlgorithmTestSupport.h"

#include <gtest/gtest.h>

namespace {

TEST(X3Classify, FractionalDirectionsFollowTheirSampleTable)
{
    // Grey ramps constant along a line through the centre: only the direction whose four
    // samples (blends of two pixels by 25, 50 or 75 %) lie on that line scores 0.
    struct Case { int a, b; int direction; };
    const Case cases[] = {
        {1, 4, 1},   // constant along (4, -1)
        {1, 2, 2},   // along (2, -1)
        {3, 4, 3},   // along (4, -3)
        {2, 1, 6},   // along (1, -2)
        {2, -1, 10}, // along (1, 2)
        {1, -2, 14}, // along (2, 1)
        {0, 1, 0},   // horizontal
        {1, 0, 8},   // vertical
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.direction);
        static int a, b;
        a = c.a;
        b = c.b;
        ScopedImage src(MakeImage(5, 5, [](int x, int y, int ch) -> uint16_t {
            return ch == 3 ? 65535 : static_cast<uint16_t>(30000 + 1000 * (a * (x - 2) + b * (y - 2)));
        }));
        CX3Enlarge x3;
        ASSERT_EQ(x3.ClassifyPixels(*src), 1);
        EXPECT_EQ(DirectionIndex(x3.Code(2, 2)), c.direction);
    }
}

} // namespace
