#include "batch/JpegSaveDialog.h"

#include "batch/JpegPresets.h"
#include "batch/SavePanel.h"
#include "dialogs/SliderDialogSupport.h"
#include "imaging/DocumentUi.h"
#include "imaging/ImageCodec/ImageInfo.h"
#include "platform/tests/ImageFileTestUtil.h"
#include "ui/Button.h"
#include "ui/CheckBox.h"
#include "ui/StringTable.h"
#include "imaging/ImageCodec/ImageLoad.h"
#include "ui/UiSeams.h"

#include "dialogs/tests/DialogTestSupport.h"

#include <filesystem>
#include <map>

using namespace dialogtest;
using namespace testutil;

namespace {

std::u16string U(const std::string& s)
{
    return platform::Utf8ToUtf16(s);
}

JpegSaveOptions Options(int quality, uint8_t policy = 0, int targetKB = 0)
{
    JpegSaveOptions o;
    InitJpegSaveOptions(o);
    o.quality = quality;
    o.targetPolicy = policy;
    o.targetKB = targetKB;
    return o;
}

const uint8_t* Bytes(const JpegSaveOptions& o)
{
    return reinterpret_cast<const uint8_t*>(&o);
}

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
        if (path.find(u'.', path.find_last_of(u'/') + 1) == std::u16string::npos)
            path += u"." + ext;
        return true;
    }
    std::u16string GetLastPath(const std::u16string& key) override { return last.count(key) ? last[key] : u""; }
    void SetLastPath(const std::u16string& key, const std::u16string& folder) override { last[key] = folder; }
};

} // namespace

// ---- preset records ------------------------------------------------------------------------

TEST(JpegPresets, StoredRecordClearsWhatBelongsToOneRun)
{
    JpegSaveOptions o = Options(77, 2, 300);
    o.deriveTable = 1;
    o.deblock = 1;
    o.smoothing = 40;
    o.outputFlags = 6;
    o.reserved9 = 1;
    o.limitMode = 3;
    o.limitValue = 1600;
    std::u16string path = u"/tmp/x.jpg";
    std::copy(path.begin(), path.end(), o.path);
    o.sourceSlot = 0x1122334455667788ull;
    o.workSlot = 7;
    o.callers[0] = 9;
    const std::vector<uint8_t> r = MakeJpegPresetRecord(u"An overly long preset name that goes on", o);
    ASSERT_EQ(r.size(), 2432u);
    EXPECT_EQ(JpegPresetName(r), u"An overly long preset name that");
    EXPECT_EQ(r[62] | r[63], 0) << "the name keeps its terminator";
    const uint8_t* opt = r.data() + 64;
    struct Byte {
        size_t offset;
        int value;
    } kept[] = {{0, 2}, {4, 77}, {8, 2}, {9, 1}, {10, 0}, {11, 1}, {12, 0}, {16, 3}, {20, 1600 & 0xFF}, {21, 1600 >> 8},
                {24, 2}, {28, 300 & 0xFF}, {29, 300 >> 8}, {32, 0}, {34, 0}};
    for (const Byte& b : kept)
        EXPECT_EQ(opt[b.offset], b.value) << "offset " << b.offset;
    for (size_t i = 2088; i < 2368; ++i)
        ASSERT_EQ(opt[i], 0) << "slot byte " << i;
}

