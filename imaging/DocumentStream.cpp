#include "imaging/DocumentStream.h"

#include "imaging/DocStream.h"
#include "imaging/Document.h"
#include "platform/Memory.h"
#include "platform/Path.h"
#include "platform/Text.h"

#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

namespace {

constexpr int kMaxSide = 65535;
// zlib expands at most about 1032:1; a plane claiming more than this from its data is broken.
constexpr uint64_t kMaxInflateRatio = 1100;
constexpr uint64_t kLargePlaneBytes = uint64_t(8) << 20;

template <class T>
std::unique_ptr<T[]> NewArray(uint64_t count)
{
    if (count > (uint64_t(1) << 34) / sizeof(T))
        return nullptr;
    return std::unique_ptr<T[]>(new (std::nothrow) T[size_t(count)]);
}

// Compresses into a fresh buffer; false when memory or zlib fail.
bool Compress(const uint8_t* data, uint64_t size, std::unique_ptr<uint8_t[]>& out, uLongf& outSize)
{
    if (size > UINT32_MAX)
        return false;
    const uLong bound = compressBound(uLong(size));
    out = NewArray<uint8_t>(bound);
    if (!out)
        return false;
    outSize = bound;
    return compress(out.get(), &outSize, data, uLong(size)) == Z_OK && outSize <= UINT32_MAX;
}

// Expands exactly `size` bytes; anything shorter or longer is a failure.
bool Expand(const uint8_t* packed, uint32_t packedSize, uint8_t* out, uint64_t size)
{
    uLongf got = uLongf(size);
    return uncompress(out, &got, packed, packedSize) == Z_OK && got == size;
}

bool ReadExact(CDocStream& s, void* buffer, size_t count)
{
    return s.Read(buffer, count) == count;
}

// PackYccWord, here so the writer's loop has it inline. |c - Y| * factor stays below 2^26.
inline uint32_t PackYcc(const uint16_t* bgr)
{
    const int32_t b = bgr[0], g = bgr[1], r = bgr[2];
    const int32_t y = (306 * r + 601 * g + 117 * b) >> 10;
    auto chroma = [y](int32_t c, int32_t factor) {
        const int32_t d = c - y;
        const int32_t mag = ((d < 0 ? -d : d) * factor) >> 16;
        return std::clamp(512 + (d < 0 ? -mag : mag), 0, 1023);
    };
    const uint32_t cb = uint32_t(chroma(b, 579)), cr = uint32_t(chroma(r, 730));
    return (uint32_t(y >> 4) << 20) | (cb << 10) | cr;
}

int WritePackedPixels(const ImageBuffer16& image, CDocStream& s)
{
    const uint64_t n = uint64_t(image.width) * image.height;
    auto alpha = NewArray<uint8_t>(n ? n : 1);
    if (!alpha)
        return 0;
    // A photo's plane is fresh memory every time: fewer, larger pages fault far less.
    if (n >= kLargePlaneBytes)
        platform::AdviseLargePages(alpha.get(), size_t(n));
    if (!s.WriteU16(uint16_t(image.width)) || !s.WriteU16(uint16_t(image.height)))
        return 0;
    constexpr size_t kChunk = 8192;
    uint8_t words[kChunk * 4];
    bool translucent = false;
    const uint16_t* px = image.data;
    for (uint64_t i = 0; i < n;) {
        const size_t count = size_t(std::min<uint64_t>(kChunk, n - i));
        for (size_t k = 0; k < count; ++k, px += 4) {
            PutU32(words + 4 * k, PackYcc(px));
            alpha[i + k] = uint8_t(px[3] >> 8);
            translucent |= px[3] != 0xFFFF;
        }
        if (!s.Write(words, count * 4))
            return 0;
        i += count;
    }
    if (!translucent)
        return s.WriteU8(0) ? 1 : 0;
    std::unique_ptr<uint8_t[]> packed;
    uLongf packedSize = 0;
    // A layer whose alpha cannot be stored must not read back opaque: the write fails.
    if (!Compress(alpha.get(), n, packed, packedSize))
        return 0;
    return s.WriteU8(1) && s.WriteU32(uint32_t(packedSize)) && s.Write(packed.get(), packedSize) ? 1 : 0;
}

int WriteExactPixels(const ImageBuffer16& image, CDocStream& s)
{
    if (!s.WriteU16(uint16_t(image.width)) || !s.WriteU16(uint16_t(image.height)))
        return 0;
    const size_t rowValues = size_t(image.width) * 4;
    // The stored form is the samples little-endian: on such a host the pixels go out as they lie.
    if constexpr (std::endian::native == std::endian::little)
        return s.Write(image.data, rowValues * 2 * size_t(image.height)) ? 1 : 0;
    std::vector<uint8_t> row(rowValues * 2);
    for (int y = 0; y < image.height; ++y) {
        const uint16_t* src = image.data + size_t(y) * rowValues;
        for (size_t k = 0; k < rowValues; ++k)
            PutU16(row.data() + 2 * k, src[k]);
        if (!s.Write(row.data(), row.size()))
            return 0;
    }
    return 1;
}

} // namespace

