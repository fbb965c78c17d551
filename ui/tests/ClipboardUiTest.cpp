// The clipboard functions: blocks, pictures and file lists through the in-process clipboard,
// then the six against xclip on a private X server (the real CLIPBOARD selection).
#include "platform/Clipboard.h"
#include "platform/FileSystem.h"
#include "ui/ClipboardUi.h"

#include "platform/tests/TestFolder.h"
#include "platform/tests/TestXServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

using platform::test::ReadText;
using platform::test::TestFolder;
using platform::test::WriteText;

namespace {

ImageBuffer8 Picture3x2()
{
    ImageBuffer8 img;
    AllocImage8(img, 3, 2);
    const uint8_t px[] = {0, 0, 255, 255, 0, 255, 0, 255, 255, 0, 0, 255,
                          10, 20, 30, 255, 40, 50, 60, 128, 70, 80, 90, 1};
    std::memcpy(img.data, px, sizeof px);
    return img;
}

std::vector<std::u16string> g_asked;
int g_answer = 0;
int RecordQuestion(const platform::String16& path)
{
    g_asked.push_back(path);
    return g_answer;
}

struct InProcess {
    InProcess() { platform::SetSystemClipboard(platform::Clipboard::CreateInProcess()); }
    ~InProcess() { SetOverwriteQuestion(nullptr); }
};

} // namespace

TEST(ClipboardUi, BytesAndSizes)
{
    InProcess p;
    const uint32_t custom = platform::RegisterClipboardFormat(u"Zendra Test Block");
    EXPECT_EQ(GetClipboardDataSize(custom), 0u);
    size_t size = 99;
    EXPECT_EQ(GetClipboardBytes(custom, &size), nullptr);
    EXPECT_EQ(size, 0u);
    const uint8_t bytes[] = {1, 2, 3, 4, 5};
    ASSERT_TRUE(SetClipboardBytes(custom, bytes, sizeof bytes));
    EXPECT_EQ(GetClipboardDataSize(custom), 5u);
    auto got = GetClipboardBytes(custom, &size);
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(std::memcmp(got.get(), bytes, 5), 0);
    // A new block replaces everything.
    ASSERT_TRUE(SetClipboardBytes(platform::kCfText, "x", 2));
    EXPECT_EQ(GetClipboardDataSize(custom), 0u);
    EXPECT_FALSE(SetClipboardBytes(custom, nullptr, 4));
}

TEST(ClipboardUi, PictureIsABottomUpDib)
{
    InProcess p;
    ImageBuffer8 img = Picture3x2();
    ASSERT_TRUE(CopyImageToClipboard(img));
    size_t size = 0;
    auto dib = GetClipboardBytes(platform::kCfDib, &size);
    ASSERT_NE(dib, nullptr);
    ASSERT_EQ(size, 40u + 24u);
    int32_t w, h;
    uint16_t bits;
    std::memcpy(&w, dib.get() + 4, 4);
    std::memcpy(&h, dib.get() + 8, 4);
    std::memcpy(&bits, dib.get() + 14, 2);
    EXPECT_EQ(w, 3);
    EXPECT_EQ(h, 2);
    EXPECT_EQ(bits, 32);
    // The first row of the block is the picture's bottom row.
    EXPECT_EQ(std::memcmp(dib.get() + 40, img.data + 12, 12), 0);
    EXPECT_EQ(std::memcmp(dib.get() + 52, img.data, 12), 0);
    ImageBuffer8 empty;
    EXPECT_FALSE(CopyImageToClipboard(empty));
    FreeImageBuffer(img);
}

