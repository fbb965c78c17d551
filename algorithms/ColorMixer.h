// Channel mixer and hue/saturation/lightness or colour-balance adjustment, with the hue helpers
// the select-by-colour dialog shares. Alpha is never changed.
#pragma once

#include "algorithms/AlgorithmParams.h"
#include "algorithms/Algorithm.h"
#include "algorithms/ColourOps.h"
#include "algorithms/ToneLut.h"
#include "algorithms/WhiteBalance.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Weights and constants in percent, -200..200. Rows: R, G, B output, then the luminance row.
struct ColorMixerParams {
    uint16_t size = 72;
    uint16_t padding = 0;
    int32_t luminanceMode = 0; // nonzero: remix only the luminance, keep the colour
    int32_t rows[4][4] = {{100, 0, 0, 0}, {0, 100, 0, 0}, {0, 0, 100, 0}, {30, 60, 10, 0}};
};
static_assert(sizeof(ColorMixerParams) == 72);
static_assert(offsetof(ColorMixerParams, luminanceMode) == 4);
static_assert(offsetof(ColorMixerParams, rows) == 8);

class CColorMixer : public CRowAlgorithm {
public:
    int Run() override;
    ColorMixerParams m_params;

protected:
    bool ProcessRows(int first, int end) override;

private:
    int32_t m_rows[4][4] = {}; // the record's weights, bounded
};

struct ColorAdjustParams {
    uint16_t size = 56;
    uint16_t padding = 0;
    int32_t mode = 0; // 0 hue/saturation/lightness, nonzero colour balance
    int32_t balanceRed = 0;
    int32_t balanceGreen = 0;
    int32_t balanceBlue = 0;
    int32_t hue = 0;        // 100 = half the colour circle
    int32_t saturation = 0; // -100..100
    int32_t lightness = 0;  // -100..100
    int32_t rangeOn = 0;
    int32_t range[4] = {0, 0, 0, 0}; // trapezoid on the hue scale of RgbToHsl16
    int32_t rangeOffset = 0;
};
static_assert(sizeof(ColorAdjustParams) == 56);
static_assert(offsetof(ColorAdjustParams, hue) == 20);
static_assert(offsetof(ColorAdjustParams, rangeOn) == 32);
static_assert(offsetof(ColorAdjustParams, range) == 36);
static_assert(offsetof(ColorAdjustParams, rangeOffset) == 52);

class CColorAdjust : public CRowAlgorithm {
public:
    CColorAdjust();
    int Run() override;

    ColorAdjustParams m_params;
    WhiteBalanceParams m_balance;
    std::vector<uint16_t> m_tables;       // T0 hue, T1 saturation, T2 lightness; one run only
    std::vector<uint8_t> m_membership;    // 65536 hue entries, 0..255

protected:
    bool ProcessRows(int first, int end) override;

private:
    bool m_adjust = false;
};

// Membership of every hue in the trapezoid after adding the offset (hue scale of RgbToHsl16).
void BuildRangeLut(int a, int b, int c, int d, int offset, uint8_t* table);
// Hue on the select-by-colour scale (red 0, green 21760, blue 43520) and lightness (max+min)/2.
void RgbToHueLightness16(int blue, int green, int red, int& hue, int& lightness);
int TrapezoidMembership(int a, int b, int c, int d, int v);
