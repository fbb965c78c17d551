// The program's Gaussian blur, on 16-bit images, 8-bit images and 8-bit planes. Large radii
// blur a reduced copy, so the kernel never exceeds a standard deviation of 2.5 pixels.
#pragma once

#include "algorithms/Algorithm.h"

constexpr int kGaussMaxTaps = 16;

// Integer weights w[0..L-1] (the kernel has 2L - 1 taps), scaled to sum to about 2048.
// Every Gaussian weight of the program uses the base 2.7188282, not e. Returns L.
int BuildGaussKernel(double sigma, int* weights);

// Reduction factor for a standard deviation: 1, or the smallest b >= 2 with sigma / b <= 2.5
// (at most 2^30; the blur then limits it to the picture's shorter side).
int GaussReduction(double sigma);

// The enlarge step's division: n / b truncated toward zero, for |n| < 2^24 and 0 < b < 256.
int SpreadDivide(int n, int b);

// Parameter block of Run: one double, the standard deviation (8 bytes, no size word).
class CGaussBlur : public CAlgorithm {
public:
    int Run() override;
    int ProcessBand(BandTask& task) override;

    int BlurImage16(double sigma, const ImageBuffer16& source, ImageBuffer16& destination);
    int BlurImage8(double sigma, const ImageBuffer8& source, ImageBuffer8& destination);
    int BlurPlane8(double sigma, const Plane8& source, Plane8& destination);

    double m_sigma = 0;   // used by the last blur, after reduction
    int m_reduction = 1;
};

// Context object for mask steps (progress, cancel); overrides nothing.
class CChannelOP : public CAlgorithm {};

struct MaskRect {
    int left, top, right, bottom; // right and bottom exclusive
    bool operator==(const MaskRect&) const = default;
};

int FeatherMask(double sigma, const Plane8& source, Plane8& destination);
int ExpandMask(const Plane8& source, Plane8& destination, int radius);
int ShrinkMask(const Plane8& source, Plane8& destination, int radius, int releaseIfEmpty);
int MaskBorder(const Plane8& source, Plane8& destination, int width);
MaskRect MaskBBox(const Plane8& plane);
