#include "raster/RasterGIF.h"

#include "raster/GifLzw.h"
#include "raster/RasterCodecIo.h"
#include "raster/RasterStream.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_map>

using namespace rasterio;

namespace {

// Whole GIF files are read at once; nothing this large is a picture we could hold.
constexpr uint64_t kMaxFileBytes = uint64_t(1) << 31;

constexpr int kCellWidth = 17;
constexpr int kCellHeight = 15;

int TableBits(int entries)
{
    return entries <= 2 ? 1 : entries <= 16 ? 4 : 8;
}

// Skips data sub-blocks up to and including the zero-length one; false when the data ends first.
bool SkipSubBlocks(ByteReader& in)
{
    for (;;) {
        const int size = in.Get();
        if (size < 0)
            return false;
        if (size == 0)
            return true;
        if (!in.Skip(static_cast<uint64_t>(size)))
            return false;
    }
}

// A copy of pic on a canvas of width x height with pic at its own offset; outside it the canvas
// holds fill (an index, or that palette colour for true colour). Null when out of memory.
std::unique_ptr<CRaster> OnCanvas(const CRaster& pic, int width, int height, int fill);

// The same on a canvas of colours, outside filled with colour: for a colour that pic's palette
// does not hold.
std::unique_ptr<CRaster> OnColourCanvas(const CRaster& pic, int width, int height, RGBQUAD colour)
{
    auto canvas = std::make_unique<CRaster>(width, height, 24, RasterFormatGIF);
    if (!canvas->IsValid())
        return nullptr;
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            const int64_t px = x - int64_t(pic.xOffset), py = y - int64_t(pic.yOffset); // from the top
            const bool inside = px >= 0 && py >= 0 && px < pic.Width() && py < pic.Height();
            canvas->WritePixelColour(x, height - 1 - y, inside ? pic.ReadPixelColour(px, pic.Height() - 1 - py) : colour);
        }
    return canvas;
}

std::unique_ptr<CRaster> OnCanvas(const CRaster& pic, int width, int height, int fill)
{
    auto canvas = std::make_unique<CRaster>(width, height, pic.BitsPerPixel(), RasterFormatGIF);
    if (!canvas->IsValid())
        return nullptr;
    const uint32_t entries = std::min(pic.PaletteCount(), canvas->PaletteCount());
    if (entries)
        canvas->ReplacePalette(pic.PaletteEntries(), entries);
    const bool indexed = pic.BitsPerPixel() <= 8;
    if (pic.BitsPerPixel() == 8) {
        // Byte pixels: whole row pieces at a time.
        for (int32_t y = 0; y < height; ++y) {
            uint8_t* row = canvas->Row(height - 1 - y);
            std::memset(row, fill, static_cast<size_t>(width));
            const int64_t py = y - int64_t(pic.yOffset);
            if (py < 0 || py >= pic.Height())
                continue;
            const int64_t x0 = std::max<int64_t>(0, pic.xOffset);
            const int64_t x1 = std::min<int64_t>(width, int64_t(pic.xOffset) + pic.Width());
            if (x0 < x1)
                std::memcpy(row + x0, pic.Row(static_cast<int32_t>(pic.Height() - 1 - py)) + (x0 - pic.xOffset),
                            static_cast<size_t>(x1 - x0));
        }
        return canvas;
    }
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            const int64_t px = x - int64_t(pic.xOffset), py = y - int64_t(pic.yOffset); // from the top
            const bool inside = px >= 0 && py >= 0 && px < pic.Width() && py < pic.Height();
            const int64_t stored = height - 1 - y, from = pic.Height() - 1 - py;
            if (indexed)
                canvas->WritePixelIndex(x, stored, static_cast<uint8_t>(inside ? pic.ReadPixelIndex(px, from) : fill));
            else if (inside)
                canvas->WritePixelColour(x, stored, pic.ReadPixelColour(px, from));
        }
    return canvas;
}

// The canvas takes over the decoder's settings and state (frame asked for, counts, delay, ...),
// keeping its own block.
void TakeSettings(CRaster& canvas, const CRaster& from)
{
    const uint32_t stride = canvas.rowStride;
    uint8_t* pixels = canvas.pixels;
    CRaster* shared = canvas.sharedWith;
    static_cast<RasterInfo&>(canvas) = static_cast<const RasterInfo&>(from);
    canvas.rowStride = stride;
    canvas.pixels = pixels;
    canvas.sharedWith = shared;
}

