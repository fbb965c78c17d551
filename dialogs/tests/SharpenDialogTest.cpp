// Advanced sharpening: OK, undo and redo against CSharpen run directly with the dialog's curve,
// the 296-byte record, the units and their radius, the presets, the wizard's preset, Apply's
// reset and Cancel.
#include "dialogs/Launchers.h"
#include "dialogs/SharpenDialog.h"

#include "FilterDialogsSupport.h"

using namespace filtertest;

namespace {

void RunSharpenDirect(const ImageBuffer16& source, const SharpenParams& params, const uint16_t* curve,
                      ImageBuffer16& out)
{
    CSharpen direct;
    direct.SetCurve(curve);
    ASSERT_TRUE(RunDirect(direct, &params, source, out));
}

std::unique_ptr<CSharpenDlg> OpenSharpen(int mode)
{
    auto d = std::make_unique<CSharpenDlg>();
    if (!CreateDialogFromTemplate(*d, CSharpenDlg::kTemplateId))
        return nullptr;
    d->m_mode = mode;
    if (!d->OnInitDialog())
        return nullptr;
    return d;
}

double RadiusShown(CSharpenDlg& d)
{
    CSliderSprite* s = FindSlider(d, CSharpenDlg::kRadiusId);
    return double(s->Value()) / s->Divisor();
}

std::vector<std::pair<int, int>> PointsOf(CSharpenDlg& d)
{
    std::vector<std::pair<int, int>> out;
    for (const CurvePoint& p : d.Curve().Points())
        out.emplace_back(p.x, p.y);
    return out;
}

const std::vector<std::pair<int, int>> kStandard = {{0, 0}, {8000, 16000}, {32767, 16000}, {65535, 0}};
const std::vector<std::pair<int, int>> kTexture = {{0, 0}, {500, 2000}, {2000, 0}, {65535, 0}};

} // namespace

TEST(SharpenDialog, OkUndoRedoEqualTheAlgorithmAndTheRecordHoldsNoPointer)
{
    std::vector<uint8_t> payload;
    std::vector<uint16_t> curve;
    CheckOkUndoRedo<CSharpenDlg>(
        {.stepId = 25, .recordBytes = 296, .payload = &payload},
        [](DialogWorld& w, CSharpenDlg& d) {
            Send(w, &d, MSG_MENU_COMMAND, CSharpenDlg::kPresetTexture);
            SetSlider(d, CSharpenDlg::kRadiusId, 1.5);
            SetSlider(d, CSharpenDlg::kAmountId, 80);
        },
        [&](const ImageBuffer16& opening, CSharpenDlg& d, ImageBuffer16& out) {
            EXPECT_DOUBLE_EQ(d.m_params.radius, 1.5);
            EXPECT_EQ(d.m_params.amount, 80);
            SharpenParams p;
            p.radius = 1.5;
            p.amount = 80;
            curve.assign(d.Curve().LookupTable(), d.Curve().LookupTable() + 65536);
            RunSharpenDirect(opening, p, curve.data(), out);
        });
    ASSERT_EQ(payload.size(), 296u);
    EXPECT_EQ(At<uint16_t>(payload, 0), 32);
    EXPECT_EQ(At<double>(payload, 8), 1.5);
    EXPECT_EQ(At<int32_t>(payload, 16), 80);
    EXPECT_EQ(At<uint32_t>(payload, 20), 0u) << "no pointer in the stored step";
    const std::vector<uint8_t> expectedCurve = PackSharpenStep(SharpenParams{}, curve.data());
    EXPECT_TRUE(std::equal(payload.begin() + 32, payload.end(), expectedCurve.begin() + 32))
        << "the texture curve follows as its 132 control values";
}

TEST(SharpenDialog, UnitsGiveTheRadiusAndToggleResetsIt)
{
    DialogWorld w;
    ImageBuffer16 picture{};
    FillPhoto(picture, 300, 200);
    w.OpenDocument(picture, true);
    auto d = OpenSharpen(0);
    ASSERT_NE(d, nullptr);
    WaitForPreview(w, *d);
    EXPECT_DOUBLE_EQ(d->m_params.radius, 0.5) << "the first preview: 0.5 pixel";
    EXPECT_EQ(d->m_params.amount, 50);
    EXPECT_EQ(PointsOf(*d), kStandard);
    struct Case {
        bool toggle;
        double set;           // shown value set after the toggle; < 0: none
        double shownAfterToggle;
        double radius;        // sent to the algorithm
        const char16_t* unit; // the slider's value text ends with it
        const char16_t* button;
    };
    const Case cases[] = {
        {false, 3.2, 0.5, 3.2, u"", u"dlginpixel"},
        {true, -1, 1, 1 * 200 / 300.0, u"%", u"dlginpercent"},  // reset to 1 %
        {false, 25, 1, 25 * 200 / 300.0, u"%", u"dlginpercent"}, // the shorter side counts
        {true, -1, 0.5, 0.5, u"", u"dlginpixel"},
        {false, 32, 0.5, 32, u"", u"dlginpixel"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.set);
        if (c.toggle) {
            Send(w, d.get(), MSG_COMMAND, CSharpenDlg::kUnitsId);
            EXPECT_DOUBLE_EQ(RadiusShown(*d), c.shownAfterToggle);
        }
        if (c.set >= 0)
            SetSlider(*d, CSharpenDlg::kRadiusId, c.set);
        WaitForPreview(w, *d);
        EXPECT_NEAR(d->m_params.radius, c.radius, 1e-9);
        const std::u16string text = FindSlider(*d, CSharpenDlg::kRadiusId)->ValueButton().Caption();
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.back() == u'%', *c.unit == u'%') << "the percent sign only in percent units";
        EXPECT_EQ(std::u16string(dynamic_cast<CSButton*>(d->GetControl(CSharpenDlg::kUnitsId))->Caption()),
                  std::u16string(UiText(c.button)));
    }
    d->OnCancel();
    FreeImageBuffer(picture);
}

