// Saving over an existing picture: the replacement keeps what the old file was (its mode, the
// link pointing at it, its protection) and never leaves a temporary file behind.
#include "raster/Raster.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

struct SaveFolder {
    fs::path dir;
    SaveFolder()
    {
        dir = fs::temp_directory_path() / ("zd_raster_saveover_" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    ~SaveFolder() { fs::remove_all(dir); }
    void Write(const fs::path& path, const char* text) const
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs(text, f);
        std::fclose(f);
    }
    int Entries() const
    {
        int n = 0;
        for (const auto& e : fs::directory_iterator(dir)) {
            (void)e;
            ++n;
        }
        return n;
    }
};

void Paint(CRaster& image, uint8_t red)
{
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            image.WritePixelColour(x, y, RGBQUAD{uint8_t(10 * x), uint8_t(20 * y), red, 0});
}

uint8_t RedOf(const fs::path& path)
{
    CRaster back(0);
    if (!back.Load(path.c_str(), RasterFormatBMP))
        return 0;
    return back.ReadPixelColour(2, 1).rgbRed;
}

mode_t ModeOf(const fs::path& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

} // namespace

TEST(RasterSave, ReplacingAPictureKeepsItsModeAndItsLink)
{
    SaveFolder folder;
    fs::path photo = folder.dir / "photo.bmp";
    fs::path link = folder.dir / "link.bmp";
    CRaster first(3, 2, 24, 0);
    Paint(first, 100);
    ASSERT_TRUE(first.Save(photo.c_str(), RasterFormatBMP));
    ASSERT_EQ(RedOf(photo), 100);
    ASSERT_EQ(::chmod(photo.c_str(), 0600), 0);

    // Saved directly: new content, same private mode.
    CRaster second(3, 2, 24, 0);
    Paint(second, 150);
    ASSERT_TRUE(second.Save(photo.c_str(), RasterFormatBMP));
    EXPECT_EQ(RedOf(photo), 150);
    EXPECT_EQ(ModeOf(photo), 0600u);

    // Saved through a symbolic link: the link stays a link and the photo behind it changes.
    fs::create_symlink(photo.filename(), link);
    CRaster third(3, 2, 24, 0);
    Paint(third, 200);
    ASSERT_TRUE(third.Save(link.c_str(), RasterFormatBMP));
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
    EXPECT_EQ(RedOf(photo), 200);
    EXPECT_EQ(ModeOf(photo), 0600u);
    EXPECT_EQ(folder.Entries(), 2);
}

TEST(RasterSave, RefusedOrFailedSavesLeaveTheOldFile)
{
    SaveFolder folder;
    fs::path readOnly = folder.dir / "protected.bmp";
    fs::path plain = folder.dir / "plain.bmp";
    folder.Write(readOnly, "original");
    ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
    folder.Write(plain, "original");

    struct Case { const fs::path* path; int code; };
    const Case cases[] = {
        {&readOnly, RasterFormatBMP}, // a protected photo is not renamed over
        {&plain, 42},                 // no encoder
        {&plain, RasterFormatWMF},    // the encoder refuses
    };
    CRaster image(3, 2, 24, 0);
    Paint(image, 50);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path->string() + " " + std::to_string(c.code));
        EXPECT_FALSE(image.Save(c.path->c_str(), c.code));
        EXPECT_EQ(fs::file_size(*c.path), 8u);
    }
    EXPECT_EQ(ModeOf(readOnly), 0444u);
    // A folder is no picture to replace.
    EXPECT_FALSE(image.Save(folder.dir.c_str(), RasterFormatBMP));
    EXPECT_TRUE(fs::is_directory(folder.dir));
    EXPECT_EQ(folder.Entries(), 2);
}
