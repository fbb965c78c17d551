// White balance by per-channel gains toward a neutral reference, and exposure from a metered spot.
#pragma once

#include "algorithms/Algorithm.h"

#include <cstdint>

// In memory only (no size word): the reference colour and how to get it.
struct WhiteBalanceParams {
    uint16_t blue = 0;
    uint16_t green = 0;
    uint16_t red = 0;
    uint16_t mode = 0; // 0 automatic, 1 automatic pulled toward grey; any other value: given reference
};
static_assert(sizeof(WhiteBalanceParams) == 8);

enum : uint16_t {
    WhiteBalanceAuto = 0,
    WhiteBalanceAutoStrong = 1,
    WhiteBalanceGiven = 65535,
};

class CWhiteBalance : public CAlgorithm {
public:
    int Run() override;
    // Automatic levels of source into destination, then the least coloured mid-tones of the
    // result as the reference. 0 when the levels step fails.
    int EstimateNeutral();
    // Maps the destination in place so that the reference becomes grey.
    void ApplyGains();
    WhiteBalanceParams m_block;
};

// Spot block (no size word): the metered colour and a flag, nonzero when a spot was measured.
struct SpotMeteringParams {
    uint16_t blue = 0;
    uint16_t green = 0;
    uint16_t red = 0;
    uint16_t measured = 0;
};
static_assert(sizeof(SpotMeteringParams) == 8);

class CSpotMetering : public CAlgorithm {
public:
    int Run() override;
    // The brightness factor that brings a spot of this luminance to 25000.
    static double SpotFactor(int luminance);
    SpotMeteringParams m_block;
};
