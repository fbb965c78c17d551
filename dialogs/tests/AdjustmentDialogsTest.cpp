// The exposure and colour dialogs: for each, OK with undo and redo compared byte for byte, the
// record read back and written again unchanged and replayed through its step id on the opening
// picture to the layer's bytes; then each dialog's own controls.
#include "algorithms/SchemeSteps.h"
#include "dialogs/BrightnessContrastDialog.h"
#include "dialogs/ColorMixerDialog.h"
#include "dialogs/FilmFilterDialog.h"
#include "dialogs/Launchers.h"
#include "dialogs/SliderDialogSupport.h"
#include "dialogs/ThresholdDialog.h"

#include "DialogTestSupport.h"

#include <random>

using namespace dialogtest;

namespace {

void FillPhoto(ImageBuffer16& image, int width, int height)
{
    ASSERT_TRUE(AllocImage16(image, width, height));
    std::mt19937 rng(17);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint16_t* p = image.data + (size_t(y) * width + x) * 4;
            // A smooth scene with some noise and a few transparent pixels.
            p[0] = uint16_t(std::min<uint32_t>(65535, 300 * x + rng() % 2000));
            p[1] = uint16_t(std::min<uint32_t>(65535, 500 * y + rng() % 2000));
            p[2] = uint16_t(std::min<uint32_t>(65535, 200 * (x + y) + rng() % 4000));
            p[3] = (x + y) % 17 == 0 ? 0x4000 : 0xFFFF;
        }
}

void WaitForPreview(DialogWorld& w, CFilterDialog& d)
{
    w.t.Pump();
    ASSERT_TRUE(w.PumpUntil([&] { return !d.JobInFlight() && !theAlgorithmThread.IsBusy(); }));
    w.t.Pump();
    ASSERT_TRUE(w.PumpUntil([&] { return !d.JobInFlight(); }));
}

// OK, undo, redo, and the record's round trip and replay.
template <class Dialog>
void CheckOkUndoRedoAndReplay(const std::function<void(DialogWorld&, Dialog&)>& change, size_t recordBytes,
                              bool oneLayer = false)
{
    DialogWorld w;
    ImageBuffer16 opening{};
    if (oneLayer)
        FillPhoto(opening, 1, 1);
    else
        FillPhoto(opening, 61, 43);
    w.OpenDocument(opening, !oneLayer);
    auto d = OpenDialog<Dialog>(Dialog::kTemplateId);
    ASSERT_NE(d, nullptr);
    change(w, *d);
    WaitForPreview(w, *d);
    d->OnOK();
    ASSERT_EQ(d->Result(), 1);
    EXPECT_EQ(w.doc.modified, 1);
    ImageBuffer16 result{};
    ASSERT_TRUE(CopyImage16(result, w.Layer()));
    EXPECT_FALSE(SameBytes(result, opening)) << "the change did something";

    ASSERT_EQ(w.history.steps.size(), 2u);
    const HistoryStep& step = w.history.steps[1];
    EXPECT_EQ(step.kind, oneLayer ? kHistoryDocument : kHistoryLayer);
    EXPECT_EQ(step.tag, Dialog::kStepId);
    ASSERT_EQ(size_t(step.payloadLength), recordBytes);
    const std::vector<uint8_t> bytes(step.PayloadData(), step.PayloadData() + step.payloadLength);
    SchemeStepRecord record;
    ASSERT_EQ(ReadSchemeStep(Dialog::kStepId, bytes.data(), bytes.size(), record), StepReadResult::Ok);
    std::vector<uint8_t> again;
    ASSERT_TRUE(WriteSchemeStep(Dialog::kStepId, record, again));
    EXPECT_EQ(again, bytes) << "written, read and written again: the same bytes";
    ImageBuffer16 replayed{};
    ASSERT_TRUE(ReplaySchemeStep(Dialog::kStepId, bytes.data(), bytes.size(), opening, replayed));
    EXPECT_TRUE(SameBytes(replayed, result)) << "the replay on the opening picture gives the layer";

    ASSERT_TRUE(w.history.GoToStep(w.history.current - 1, StepReplay::Force));
    EXPECT_TRUE(SameBytes(w.Layer(), opening)) << "undo";
    ASSERT_TRUE(w.history.GoToStep(w.history.current + 1, StepReplay::Force));
    EXPECT_TRUE(SameBytes(w.Layer(), result)) << "redo";
    for (ImageBuffer16* b : {&opening, &result, &replayed})
        FreeImageBuffer(*b);
}