TEST(JpegPresets, DuplicatesIgnoreTheSlotsAndRunFieldsAndTheListStopsAt100)
{
    PresetList list(kJpegSavePresets);
    JpegSaveOptions a = Options(80, 2, 200);
    // A record from a file whose slots hold old pointers is still the same preset.
    std::vector<uint8_t> fromFile = MakeJpegPresetRecord(u"Web", a);
    for (size_t i = 64 + 2088; i < 64 + 2104; ++i)
        fromFile[i] = uint8_t(i);
    ASSERT_TRUE(list.Append(fromFile));
    JpegSaveOptions run = a;
    run.smoothing = 30; // blur and the adaptive table are not kept, so they do not tell presets apart
    run.deriveTable = 1;
    run.outputFlags = 6;
    run.sourceSlot = 42;
    EXPECT_EQ(FindSameJpegPreset(list, run), 0);
    EXPECT_EQ(FindSameJpegPreset(list, Options(81, 2, 200)), -1);

    // Other letter case: the settings change, the preset keeps its own name.
    size_t index = 9;
    EXPECT_EQ(StoreJpegPreset(list, u"wEB", Options(60), &index), JpegPresetStore::Replaced);
    EXPECT_EQ(index, 0u);
    EXPECT_EQ(list.Count(), 1u);
    EXPECT_EQ(JpegPresetName(list.Record(0)), u"Web");
    JpegSaveOptions back;
    ASSERT_TRUE(ReadJpegPresetOptions(list.Record(0), back));
    EXPECT_EQ(back.quality, 60);

    for (int i = 1; i < 100; ++i)
        ASSERT_EQ(StoreJpegPreset(list, u"p" + platform::Utf8ToUtf16(std::to_string(i)), Options(i)),
                  JpegPresetStore::Appended);
    EXPECT_EQ(list.Count(), 100u);
    EXPECT_EQ(StoreJpegPreset(list, u"one too many", Options(50)), JpegPresetStore::Full);
    EXPECT_EQ(list.Count(), 100u);
    EXPECT_EQ(FindJpegPresetByName(list, u"P7", false), -1);
    EXPECT_EQ(FindJpegPresetByName(list, u"P7", true), 7);
}

TEST(JpegPresets, AFileIsReadIntoRangeAndCutAtTheMenuLimit)
{
    struct Case {
        const char* what;
        size_t offset;
        std::vector<uint8_t> bytes;
        size_t checkOffset;
        int expected;
    } cases[] = {
        {"quality 0", 4, {0, 0, 0, 0}, 4, 1},
        {"quality 250", 4, {250, 0, 0, 0}, 4, 100},
        {"negative quality", 4, {0xFF, 0xFF, 0xFF, 0xFF}, 4, 1},
        {"chroma 9", 8, {9}, 8, 2},
        {"EXIF 7", 9, {7}, 9, 2},
        {"size mode 9", 16, {9}, 16, 0},
        {"negative size", 20, {0, 0, 0, 0x80}, 23, 0},
        {"policy 5", 24, {5}, 24, 0},
        {"negative target", 28, {0xFF, 0xFF, 0xFF, 0xFF}, 28, 0},
        {"flags", 32, {6}, 32, 0},
        {"path", 34, {'/', 0}, 34, 0},
        {"version", 0, {7}, 0, 2},
        {"slot", 2090, {0xAB}, 2090, 0},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> file{0x80, 0x09}; // 2432
        std::vector<uint8_t> record = MakeJpegPresetRecord(u"x", Options(50));
        std::copy(c.bytes.begin(), c.bytes.end(), record.begin() + 64 + long(c.offset));
        file.insert(file.end(), record.begin(), record.end());
        std::vector<JpegPresetEntry> presets;
        ASSERT_TRUE(ParseJpegPresetFile(file, presets)) << c.what;
        ASSERT_EQ(presets.size(), 1u) << c.what;
        EXPECT_EQ(Bytes(presets[0].options)[c.checkOffset], c.expected) << c.what;
    }
    // 120 records: the menu can offer 100.
    std::vector<uint8_t> file{0x80, 0x09};
    for (int i = 0; i < 120; ++i) {
        const std::vector<uint8_t> r = MakeJpegPresetRecord(u"n", Options(50));
        file.insert(file.end(), r.begin(), r.end());
    }
    std::vector<JpegPresetEntry> presets;
    ASSERT_TRUE(ParseJpegPresetFile(file, presets));
    EXPECT_EQ(presets.size(), 100u);
    file[0] = 0x81; // 2433: refused
    EXPECT_FALSE(ParseJpegPresetFile(file, presets));
}

