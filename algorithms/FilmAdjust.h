// The film adjustment: exposure, dynamic range, colour temperature, colour boost, grain and
// sharpness in one banded pass.
#pragma once

#include "algorithms/AlgorithmParams.h"
#include "algorithms/Algorithm.h"

#include <cstddef>
#include <cstdint>
#include <vector>

struct FilmAdjustParams {
    uint16_t size = 28;
    uint16_t padding = 0;
    int32_t exposure = 0;     // -10..10 tenths of a step
    int32_t dynamicRange = 0; // -70..30
    int32_t temperature = 0;  // -1500..1500
    int32_t colourBoost = 0;  // -50..50
    int32_t grain = 0;        // 0..100
    int32_t sharpness = 0;    // -50..50
};
static_assert(sizeof(FilmAdjustParams) == 28);
static_assert(offsetof(FilmAdjustParams, grain) == 20);
static_assert(offsetof(FilmAdjustParams, sharpness) == 24);

// The sharpness step's blur: kernel 0 0 1 0 0 / 0 1 2 1 0 / 1 2 4 2 1 / 0 1 2 1 0 / 0 0 1 0 0 over 20,
// positions outside the picture taken from its border; B, G, R blurred, alpha copied.
// Destination of the source's size.
void FilmSoften5x5(const ImageBuffer16& source, ImageBuffer16& destination);

class CAFilmAdjust : public CAlgorithm {
public:
    int Run() override;
    int ProcessBand(BandTask& task) override;
    int PrepareBand(BandTask&, ImageBuffer16&, ImageBuffer16&) override { return m_direct ? kBandDirect : 0; }
    // The five tables T0 red, T1 green, T2 blue, T3 Cb, T4 Cr for the bounded record; 0 on failure.
    int BuildCurves();
    // Grain over the core rows of one band; the noise depends only on the run's seed and the
    // pixel's position, so the way the picture is cut into bands does not show.
    void AddGrain(BandTask& task);
    const uint16_t* Curve(int k) const { return m_curves.data() + size_t(k) * 65536; }

    // Grain seed of the next runs; without it every run takes a new one from the clock.
    void SetGrainSeed(uint32_t seed) { m_fixedSeed = true, m_seed = seed; }

    FilmAdjustParams m_params;

private:
    int ProcessRows(BandTask& task);
    FilmAdjustParams m_use{};
    std::vector<uint16_t> m_curves;
    bool m_built = false;
    bool m_direct = false; // no step needs neighbouring rows: bands work on the pictures in place
    bool m_fixedSeed = false;
    uint32_t m_seed = 0;
};
