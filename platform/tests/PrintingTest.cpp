#include "platform/Printing.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace platform;

namespace {

std::string RunCommand(const std::string& cmd)
{
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p)
        return out;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0)
        out.append(buf.data(), n);
    pclose(p);
    return out;
}

struct Ppm {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    const uint8_t* At(int x, int y) const { return &rgb[(size_t(y) * width + x) * 3]; }
};

Ppm ReadPpm(const std::string& path)
{
    Ppm img;
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxval;
    in >> magic >> img.width >> img.height >> maxval;
    in.get();
    img.rgb.resize(size_t(img.width) * img.height * 3);
    in.read(reinterpret_cast<char*>(img.rgb.data()), std::streamsize(img.rgb.size()));
    return img;
}

class PrintingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = std::filesystem::temp_directory_path() /
              ("zd-print-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        // A4, 10 mm margins left and top, 100 dpi so pages stay small.
        setup.name = "TestPrinter";
        setup.paperWidthMm = 210;
        setup.paperHeightMm = 297;
        setup.marginLeftMm = 10;
        setup.marginTopMm = 10;
        setup.printableWidthMm = 190;
        setup.printableHeightMm = 277;
        setup.dpiX = setup.dpiY = 100;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::filesystem::path dir;
    PrinterSetup setup;
};

} // namespace

TEST_F(PrintingTest, PagesBecomeAPdfOfThePaperSizeWithThePictureInPlace)
{
    FilePrintBackend backend(dir.string(), setup);
    PrintJob job;
    ASSERT_TRUE(job.Begin(backend, setup, "job"));
    // A 20 x 10 picture: left half red, right half blue (B, G, R, A bytes).
    std::vector<uint8_t> pic;
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x)
            pic.insert(pic.end(), {uint8_t(x < 10 ? 0 : 255), 0, uint8_t(x < 10 ? 255 : 0), 255});
    const std::vector<uint8_t> before = pic;
    ASSERT_TRUE(job.StartPage());
    // 200 x 100 device pixels at (100, 50) of the printable area.
    ASSERT_TRUE(job.DrawImage(pic.data(), 20, 10, 100, 50, 300, 150));
    ASSERT_TRUE(job.EndPage());
    ASSERT_TRUE(job.StartPage());
    ASSERT_TRUE(job.DrawImage(pic.data(), 20, 10, 0, 0, 20, 10));
    ASSERT_TRUE(job.EndPage());
    ASSERT_TRUE(job.End());
    EXPECT_EQ(pic, before) << "printing must not change the caller's picture";

    ASSERT_EQ(backend.Written().size(), 1u);
    const std::string pdf = backend.Written()[0];
    std::string info = RunCommand("pdfinfo '" + pdf + "'");
    int pages = 0;
    size_t pagesAt = info.find("Pages:");
    ASSERT_NE(pagesAt, std::string::npos) << info;
    std::sscanf(info.c_str() + pagesAt, "Pages: %d", &pages);
    EXPECT_EQ(pages, 2);
    double w = 0, h = 0;
    size_t at = info.find("Page size:");
    ASSERT_NE(at, std::string::npos) << info;
    ASSERT_EQ(std::sscanf(info.c_str() + at, "Page size: %lf x %lf pts", &w, &h), 2) << info;
    EXPECT_NEAR(w, 595.28, 0.1);
    EXPECT_NEAR(h, 841.89, 0.1);

    // Rendered at the device's 100 dpi, the picture sits at margin + offset.
    std::string base = (dir / "page").string();
    RunCommand("pdftoppm -r 100 -f 1 -l 1 '" + pdf + "' '" + base + "'");
    std::string ppm;
    for (auto& e : std::filesystem::directory_iterator(dir))
        if (e.path().extension() == ".ppm")
            ppm = e.path().string();
    ASSERT_FALSE(ppm.empty());
    Ppm page = ReadPpm(ppm);
    ASSERT_NEAR(page.width, 827, 1);
    ASSERT_NEAR(page.height, 1169, 1);
    const int mx = 39, my = 39; // 10 mm at 100 dpi
    struct Probe { int x, y; uint8_t r, g, b; };
    const Probe probes[] = {
        {mx + 100 + 50, my + 50 + 50, 255, 0, 0},  // inside the left half: red
        {mx + 100 + 150, my + 50 + 50, 0, 0, 255}, // right half: blue
        {mx + 100 - 5, my + 50 + 50, 255, 255, 255},
        {mx + 300 + 5, my + 50 + 50, 255, 255, 255},
        {mx + 200, my + 50 - 5, 255, 255, 255},
        {mx + 200, my + 150 + 5, 255, 255, 255},
    };
    for (const Probe& p : probes) {
        const uint8_t* px = page.At(p.x, p.y);
        EXPECT_NEAR(px[0], p.r, 8) << p.x << "," << p.y;
        EXPECT_NEAR(px[1], p.g, 8) << p.x << "," << p.y;
        EXPECT_NEAR(px[2], p.b, 8) << p.x << "," << p.y;
    }
}

TEST_F(PrintingTest, MisuseFailsWithoutWritingAJob)
{
    FilePrintBackend backend(dir.string(), setup);
    PrintJob job;
    uint8_t px[4] = {1, 2, 3, 255};
    EXPECT_FALSE(job.StartPage()) << "no job begun";
    ASSERT_TRUE(job.Begin(backend, setup, "job"));
    EXPECT_FALSE(job.DrawImage(px, 1, 1, 0, 0, 10, 10)) << "drawing outside a page";
    EXPECT_FALSE(job.End()) << "a job without pages prints nothing";
    EXPECT_TRUE(backend.Written().empty());

    PrinterSetup broken = setup;
    broken.dpiX = 0;
    EXPECT_FALSE(job.Begin(backend, broken, "job"));
}

TEST_F(PrintingTest, FileBackendKnowsOnlyItsPrinter)
{
    FilePrintBackend backend(dir.string(), setup);
    PrinterSetup got;
    EXPECT_FALSE(backend.QueryPrinter("Other", got));
    ASSERT_TRUE(backend.QueryPrinter("TestPrinter", got));
    EXPECT_EQ(got.PhysicalWidthPx(), 827);
    EXPECT_EQ(got.PhysicalHeightPx(), 1169);
}
