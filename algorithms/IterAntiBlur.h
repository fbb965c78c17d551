// Removes a known blur by iterative deconvolution of each Y/Cb/Cr channel: a correction phase on
// the residual, then refinement steps held within each pixel's neighbourhood range so that
// edges do not ring.
#pragma once

#include "algorithms/Algorithm.h"
#include "imaging/ImageBuffer.h"

#include <vector>

// In memory only: it refers to the caller's kernel weights.
struct IterAntiBlurParams {
    static constexpr uint16_t kSize = 44;
    uint16_t size = kSize;
    const int32_t* weights = nullptr; // width x height, row-major
    int32_t width = 0, height = 0;    // each at most 32
    int32_t centreX = 0, centreY = 0;
    int32_t divisor = 1;
    int32_t iterations = 0; // correction iterations for Y; Cb and Cr get a third
    int32_t banded = 0;     // nonzero: bands of 128 rows
    int32_t clampMode = 2;  // 0, 1, 2: refinement within 60, 90, 100 % of the range; else none
    int32_t reserved = 0;
};

// out = clamp(a - b + 32768): a signed difference with an offset of 32768.
void DifferencePlane16(const Plane16& a, const Plane16& b, Plane16& out);
// x' = x + v - 32768, limited by the bounds plane (upper byte hi, lower byte lo) at p percent.
void ApplyCorrection16(const Plane16* bounds, Plane16& target, const Plane16& correction, int percent);
void HaloEdgePlane16(const Plane16& plane, Plane16& out);
void AddPlane16(Plane16& target, const Plane16& add);

class CIterAntiBlur : public CAlgorithm {
public:
    CIterAntiBlur() { m_borderMode = BorderMirror; }
    int Run() override;
    int ProcessBand(BandTask& task) override;

    void FlipKernel();
    int BuildBounds(const Plane16& plane, Plane16& bounds);
    int DeconvolvePlane(const Plane16& blurred, Plane16& out, int iterations);
    int CorrectResidual(const Plane16& residual, Plane16& correction, int iterations);
    int SmoothHalos(Plane16& plane);
    int BuildRingKernel(std::vector<int32_t>& ring, int& divisor);

    IterAntiBlurParams m_params;
    std::vector<int32_t> m_kernel;  // the record's weights, copied
    std::vector<int32_t> m_flipped; // rotated by 180 degrees
};

// The deblur dialog's runner: deblurs a rectangle of the picture in tiles of at most 400 x 400
// pixels spread over the helper threads, each tile with a margin of twice the kernel size.
class CDeblurForDlg : public CAlgorithm {
public:
    struct Tile {
        int left, top, right, bottom; // exclusive right and bottom
        bool operator==(const Tile&) const = default;
    };

    int Run() override;
    int ProcessBand(BandTask& task) override;
    int PrepareBand(BandTask& task, ImageBuffer16& bandSource, ImageBuffer16& bandDest) override;
    void StoreBand(const ImageBuffer16&, int, int, int) override {} // tiles write the destination themselves

    // Builds the tile list (and one band task per tile) for the work rectangle.
    int SplitIntoTiles();
    const std::vector<Tile>& Tiles() const { return m_tiles; }

    IterAntiBlurParams m_params;
    Tile m_rect{0, 0, 0, 0}; // set by the dialog; empty or outside the picture = the whole picture

private:
    const Tile& TileOf(const BandTask& task) const;
    std::vector<Tile> m_tiles;
    std::vector<int32_t> m_weights;
};
