// The image core's whole-picture colour conversions run on the algorithm helpers: the bytes
// must not depend on how many helpers there are, including the dithered conversion whose rows
// run as a wavefront.
#include "AlgorithmTestSupport.h"

#include "algorithms/X3Enlarge.h"
#include "imaging/ColourTables.h"
#include "imaging/ConvolutionKernel.h"
#include "imaging/Document.h"

#include <random>

namespace {

struct Results {
    std::vector<uint8_t> dithered, plain8;
    std::vector<uint16_t> srgb16, adobe16;
};

Results Convert(const ImageBuffer16& wide, const ImageBuffer8& narrow)
{
    Results r;
    ImageBuffer8 out8{};
    EXPECT_EQ(ConvertImage16To8Dithered(wide, out8), 1);
    r.dithered.assign(out8.data, out8.data + out8.byteSize);
    FreeImageBuffer(out8);
    EXPECT_EQ(ConvertImage16To8(wide, out8), 1);
    r.plain8.assign(out8.data, out8.data + out8.byteSize);
    FreeImageBuffer(out8);
    for (int mode : {kConvertSrgb, kConvertAdobe}) {
        ImageBuffer16 out16{};
        EXPECT_EQ(ConvertImage8To16(out16, narrow, mode), 1);
        (mode == kConvertSrgb ? r.srgb16 : r.adobe16).assign(out16.data, out16.data + size_t(out16.pixelCount) * 4);
        FreeImageBuffer(out16);
    }
    return r;
}

TEST(ColourConversionHelpers, SameBytesWithNoneAndEightHelpers)
{
    BuildGammaTables();
    // Small pictures stay on the caller; the large ones go to the helpers, with more rows than
    // the ring of working rows and widths that end inside a progress block.
    const struct { int w, h; } sizes[] = { { 1, 1 }, { 2, 3 }, { 3, 2 }, { 65, 17 }, { 700, 400 }, { 1031, 333 },
                                           { 4099, 70 }, { 300, 1200 } };
    for (const auto& size : sizes) {
        SCOPED_TRACE(testing::Message() << size.w << "x" << size.h);
        ScopedImage wide;
        wide.img = Noise(size.w, size.h, unsigned(size.w * 31 + size.h));
        // Extremes make the diffusion clamp at both ends.
        for (size_t i = 0; i < PixelCount(wide.img) * 4; i += 7)
            Pixels16(wide.img)[i] = (i / 7) % 2 ? 65535 : 0;
        ImageBuffer8 narrow{};
        ASSERT_TRUE(AllocImage8(narrow, size.w, size.h));
        std::mt19937 rng(7);
        for (size_t i = 0; i < narrow.byteSize; ++i)
            narrow.data[i] = uint8_t(rng());

        Results alone, helped;
        {
            WorkerScope worker(0);
            alone = Convert(wide.img, narrow);
        }
        {
            WorkerScope worker(8);
            helped = Convert(wide.img, narrow);
        }
        FreeImageBuffer(narrow);
        EXPECT_TRUE(alone.dithered == helped.dithered);
        EXPECT_TRUE(alone.plain8 == helped.plain8);
        EXPECT_TRUE(alone.srgb16 == helped.srgb16);
        EXPECT_TRUE(alone.adobe16 == helped.adobe16);
    }
}

// The 5 x 5 kernel and the plain tripling, on the caller and on eight helpers.
TEST(ImagingHelpers, KernelAndTriplingSameWithNoneAndEightHelpers)
{
    static const int32_t kSmooth[25] = { 1, 2, 2, 2, 1, 2, 4, 4, 4, 2, 2, 4, 8, 4, 2, 2, 4, 4, 4, 2, 1, 2, 2, 2, 1 };
    static const int32_t kSharpen[25] = { 0, 0, -1, 0, 0, 0, -1, -2, -1, 0, -1, -2, 21, -2, -1,
                                          0, -1, -2, -1, 0, 0, 0, -1, 0, 0 };
    const ConvolutionKernel kernels[] = { { kSmooth, 68, 5, 5, 2, 2 }, { kSharpen, 5, 5, 5, 2, 2 } };
    ScopedImage wide;
    wide.img = Noise(900, 640, 3);
    ImageBuffer8 narrow{};
    ASSERT_TRUE(AllocImage8(narrow, 900, 640));
    std::mt19937 rng(9);
    for (size_t i = 0; i < narrow.byteSize; ++i)
        narrow.data[i] = uint8_t(rng());
    Plane16 plane{};
    ASSERT_TRUE(AllocPlane16(plane, 700, 500));
    for (size_t i = 0; i < size_t(700) * 500; ++i)
        plane.data[i] = uint16_t(rng());

    std::vector<std::vector<uint8_t>> results[2];
    for (int k = 0; k < 2; ++k) {
        WorkerScope worker(k == 0 ? 0 : 8);
        for (const ConvolutionKernel& kernel : kernels) {
            ImageBuffer8 out8{};
            ASSERT_TRUE(AllocImage8(out8, 900, 640));
            ASSERT_EQ(kernel.ApplyImage8(narrow, out8), 1);
            results[k].emplace_back(out8.data, out8.data + out8.byteSize);
            FreeImageBuffer(out8);
            ImageBuffer16 out16{};
            ASSERT_EQ(kernel.ApplyImage16(wide.img, out16), 1);
            const uint8_t* bytes = reinterpret_cast<const uint8_t*>(out16.data);
            results[k].emplace_back(bytes, bytes + out16.byteSize);
            FreeImageBuffer(out16);
        }
        Plane16 tripled{};
        ASSERT_TRUE(AllocPlane16(tripled, 2100, 1500));
        ASSERT_TRUE(Enlarge3xPlain(plane, tripled));
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(tripled.data);
        results[k].emplace_back(bytes, bytes + size_t(2100) * 1500 * 2);
        FreePlane16(tripled);
    }
    FreeImageBuffer(narrow);
    FreePlane16(plane);
    ASSERT_EQ(results[0].size(), results[1].size());
    for (size_t i = 0; i < results[0].size(); ++i)
        EXPECT_TRUE(results[0][i] == results[1][i]) << i;
}

// The JPEG chroma repair and the YCbCr conversions run by row ranges; a picture with smooth
// chroma takes the smoothing path, a noisy one does not.
TEST(ImagingHelpers, ChromaRepairAndYCbCrSameWithNoneAndEightHelpers)
{
    auto makeSmooth = [](ImageBuffer8& img, int w, int h, bool noisy) {
        ASSERT_TRUE(AllocImage8(img, w, h));
        std::mt19937 rng(w * 7 + h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint8_t* p = img.data + (size_t(y) * w + x) * 4;
                const uint32_t n = noisy ? rng() : 0;
                p[0] = uint8_t(x / 3 + (n & 63));
                p[1] = uint8_t(y / 2 + ((n >> 6) & 63));
                p[2] = uint8_t((x + y) / 5 + ((n >> 12) & 63));
                p[3] = 255;
            }
    };
    const struct { int w, h; bool noisy; } cases[] = { { 3, 3, false }, { 800, 500, false }, { 801, 499, false },
                                                        { 640, 480, true } };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << (c.noisy ? " noisy" : ""));
        std::vector<uint8_t> repaired[2], ycc[2];
        std::vector<uint16_t> ycc16[2];
        for (int k = 0; k < 2; ++k) {
            WorkerScope worker(k == 0 ? 0 : 8);
            ImageBuffer8 img{};
            makeSmooth(img, c.w, c.h, c.noisy);
            RepairJpegChroma(img);
            repaired[k].assign(img.data, img.data + img.byteSize);
            RgbToYCbCr8(img);
            ycc[k].assign(img.data, img.data + img.byteSize);
            ImageBuffer16 wide{};
            ASSERT_EQ(ConvertImage8To16(wide, img, kConvertSrgb), 1);
            RgbToYCbCr16(wide);
            YCbCrToRgb16(wide);
            ycc16[k].assign(wide.data, wide.data + size_t(wide.pixelCount) * 4);
            FreeImageBuffer(wide);
            FreeImageBuffer(img);
        }
        EXPECT_TRUE(repaired[0] == repaired[1]);
        EXPECT_TRUE(ycc[0] == ycc[1]);
        EXPECT_TRUE(ycc16[0] == ycc16[1]);
    }
}

} // namespace