TEST(JpegPresets, TheProgramFolderShipsPresetsAFreshUserReads)
{
    TempFolder home;
    setenv("XDG_CONFIG_HOME", home.path().c_str(), 1);
    PresetList list(kJpegSavePresets);
    list.programFolder = platform::Utf8ToUtf16(ProgramDir());
    ASSERT_TRUE(list.Load());
    unsetenv("XDG_CONFIG_HOME");
    std::vector<uint8_t> file{0x80, 0x09};
    for (size_t i = 0; i < list.Count(); ++i)
        file.insert(file.end(), list.Record(i).begin(), list.Record(i).end());
    std::vector<JpegPresetEntry> presets;
    ASSERT_TRUE(ParseJpegPresetFile(file, presets));
    ASSERT_GE(presets.size(), 2u);
    bool web = false;
    for (const JpegPresetEntry& p : presets) {
        EXPECT_FALSE(p.name.empty());
        // Stored as the dialog stores them: the reader changed nothing.
        EXPECT_EQ(std::memcmp(&p.options, list.Record(&p - presets.data()).data() + 64, sizeof p.options), 0)
            << platform::Utf16ToUtf8(p.name);
        web = web || (p.options.targetPolicy == 2 && p.options.targetKB == 200);
    }
    EXPECT_TRUE(web) << "a 200 KB row for the save panel";
}

// ---- the dialog ----------------------------------------------------------------------------

namespace {

class JpegSaveDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        previous = TheDocumentUi().fileDialogs;
        TheDocumentUi().fileDialogs = &chooser;
        config = folder / "config";
        std::filesystem::create_directories(config);
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    }
    void TearDown() override
    {
        TheDocumentUi().fileDialogs = previous;
        unsetenv("XDG_CONFIG_HOME");
    }
    // A document of one noisy layer (a plain one would fit any target at once).
    void OpenPicture(int width, int height)
    {
        ImageBuffer16 picture{};
        ASSERT_TRUE(AllocImage16(picture, width, height));
        uint32_t seed = 12345;
        for (uint32_t i = 0; i < picture.pixelCount; ++i)
            for (int c = 0; c < 4; ++c) {
                seed = seed * 1103515245u + 12345u;
                picture.data[size_t(i) * 4 + c] = c == 3 ? 0xFFFF : uint16_t(20000 + (seed >> 16) % 20000);
            }
        w.OpenDocument(picture);
        FreeImageBuffer(picture);
    }
    std::unique_ptr<CJpgSaveDlg> Open(const std::u16string& path = u"", ImageInfo* info = nullptr, CZDDoc* doc = nullptr)
    {
        auto d = std::make_unique<CJpgSaveDlg>(doc ? doc : &w.doc, path, info);
        d->SetTextQuestion([this](const char16_t* caption, std::u16string& text) {
            questions.push_back(caption);
            if (answers.empty())
                return false;
            text = answers.front();
            answers.erase(answers.begin());
            return true;
        });
        if (!CreateDialogFromTemplate(*d, CJpgSaveDlg::kTemplateId) || !d->OnInitDialog())
            return nullptr;
        w.t.window->PushModal(d.get());
        return d;
    }
    bool Settle(CJpgSaveDlg& d)
    {
        return w.PumpUntil([&] { return !d.JobInFlight() && !theAlgorithmThread.IsBusy(); }, 120000);
    }
    void Close(std::unique_ptr<CJpgSaveDlg>& d)
    {
        if (d->Result() == 0)
            d->OnCancel();
        w.t.window->PopModal(d.get());
        d.reset();
    }
    bool Enabled(CJpgSaveDlg& d, int32_t id)
    {
        auto* s = dynamic_cast<CMessageSprite*>(d.GetControl(id));
        return s && s->Enabled();
    }
    std::u16string ButtonText(CJpgSaveDlg& d, int32_t id)
    {
        auto* b = dynamic_cast<CSButton*>(d.GetControl(id));
        return b ? std::u16string(b->Caption()) : u"?";
    }

    DialogWorld w;
    TempFolder folder;
    std::string config;
    Chooser chooser;
    IFileDialogs* previous = nullptr;
    std::vector<std::u16string> answers;
    std::vector<std::u16string> questions;
};

} // namespace

