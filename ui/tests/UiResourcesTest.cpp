// UI resources: loading the pictures and strips, frame counting in the icon strip, the two
// folder rules, the hand cursor, and the start-up of theAppResources on good and damaged data.
#include "ui/UiResources.h"
#include "ui/UiSeams.h"

#include "imaging/ImageCodec/ImageLoad.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "platform/tests/TestFolder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using platform::test::TestFolder;

namespace {

const std::string kBuiltProgram = std::string(ZENDRA_BINARY_DIR) + "/zendra";

String16 BuiltProgram()
{
    return platform::Utf8ToUtf16(kBuiltProgram);
}

// A copy of the built program folder's basic pictures and string table, to damage at will.
void CopyBasicFolder(const String16& to)
{
    String16 from = platform::JoinPath(BuiltProgram(), u"basic");
    String16 dest = platform::JoinPath(to, u"basic");
    ASSERT_TRUE(platform::CreateFolders(dest));
    std::vector<platform::FileInfo> files;
    ASSERT_TRUE(platform::ListFolder(from, u"*", files)) << "build the zendra_resources target";
    for (const platform::FileInfo& f : files) {
        if (!f.isDirectory) {
            ASSERT_TRUE(platform::CopyFile(platform::JoinPath(from, f.name), platform::JoinPath(dest, f.name), false));
        }
    }
}

void WritePng(const String16& path, int width, int height)
{
    ImageBuffer8 im;
    ASSERT_TRUE(AllocImage8(im, width, height));
    for (uint32_t i = 0; i < im.byteSize; ++i)
        im.data[i] = uint8_t(i * 7);
    ASSERT_TRUE(CodecSaveImage8(im, path.c_str(), true));
    FreeImageBuffer(im);
}

std::vector<platform::Rect> OneMonitor()
{
    return {{0, 0, 1920, 1080}};
}

} // namespace

TEST(UiResourcesTest, ShippedPicturesLoadWithTheFramesWidgetsIndex)
{
    UIResources ui;
    ASSERT_EQ(ui.Load(platform::WithTrailingSeparator(BuiltProgram()), OneMonitor()), 1)
        << "build the zendra_resources target";
    // The frame numbers the widgets use: check box 0-3, expander 4-5 (5 is also the drop-down
    // mark), radio 6-9, indicators from 10 (the menu's sub-menu arrow 16, check mark 17, the
    // panel item frame 19).
    struct Part {
        IconStripPart part;
        int first, count;
    };
    const Part parts[] = {
        {IconStripPart::CheckBox, 0, 4}, {IconStripPart::Expand, 4, 2},     {IconStripPart::Ratio, 6, 4},
        {IconStripPart::Indicator, 10, 10}, {IconStripPart::MenuIcon, 20, 24}, {IconStripPart::MPanel, 44, 4},
    };
    for (const Part& p : parts) {
        SCOPED_TRACE(int(p.part));
        EXPECT_EQ(ui.FirstIconFrame(p.part), p.first);
        EXPECT_EQ(ui.IconFrameCount(p.part), p.count);
    }
    EXPECT_EQ(ui.icons.size(), 48u);
    EXPECT_EQ(ui.icons[5]->width, 16);
    EXPECT_EQ(ui.icons[17]->width, 12);
    EXPECT_EQ(ui.icons[44]->width, 40);
    // Digits 0-9 and '+', 27 rows for the progress ring's percentage.
    ASSERT_EQ(ui.digits.size(), 11u);
    EXPECT_EQ(ui.digits[10]->height, 27);
    EXPECT_EQ(ui.smallDigits.size(), 11u);
    EXPECT_EQ(ui.textBuffer.width, 1024);
    EXPECT_EQ(ui.textBuffer.height, 256);
    EXPECT_GT(ui.frame.width, 0);
    // The digit strip and the check mark are inked through their red byte: coverage in red,
    // nothing outside the glyphs.
    const ImageBuffer8& one = *ui.digits[1];
    int covered = 0;
    for (uint32_t i = 0; i < one.pixelCount; ++i) {
        EXPECT_EQ(one.data[i * 4 + 2], one.data[i * 4 + 3]);
        covered += one.data[i * 4 + 2] > 128;
    }
    EXPECT_GT(covered, 20);
}

