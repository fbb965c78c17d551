// Removes the dot pattern of scanned prints: overlapping 256 x 256 tiles are cosine
// transformed, the isolated peaks above each frequency zone's typical level (the screen) are
// flattened beyond a cut-off set by the pattern size, and the tiles are transformed back.
#pragma once

#include "algorithms/Algorithm.h"
#include "algorithms/AlgorithmParams.h"
#include "algorithms/TileFilter.h"

// Stored in history steps and scheme files: a file format.
struct DescreenParams {
    uint16_t size = 16;
    uint16_t padding = 0;
    int32_t patternSize = 1;   // 0 small, 1 medium, 2 big; anything else changes nothing
    int32_t strength = 50;     // 0..100
    int32_t luminanceOnly = 1; // nonzero: filter Y only; zero: red, green and blue
};
static_assert(sizeof(DescreenParams) == 16);
static_assert(offsetof(DescreenParams, patternSize) == 4);
static_assert(offsetof(DescreenParams, strength) == 8);
static_assert(offsetof(DescreenParams, luminanceOnly) == 12);

// Cut-off zone for a pattern size: 85, 51, 21, or 256 (nothing changes).
int DescreenCutoff(int patternSize);
// Zone means of |c| over a 256 x 256 block, zone = (row + column) / 2: m1 the plain mean, m2
// the mean of the values below 4 m1 (0 when none).
void DescreenZoneMeans(const double* block, double* m1, double* m2);
// Flattens the peaks of one 256 x 256 coefficient block.
void SuppressPeaks(double* block, int patternSize, int strength);

class CDescreen : public CAlgorithm {
public:
    CDescreen() { m_borderMode = BorderMirror; }
    int Run() override;
    int ProcessBand(BandTask& task) override;

    DescreenParams m_params;
};