TEST(ClipboardUi, PasteCopiesOrMovesAndAsksBeforeReplacing)
{
    struct Case { const char* what; int copy; bool targetExists; int answer; bool sourceKept; std::string targetText; int placed; };
    const Case cases[] = {
        {"copy", 1, false, 0, true, "new", 1},
        {"cut moves", 0, false, 0, false, "new", 1},
        {"copy over, answered no", 1, true, 0, true, "old", 0},
        {"copy over, answered yes", 1, true, 1, true, "new", 1},
        {"cut over, answered no", 0, true, 0, true, "old", 0},
        {"cut over, answered yes", 0, true, 1, false, "new", 1},
    };
    for (const Case& c : cases) {
        InProcess p;
        SetOverwriteQuestion(&RecordQuestion);
        g_asked.clear();
        g_answer = c.answer;
        TestFolder from, to;
        const platform::String16 source = from.Path(u"photo.jpg"), target = to.Path(u"photo.jpg");
        ASSERT_TRUE(WriteText(source, "new"));
        if (c.targetExists) {
            ASSERT_TRUE(WriteText(target, "old"));
        }
        ASSERT_TRUE(CopyFilesToClipboard({source}, c.copy));
        EXPECT_EQ(PasteFilesFromClipboard(to.Path()), c.placed) << c.what;
        EXPECT_EQ(g_asked.size(), c.targetExists ? 1u : 0u) << c.what;
        EXPECT_EQ(platform::PathExists(source), c.sourceKept) << c.what;
        EXPECT_EQ(ReadText(target), c.targetText) << c.what;
        // The clipboard is emptied: a second paste does nothing.
        EXPECT_EQ(PasteFilesFromClipboard(to.Path()), 0) << c.what;
    }
}

TEST(ClipboardUi, PasteCopiesFoldersWhole)
{
    InProcess p;
    TestFolder from, to;
    const platform::String16 folder = from.Path(u"Trip");
    ASSERT_TRUE(platform::CreateFolders(platform::JoinPath(folder, u"day 1")));
    ASSERT_TRUE(WriteText(platform::JoinPath(folder, u"day 1/a.jpg"), "A"));
    ASSERT_TRUE(WriteText(platform::JoinPath(folder, u"b.jpg"), "B"));
    ASSERT_TRUE(CopyFilesToClipboard({folder}, 1));
    EXPECT_EQ(PasteFilesFromClipboard(to.Path()), 1);
    EXPECT_EQ(ReadText(to.Path(u"Trip/day 1/a.jpg")), "A");
    EXPECT_EQ(ReadText(to.Path(u"Trip/b.jpg")), "B");
    EXPECT_TRUE(platform::PathExists(folder));
}

// ---- the real clipboard ---------------------------------------------------------------------

namespace {

class ClipboardUiX11 : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server_.Start()) << "Xvfb";
        auto c = platform::Clipboard::CreateX11(server_.Name(), 3000);
        ASSERT_TRUE(c);
        platform::SetSystemClipboard(std::move(c));
    }
    void TearDown() override
    {
        platform::SetSystemClipboard(platform::Clipboard::CreateInProcess());
        SetOverwriteQuestion(nullptr);
    }
    std::string Sh(const std::string& command)
    {
        return testx::RunCapture("DISPLAY=" + server_.Name() + " timeout 20 " + command + " 2>/dev/null");
    }
    // xclip takes the clipboard with a file's bytes as one target; waits until we see it.
    void XclipOffers(const std::string& target, const std::string& bytes, uint32_t format)
    {
        const std::string path = folder_.Native() + "/offer.bin";
        std::ofstream(path, std::ios::binary) << bytes;
        ASSERT_TRUE(platform::SystemClipboard().Empty());
        const std::string command = "DISPLAY=" + server_.Name() + " xclip -i -selection clipboard -t '" + target +
                                    "' '" + path + "' >/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!platform::SystemClipboard().HasFormat(format) && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_TRUE(platform::SystemClipboard().HasFormat(format)) << target;
    }
    testx::XServer server_;
    TestFolder folder_;
};

} // namespace

