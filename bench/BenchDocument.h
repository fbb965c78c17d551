// The editor benchmarks' document: 24 megapixels in three layers of photo-like content.
#pragma once

#include "imaging/Document.h"
#include "imaging/ImageBuffer.h"
#include "ui/DrawnUiImages.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

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
// Fills `d` with the document: a 6000 x 4000 background and two 3000 x 2000 layers
// (centred, the document's rule for added layers), multiply and screen at opacity 128.
inline void BuildDocument24(CZDDoc& d)
{
    const uint8_t modes[] = {kBlendNormal, kBlendMultiply, kBlendScreen};
    for (int l = 0; l < 3; ++l) {
        ImageBuffer16 img = l == 0 ? MakeLayer(kWidth, kHeight, 11, 0xFFFF)
                                   : MakeLayer(kWidth / 2, kHeight / 2, 11 + uint32_t(l), 0xFFFF);
        d.AddLayer(img, l == 0 ? u"background" : u"layer");
        FreeImageBuffer(img);
        CZDLayer* layer = d.GetLayer(l);
        layer->blendMode = modes[l];
        layer->opacity = l == 0 ? 255 : 128;
    }
    // Apart a little, so the two upper layers overlap only in part.
    if (d.LayerCount() == 3) {
        d.GetLayer(1)->x -= 600;
        d.GetLayer(2)->x += 600;
    }
}

// One shared copy for the benchmarks that only read it.
inline CZDDoc& Document24()
{
    static CZDDoc* doc = [] {
        auto* d = new CZDDoc;
        BuildDocument24(*d);
        return d;
    }();
    return *doc;
}

// The canvas's strips as plain grey frames of the right widths; everything else drawn.
inline int CanvasBenchImages(UiImageFolder folder, const char16_t* name, ImageBuffer8& out)
{
    const std::u16string n = name;
    int w = 0, h = 0;
    if (n == u"editview.png") {
        w = 11 * 38;
        h = 38;
    } else if (n == u"selection.png") {
        w = 4 * 16;
        h = 16;
    }
    if (!w)
        return DrawnUiImage(folder, name, out);
    if (!AllocImage8(out, w, h))
        return 0;
    std::memset(out.data, 0xC0, out.byteSize);
    return 1;
}

} // namespace benchdoc
