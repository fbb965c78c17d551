#include "imaging/Document.h"

#include "imaging/ColourTables.h"
#include "imaging/RowRanges.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

std::atomic<uint32_t> NextLayerId{0};

const char16_t* BlendModeKey(uint8_t mode)
{
    switch (mode) {
    case kBlendDarken: return u"bmdarken";
    case kBlendLighten: return u"bmlighten";
    case kBlendMultiply: return u"bmmul";
    case kBlendScreen: return u"bmscreen";
    case kBlendOverlay: return u"bmoverlay";
    case kBlendHardLight: return u"bmhardlight";
    case kBlendSoftLight: return u"bmsoftlight";
    case kBlendDifference: return u"bmdif";
    default: return u"bmnormal";
    }
}

// ---- layers ---------------------------------------------------------------------------------

CZDLayer::CZDLayer() : id(NextLayerId.fetch_add(1)) {}

CZDLayer::~CZDLayer()
{
    FreeImageBuffer(pixels);
    FreePlane8(mask);
}

void CZDLayer::FreePixels()
{
    std::lock_guard guard(lock);
    FreePlane8(mask);
    mask = Plane8{};
    FreeImageBuffer(pixels);
}

int CZDLayer::CopyFrom(const CZDLayer& other)
{
    if (other.pixels.data) {
        if (!CopyImage16(pixels, other.pixels))
            return 0;
    } else {
        FreeImageBuffer(pixels);
    }
    placement = other.placement;
    visible = other.visible;
    if (other.mask.data && !CopyPlane8(mask, other.mask))
        return 0;
    opacity = other.opacity;
    blendMode = other.blendMode;
    x = other.x;
    y = other.y;
    std::memcpy(name, other.name, sizeof name);
    return 1;
}

ZDRect CZDLayer::GetRect() const
{
    if (!pixels.data)
        return {};
    return {x, y, x + pixels.width, y + pixels.height};
}

ZDRect CZDLayer::GetContentBounds() const
{
    const int w = pixels.width, h = pixels.height;
    ZDRect r{w, h, 0, 0};
    if (!pixels.data)
        return r;
    for (int yy = 0; yy < h; ++yy) {
        const uint16_t* row = pixels.data + size_t(yy) * w * 4;
        for (int xx = 0; xx < w; ++xx) {
            if (row[4 * xx + 3] == 0)
                continue;
            r.left = std::min(r.left, xx);
            r.right = std::max(r.right, xx + 1);
            r.top = std::min(r.top, yy);
            r.bottom = std::max(r.bottom, yy + 1);
        }
    }
    return r;
}

CTextLayer::CTextLayer()
{
    type = kLayerText;
}

int CTextLayer::CopyFrom(const CZDLayer& other)
{
    if (!CZDLayer::CopyFrom(other))
        return 0;
    if (other.type & 1) {
        const auto& t = static_cast<const CTextLayer&>(other);
        std::memcpy(text, t.text, sizeof text);
        std::memcpy(style, t.style, sizeof style);
    }
    return 1;
}

std::unique_ptr<CZDLayer> CreateLayerByType(uint32_t type)
{
    if (type == kLayerPlain)
        return std::make_unique<CZDLayer>();
    if (type == kLayerText)
        return std::make_unique<CTextLayer>();
    return nullptr;
}

// ---- masks ----------------------------------------------------------------------------------

MaskItem::~MaskItem()
{
    DestroyMaskItem(*this);
}

void DestroyMaskItem(MaskItem& item)
{
    FreeImageBuffer(item.preview);
    FreePlane8(item.plane);
}

void DeleteMaskItem(MaskItem* item)
{
    delete item;
}

void PlaceMaskItem(Plane8& plane, const MaskItem& item)
{
    if (!plane.data)
        return;
    std::memset(plane.data, 0, size_t(plane.width) * plane.height);
    if (!item.plane.data)
        return;
    const int x0 = std::max(0, item.x), x1 = std::min<int64_t>(plane.width, int64_t(item.x) + item.plane.width);
    const int y0 = std::max(0, item.y), y1 = std::min<int64_t>(plane.height, int64_t(item.y) + item.plane.height);
    if (x0 >= x1 || y0 >= y1)
        return;
    for (int yy = y0; yy < y1; ++yy)
        std::memcpy(plane.data + size_t(yy) * plane.width + x0,
                    item.plane.data + size_t(yy - item.y) * item.plane.width + (x0 - item.x), size_t(x1 - x0));
}