TEST_F(JpegSaveDialog, PreviewEncodesWithoutWritingAndShowsTheDecodedPicture)
{
    OpenPicture(320, 240);
    auto d = Open();
    ASSERT_NE(d, nullptr);
    EXPECT_FALSE(Enabled(*d, CJpgSaveDlg::kDeletePresetId));
    EXPECT_FALSE(Enabled(*d, CJpgSaveDlg::kTargetId)) << "no size policy: no target";
    ASSERT_TRUE(Settle(*d));
    ASSERT_TRUE(d->Encoded());
    EXPECT_GT(d->LastEncodedSize(), 1000);
    EXPECT_EQ(d->Options().outputFlags & JpegOutputEstimate, JpegOutputEstimate);
    EXPECT_EQ(d->Options().quality, 90);
    ASSERT_EQ(d->Shown().width, 320);
    // The after view is the decoded JPEG: close to the source, never the same bytes.
    EXPECT_NE(std::memcmp(d->Shown().data, d->Source().data, d->Source().byteSize), 0);
    EXPECT_EQ(d->SourceBytes(), 320u * 240u * 3u) << "no file: the raw size";
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()) || !std::filesystem::exists(folder / "x.jpg"));
    // A lower quality makes a smaller file.
    const int64_t at90 = d->LastEncodedSize();
    FindSlider(*d, CJpgSaveDlg::kQualityId)->SetValue(30, 1);
    w.t.Pump();
    ASSERT_TRUE(Settle(*d));
    EXPECT_LT(d->LastEncodedSize(), at90);
    EXPECT_EQ(d->LastQuality(), 30);
    Close(d);
}

TEST_F(JpegSaveDialog, PresetsChosenSavedTwiceReplacedAndDeleted)
{
    OpenPicture(160, 120);
    auto d = Open();
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(Settle(*d));
    // Save the current settings as "Web".
    answers = {u"Web"};
    Send(w, d.get(), MSG_COMMAND, CJpgSaveDlg::kSavePresetId);
    ASSERT_EQ(d->Presets().Count(), 1u);
    EXPECT_EQ(questions.back(), u"dlgPreset");
    // Unchanged, a second save names the first preset and asks for no name.
    const size_t asked = questions.size();
    SetUiTextSource([](const char16_t* key) -> const char16_t* {
        return std::u16string_view(key) == u"samesavepreset" ? u"The preset %s already has these settings." : nullptr;
    });
    Send(w, d.get(), MSG_COMMAND, CJpgSaveDlg::kSavePresetId);
    SetUiTextSource(nullptr);
    EXPECT_EQ(questions.size(), asked);
    ASSERT_FALSE(w.messages.empty());
    EXPECT_NE(w.messages.back().key.find(u"Web"), std::u16string::npos) << platform::Utf16ToUtf8(w.messages.back().key);
    EXPECT_EQ(d->Presets().Count(), 1u);

    // Another quality under the same name in other letters: replaced, the name kept.
    FindSlider(*d, CJpgSaveDlg::kQualityId)->SetValue(55, 1);
    w.t.Pump();
    ASSERT_TRUE(Settle(*d));
    answers = {u"WEB"};
    Send(w, d.get(), MSG_COMMAND, CJpgSaveDlg::kSavePresetId);
    ASSERT_EQ(d->Presets().Count(), 1u);
    EXPECT_EQ(JpegPresetName(d->Presets().Record(0)), u"Web");
    JpegSaveOptions stored;
    ASSERT_TRUE(ReadJpegPresetOptions(d->Presets().Record(0), stored));
    EXPECT_EQ(stored.quality, 55);

    // A second preset with a size policy, written to the per-user file.
    Send(w, d.get(), MSG_MENU_COMMAND, CJpgSaveDlg::kMenuPolicy + 2);
    Send(w, d.get(), MSG_MENU_COMMAND, CJpgSaveDlg::kMenuSizeMode + 3);
    ASSERT_TRUE(Settle(*d));
    answers = {u"Small"};
    Send(w, d.get(), MSG_COMMAND, CJpgSaveDlg::kSavePresetId);
    ASSERT_EQ(d->Presets().Count(), 2u);
    EXPECT_EQ(std::filesystem::file_size(config + "/Velmora Softwares/jpgsave.set"), 2u + 2 * 2432u);

    // Choosing "Web" takes quality and size settings, not chroma, table, extra pass or blur.
    auto* hqc = dynamic_cast<CSCheckBox*>(d->GetControl(CJpgSaveDlg::kFullChromaId));
    ASSERT_NE(hqc, nullptr);
    hqc->SetText(d->m_fullChroma ? u"0" : u"1");
    const uint32_t chroma = d->m_fullChroma ? 0 : 1;
    FindSlider(*d, CJpgSaveDlg::kBlurId)->SetValue(25, 0);
    Send(w, d.get(), MSG_MENU_COMMAND, CJpgSaveDlg::kMenuPreset + 0);
    ASSERT_TRUE(Settle(*d));
    EXPECT_EQ(d->Quality(), 55);
    EXPECT_EQ(d->m_policy, 0);
    EXPECT_EQ(d->m_sizeMode, 0);
    EXPECT_EQ(d->m_fullChroma, chroma);
    EXPECT_EQ(SliderValue(*d, CJpgSaveDlg::kBlurId), 25);
    EXPECT_EQ(d->PresetName(), u"Web");
    EXPECT_EQ(ButtonText(*d, CJpgSaveDlg::kPresetButtonId), u"Web");
    EXPECT_TRUE(Enabled(*d, CJpgSaveDlg::kDeletePresetId));

    // A setting menu makes the name the default again.
    Send(w, d.get(), MSG_MENU_COMMAND, CJpgSaveDlg::kMenuExif + 0);
    EXPECT_EQ(d->PresetName(), UiText(u"jpgpresetdefault"));
    EXPECT_FALSE(Enabled(*d, CJpgSaveDlg::kDeletePresetId));

    // Delete removes the chosen preset (exact name) from memory and file.
    Send(w, d.get(), MSG_MENU_COMMAND, CJpgSaveDlg::kMenuPreset + 1);
    ASSERT_EQ(d->PresetName(), u"Small");
    Send(w, d.get(), MSG_COMMAND, CJpgSaveDlg::kDeletePresetId);
    ASSERT_EQ(d->Presets().Count(), 1u);
    EXPECT_EQ(JpegPresetName(d->Presets().Record(0)), u"Web");
    EXPECT_EQ(std::filesystem::file_size(config + "/Velmora Softwares/jpgsave.set"), 2u + 2432u);
    ASSERT_TRUE(Settle(*d));
    Close(d);
}

