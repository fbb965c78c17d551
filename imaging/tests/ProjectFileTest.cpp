#include "imaging/ProjectFile.h"

#include "imaging/ColourTables.h"
#include "imaging/DocStream.h"
#include "imaging/DocumentUi.h"
#include "imaging/ImageCodec/ImageInfo.h"

#include "DocumentTestUtil.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

std::u16string U16(const std::filesystem::path& p)
{
    std::string s = p.string();
    return std::u16string(s.begin(), s.end());
}

// Records of u32 id + u32 value, read until one fails.
struct Props : IProjectProperties {
    std::vector<uint32_t> ids;
    bool failWrite = false;
    uint32_t Count() override { return uint32_t(ids.size()); }
    int Write(CDocStream& s) override
    {
        if (failWrite)
            return 0;
        for (uint32_t id : ids)
            if (!s.WriteU32(id) || !s.WriteU32(id * 3))
                return 0;
        return 1;
    }
    int Read(CDocStream& s) override
    {
        ids.clear();
        uint32_t id, v;
        while (s.ReadU32(id) && s.ReadU32(v))
            ids.push_back(id);
        return 1;
    }
};

struct Ui : IFileDialogs, IMessageBoxes {
    std::u16string answer, lastFolder = u"/start", askedExt, askedFolder;
    std::vector<std::u16string> shown;
    bool ChooseSaveFile(const std::u16string& ext, const std::u16string& folder, std::u16string& path) override
    {
        askedExt = ext;
        askedFolder = folder;
        path = answer;
        return !answer.empty();
    }
    std::u16string GetLastPath(const std::u16string& key) override { return key == u"SaveProject" ? lastFolder : u""; }
    void SetLastPath(const std::u16string& key, const std::u16string& folder) override
    {
        if (key == u"SaveProject")
            lastFolder = folder;
    }
    void ShowError(const std::u16string& key) override { shown.push_back(key); }
};

class ProjectFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = std::filesystem::temp_directory_path() /
              (std::string("zd-project") + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        TheDocumentUi().fileDialogs = &ui;
        TheDocumentUi().messages = &ui;
    }
    void TearDown() override
    {
        TheDocumentUi() = DocumentUi{};
        std::filesystem::remove_all(dir);
    }
    std::filesystem::path dir;
    Ui ui;
};

} // namespace

TEST_F(ProjectFileTest, SaveAndOpenWithProperties)
{
    CZDDoc doc;
    AddOwned(doc, PatternImage16(6, 4), u"bg");
    doc.selection = PatternPlane(6, 4);
    Props props;
    props.ids = {271, 272, 40961};
    auto path = dir / "a.zdoc";
    ASSERT_EQ(SaveProjectFile(U16(path), doc, &props), ProjectSaveResult::Saved);

    CZDDoc back;
    Props read;
    ASSERT_EQ(OpenProjectFile(U16(path), back, &read), 1);
    EXPECT_EQ(read.ids, props.ids);
    EXPECT_EQ(back.LayerCount(), 1);
    EXPECT_TRUE(SamePlane(back.selection, doc.selection));

    CDocFileStream raw;
    ASSERT_TRUE(raw.Open(U16(path), CDocFileStream::Mode::Read));
    uint32_t count = 0;
    raw.ReadU32(count);
    EXPECT_EQ(count, 3u);
    uint8_t header[12];
    raw.Read(header, 12);
    EXPECT_EQ(header[1], 12) << "the document stream follows the count";

    EXPECT_EQ(OpenProjectFile(U16(dir / "missing.zdoc"), back, &read), 0);
}

