#include "algorithms/AlignTransform.h"

int SampleAligned(const ImageBuffer8& picture, int x, int y, uint8_t* out, AlignTransform t)
{
    const double u = t.a * x + t.b * y + t.c, v = t.d * x + t.e * y + t.f;
    // Written as a positive test so NaN falls outside too.
    if (!picture.data || !(u >= 0 && u < picture.width - 1 && v >= 0 && v < picture.height - 1))
        return 0;
    const int ix = static_cast<int>(u), iy = static_cast<int>(v);
    const int fx = static_cast<int>((u - ix) * 256), fy = static_cast<int>((v - iy) * 256);
    const uint8_t* p0 = picture.data + (size_t(iy) * picture.width + ix) * 4;
    const uint8_t* p1 = p0 + size_t(picture.width) * 4;
    for (int ch = 0; ch < 3; ++ch) {
        const int top = (p0[ch] * (256 - fx) + p0[ch + 4] * fx) >> 8;
        const int bottom = (p1[ch] * (256 - fx) + p1[ch + 4] * fx) >> 8;
        out[ch] = static_cast<uint8_t>((top * (256 - fy) + bottom * fy) >> 8);
    }
    out[3] = 255;
    return 1;
}