void SetSlider(CDialogSprite& d, int32_t id, double value)
{
    CSliderSprite* s = FindSlider(d, id);
    ASSERT_NE(s, nullptr) << id;
    s->SetValue(value, 1);
}

std::u16string ValueText(CDialogSprite& d, int32_t id)
{
    return FindSlider(d, id)->ValueButton().Caption();
}

} // namespace

TEST(AdjustmentDialogs, OkUndoRedoAndTheRecordReplayedThroughItsStep)
{
    {
        SCOPED_TRACE("film adjustment");
        CheckOkUndoRedoAndReplay<CFilmFilter>(
            [](DialogWorld&, CFilmFilter& d) {
                SetSlider(d, CFilmFilter::kExposureId, 0.5);
                SetSlider(d, CFilmFilter::kRangeId, -20);
                SetSlider(d, CFilmFilter::kTemperatureId, 400);
                SetSlider(d, CFilmFilter::kBoostId, 12);
                SetSlider(d, CFilmFilter::kSharpnessId, 20);
            },
            28);
    }
    {
        SCOPED_TRACE("brightness and contrast");
        CheckOkUndoRedoAndReplay<CBrightnessContrastDlg>(
            [](DialogWorld&, CBrightnessContrastDlg& d) {
                SetSlider(d, CBrightnessContrastDlg::kBrightnessId, 25);
                SetSlider(d, CBrightnessContrastDlg::kContrastId, -10);
            },
            12);
    }
    {
        SCOPED_TRACE("brightness and contrast on a one-pixel, one-layer picture");
        CheckOkUndoRedoAndReplay<CBrightnessContrastDlg>(
            [](DialogWorld&, CBrightnessContrastDlg& d) { SetSlider(d, CBrightnessContrastDlg::kBrightnessId, 40); },
            12, true);
    }
    {
        SCOPED_TRACE("channel mixer, blue row");
        CheckOkUndoRedoAndReplay<CColorMixerDlg>(
            [](DialogWorld& w, CColorMixerDlg& d) {
                Send(w, &d, MSG_MENU_COMMAND, CColorMixerDlg::kMenuRowFirst + 2);
                w.t.Pump();
                SetSlider(d, CColorMixerDlg::kSourceFirstId, 40);
                SetSlider(d, CColorMixerDlg::kSourceFirstId + 2, 60);
                SetSlider(d, CColorMixerDlg::kSourceFirstId + 3, 5);
            },
            72);
    }
    {
        SCOPED_TRACE("channel mixer, monochrome");
        CheckOkUndoRedoAndReplay<CColorMixerDlg>(
            [](DialogWorld& w, CColorMixerDlg& d) { Send(w, &d, MSG_MENU_COMMAND, CColorMixerDlg::kMenuMonochrome); },
            72);
    }
    {
        SCOPED_TRACE("threshold, adaptive");
        CheckOkUndoRedoAndReplay<CThresholdDlg>(
            [](DialogWorld& w, CThresholdDlg& d) {
                Send(w, &d, MSG_MENU_COMMAND, CThresholdDlg::kMenuFirst + 1);
                SetSlider(d, CThresholdDlg::kThresholdId, 45);
                SetSlider(d, CThresholdDlg::kTransitionId, 10);
                SetSlider(d, CThresholdDlg::kAreaId, 20);
            },
            20);
    }
}

