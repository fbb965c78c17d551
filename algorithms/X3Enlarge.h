// Edge-directed 3x enlargement: each source pixel becomes a 3 x 3 block whose colour values are
// interpolated along the local edge direction (one of 16); then thin lines are sharpened and
// smoothed along, texture contrast raised, remaining blur reduced and a fine grain added.
#pragma once

#include "algorithms/Algorithm.h"
#include "algorithms/AlgorithmParams.h"

struct X3EnlargeParams {
    uint16_t size = 24;
    uint16_t padding = 0;
    int32_t grainAmount = 32;
    int32_t deblurStrength = 100; // iterations = value / 30
    int32_t ridgeEnhance = 1;
    int32_t textureEnhance = 1;
    int32_t soften = 0;
};
static_assert(sizeof(X3EnlargeParams) == 24);
static_assert(offsetof(X3EnlargeParams, soften) == 20);

// Direction code of one source pixel.
constexpr uint16_t DirectionIndex(uint16_t code) { return code & 0xF; }
constexpr uint16_t DiagonalVerdict(uint16_t code) { return (code >> 8) & 3; }
constexpr uint16_t BlockOrientation(uint16_t code) { return (code >> 10) & 3; }
constexpr uint16_t RidgeWeight(uint16_t code) { return code >> 12; }

// A toward B by p percent per channel, alpha from A.
uint64_t BlendPixelPercent(uint64_t a, uint64_t b, int p);
// False when the helpers were stopped before every row was written.
bool Enlarge3xPlain(const Plane16& source, Plane16& target);
float LocalExtremumRatio(int a, int b, int hi, int lo);
int EnhanceTexture(const ImageBuffer16& source, ImageBuffer16& target);
int BuildTexturePlane(const Plane8& grey, Plane8& texture);

class CX3Enlarge : public CAlgorithm {
public:
    CX3Enlarge() = default;
    ~CX3Enlarge() override;

    int Run() override;
    int Enlarge(const ImageBuffer16& source, ImageBuffer16& destination);

    int ClassifyPixels(const ImageBuffer16& source);
    int EnlargeChannel(Plane16& source, Plane16& target);
    void SharpenRidgeCentres(const Plane16& source, Plane16& target);
    int InterpolateDirectional(Plane16& source, Plane16& target);
    void CornerFlags(int x, int y, bool flags[4]) const; // top-left, top-right, bottom-left, bottom-right
    void RefineAlongDirection(const Plane16& copy, Plane16& target);
    int SmoothRidges(ImageBuffer16& target);
    int ReduceBlur(ImageBuffer16& target);
    int AddGrain(ImageBuffer16& target);
    void FillGrainPlane(Plane16& noise);

    uint16_t Code(int x, int y) const { return m_codes.data[static_cast<size_t>(y) * m_width + x]; }

    X3EnlargeParams m_params;
    int m_width = 0, m_height = 0;             // source
    int m_targetWidth = 0, m_targetHeight = 0; // three times the source
    Plane16 m_codes{};

private:
    void InterpolateBlock(const Plane16& source, Plane16& target, const std::vector<float>& ratio,
                          const std::vector<int>& mean, int x, int y);
};
