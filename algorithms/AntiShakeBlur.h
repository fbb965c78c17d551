// Camera-shake deblurring without user input: small isolated bright or dark points show the
// shape of the shake; the kernel estimated from them divides the luminance spectrum of
// overlapping 128 x 128 tiles by its magnitude.
#pragma once

#include "algorithms/Algorithm.h"
#include "algorithms/Transforms.h"

#include <vector>

struct ShakePoint {
    int32_t x = 0, y = 0; // full-size pixel coordinates
    bool bright = false;
    int32_t extreme = 0;  // the grey value on the point's own side (the maximum when bright)
    int32_t other = 0;
    bool operator==(const ShakePoint&) const = default;
};

class CAntiShakeBlur : public CAlgorithm {
public:
    static constexpr int kKernelSide = 48;
    static constexpr int kTileExponent = 7; // 128 x 128 tiles

    CAntiShakeBlur() { m_borderMode = BorderMirror; }
    // Reads no parameter record.
    int Run() override;
    int ProcessBand(BandTask& task) override;

    void FindPoints(const Plane8& sixth);
    // Full-size width and height bound the 26-pixel border rule.
    void RefinePoints(const Plane8& half, int width, int height);
    int EstimateKernel(const Plane8& grey);
    void DeconvolveTile(SquareTransform& tile, std::vector<Complex>& scratch) const;

    std::vector<ShakePoint> m_points;
    std::vector<double> m_kernel;        // 48 x 48, sums to 1 (all 0 when no response)
    std::vector<double> m_magnitude;     // |spectrum| of the kernel block, 128 x 128
};
