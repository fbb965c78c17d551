// Rewriting a user's photo (metadata edits, lossless turns): the photo is replaced whole or
// not at all, keeps its permission bits, and a link to it stays a link.
#include "platform/ImageMetadata.h"
#include "platform/JpegTransform.h"

#include "platform/tests/ImageFileTestUtil.h"

#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace platform;
using namespace testutil;

namespace {

struct Rewriter {
    const char* name;
    std::function<bool(const std::string&)> rewrite;
};

bool AddKeyword(const std::string& path)
{
    ImageMetadata meta;
    if (!meta.ReadFile(path))
        return false;
    PropertyItem tags { 53089, kPropertyAscii, { 's', 'e', 'a', 0 } };
    return meta.Set(tags) && meta.WriteFile(path);
}

bool TurnQuarter(const std::string& path)
{
    return RotateJpegFileLossless(path, JpegTurn::Clockwise90);
}

const Rewriter kRewriters[] = {
    { "metadata", AddKeyword },
    { "turn", TurnQuarter },
};

std::string MakePhoto(const TempFolder& dir, const std::string& name, const std::string& size = "64x48")
{
    std::string path = dir / name;
    EXPECT_TRUE(Convert("-size " + size + " plasma:fractal -sampling-factor 2x2 -quality 95", path));
    EXPECT_EQ(Shell("exiftool -overwrite_original -Make=Zcam " + Quote(path)), 0);
    return path;
}

} // namespace

TEST(PhotoRewrite, KeepsPermissionBitsAndLeavesNoTemporaryFile)
{
    for (const Rewriter& r : kRewriters) {
        SCOPED_TRACE(r.name);
        TempFolder dir;
        std::string path = MakePhoto(dir, "photo.jpg");
        ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
        std::vector<uint8_t> before = ReadAll(path);

        ASSERT_TRUE(r.rewrite(path));
        EXPECT_NE(ReadAll(path), before);
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0640u);
        EXPECT_EQ(dir.CountEntries(), 1u);
    }
}

TEST(PhotoRewrite, ThroughALinkRewritesTheLinkedPhoto)
{
    for (const Rewriter& r : kRewriters) {
        SCOPED_TRACE(r.name);
        TempFolder dir;
        std::string photo = MakePhoto(dir, "photo.jpg");
        std::string link = dir / "link.jpg";
        ASSERT_EQ(::symlink("photo.jpg", link.c_str()), 0);
        std::vector<uint8_t> before = ReadAll(photo);

        ASSERT_TRUE(r.rewrite(link));
        struct stat st {};
        ASSERT_EQ(::lstat(link.c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode)); // not replaced by a copy beside the photo
        EXPECT_NE(ReadAll(photo), before);
        EXPECT_EQ(dir.CountEntries(), 2u);
    }
}

TEST(PhotoRewrite, AFailedWriteLeavesThePhotoAsItWas)
{
    for (const Rewriter& r : kRewriters) {
        SCOPED_TRACE(r.name);
        TempFolder dir;
        // Big enough that no rewrite fits under the limit below.
        std::string path = MakePhoto(dir, "photo.jpg", "256x256");
        std::vector<uint8_t> before = ReadAll(path);
        ASSERT_GT(before.size(), 20000u);
        bool written;
        {
            FileSizeLimit limit(4096);
            written = r.rewrite(path);
        }
        EXPECT_FALSE(written);
        EXPECT_EQ(ReadAll(path), before);
        EXPECT_EQ(dir.CountEntries(), 1u);
    }
}

TEST(PhotoRewrite, AReadOnlyPhotoIsLeftAlone)
{
    // The folder allows the rename, but the photo itself was protected.
    for (const Rewriter& r : kRewriters) {
        SCOPED_TRACE(r.name);
        TempFolder dir;
        std::string path = MakePhoto(dir, "photo.jpg");
        ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
        std::vector<uint8_t> before = ReadAll(path);
        EXPECT_FALSE(r.rewrite(path));
        EXPECT_EQ(ReadAll(path), before);
        EXPECT_EQ(dir.CountEntries(), 1u);
    }
}
