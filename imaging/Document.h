// The picture of one editor tab: a canvas holding a stack of 16-bit layers, one selection, the
// stored masks, the current layer, a modified flag and the path the picture came from.
#pragma once

#include "imaging/ImageBuffer.h"
#include "platform/Sync.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CDocStream;

enum BlendMode : uint8_t {
    kBlendNormal = 0,
    kBlendDarken = 1,
    kBlendLighten = 2,
    kBlendMultiply = 5,
    kBlendScreen = 6,
    kBlendOverlay = 7,
    kBlendHardLight = 8,
    kBlendSoftLight = 9,
    kBlendDifference = 10,
};

// The string-table key that names a blend mode; unknown values are normal.
const char16_t* BlendModeKey(uint8_t mode);

struct ZDRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool IsEmpty() const { return left > right || top > bottom; }
};

// Process-wide source of layer ids; loading a layer raises it past the loaded id.
extern std::atomic<uint32_t> NextLayerId;

enum LayerType : uint32_t { kLayerPlain = 0, kLayerText = 1 };

class CZDLayer {
public:
    CZDLayer();
    virtual ~CZDLayer();
    CZDLayer(const CZDLayer&) = delete;
    CZDLayer& operator=(const CZDLayer&) = delete;

    virtual int Serialize(CDocStream& stream, bool loading);
    // Pixels, placement, visibility, mask, opacity, blend mode, offset and name; not id or type.
    virtual int CopyFrom(const CZDLayer& other);

    void FreePixels();
    // {x, y, x + width, y + height} in canvas coordinates; all zero without pixels.
    ZDRect GetRect() const;
    // Layer coordinates of the pixels with alpha above 0, right and bottom exclusive;
    // {width, height, 0, 0} when there are none.
    ZDRect GetContentBounds() const;

    int32_t x = 0;
    int32_t y = 0;
    Plane8 mask;
    char16_t name[32] = {};
    uint8_t opacity = 255;
    uint8_t blendMode = kBlendNormal;
    uint8_t visible = 1;
    uint8_t placement = 1;
    uint32_t type = kLayerPlain;
    uint32_t id;
    mutable platform::CriticalSection lock;
    ImageBuffer16 pixels;
};

class CTextLayer : public CZDLayer {
public:
    static constexpr size_t kTextUnits = 1025;
    static constexpr size_t kStyleBytes = 224;

    CTextLayer();
    int Serialize(CDocStream& stream, bool loading) override;
    int CopyFrom(const CZDLayer& other) override;

    char16_t text[kTextUnits] = {};
    uint8_t style[kStyleBytes] = {};
};

// 0 plain, 1 text, null for any other type.
std::unique_ptr<CZDLayer> CreateLayerByType(uint32_t type);

struct MaskItem {
    MaskItem() = default;
    ~MaskItem();
    MaskItem(const MaskItem&) = delete;
    MaskItem& operator=(const MaskItem&) = delete;

    Plane8 plane;
    char16_t name[32] = {};
    int32_t x = 0;
    int32_t y = 0;
    ImageBuffer8 preview; // for the mask panel; never stored in files
    int32_t storedWidth = 0;
    int32_t storedHeight = 0;
};

void DestroyMaskItem(MaskItem& item);
void DeleteMaskItem(MaskItem* item);
// Clears the canvas-size plane and copies the item into it at its offset, clipped.
void PlaceMaskItem(Plane8& plane, const MaskItem& item);

// A 16-bit pixel as one 64-bit value: B in the low 16 bits, then G, R, A.
inline uint64_t MakePixel64(uint16_t b, uint16_t g, uint16_t r, uint16_t a)
{
    return uint64_t(b) | (uint64_t(g) << 16) | (uint64_t(r) << 32) | (uint64_t(a) << 48);
}

class CZDDoc {
public:
    CZDDoc();
    virtual ~CZDDoc();
    CZDDoc(const CZDDoc&) = delete;
    CZDDoc& operator=(const CZDDoc&) = delete;

    virtual int Serialize(CDocStream& stream, bool loading, bool withMasks);

    void Clear();
    void ClearLayers();
    int OpenImage(const std::u16string& path);
    int CopyFrom(const CZDDoc& other);
    int Flatten(ImageBuffer16& out, uint64_t background) const;
    int AddLayer(const ImageBuffer16& image, const char16_t* name, int index = -1);
    void DeleteLayer(int index);
    int MergeDown(int index);
    void SetCurrentLayer(int index);

    // Accessors take no lock: their callers are on the UI thread, where the document changes.
    CZDLayer* GetCurrentLayer() const;
    ImageBuffer16* GetCurrentImage() const;
    CZDLayer* GetLayer(int index) const;
    Plane8* GetSelection();
    int FindLayerByImage(const ImageBuffer16* image) const;
    int LayerCount() const { return static_cast<int>(layers.size()); }

    char16_t path[1024] = {};
    // The redraw request: every change sets it, the canvas clears it on the render thread when
    // it asks for a new composition.
    std::atomic<int32_t> modified{0};
    std::vector<std::unique_ptr<CZDLayer>> layers;
    Plane8 selection;
    std::vector<std::unique_ptr<MaskItem>> masks;
    int32_t width = 0;
    int32_t height = 0;
    int32_t current = -1;
    mutable platform::CriticalSection lock;
};

// Combines B, G and R of base (what lies below) and top into out; normal copies top whole.
void BlendChannels16(const uint16_t* base, const uint16_t* top, uint16_t* out, uint8_t mode);
// Puts a layer on a canvas-size composite, weighted by opacity and the layer's alpha.
void BlendLayer(const CZDDoc& doc, ImageBuffer16& composite, const CZDLayer& layer);
int PixelLuminance8(const uint8_t* bgr);
int PixelLuminance16(const uint16_t* bgr);

// Interpolates chroma that a decoder repeated over 2 x 2 blocks (8-bit B, G, R, A picture).
void RepairJpegChroma(ImageBuffer8& image);
// RepairJpegChroma, then ConvertImage8To16 into destination in one go (the same bytes, in two
// passes over the picture instead of five). The picture is left in YCbCr; 0 as
// ConvertImage8To16 fails.
int ConvertJpegPicture16(ImageBuffer8& picture, ImageBuffer16& destination, int mode);