// ---- pixels ---------------------------------------------------------------------------------

void BlendChannels16(const uint16_t* base, const uint16_t* top, uint16_t* out, uint8_t mode)
{
    switch (mode) {
    case kBlendDarken:
        for (int c = 0; c < 3; ++c)
            out[c] = std::min(base[c], top[c]);
        return;
    case kBlendLighten:
        for (int c = 0; c < 3; ++c)
            out[c] = std::max(base[c], top[c]);
        return;
    case kBlendMultiply:
        for (int c = 0; c < 3; ++c)
            out[c] = uint16_t((uint32_t(base[c]) * top[c] + 0x7FFF) >> 16);
        return;
    case kBlendScreen:
        for (int c = 0; c < 3; ++c)
            out[c] = uint16_t(0xFFFF - (uint64_t(0xFFFF - base[c]) * (0xFFFF - top[c]) + 0x7FFF) / 0xFFFF);
        return;
    case kBlendOverlay:
    case kBlendHardLight:
        for (int c = 0; c < 3; ++c) {
            const uint32_t a = base[c], b = top[c];
            const bool low = mode == kBlendOverlay ? a < 0x8000 : b < 0x8000;
            out[c] = low ? uint16_t(std::min<uint32_t>(0xFFFF, (a * b) >> 15))
                         : uint16_t(0xFFFF - std::min<uint32_t>(0xFFFF, ((0xFFFF - a) * (0xFFFF - b)) >> 15));
        }
        return;
    case kBlendSoftLight:
        // The editor's soft light: the top enters as its square root m, and above the middle
        // grey the base pulls towards D(m). Canvas, flattening and merging share it, so what
        // is saved looks like what was shown.
        for (int c = 0; c < 3; ++c) {
            const double x = base[c] / 65535.0, m = std::sqrt(top[c] / 65535.0);
            double r;
            if (x <= 0.5) {
                r = m - (1 - 2 * x) * m * (1 - m);
            } else {
                const double d = m <= 0.25 ? ((16 * m - 12) * m + 4) * m : m;
                r = m + (2 * x - 1) * (d - m);
            }
            out[c] = uint16_t(std::clamp(r * 65535.0, 0.0, 65535.0));
        }
        return;
    case kBlendDifference:
        for (int c = 0; c < 3; ++c)
            out[c] = uint16_t(std::abs(int(base[c]) - int(top[c])));
        return;
    default:
        std::memcpy(out, top, 8);
        return;
    }
}

void BlendLayer(const CZDDoc& doc, ImageBuffer16& composite, const CZDLayer& layer)
{
    if (!composite.data || !layer.pixels.data)
        return;
    const int W = std::min(doc.width, composite.width), H = std::min(doc.height, composite.height);
    const int w = layer.pixels.width, h = layer.pixels.height;
    const int x0 = std::max(0, -layer.x), x1 = std::min<int64_t>(w, int64_t(W) - layer.x);
    const int y0 = std::max(0, -layer.y), y1 = std::min<int64_t>(h, int64_t(H) - layer.y);
    const uint32_t opacity = layer.opacity;
    const uint8_t mode = layer.blendMode;
    // Pointers are formed only inside both pictures: the layer may start left of or above the canvas.
    for (int yy = y0; yy < y1 && x0 < x1; ++yy) {
        const uint16_t* src = layer.pixels.data + (size_t(yy) * w + size_t(x0)) * 4;
        uint16_t* dst = composite.data + (size_t(yy + layer.y) * composite.width + size_t(x0 + layer.x)) * 4;
        for (int i = 0; i < x1 - x0; ++i) {
            const uint16_t* t = src + 4 * i;
            uint16_t* c = dst + 4 * i;
            uint32_t k = opacity * (t[3] >> 8) / 255;
            if (k == 0)
                continue;
            // Weight 0..256 so that an opaque layer at full opacity replaces what lies below.
            k += k >> 7;
            uint16_t out[4];
            BlendChannels16(c, t, out, mode);
            for (int ch = 0; ch < 3; ++ch)
                c[ch] = uint16_t(int32_t(c[ch]) + ((int32_t(out[ch]) - int32_t(c[ch])) * int32_t(k) >> 8));
        }
    }
}

