// Resolution enhancement: sharpens luminance edges without overshoot by pushing each pixel away
// from the middle of its small neighbourhood's range and clamping it into that range.
#pragma once

#include "algorithms/Algorithm.h"

struct ResWindow {
    int8_t sum, left, right, top, bottom; // columns x+left .. x+right-1, rows y+top .. y+bottom-1
};

// The window table and the entry a strength selects (r = 2 s^2 limited to 3..8).
std::vector<ResWindow> BuildResWindowTable();
ResWindow ResWindowForStrength(double strength);

// Parameter record: one double, the strength (8 bytes, no size word).
class CResEnhance : public CAlgorithm {
public:
    int Run() override;
    int ProcessBand(BandTask& task) override;
    // Runs on a pair of images directly.
    int Enhance(double strength, const ImageBuffer16& source, ImageBuffer16& destination);

    double m_strength = 1.6;

private:
    ResWindow m_window{};
};

// Edge strength 0..253 of each pixel of an 8-bit grey plane; the plane's outer pixels get 0.
void ResEdgeMap(const uint8_t* grey, int width, int height, uint8_t* edge);