bool SamePalette(const CRaster& a, const CRaster& b)
{
    return a.BitsPerPixel() == b.BitsPerPixel() && a.PaletteCount() == b.PaletteCount() &&
           (a.PaletteCount() == 0 ||
            std::memcmp(a.PaletteEntries(), b.PaletteEntries(), a.PaletteCount() * sizeof(RGBQUAD)) == 0);
}

} // namespace

struct CRasterGIF::DecodeState {
    int screenWidth = 0, screenHeight = 0;
    uint8_t table[256 * 3] = {};
    int tableSize = 0;
    bool haveTable = false;
    bool globalTable = false;
    int trueColourCounter = 0;
    int imageIndex = 0;
    int firstTransparent = -1;
    int backgroundIndex = 0; // the screen's background colour, for what no image covers
    RGBQUAD backgroundColour {255, 255, 255, 0}; // that entry of the global table (white without one)
    bool localTable = false; // the current table came from an image, not the screen
    std::unique_ptr<CRaster> trueColour;
};

namespace {

// What the screen shows where no image is, as an index of pic's palette: its transparent index,
// else the screen's background colour. The background index counts in the screen's (global)
// table only: with an image's own table it is looked up by colour. -1 when the palette has no
// such colour (the canvas is then made of colours).
int ScreenFill(const CRaster& pic, int transparent, bool localTable, int backgroundIndex, RGBQUAD want, int tableSize)
{
    if (transparent >= 0)
        return transparent;
    if (!localTable)
        return backgroundIndex;
    for (int i = 0; i < tableSize && i < int(pic.PaletteCount()); ++i) {
        const RGBQUAD c = pic.ReadPaletteEntry(uint32_t(i));
        if (c.rgbRed == want.rgbRed && c.rgbGreen == want.rgbGreen && c.rgbBlue == want.rgbBlue)
            return i;
    }
    return -1;
}

} // namespace

bool CRasterGIF::GifDecodeExtension(ByteReader& in, bool apply)
{
    const int label = in.Get();
    if (label < 0)
        return false;
    if (label == 0xF9) {
        const int size = in.Get();
        const uint8_t* block = size < 0 ? nullptr : in.Take(static_cast<size_t>(size));
        if (!block)
            return false;
        // Only the first four bytes mean anything; longer blocks are not trusted further.
        uint8_t b[4] = {};
        std::memcpy(b, block, std::min(size, 4));
        if (apply) {
            controlFlags = b[0];
            controlDelay = U16(b + 1);
            controlTransparent = b[3];
            if (b[0] & 1)
                transparentIndex = b[3];
            frameDelay = controlDelay;
            disposalMethod = (b[0] >> 2) & 7;
            controlRead = true;
        }
    } else if (label == 0xFE) {
        const int size = in.Get();
        const uint8_t* text = size < 0 ? nullptr : in.Take(static_cast<size_t>(size));
        if (!text)
            return false;
        if (apply) {
            std::memcpy(comment, text, static_cast<size_t>(size));
            comment[size] = 0;
        }
    } else if (label == 0xFF) {
        if (in.Get() != 11 || !in.Take(11))
            return false;
        // A three-byte first sub-block is the loop count; other applications (XMP and the like)
        // carry longer data, which is skipped like any other.
        const int size = in.Get();
        if (size < 0)
            return false;
        if (size == 0)
            return true;
        const uint8_t* data = in.Take(static_cast<size_t>(size));
        if (!data)
            return false;
        if (size == 3 && apply)
            loopCount = U16(data + 1);
    }
    return SkipSubBlocks(in);
}

int CRasterGIF::GifCountFrames(ByteReader in)
{
    int count = 0;
    for (;;) {
        const int b = in.Get();
        if (b < 0 || b == 0x3B)
            break;
        if (b == 0x21) {
            if (!GifDecodeExtension(in, false))
                break;
        } else if (b == 0x2C) {
            const uint8_t* d = in.Take(9);
            if (!d)
                break;
            if ((d[8] & 0x80) && !in.Skip(3u * (2u << (d[8] & 7))))
                break;
            if (in.Get() < 0)
                break;
            ++count;
            if (!SkipSubBlocks(in))
                break;
        }
    }
    return count;
}

