// The affine map between a reference photo and another photo of the same scene, and the
// bilinear read of the other photo through it.
#pragma once

#include "imaging/ImageBuffer.h"

#include <cstdint>

// A reference pixel (x, y) lies at u = a x + b y + c, v = d x + e y + f in the other photo.
struct AlignTransform {
    int32_t valid = 1;
    double a = 1, b = 0, c = 0;
    double d = 0, e = 1, f = 0;
};

// B, G, R of `picture` at the transformed position with 8-bit weights, alpha 255; 0 when the
// position lies outside [0, width - 1) x [0, height - 1). The valid field is not looked at.
int SampleAligned(const ImageBuffer8& picture, int x, int y, uint8_t* out, AlignTransform t);
