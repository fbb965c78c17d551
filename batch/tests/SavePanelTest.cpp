#include "batch/SavePanel.h"

#include "algorithms/JpegOptimize.h"
#include "dialogs/DialogSupport.h"
#include "imaging/ColourTables.h"
#include "imaging/Document.h"
#include "imaging/DocumentUi.h"
#include "imaging/ImageCodec/ImageInfo.h"
#include "imaging/ImageCodec/ImageLoad.h"
#include "imaging/ImageCodec/ImageType.h"
#include "imaging/ProjectFile.h"
#include "platform/Text.h"
#include "platform/tests/ImageFileTestUtil.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <csignal>

using namespace testutil;

namespace {

std::u16string U(const std::string& s)
{
    return platform::Utf8ToUtf16(s);
}

// The chooser answers with a typed path; "Last Path" lives in a map.
struct Chooser : IFileDialogs {
    std::u16string answer;
    std::vector<std::u16string> starts;
    std::map<std::u16string, std::u16string> last;
    bool ChooseSaveFile(const std::u16string& ext, const std::u16string& start, std::u16string& path) override
    {
        starts.push_back(start);
        if (answer.empty())
            return false;
        path = answer;
        const size_t slash = path.find_last_of(u'/'), dot = path.find_last_of(u'.');
        if (!ext.empty() && (dot == std::u16string::npos || dot < slash))
            path += u"." + ext;
        return true;
    }
    std::u16string GetLastPath(const std::u16string& key) override { return last.count(key) ? last[key] : u""; }
    void SetLastPath(const std::u16string& key, const std::u16string& folder) override { last[key] = folder; }
};

class SavePanel : public ::testing::Test {
protected:
    void SetUp() override
    {
        BuildGammaTables();
        previous = TheDocumentUi().fileDialogs;
        TheDocumentUi().fileDialogs = &chooser;
        SetDialogMessageSource([this](const char16_t* key, int, int buttons) {
            asked.push_back(key);
            return buttons == 5 ? answerYesNo : 1;
        });
    }
    void TearDown() override
    {
        SetDialogMessageSource({});
        TheDocumentUi().fileDialogs = previous;
    }
    // A photo with camera data and an EXIF thumbnail, opened as the editor opens it.
    std::string MakePhoto(const std::string& name, const char* size = "640x480", const char* picture = "plasma:fractal")
    {
        const std::string path = folder / name;
        EXPECT_TRUE(Convert(std::string("-seed 3 -size ") + size + " " + picture, path));
        EXPECT_TRUE(Convert("-size 160x120 xc:red", folder / "thumb.jpg"));
        EXPECT_EQ(Shell("exiftool -overwrite_original -Make=Testmaker -Model=T1 '-ThumbnailImage<=" +
                        folder / "thumb.jpg" + "' " + Quote(path)),
                  0);
        return path;
    }
    TempFolder folder;
    Chooser chooser;
    IFileDialogs* previous = nullptr;
    std::vector<std::u16string> asked;
    int answerYesNo = 6;
};

ImageBuffer16 Fill16(int w, int h, uint16_t b, uint16_t g, uint16_t r, uint16_t a)
{
    ImageBuffer16 image;
    AllocImage16(image, w, h);
    for (uint32_t i = 0; i < image.pixelCount; ++i) {
        image.data[i * 4] = b;
        image.data[i * 4 + 1] = g;
        image.data[i * 4 + 2] = r;
        image.data[i * 4 + 3] = a;
    }
    return image;
}

} // namespace

TEST(SavePanelTarget, PresetSizeLessMetadata)
{
    struct Case {
        int kb;
        uint32_t metadata;
        int target;
    } cases[] = {
        {200, 10000, 190},   // 204800 - 10000 = 194800 -> 190.2 KB
        {200, 256, 200},     // the bare header rounds back up
        {1, 600, 1},         // the 1 KB floor
        {4, 100000, 1},      // metadata beyond the target: the floor, never 0 or below
        {100, 0, 100},
        {2000000000, 0, 2000000000},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PresetTargetKB(c.kb, c.metadata), c.target) << c.kb << " " << c.metadata;
}