TEST(SharpenDialog, PresetsSetUnitsRadiusAmountAndCurve)
{
    DialogWorld w;
    ImageBuffer16 picture{};
    FillPhoto(picture, 90, 60);
    w.OpenDocument(picture, true);
    auto d = OpenSharpen(0);
    ASSERT_NE(d, nullptr);
    WaitForPreview(w, *d);
    struct Case {
        int id;
        uint32_t pixelUnits;
        double radius; // sent
        int amount;
        const std::vector<std::pair<int, int>>* curve;
    };
    const Case cases[] = {
        {CSharpenDlg::kPresetCcd, 1, 1.0, 40, &kStandard},
        {CSharpenDlg::kPresetTexture, 1, 0.5, 50, &kTexture},
        {CSharpenDlg::kPresetContrast, 0, 25 * 60 / 300.0, 5, &kStandard},
        {CSharpenDlg::kPresetPixel, 1, 0.5, 50, &kStandard},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        SetSlider(*d, CSharpenDlg::kAmountId, 77);
        Send(w, d.get(), MSG_MENU_COMMAND, c.id);
        WaitForPreview(w, *d);
        EXPECT_EQ(d->m_pixelUnits, c.pixelUnits);
        EXPECT_NEAR(d->m_params.radius, c.radius, 1e-9);
        EXPECT_EQ(d->m_params.amount, c.amount);
        EXPECT_EQ(PointsOf(*d), *c.curve);
    }
    // The texture curve gives no strength from a difference of 2000 up.
    Send(w, d.get(), MSG_MENU_COMMAND, CSharpenDlg::kPresetTexture);
    for (int x : {2000, 3000, 40000, 65535})
        EXPECT_EQ(d->Curve().LookupTable()[x], 0) << x;
    EXPECT_GT(d->Curve().LookupTable()[500], 1000);
    // The menu offers the four presets by their keys.
    d->ShowPresetMenu();
    EXPECT_EQ(d->PresetMenu().Count(), 4);
    d->PresetMenu().Close(0);
    d->OnCancel();
    FreeImageBuffer(picture);
}

TEST(SharpenDialog, WizardModeSwitchesToTheLocalContrastPresetAfterTheFirstPreviewStarts)
{
    DialogWorld w;
    ImageBuffer16 picture{};
    FillPhoto(picture, 120, 90);
    w.OpenDocument(picture, true);
    auto d = OpenSharpen(1);
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(d->JobInFlight() || d->RestartPending()) << "the first preview started";
    EXPECT_EQ(d->m_pixelUnits, 1u) << "the preset comes by message";
    WaitForPreview(w, *d);
    EXPECT_EQ(d->m_pixelUnits, 0u);
    EXPECT_NEAR(d->m_params.radius, 25 * 90 / 300.0, 1e-9);
    EXPECT_EQ(d->m_params.amount, 5);
    d->OnOK();
    ASSERT_EQ(d->Result(), 1);
    const std::vector<uint8_t> payload = PayloadOf(w.history.steps.back());
    ASSERT_EQ(payload.size(), 296u);
    EXPECT_NEAR(At<double>(payload, 8), 7.5, 1e-9) << "the stored radius is in pixels";
    FreeImageBuffer(picture);
}

TEST(SharpenDialog, ApplyResetsTheControlsAndCancelRestoresTheOpeningPicture)
{
    DialogWorld w;
    ImageBuffer16 opening{};
    FillPhoto(opening, 50, 40);
    w.OpenDocument(opening, true);
    auto d = OpenSharpen(0);
    ASSERT_NE(d, nullptr);
    Send(w, d.get(), MSG_MENU_COMMAND, CSharpenDlg::kPresetContrast);
    WaitForPreview(w, *d);
    ImageBuffer16 applied{};
    ASSERT_TRUE(CopyImage16(applied, w.Layer()));
    EXPECT_FALSE(SameBytes(applied, opening));
    ASSERT_EQ(d->Apply(), 1);
    WaitForPreview(w, *d);
    EXPECT_EQ(d->m_pixelUnits, 1u);
    EXPECT_DOUBLE_EQ(RadiusShown(*d), 0.5);
    EXPECT_EQ(SliderValue(*d, CSharpenDlg::kAmountId), 50);
    EXPECT_EQ(PointsOf(*d), kStandard);
    // The preview after Apply sharpens the applied picture again.
    ImageBuffer16 expected{};
    SharpenParams p;
    p.radius = 0.5;
    p.amount = 50;
    RunSharpenDirect(applied, p, d->Curve().LookupTable(), expected);
    EXPECT_TRUE(SameBytes(w.Layer(), expected));
    d->OnCancel();
    EXPECT_TRUE(SameBytes(w.Layer(), opening)) << "Cancel goes back past the Apply";
    EXPECT_EQ(w.history.steps.size(), 1u);
    for (ImageBuffer16* b : {&opening, &applied, &expected})
        FreeImageBuffer(*b);
}

TEST(SharpenDialog, TheEditorCommandHasARow)
{
    EXPECT_TRUE(HasEditorDialog(13005));
}
