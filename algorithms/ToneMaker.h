// Split toning (shadow, midtone and highlight tints over a desaturated picture) and local colour
// contrast (saturation pushed away from that of the blurred surroundings).
#pragma once

#include "algorithms/AlgorithmParams.h"
#include "algorithms/Algorithm.h"
#include "algorithms/ColourOps.h"

#include <cstddef>
#include <cstdint>
#include <vector>

struct ToneMakerParams {
    uint16_t size = 48;
    uint16_t padding = 0;
    int32_t redWeight = 30;   // percent of the luminance
    int32_t greenWeight = 60;
    int32_t blueWeight = 10;
    int32_t desaturation = 0; // 0..100
    int32_t toning = 0;       // 0..100
    uint16_t shadow[4] = {0, 0, 0, 0};    // B, G, R, A (A not used)
    uint16_t midtone[4] = {0, 0, 0, 0};
    uint16_t highlight[4] = {0, 0, 0, 0};
};
static_assert(sizeof(ToneMakerParams) == 48);
static_assert(offsetof(ToneMakerParams, desaturation) == 16);
static_assert(offsetof(ToneMakerParams, shadow) == 24);
static_assert(offsetof(ToneMakerParams, highlight) == 40);

// The zone limits: linear values of the sRGB levels 64, 120, 160 and 192.
struct ToneZones {
    int z64, z120, z160, z192;
};
ToneZones SplitToneZones();
// Weights 0..256 of input i in the shadow, midtone and highlight zones.
void ToneZoneWeights(const ToneZones& z, int i, int& shadow, int& midtone, int& highlight);

class CToneMaker : public CRowAlgorithm {
public:
    int Run() override;
    // Fills m_tables (R, G, B, 65536 entries each) for the record; 0 when allocation fails.
    int BuildTables(const ToneMakerParams& params);
    const uint16_t* Table(int channel) const { return m_tables.data() + size_t(channel) * 65536; } // 0 R, 1 G, 2 B

    ToneMakerParams m_params;
    std::vector<uint16_t> m_tables;

protected:
    bool ProcessRows(int first, int end) override;

private:
    ToneMakerParams Bounded() const;
};

struct ColorContrastParams {
    uint16_t size = 8;
    uint16_t padding = 0;
    int32_t amount = 0; // percent
};
static_assert(sizeof(ColorContrastParams) == 8);

class CColorContrast : public CRowAlgorithm {
public:
    ~CColorContrast() override { FreeImageBuffer(m_blurred); }
    int Run() override;
    ColorContrastParams m_params;
    double m_sigma = 0;

protected:
    bool ProcessRows(int first, int end) override;

private:
    ImageBuffer16 m_blurred{}; // HSL of the whole picture, blurred; kept for the next run
};
