// Matting refinement: pixels marked known keep their alpha; every other pixel's alpha is
// relaxed towards a weighted mean of its 5 x 5 neighbourhood, with weights of a closed-form
// matting Laplacian on a guide picture, so alpha follows the guide's colour edges. The integer
// version spreads each sweep over the helpers; the double version keeps exact arithmetic.
#pragma once

#include "algorithms/Algorithm.h"

#include <cstdint>
#include <vector>

// Holds pointers, so it lives in memory only; its size word is the record's own size here.
struct LaplacianMattingParams {
    uint16_t size = sizeof(LaplacianMattingParams);
    ImageBuffer16* guide = nullptr;  // colours that define the weights
    int32_t reserved = 0;
    int32_t singleWindow = 0;        // nonzero: 3 x 3 neighbourhood, only the pixel's own window
    Plane16* alpha = nullptr;        // read and rewritten in place
    Plane8* known = nullptr;         // 255 = known (left alone)
    int32_t iterations = 0;
};

constexpr int kMattingTaps = 25;

class CLaplasianMattingOptimize : public CAlgorithm {
public:
    int Run() override;
    // One integer sweep over a band's own rows.
    int ProcessBand(BandTask& task) override;

    // Counts the unknown pixels and sizes the weight buffer; false when the planes do not fit
    // the guide.
    bool CountUnknown();
    // Window statistics of the guide, then 25 weights per unknown pixel, in raster order.
    bool BuildWeights();
    // The 25 weights of an unknown pixel (row-major offsets -2..2), or null for a known one.
    const int16_t* WeightsAt(int x, int y) const;

    LaplacianMattingParams m_params;
    uint32_t m_unknown = 0;

protected:
    bool ReadRecord();
    void SweepRows(int y0, int y1, const uint16_t* work, uint16_t* alpha) const;

    std::vector<uint16_t> m_mean, m_deviation; // deviation: channel << 14 | (deviation >> 2)
    std::vector<int16_t> m_weights;
    std::vector<int64_t> m_rowStart; // index of each row's first unknown pixel
    std::vector<uint16_t> m_work;
};

class CDoubleLaplacian : public CLaplasianMattingOptimize {
public:
    int Run() override;
    int ProcessBand(BandTask&) override { return 0; }
};
