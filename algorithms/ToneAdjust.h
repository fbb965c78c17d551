// Tone adjustments through tone tables: brightness/contrast, user curves, and hue-indexed
// hue/saturation/brightness curves. Alpha is never changed.
#pragma once

#include "algorithms/AlgorithmParams.h"
#include "algorithms/Algorithm.h"

struct BrightnessContrastParams {
    uint16_t size = 12;
    uint16_t padding = 0;
    int32_t brightness = 0; // -100..100
    int32_t contrast = 0;   // -100..100
};
static_assert(sizeof(BrightnessContrastParams) == 12);
static_assert(offsetof(BrightnessContrastParams, brightness) == 4);
static_assert(offsetof(BrightnessContrastParams, contrast) == 8);

class CBrightnessContrast : public CAlgorithm {
public:
    int Run() override;
    // The table Run maps B, G and R through.
    static void BuildTable(uint16_t* table, int brightness, int contrast);
    BrightnessContrastParams m_params;
};

// In memory only: it refers to the caller's tables. Stored curve steps carry the mode byte and
// packed control values instead (PackCurveStep / UnpackCurveStep).
struct CurveParams {
    static constexpr uint16_t kSize = 20;
    uint16_t size = kSize;
    int32_t mode = 0;             // 0 one curve on B, G, R; 1..3 R, G, B curves; 4 on Y; else copy
    int32_t entries = 0;          // 65536 for modes 0 and 4, 196608 for 1 to 3
    const uint16_t* tables = nullptr;
    int32_t reserved = 0;
};

class CCurve : public CAlgorithm {
public:
    int Run() override;
    int ProcessBand(BandTask& task) override;
    CurveParams m_params;
};

// Parameter block: three consecutive 65536-entry tables indexed by hue: hue shift (32768 none),
// saturation and brightness (32768 = 100 %).
class CHSBCurve : public CAlgorithm {
public:
    int Run() override;
    int ProcessBand(BandTask& task) override;
    const uint16_t* m_tables = nullptr;
};

// Maps one HSL pixel (H in R, S in G, L in B) by the three hue tables.
void ApplyHsbCurvePixel(uint16_t* pixel, const uint16_t* tables);
