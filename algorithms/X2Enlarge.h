// 2x enlargement: bands tripled by the edge-directed enlargement, then reduced to two thirds by
// area averaging with an unsharp step, spread over the helper threads.
#pragma once

#include "algorithms/Algorithm.h"

class C2XEnlarge : public CAlgorithm {
public:
    int Run() override;
    int ProcessBand(BandTask& task) override;

    // Each band seeds its thread's grain generator from this and its first row, so the result
    // does not depend on which helper took the band.
    uint32_t m_grainSeed = 0x2E9A17u;
};