CRasterGIF::BlockResult CRasterGIF::GifDecodeImage(ByteReader& in, DecodeState& st)
{
    const uint8_t* d = in.Take(9);
    if (!d)
        return BlockResult::Stop;
    const int left = U16(d), top = U16(d + 2), w = U16(d + 4), h = U16(d + 6);
    const uint8_t flags = d[8];
    if (st.imageIndex == 0) {
        // Our own mosaics (and other true-colour files) have no global table and a first image
        // smaller than the screen; one cell wide or high counts too.
        const bool differsBoth = w != st.screenWidth && h != st.screenHeight;
        const bool smaller = !st.globalTable && (w < st.screenWidth || h < st.screenHeight);
        if (differsBoth || smaller)
            ++st.trueColourCounter;
    }
    if (flags & 0x80) {
        st.tableSize = 2 << (flags & 7);
        const uint8_t* t = in.Take(size_t(st.tableSize) * 3);
        if (!t)
            return BlockResult::Stop;
        std::memcpy(st.table, t, size_t(st.tableSize) * 3);
        st.haveTable = true;
        st.localTable = true;
    }
    // A control extension speaks for the next image only.
    if (!controlRead) {
        transparentIndex = -1;
        disposalMethod = 0;
        controlFlags = 0;
    }
    controlRead = false;
    const bool trueColour = st.trueColourCounter >= 2;
    const int bits = st.haveTable ? TableBits(st.tableSize) : 8;

    std::unique_ptr<CRaster> background;
    if (st.imageIndex > 0 && disposalMethod == 1 && !trueColour && dib)
        background = std::make_unique<CRaster>(*this, true, true, true);
    if (st.imageIndex == 0)
        st.firstTransparent = transparentIndex;

    if (!Create(w, h, bits, RasterFormatGIF)) {
        SetLastError("Can't allocate memory");
        return BlockResult::Fail;
    }
    if (st.haveTable) {
        uint8_t table[256 * 3];
        std::memcpy(table, st.table, sizeof table);
        int count = st.tableSize;
        if (transparentIndex != -1) {
            for (int i = st.tableSize; i < 256; ++i)
                std::memset(table + i * 3, 255, 3);
            // Only a transparent last entry may become the white that stands for "none"; any
            // other entry 255 is a colour that pixels use.
            if (st.tableSize == 256 && transparentIndex == 255)
                std::memset(table + 255 * 3, 255, 3);
            count = 256;
        }
        ReplacePalette(table, static_cast<uint32_t>(std::min<uint32_t>(count, PaletteCount())));
    }

    const int minCode = in.Get();
    // Index codes of 2 to 8 bits are all a GIF can hold; anything else is not picture data.
    if (minCode < 2 || minCode > 8) {
        SetLastError("Bad LZW code size in GIF image");
        return BlockResult::Fail;
    }
    std::vector<uint8_t> codes;
    for (;;) {
        const int size = in.Get();
        if (size <= 0)
            break;
        const size_t take = std::min<size_t>(static_cast<size_t>(size), in.Left());
        const uint8_t* p = in.Take(take);
        codes.insert(codes.end(), p, p + take);
        if (take < static_cast<size_t>(size))
            break;
    }
    std::vector<uint8_t> indexes(size_t(w) * h);
    GifLzwDecode(codes.data(), codes.size(), minCode, indexes.data(), indexes.size());

    // Rows in file order, interlaced in four passes: 0, 8, 16 ...; 4, 12 ...; 2, 6 ...; 1, 3 ...
    std::vector<int> order;
    order.reserve(h);
    if (flags & 0x40) {
        const int starts[4] = {0, 4, 2, 1}, steps[4] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass)
            for (int r = starts[pass]; r < h; r += steps[pass])
                order.push_back(r);
    } else {
        for (int r = 0; r < h; ++r)
            order.push_back(r);
    }
    const uint8_t mask = static_cast<uint8_t>((1u << bits) - 1);
    for (int i = 0; i < h; ++i) {
        uint8_t* row = Row(h - 1 - order[i]);
        const uint8_t* src = &indexes[size_t(i) * w];
        if (bits == 8) {
            std::memcpy(row, src, size_t(w));
        } else {
            for (int x = 0; x < w; ++x) {
                const uint8_t v = src[x] & mask;
                if (bits == 4)
                    row[x / 2] |= (x & 1) ? v : static_cast<uint8_t>(v << 4);
                else
                    row[x / 8] |= static_cast<uint8_t>(v << (7 - x % 8));
            }
        }
    }
    if (EscapeRequested()) {
        SetLastError("Cancelled");
        return BlockResult::Fail;
    }
    // The image's place on the screen goes with it.
    xOffset = left;
    yOffset = top;
    const int canvasW = std::max(st.screenWidth, left + w), canvasH = std::max(st.screenHeight, top + h);

    if (background) {
        // Drawn over what the earlier images left, on the whole screen. With its own colour
        // table the image's indexes mean other colours than the background's: then the
        // composite is made of colours.
        const int fill = ScreenFill(*background, background->transparentIndex, st.localTable, st.backgroundIndex, st.backgroundColour, int(background->PaletteCount()));
        const bool onScreen = background->Width() == canvasW && background->Height() == canvasH &&
                              background->xOffset == 0 && background->yOffset == 0;
        std::unique_ptr<CRaster> canvas = onScreen    ? std::move(background)
                                          : fill >= 0 ? OnCanvas(*background, canvasW, canvasH, fill)
                                                      : OnColourCanvas(*background, canvasW, canvasH, st.backgroundColour);
        if (!canvas) {
            SetLastError("Can't allocate memory");
            return BlockResult::Fail;
        }
        // A composite in colours keeps the transparent colour as its key.
        const int keyIndex = st.firstTransparent;
        const RGBQUAD key = canvas->BitsPerPixel() <= 8 && keyIndex >= 0
                                ? canvas->ReadPaletteEntry(static_cast<uint32_t>(keyIndex))
                                : canvas->transparentColor;
        const bool keyed = canvas->BitsPerPixel() <= 8 ? keyIndex >= 0 : canvas->transparentIndex >= 0;
        if (canvas->BitsPerPixel() <= 8 && !SamePalette(*canvas, *this)) {
            auto colours = std::make_unique<CRaster>(canvasW, canvasH, 24, RasterFormatGIF);
            if (!colours->IsValid()) {
                SetLastError("Can't allocate memory");
                return BlockResult::Fail;
            }
            for (int32_t y = 0; y < canvasH; ++y)
                for (int32_t x = 0; x < canvasW; ++x)
                    colours->WritePixelColour(x, y, canvas->ReadPixelColour(x, y));
            canvas = std::move(colours);
        }
        const bool indexed = canvas->BitsPerPixel() <= 8;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint8_t v = ReadPixelIndex(x, h - 1 - y);
                if (v == transparentIndex)
                    continue;
                const int64_t cy = int64_t(canvasH) - 1 - top - y;
                if (indexed)
                    canvas->WritePixelIndex(int64_t(left) + x, cy, v);
                else
                    canvas->WritePixelColour(int64_t(left) + x, cy, ReadPixelColour(x, h - 1 - y));
            }
        TakeSettings(*canvas, *this);
        if (indexed) {
            canvas->transparentIndex = st.firstTransparent;
        } else {
            canvas->transparentColor = key;
            canvas->transparentIndex = keyed ? 0 : -1;
        }
        canvas->xOffset = canvas->yOffset = 0;
        TakeOver(*canvas);
    } else if (!trueColour && (left != 0 || top != 0 || w != canvasW || h != canvasH)) {
        // An image smaller than the screen is shown at its place on it.
        const int fill = ScreenFill(*this, transparentIndex, st.localTable, st.backgroundIndex, st.backgroundColour, st.tableSize);
        std::unique_ptr<CRaster> canvas = fill >= 0 ? OnCanvas(*this, canvasW, canvasH, fill)
                                                    : OnColourCanvas(*this, canvasW, canvasH, st.backgroundColour);
        if (!canvas) {
            SetLastError("Can't allocate memory");
            return BlockResult::Fail;
        }
        TakeSettings(*canvas, *this);
        if (fill < 0)
            canvas->transparentIndex = -1;
        canvas->xOffset = canvas->yOffset = 0;
        TakeOver(*canvas);
    }

    if (trueColour) {
        frame = frameCount - 1;
        if (!st.trueColour) {
            st.trueColour = std::make_unique<CRaster>(st.screenWidth, st.screenHeight, 24, RasterFormatGIF);
            if (!st.trueColour->IsValid()) {
                SetLastError("Can't allocate memory");
                return BlockResult::Fail;
            }
        }
        CRaster& picture = *st.trueColour;
        // Only the part of the image that lies on the screen can show.
        const int visibleW = std::min(w, std::max(0, st.screenWidth - left));
        const int visibleH = std::min(h, std::max(0, st.screenHeight - top));
        for (int y = 0; y < visibleH; ++y)
            for (int x = 0; x < visibleW; ++x)
                picture.WritePixelColour(int64_t(left) + x, int64_t(st.screenHeight) - 1 - top - y,
                                         ReadPixelColour(x, h - 1 - y));
    }
    if (st.imageIndex == frame)
        return BlockResult::Stop;
    ++st.imageIndex;
    return BlockResult::Continue;
}