int PixelLuminance8(const uint8_t* bgr)
{
    return (3 * bgr[2] + 6 * bgr[1] + bgr[0]) / 10;
}

int PixelLuminance16(const uint16_t* bgr)
{
    return (3 * bgr[2] + 6 * bgr[1] + bgr[0]) / 10;
}

void RepairJpegChroma(ImageBuffer8& image)
{
    if (!image.data || image.width < 3 || image.height < 3)
        return;
    const int w = image.width, h = image.height;
    RgbToYCbCr8(image);
    uint8_t* p = image.data;
    auto at = [&](int x, int y) { return p + (size_t(y) * w + x) * 4; };
    // Block rows (pairs of picture rows) go to the helpers. The count adds up per range; the
    // smoothing writes only odd columns and rows of its own pair and reads only even ones, so
    // the ranges never see each other's writes.
    const int blockRows = (h - 2 + 1) / 2;
    std::atomic<uint64_t> steps{0};
    RunRowRanges(blockRows, int64_t(w), [&](int b0, int b1) {
        uint64_t local = 0;
        for (int y = 2 * b0; y < 2 * b1 && y < h - 2; y += 2)
            for (int x = 0; x < w - 2; x += 2) {
                const int cb = at(x, y)[1];
                if (std::abs(cb - at(x + 1, y)[1]) > 2 || std::abs(cb - at(x, y + 1)[1]) > 2)
                    ++local;
            }
        steps.fetch_add(local, std::memory_order_relaxed);
        return true;
    });
    if (steps.load() < uint64_t(w) * h / 10) {
        RunRowRanges(blockRows, int64_t(w) * 2, [&](int b0, int b1) {
            for (int y = 2 * b0; y < 2 * b1 && y < h - 2; y += 2)
                for (int x = 0; x < w - 2; x += 2)
                    for (int ch = 1; ch <= 2; ++ch) {
                        const int a = at(x, y)[ch], b = at(x + 2, y)[ch], c = at(x, y + 2)[ch],
                                  d = at(x + 2, y + 2)[ch];
                        at(x + 1, y)[ch] = uint8_t((a + b) / 2);
                        at(x, y + 1)[ch] = uint8_t((a + c) / 2);
                        at(x + 1, y + 1)[ch] = uint8_t((a + b + c + d) / 4);
                    }
            return true;
        });
    }
    YCbCrToRgb8(image);
}

namespace {

// One row of the repaired chroma, built from the YCbCr picture. The smoothing of
// RepairJpegChroma reads only pixels at even x and even y and writes only the others, so each
// repaired pixel is a function of the unrepaired picture: a pixel whose even base (x & ~1,
// y & ~1) lies below (width - 2, height - 2) and that is not itself on the even grid takes
// the mean of its base's grid neighbours; every other pixel keeps its own chroma.
void RepairedChromaRow(const uint8_t* ycc, int w, int h, int y, uint8_t* out)
{
    const size_t stride = size_t(w) * 4;
    const uint8_t* row = ycc + size_t(y) * stride;
    std::memcpy(out, row, stride);
    const int base = y & ~1;
    if (base >= h - 2)
        return;
    const uint8_t* top = ycc + size_t(base) * stride;
    const uint8_t* next = top + 2 * stride;
    if ((y & 1) == 0) {
        for (int x = 0; x < w - 2; x += 2) {
            const uint8_t* a = top + size_t(x) * 4;
            uint8_t* o = out + size_t(x + 1) * 4;
            o[1] = uint8_t((a[1] + a[9]) / 2);
            o[2] = uint8_t((a[2] + a[10]) / 2);
        }
        return;
    }
    for (int x = 0; x < w - 2; x += 2) {
        const uint8_t* a = top + size_t(x) * 4;
        const uint8_t* c = next + size_t(x) * 4;
        uint8_t* o = out + size_t(x) * 4;
        for (int ch = 1; ch <= 2; ++ch) {
            o[ch] = uint8_t((a[ch] + c[ch]) / 2);
            o[4 + ch] = uint8_t((a[ch] + a[8 + ch] + c[ch] + c[8 + ch]) / 4);
        }
    }
}

} // namespace