uint32_t PackYccWord(const uint16_t* bgr)
{
    return PackYcc(bgr);
}

void UnpackYccWord(uint32_t word, uint16_t* bgr)
{
    const int32_t y = int32_t(word >> 20) << 4;
    const int32_t cr = (int32_t(word & 1023) - 512) * 64;
    const int32_t cb = (int32_t((word >> 10) & 1023) - 512) * 64;
    bgr[2] = uint16_t(std::clamp(y + ((cr * 1437) >> 10), 0, 65535));
    bgr[1] = uint16_t(std::clamp(y - ((cr * 731 + cb * 352) >> 10), 0, 65535));
    bgr[0] = uint16_t(std::clamp(y + ((cb * 1812) >> 10), 0, 65535));
}

int WriteLayerPixels(const ImageBuffer16& image, CDocStream& stream)
{
    const bool empty = !image.data;
    const int w = empty ? 0 : image.width, h = empty ? 0 : image.height;
    if (w < 0 || h < 0 || w > kMaxSide || h > kMaxSide)
        return 0;
    ImageBuffer16 view = image;
    view.width = w;
    view.height = h;
    int ok = stream.pixelMode == PixelStreamMode::Exact ? WriteExactPixels(view, stream) : WritePackedPixels(view, stream);
    return ok && !stream.Failed() ? 1 : 0;
}

int ReadLayerPixels(CDocStream& stream, ImageBuffer16& image)
{
    uint16_t w = 0, h = 0;
    if (!stream.ReadU16(w) || !stream.ReadU16(h))
        return 0;
    const bool exact = stream.pixelMode == PixelStreamMode::Exact;
    const uint64_t n = uint64_t(w) * h;
    if (n * (exact ? 8 : 4) > stream.RemainingBytes())
        return 0;
    if (n == 0)
        FreeImageBuffer(image);
    else if (!AllocImage16(image, w, h))
        return 0;

    if (exact) {
        if constexpr (std::endian::native == std::endian::little)
            return ReadExact(stream, image.data, size_t(n) * 8) ? 1 : 0;
        std::vector<uint8_t> row(size_t(w) * 8);
        for (int y = 0; y < h; ++y) {
            if (!ReadExact(stream, row.data(), row.size()))
                return 0;
            uint16_t* dst = image.data + size_t(y) * w * 4;
            for (size_t k = 0; k < size_t(w) * 4; ++k)
                dst[k] = GetU16(row.data() + 2 * k);
        }
        return 1;
    }

    std::vector<uint8_t> row(size_t(w) * 4);
    for (int y = 0; y < h; ++y) {
        if (!ReadExact(stream, row.data(), row.size()))
            return 0;
        uint16_t* dst = image.data + size_t(y) * w * 4;
        for (int x = 0; x < w; ++x, dst += 4) {
            UnpackYccWord(GetU32(row.data() + 4 * x), dst);
            dst[3] = 0xFFFF;
        }
    }
    uint8_t flag = 0;
    if (!stream.ReadU8(flag) || flag == 0)
        return 1;
    uint32_t packedSize = 0;
    if (!stream.ReadU32(packedSize) || packedSize > stream.RemainingBytes())
        return 0;
    auto packed = NewArray<uint8_t>(packedSize ? packedSize : 1);
    if (!packed || !ReadExact(stream, packed.get(), packedSize))
        return 0;
    if (n == 0)
        return 1;
    auto alpha = NewArray<uint8_t>(n);
    if (!alpha)
        return 0;
    // A broken alpha block leaves the layer opaque rather than failing it.
    if (Expand(packed.get(), packedSize, alpha.get(), n)) {
        uint16_t* px = image.data;
        for (uint64_t i = 0; i < n; ++i, px += 4)
            px[3] = alpha[i] == 255 ? 0xFFFF : uint16_t(alpha[i] << 8);
    }
    return 1;
}

int WritePlane(const Plane8& plane, CDocStream& stream)
{
    if (!plane.data || plane.width <= 0 || plane.height <= 0)
        return stream.WriteU32(0) ? 1 : 0;
    if (plane.width > kMaxSide || plane.height > kMaxSide)
        return 0;
    std::unique_ptr<uint8_t[]> packed;
    uLongf packedSize = 0;
    if (!Compress(plane.data, uint64_t(plane.width) * plane.height, packed, packedSize))
        return 0;
    return stream.WriteU16(uint16_t(plane.width)) && stream.WriteU16(uint16_t(plane.height)) &&
                   stream.WriteU32(uint32_t(packedSize)) && stream.Write(packed.get(), packedSize)
               ? 1
               : 0;
}