namespace {

// The document opener's one-go JPEG conversion against the two steps it replaces: the chroma
// repair on the 8-bit picture, then the 8-to-16 conversion.
TEST(ImagingHelpers, JpegPictureConversionSameAsRepairThenConvert)
{
    BuildGammaTables();
    enum Kind { kSmooth, kBlocky, kNoisy };
    auto make = [](ImageBuffer8& img, int w, int h, Kind kind) {
        ASSERT_TRUE(AllocImage8(img, w, h));
        std::mt19937 rng(w * 7 + h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint8_t* p = img.data + (size_t(y) * w + x) * 4;
                const uint32_t n = kind == kNoisy ? rng() : 0;
                // Blocky: colour repeated over 2 x 2 blocks, as a decoder without smoothing
                // gives subsampled chroma; the repair then changes the odd rows and columns.
                const int bx = kind == kBlocky ? x / 2 * 2 : x, by = kind == kBlocky ? y / 2 * 2 : y;
                p[0] = uint8_t(bx * 5 + (n & 63));
                p[1] = uint8_t(by / 2 + ((n >> 6) & 63) + (kind == kBlocky ? (x + y) % 3 : 0));
                p[2] = uint8_t((bx + by) * 3 + ((n >> 12) & 63));
                p[3] = 255;
            }
    };
    const struct { int w, h; Kind kind; } cases[] = {
        { 1, 1, kSmooth }, { 2, 9, kSmooth }, { 9, 2, kBlocky }, { 3, 3, kSmooth }, { 3, 3, kBlocky },
        { 4, 4, kBlocky }, { 5, 6, kBlocky }, { 6, 5, kSmooth }, { 37, 19, kBlocky }, { 800, 500, kSmooth },
        { 801, 499, kBlocky }, { 1030, 301, kBlocky }, { 640, 480, kNoisy },
    };
    for (const auto& c : cases)
        for (int mode : { kConvertSrgb, kConvertAdobe }) {
            SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " kind " << c.kind << " mode " << mode);
            ImageBuffer8 source{};
            make(source, c.w, c.h, c.kind);
            ImageBuffer8 repaired{};
            ASSERT_EQ(CopyImage8(repaired, source), 1);
            RepairJpegChroma(repaired);
            ImageBuffer16 want{};
            ASSERT_EQ(ConvertImage8To16(want, repaired, mode), 1);
            for (int helpers : { 0, 8 }) {
                SCOPED_TRACE(helpers);
                WorkerScope worker(helpers);
                ImageBuffer8 picture{};
                ASSERT_EQ(CopyImage8(picture, source), 1);
                ImageBuffer16 got{};
                ASSERT_EQ(ConvertJpegPicture16(picture, got, mode), 1);
                ASSERT_EQ(got.width, c.w);
                ASSERT_EQ(got.height, c.h);
                EXPECT_EQ(std::memcmp(got.data, want.data, size_t(want.pixelCount) * 8), 0);
                FreeImageBuffer(got);
                FreeImageBuffer(picture);
            }
            if (c.kind == kBlocky && c.w >= 4 && c.h >= 4) {
                // The case really takes the smoothing path.
                ImageBuffer8 plain{};
                ASSERT_EQ(CopyImage8(plain, source), 1);
                RgbToYCbCr8(plain);
                YCbCrToRgb8(plain);
                EXPECT_NE(std::memcmp(plain.data, repaired.data, plain.byteSize), 0);
                FreeImageBuffer(plain);
            }
            FreeImageBuffer(want);
            FreeImageBuffer(repaired);
            FreeImageBuffer(source);
        }
}

} // namespace