TEST_F(JpegSaveDialog, FileNameSuffixesFollowTheLastRun)
{
    OpenPicture(2000, 1500);
    chooser.last[u"SaveJPG"] = u"/saved/here";
    auto d = Open(u"/photos/trip.IMG_3.jpg");
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(Settle(*d));
    EXPECT_EQ(d->ProposedFileName(), u"/saved/here/trip.IMG_3");
    // Longer side 1024: 1024 x 768; no size policy, so no "-K".
    Send(w, d.get(), MSG_MENU_COMMAND, CJpgSaveDlg::kMenuSizeMode + 3);
    ASSERT_TRUE(Settle(*d));
    EXPECT_EQ(d->ProposedFileName(), u"/saved/here/trip.IMG_3-1024x768");
    EXPECT_FALSE(Enabled(*d, CJpgSaveDlg::kTargetId));
    // A size policy adds the size of the last run, with 512 bytes for metadata when there is no
    // photo information.
    Send(w, d.get(), MSG_MENU_COMMAND, CJpgSaveDlg::kMenuPolicy + 2);
    ASSERT_TRUE(Settle(*d));
    EXPECT_TRUE(Enabled(*d, CJpgSaveDlg::kTargetId));
    const std::u16string expected = u"/saved/here/trip.IMG_3-1024x768-" +
                                    U(std::to_string(int((512 + d->LastEncodedSize()) / 1024))) + u"K";
    EXPECT_EQ(d->ProposedFileName(), expected);
    EXPECT_LE(d->LastEncodedSize(), 200 * 1024 - 512 + 512) << "within the 200 KB target";
    Close(d);

    // No document path: the untitled name.
    auto u = Open();
    ASSERT_NE(u, nullptr);
    ASSERT_TRUE(Settle(*u));
    EXPECT_EQ(u->ProposedFileName(), UiText(u"untitle"));
    Close(u);
}