int ReadPlane(CDocStream& stream, Plane8& plane)
{
    uint16_t w = 0, h = 0;
    if (!stream.ReadU16(w) || !stream.ReadU16(h))
        return 0;
    if (w == 0 || h == 0) {
        FreePlane8(plane);
        plane = Plane8{};
        return 1;
    }
    uint32_t packedSize = 0;
    if (!stream.ReadU32(packedSize) || packedSize == 0 || packedSize > stream.RemainingBytes())
        return 0;
    const uint64_t n = uint64_t(w) * h;
    if (n > uint64_t(packedSize) * kMaxInflateRatio + 64)
        return 0;
    auto packed = NewArray<uint8_t>(packedSize);
    if (!packed || !ReadExact(stream, packed.get(), packedSize))
        return 0;
    if (!AllocPlane8(plane, w, h))
        return 0;
    if (!Expand(packed.get(), packedSize, plane.data, n)) {
        FreePlane8(plane);
        plane = Plane8{};
        return 0;
    }
    return 1;
}

// ---- layer records --------------------------------------------------------------------------

bool BuildLayerHeader(const CZDLayer& layer, uint8_t (&h)[kLayerHeaderSize])
{
    if (layer.x < INT16_MIN || layer.x > INT16_MAX || layer.y < INT16_MIN || layer.y > INT16_MAX)
        return false;
    std::memset(h, 0, sizeof h);
    h[0] = 1;
    h[1] = 78;
    PutU16(h + 2, uint16_t(int16_t(layer.x)));
    PutU16(h + 4, uint16_t(int16_t(layer.y)));
    h[6] = layer.mask.data ? 1 : 0;
    PutText16(h + 8, layer.name, 32);
    h[72] = layer.opacity;
    h[73] = layer.blendMode;
    h[74] = layer.visible;
    h[75] = layer.placement;
    PutU32(h + 76, layer.id);
    return true;
}

int CZDLayer::Serialize(CDocStream& stream, bool loading)
{
    if (!loading) {
        std::lock_guard guard(lock);
        uint8_t h[kLayerHeaderSize];
        if (!BuildLayerHeader(*this, h) || !stream.Write(h, sizeof h))
            return 0;
        return WriteLayerPixels(pixels, stream);
    }
    FreePixels();
    std::lock_guard guard(lock);
    uint8_t h[kLayerHeaderSize];
    if (!ReadExact(stream, h, sizeof h) || h[1] > kLayerHeaderSize)
        return 0;
    placement = h[75];
    visible = h[74];
    opacity = h[72];
    blendMode = h[73];
    x = int16_t(GetU16(h + 2));
    y = int16_t(GetU16(h + 4));
    GetText16(h + 8, name, 32);
    id = GetU32(h + 76);
    const uint32_t want = id + 1;
    uint32_t seen = NextLayerId.load();
    while (seen < want && !NextLayerId.compare_exchange_weak(seen, want)) {
    }
    if (!ReadLayerPixels(stream, pixels)) {
        FreeImageBuffer(pixels);
        return 0;
    }
    return 1;
}

int CTextLayer::Serialize(CDocStream& stream, bool loading)
{
    if (!CZDLayer::Serialize(stream, loading))
        return 0;
    uint8_t data[kTextLayerDataBytes];
    if (!loading) {
        for (size_t i = 0; i < kTextUnits; ++i)
            PutU16(data + 2 * i, text[i]);
        std::memcpy(data + 2 * kTextUnits, style, kStyleBytes);
        return stream.Write(data, sizeof data) ? 1 : 0;
    }
    if (!ReadExact(stream, data, sizeof data))
        return 0;
    for (size_t i = 0; i < kTextUnits; ++i)
        text[i] = GetU16(data + 2 * i);
    text[kTextUnits - 1] = 0;
    std::memcpy(style, data + 2 * kTextUnits, kStyleBytes);
    return 1;
}

// ---- documents ------------------------------------------------------------------------------