int ConvertJpegPicture16(ImageBuffer8& picture, ImageBuffer16& destination, int mode)
{
    if (!picture.data || (mode != kConvertSrgb && mode != kConvertAdobe))
        return 0;
    const int w = picture.width, h = picture.height;
    if (w < 3 || h < 3) // too small to repair
        return ConvertImage8To16(destination, picture, mode);
    if (!AllocImage16(destination, w, h))
        return 0;
    uint8_t* p = picture.data;
    const size_t stride = size_t(w) * 4;
    // Pass 1, by pairs of rows: YCbCr in place and the count of chroma steps (which compares
    // a pair's even row with its odd row only).
    std::atomic<uint64_t> steps{0};
    RunRowRanges((h + 1) / 2, int64_t(w) * 2, [&](int b0, int b1) {
        const int y0 = 2 * b0, y1 = std::min(h, 2 * b1);
        RgbToYCbCrRow8(p + size_t(y0) * stride, size_t(y1 - y0) * size_t(w));
        uint64_t local = 0;
        for (int y = y0; y < y1 && y < h - 2; y += 2) {
            const uint8_t* row = p + size_t(y) * stride;
            for (int x = 0; x < w - 2; x += 2) {
                const int cb = row[size_t(x) * 4 + 1];
                if (std::abs(cb - row[size_t(x) * 4 + 5]) > 2 || std::abs(cb - row[stride + size_t(x) * 4 + 1]) > 2)
                    ++local;
            }
        }
        steps.fetch_add(local, std::memory_order_relaxed);
        return true;
    });
    const bool smooth = steps.load() < uint64_t(w) * h / 10;
    // Pass 2, by rows: repaired chroma, back to B, G, R and on to 16 bits, straight into the
    // new layer; the picture is only read.
    return RunRowRanges(h, int64_t(w) * 3, [&](int y0, int y1) {
        std::unique_ptr<uint8_t[]> row(AllocNoThrow<uint8_t>(int64_t(stride)));
        if (!row)
            return false;
        for (int y = y0; y < y1; ++y) {
            const uint8_t* ycc = p + size_t(y) * stride;
            if (smooth) {
                RepairedChromaRow(p, w, h, y, row.get());
                ycc = row.get();
            }
            YCbCrToRgbRow8(ycc, row.get(), size_t(w));
            ConvertRow8To16(row.get(), destination.data + size_t(y) * size_t(w) * 4, size_t(w), mode);
        }
        return true;
    }) ? 1 : 0;
}

// ---- the document ---------------------------------------------------------------------------

CZDDoc::CZDDoc() = default;

CZDDoc::~CZDDoc()
{
    Clear();
}

void CZDDoc::Clear()
{
    std::lock_guard guard(lock);
    for (auto& layer : layers)
        layer->FreePixels();
    layers.clear();
    masks.clear();
    FreePlane8(selection);
    selection = Plane8{};
    modified = 0;
}

void CZDDoc::ClearLayers()
{
    std::lock_guard guard(lock);
    for (auto& layer : layers)
        layer->FreePixels();
    layers.clear();
    modified = 0;
}

