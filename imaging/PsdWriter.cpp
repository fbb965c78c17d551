#include "imaging/PsdWriter.h"

#include "imaging/ColourTables.h"
#include "imaging/DocStream.h"
#include "imaging/ImageBuffer.h"
#include "platform/Text.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {

// Photoshop's own limit for the version-1 format.
constexpr uint32_t kMaxSide = 30000;

inline void PutBE16(uint8_t* p, uint16_t v) { p[0] = uint8_t(v >> 8); p[1] = uint8_t(v); }
inline void PutBE32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v >> 24); p[1] = uint8_t(v >> 16); p[2] = uint8_t(v >> 8); p[3] = uint8_t(v);
}

// Channel order in the file (alpha first in the layer, last in the merged image) and the byte of
// a B, G, R, A pixel that each takes.
constexpr int kLayerChannelByte[4] = {3, 2, 1, 0}; // alpha, red, green, blue
constexpr int16_t kLayerChannelId[4] = {-1, 0, 1, 2};
constexpr int kMergedChannelByte[4] = {2, 1, 0, 3}; // red, green, blue, alpha

bool WriteAll(CDocStream& out, const uint8_t* bgra, uint32_t width, uint32_t height)
{
    const uint64_t n = uint64_t(width) * height;
    const uint64_t a = (n + 2) + ((n + 2) & 1);

    uint8_t header[26 + 4 + 4] = {};
    std::memcpy(header, "8BPS", 4);
    PutBE16(header + 4, 1);
    PutBE16(header + 12, 4);
    PutBE32(header + 14, height);
    PutBE32(header + 18, width);
    PutBE16(header + 22, 8);
    PutBE16(header + 24, 3);
    // colour mode data and image resources: both empty
    if (!out.Write(header, sizeof header))
        return false;

    // The layer info in one buffer, as the layer and its channels are laid out.
    const uint64_t infoLength = 4 * a + 120;
    std::unique_ptr<uint8_t[]> info(new (std::nothrow) uint8_t[4 + 4 + infoLength + 4]());
    if (!info)
        return false;
    uint8_t* p = info.get();
    PutBE32(p, static_cast<uint32_t>(4 * a + 128));
    PutBE32(p + 4, static_cast<uint32_t>(infoLength));
    PutBE16(p + 8, uint16_t(-1)); // one layer; its alpha channel is the merged transparency
    uint8_t* rec = p + 10;
    PutBE32(rec + 8, height);
    PutBE32(rec + 12, width);
    PutBE16(rec + 16, 4);
    for (int c = 0; c < 4; ++c) {
        PutBE16(rec + 18 + 6 * c, static_cast<uint16_t>(kLayerChannelId[c]));
        PutBE32(rec + 20 + 6 * c, static_cast<uint32_t>(a));
    }
    std::memcpy(rec + 42, "8BIMnorm", 8);
    rec[50] = 255;
    rec[52] = 0x20;
    PutBE32(rec + 54, 60);
    PutBE32(rec + 62, 40);
    for (int r = 0; r < 10; ++r) {
        rec[66 + 4 * r + 2] = 255;
        rec[66 + 4 * r + 3] = 255;
    }
    rec[106] = 5;
    std::memcpy(rec + 107, "Layer", 5);
    uint8_t* chan = rec + 118;
    for (int c = 0; c < 4; ++c, chan += a) {
        const int byte = kLayerChannelByte[c];
        for (uint64_t i = 0; i < n; ++i)
            chan[2 + i] = bgra[4 * i + byte];
    }
    // global layer mask length: the buffer's last 4 bytes, already zero
    if (!out.Write(info.get(), static_cast<size_t>(4 + 4 + infoLength + 4)))
        return false;
    info.reset();

    uint8_t compression[2] = {0, 0};
    if (!out.Write(compression, 2))
        return false;
    std::vector<uint8_t> row;
    row.reserve(width);
    for (int c = 0; c < 4; ++c) {
        const int byte = kMergedChannelByte[c];
        for (uint32_t y = 0; y < height; ++y) {
            row.clear();
            const uint8_t* src = bgra + uint64_t(y) * width * 4;
            for (uint32_t x = 0; x < width; ++x)
                row.push_back(src[4 * x + byte]);
            if (!out.Write(row.data(), row.size()))
                return false;
        }
    }
    return true;
}

} // namespace

int WritePsdLayerFile(const std::u16string& path, const uint8_t* bgra, uint32_t width, uint32_t height)
{
    if (!bgra || width == 0 || height == 0 || width > kMaxSide || height > kMaxSide)
        return 0;
    // Saved like a photo: a failed save never leaves a broken file under the user's name.
    CDocAtomicFileStream out;
    const bool ok = out.Open(path) && WriteAll(out, bgra, width, height) && out.Commit();
    return ok ? 1 : 0;
}

int CPSDLayerSave::SaveFile(const std::u16string& path, const ImageBuffer16& image)
{
    ImageBuffer8 pixels;
    if (!ConvertImage16To8Dithered(image, pixels))
        return 0;
    const int ok = WritePsdLayerFile(path, pixels.data, uint32_t(pixels.width), uint32_t(pixels.height));
    FreeImageBuffer(pixels);
    return ok;
}
