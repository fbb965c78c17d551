// Tone tables (65536 u16 entries mapping a channel value to a new one) and the packed form of
// user curves that history steps and automation schemes carry.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// Shapes for BuildToneLut's low byte; ToneLutIdentity may be or-ed in to start from identity.
enum ToneLutShape : int {
    ToneLutBrightness = 1,
    ToneLutGamma = 2,
    ToneLutContrast = 3,
    ToneLutSine = 4,
    ToneLutLevelsLinear = 5,
    ToneLutLevelsGamma = 6,
    ToneLutIdentity = 0x100,
};

constexpr int kToneLutSize = 65536;
using ToneTable = std::vector<uint16_t>; // heap: 128 KB must not live on helper stacks

void BuildToneLut(uint16_t* table, int type, double a, double b);

constexpr int kCurveControlCount = 132;
using CurveControlValues = std::array<uint16_t, kCurveControlCount>;

// Input position of control value k: dense at the dark end, then every 512, last 65535.
constexpr int CurveKnot(int k)
{
    constexpr int dark[6] = {0, 128, 300, 512, 700, 1024};
    if (k < 6)
        return dark[k];
    if (k < 131)
        return (k - 3) * 512;
    return 65535;
}

void CurveToControlValues(const uint16_t* curve, CurveControlValues& out);
void ControlValuesToCurve(uint16_t* curve, const CurveControlValues& values);

// Stored curve step: one mode byte, then one block of 132 little-endian u16 for modes 0 and 4
// or three blocks (R, G, B) for modes 1 to 3.
std::vector<uint8_t> PackCurveStep(int mode, const uint16_t* tables);
// Rebuilds the tables (65536 or 196608 entries) of a stored curve step. False when the block
// is shorter than its mode needs or the mode is unknown.
bool UnpackCurveStep(const uint8_t* bytes, size_t length, int& mode, ToneTable& tables);

// Little-endian (de)serialisation of one packed block.
void WriteControlValues(const CurveControlValues& values, uint8_t* out264);
void ReadControlValues(const uint8_t* in264, CurveControlValues& values);