TEST_F(ClipboardUiX11, BytesAndTextBothWaysWithXclip)
{
    const std::string text = "Gr\xc3\xbc\xc3\x9f" "e \xe5\x86\x99\xe7\x9c\x9f \xd0\x96";
    const platform::String16 wide = platform::Utf8ToUtf16(text);
    const std::vector<uint8_t> block = platform::BuildUnicodeTextBlock(wide);
    ASSERT_TRUE(SetClipboardBytes(platform::kCfUnicodeText, block.data(), block.size()));
    EXPECT_EQ(Sh("xclip -o -selection clipboard -t UTF8_STRING"), text);

    const std::string theirs = "caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac";
    XclipOffers("UTF8_STRING", theirs, platform::kCfUnicodeText);
    EXPECT_GT(GetClipboardDataSize(platform::kCfUnicodeText), 0u);
    size_t size = 0;
    auto got = GetClipboardBytes(platform::kCfUnicodeText, &size);
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(platform::ReadUnicodeTextBlock({got.get(), size}), platform::Utf8ToUtf16(theirs));
}

TEST_F(ClipboardUiX11, PictureComesOutOfXclipWithTheSamePixels)
{
    ImageBuffer8 img = Picture3x2();
    ASSERT_TRUE(CopyImageToClipboard(img));
    const std::string png = Sh("xclip -o -selection clipboard -t image/png");
    ASSERT_FALSE(png.empty());
    auto decoded = platform::DecodePicturePng({reinterpret_cast<const uint8_t*>(png.data()), png.size()});
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->width, 3);
    EXPECT_EQ(decoded->height, 2);
    EXPECT_EQ(decoded->bgra, std::vector<uint8_t>(img.data, img.data + 24));
    FreeImageBuffer(img);
}

TEST_F(ClipboardUiX11, FilesFromXclipPasteIntoAFolder)
{
    SetOverwriteQuestion(&RecordQuestion);
    struct Case { const char* what; const char* target; bool cut; bool existing; int answer; bool sourceKept; std::string result; };
    const Case cases[] = {
        {"uri list copies", "text/uri-list", false, false, 0, true, "new"},
        {"gnome cut moves", "x-special/gnome-copied-files", true, false, 0, false, "new"},
        {"overwrite asked, refused", "text/uri-list", false, true, 0, true, "old"},
        {"overwrite asked, accepted", "text/uri-list", false, true, 1, true, "new"},
    };
    for (const Case& c : cases) {
        TestFolder from, to;
        const platform::String16 source = from.Path(u"Sommer \u00e9t\u00e9.jpg");
        ASSERT_TRUE(WriteText(source, "new"));
        const platform::String16 target = to.Path(u"Sommer \u00e9t\u00e9.jpg");
        if (c.existing) {
            ASSERT_TRUE(WriteText(target, "old"));
        }
        g_asked.clear();
        g_answer = c.answer;
        std::string list = platform::BuildUriList({source});
        if (c.cut || std::string(c.target) == "x-special/gnome-copied-files")
            list = std::string(c.cut ? "cut\n" : "copy\n") + list;
        XclipOffers(c.target, list, platform::kCfHdrop);
        EXPECT_EQ(PasteFilesFromClipboard(to.Path()), c.result == "new" ? 1 : 0) << c.what;
        EXPECT_EQ(g_asked.size(), c.existing ? 1u : 0u) << c.what;
        EXPECT_EQ(ReadText(target), c.result) << c.what;
        EXPECT_EQ(platform::PathExists(source), c.sourceKept) << c.what;
    }
}

TEST_F(ClipboardUiX11, FilesWeCopyAreAUriListForOtherPrograms)
{
    TestFolder from;
    const platform::String16 a = from.Path(u"a b.jpg"), b = from.Path(u"\u5199\u771f.png");
    ASSERT_TRUE(CopyFilesToClipboard({a, b}, 0));
    const std::string list = Sh("xclip -o -selection clipboard -t text/uri-list");
    EXPECT_EQ(platform::ReadUriList(list), (std::vector<platform::String16>{a, b}));
    const std::string gnome = Sh("xclip -o -selection clipboard -t x-special/gnome-copied-files");
    EXPECT_EQ(gnome.rfind("cut", 0), 0u) << gnome;
}