TEST(UiResourcesTest, FrameCountingFollowsThePictures)
{
    // A check box picture 100 pixels wide gives five frames; the first expander frame is then
    // the sixth frame of the strip. A strip whose width is no multiple of its frame drops the
    // rest.
    TestFolder dir;
    CopyBasicFolder(dir.Path());
    WritePng(dir.Path(u"basic/checkbox.png"), 100, 20);
    WritePng(dir.Path(u"basic/digi.png"), 205, 27);
    UIResources ui;
    ASSERT_EQ(ui.Load(platform::WithTrailingSeparator(dir.Path()), OneMonitor()), 1);
    EXPECT_EQ(ui.IconFrameCount(IconStripPart::CheckBox), 5);
    EXPECT_EQ(ui.FirstIconFrame(IconStripPart::Expand), 5);
    EXPECT_EQ(ui.FirstIconFrame(IconStripPart::Ratio), 7);
    EXPECT_EQ(ui.digits.size(), 10u);
}

TEST(UiResourcesTest, AnyMissingOrDamagedPictureFailsTheLoad)
{
    const char16_t* names[] = {u"frame.png",    u"btn.png",      u"roundframe.png", u"tabtitlebk.png",
                               u"digi.png",     u"smalldigi.png", u"scrollbar.png", u"checkbox.png",
                               u"expand.png",   u"ratio.png",    u"indicator.png",  u"menuicon.png",
                               u"mpanel.png"};
    for (const char16_t* name : names) {
        for (int damage = 0; damage < 3; ++damage) {
            SCOPED_TRACE(platform::Utf16ToUtf8(name) + " damage " + std::to_string(damage));
            TestFolder dir;
            CopyBasicFolder(dir.Path());
            String16 path = platform::JoinPath(dir.Path(u"basic"), name);
            if (damage == 0)
                ASSERT_TRUE(platform::DeleteFile(path));
            else if (damage == 1)
                ASSERT_TRUE(platform::test::WriteText(path, "\x89PNG\r\n\x1a\n but not really"));
            else
                WritePng(path, 3, 3); // narrower than one frame of any strip
            UIResources ui;
            int expected = (damage == 2 && (StringView16(name) == u"frame.png" || StringView16(name) == u"btn.png" ||
                                            StringView16(name) == u"roundframe.png" ||
                                            StringView16(name) == u"tabtitlebk.png" ||
                                            StringView16(name) == u"scrollbar.png" ||
                                            StringView16(name) == u"digi.png" || StringView16(name) == u"smalldigi.png"))
                               ? 1 // a small single picture is still a picture; digits are looked up by bounds
                               : 0;
            EXPECT_EQ(ui.Load(platform::WithTrailingSeparator(dir.Path()), OneMonitor()), expected);
        }
    }
}

TEST(UiResourcesTest, ScreenRectangleSpansEveryMonitor)
{
    UIResources ui;
    ASSERT_EQ(ui.Load(platform::WithTrailingSeparator(BuiltProgram()),
                      {{0, 0, 1920, 1080}, {1920, -200, 3200, 824}, {0, 0, 0, 0}}),
              1);
    EXPECT_EQ(ui.screenRect, (platform::Rect{0, -200, 3200, 1080}));
    ASSERT_EQ(ui.Load(platform::WithTrailingSeparator(BuiltProgram()), {}), 1);
    EXPECT_TRUE(ui.screenRect.IsEmpty());
}

