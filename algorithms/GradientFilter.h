// Graduated filter: two treated versions of the picture blended along a line at an angle.
#pragma once

#include "algorithms/AlgorithmParams.h"
#include "algorithms/Algorithm.h"
#include "algorithms/ColourOps.h"

#include <cstddef>
#include <cstdint>

struct GradientParams {
    uint16_t size = 48;
    uint16_t padding = 0;
    int32_t mode = 1;          // nonzero exposure gradient, 0 colour gradient
    double exposureBias = 0;   // exposure mode
    uint16_t colour1[4] = {0, 0, 0, 0}; // B, G, R, A; colour mode
    uint16_t colour2[4] = {0, 0, 0, 0};
    int32_t amount = 100;      // percent
    int32_t angle = 0;         // degrees
    int32_t start = 0;         // percent of the gradient's length
    int32_t end = 100;
};
static_assert(sizeof(GradientParams) == 48);
static_assert(offsetof(GradientParams, exposureBias) == 8);
static_assert(offsetof(GradientParams, colour1) == 16);
static_assert(offsetof(GradientParams, amount) == 32);
static_assert(offsetof(GradientParams, end) == 44);

class CGradientFilter : public CRowAlgorithm {
public:
    ~CGradientFilter() override;
    int Run() override;
    // Blend weight 0..255 of version B at (x, y) of a w x h picture.
    static int Weight(const GradientParams& bounded, int x, int y, int w, int h);

    GradientParams m_params;
    ImageBuffer16 m_versionA{}; // kept between runs

protected:
    bool ProcessRows(int first, int end) override;

private:
    int RunNested(CAlgorithm& child, const void* params, int step, ImageBuffer16* out);
    GradientParams m_use{};
};