TEST(AdjustmentDialogs, FilmWithoutChangeRecordsZerosAndKeepsTheExposureInTenths)
{
    DialogWorld w;
    ImageBuffer16 picture{};
    FillPhoto(picture, 20, 20);
    w.OpenDocument(picture, true);
    auto d = OpenDialog<CFilmFilter>(CFilmFilter::kTemplateId);
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(d->JobInFlight()) << "the film dialog previews from the start";
    WaitForPreview(w, *d);
    struct Case {
        double shown;
        const char16_t* text;
        int32_t stored;
    };
    for (const Case& c : {Case{-1.0, u"-1Ev", -10}, Case{0.5, u"0.5Ev", 5}, Case{-0.3, u"-0.3Ev", -3}, Case{0, u"0Ev", 0}}) {
        SetSlider(*d, CFilmFilter::kExposureId, c.shown);
        WaitForPreview(w, *d);
        EXPECT_EQ(ValueText(*d, CFilmFilter::kExposureId), c.text);
        EXPECT_EQ(d->m_params.exposure, c.stored) << "tenths stay tenths";
    }
    EXPECT_EQ(ValueText(*d, CFilmFilter::kTemperatureId), u"0K");
    d->OnOK();
    ASSERT_EQ(d->Result(), 1);
    const HistoryStep& step = w.history.steps.back();
    EXPECT_EQ(step.tag, 1);
    std::vector<uint8_t> expected(28, 0);
    expected[0] = 0x1C;
    EXPECT_EQ(std::vector<uint8_t>(step.PayloadData(), step.PayloadData() + step.payloadLength), expected);
    FreeImageBuffer(picture);
}

TEST(AdjustmentDialogs, BrightnessContrastApplyReturnsTheSlidersToZeroSilently)
{
    DialogWorld w;
    ImageBuffer16 picture{};
    FillPhoto(picture, 30, 20);
    w.OpenDocument(picture);
    auto d = OpenDialog<CBrightnessContrastDlg>(CBrightnessContrastDlg::kTemplateId);
    ASSERT_NE(d, nullptr);
    EXPECT_FALSE(d->JobInFlight()) << "the preview starts at the first change";
    SetSlider(*d, CBrightnessContrastDlg::kBrightnessId, 30);
    WaitForPreview(w, *d);
    ASSERT_TRUE(d->Apply());
    EXPECT_EQ(FindSlider(*d, CBrightnessContrastDlg::kBrightnessId)->Value(), 0);
    EXPECT_EQ(FindSlider(*d, CBrightnessContrastDlg::kContrastId)->Value(), 0);
    EXPECT_EQ(ValueText(*d, CBrightnessContrastDlg::kBrightnessId), u"0");
    w.t.Pump();
    EXPECT_FALSE(d->JobInFlight()) << "no slider message, no new preview";
    EXPECT_TRUE(SameBytes(d->BackupImage(), w.Layer())) << "the applied picture is the new before";
    EXPECT_FALSE(SameBytes(w.Layer(), picture));
    d->OnCancel();
    EXPECT_TRUE(SameBytes(w.Layer(), picture));
    FreeImageBuffer(picture);
}

TEST(AdjustmentDialogs, ChannelMixerOutputMenuSwitchesRowAndMode)
{
    DialogWorld w;
    ImageBuffer16 picture{};
    FillPhoto(picture, 16, 16);
    w.OpenDocument(picture);
    auto d = OpenDialog<CColorMixerDlg>(CColorMixerDlg::kTemplateId);
    ASSERT_NE(d, nullptr);
    WaitForPreview(w, *d);
    auto sliders = [&] {
        std::vector<int> v;
        for (int i = 0; i < 4; ++i)
            v.push_back(FindSlider(*d, CColorMixerDlg::kSourceFirstId + i)->Value());
        return v;
    };
    auto button = [&] { return std::u16string(dynamic_cast<CSButton*>(d->GetControl(1102))->Caption()); };
    EXPECT_EQ(sliders(), (std::vector<int>{100, 0, 0, 0}));
    EXPECT_EQ(button(), u"dlgRed");
    d->ShowOutputMenu();
    ASSERT_EQ(d->OutputMenu().Count(), 7);
    EXPECT_EQ(d->OutputMenu().Item(0).checked, 1) << "colour output";
    EXPECT_EQ(d->OutputMenu().Item(3).checked, 1) << "the red row";
    d->OutputMenu().Close(0);

    Send(w, d.get(), MSG_MENU_COMMAND, CColorMixerDlg::kMenuRowFirst + 3); // "dlgY"
    WaitForPreview(w, *d);
    EXPECT_EQ(d->m_params.luminanceMode, 1) << "the monochrome row switches to monochrome output";
    EXPECT_EQ(d->Row(), 3);
    EXPECT_EQ(sliders(), (std::vector<int>{30, 60, 10, 0}));
    EXPECT_EQ(button(), u"dlgY");
    Send(w, d.get(), MSG_MENU_COMMAND, CColorMixerDlg::kMenuRowFirst); // "dlgRed"
    WaitForPreview(w, *d);
    EXPECT_EQ(d->m_params.luminanceMode, 0);
    EXPECT_EQ(d->Row(), 0);
    EXPECT_EQ(sliders(), (std::vector<int>{100, 0, 0, 0}));
    // A slider writes the shown row, also while a preview runs.
    SetSlider(*d, CColorMixerDlg::kSourceFirstId + 1, -50);
    WaitForPreview(w, *d);
    EXPECT_EQ(d->m_params.rows[0][1], -50);
    ASSERT_TRUE(d->Apply());
    WaitForPreview(w, *d);
    EXPECT_EQ(d->m_params.rows[0][1], 0) << "Apply: the record's defaults";
    EXPECT_EQ(sliders(), (std::vector<int>{100, 0, 0, 0}));
    d->OnCancel();
    FreeImageBuffer(picture);
}