TEST(UiResourcesTest, FolderRules)
{
    UIResources ui;
    ASSERT_EQ(ui.Load(u"/opt/zendra/", OneMonitor()), 0); // nothing there; the folder is still kept
    String16 basic = ui.BasicPath(u"btn.png");
    String16 skin = ui.SkinPath(u"btn.png");
    EXPECT_EQ(basic, u"/opt/zendra/basic/btn.png");
    EXPECT_EQ(skin, u"/opt/zendra/skin/btn.png"); // two paths at once never share a buffer
}

TEST(UiResourcesTest, HandCursorReproducesTheShape)
{
    static const char* const kRows[17] = {
        "..............##................", "..........##.#oo###.............", ".........#oo##oo#oo#............",
        ".........#oo##oo#oo#.#..........", "..........#oo#oo#oo##o#.........", "..........#oo#oo#oo#oo#.........",
        "........####ooooooo#oo#.........", ".......#oo##oooooooooo#.........", ".......#ooo#ooooooooo#..........",
        "........#oooooooooooo#..........", ".........#ooooooooooo#..........", ".........#oooooooooo#...........",
        "..........#ooooooooo#...........", "...........#ooooooo#............", "............#oooooo#............",
        "............#oooooo#............", ".............######.............",
    };
    platform::CustomCursor first = BuildHandCursor();
    platform::CustomCursor second = BuildHandCursor();
    EXPECT_EQ(std::memcmp(first.andPlane, second.andPlane, 128), 0);
    EXPECT_EQ(std::memcmp(first.xorPlane, second.xorPlane, 128), 0);
    EXPECT_EQ(first.hotX, 15);
    EXPECT_EQ(first.hotY, 15);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            bool andBit = first.andPlane[y * 4 + x / 8] & (0x80 >> (x % 8));
            bool xorBit = first.xorPlane[y * 4 + x / 8] & (0x80 >> (x % 8));
            char got = andBit ? (xorBit ? '?' : '.') : (xorBit ? 'o' : '#');
            char want = (y >= 7 && y <= 23) ? kRows[y - 7][x] : '.';
            EXPECT_EQ(got, want) << "row " << y << " column " << x;
        }
}