bool CRasterGIF::Decode(CRasterStream* stream)
{
    if (!stream) {
        SetLastError("Can't open GIF for reading");
        return false;
    }
    // The signature before the file is taken into memory: a large file of anything else
    // costs nothing.
    const int64_t start = stream->Tell();
    uint8_t signature[4];
    if (!ReadExact(stream, signature, 4) || std::memcmp(signature, "GIF8", 4) != 0 || !stream->Seek(start, SEEK_SET)) {
        SetLastError("Not a GIF file");
        return false;
    }
    const std::vector<uint8_t> data = ReadRest(stream, kMaxFileBytes);
    ByteReader in(data.data(), data.size());
    const uint8_t* head = in.Take(13);
    if (!head || std::memcmp(head, "GIF8", 4) != 0) {
        SetLastError("Not a GIF file");
        return false;
    }
    DecodeState st;
    st.screenWidth = U16(head + 6);
    st.screenHeight = U16(head + 8);
    st.backgroundIndex = head[11];
    const uint8_t flags = head[10];
    st.tableSize = 2 << (flags & 7);
    if (flags & 0x80) {
        const uint8_t* t = in.Take(size_t(st.tableSize) * 3);
        if (t) {
            std::memcpy(st.table, t, size_t(st.tableSize) * 3);
            st.haveTable = st.globalTable = true;
            const uint8_t* bg = st.table + 3 * (st.backgroundIndex < st.tableSize ? st.backgroundIndex : 0);
            st.backgroundColour = RGBQUAD {bg[2], bg[1], bg[0], 0};
        }
    }
    st.trueColourCounter = st.globalTable ? 0 : 1;

    frameCount = GifCountFrames(in);
    if (frame < 0 || frame >= frameCount) {
        SetLastError("Frame not present in GIF file");
        return false;
    }

    bool reading = true;
    while (reading) {
        if (EscapeRequested()) {
            SetLastError("Cancelled");
            return false;
        }
        const int b = in.Get();
        switch (b) {
        case -1:
        case 0x3B:
            reading = false;
            break;
        case 0x21:
            reading = GifDecodeExtension(in, true);
            break;
        case 0x2C:
            switch (GifDecodeImage(in, st)) {
            case BlockResult::Fail:
                return false;
            case BlockResult::Stop:
                reading = false;
                break;
            case BlockResult::Continue:
                break;
            }
            break;
        default:
            break;
        }
    }

    if (st.trueColour) {
        const int count = frameCount;
        CRaster& picture = *st.trueColour;
        if (controlFlags & 1) {
            picture.transparentColor = ReadPaletteEntry(static_cast<uint32_t>(transparentIndex));
            picture.transparentIndex = 0;
        }
        TakeOver(picture);
        frameCount = count;
        formatCode = RasterFormatGIF;
    }
    return true;
}