TEST_F(SavePanel, InitialFileNameAndRememberedFolders)
{
    CSaveDlg withPath(nullptr, U(folder / "trip/IMG_1.JPG"), nullptr);
    EXPECT_EQ(withPath.GetInitialFileName(u"SaveJPG"), U(folder / "trip/IMG_1"));
    chooser.last[u"SaveJPG"] = u"/elsewhere";
    EXPECT_EQ(withPath.GetInitialFileName(u"SaveJPG"), u"/elsewhere/IMG_1");
    withPath.RememberFolder(u"SavePNG", u"/out/x/photo.png");
    EXPECT_EQ(chooser.last[u"SavePNG"], u"/out/x/");
    CSaveDlg without(nullptr, u"", nullptr);
    EXPECT_EQ(without.GetInitialFileName(u"SaveJPG"), u"");
    // Types whose photo cannot be written back.
    struct Case {
        const char* name;
        int type;
    } types[] = {{"a.jpg", kImageTypeJpeg}, {"a.CR2", kImageTypeRaw}, {"a.xyz", kImageTypeOther}, {"", kImageTypeOther}};
    for (const Case& c : types)
        EXPECT_EQ(CSaveDlg(nullptr, U(c.name), nullptr).ImageType(), c.type) << c.name;
}

TEST_F(SavePanel, SaveBackKeepsExifWithoutTheOldThumbnail)
{
    const std::string photo = MakePhoto("photo.jpg");
    ASSERT_EQ(ExifTool("-Make", photo), "Testmaker");
    ASSERT_FALSE(ExifTool("-ThumbnailOffset", photo).empty());
    CZDDoc doc;
    ASSERT_EQ(doc.OpenImage(U(photo)), 1);
    ImageInfo info;
    ASSERT_EQ(info.ReadFile(U(photo).c_str()), 1);
    {
        CSaveDlg no(&doc, U(photo), &info);
        answerYesNo = 7;
        const auto before = ReadAll(photo);
        no.SaveBack();
        EXPECT_EQ(no.Result(), 0);
        EXPECT_EQ(ReadAll(photo), before) << "No leaves the photo";
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(asked[0], u"Askoverwriteorg");
    }
    answerYesNo = 6;
    CSaveDlg dlg(&doc, U(photo), &info);
    dlg.SaveBack();
    EXPECT_EQ(dlg.Result(), 1);
    EXPECT_EQ(ExifTool("-Make", photo), "Testmaker");
    EXPECT_EQ(ExifTool("-Model", photo), "T1");
    // The thumbnail of the old pixels (513, 514) and its data (20507) are gone.
    EXPECT_EQ(ExifTool("-IFD1:ThumbnailOffset -IFD1:ThumbnailLength -ThumbnailImage", photo), "");
    EXPECT_EQ(Output("identify -format '%wx%h %Q' " + Quote(photo)), "640x480 95");
    EXPECT_GT(std::stod(Output("identify -format '%[fx:standard_deviation]' " + Quote(photo))), 0.05) << "the picture";
    EXPECT_EQ(Output("identify -format '%[jpeg:sampling-factor]' " + Quote(photo)), "1x1,1x1,1x1");
    EXPECT_EQ(folder.CountEntries(), 2u) << "no temporary file stays behind";
}

TEST_F(SavePanel, SaveBackOnAFullDiskLeavesTheOriginal)
{
    const std::string photo = MakePhoto("photo.png", "200x150");
    CZDDoc doc;
    ASSERT_EQ(doc.OpenImage(U(photo)), 1);
    const auto before = ReadAll(photo);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    auto handler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 64;
    setrlimit(RLIMIT_FSIZE, &small);
    CSaveDlg dlg(&doc, U(photo), nullptr);
    dlg.SaveBack();
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, handler);
    EXPECT_EQ(dlg.Result(), 0);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1], u"ErrorSave");
    EXPECT_EQ(ReadAll(photo), before);
    EXPECT_EQ(folder.CountEntries(), 2u) << "no temporary file stays behind";
}