int CZDDoc::CopyFrom(const CZDDoc& other)
{
    if (&other == this)
        return 1;
    Clear();
    std::lock_guard guard(lock);
    width = other.width;
    height = other.height;
    if (other.selection.data && !CopyPlane8(selection, other.selection))
        return 0;
    for (const auto& m : other.masks) {
        auto item = std::make_unique<MaskItem>();
        if (m->plane.data && !CopyPlane8(item->plane, m->plane))
            return 0;
        item->x = m->x;
        item->y = m->y;
        std::memcpy(item->name, m->name, sizeof item->name);
        item->storedWidth = m->storedWidth;
        item->storedHeight = m->storedHeight;
        if (m->preview.data && !CopyImage8(item->preview, m->preview))
            return 0;
        masks.push_back(std::move(item));
    }
    for (const auto& l : other.layers) {
        auto layer = CreateLayerByType(l->type);
        if (!layer || !layer->CopyFrom(*l))
            return 0;
        // The same document, so the same layers: history steps find a layer by its id (a
        // recovered tab goes on with the history of the document it was copied from).
        layer->id = l->id;
        layers.push_back(std::move(layer));
    }
    current = other.current;
    CopyTextBounded(path, 1024, other.path);
    return 1;
}

int CZDDoc::Flatten(ImageBuffer16& out, uint64_t background) const
{
    std::lock_guard guard(lock);
    if (width <= 0 || height <= 0 || !AllocImage16(out, width, height))
        return 0;
    uint16_t px[4] = {uint16_t(background), uint16_t(background >> 16), uint16_t(background >> 32),
                      uint16_t(background >> 48)};
    for (uint32_t i = 0; i < out.pixelCount; ++i)
        std::memcpy(out.data + size_t(i) * 4, px, 8);
    for (const auto& layer : layers)
        if (layer->visible) {
            std::lock_guard layerGuard(layer->lock);
            BlendLayer(*this, out, *layer);
        }
    return 1;
}

int CZDDoc::AddLayer(const ImageBuffer16& image, const char16_t* layerName, int index)
{
    auto layer = std::make_unique<CZDLayer>();
    if (!CopyImage16(layer->pixels, image))
        return 0;
    CopyTextBounded(layer->name, 32, layerName);
    std::lock_guard guard(lock);
    if (layers.empty()) {
        layer->placement = 0;
        width = image.width;
        height = image.height;
        path[0] = 0;
        layers.push_back(std::move(layer));
        current = 0;
        return 1;
    }
    layer->placement = 1;
    layer->x = (width - image.width) / 2;
    layer->y = (height - image.height) / 2;
    layer->visible = 1;
    int at;
    if (index < 0 || index >= LayerCount()) {
        at = LayerCount();
        layers.push_back(std::move(layer));
    } else {
        at = index;
        layers.insert(layers.begin() + index, std::move(layer));
    }
    SetCurrentLayer(at);
    modified = 1;
    return 1;
}

void CZDDoc::DeleteLayer(int index)
{
    if (index < 0 || index >= LayerCount())
        return;
    std::lock_guard guard(lock);
    layers[size_t(index)]->FreePixels();
    layers.erase(layers.begin() + index);
    if (index < current)
        --current;
    else if (index == current)
        SetCurrentLayer(current);
    modified = 1;
}

void CZDDoc::SetCurrentLayer(int index)
{
    int n = LayerCount();
    int v = n == 0 ? -1 : std::clamp(index, 0, n - 1);
    if (v != current) {
        current = v;
        modified = 1;
    }
}

CZDLayer* CZDDoc::GetLayer(int index) const
{
    return index >= 0 && index < LayerCount() ? layers[size_t(index)].get() : nullptr;
}

CZDLayer* CZDDoc::GetCurrentLayer() const
{
    return GetLayer(current);
}

ImageBuffer16* CZDDoc::GetCurrentImage() const
{
    CZDLayer* layer = GetLayer(current);
    return layer ? &layer->pixels : nullptr;
}

Plane8* CZDDoc::GetSelection()
{
    return selection.data ? &selection : nullptr;
}

int CZDDoc::FindLayerByImage(const ImageBuffer16* image) const
{
    for (int i = 0; i < LayerCount(); ++i)
        if (&layers[size_t(i)]->pixels == image)
            return i;
    return -1;
}