void CRasterGIF::GifEncodeHeader(Writer& out) const
{
    out.Bytes("GIF89a", 6);
    out.Le16(static_cast<uint32_t>(Width()));
    out.Le16(static_cast<uint32_t>(Height()));
    const int bits = BitsPerPixel();
    const bool palette = PaletteCount() > 0;
    out.Byte(palette ? static_cast<uint8_t>(0x80 | ((bits - 1) << 4) | (bits - 1)) : 0x11);
    out.Byte(0);
    out.Byte(0);
    if (palette)
        for (uint32_t i = 0; i < PaletteCount(); ++i) {
            const RGBQUAD c = ReadPaletteEntry(i);
            const uint8_t rgb[3] = {c.rgbRed, c.rgbGreen, c.rgbBlue};
            out.Bytes(rgb, 3);
        }
}

void CRasterGIF::GifEncodeControl(Writer& out) const
{
    const uint8_t block[8] = {0x21, 0xF9, 4,
                              static_cast<uint8_t>((disposalMethod << 2) | (transparentIndex != -1 ? 1 : 0)),
                              static_cast<uint8_t>(frameDelay), static_cast<uint8_t>(frameDelay >> 8),
                              static_cast<uint8_t>(transparentIndex), 0};
    out.Bytes(block, sizeof block);
}

void CRasterGIF::GifEncodeComment(Writer& out) const
{
    const size_t length = strnlen(comment, 255);
    if (length == 0)
        return;
    out.Byte(0x21);
    out.Byte(0xFE);
    out.Byte(static_cast<uint8_t>(length));
    out.Bytes(comment, length);
    out.Byte(0);
}

