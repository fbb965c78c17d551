// Diffuse glow: tones above a threshold lifted through a ramp, blurred, and blended or added back.
#pragma once

#include "algorithms/Algorithm.h"
#include "algorithms/AlgorithmParams.h"

// Stored in history step 28 and scheme files.
struct DiffuseParams {
    uint16_t size = 32;
    uint8_t mode = 0; // 0 normal, 1 highlight diffusion
    uint8_t reserved1[5] = {};
    double radius = 0; // the Gaussian's sigma
    int32_t amount = 0;    // percent
    int32_t highlight = 0; // h
    int32_t shadow = 0;    // d, mode 0 only
    uint8_t reserved2[4] = {};
};
static_assert(sizeof(DiffuseParams) == 32);
static_assert(offsetof(DiffuseParams, radius) == 8);
static_assert(offsetof(DiffuseParams, amount) == 16);
static_assert(offsetof(DiffuseParams, shadow) == 24);

class CDiffuseFilter : public CAlgorithm {
public:
    int Run() override;
    int ProcessBand(BandTask& task) override;

    // The ramp table for the record's mode, highlight and shadow (65536 entries).
    static void BuildToneRamp(const DiffuseParams& p, uint16_t* table);

    DiffuseParams m_params;

private:
    int m_stage = 0; // 0: tone ramp, 1: glow
    ImageBuffer16 m_ramped{}, m_blurred{};
    std::vector<uint16_t> m_table;
};