int CZDDoc::MergeDown(int i)
{
    if (i <= 0 || i >= LayerCount())
        return 1;
    CZDLayer& upper = *layers[size_t(i)];
    CZDLayer& lower = *layers[size_t(i - 1)];
    const ZDRect u = upper.GetContentBounds();
    if (u.left >= u.right || u.top >= u.bottom) {
        DeleteLayer(i);
        return 1;
    }
    ZDRect l = i == 1 ? ZDRect{0, 0, lower.pixels.width, lower.pixels.height} : lower.GetContentBounds();
    if (l.left >= l.right || l.top >= l.bottom) {
        DeleteLayer(i - 1);
        return 1;
    }
    ZDRect r;
    if (i == 1) {
        r = {0, 0, lower.pixels.width, lower.pixels.height};
    } else {
        r.left = std::min(u.left + upper.x, l.left + lower.x);
        r.top = std::min(u.top + upper.y, l.top + lower.y);
        r.right = std::max(u.right + upper.x, l.right + lower.x);
        r.bottom = std::max(u.bottom + upper.y, l.bottom + lower.y);
    }
    auto merged = CreateLayerByType(lower.type);
    if (!merged)
        return 0;
    merged->placement = lower.placement;
    merged->visible = lower.visible;
    if (lower.mask.data && !CopyPlane8(merged->mask, lower.mask))
        return 0;
    merged->opacity = lower.opacity;
    merged->blendMode = lower.blendMode;
    std::memcpy(merged->name, lower.name, sizeof merged->name);
    merged->x = r.left;
    merged->y = r.top;
    if (!AllocImage16(merged->pixels, r.right - r.left, r.bottom - r.top))
        return 0;
    merged->id = lower.id;
    if (lower.type == kLayerText) {
        auto& t = static_cast<CTextLayer&>(*merged);
        const auto& from = static_cast<const CTextLayer&>(lower);
        std::memcpy(t.text, from.text, sizeof t.text);
        std::memcpy(t.style, from.style, sizeof t.style);
    }

    auto covers = [](const CZDLayer& layer, int cx, int cy) -> const uint16_t* {
        const int lx = cx - layer.x, ly = cy - layer.y;
        if (lx < 0 || ly < 0 || lx >= layer.pixels.width || ly >= layer.pixels.height)
            return nullptr;
        return layer.pixels.data + (size_t(ly) * layer.pixels.width + lx) * 4;
    };
    const uint64_t upperOpacity = upper.opacity, lowerOpacity = lower.opacity;
    uint16_t* out = merged->pixels.data;
    for (int cy = r.top; cy < r.bottom; ++cy)
        for (int cx = r.left; cx < r.right; ++cx, out += 4) {
            const uint16_t* lp = covers(lower, cx, cy);
            const uint16_t* up = covers(upper, cx, cy);
            if (!lp && !up) {
                std::memset(out, 0, 8);
            } else if (!up) {
                std::memcpy(out, lp, 8);
            } else if (!lp) {
                // The upper layer's opacity stays with its pixels once it is part of the lower one.
                std::memcpy(out, up, 6);
                out[3] = uint16_t(up[3] * upperOpacity / 255);
            } else {
                uint16_t blended[4];
                BlendChannels16(lp, up, blended, upper.blendMode);
                const uint64_t au = up[3] * upperOpacity / 255;
                if (au == 0) {
                    std::memcpy(out, lp, 8);
                    continue;
                }
                const uint64_t al = lp[3] * lowerOpacity / 255;
                const uint64_t ao = (au * 65535 + al * (65535 - au)) / 65535;
                const uint64_t s = au * 65535 / ao;
                for (int c = 0; c < 3; ++c)
                    out[c] = uint16_t((lp[c] * (65535 - s) + blended[c] * s + 32767) / 65535);
                out[3] = uint16_t(ao);
            }
        }

    {
        std::lock_guard guard(lock);
        std::unique_ptr<CZDLayer> oldLower = std::move(layers[size_t(i - 1)]);
        std::unique_ptr<CZDLayer> oldUpper = std::move(layers[size_t(i)]);
        layers[size_t(i - 1)] = std::move(merged);
        layers.erase(layers.begin() + i);
        oldLower->FreePixels();
        oldUpper->FreePixels();
    }
    SetCurrentLayer(i - 1);
    return 1;
}
