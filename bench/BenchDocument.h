// The editor benchmarks' document: 24 megapixels in three layers of photo-like content.
#pragma once

#include "imaging/Document.h"
#include "imaging/ImageBuffer.h"

#include <algorithm>
#include <cstdint>

namespace benchdoc {

constexpr int kWidth = 6000, kHeight = 4000;

// Photo-like content: smooth gradients with a little noise, so no blend mode meets only
// constant values.
inline ImageBuffer16 MakeLayer(int w, int h, uint32_t seed, uint16_t alpha)
{
    ImageBuffer16 img;
    if (!AllocImage16(img, w, h))
        return img;
    for (int y = 0; y < h; ++y) {
        uint16_t* p = img.data + size_t(y) * size_t(w) * 4;
        for (int x = 0; x < w; ++x, p += 4) {
            seed = seed * 1664525u + 1013904223u;
            const uint32_t noise = seed >> 22;
            p[0] = uint16_t(std::min<uint32_t>(65535, uint32_t(x) * 65535u / uint32_t(w) + noise));
            p[1] = uint16_t(std::min<uint32_t>(65535, uint32_t(y) * 65535u / uint32_t(h) + noise));
            p[2] = uint16_t(std::min<uint32_t>(65535, uint32_t(x + y) * 32767u / uint32_t(w + h) + 16384 + noise));
            p[3] = alpha;
        }
    }
    return img;
}

// The document: 6000 x 4000 background and two 3000 x 2000 layers (centred, the
// document's rule for added layers), multiply and screen, opacity 128.
inline CZDDoc& Document24()
{
    static CZDDoc* doc = [] {
        auto* d = new CZDDoc;
        const uint8_t modes[] = {kBlendNormal, kBlendMultiply, kBlendScreen};
        for (int l = 0; l < 3; ++l) {
            ImageBuffer16 img = l == 0 ? MakeLayer(kWidth, kHeight, 11, 0xFFFF)
                                       : MakeLayer(kWidth / 2, kHeight / 2, 11 + uint32_t(l), 0xFFFF);
            d->AddLayer(img, l == 0 ? u"background" : u"layer");
            FreeImageBuffer(img);
            CZDLayer* layer = d->GetLayer(l);
            layer->blendMode = modes[l];
            layer->opacity = l == 0 ? 255 : 128;
        }
        // Apart a little, so the two upper layers overlap only in part.
        if (d->LayerCount() == 3) {
            d->GetLayer(1)->x -= 600;
            d->GetLayer(2)->x += 600;
        }
        return d;
    }();
    return *doc;
}

} // namespace benchdoc
