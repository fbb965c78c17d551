// A small integer convolution for the image algorithms: sharpening and blur steps, the JPEG
// optimiser's smoothing, iterative deblurring. Kernels live on the caller's stack.
#pragma once

#include "imaging/ImageBuffer.h"

#include <cstdint>

struct ConvolutionKernel {
    const int32_t* weights = nullptr;  // width x height, row by row; not owned
    int32_t divisor = 1;
    int32_t width = 0;
    int32_t height = 0;
    int32_t centreX = 0;  // kernel position over the output pixel
    int32_t centreY = 0;

    // Output (x, y) = sum of weight[k][l] * source(x - centreX + l, y - centreY + k) / divisor,
    // with positions outside the picture clamped to its border (edge pixels repeat outward).
    // Results are truncated toward zero and clamped to the channel's range. All three return 0
    // for a kernel that is not usable.
    bool IsUsable() const
    {
        return weights && divisor != 0 && width > 0 && height > 0 && centreX >= 0 &&
               centreX < width && centreY >= 0 && centreY < height;
    }

    // Destination becomes a copy of the source; B, G, R are convolved, alpha is copied.
    int ApplyImage16(const ImageBuffer16& source, ImageBuffer16& destination) const;
    // Destination must already have the source's size (else 0); its alpha is not touched.
    int ApplyImage8(const ImageBuffer8& source, ImageBuffer8& destination) const;
    // Destination must already have the source's size (else 0).
    int ApplyPlane16(const Plane16& source, Plane16& destination) const;
};