TEST_F(JpegSaveDialog, SizeSearchSetsTheQualityOr99WhenItFitsAtOnce)
{
    OpenPicture(400, 300);
    auto d = Open();
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(Settle(*d));
    // Far above what the picture needs at quality 100.
    answers = {u"5000"};
    Send(w, d.get(), MSG_COMMAND, CJpgSaveDlg::kAdjustId);
    EXPECT_EQ(questions.back(), u"inputsize");
    EXPECT_EQ(d->Quality(), 99);
    ASSERT_TRUE(Settle(*d));
    // A tight target lowers it, and the preview at that quality fits.
    answers = {u"40"};
    Send(w, d.get(), MSG_COMMAND, CJpgSaveDlg::kAdjustId);
    ASSERT_TRUE(Settle(*d));
    EXPECT_LT(d->Quality(), 99);
    EXPECT_LE(d->LastEncodedSize(), 40 * 1024);
    // Cancelled or zero: nothing changes.
    const int q = d->Quality();
    answers = {u"0"};
    Send(w, d.get(), MSG_COMMAND, CJpgSaveDlg::kAdjustId);
    Send(w, d.get(), MSG_COMMAND, CJpgSaveDlg::kAdjustId);
    EXPECT_EQ(d->Quality(), q);
    Close(d);
}

TEST_F(JpegSaveDialog, SaveCopyStaysOpenOkClosesAndMetadataIsKept)
{
    const std::string photo = folder / "photo.jpg";
    ASSERT_TRUE(Convert("-seed 3 -size 480x360 plasma:fractal", photo));
    ASSERT_EQ(Shell("exiftool -overwrite_original -Make=Testmaker -Model=T1 " + Quote(photo)), 0);
    CZDDoc doc;
    ASSERT_EQ(doc.OpenImage(U(photo)), 1);
    ImageInfo info;
    ASSERT_EQ(info.ReadFile(U(photo).c_str()), 1);
    OpenPicture(64, 64); // the editor page behind the dialog
    auto d = Open(U(photo), &info, &doc);
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(Settle(*d));
    EXPECT_EQ(d->SourceBytes(), std::filesystem::file_size(photo));

    chooser.answer = U(folder / "copy");
    Send(w, d.get(), MSG_COMMAND, CJpgSaveDlg::kSaveCopyId);
    ASSERT_TRUE(Settle(*d));
    const std::string copy = folder / "copy.jpg";
    ASSERT_TRUE(std::filesystem::exists(copy));
    EXPECT_EQ(ExifTool("-Make", copy), "Testmaker");
    EXPECT_EQ(d->Result(), 0) << "still open";
    for (int32_t id : {1, 2, CJpgSaveDlg::kAdjustId, CJpgSaveDlg::kSaveCopyId})
        EXPECT_TRUE(Enabled(*d, id)) << id;
    EXPECT_EQ(chooser.last[u"SaveJPG"], U(folder.path() + "/"));

    // OK over the existing file: asked once; No keeps it.
    const auto before = std::filesystem::last_write_time(copy);
    w.answer = 7;
    const size_t messages = w.messages.size();
    Send(w, d.get(), MSG_COMMAND, 1);
    ASSERT_TRUE(Settle(*d));
    ASSERT_EQ(w.messages.size(), messages + 1);
    EXPECT_EQ(w.messages.back().key, u"Askoverwrite");
    EXPECT_EQ(d->Result(), 0);
    EXPECT_EQ(std::filesystem::last_write_time(copy), before);
    // Yes: written and closed, and no hidden file is left beside it.
    w.answer = 6;
    Send(w, d.get(), MSG_COMMAND, 1);
    ASSERT_TRUE(w.PumpUntil([&] { return d->Result() == 1; }));
    size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(folder.path()))
        files += e.is_regular_file();
    EXPECT_EQ(files, 2u) << "photo and copy only";
    Close(d);
}

