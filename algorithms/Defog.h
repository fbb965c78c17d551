// Haze removal: a veil map of local brightest and darkest blurred luminance, measured on a copy
// reduced to 200 pixels, gives every pixel a black and a white point; each colour channel is
// stretched between them in sRGB gamma.
#pragma once

#include "algorithms/Algorithm.h"
#include "algorithms/AlgorithmParams.h"

#include <vector>

// Stored in history steps and scheme files: a file format.
struct DefogParams {
    uint16_t size = 12;
    uint16_t padding = 0;
    int32_t window = 40; // veil window in pixels of the reduced copy; radius window / 2
    int32_t amount = 50; // 0..100
};
static_assert(sizeof(DefogParams) == 12);
static_assert(offsetof(DefogParams, window) == 4);
static_assert(offsetof(DefogParams, amount) == 8);

// v stretched so that black maps to 0 and white to 65535, in sRGB gamma.
uint16_t StretchChannel(uint16_t v, int black, int white);

class CDefog : public CAlgorithm {
public:
    ~CDefog() override;
    int Run() override;
    int ProcessBand(BandTask& task) override;
    // Veil of the reduced copy: local maximum in the red slot, minimum in the green slot.
    int BuildVeil(ImageBuffer16& small, ImageBuffer16& veil);
    // Size of the reduced copy: the longer side 200, the other at least 1.
    static void ReducedSize(int w, int h, int& rw, int& rh);

    DefogParams m_params;
    ImageBuffer16 m_veil{};

private:
    std::vector<uint16_t> m_table; // heap: 128 KB must not live on a thread's stack
};
