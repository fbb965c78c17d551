// File names as Linux has them: a backslash is a character of a name, and a name need not be
// valid UTF-8. Every reader and writer must reach exactly the file named, never a neighbour
// whose name differs by those characters, and never write under a changed name.
#include "imaging/ColourTables.h"
#include "imaging/Document.h"
#include "imaging/ImageBuffer.h"
#include "imaging/ImageCodec/ImageInfo.h"
#include "imaging/ImageCodec/ImageLoad.h"
#include "imaging/ImageCodec/JpegWriter.h"
#include "imaging/ProjectFile.h"

#include "imaging/tests/DngBuilder.h"
#include "platform/Path.h"
#include "platform/tests/ImageFileTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace testutil;

namespace {

struct Image8 : ImageBuffer8 {
    ~Image8() { FreeImageBuffer(*this); }
    const uint8_t* At(int x, int y) const { return data + (size_t(y) * width + x) * 4; }
};

// The folder's entries as raw bytes, sorted.
std::vector<std::string> Names(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::u16string Program(const std::string& native) { return platform::FromNativePath(native); }

} // namespace

TEST(FileNames, ABackslashNamesItsOwnFileNotTheOneInAFolder)
{
    // "a\b.jpg" beside the folder "a" holding "b.jpg": on Linux two different files.
    TempFolder dir;
    std::filesystem::create_directory(dir / "a");
    const std::string inFolder = dir / "a/b.jpg";
    const std::string backslash = dir / "a\\b.jpg";
    ASSERT_TRUE(Convert("-size 32x16 xc:red", inFolder));
    ASSERT_TRUE(Convert("-size 32x16 xc:blue", backslash));
    const std::vector<uint8_t> untouched = ReadAll(inFolder);
    const std::u16string path = Program(backslash);

    Image8 picture;
    ASSERT_EQ(LoadImage8(path.c_str(), picture), 1);
    EXPECT_GT(picture.At(3, 3)[0], 200) << "blue, the file of that name";
    EXPECT_LT(picture.At(3, 3)[2], 50);

    ImageInfo info;
    ASSERT_EQ(info.ReadFile(path.c_str()), 1);
    EXPECT_EQ(std::u16string(info.fileName), u"a\\b.jpg");
    info.artist = new char16_t[4] { u'A', u'n', u'n', 0 };
    EXPECT_EQ(SaveImageProperties(path.c_str(), info), 1);
    EXPECT_EQ(ExifTool("-Artist", backslash), "Ann");
    EXPECT_EQ(RotateJpegLossless(path.c_str(), 1), 1);
    EXPECT_EQ(ExifTool("-ImageWidth", backslash), "16");
    EXPECT_EQ(ReadAll(inFolder), untouched) << "the file in the folder is another file";

    BuildGammaTables();
    CZDDoc doc;
    ASSERT_EQ(doc.OpenImage(path), 1);
    EXPECT_EQ(std::u16string(doc.layers[0]->name), u"a\\b.jpg");
    EXPECT_EQ(std::u16string(doc.path), path);
    ASSERT_EQ(SaveProjectFile(Program(dir / "a\\p.zdoc"), doc, nullptr), ProjectSaveResult::Saved);
    EXPECT_TRUE(std::filesystem::exists(dir / "a\\p.zdoc"));
    EXPECT_FALSE(std::filesystem::exists(dir / "a/p.zdoc"));
}

TEST(FileNames, NamesThatAreNoUtf8OpenAndAreWrittenUnderTheirOwnBytes)
{
    // Latin-1 names, as old cameras, archives and Windows shares leave them.
    TempFolder dir;
    const std::string jpeg = dir / "caf\xE9.jpg";
    const std::string png = dir / "\xFCml\xE4ut.png";
    const std::string raw = dir / "r\xE9sum\xE9.dng";
    ASSERT_TRUE(Convert("-size 32x16 xc:lime", jpeg));
    ASSERT_TRUE(Convert("-size 8x6 xc:red", png));
    DngSpec dng;
    ASSERT_TRUE(WriteDng(raw, dng));
    const std::vector<std::string> before = Names(dir.path());

    // Reading: whole, as a thumbnail, the file facts (shown with a replacement character).
    for (const std::string& native : { jpeg, png }) {
        SCOPED_TRACE(native);
        const std::u16string path = Program(native);
        Image8 whole, thumb;
        EXPECT_EQ(LoadImage8(path.c_str(), whole), 1);
        EXPECT_GE(LoadThumbnail(path.c_str(), 8, thumb, false), 1);
        ImageInfo info;
        ASSERT_EQ(info.ReadFile(path.c_str()), 1);
        EXPECT_EQ(std::u16string(info.fileName), platform::DisplayPath(platform::FileNamePart(path)));
        EXPECT_NE(std::u16string(info.fileName).find(u'\uFFFD'), std::u16string::npos);
    }
    BuildGammaTables();
    for (const std::string& native : { jpeg, png, raw }) {
        SCOPED_TRACE(native);
        CZDDoc doc;
        ASSERT_EQ(doc.OpenImage(Program(native)), 1);
        EXPECT_NE(std::u16string(doc.layers[0]->name).find(u'\uFFFD'), std::u16string::npos);
        EXPECT_EQ(platform::ToNativePath(doc.path), native) << "the document keeps the real name";
    }

    // Writing back: metadata, a lossless turn, a new picture, a project file; every file keeps
    // its bytes and no file with U+FFFD (or any other new name) appears.
    const std::u16string jpegPath = Program(jpeg);
    ImageInfo info;
    ASSERT_EQ(info.ReadFile(jpegPath.c_str()), 1);
    info.artist = new char16_t[4] { u'B', u'e', u'a', 0 };
    EXPECT_EQ(SaveImageProperties(jpegPath.c_str(), info), 1);
    EXPECT_EQ(ExifTool("-Artist", jpeg), "Bea");
    EXPECT_EQ(RotateJpegLossless(jpegPath.c_str(), 1), 1);
    EXPECT_EQ(ExifTool("-ImageWidth", jpeg), "16");
    Image8 picture;
    ASSERT_EQ(LoadImage8(Program(png).c_str(), picture), 1);
    EXPECT_EQ(CodecSaveImage8(picture, Program(png).c_str(), false), 1);
    EXPECT_EQ(Names(dir.path()), before);

    const std::string project = dir / "\xE9t\xE9.zdoc";
    CZDDoc doc;
    ASSERT_EQ(doc.OpenImage(Program(png)), 1);
    ASSERT_EQ(SaveProjectFile(Program(project), doc, nullptr), ProjectSaveResult::Saved);
    EXPECT_TRUE(std::filesystem::exists(project));
    CZDDoc again;
    EXPECT_EQ(OpenProjectFile(Program(project), again, nullptr), 1);
    EXPECT_EQ(again.width, 8);
}