void CRasterGIF::GifEncodeImage(Writer& out, bool localTable) const
{
    out.Byte(0x2C);
    out.Le16(static_cast<uint32_t>(xOffset));
    out.Le16(static_cast<uint32_t>(yOffset));
    out.Le16(static_cast<uint32_t>(Width()));
    out.Le16(static_cast<uint32_t>(Height()));
    if (localTable) {
        out.Byte(0x87);
        for (uint32_t i = 0; i < 256; ++i) {
            const RGBQUAD c = ReadPaletteEntry(i);
            const uint8_t rgb[3] = {c.rgbRed, c.rgbGreen, c.rgbBlue};
            out.Bytes(rgb, 3);
        }
    } else {
        out.Byte(0);
    }
    const int codeSize = std::max(2, BitsPerPixel());
    out.Byte(static_cast<uint8_t>(codeSize));
    GifRunLengthCoder coder(codeSize + 1);
    const int bits = BitsPerPixel();
    for (int32_t y = Height() - 1; y >= 0; --y) {
        const uint8_t* row = Row(y);
        for (int32_t x = 0; x < Width(); ++x) {
            if (bits == 8)
                coder.Pixel(row[x]);
            else if (bits == 4)
                coder.Pixel((x & 1) ? row[x / 2] & 0x0F : row[x / 2] >> 4);
            else
                coder.Pixel((row[x / 8] >> (7 - x % 8)) & 1);
        }
    }
    out.Bytes(coder.Finish());
    out.Byte(0);
}

bool CRasterGIF::GifEncodeTrueColor(Writer& out)
{
    GifEncodeHeader(out);
    const int32_t w = Width(), h = Height();
    const bool transparent = transparentIndex >= 0;
    const RGBQUAD key = TransparentColour();
    CRasterGIF cell;
    for (int32_t cy = 0; cy < h && out.Good(); cy += kCellHeight) {
        for (int32_t cx = 0; cx < w && out.Good(); cx += kCellWidth) {
            const int cw = std::min(kCellWidth, w - cx);
            const int ch = std::min(kCellHeight, h - cy);
            if (!cell.IsValid() || cell.Width() != cw || cell.Height() != ch) {
                if (!cell.Create(cw, ch, 8, RasterFormatGIF))
                    return false;
            }
            // Colours take entries 1 + k + 17 j; a colour met before in the cell shares its entry.
            std::unordered_map<uint32_t, uint8_t> first;
            auto keyOf = [](RGBQUAD c) { return (uint32_t(c.rgbRed) << 16) | (uint32_t(c.rgbGreen) << 8) | c.rgbBlue; };
            cell.transparentIndex = -1;
            if (transparent) {
                cell.transparentIndex = 0;
                cell.WritePaletteEntry(0, key.rgbRed, key.rgbGreen, key.rgbBlue);
                first.emplace(keyOf(key), 0);
            }
            // Cell row j counts from the bottom of the cell in stored order.
            const int32_t cellBottom = h - cy - ch;
            for (int j = 0; j < ch; ++j)
                for (int k = 0; k < cw; ++k) {
                    RGBQUAD c = ReadPixelColour(cx + k, cellBottom + j);
                    const uint8_t entry = static_cast<uint8_t>(1 + k + kCellWidth * j);
                    cell.WritePaletteEntry(entry, c.rgbRed, c.rgbGreen, c.rgbBlue);
                    const uint8_t index = first.emplace(keyOf(c), entry).first->second;
                    cell.Row(j)[k] = index;
                }
            cell.xOffset = cx;
            cell.yOffset = cy;
            cell.GifEncodeControl(out);
            cell.GifEncodeImage(out, true);
        }
    }
    GifEncodeComment(out);
    out.Byte(0x3B);
    return out.Ok();
}

bool CRasterGIF::Encode(CRasterStream* stream)
{
    if (!stream) {
        SetLastError("Can't open GIF for writing");
        return false;
    }
    if (!dib || Width() > 0xFFFF || Height() > 0xFFFF)
        return false;
    Writer out(stream);
    if (BitsPerPixel() > 8)
        return GifEncodeTrueColor(out);
    GifEncodeHeader(out);
    GifEncodeControl(out);
    GifEncodeComment(out);
    GifEncodeImage(out, false);
    out.Byte(0x3B);
    return out.Ok();
}