TEST_F(SavePanel, ProjectRoundTripThroughTheOpener)
{
    const std::string photo = MakePhoto("photo.jpg", "120x80");
    CZDDoc doc;
    ASSERT_EQ(doc.OpenImage(U(photo)), 1);
    ImageBuffer16 top = Fill16(120, 80, 0, 0xFFFF, 0, 0x8000);
    ASSERT_GE(doc.AddLayer(top, u"green"), 0);
    FreeImageBuffer(top);
    ImageInfo info;
    ASSERT_EQ(info.ReadFile(U(photo).c_str()), 1);
    chooser.answer = U(folder / "out/project");
    std::filesystem::create_directories(folder / "out");
    CSaveDlg dlg(&doc, U(photo), &info);
    dlg.SaveAsProject();
    ASSERT_EQ(dlg.Result(), 1);
    EXPECT_EQ(chooser.starts.at(0), U(folder / "photo")) << "the photo's own folder and name first";
    EXPECT_EQ(chooser.last[u"SaveProject"], U(folder / "out/"));
    CZDDoc back;
    ImageInfo backInfo;
    ImageInfoProperties props(backInfo);
    ASSERT_EQ(OpenProjectFile(U(folder / "out/project.zdoc"), back, &props), 1);
    ASSERT_EQ(back.LayerCount(), 2);
    EXPECT_EQ(back.width, 120);
    for (int l = 0; l < 2; ++l) {
        const ImageBuffer16& a = back.layers[l]->pixels;
        const ImageBuffer16& b = doc.layers[l]->pixels;
        ASSERT_EQ(a.pixelCount, b.pixelCount);
        int worst = 0;
        for (uint32_t i = 0; i < a.pixelCount * 4; ++i)
            worst = std::max(worst, std::abs(int(a.data[i]) - int(b.data[i])));
        // The document stream rounds the pixels by less than half an 8-bit step.
        EXPECT_LE(worst, 128) << "layer " << l;
        EXPECT_EQ(a.data[3], b.data[3]) << "alpha " << l;
    }
    EXPECT_EQ(backInfo.properties.size(), info.properties.size());
    EXPECT_NE(backInfo.FindProperty(0x010F), nullptr) << "Make";
}

TEST_F(SavePanel, PngOfTheCurrentLayerKeepsItsTransparency)
{
    CZDDoc doc;
    ImageBuffer16 base = Fill16(40, 30, 0xFFFF, 0, 0, 0xFFFF);
    ImageBuffer16 top = Fill16(40, 30, 0, 0, 0xFFFF, 0);
    for (int i = 0; i < 40 * 15; ++i)
        top.data[i * 4 + 3] = 0xFFFF; // the upper half opaque red, the lower half clear
    ASSERT_GE(doc.AddLayer(base, u"blue"), 0);
    ASSERT_GE(doc.AddLayer(top, u"red"), 0);
    FreeImageBuffer(base);
    FreeImageBuffer(top);
    doc.SetCurrentLayer(doc.LayerCount() - 1);
    chooser.answer = U(folder / "layer");
    CSaveDlg dlg(&doc, u"", nullptr);
    dlg.SaveAsPng();
    ASSERT_EQ(dlg.Result(), 1);
    ImageBuffer8 expected, got;
    ASSERT_EQ(ConvertImage16To8Dithered(doc.layers[1]->pixels, expected), 1);
    ASSERT_EQ(LoadImage8(U(folder / "layer.png").c_str(), got), 1);
    ASSERT_EQ(got.width, 40);
    ASSERT_EQ(got.height, 30);
    EXPECT_EQ(std::memcmp(got.data, expected.data, expected.byteSize), 0) << "the layer alone, alpha and all";
    EXPECT_EQ(got.data[(5 * 40 + 5) * 4 + 3], 255);
    EXPECT_EQ(got.data[(25 * 40 + 5) * 4 + 3], 0);
    FreeImageBuffer(expected);
    FreeImageBuffer(got);
}

