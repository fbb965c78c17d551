// Skin smoothing for portraits: a mask of the skin from a picked colour, a lightening and tint
// of the skin, smoothing that ignores non-skin pixels (or the noise reduction), blended in by
// the mask and an amount, and an optional fine grain so that skin does not look plastic.
#pragma once

#include "algorithms/Algorithm.h"
#include "algorithms/AlgorithmParams.h"

// Stored in history steps and scheme files: a file format.
struct SkinCleanParams {
    uint16_t size = 40;
    uint16_t padding = 0;
    int32_t radius = 4;          // standard deviation of the smoothing, 1..16
    int32_t amount = 50;         // percent of smoothing blended in
    int32_t lighten = 0;         // first value of the film adjustment, -3..7
    int32_t pink = 0;            // tint strength, 0..100
    int32_t noiseReduction = 0;  // nonzero: smooth with the noise reduction
    int32_t grain = 0;           // nonzero: add grain
    int32_t reserved = 0;
    uint16_t skin[4] = {12000, 18000, 30000, 65535}; // B, G, R, A
};
static_assert(sizeof(SkinCleanParams) == 40);
static_assert(offsetof(SkinCleanParams, radius) == 4);
static_assert(offsetof(SkinCleanParams, noiseReduction) == 20);
static_assert(offsetof(SkinCleanParams, skin) == 32);

// The film adjustment the tone correction runs as a nested step (source to destination, with
// `lighten` as its first value and the others 0): CAFilmAdjust unless a test puts another in
// (null puts CAFilmAdjust back). With lighten 0 the step is a copy.
using SkinFilmAdjustFn = int (*)(CAlgorithm* parent, int progressLow, int progressHigh, ImageBuffer16& source,
                                 ImageBuffer16& destination, int lighten);
void SetSkinFilmAdjust(SkinFilmAdjustFn fn);

// Membership tables of the skin mask over a 16-bit hue, saturation or lightness.
void BuildSkinHueTable(uint16_t hue, uint8_t* table);
// rise: h = rise x v / s - offset below s (2 and 0.3 for saturation, 2.5 and 0.2 for lightness).
void BuildSkinLevelTable(uint16_t s, double rise, double offset, uint8_t* table);

class CSkinClean : public CAlgorithm {
public:
    ~CSkinClean() override;
    int Run() override;

    int BuildSkinMask();
    int CorrectSkinTone();
    int SmoothGaussian();
    int BlendSmoothed();
    int AddGrain();

    SkinCleanParams m_params;
    Plane8 m_mask{};
    ImageBuffer16 m_work{};
    int m_weights[256] = {}; // Gaussian weights, centre at 128
    int m_reach = 0;         // weights are nonzero below this distance
    bool m_cancelled = false;

private:
    void SmoothLine(const uint16_t* src, uint16_t* dst, const uint8_t* mask, int n, size_t step, size_t maskStep) const;
};
