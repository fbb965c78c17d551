// Out-of-focus blur of a lens: every pixel becomes the mean of its neighbourhood weighted by an
// aperture shape scaled to its blur diameter, after the highlights are stretched so that they
// bloom. The diameter is the same everywhere or comes per pixel from a depth plane.
#pragma once

#include "algorithms/Algorithm.h"

// In memory only: it refers to the caller's planes, which must outlive the run. The dialog
// records its history step without it.
struct LensBlurParams {
    const Plane8* depth = nullptr; // blur diameter of every pixel, the picture's size; null = uniform
    const Plane8* shape = nullptr; // aperture, 128 x 128: 255 open, 0 closed
    double radius = 0;             // pixels
    double rotation = 0;           // radians
    int32_t highlight = 0;         // highlight boost, 0..100
    int32_t reserved = 0;
};

constexpr int kApertureSide = 128;

// Turns an 8-bit plane by angle about its centre (bilinear, clamped at the borders).
int RotateApertureShape(const Plane8& shape, Plane8& output, double angle);
// The highlight stretch: identity up to 0x7FFF, values from 65535 - 200 h on become white.
void BuildHighlightTable(int boost, uint16_t* table);

class CLensBlur : public CAlgorithm {
public:
    ~CLensBlur() override;
    int Run() override;
    int ProcessBand(BandTask& task) override;
    int BuildKernels();

    // Largest diameter: twice the radius, at most 128.
    int MaxDiameter() const { return m_maxDiameter; }
    // Kernel k is the aperture for diameter MaxDiameter() - 2k, centred in its 128 x 128 square.
    const uint8_t* Kernel(int k) const { return m_kernels.data + static_cast<size_t>(k) * kApertureSide * kApertureSide; }
    int KernelCount() const { return m_kernelCount; }

    LensBlurParams m_params;

private:
    int FilterRow(int y, int bandRow, const ImageBuffer16& source, const uint16_t* above, uint16_t* out);

    int m_maxDiameter = 0;
    int m_kernelCount = 0;
    Plane8 m_kernels{};
    ImageBuffer16 m_boosted{};
    int m_bandCount = 0;
};
