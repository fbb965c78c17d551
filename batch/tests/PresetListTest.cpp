#include "batch/PresetList.h"

#include "platform/Text.h"
#include "platform/tests/ImageFileTestUtil.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

using testutil::TempFolder;

namespace {

// Points the configuration folder at a test folder for the life of the object.
struct ConfigHome {
    TempFolder home, program;
    std::string old;
    bool had;
    ConfigHome()
    {
        const char* v = std::getenv("XDG_CONFIG_HOME");
        had = v != nullptr;
        old = v ? v : "";
        setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    }
    ~ConfigHome()
    {
        if (had)
            setenv("XDG_CONFIG_HOME", old.c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
    }
    std::string UserFile(const char* name) const { return home / ("config/Velmora Softwares/" + std::string(name)); }
};

std::vector<uint8_t> PresetBytes(uint16_t r, size_t records, size_t extra = 0, uint8_t base = 1)
{
    std::vector<uint8_t> b{ uint8_t(r), uint8_t(r >> 8) };
    for (size_t i = 0; i < records * r + extra; ++i)
        b.push_back(uint8_t(base + i));
    return b;
}

PresetList ListWithRecords(const PresetFileKind& kind, size_t n, const std::string& programFolder)
{
    PresetList list(kind);
    list.programFolder = platform::Utf8ToUtf16(programFolder);
    for (size_t i = 0; i < n; ++i)
        EXPECT_TRUE(list.Append(std::vector<uint8_t>(kind.recordSize, uint8_t(0xE0 + i))));
    return list;
}

} // namespace

TEST(PresetList, ReadingCases)
{
    struct Case {
        const char* why;
        PresetFileKind kind;
        std::vector<uint8_t> file;
        bool ok;
        size_t count;     // records afterwards (the list starts with 3 records)
    };
    const Case cases[] = {
        { "papersize of 72-byte records", kPaperSizePresets, PresetBytes(72, 2), true, 2 },
        { "jpgsave of 2433-byte records is refused", kJpegSavePresets, PresetBytes(2433, 1), false, 3 },
        { "2 and a half records", kLockRatioPresets, PresetBytes(72, 2, 36), true, 2 },
        { "exact size", kGpsNamePresets, PresetBytes(344, 3), true, 3 },
        { "one byte: no whole record", kPaperSizePresets, { 50 }, true, 0 },
        { "one byte above the size", kLockRatioPresets, { 73 }, false, 3 },
        { "size field 0 ends the read", kLockRatioPresets, { 0, 0, 1, 2, 3 }, true, 0 },
        { "empty file", kLockRatioPresets, {}, true, 0 },
        { "header only", kLockRatioPresets, { 72, 0 }, true, 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        ConfigHome env;
        PresetList list = ListWithRecords(c.kind, 3, env.program.path());
        ASSERT_TRUE(list.BuildPath());
        const std::string name = platform::Utf16ToUtf8(c.kind.fileName);
        testutil::WriteAll(env.UserFile(name.c_str()), c.file);
        EXPECT_EQ(list.Load(), c.ok);
        ASSERT_EQ(list.Count(), c.count);
        if (!c.ok) {
            EXPECT_EQ(list.Record(0)[0], 0xE0); // the list kept what it held
            EXPECT_EQ(testutil::ReadAll(env.UserFile(name.c_str())), c.file); // and the file is untouched
        }
        if (c.ok && c.count) {
            const size_t r = c.file[0] | size_t(c.file[1]) << 8;
            for (size_t i = 0; i < c.count; ++i) {
                auto rec = list.Record(i);
                EXPECT_EQ(rec[0], uint8_t(1 + i * r));
                EXPECT_EQ(rec[r - 1], uint8_t(1 + i * r + r - 1));
                for (size_t k = r; k < rec.size(); ++k)
                    ASSERT_EQ(rec[k], 0) << "byte " << k << " zero-extended";
            }
        }
    }
}

TEST(PresetList, FoldersAndWriting)
{
    ConfigHome env;
    const std::string name = "papersize.set";
    // Nothing anywhere: success, the list as it was.
    PresetList list = ListWithRecords(kPaperSizePresets, 1, env.program.path());
    EXPECT_TRUE(list.Load());
    EXPECT_EQ(list.Count(), 1u);
    EXPECT_EQ(list.FilePath(), platform::Utf8ToUtf16(env.UserFile(name.c_str())));

    // The program folder's file is read while the user has none.
    testutil::WriteAll(env.program / name, PresetBytes(80, 2));
    EXPECT_TRUE(list.Load());
    EXPECT_EQ(list.Count(), 2u);
    ASSERT_TRUE(list.Append(std::vector<uint8_t>(10, 7)));
    ASSERT_TRUE(list.Save());
    auto saved = testutil::ReadAll(env.UserFile(name.c_str()));
    ASSERT_EQ(saved.size(), 2u + 3 * 80);
    EXPECT_EQ(saved[0], 80);
    EXPECT_EQ(saved[1], 0);
    EXPECT_EQ(saved[2 + 160], 7);
    EXPECT_EQ(saved[2 + 170], 0);
    EXPECT_EQ(testutil::ReadAll(env.program / name), PresetBytes(80, 2)); // never written

    // From now on the user's file is read.
    PresetList fresh(kPaperSizePresets);
    fresh.programFolder = platform::Utf8ToUtf16(env.program.path());
    EXPECT_TRUE(fresh.Load());
    EXPECT_EQ(fresh.Count(), 3u);

    // An empty list writes just the size.
    fresh.Clear();
    ASSERT_TRUE(fresh.Save());
    EXPECT_EQ(testutil::ReadAll(env.UserFile(name.c_str())), (std::vector<uint8_t>{ 80, 0 }));
    // Records longer than the list's are refused.
    EXPECT_FALSE(fresh.Append(std::vector<uint8_t>(81, 1)));
    // Saving before the path is built fails without writing anything.
    PresetList unbuilt(kJpegSavePresets);
    EXPECT_FALSE(unbuilt.Save());
}

TEST(PresetList, NoConfigurationFolder)
{
    ConfigHome env;
    // A file where the configuration folder should be: the preset folder cannot be made.
    testutil::WriteAll(env.home / "config", { 1 });
    PresetList list = ListWithRecords(kLockRatioPresets, 2, env.program.path());
    EXPECT_FALSE(list.BuildPath());
    EXPECT_FALSE(list.Load());
    EXPECT_EQ(list.Count(), 2u);
}