TEST_F(ProjectFileTest, FailedSavesLeaveNoFileAndSayWhy)
{
    CZDDoc doc;
    AddOwned(doc, PatternImage16(3, 3), u"bg");
    Props bad;
    bad.failWrite = true;
    bad.ids = {1};

    ui.answer = U16(dir / "broken.zdoc");
    EXPECT_EQ(SaveProjectWithDialog(doc, &bad), 0);
    EXPECT_EQ(ui.askedExt, u"zdoc");
    EXPECT_EQ(ui.askedFolder, u"/start");
    EXPECT_FALSE(std::filesystem::exists(dir / "broken.zdoc"));
    EXPECT_TRUE(std::filesystem::is_empty(dir)) << "no temporary file left";

    ui.answer = U16(dir / "no-such-folder" / "x.zdoc");
    EXPECT_EQ(SaveProjectWithDialog(doc, nullptr), 0);
    ASSERT_EQ(ui.shown.size(), 2u);
    EXPECT_EQ(ui.shown[0], u"ErrorSave");
    EXPECT_EQ(ui.shown[1], u"Cannotopenfile");

    doc.layers[0]->x = 1 << 20; // cannot be stored: the save fails rather than write it
    ui.answer = U16(dir / "offset.zdoc");
    EXPECT_EQ(SaveProjectWithDialog(doc, nullptr), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "offset.zdoc"));

    doc.layers[0]->x = 0;
    ui.answer = U16(dir / "good.zdoc");
    EXPECT_EQ(SaveProjectWithDialog(doc, nullptr), 1);
    EXPECT_TRUE(std::filesystem::exists(dir / "good.zdoc"));
    EXPECT_EQ(ui.lastFolder, U16(dir));

    ui.answer.clear();
    EXPECT_EQ(SaveProjectWithDialog(doc, nullptr), 0) << "cancelled";
}


TEST_F(ProjectFileTest, PhotoMetadataRecordsTravelWithTheProject)
{
    CZDDoc doc;
    AddOwned(doc, PatternImage16(4, 3), u"bg");
    ImageInfo info;
    ASSERT_TRUE(info.AddProperty(271, 2, reinterpret_cast<const uint8_t*>("Zcam"), 5));
    const uint8_t iso[] = {0x90, 0x01};
    ASSERT_TRUE(info.AddProperty(34855, 3, iso, 2));
    std::vector<uint8_t> note(700, 0x3C);
    ASSERT_TRUE(info.AddProperty(37500, 7, note.data(), uint32_t(note.size())));
    ImageInfoProperties props(info);
    auto path = dir / "meta.zdoc";
    ASSERT_EQ(SaveProjectFile(U16(path), doc, &props), ProjectSaveResult::Saved);

    CZDDoc back;
    ImageInfo readInfo;
    ImageInfoProperties readProps(readInfo);
    ASSERT_EQ(OpenProjectFile(U16(path), back, &readProps), 1);
    EXPECT_EQ(back.LayerCount(), 1);
    ASSERT_EQ(readInfo.properties.size(), 3u);
    EXPECT_EQ(readInfo.isoSpeedRatings, 400);
    EXPECT_EQ(readInfo.properties[2]->length, 700u);
    EXPECT_EQ(readInfo.properties[2]->Value()[699], 0x3C);

    CDocFileStream raw;
    ASSERT_TRUE(raw.Open(U16(path), CDocFileStream::Mode::Read));
    uint32_t count = 0;
    ASSERT_TRUE(raw.ReadU32(count));
    EXPECT_EQ(count, 3u);
}

TEST_F(ProjectFileTest, FailedSaveOverAProjectKeepsTheOldOne)
{
    CZDDoc doc;
    AddOwned(doc, PatternImage16(4, 3), u"bg");
    auto path = dir / "kept.zdoc";
    ASSERT_EQ(SaveProjectFile(U16(path), doc, nullptr), ProjectSaveResult::Saved);
    const auto size = std::filesystem::file_size(path);

    Props bad;
    bad.failWrite = true;
    bad.ids = {1};
    AddOwned(doc, PatternImage16(2, 2), u"more");
    EXPECT_EQ(SaveProjectFile(U16(path), doc, &bad), ProjectSaveResult::WriteFailed);
    EXPECT_EQ(std::filesystem::file_size(path), size);
    CZDDoc back;
    ASSERT_EQ(OpenProjectFile(U16(path), back, nullptr), 1);
    EXPECT_EQ(back.LayerCount(), 1) << "the earlier save still opens";
    EXPECT_FALSE(std::filesystem::exists(dir / "kept.zdoc.part"));
}
