// Film look: faded tinted colours, grain, scratches and darkened corners.
#pragma once

#include "algorithms/AlgorithmParams.h"
#include "algorithms/Algorithm.h"
#include "algorithms/ColourOps.h"

#include <cstddef>
#include <cstdint>
#include <memory>

struct AddSomethingParams {
    uint16_t size = 32;
    uint16_t padding = 0;
    int32_t grain = 0;    // 0 none
    int32_t fade = 0;     // percent
    int32_t baseMode = 0; // 0 film, 1 photo paper
    int32_t scratches = 0;
    int32_t darkCorners = 0;
    int32_t centreX = 0;  // percent of the width
    int32_t centreY = 0;  // percent of the height
};
static_assert(sizeof(AddSomethingParams) == 32);
static_assert(offsetof(AddSomethingParams, scratches) == 16);
static_assert(offsetof(AddSomethingParams, centreY) == 28);

class CAddSomething : public CAlgorithm {
public:
    int Run() override;
    // The per-pixel steps, in the order the run applies them to each pixel.
    void Fade(uint16_t* pixel) const;
    void AddGrain(uint16_t* pixel, RowRand& rng) const;
    void DarkenCorners(uint16_t* pixel, int x, int y) const;
    // Draws the scratches into the mask that the run applies; 0 when the mask cannot be had.
    int AddScratches();

    // Fade range of channel c (0 B, 1 G, 2 R) for a base mode.
    static void FadeRange(int mode, int channel, int& lo, int& hi);

    AddSomethingParams m_params;

private:
    void ProcessRow(int y);
    AddSomethingParams m_use{};
    uint32_t m_grainSeed = 0;
    int m_fadeLo[3] = {}, m_fadeHi[3] = {};
    int m_cx = 0, m_cy = 0;
    double m_r0 = 0, m_innerSq = 0;
    std::unique_ptr<uint8_t[]> m_mask; // scratches, one run only
};
