// Inside/outside matting: a soft alpha matte from a mask of sure subject and a mask of sure
// background. Unknown pixels get local foreground and background colours (per-tile colour sets,
// then propagation), an alpha from perceptual colour distances, cleaned colours, and finally a
// relaxation with the matting Laplacian. Also the two perceptual colour distances that the
// matting and the chroma key share.
#pragma once

#include "algorithms/Algorithm.h"

#include <array>
#include <cstdint>
#include <vector>

// Holds plane pointers: memory only.
struct InOutMattingParams {
    uint16_t size = sizeof(InOutMattingParams);
    uint8_t reserved0 = 0;
    const Plane8* inside = nullptr;  // above 128: surely subject
    const Plane8* outside = nullptr; // below 128: surely background (unless inside)
    int32_t reserved1 = 2;
    int32_t refineIterations = 10;
};

// Distance of two colours in a luma/chroma space that weighs lightness by one half; 16-bit
// pixels are compared by their 8-bit sRGB encodings, 8-bit ones are 0xRRGGBB.
double ColourDistance16(const uint16_t* p, const uint16_t* q);
double ColourDistance8(uint32_t a, uint32_t b);

// P (16-bit B, G, R) with the share of the background Bg taken out, for alpha a in 0..1.
std::array<int, 3> UnmixColour(double a, const std::array<int, 3>& background, const std::array<int, 3>& pixel);

class CInOutMatting : public CAlgorithm {
public:
    // Source: the picture; destination: a same-sized picture already holding its colours.
    int Run() override;

    InOutMattingParams m_params;

    // Marks: 128 subject, 64 background, 0 unknown. Models: 0xAARRGGBB, alpha 255 = known.
    std::vector<uint8_t> m_marks, m_known;
    std::vector<uint32_t> m_foreground, m_background;

private:
    bool BuildMarks(const ImageBuffer16& source);
    bool BuildColourModels(const ImageBuffer16& source);
    void PropagateColours(std::vector<uint32_t>& model);
    bool EstimateAlpha(const ImageBuffer16& source, ImageBuffer16& destination);
    bool RefineColours(const ImageBuffer16& source, ImageBuffer16& destination);

    int m_width = 0, m_height = 0;
};