TEST_F(SavePanel, LayerSaveByExtension)
{
    ImageBuffer16 layer = Fill16(16, 8, 0, 0x8000, 0xFFFF, 0x8000);
    struct Case {
        const char* typed;
        const char* written;
        const char* magic;
        bool remembered;
    } cases[] = {
        {"a.png", "a.png", "\x89PNG", true},
        {"b.PnG", "b.PnG", "\x89PNG", true},
        {"c.psd", "c.psd", "8BPS", false},
        {"d", "d.psd", "8BPS", false},
        {"e.tif", "e.tif.psd", "8BPS", false},
    };
    for (const Case& c : cases) {
        chooser.last.clear();
        chooser.answer = U(folder / c.typed);
        EXPECT_EQ(SaveLayerAs(layer, u""), 1) << c.typed;
        const auto bytes = ReadAll(folder / c.written);
        ASSERT_GE(bytes.size(), 4u) << c.typed;
        EXPECT_EQ(std::memcmp(bytes.data(), c.magic, 4), 0) << c.typed;
        EXPECT_EQ(chooser.last.count(u"SaveLayer") == 1, c.remembered) << c.typed;
    }
    // The PSD header: signature, version 1, 4 channels, height, width, depth 8, RGB.
    const auto psd = ReadAll(folder / "c.psd");
    const uint8_t header[] = {'8', 'B', 'P', 'S', 0, 1, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0, 8, 0, 0, 0, 16, 0, 8, 0, 3};
    ASSERT_GE(psd.size(), sizeof header);
    EXPECT_EQ(std::memcmp(psd.data(), header, sizeof header), 0);
    FreeImageBuffer(layer);
}

TEST_F(SavePanel, PresetRowSavesAtOnceWithinItsSize)
{
    // A user preset of 200 KB by lowering the quality, every EXIF item kept.
    const std::string config = folder / "config";
    std::filesystem::create_directories(config);
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    PresetList list(kJpegSavePresets);
    std::vector<uint8_t> record(kJpegSavePresets.recordSize, 0);
    const std::u16string name = u"Web 200 KB";
    std::memcpy(record.data(), name.data(), name.size() * 2);
    JpegSaveOptions options;
    InitJpegSaveOptions(options);
    options.quality = 95;
    options.targetPolicy = 2;
    options.targetKB = 200;
    reinterpret_cast<uint8_t*>(&options)[kJpegOptionsExifPolicy] = 2;
    std::memcpy(record.data() + kJpegPresetOptionsOffset, &options, sizeof options);
    ASSERT_TRUE(list.BuildPath());
    ASSERT_TRUE(list.Append(record));
    ASSERT_TRUE(list.Save());

    const std::string photo = MakePhoto("big.jpg", "1600x1200", "xc:gray +noise Random");
    CZDDoc doc;
    ASSERT_EQ(doc.OpenImage(U(photo)), 1);
    ImageInfo info;
    ASSERT_EQ(info.ReadFile(U(photo).c_str()), 1);
    {
        ImageBuffer8 flat;
        ASSERT_EQ(FlattenForSave(doc, flat), 1);
        int lo = 255, hi = 0;
        for (uint32_t i = 0; i < flat.pixelCount; ++i)
            lo = std::min<int>(lo, flat.data[i * 4]), hi = std::max<int>(hi, flat.data[i * 4]);
        EXPECT_LT(lo, hi) << "flattened " << lo;
        FreeImageBuffer(flat);
    }
    CSaveDlg dlg(&doc, U(photo), &info);
    ASSERT_TRUE(dlg.Presets().Load());
    ASSERT_EQ(dlg.Presets().Count(), 1u);
    chooser.answer = U(folder / "web");
    dlg.SaveAsJpeg(0);
    ASSERT_EQ(dlg.Result(), 1) << (asked.empty() ? std::string() : platform::Utf16ToUtf8(asked[0]));
    const std::string out = folder / "web.jpg";
    const size_t size = ReadAll(out).size();
    EXPECT_GT(size, 150u * 1024) << "the quality search got close to the target";
    EXPECT_LE(size, 200u * 1024);
    EXPECT_EQ(ExifTool("-Make", out), "Testmaker");
    EXPECT_EQ(chooser.last[u"SaveJPG"], U(folder.path() + "/"));
    // Cancelled chooser: nothing written, no message.
    chooser.answer.clear();
    asked.clear();
    CSaveDlg again(&doc, U(photo), &info);
    ASSERT_TRUE(again.Presets().Load());
    again.SaveAsJpeg(0);
    EXPECT_EQ(again.Result(), 0);
    EXPECT_TRUE(asked.empty());
    unsetenv("XDG_CONFIG_HOME");
}
