// Shadows and highlights: a global anchor curve, two curves blended by blurred shadow and
// highlight weights, or a local tone mapping with an automatic level stretch.
#pragma once

#include "algorithms/AlgorithmParams.h"
#include "algorithms/Algorithm.h"

#include <cstddef>
#include <cstdint>
#include <vector>

struct EnhanceDynamicParams {
    uint16_t size = 40;
    uint16_t padding = 0;
    int32_t reserved0 = 0;
    double factor = 0;      // mode 2: curve slope; below 0.001 automatic, with a level stretch
    int32_t mode = 2;       // 0 curve, 1 blended curves, 2 local tone mapping
    int32_t shadows = 50;   // 0..100
    int32_t highlights = 50;
    int32_t radius = 10;    // mode 2
    int32_t enhance = 50;   // mode 2
    int32_t reserved1 = 0;
};
static_assert(sizeof(EnhanceDynamicParams) == 40);
static_assert(offsetof(EnhanceDynamicParams, factor) == 8);
static_assert(offsetof(EnhanceDynamicParams, mode) == 16);
static_assert(offsetof(EnhanceDynamicParams, enhance) == 32);

class CEnhanceDynamic : public CAlgorithm {
public:
    int Run() override;
    int ApplyAnchorCurve();
    int BlendCurves();
    int LocalToneMap();
    // Builds the mode-0 table for the amounts.
    static void BuildAnchorTable(int shadows, int highlights, uint16_t* table);

    EnhanceDynamicParams m_params;
    std::vector<uint16_t> m_table; // mode 0

private:
    EnhanceDynamicParams m_use; // the record after bounding
};

// clamp(4 (values above 220 + values below 32) / pixels + 1.5, 2, 4).
double AutoToneFactor(const Plane8& grey);