namespace {

// The dithered conversion exactly as written down: convert the primaries of a whole copy,
// then walk it pixel by pixel, each error share a truncating division, each neighbour clamped
// at once. The fast conversion keeps only a ring of rows, reads its shares from tables and
// runs several rows at a time, so it is checked against this at many small and odd sizes.
std::vector<uint8_t> DitherReference(const ImageBuffer16& source)
{
    ImageBuffer16 copy{};
    EXPECT_EQ(CopyImage16(copy, source), 1);
    ConvertPrimaries16(copy);
    const int w = source.width, h = source.height;
    std::vector<uint8_t> out(size_t(w) * h * 4);
    auto add = [](uint16_t& v, int32_t e) { v = uint16_t(std::clamp(int32_t(v) + e, 0, 65535)); };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint16_t* p = copy.data + (size_t(y) * w + x) * 4;
            uint8_t* o = out.data() + (size_t(y) * w + x) * 4;
            int32_t e[3];
            for (int c = 0; c < 3; ++c) {
                o[c] = SrgbEncodeTable[p[c]];
                e[c] = int32_t(p[c]) - int32_t(SrgbDecodeTable[o[c]]);
            }
            o[3] = uint8_t(p[3] >> 8);
            if (x == w - 1 || y == h - 1)
                continue;
            uint16_t* below = p + size_t(w) * 4;
            for (int c = 0; c < 3; ++c) {
                add(p[4 + c], 2 * e[c] / 5);
                add(below[c], 2 * e[c] / 5);
                add(below[4 + c], e[c] / 5);
            }
        }
    FreeImageBuffer(copy);
    return out;
}

TEST(ColourConversionHelpers, DitheredSameAsTheWrittenDownWalk)
{
    BuildGammaTables();
    const struct { int w, h; } sizes[] = { { 1, 1 }, { 1, 9 }, { 9, 1 }, { 2, 2 }, { 3, 5 }, { 5, 3 }, { 63, 4 },
                                           { 64, 5 }, { 65, 6 }, { 66, 7 }, { 129, 9 }, { 200, 130 }, { 1000, 71 } };
    for (const auto& size : sizes) {
        SCOPED_TRACE(testing::Message() << size.w << "x" << size.h);
        ScopedImage wide;
        wide.img = Noise(size.w, size.h, unsigned(size.w * 131 + size.h));
        // Runs of extremes make the diffusion clamp at both ends; smooth runs between levels
        // carry errors far along the rows.
        for (size_t i = 0; i < PixelCount(wide.img) * 4; ++i) {
            const size_t px = i / 4;
            if (px % 11 < 3)
                Pixels16(wide.img)[i] = (px / 11) % 2 ? 65535 : 0;
            else if (px % 11 < 7)
                Pixels16(wide.img)[i] = uint16_t(30000 + (px % 97));
        }
        const std::vector<uint8_t> want = DitherReference(wide.img);
        for (int helpers : { 0, 8 }) {
            SCOPED_TRACE(helpers);
            WorkerScope worker(helpers);
            ImageBuffer8 out{};
            ASSERT_EQ(ConvertImage16To8Dithered(wide.img, out), 1);
            EXPECT_TRUE(std::equal(want.begin(), want.end(), out.data));
            FreeImageBuffer(out);
        }
    }
}

} // namespace