TEST(AdjustmentDialogs, ThresholdMethodEnablesItsSlidersAndStoresThemAll)
{
    DialogWorld w;
    ImageBuffer16 picture{};
    FillPhoto(picture, 16, 16);
    w.OpenDocument(picture, true);
    auto d = OpenDialog<CThresholdDlg>(CThresholdDlg::kTemplateId);
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(d->JobInFlight()) << "the threshold dialog previews from the start";
    WaitForPreview(w, *d);
    struct Case {
        int mode;
        const char16_t* label;
        bool level, transition, area;
    };
    const Case cases[] = {
        {0, u"TM_fix", true, true, false},
        {1, u"TM_adaptive", true, true, true},
        {2, u"TM_Diffuse", false, false, false},
        {3, u"TM_Halftone", false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        Send(w, d.get(), MSG_MENU_COMMAND, CThresholdDlg::kMenuFirst + c.mode);
        WaitForPreview(w, *d);
        EXPECT_EQ(std::u16string(dynamic_cast<CSButton*>(d->GetControl(1069))->Caption()), c.label);
        EXPECT_EQ(FindSlider(*d, CThresholdDlg::kThresholdId)->Enabled() != 0, c.level);
        EXPECT_EQ(FindSlider(*d, CThresholdDlg::kTransitionId)->Enabled() != 0, c.transition);
        EXPECT_EQ(FindSlider(*d, CThresholdDlg::kAreaId)->Enabled() != 0, c.area);
        EXPECT_EQ(d->m_params.method, c.mode);
        EXPECT_EQ(d->m_params.level, 30) << "disabled sliders still give their values";
        EXPECT_EQ(d->m_params.transition, 0);
        EXPECT_EQ(d->m_params.adaptiveArea, 5);
    }
    d->OnOK();
    const HistoryStep& step = w.history.steps.back();
    ASSERT_EQ(step.payloadLength, 20);
    SchemeStepRecord record;
    ASSERT_EQ(ReadSchemeStep(24, step.PayloadData(), 20, record), StepReadResult::Ok);
    const ThresholdParams& t = std::get<ThresholdParams>(record);
    EXPECT_EQ(t.method, 3);
    EXPECT_EQ(t.level, 30);
    EXPECT_EQ(t.adaptiveArea, 5);
    FreeImageBuffer(picture);
}

TEST(AdjustmentDialogs, LaunchersOpenEachDialogAndCancelLeavesTheLayer)
{
    for (int id : {11004, 11006, 11007, 12006}) {
        SCOPED_TRACE(id);
        DialogWorld w;
        ImageBuffer16 picture{};
        FillPhoto(picture, 24, 24);
        w.OpenDocument(picture);
        EXPECT_TRUE(HasEditorDialog(id));
        w.t.Input().InjectKey(platform::vk::Escape, true);
        w.t.Input().InjectKey(platform::vk::Escape, false);
        EXPECT_EQ(RunEditorDialog(id, 0), 2);
        EXPECT_TRUE(SameBytes(w.Layer(), picture));
        EXPECT_EQ(w.history.steps.size(), 1u);
        EXPECT_FALSE(theAlgorithmThread.IsBusy());
        EXPECT_EQ(g_pAlgorithmListener.load(), nullptr);
        FreeImageBuffer(picture);
    }
}
