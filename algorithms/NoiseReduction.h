// Texture-based noise reduction: every 5 x 5 block of the luminance is averaged with the most
// similar blocks nearby (held back on edges), and coloured blotches are averaged away on a
// half-size copy of the chroma.
#pragma once

#include "algorithms/Algorithm.h"
#include "algorithms/AlgorithmParams.h"

// Stored in history steps and scheme files: a file format.
struct NoiseReductionParams {
    uint16_t size = 20;
    uint16_t padding = 0;
    int32_t strength = 50;     // 1..100 from the dialog; clamped to 0..100 when run
    int32_t chromaPass = 1;    // nonzero: average the chroma
    int32_t skipLuminance = 0; // nonzero: no block matching
    uint8_t style = 1;         // 0, 1 normal, 2 smooth
    uint8_t padding2[3] = {};
};
static_assert(sizeof(NoiseReductionParams) == 20);
static_assert(offsetof(NoiseReductionParams, strength) == 4);
static_assert(offsetof(NoiseReductionParams, chromaPass) == 8);
static_assert(offsetof(NoiseReductionParams, skipLuminance) == 12);
static_assert(offsetof(NoiseReductionParams, style) == 16);

// A strength for the dialog to start with, 8..100; 50 when the picture cannot be measured.
int32_t EstimateNoiseStrength(const ImageBuffer16& image);
// floor(w/2) x floor(h/2), each value the mean of its 2 x 2 block.
int HalvePlane16(const Plane16& source, Plane16& destination);

class CNoiseReduction : public CAlgorithm {
public:
    CNoiseReduction() = default;
    ~CNoiseReduction() override;

    int Run() override;
    int ProcessBand(BandTask& task) override;
    int PrepareBand(BandTask&, ImageBuffer16&, ImageBuffer16&) override { return kBandDirect; }
    // The pass works on the shared work image; the colour reaches the destination at the end.
    void StoreBand(const ImageBuffer16&, int, int, int) override {}

    int BuildEdgeMap();
    int HalvePlanes();
    int ChromaPass();
    int AverageChroma(ImageBuffer16& half, int rows);

    // Values derived from the record at the start of a run.
    NoiseReductionParams m_params;
    int m_matchCount = 8;
    int m_chromaRadius = 8;
    int m_chromaThreshold = 12000;
    int m_edgeAmount = 75;
    int m_step = 1; // a: blocks every 5 - 2a pixels, writing rows and columns a .. 4 - a
    int m_minDistance = 1;
    int m_searchRadius = 4;
    bool m_halfPlanes = false;

    // Stripes of block rows are filtered independently from the luminance at the start of
    // the pass, so the result does not depend on how bands are shared among helpers.
    static constexpr int kStripeRows = 48;

private:
    void DeriveValues();
    int FilterStripe(int firstBlockRow, int endBlockRow, std::vector<uint16_t>& rows);

    ImageBuffer16 m_work{};  // YCbCr copy; alpha holds edge strength during the luminance pass
    Plane16 m_y{};           // pre-smoothed luminance (half size for style 2)
    Plane16 m_edge{};        // edge strength (half size for style 2)
    Plane16 m_yOut{};        // luminance pass result, rows the blocks write
    Plane16 m_cb{}, m_cr{};  // half-size chroma for the chroma pass
    int m_blockRows = 0;
};
