// The desktop icons: every size drawn in the program's look (neutral chrome, the one accent, a
// transparent margin for the theme), and the scalable icon the same drawing as the pictures when
// a real SVG renderer draws it.
#include "tools/SkinImagesIcons.h"

#include "imaging/ImageCodec/ImageLoad.h"
#include "platform/Text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const uint8_t* Pixel(const ImageBuffer8& im, int x, int y)
{
    return im.data + (size_t(y) * im.width + x) * 4;
}

} // namespace

TEST(SkinImagesIconsTest, EverySizeIsInTheProgramsLook)
{
    for (const tools::DesktopIcon& icon : tools::DesktopIcons())
        for (int size : tools::DesktopIconSizes()) {
            SCOPED_TRACE(std::string(icon.name) + " " + std::to_string(size));
            ImageBuffer8 im;
            ASSERT_TRUE(tools::RenderIcon(icon.shapes(size), size, im));
            ASSERT_EQ(im.width, size);
            ASSERT_EQ(im.height, size);
            // The theme's icons keep a transparent margin; the corner pixel is outside the shape.
            EXPECT_EQ(Pixel(im, 0, 0)[3], 0);
            EXPECT_EQ(Pixel(im, size - 1, size - 1)[3], 0);
            int accent = 0, light = 0, other = 0, opaque = 0;
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x) {
                    const uint8_t* p = Pixel(im, x, y);
                    if (p[3] < 250)
                        continue;
                    ++opaque;
                    const int b = p[0], g = p[1], r = p[2];
                    const bool grey = std::abs(r - g) <= 6 && std::abs(g - b) <= 6;
                    // The accent, also where it meets the dark tile or the light centre.
                    const bool blue = b > r + 8 && b >= g && g >= r;
                    accent += std::abs(r - 70) < 10 && std::abs(g - 130) < 10 && std::abs(b - 200) < 10;
                    light += grey && r > 200;
                    other += !grey && !blue;
                }
            EXPECT_GT(opaque, size * size / 2) << "the tile or the page fills most of the square";
            EXPECT_GT(accent, size * size / 40) << "the ring";
            EXPECT_GT(light, 0) << "the light centre";
            EXPECT_EQ(other, 0) << "no colour but neutral greys and the accent";
            FreeImageBuffer(im);
        }
}

TEST(SkinImagesIconsTest, TheScalableIconDrawsAsThePicture)
{
    if (std::system("command -v rsvg-convert >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "rsvg-convert is not installed (scripts/setup.sh test installs it)";
    const char* tmp = std::getenv("TMPDIR");
    const fs::path folder = fs::path(tmp ? tmp : "/tmp") / ("zendra-icons-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const int size = tools::DesktopIconSizes().back();
    for (const tools::DesktopIcon& icon : tools::DesktopIcons()) {
        SCOPED_TRACE(icon.name);
        const fs::path svg = folder / (std::string(icon.name) + ".svg"), png = folder / (std::string(icon.name) + ".png");
        std::ofstream(svg) << tools::IconSvg(icon.shapes(size), size);
        ASSERT_EQ(std::system(("rsvg-convert -w " + std::to_string(size) + " -h " + std::to_string(size) + " '" +
                               svg.string() + "' -o '" + png.string() + "'")
                                  .c_str()),
                  0);
        ImageBuffer8 drawn, rendered;
        ASSERT_TRUE(tools::RenderIcon(icon.shapes(size), size, drawn));
        ASSERT_TRUE(CodecLoadImage8(rendered, png.u16string().c_str()));
        ASSERT_EQ(rendered.width, size);
        ASSERT_EQ(rendered.height, size);
        // Premultiplied, so that the colour of a transparent pixel does not count.
        double total = 0;
        int far = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                const uint8_t *a = Pixel(drawn, x, y), *b = Pixel(rendered, x, y);
                double worst = std::abs(a[3] - b[3]);
                for (int c = 0; c < 3; ++c)
                    worst = std::max(worst, std::abs(a[c] * a[3] - b[c] * b[3]) / 255.0);
                total += worst;
                far += worst > 64;
            }
        EXPECT_LT(total / (size * size), 2.0) << "mean difference per pixel";
        EXPECT_LT(far, size * size / 200) << "pixels that differ much (anti-aliased edges only)";
        FreeImageBuffer(drawn);
        FreeImageBuffer(rendered);
    }
    fs::remove_all(folder);
}