TEST(UiResourcesTest, AppResourcesStartUp)
{
    struct Case {
        const char* name;
        void (*prepare)(const String16& folder);
        int result;
    };
    const Case cases[] = {
        {"shipped data", [](const String16&) {}, 1},
        {"no resource.txt", [](const String16& f) { ASSERT_TRUE(platform::DeleteFile(platform::JoinPath(f, u"basic/resource.txt"))); }, 0},
        {"malformed resource.txt",
         [](const String16& f) {
             const char bytes[] = "\xFF\xFE[\0S\0t\0r\0i\0n\0g\0T\0a\0b\0]\0\r\0\n\0\"\0k\0e\0y\0\"\0=\0\"\0\"\0";
             std::vector<uint8_t> data(bytes, bytes + sizeof bytes - 1);
             ASSERT_TRUE(platform::WriteWholeFileAtomic(platform::JoinPath(f, u"basic/resource.txt"), data));
         },
         0},
        {"no menu icons", [](const String16& f) { ASSERT_TRUE(platform::DeleteFile(platform::JoinPath(f, u"basic/menuicon.png"))); }, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestFolder dir;
        CopyBasicFolder(dir.Path());
        c.prepare(dir.Path());
        std::vector<String16> messages;
        static std::vector<String16>* sink;
        sink = &messages;
        SetResourceMessageSink([](StringView16 t) { sink->emplace_back(t); });
        AppResources app;
        EXPECT_EQ(app.Init(dir.Path(), OneMonitor()), c.result);
        SetResourceMessageSink(nullptr);
        // The failure text is always there, even when the table could not be read.
        String16 failure = app.InitFailureText();
        EXPECT_TRUE(failure == u"Can not init application." || failure == u"Error init string") << platform::Utf16ToUtf8(failure);
        if (c.result) {
            EXPECT_EQ(String16(app.table.LookupText(u"errmem")), u"Not enough memory.");
            EXPECT_EQ(String16(app.table.LookupText(u"dlgSettings")), u"Settings");
            EXPECT_TRUE(app.hasCursor);
            EXPECT_FALSE(app.log.IsOn());
            EXPECT_EQ(app.programFolder.back(), u'/');
        }
    }
}

TEST(UiResourcesTest, LogpathSwitchesTheLogOn)
{
    TestFolder dir;
    CopyBasicFolder(dir.Path());
    String16 logPath = dir.Path(u"run.log");
    ASSERT_TRUE(platform::test::WriteText(logPath, "previous run\r\n"));
    // resource.txt with a "logpath" entry appended.
    std::vector<uint8_t> bytes;
    String16 table = dir.Path(u"basic/resource.txt");
    ASSERT_TRUE(platform::ReadWholeFile(table, bytes));
    String16 line = u"\r\n\"logpath\"=\"" + logPath + u"\"\r\n";
    for (char16_t ch : line) {
        bytes.push_back(uint8_t(ch & 0xFF));
        bytes.push_back(uint8_t(ch >> 8));
    }
    ASSERT_TRUE(platform::WriteWholeFileAtomic(table, bytes));
    AppResources app;
    ASSERT_EQ(app.Init(dir.Path(), OneMonitor()), 1);
    EXPECT_TRUE(app.log.IsOn());
    std::string text = platform::test::ReadText(logPath);
    size_t first = text.find(" Image resource loaded.\r\n");
    size_t second = text.find(" Resource loaded.\r\n");
    ASSERT_NE(first, std::string::npos) << text;
    EXPECT_GE(first, 8u);
    EXPECT_GT(second, first);
    EXPECT_EQ(text.find("previous run"), std::string::npos);
}

namespace {

// cursor150.png: a 32 x 32 picture with a white pixel at (1, 0), a black one at (2, 0), a
// half-transparent one at (3, 0); cursor151.png has the wrong size.
int CursorPictures(UiImageFolder folder, const char16_t* name, ImageBuffer8& out)
{
    const String16 n = name;
    if (folder != UiImageFolder::Basic || (n != u"cursor150.png" && n != u"cursor151.png"))
        return 0;
    const int side = n == u"cursor150.png" ? 32 : 16;
    if (!AllocImage8(out, side, side))
        return 0;
    std::memset(out.data, 0, out.byteSize);
    auto set = [&](int x, uint8_t grey, uint8_t alpha) {
        uint8_t* p = out.data + size_t(x) * 4;
        p[0] = p[1] = p[2] = grey;
        p[3] = alpha;
    };
    set(1, 250, 255);
    set(2, 10, 255);
    set(3, 250, 100);
    return 1;
}

} // namespace

TEST(ProgramCursor, PicturesBecomeMaskAndColourPlanesWithTheCallersHotSpot)
{
    SetUiImageSource(CursorPictures);
    platform::CustomCursor c;
    ASSERT_EQ(LoadProgramCursor(150, 16, 15, c), 1);
    EXPECT_EQ(c.andPlane[0], 0xFF & ~0x60) << "pixels 1 and 2 are drawn, 0 and 3 transparent";
    EXPECT_EQ(c.xorPlane[0], 0x40) << "pixel 1 is white, pixel 2 black";
    EXPECT_EQ(c.andPlane[4], 0xFF) << "the second row is empty";
    EXPECT_EQ(c.hotX, 16);
    EXPECT_EQ(c.hotY, 15);

    platform::CustomCursor kept = c;
    EXPECT_EQ(LoadProgramCursor(151, 0, 0, c), 0) << "16 x 16 is no cursor picture";
    EXPECT_EQ(LoadProgramCursor(152, 0, 0, c), 0) << "missing";
    EXPECT_EQ(std::memcmp(&c, &kept, sizeof c), 0) << "a failure leaves the cursor";
    SetUiImageSource(nullptr);
    ResetSharedUiImages();
}
