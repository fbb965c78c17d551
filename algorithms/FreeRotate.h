// Free rotation onto a canvas that just holds the turned picture, and one-coefficient barrel /
// pincushion correction at the picture's own size; both may crop to the largest centred
// rectangle without a transparent test point.
#pragma once

#include "algorithms/Algorithm.h"

#include <cstddef>
#include <cstdint>

// History step and scheme step ids of the two records.
constexpr uint16_t kRotateStepId = 8;
constexpr uint16_t kBarrelDistortStepId = 10;

struct RotateParams {
    uint16_t size = 24;
    uint8_t padding[6] = {};
    double angle = 0;          // radians, positive turns clockwise on the screen
    int32_t cropToOpaque = 0;  // nonzero: crop the result
    uint8_t reserved[4] = {};
};
static_assert(sizeof(RotateParams) == 24);
static_assert(offsetof(RotateParams, angle) == 8 && offsetof(RotateParams, cropToOpaque) == 16);

struct BarrelDistortParams {
    uint16_t size = 24;
    uint8_t padding[6] = {};
    double coefficient = 0;    // k in -1..1; 0 = plain copy
    int32_t cropToOpaque = 0;
    uint8_t reserved[4] = {};
};
static_assert(sizeof(BarrelDistortParams) == 24);
static_assert(offsetof(BarrelDistortParams, coefficient) == 8 &&
              offsetof(BarrelDistortParams, cropToOpaque) == 16);

// Bilinear sample with 8-bit weights at a real position; x0 is the position truncated toward
// zero and the second neighbour lies on the far side of it, so negative positions interpolate
// toward column -1. Neighbours outside the source count as 0 in every channel. With
// `coverageAlpha` the source alpha is ignored and the result's alpha is the share of inside
// neighbours.
void SampleBilinearTrunc(const ImageBuffer16& source, double sx, double sy, bool coverageAlpha,
                         uint16_t* out);

// Crops `image` in place to the centred rectangle of its aspect found by bisection; the test
// points are the four corners, plus the four edge middles with `edgeMiddles`. 0 on failure.
int CropToOpaqueRect(ImageBuffer16& image, bool edgeMiddles);

class CRotate : public CAlgorithm {
public:
    int Run() override;
    // Fills the canvas (already allocated) from the source.
    bool Sample(const ImageBuffer16& source, ImageBuffer16& canvas);
    int CropToOpaque(ImageBuffer16& image) { return CropToOpaqueRect(image, false); }

    RotateParams m_params;
    double m_sin = 0, m_cos = 1;
    // Centres of the middle pixel ((size - 1) / 2), so a quarter turn maps pixels onto pixels.
    double m_sourceCx = 0, m_sourceCy = 0, m_canvasCx = 0, m_canvasCy = 0;
};

class CBarrelDistort : public CAlgorithm {
public:
    int Run() override;
    int CropToOpaque(ImageBuffer16& image) { return CropToOpaqueRect(image, true); }

    BarrelDistortParams m_params;
};
