#include "imaging/ProjectFile.h"

#include "imaging/ColourTables.h"
#include "imaging/DocStream.h"
#include "imaging/DocumentUi.h"
#include "imaging/ImageCodec/ImageInfo.h"

#include "DocumentTestUtil.h"
#include "imaging/PsdWriter.h"
#include "platform/tests/ImageFileTestUtil.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iterator>

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

// Project and layered PSD files are replaced like photos: never a read-only file, never half
// written on a full disk, and a replaced file keeps its mode and stays behind its link.
TEST_F(ProjectFileTest, ProjectAndPsdSavesReplaceFilesSafely)
{
    CZDDoc doc;
    AddOwned(doc, PatternImage16(4, 3), u"bg");
    std::vector<uint8_t> bgra(64 * 64 * 4, 0x80);
    struct Saver {
        const char* name;
        std::function<bool(const std::u16string&)> save;
    };
    const Saver savers[] = {
        {"zdoc", [&](const std::u16string& p) { return SaveProjectFile(p, doc, nullptr) == ProjectSaveResult::Saved; }},
        {"psd", [&](const std::u16string& p) { return WritePsdLayerFile(p, bgra.data(), 64, 64) == 1; }},
    };
    namespace fs = std::filesystem;
    const std::vector<uint8_t> old = {'o', 'l', 'd'};
    auto writeOld = [&](const fs::path& p) {
        std::FILE* f = std::fopen(p.c_str(), "wb");
        ASSERT_TRUE(f);
        std::fwrite(old.data(), 1, old.size(), f);
        std::fclose(f);
    };
    auto contents = [](const fs::path& p) {
        std::vector<uint8_t> bytes;
        if (std::FILE* f = std::fopen(p.c_str(), "rb")) {
            int c;
            while ((c = std::fgetc(f)) != EOF)
                bytes.push_back(uint8_t(c));
            std::fclose(f);
        }
        return bytes;
    };
    for (const Saver& s : savers) {
        const fs::path folder = dir / s.name;
        fs::create_directories(folder);
        const fs::path target = folder / (std::string("photo.") + s.name);

        // Read-only: refused, left as it was.
        writeOld(target);
        fs::permissions(target, fs::perms::owner_read | fs::perms::group_read);
        EXPECT_FALSE(s.save(U16(target))) << s.name;
        EXPECT_EQ(contents(target), old) << s.name;
        fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

        // Full disk: the old file stays whole and no temporary file is left.
        {
            testutil::FileSizeLimit full(16);
            EXPECT_FALSE(s.save(U16(target))) << s.name;
        }
        EXPECT_EQ(contents(target), old) << s.name;
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1) << s.name;

        // Mode and link kept.
        const fs::path link = folder / (std::string("link.") + s.name);
        fs::create_symlink(target.filename(), link);
        ASSERT_TRUE(s.save(U16(link))) << s.name;
        EXPECT_TRUE(fs::is_symlink(link)) << s.name;
        EXPECT_NE(contents(target), old) << s.name;
        EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read)
            << s.name;
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2) << s.name;
    }
    CZDDoc back;
    ASSERT_EQ(OpenProjectFile(U16(dir / "zdoc" / "photo.zdoc"), back, nullptr), 1);
    EXPECT_EQ(back.LayerCount(), 1);
}
