// Pictures of more than 8 MiB: the decoder then maps the picture's pages from a helper thread
// while it decodes. The pixels must be the same, and every way out of the decode (success,
// cancel, a fatal library error) must stop that thread before the picture can go away.
#include "raster/RasterJPG.h"
#include "RasterTestUtil.h"

#include <cstring>

using namespace rastertest;

namespace {

// Sets the decoder's escape flag on its `trigger`-th read, in the middle of the decode.
class EscapingStream : public CRasterMemStream {
public:
    EscapingStream(std::vector<uint8_t>& bytes, CRaster& image, int trigger)
        : CRasterMemStream(bytes.data(), bytes.size()), image(image), trigger(trigger) {}
    size_t Read(void* buffer, size_t itemSize, size_t count) override
    {
        if (++reads == trigger)
            image.escape = 1;
        return CRasterMemStream::Read(buffer, itemSize, count);
    }
    CRaster& image;
    int trigger, reads = 0;
};

} // namespace

TEST(RasterJpgLarge, FullAndDcOnlyDecodesMatchDjpeg)
{
    TempFolder dir;
    // 2048 x 1408 x 3 and 3000 x 3000 x 1 bytes: both above the helper's threshold.
    struct Case { const char* name; int w, h; const char* options; };
    const Case cases[] = {
        {"colour", 2048, 1408, "-sampling-factor 2x2 -quality 90"},
        {"grey", 3000, 3000, "-colorspace Gray -quality 80"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CRaster::ReleaseSpareBlocks(); // fresh blocks, which the helper maps
        std::string jpg = dir / (std::string(c.name) + ".jpg");
        const std::string size = std::to_string(c.w) + "x" + std::to_string(c.h);
        ASSERT_EQ(Shell(std::string(kConvert) + " -size " + size +
                        " gradient:navy-orange -attenuate 0.6 +noise Gaussian -rotate 0 " + c.options + " " + jpg), 0);
        ASSERT_EQ(Shell("djpeg -outfile " + jpg + ".full.pnm " + jpg), 0);
        ASSERT_EQ(Shell("djpeg -scale 1/8 -outfile " + jpg + ".dc.pnm " + jpg), 0);
        std::vector<uint8_t> bytes = ReadFile(jpg);

        CRasterMemStream fullStream(bytes.data(), bytes.size());
        CRasterJPG full;
        ASSERT_TRUE(full.Decode(&fullStream)) << full.lastError;
        EXPECT_EQ(MaxDifference(full, ReadPnm(jpg + ".full.pnm")), 0);
        full.Destroy(); // the preview below gets this block again, already mapped

        Rgba small = ReadPnm(jpg + ".dc.pnm");
        ASSERT_EQ(small.width, (c.w + 7) / 8);
        CRasterMemStream dcStream(bytes.data(), bytes.size());
        CRasterJPG preview;
        ASSERT_TRUE(preview.DecodeJpegPreview(&dcStream)) << preview.lastError;
        ASSERT_EQ(preview.Width(), c.w);
        ASSERT_EQ(preview.Height(), c.h);
        int wrong = 0;
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x) {
                RGBQUAD p = preview.ReadPixelColour(x, c.h - 1 - y);
                const uint8_t* e = small.At(x / 8, y / 8);
                wrong += p.rgbRed != e[0] || p.rgbGreen != e[1] || p.rgbBlue != e[2];
            }
        EXPECT_EQ(wrong, 0);
    }
}

TEST(RasterJpgLarge, CancelledAndFailedDecodesStopCleanly)
{
    TempFolder dir;
    std::string jpg = dir / "big.jpg";
    ASSERT_EQ(Shell(std::string(kConvert) + " -size 2048x1408 gradient:red-blue -attenuate 0.5 +noise Gaussian"
                    " -interlace JPEG -quality 85 " + jpg), 0);
    std::vector<uint8_t> bytes = ReadFile(jpg);

    // Cancelled halfway through the data, full and DC-only.
    for (bool dcOnly : {false, true}) {
        CRasterJPG image;
        image.SetLastError("untouched");
        EscapingStream stream(bytes, image, int(bytes.size() / 4096 / 2));
        EXPECT_FALSE(dcOnly ? image.DecodeJpegPreview(&stream) : image.Decode(&stream));
        EXPECT_STREQ(image.lastError, "untouched");
        EXPECT_GT(stream.reads, 2);
    }

    // A broken Huffman table between two scans of the progressive file: a fatal library error
    // after the picture was made.
    size_t firstScan = 0, table = 0;
    for (size_t i = 2; i + 4 < bytes.size(); ++i) {
        if (bytes[i] != 0xFF)
            continue;
        if (bytes[i + 1] == 0xDA && !firstScan)
            firstScan = i;
        else if (bytes[i + 1] == 0xC4 && firstScan) {
            table = i;
            break;
        }
    }
    ASSERT_NE(table, 0u);
    std::vector<uint8_t> broken = bytes;
    std::memset(&broken[table + 5], 0xFF, 16); // code counts adding up to far more than 256
    for (bool dcOnly : {false, true}) {
        CRasterMemStream stream(broken.data(), broken.size());
        CRasterJPG image;
        EXPECT_FALSE(dcOnly ? image.DecodeJpegPreview(&stream) : image.Decode(&stream));
        EXPECT_STREQ(image.lastError, "Bogus Huffman table definition");
    }
}
