// The straight-to-BGRA decode that documents, previews and thumbnails use, held against the
// platform layer's row-by-row decode into a zero-filled copy, which it replaced on those roads.
#include "raster/RasterJPG.h"
#include "platform/JpegImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" {
#include <jpeglib.h>
}

namespace {

struct Encoding {
    const char* name;
    int width, height, components; // 1 grey, 3 colour, 4 CMYK
    int hSample, vSample;          // luma sampling factors
    bool progressive;
    bool adobeMarker;              // CMYK only: Photoshop's inverted inks
};

// A picture with edges, gradients and noise so every sampling and IDCT path has work to do.
std::vector<uint8_t> Encode(const Encoding& e)
{
    std::vector<uint8_t> pixels(size_t(e.width) * e.height * e.components);
    uint32_t seed = 12345;
    for (int y = 0; y < e.height; ++y)
        for (int x = 0; x < e.width; ++x)
            for (int c = 0; c < e.components; ++c) {
                seed = seed * 1103515245u + 12345u;
                int v = (x * 7 + y * 3 + c * 60) % 256 + ((x / 5 + y / 3) % 2 ? 40 : -40) + int(seed >> 28) - 8;
                pixels[(size_t(y) * e.width + x) * e.components + c] = uint8_t(std::clamp(v, 0, 255));
            }
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = JDIMENSION(e.width);
    cinfo.image_height = JDIMENSION(e.height);
    cinfo.input_components = e.components;
    cinfo.in_color_space = e.components == 1 ? JCS_GRAYSCALE : e.components == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 85, TRUE);
    if (e.components == 4)
        cinfo.write_Adobe_marker = e.adobeMarker ? TRUE : FALSE;
    if (e.components >= 3) {
        cinfo.comp_info[0].h_samp_factor = e.hSample;
        cinfo.comp_info[0].v_samp_factor = e.vSample;
    }
    if (e.progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = pixels.data() + size_t(cinfo.next_scanline) * e.width * e.components;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<uint8_t> file(out, out + size);
    std::free(out);
    return file;
}

// Rows with padding after each, to show the decoder keeps to the stride it is given.
struct Target {
    std::vector<uint8_t> block;
    uint32_t width = 0, height = 0;
    size_t stride = 0;
    int calls = 0;
    bool refuse = false;
    static uint8_t* Allocate(void* context, uint32_t w, uint32_t h, size_t& stride)
    {
        auto& t = *static_cast<Target*>(context);
        ++t.calls;
        if (t.refuse)
            return nullptr;
        t.width = w, t.height = h;
        t.stride = stride = size_t(w) * 4 + 12;
        t.block.assign(t.stride * h, 0xA5);
        return t.block.data();
    }
    std::vector<uint8_t> Packed() const
    {
        std::vector<uint8_t> out;
        for (uint32_t y = 0; y < height; ++y)
            out.insert(out.end(), block.begin() + y * stride, block.begin() + y * stride + width * 4);
        return out;
    }
};

} // namespace

TEST(RasterJpgBgra, SamePixelsAsTheRowByRowDecodeAtEveryScale)
{
    const Encoding encodings[] = {
        { "colour 4:2:0", 61, 37, 3, 2, 2, false, false },
        { "colour 4:4:4", 40, 24, 3, 1, 1, false, false },
        { "colour 4:2:2 progressive", 33, 50, 3, 2, 1, true, false },
        { "colour 1:2", 17, 9, 3, 1, 2, false, false },
        { "grey", 45, 29, 1, 1, 1, false, false },
        { "cmyk adobe", 26, 19, 4, 1, 1, false, true },
        { "cmyk plain", 26, 19, 4, 1, 1, false, false },
        { "one pixel", 1, 1, 3, 2, 2, false, false },
    };
    for (const Encoding& e : encodings) {
        const std::vector<uint8_t> file = Encode(e);
        for (int scale : { 1, 2, 4, 8 }) {
            SCOPED_TRACE(std::string(e.name) + " 1/" + std::to_string(scale));
            platform::Bitmap32 old;
            ASSERT_TRUE(platform::DecodeJpeg(file.data(), file.size(), old, scale));
            Target t;
            ASSERT_TRUE(DecodeJpegBgra(file.data(), file.size(), scale, &Target::Allocate, &t));
            EXPECT_EQ(t.calls, 1);
            EXPECT_EQ(t.width, old.width);
            EXPECT_EQ(t.height, old.height);
            EXPECT_EQ(t.width, uint32_t((e.width + scale - 1) / scale));
            EXPECT_TRUE(t.Packed() == old.pixels);
            // The padding after each row stays as it was.
            for (uint32_t y = 0; y < t.height; ++y)
                for (size_t i = t.width * 4; i < t.stride; ++i)
                    ASSERT_EQ(t.block[y * t.stride + i], 0xA5);
        }
    }
}

TEST(RasterJpgBgra, RefusesBadInputAndBadRequests)
{
    const std::vector<uint8_t> file = Encode({ "colour", 20, 20, 3, 2, 2, false, false });
    std::vector<uint8_t> noise(500);
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] = uint8_t(i * 131 + 7);
    struct Case { const char* name; const uint8_t* data; size_t size; int scale; bool refuse; int calls; };
    const Case cases[] = {
        { "no data", nullptr, 100, 1, false, 0 },
        { "cut inside the header", file.data(), 20, 1, false, 0 },
        { "noise", noise.data(), noise.size(), 1, false, 0 },
        { "scale 3", file.data(), file.size(), 3, false, 0 },
        { "scale 16", file.data(), file.size(), 16, false, 0 },
        { "no rows given", file.data(), file.size(), 1, true, 1 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Target t;
        t.refuse = c.refuse;
        EXPECT_FALSE(DecodeJpegBgra(c.data, c.size, c.scale, &Target::Allocate, &t));
        EXPECT_EQ(t.calls, c.calls);
    }
    EXPECT_FALSE(DecodeJpegBgra(file.data(), file.size(), 1, nullptr, nullptr));
}

TEST(RasterJpgBgra, TruncatedScanStillFillsEveryRow)
{
    // A file cut inside its scan decodes, as libjpeg pads the missing data; no row is left
    // as the allocator handed it over.
    std::vector<uint8_t> file = Encode({ "colour", 64, 64, 3, 2, 2, false, false });
    file.resize(file.size() * 2 / 3);
    platform::Bitmap32 old;
    const bool oldOk = platform::DecodeJpeg(file.data(), file.size(), old, 1);
    Target t;
    ASSERT_EQ(DecodeJpegBgra(file.data(), file.size(), 1, &Target::Allocate, &t), oldOk);
    ASSERT_TRUE(oldOk);
    EXPECT_TRUE(t.Packed() == old.pixels);
}
