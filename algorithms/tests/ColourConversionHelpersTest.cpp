// The image core's whole-picture colour conversions run on the algorithm helpers: the bytes
// must not depend on how many helpers there are, including the dithered conversion whose rows
// run as a wavefront.
#include "AlgorithmTestSupport.h"

#include "imaging/ColourTables.h"

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

} // namespace
