// Red-eye removal inside a brushed area: a redness measure from hue, saturation and lightness
// tables pulls the red channel toward the larger of green and blue.
#pragma once

#include "algorithms/Algorithm.h"
#include "algorithms/GaussBlur.h"

#include <cstdint>

// In memory only: the brushed area, a plane of the picture's size (nonzero = brushed).
struct RedEyeParams {
    const Plane8* mask = nullptr;
};

class CRedEye : public CAlgorithm {
public:
    ~CRedEye() override;
    int Run() override;

    // Membership 0..255 in the three tables, for 16-bit H, S and L of RgbToHsl16.
    static int HueMembership(int hue);
    static int SaturationMembership(int saturation);
    static int LightnessMembership(int lightness);

    MaskRect m_box{};
    Plane8 m_work{};

private:
    const Plane8* m_mask = nullptr;
};
