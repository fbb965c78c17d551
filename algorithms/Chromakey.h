// Chroma key: an alpha matte from how close each pixel's hue and chroma are to sampled key
// colours, with spill suppression, edge repair and matte refinement. Keys that are nearly grey
// cannot be told apart by hue and go through the inside/outside matting instead.
#pragma once

#include "algorithms/Algorithm.h"

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr uint16_t kChromakeyStepId = 38;

struct ChromakeyParams {
    uint16_t size = 360;
    uint8_t reserved0[6] = {};
    uint16_t samples[10][4] = {};   // B, G, R, A (A not read), working colour space
    uint8_t sampleCount = 0;         // samples used, 0..10
    uint8_t reserved1 = 0;
    uint16_t hueToleranceBelow = 2000;
    uint16_t hueToleranceAbove = 2000;
    uint8_t chromaNormalise = 0;     // 0..100 percent
    uint8_t edgeRadius = 2;          // 0 = no edge repair
    uint8_t keyNeutralise = 0;
    uint8_t matteBlur = 0;
    uint8_t reserved2[2] = {};
    uint32_t snapAndCurve = 0;       // snap the key to the picture and apply the alpha curve
    uint8_t alphaCurve[256] = {};
};
static_assert(sizeof(ChromakeyParams) == 360);
static_assert(offsetof(ChromakeyParams, samples) == 8 && offsetof(ChromakeyParams, sampleCount) == 88 &&
              offsetof(ChromakeyParams, hueToleranceBelow) == 90 && offsetof(ChromakeyParams, edgeRadius) == 95 &&
              offsetof(ChromakeyParams, snapAndCurve) == 100 && offsetof(ChromakeyParams, alphaCurve) == 104);

// Defaults of the fields the record defines; the bytes it leaves unset are kept.
void InitChromakeyParams(ChromakeyParams& params);

// P's luma with F's chroma; P's alpha.
void ApplyForegroundChroma(const uint16_t* P, const uint16_t* F, uint16_t* out);

class CChromakey : public CAlgorithm {
public:
    CChromakey() { InitChromakeyParams(m_params); }

    int Run() override;

    ChromakeyParams m_params;
    uint16_t m_key[4] = {};
    bool m_nearGrey = false;
    std::vector<uint16_t> m_membership; // by hue
    std::vector<uint16_t> m_mask;       // key mask, then the composed alpha

private:
    bool BuildKeyTables();
    bool BuildKeyMask(const ImageBuffer16& source, ImageBuffer16& destination);
    void ComposeRows(const ImageBuffer16& source, ImageBuffer16& destination, int y0, int y1);
    bool RefineEdges(const ImageBuffer16& source, ImageBuffer16& destination);
    bool RefineMatte(const ImageBuffer16& source, ImageBuffer16& destination);
    int KeyNearGrey(ImageBuffer16& source, ImageBuffer16& destination);

    std::vector<uint16_t> m_square;
    std::vector<uint16_t> m_gain[3]; // R, G, B
};
