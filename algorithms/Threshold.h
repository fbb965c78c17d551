// Black-and-white conversion by four methods, and the curve-driven unsharp mask.
#pragma once

#include "algorithms/AlgorithmParams.h"
#include "algorithms/Algorithm.h"
#include "algorithms/ColourOps.h"
#include "algorithms/ToneLut.h"

#include <cstddef>
#include <cstdint>
#include <vector>

struct ThresholdParams {
    uint16_t size = 20;
    uint16_t padding = 0;
    int32_t method = 0;       // 0 fixed, 1 adaptive, 2 diffusion, 3 halftone; other values copy
    int32_t level = 30;       // percent
    int32_t transition = 0;   // 0..100
    int32_t adaptiveArea = 5; // 0..100
};
static_assert(sizeof(ThresholdParams) == 20);
static_assert(offsetof(ThresholdParams, adaptiveArea) == 16);

class CThreshold : public CAlgorithm {
public:
    int Run() override;
    ThresholdParams m_params;

    // The 4x4 order of the halftone cells; the first index runs along x.
    static constexpr uint8_t kHalftone[4][4] = {{13, 9, 5, 14}, {8, 4, 1, 10}, {12, 3, 2, 6}, {16, 7, 11, 15}};

private:
    int Fixed(ImageBuffer16& img, int level, int transition);
    int Adaptive(ImageBuffer16& img, int level, int transition, int area);
    int Diffuse(ImageBuffer16& img);
    int Halftone(ImageBuffer16& img);
};

// Stored form: 32 bytes; the curve slot at offset 20 is a run-time reference and is written 0.
// History steps and schemes append the curve packed as control values (296 bytes in all).
struct SharpenParams {
    uint16_t size = 32;
    uint16_t padding = 0;
    int32_t reserved0 = 0;
    double radius = 0.8; // standard deviation of the blur in pixels
    int32_t amount = 30; // the curve's value is multiplied by amount / 50
    uint32_t curveSlot = 0;
    uint8_t reserved1[8] = {};
};
static_assert(sizeof(SharpenParams) == 32);
static_assert(offsetof(SharpenParams, radius) == 8);
static_assert(offsetof(SharpenParams, amount) == 16);
static_assert(offsetof(SharpenParams, curveSlot) == 20);

constexpr size_t kSharpenStepBytes = 296;

// Record + packed curve, for history steps and schemes; the curve slot is written 0.
std::vector<uint8_t> PackSharpenStep(const SharpenParams& params, const uint16_t* curve);
// False when the block is too short or its size word is not 32.
bool UnpackSharpenStep(const uint8_t* bytes, size_t length, SharpenParams& params, ToneTable& curve);

class CSharpen : public CRowAlgorithm {
public:
    ~CSharpen() override { FreeImageBuffer(m_blurred); }
    int Run() override;
    // The 65536-entry curve indexed by the absolute difference; held apart from the record.
    void SetCurve(const uint16_t* curve) { m_curve = curve; }

    SharpenParams m_params;

protected:
    bool ProcessRows(int first, int end) override;

private:
    const uint16_t* m_curve = nullptr;
    std::vector<int32_t> m_scaled; // curve x amount / 50
    double m_radius = 0.8;
    int m_reach = 0;        // rows the kernel reaches above and below
    bool m_bandBlur = true; // each band blurs its own rows (no reduced grid at this radius)
    ImageBuffer16 m_blurred{}; // the whole picture blurred; kept for the next preview of the same size
};