namespace {

bool WriteDocument(CZDDoc& doc, CDocStream& s, bool withMasks)
{
    const size_t layerCount = doc.layers.size();
    const size_t maskCount = withMasks ? doc.masks.size() : 0;
    const bool selection = withMasks && doc.selection.data;
    // Values the header cannot hold would read back as another document: refuse them.
    if (layerCount > 255 || maskCount > 255 || doc.width < 0 || doc.height < 0 || doc.width > kMaxSide ||
        doc.height > kMaxSide)
        return false;
    if (layerCount > 0 && (doc.current < 0 || size_t(doc.current) >= layerCount))
        return false;
    uint8_t h[kDocumentHeaderSize] = {};
    h[0] = 1;
    h[1] = kDocumentHeaderSize;
    h[2] = uint8_t(layerCount);
    h[3] = uint8_t(maskCount);
    h[4] = selection ? 1 : 0;
    h[5] = layerCount ? uint8_t(doc.current) : 0;
    PutU16(h + 6, uint16_t(doc.width));
    PutU16(h + 8, uint16_t(doc.height));
    uint8_t path[kDocumentPathBytes];
    PutText16(path, doc.path, 1024);
    if (!s.Write(h, sizeof h) || !s.Write(path, sizeof path))
        return false;
    if (selection && !WritePlane(doc.selection, s))
        return false;
    for (size_t i = 0; i < maskCount; ++i) {
        const MaskItem& m = *doc.masks[i];
        uint8_t name[64];
        PutText16(name, m.name, 32);
        if (!s.Write(name, 64) || !s.WriteI32(m.x) || !s.WriteI32(m.y) || !s.WriteI32(m.storedWidth) ||
            !s.WriteI32(m.storedHeight) || !s.Write(name, 64) || !WritePlane(m.plane, s))
            return false;
    }
    for (auto& layer : doc.layers)
        if (!s.WriteU32(layer->type) || !layer->Serialize(s, false))
            return false;
    return !s.Failed();
}

bool ReadDocument(CZDDoc& doc, CDocStream& s, bool withMasks)
{
    uint8_t h[kDocumentHeaderSize];
    if (!ReadExact(s, h, sizeof h) || h[1] != kDocumentHeaderSize)
        return false;
    uint8_t path[kDocumentPathBytes];
    if (!ReadExact(s, path, sizeof path))
        return false;
    GetText16(path, doc.path, 1024);
    doc.width = GetU16(h + 6);
    doc.height = GetU16(h + 8);
    if (h[4]) {
        // A read without masks replaces only layers, size, path and current layer.
        Plane8 discard;
        Plane8& target = withMasks ? doc.selection : discard;
        const bool ok = ReadPlane(s, target) != 0;
        if (!withMasks)
            FreePlane8(discard);
        if (!ok)
            return false;
        // A selection covers the canvas; one that does not would be read outside its plane.
        if (withMasks && doc.selection.data &&
            (doc.selection.width != doc.width || doc.selection.height != doc.height)) {
            FreePlane8(doc.selection);
            doc.selection = Plane8{};
        }
    }
    for (int i = 0; i < h[3]; ++i) {
        auto item = std::make_unique<MaskItem>();
        uint8_t name[64], again[64];
        if (!ReadExact(s, name, 64) || !s.ReadI32(item->x) || !s.ReadI32(item->y) ||
            !s.ReadI32(item->storedWidth) || !s.ReadI32(item->storedHeight) || !ReadExact(s, again, 64) ||
            !ReadPlane(s, item->plane))
            return false;
        GetText16(name, item->name, 32);
        if (withMasks)
            doc.masks.push_back(std::move(item));
    }
    for (int i = 0; i < h[2]; ++i) {
        uint32_t type = 0;
        if (!s.ReadU32(type))
            return false;
        auto layer = CreateLayerByType(type);
        if (!layer || !layer->Serialize(s, true))
            return false;
        doc.layers.push_back(std::move(layer));
    }
    if (h[2] > 0)
        doc.current = std::min<int>(h[5], int(doc.layers.size()) - 1);
    doc.modified = 1;
    return true;
}

} // namespace

int CZDDoc::Serialize(CDocStream& stream, bool loading, bool withMasks)
{
    if (!loading) {
        std::lock_guard guard(lock);
        return WriteDocument(*this, stream, withMasks) ? 1 : 0;
    }
    if (withMasks)
        Clear();
    else
        ClearLayers();
    std::lock_guard guard(lock);
    if (ReadDocument(*this, stream, withMasks))
        return 1;
    Clear();
    return 0;
}

int PageOutDocument(CZDDoc& doc, const std::u16string& path)
{
    CDocFileStream out;
    if (!out.Open(path, CDocFileStream::Mode::Create))
        return 0;
    out.pixelMode = PixelStreamMode::Exact;
    bool ok = doc.Serialize(out, false, true) != 0;
    ok = out.Close() && ok;
    if (!ok)
        std::remove(platform::ToNativePath(path).c_str());
    return ok ? 1 : 0;
}

int PageInDocument(CZDDoc& doc, const std::u16string& path)
{
    CDocFileStream in;
    if (!in.Open(path, CDocFileStream::Mode::Read))
        return 0;
    in.pixelMode = PixelStreamMode::Exact;
    return doc.Serialize(in, true, true);
}
