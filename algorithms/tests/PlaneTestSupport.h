// An owned 8-bit plane filled from a function, for tests of masks and trimaps.
#pragma once

#include "imaging/ImageBuffer.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <functional>

struct TestMask {
    Plane8 p{};
    TestMask(int w, int h, const std::function<uint8_t(int x, int y)>& fn)
    {
        EXPECT_TRUE(AllocPlane8(p, w, h));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                p.data[size_t(y) * w + x] = fn(x, y);
    }
    ~TestMask() { FreePlane8(p); }
    TestMask(const TestMask&) = delete;
    TestMask& operator=(const TestMask&) = delete;
};
