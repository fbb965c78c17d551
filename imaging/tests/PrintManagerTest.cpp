#include "imaging/PrintManager.h"

#include "imaging/DocumentUi.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

namespace {

struct Dialog : IPrintSetupDialog {
    bool accept = true;
    std::vector<std::u16string> offered;
    bool ChoosePrinter(const std::vector<std::u16string>& printers, const std::u16string& pre,
                       std::u16string& chosen) override
    {
        offered = printers;
        chosen = pre;
        return accept;
    }
};

struct Ui : IMessageBoxes, IStringLookup {
    std::vector<std::u16string> shown;
    void ShowError(const std::u16string& key) override { shown.push_back(key); }
    std::u16string LookupText(const std::u16string& key) override
    {
        return key == u"zendraprtfile" ? u"Zendra print" : u"";
    }
};

class PrintManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = std::filesystem::temp_directory_path() /
              (std::string("zd-printmanage") + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        setup.name = "Office";
        setup.paperWidthMm = 210;
        setup.paperHeightMm = 297;
        setup.printableWidthMm = 200; // HORZSIZE 200
        setup.printableHeightMm = 287;
        setup.marginLeftMm = setup.marginTopMm = 5;
        setup.dpiX = setup.dpiY = 72;
        TheDocumentUi().messages = &ui;
        TheDocumentUi().strings = &ui;
    }
    void TearDown() override
    {
        TheDocumentUi() = DocumentUi{};
        std::filesystem::remove_all(dir);
    }
    std::filesystem::path dir;
    platform::PrinterSetup setup;
    Ui ui;
};

} // namespace

TEST_F(PrintManagerTest, PaperSizeAndLengthConversions)
{
    platform::FilePrintBackend backend(dir.string(), setup);
    CPrintManage pm(&backend);
    // Without a printer the scale field stands in for 100.
    pm.settings.scale = 50;
    EXPECT_NEAR(pm.TenthMmToInches(254), 254 / 50.0 / 2.54, 1e-6);
    pm.settings.scale = 0;
    EXPECT_NEAR(pm.TenthMmToInches(254), 1.0, 1e-6) << "a zero scale must not divide by zero";

    Dialog dialog;
    ASSERT_EQ(pm.SelectPrinter(&dialog), 1);
    ASSERT_EQ(dialog.offered.size(), 1u);
    EXPECT_EQ(dialog.offered[0], u"Office");
    EXPECT_EQ(pm.settings.paperWidth, 2000u);
    EXPECT_EQ(pm.settings.paperLength, 2870u);
    EXPECT_EQ(pm.settings.dpiX, 72);
    EXPECT_EQ(pm.physicalWidth, 595);
    double w = 0, h = 0;
    pm.GetPaperSizeInches(w, h);
    EXPECT_NEAR(w, 7.874, 0.0005);
    EXPECT_NEAR(h, 2870.0 / 100 / 2.5399999618530273, 1e-9);
    EXPECT_EQ(std::u16string(pm.printerName), u"Office");
}

TEST_F(PrintManagerTest, CancelAndUnusablePrintersLeaveNoPrinter)
{
    platform::FilePrintBackend backend(dir.string(), setup);
    CPrintManage pm(&backend);
    Dialog cancel;
    cancel.accept = false;
    EXPECT_EQ(pm.SelectPrinter(&cancel), 0);
    EXPECT_FALSE(pm.HasPrinter());
    EXPECT_EQ(pm.StartDocument(), 1) << "nothing to do without a printer";

    platform::PrinterSetup broken = setup;
    broken.dpiX = 0;
    platform::FilePrintBackend bad(dir.string(), broken);
    CPrintManage pm2(&bad);
    EXPECT_EQ(pm2.SelectPrinter(), 0);
    EXPECT_FALSE(pm2.HasPrinter());
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0], u"Printer does not support StretchDIBits.");
}

TEST_F(PrintManagerTest, PrintsPagesAsAJobNamedFromTheStringTable)
{
    platform::FilePrintBackend backend(dir.string(), setup);
    CPrintManage pm(&backend);
    ASSERT_EQ(pm.SelectPrinter(), 1);
    ImageBuffer8 pic;
    AllocImage8(pic, 4, 2);
    for (uint32_t i = 0; i < pic.byteSize; ++i)
        pic.data[i] = uint8_t(i * 9);
    std::vector<uint8_t> before(pic.data, pic.data + pic.byteSize);
    ASSERT_EQ(pm.StartDocument(), 1);
    ASSERT_EQ(pm.StartPage(), 1);
    EXPECT_EQ(pm.DrawImage(pic, 10, 10, 110, 60), 2);
    EXPECT_EQ(pm.DrawImage(pic, 10, 70, 110, 120), 2);
    ASSERT_EQ(pm.EndPage(), 1);
    ASSERT_EQ(pm.EndDocument(), 1);
    EXPECT_EQ(std::vector<uint8_t>(pic.data, pic.data + pic.byteSize), before)
        << "drawing twice prints the same picture: it is never turned over";
    ASSERT_EQ(backend.Written().size(), 1u);
    EXPECT_NE(backend.Written()[0].find("Zendra print"), std::string::npos);
    EXPECT_GT(std::filesystem::file_size(backend.Written()[0]), 100u);
    FreeImageBuffer(pic);
}