TEST_F(JpegSaveDialog, AFailedSaveLeavesNothingAndKeepsTheDialog)
{
    OpenPicture(200, 150);
    auto d = Open();
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(Settle(*d));
    // A folder that does not exist: the encoder cannot write, the dialog says so and stays.
    chooser.answer = U(folder / "missing/out.jpg");
    Send(w, d.get(), MSG_COMMAND, CJpgSaveDlg::kSaveCopyId);
    ASSERT_TRUE(Settle(*d));
    EXPECT_EQ(w.Count(u"algorithmerror"), 1);
    EXPECT_EQ(d->Result(), 0);
    EXPECT_TRUE(Enabled(*d, 1));
    EXPECT_FALSE(std::filesystem::exists(folder / "missing"));
    Close(d);
}

// A picture of the dialog in English and German for a person to look at (ZENDRA_DIALOG_SHOTS).
namespace {
StringTable* g_shotTexts = nullptr;
const char16_t* ShotText(const char16_t* key)
{
    const char16_t* text = g_shotTexts ? g_shotTexts->FindText(key) : nullptr;
    return text ? text : key;
}
} // namespace

TEST_F(JpegSaveDialog, ShotsInEnglishAndGerman)
{
    const char* shots = getenv("ZENDRA_DIALOG_SHOTS");
    if (!shots || !*shots)
        GTEST_SKIP() << "set ZENDRA_DIALOG_SHOTS to a folder for the pictures";
    ImageBuffer16 photo{};
    ASSERT_TRUE(AllocImage16(photo, 480, 320));
    for (int y = 0; y < 320; ++y)
        for (int x = 0; x < 480; ++x) {
            uint16_t* p = photo.data + (size_t(y) * 480 + x) * 4;
            p[0] = uint16_t(20000 + 40000 * (320 - y) / 320);
            p[1] = uint16_t(12000 + 25000 * x / 480 + ((x / 8 + y / 8) % 2) * 6000);
            p[2] = uint16_t(6000 + 20000 * y / 320);
            p[3] = 0xFFFF;
        }
    w.OpenDocument(photo);
    FreeImageBuffer(photo);
    for (const char* language : {"en", "de"}) {
        StringTable texts;
        ASSERT_TRUE(texts.Parse(platform::Utf8ToUtf16(ProgramDir() + "/basic/resource.txt").c_str()));
        if (std::string(language) == "de")
            ASSERT_TRUE(texts.Parse(platform::Utf8ToUtf16(ProgramDir() + "/basic/Localize/Deutsch.txt").c_str()));
        g_shotTexts = &texts;
        SetUiTextSource(&ShotText);
        auto d = Open();
        ASSERT_NE(d, nullptr);
        d->SetOpacity(255);
        Send(w, d.get(), MSG_MENU_COMMAND, CJpgSaveDlg::kMenuSizeMode + 3);
        Send(w, d.get(), MSG_MENU_COMMAND, CJpgSaveDlg::kMenuPolicy + 2);
        d->m_sizeValue = 320;
        d->UpdateData(0);
        FindSlider(*d, CJpgSaveDlg::kQualityId)->SetValue(70, 1);
        w.t.Pump();
        ASSERT_TRUE(Settle(*d));
        d->SetViewMode(kViewSideBySide);
        d->SetAllDirty(1);
        for (int i = 0; i < 4; ++i) {
            w.t.Pump();
            w.t.Frame();
        }
        int width = 0, height = 0;
        std::vector<uint8_t> surface = w.t.Input().ReadSurface(width, height);
        ImageBuffer8 shot{};
        ASSERT_TRUE(AllocImage8(shot, width, height));
        std::memcpy(shot.data, surface.data(), std::min(surface.size(), size_t(shot.byteSize)));
        for (uint32_t i = 0; i < shot.pixelCount; ++i)
            shot.data[size_t(i) * 4 + 3] = 255;
        const std::string path = std::string(shots) + "/jpgsave-" + language + ".png";
        EXPECT_TRUE(CodecSaveImage8(shot, platform::Utf8ToUtf16(path).c_str(), false)) << path;
        FreeImageBuffer(shot);
        Close(d);
        SetUiTextSource(nullptr);
        g_shotTexts = nullptr;
    }
}
