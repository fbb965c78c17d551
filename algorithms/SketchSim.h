// Pencil sketch: hatching from a procedural pencil texture in four directions, weighted by the
// picture's edge directions, band by band of darkness, then a tone stretch and a soft shadow.
#pragma once

#include "algorithms/AlgorithmParams.h"
#include "algorithms/Algorithm.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// In memory only.
struct SketchParams {
    uint16_t size = 16;
    uint16_t padding = 0;
    int32_t levelStep = 8;  // 1..256: width of each darkness band
    int32_t colourful = 0;  // nonzero keeps the photo's colours
    int32_t detail = 2;     // 1..5: smoothing radius 5 - detail
};
static_assert(sizeof(SketchParams) == 16);

// The dialog's slider 0..100 as a level step: 2^((100 - v) * 4 / 100 + 2), rounded.
int SketchLevelStep(int slider);

class CSketchSim : public CAlgorithm {
public:
    ~CSketchSim() override;
    int Run() override;

    int BuildPencilTexture();
    int SmoothLuminance();
    int DirectionalEdges();
    int BuildEdgeShares();
    int DrawStrokes();
    void StrokePass(int lo, int hi, int direction);
    int FinishTone();

    SketchParams m_params;
    Plane8 m_luminance{};
    ImageBuffer8 m_edges{};        // per pixel: vertical, horizontal, diagonal, anti-diagonal share
    std::vector<uint8_t> m_texture; // N x N
    int m_textureSide = 0;

private:
    void Release();
    SketchParams m_use{};
};
