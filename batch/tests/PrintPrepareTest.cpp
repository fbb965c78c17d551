#include "batch/PrintPrepare.h"

#include "imaging/ColourTables.h"
#include "platform/Text.h"
#include "platform/tests/ImageFileTestUtil.h"

#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>

using testutil::TempFolder;

namespace {

platform::String16 U16(const std::string& s) { return platform::Utf8ToUtf16(s); }

struct Raw {
    ImageBuffer8 image;
    ~Raw() { FreeImageBuffer(image); }
    uint32_t At(int x, int y) const
    {
        const uint8_t* p = image.data + (size_t(y) * image.width + x) * 4;
        return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    }
};

} // namespace

TEST(PrintPrepare, OrientationAndWindows)
{
    struct Orient { int w, h, W, H, outW, outH; };
    const Orient orients[] = {
        { 3000, 2000, 1200, 1800, 1800, 1200 }, // a landscape photo on a 4 x 6 inch item
        { 2000, 3000, 1200, 1800, 1200, 1800 },
        { 2000, 3000, 1800, 1200, 1200, 1800 },
        { 2000, 2000, 1800, 1200, 1800, 1200 }, // a square photo keeps the item's
        { 3000, 2000, 1800, 1800, 1800, 1800 },
    };
    for (const Orient& o : orients) {
        int W = o.W, H = o.H;
        OrientPrintSize(o.w, o.h, W, H);
        EXPECT_EQ(W, o.outW);
        EXPECT_EQ(H, o.outH);
    }

    struct Case { const char* why; int w, h, W, H, mode; PrintWindow win; };
    const Case cases[] = {
        { "crop to fill keeps rows 167 to 1833", 3000, 2000, 1800, 1000, kPrintCropFill, { 0, 167, 3000, 1666 } },
        { "crop to fill of a wider photo keeps middle columns", 3000, 1000, 1800, 1000, kPrintCropFill, { 600, 0, 1800, 1000 } },
        { "same proportions keep everything", 3000, 2000, 1800, 1200, kPrintCropFill, { 0, 0, 3000, 2000 } },
        { "fit pads 500 white columns each side", 2000, 3000, 1800, 1800, kPrintCropBorder, { -500, 0, 3000, 3000 } },
        { "fit pads rows of a wide photo", 3000, 1000, 1800, 1200, kPrintCropBorder, { 0, -500, 3000, 2000 } },
        { "smart crop height at full width", 3000, 2000, 1800, 1000, kPrintCropSmart, { 0, 0, 3000, 1666 } },
        { "smart crop width at full height", 3000, 1000, 1800, 1000, kPrintCropSmart, { 0, 0, 1800, 1000 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(ComputePrintWindow(c.w, c.h, c.W, c.H, c.mode), c.win);
    }
}

TEST(PrintPrepare, EdgeProfilesAndBestWindow)
{
    // Detail only at the right edge: a bright band in the last four columns.
    Plane8 grey;
    ASSERT_TRUE(AllocPlane8(grey, 40, 10));
    std::memset(grey.data, 100, grey.byteSize);
    for (int y = 0; y < 10; ++y)
        for (int x = 36; x < 40; ++x)
            grey.data[y * 40 + x] = 255;
    std::vector<uint8_t> rows, columns;
    ComputeEdgeProfiles(grey, rows, columns);
    FreePlane8(grey);
    ASSERT_EQ(columns.size(), 40u);
    ASSERT_EQ(rows.size(), 10u);
    EXPECT_EQ(columns[0], 0);   // border
    EXPECT_EQ(columns[10], 0);  // flat
    EXPECT_EQ(columns[35], 255 * 8 / 10); // rows 1 to 8 see the step, the border rows do not
    EXPECT_EQ(columns[36], 255 * 8 / 10);
    EXPECT_EQ(columns[37], 0);
    EXPECT_EQ(rows[0], 0);
    EXPECT_GT(rows[5], 0);
    EXPECT_EQ(BestWindowStart(columns, 20), 17); // the first window that holds the whole edge

    struct Case { std::vector<uint8_t> profile; int length; int start; };
    const Case cases[] = {
        { { 0, 0, 0, 0 }, 2, 0 },          // all sums 0: the start
        { { 1, 5, 5, 1 }, 2, 1 },
        { { 5, 0, 0, 5 }, 1, 0 },          // a later start must be strictly larger
        { { 1, 2, 3 }, 3, 0 },             // the whole profile
        { { 1, 2, 3 }, 5, 0 },
    };
    for (const Case& c : cases)
        EXPECT_EQ(BestWindowStart(c.profile, c.length), c.start);
}

TEST(PrintPrepare, PreparesPicturesAndReportsFailures)
{
    BuildGammaTables(); // as the program does at start-up
    TempFolder dir;
    const std::string landscape = dir / "land.png", portrait = dir / "port.png";
    ASSERT_TRUE(testutil::Convert("-size 300x200 xc:#204060", landscape));
    ASSERT_TRUE(testutil::Convert("-size 200x300 xc:#204060", portrait));
    // Detail at the right edge only: the smart crop keeps it.
    const std::string detail = dir / "detail.png";
    ASSERT_TRUE(testutil::Convert("-size 300x100 xc:gray50 -fill white -draw 'rectangle 285,0 299,99' "
                                  "-fill black -draw 'rectangle 290,0 294,99'", detail));
    PrintPhoto pl{ U16(landscape) }, pp{ U16(portrait) }, pd{ U16(detail) }, bad{ U16(dir / "missing.png") };

    CPrintPrepare prep;
    prep.items = {
        { &pl, {}, 120, 180, kPrintCropFill, 0 },   // turned to 180 x 120
        { &pl, {}, 90, 90, kPrintCropFill, 0 },     // the same photo, reused
        { &pp, {}, 180, 180, kPrintCropBorder, 1 }, // white borders left and right
        { &pd, {}, 100, 100, kPrintCropSmart, 2 },
    };
    ASSERT_EQ(prep.Run(), 1);
    EXPECT_EQ(prep.failingIndex, -1);
    struct Expect { int w, h; };
    const Expect sizes[] = { { 180, 120 }, { 90, 90 }, { 180, 180 }, { 100, 100 } };
    std::vector<Raw> pictures(4);
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        ASSERT_FALSE(prep.items[i].tempPath.empty());
        ASSERT_TRUE(ReadRawImage8(pictures[i].image, prep.items[i].tempPath.c_str()));
        EXPECT_EQ(pictures[i].image.width, sizes[i].w);
        EXPECT_EQ(pictures[i].image.height, sizes[i].h);
    }
    EXPECT_NE(prep.items[0].tempPath, prep.items[1].tempPath);
    // Fit with a border: 50 of 300 columns each side are white, 30 of 180 after resampling.
    EXPECT_EQ(pictures[2].At(5, 90), 0xFFFFFFu);
    EXPECT_EQ(pictures[2].At(174, 90), 0xFFFFFFu);
    EXPECT_NE(pictures[2].At(90, 90), 0xFFFFFFu);
    // The smart window holds the bright and dark bars of the right edge.
    bool sawWhite = false, sawBlack = false;
    for (int x = 0; x < 100; ++x) {
        sawWhite |= pictures[3].At(x, 50) > 0xE0E0E0u;
        sawBlack |= (pictures[3].At(x, 50) & 0xFF) < 0x20;
    }
    EXPECT_TRUE(sawWhite && sawBlack);

    // Finding a prepared picture by photo and size, in either orientation.
    PrintPhoto samePath{ U16(landscape) };
    EXPECT_EQ(prep.FindItem(&pl, 180, 120), prep.items[0].tempPath.c_str());
    EXPECT_EQ(prep.FindItem(&samePath, 120, 180), prep.items[0].tempPath.c_str());
    EXPECT_EQ(prep.FindItem(&pl, 180, 180), nullptr);
    PrintPhoto otherCase{ U16(dir / "LAND.png") };
    EXPECT_EQ(prep.FindItem(&otherCase, 180, 120), nullptr);

    const std::vector<platform::String16> made = { prep.items[0].tempPath, prep.items[3].tempPath };
    prep.DeleteTempFiles();
    for (const auto& p : made)
        EXPECT_FALSE(std::filesystem::exists(platform::Utf16ToUtf8(p)));

    // An unreadable photo fails its first item; the job tells which.
    CPrintPrepare failing;
    failing.items = { { &pl, {}, 60, 60, kPrintCropFill, 0 }, { &bad, {}, 60, 60, kPrintCropFill, 1 },
                      { &pl, {}, 30, 30, kPrintCropFill, 2 } };
    EXPECT_EQ(failing.Run(), 0);
    EXPECT_EQ(failing.failingIndex, 1);
    failing.DeleteTempFiles();
}
