// Film look: faded tinted colours, grain, scratches and darkened corners.
#pragma once

#include "algorithms/AlgorithmParams.h"
#include "algorithms/Algorithm.h"

#include <cstddef>
#include <cstdint>

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
    void Fade();
    void AddGrain();
    int AddScratches();
    void DarkenCorners();

    // Fade range of channel c (0 B, 1 G, 2 R) for a base mode.
    static void FadeRange(int mode, int channel, int& lo, int& hi);

    AddSomethingParams m_params;

private:
    AddSomethingParams m_use{};
};
