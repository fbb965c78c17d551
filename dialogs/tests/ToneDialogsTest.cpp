// The tone and colour dialogs and their bars: for each dialog OK, undo and redo compared byte for
// byte, the record read, written again unchanged and replayed through its step id on the opening
// picture to the layer's bytes; then each dialog's own controls, records and drawing, and the
// weight and transition bars' shares, drags and drawing.
#include "algorithms/SchemeSteps.h"
#include "dialogs/ColorAdjustDialog.h"
#include "dialogs/ColourBlender.h"
#include "dialogs/Launchers.h"
#include "dialogs/SliderDialogSupport.h"
#include "dialogs/ToneMakerDialog.h"

#include "DialogTestSupport.h"

#include <random>

using namespace dialogtest;

namespace {

void FillPhoto(ImageBuffer16& image, int width, int height)
{
    ASSERT_TRUE(AllocImage16(image, width, height));
    std::mt19937 rng(23);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint16_t* p = image.data + (size_t(y) * width + x) * 4;
            // Saturated colours all round the hue circle, some noise, a few transparent pixels.
            p[0] = uint16_t(std::min<uint32_t>(65535, 900 * x + rng() % 3000));
            p[1] = uint16_t(std::min<uint32_t>(65535, 1400 * y + rng() % 3000));
            p[2] = uint16_t(std::min<uint32_t>(65535, 65535 - 700 * (x + y) + rng() % 3000));
            p[3] = (x + y) % 13 == 0 ? 0x3000 : 0xFFFF;
        }
}

void WaitForPreview(DialogWorld& w, CFilterDialog& d)
{
    w.t.Pump();
    ASSERT_TRUE(w.PumpUntil([&] { return !d.JobInFlight() && !theAlgorithmThread.IsBusy(); }));
    w.t.Pump();
    ASSERT_TRUE(w.PumpUntil([&] { return !d.JobInFlight(); }));
}

void SetSlider(CDialogSprite& d, int32_t id, double value)
{
    CSliderSprite* s = FindSlider(d, id);
    ASSERT_NE(s, nullptr) << id;
    s->SetValue(value, 1);
}

std::vector<uint8_t> StepBytes(const HistoryStep& step)
{
    return std::vector<uint8_t>(step.PayloadData(), step.PayloadData() + step.payloadLength);
}

// OK, undo, redo, and the record's round trip and replay. With one layer of one pixel the history
// store makes the step a whole-document one (kind 255).
template <class Dialog>
void CheckOkUndoRedoAndReplay(const std::function<void(DialogWorld&, Dialog&)>& change, size_t recordBytes,
                              bool oneLayer = false)
{
    DialogWorld w;
    ImageBuffer16 opening{};
    if (oneLayer)
        FillPhoto(opening, 1, 1);
    else
        FillPhoto(opening, 53, 41);
    w.OpenDocument(opening, !oneLayer);
    auto d = OpenDialog<Dialog>(Dialog::kTemplateId);
    ASSERT_NE(d, nullptr);
    change(w, *d);
    WaitForPreview(w, *d);
    d->OnOK();
    ASSERT_EQ(d->Result(), 1);
    ImageBuffer16 result{};
    ASSERT_TRUE(CopyImage16(result, w.Layer()));
    EXPECT_FALSE(SameBytes(result, opening)) << "the change did something";

    ASSERT_EQ(w.history.steps.size(), 2u);
    const HistoryStep& step = w.history.steps[1];
    EXPECT_EQ(step.kind, oneLayer ? kHistoryDocument : kHistoryLayer);
    EXPECT_EQ(step.tag, Dialog::kStepId);
    ASSERT_EQ(size_t(step.payloadLength), recordBytes);
    const std::vector<uint8_t> bytes = StepBytes(step);
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

template <class T>
void Put(std::vector<uint8_t>& v, size_t at, T value)
{
    std::memcpy(v.data() + at, &value, sizeof value);
}

// A sprite's image, drawn whole (the test thread draws: these windows have no render thread).
struct Drawn {
    ImageBuffer8 image{};
    ~Drawn() { FreeImageBuffer(image); }
};
void DrawWhole(CSprite& s, Drawn& out)
{
    s.Update(0);
    platform::ScopedLock lock(s.Lock());
    FreeImageBuffer(out.image);
    const ImageBuffer8& image = s.Image();
    if (image.data && AllocImage8(out.image, image.width, image.height))
        std::memcpy(out.image.data, image.data, image.byteSize);
}

CSCheckBox* Check(CDialogSprite& d, int32_t id)
{
    return dynamic_cast<CSCheckBox*>(d.GetControl(id));
}

const uint8_t* PixelAt(const ImageBuffer8& image, int x, int y)
{
    return image.data + (size_t(y) * size_t(image.width) + size_t(x)) * 4;
}

} // namespace

TEST(ToneDialogs, OkUndoRedoAndTheRecordReplayedThroughItsStep)
{
    {
        SCOPED_TRACE("colour adjustment: saturation and lightness");
        CheckOkUndoRedoAndReplay<CColorAdjDlg>(
            [](DialogWorld&, CColorAdjDlg& d) {
                SetSlider(d, CColorAdjDlg::kSaturationId, 40);
                SetSlider(d, CColorAdjDlg::kLightnessId, -15);
                SetSlider(d, CColorAdjDlg::kHueId, 20);
            },
            56);
    }
    {
        SCOPED_TRACE("colour adjustment: balance within the hue range");
        CheckOkUndoRedoAndReplay<CColorAdjDlg>(
            [](DialogWorld& w, CColorAdjDlg& d) {
                Send(w, &d, MSG_CHECK, CColorAdjDlg::kBalanceModeId, 1);
                Check(d, CColorAdjDlg::kRangeCheckId)->SetText(u"1");
                Send(w, &d, MSG_CHECK, CColorAdjDlg::kRangeCheckId, 1);
                const int32_t markers[4] = {0, 2000, 20000, 30000};
                std::copy(markers, markers + 4, d.RangeSelector().m_markers);
                Send(w, &d, MSG_RANGE_CHANGED, CColorAdjDlg::kRangeSelectorId, 0);
                SetSlider(d, CColorAdjDlg::kRedCyanId, 60);
                SetSlider(d, CColorAdjDlg::kBlueYellowId, -30);
            },
            56);
    }
    {
        SCOPED_TRACE("colour adjustment on a one-pixel, one-layer picture (kind 255)");
        CheckOkUndoRedoAndReplay<CColorAdjDlg>(
            [](DialogWorld&, CColorAdjDlg& d) { SetSlider(d, CColorAdjDlg::kLightnessId, 50); }, 56, true);
    }
    {
        SCOPED_TRACE("tone at its defaults");
        CheckOkUndoRedoAndReplay<CToneMakerDlg>([](DialogWorld&, CToneMakerDlg&) {}, 48);
    }
    {
        SCOPED_TRACE("tone: weights, opacity, amount and a picked colour");
        CheckOkUndoRedoAndReplay<CToneMakerDlg>(
            [](DialogWorld& w, CToneMakerDlg& d) {
                d.WeightBar().SetShares(50, 20, 30);
                Send(w, &d, MSG_BLENDER_CHANGED, 0);
                SetSlider(d, CToneMakerDlg::kOpacityId, 70);
                SetSlider(d, CToneMakerDlg::kAmountId, 60);
                d.m_pickColour = [](uint16_t c[4]) {
                    c[0] = 9000, c[1] = 30000, c[2] = 52000, c[3] = 65535;
                    return 1;
                };
                Send(w, &d, MSG_PANEL_CLICK, CToneMakerDlg::kToneButtonFirst + 2);
            },
            48);
    }
}

TEST(ToneDialogs, ColourAdjustmentRecordAtOpeningAndModeSwitching)
{
    DialogWorld w;
    ImageBuffer16 picture{};
    FillPhoto(picture, 30, 20);
    w.OpenDocument(picture, true);
    auto d = OpenDialog<CColorAdjDlg>(CColorAdjDlg::kTemplateId);
    ASSERT_NE(d, nullptr);
    EXPECT_FALSE(d->JobInFlight()) << "the preview starts at the first change";
    EXPECT_FALSE(d->RangeSelector().Enabled());
    const SRect check = Check(*d, CColorAdjDlg::kRangeCheckId)->Rect();
    const SRect range = d->RangeSelector().Rect();
    EXPECT_EQ(range.left, check.left + 20);
    EXPECT_EQ(range.right, check.right - 10);
    EXPECT_EQ(range.top, check.bottom + 10);
    EXPECT_EQ(range.Height(), 32);

    // Enables and swatches per mode: balance sliders in mode 1, the other three in mode 0.
    struct Case {
        int32_t radio;
        int mode;
        uint8_t level;
    };
    for (const Case& c : {Case{CColorAdjDlg::kBalanceModeId, 1, 200}, Case{CColorAdjDlg::kHslModeId, 0, 64}}) {
        SCOPED_TRACE(c.mode);
        Send(w, d.get(), MSG_CHECK, c.radio, 1);
        WaitForPreview(w, *d);
        EXPECT_EQ(d->Mode(), c.mode);
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(FindSlider(*d, CColorAdjDlg::kSliderIds[i])->Enabled() != 0, (i < 3) == (c.mode == 1)) << i;
        char16_t text[8];
        Check(*d, CColorAdjDlg::kBalanceModeId)->GetText(text, 8, 0);
        EXPECT_EQ(std::u16string(text), c.mode == 1 ? u"1" : u"0");
        Drawn drawn;
        DrawWhole(*d, drawn);
        const ImageBuffer8& image = drawn.image;
        ASSERT_NE(image.data, nullptr);
        // Left red, green, blue; right cyan, magenta, yellow (B, G, R).
        const uint8_t v = c.level;
        const uint8_t expected[6][3] = {{0, 0, v}, {0, v, 0}, {v, 0, 0}, {v, v, 0}, {v, 0, v}, {0, v, v}};
        for (int i = 0; i < 6; ++i) {
            const SRect r = d->SwatchRect(i);
            EXPECT_EQ(r.Width(), 20);
            const uint8_t* p = PixelAt(image, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
            EXPECT_EQ(std::vector<uint8_t>(p, p + 4), (std::vector<uint8_t>{expected[i][0], expected[i][1], expected[i][2], 255}))
                << "swatch " << i;
        }
    }
    // Unchecking the range keeps its markers in the record.
    Check(*d, CColorAdjDlg::kRangeCheckId)->SetText(u"1");
    Send(w, d.get(), MSG_CHECK, CColorAdjDlg::kRangeCheckId, 1);
    EXPECT_TRUE(d->RangeSelector().Enabled());
    d->RangeSelector().m_markers[0] = 1234;
    Check(*d, CColorAdjDlg::kRangeCheckId)->SetText(u"0");
    Send(w, d.get(), MSG_CHECK, CColorAdjDlg::kRangeCheckId, 0);
    EXPECT_FALSE(d->RangeSelector().Enabled());
    WaitForPreview(w, *d);
    EXPECT_EQ(d->m_params.rangeOn, 0);
    EXPECT_EQ(d->m_params.range[0], 1234);
    d->OnCancel();
    EXPECT_TRUE(SameBytes(w.Layer(), picture));
    FreeImageBuffer(picture);
}

TEST(ToneDialogs, ColourAdjustmentOkWithoutChangesAndApply)
{
    DialogWorld w;
    ImageBuffer16 picture{};
    FillPhoto(picture, 20, 20);
    w.OpenDocument(picture, true);
    {
        auto d = OpenDialog<CColorAdjDlg>(CColorAdjDlg::kTemplateId);
        ASSERT_NE(d, nullptr);
        d->OnOK();
        ASSERT_EQ(d->Result(), 1);
        std::vector<uint8_t> expected(56, 0);
        expected[0] = 56;
        const int32_t markers[4] = {35000, 39000, 43000, 46000};
        for (int i = 0; i < 4; ++i)
            Put(expected, 36 + 4 * size_t(i), markers[i]);
        const HistoryStep& step = w.history.steps.back();
        EXPECT_EQ(step.tag, 20);
        EXPECT_EQ(StepBytes(step), expected);
        EXPECT_TRUE(SameBytes(w.Layer(), picture)) << "nothing changed";
    }
    {
        auto d = OpenDialog<CColorAdjDlg>(CColorAdjDlg::kTemplateId);
        ASSERT_NE(d, nullptr);
        SetSlider(*d, CColorAdjDlg::kSaturationId, -60);
        WaitForPreview(w, *d);
        ASSERT_TRUE(d->Apply());
        for (int32_t id : CColorAdjDlg::kSliderIds)
            EXPECT_EQ(FindSlider(*d, id)->Value(), 0);
        w.t.Pump();
        EXPECT_FALSE(d->JobInFlight()) << "no slider message, no new preview";
        EXPECT_TRUE(SameBytes(d->BackupImage(), w.Layer()));
        d->OnOK();
        EXPECT_EQ(w.history.steps.back().tag, 0) << "after Apply the step cannot be replayed";
        EXPECT_EQ(w.history.steps.back().payloadLength, 0);
    }
    FreeImageBuffer(picture);
}

TEST(ToneDialogs, ToneRecordAtOpeningNeutralStripAndPicking)
{
    DialogWorld w;
    ImageBuffer16 picture{};
    FillPhoto(picture, 24, 18);
    w.OpenDocument(picture, true);
    auto d = OpenDialog<CToneMakerDlg>(CToneMakerDlg::kTemplateId);
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(d->JobInFlight()) << "the tone dialog previews at once";
    WaitForPreview(w, *d);

    // The default reference colours are greys: the strip is a grey ramp, darkest on the left.
    ImageBuffer8 strip = d->TonePanel().StripCopy();
    ASSERT_NE(strip.data, nullptr);
    const SRect panel = d->TonePanel().Rect();
    EXPECT_EQ(strip.width, panel.Width() - 2);
    EXPECT_EQ(strip.height, panel.Height() - 52);
    int previous = -1;
    for (int x = 0; x < strip.width; ++x) {
        const uint8_t* p = PixelAt(strip, x, strip.height / 2);
        ASSERT_EQ(p[0], p[1]) << x;
        ASSERT_EQ(p[1], p[2]) << x;
        ASSERT_GE(int(p[0]), previous) << x;
        previous = p[0];
    }
    EXPECT_LT(PixelAt(strip, 0, 0)[0], 40);
    EXPECT_GT(PixelAt(strip, strip.width - 1, 0)[0], 215);
    FreeImageBuffer(strip);
    // The panel draws the strip as it was built.
    Drawn panelImage;
    DrawWhole(d->TonePanel(), panelImage);
    const ImageBuffer8& drawn = panelImage.image;
    strip = d->TonePanel().StripCopy();
    ASSERT_NE(drawn.data, nullptr);
    for (int x : {0, strip.width / 3, strip.width - 1})
        EXPECT_EQ(std::memcmp(PixelAt(drawn, x + 1, 5), PixelAt(strip, x, 4), 4), 0) << x;
    FreeImageBuffer(strip);

    // A cancelled picker keeps the colour; a chosen one tints the highlights of the strip.
    d->m_pickColour = [](uint16_t c[4]) {
        c[0] = 1; // a cancelled picker must not leave this
        return 0;
    };
    Send(w, d.get(), MSG_PANEL_CLICK, CToneMakerDlg::kToneButtonFirst);
    EXPECT_EQ(d->Colour(0), (std::array<uint16_t, 4>{15000, 15000, 15000, 65535}));
    d->m_pickColour = [](uint16_t c[4]) {
        c[0] = 0, c[1] = 20000, c[2] = 60000, c[3] = 65535;
        return 1;
    };
    Send(w, d.get(), MSG_PANEL_CLICK, CToneMakerDlg::kToneButtonFirst + 2);
    EXPECT_EQ(d->Colour(2), (std::array<uint16_t, 4>{0, 20000, 60000, 65535}));
    strip = d->TonePanel().StripCopy();
    const uint8_t* bright = PixelAt(strip, strip.width - 1, 0);
    EXPECT_GT(int(bright[2]), int(bright[0]) + 40) << "the highlights lean to red";
    FreeImageBuffer(strip);
    WaitForPreview(w, *d);

    // The help button tells what the reference colours are for.
    Send(w, d.get(), MSG_COMMAND, CToneMakerDlg::kHelpId);
    EXPECT_EQ(w.Count(u"refColorTip"), 1);

    d->OnOK();
    ASSERT_EQ(d->Result(), 1);
    std::vector<uint8_t> expected(48, 0);
    expected[0] = 48;
    Put(expected, 4, int32_t(31));
    Put(expected, 8, int32_t(60));
    Put(expected, 12, int32_t(9));
    Put(expected, 16, int32_t(100));
    Put(expected, 20, int32_t(20));
    const uint16_t colours[3][4] = {{15000, 15000, 15000, 65535}, {32768, 32768, 32768, 65535}, {0, 20000, 60000, 65535}};
    for (int i = 0; i < 3; ++i)
        for (int c = 0; c < 4; ++c)
            Put(expected, 24 + 8 * size_t(i) + 2 * size_t(c), colours[i][c]);
    EXPECT_EQ(w.history.steps.back().tag, 21);
    EXPECT_EQ(StepBytes(w.history.steps.back()), expected);
    FreeImageBuffer(picture);
}

TEST(ToneDialogs, LaunchersOpenEachDialogAndCancelLeavesTheLayer)
{
    for (int id : {12007, 12008}) {
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

// ---- the bars ----

namespace {

struct BarFixture {
    DialogWorld w;
    TestSprite* parent = nullptr;
    CRGBBlender* bar = nullptr;

    template <class Bar = CRGBBlender>
    bool Make(int width, int height = 20)
    {
        parent = new TestSprite(0xFF202020, true);
        parent->SetAutoDelete(1);
        if (!parent->Create(nullptr, w.t.window.get(), 0, 10, 0, 0, 400, 100))
            return false;
        w.t.window->AddTopLevel(parent);
        bar = new Bar;
        bar->SetAutoDelete(1);
        if (!bar->Create(parent, nullptr, 9991, 1, 0, 0, width, height))
            return false;
        parent->AddChild(bar);
        return true;
    }
    int Changes()
    {
        w.t.Pump();
        return int(std::count(parent->codes.begin(), parent->codes.end(), MSG_BLENDER_CHANGED));
    }
    void Drag(int from, int to, bool release = true)
    {
        bar->OnMouseMove(from, 10, 0);
        bar->OnLButtonDown(from, 10, 0);
        bar->OnMouseMove(to, 10, 0);
        if (release)
            bar->OnLButtonUp(to, 10, 0);
    }
};

} // namespace

TEST(ColourBars, NormaliseTable)
{
    struct Case {
        BlenderShares in, out;
    };
    const BlenderShares defaults{31, 60, 9};
    const Case cases[] = {
        {{31, 60, 9}, {31, 60, 9}},
        {{40, 40, 40}, {33, 33, 34}},
        {{1, 1, 0}, {50, 50, 0}},
        {{0, 0, 0}, {31, 60, 9}},     // nothing to scale: the defaults
        {{-5, 50, 55}, {31, 60, 9}},  // a negative share: the defaults
        {{200, 0, 0}, {100, 0, 0}},
    };
    for (const Case& c : cases) {
        const BlenderShares n = CRGBBlender::Normalise(c.in, defaults);
        EXPECT_EQ(std::make_tuple(n.first, n.middle, n.last), std::make_tuple(c.out.first, c.out.middle, c.out.last))
            << c.in.first << " " << c.in.middle << " " << c.in.last;
    }
}

TEST(ColourBars, DragsStopAtTheOtherDividerAndTellTheParent)
{
    BarFixture f;
    ASSERT_TRUE(f.Make(200));
    f.bar->SetShares(40, 40, 40);
    Drawn drawn;
    DrawWhole(*f.bar, drawn);
    const ImageBuffer8& image = drawn.image;
    ASSERT_NE(image.data, nullptr);
    EXPECT_EQ(f.bar->DividerX(1), 66);
    EXPECT_EQ(f.bar->DividerX(2), 132);
    // Bands: dark red, green, blue (away from the handles).
    EXPECT_EQ(PixelAt(image, 30, 1)[2], 0x5A);
    EXPECT_EQ(PixelAt(image, 100, 1)[1], 0x5A);
    EXPECT_EQ(PixelAt(image, 170, 1)[0], 0x5A);

    // The first divider past the second stops there: the middle share becomes 0.
    f.Drag(66, 190);
    EXPECT_EQ(f.bar->Dragging(), 0);
    EXPECT_EQ(f.bar->DividerX(1), 132);
    BlenderShares s = f.bar->Shares();
    EXPECT_EQ(std::make_tuple(s.first, s.middle, s.last), std::make_tuple(66, 0, 34));
    EXPECT_EQ(f.Changes(), 1);
    // The second divider to the right edge: the last share becomes 0.
    f.bar->SetShares(31, 60, 9);
    {
        Drawn once;
        DrawWhole(*f.bar, once);
    }
    f.Drag(182, 400);
    s = f.bar->Shares();
    EXPECT_EQ(std::make_tuple(s.first, s.middle, s.last), std::make_tuple(31, 69, 0));
    EXPECT_EQ(f.Changes(), 2);
    // Away from the dividers nothing is dragged.
    f.Drag(120, 10);
    EXPECT_EQ(f.Changes(), 2);
    s = f.bar->Shares();
    EXPECT_EQ(s.first, 31);
}

TEST(ColourBars, LostCaptureTellsTheParentOnlyWhenTheDragChangedSomething)
{
    BarFixture f;
    ASSERT_TRUE(f.Make(200));
    {
        Drawn once;
        DrawWhole(*f.bar, once);
    }
    f.Drag(62, 100, false);
    ASSERT_EQ(f.bar->Dragging(), 1);
    f.bar->OnCaptureReleased();
    EXPECT_EQ(f.bar->Dragging(), 0);
    EXPECT_EQ(f.bar->Shares().first, 50);
    EXPECT_EQ(f.Changes(), 1) << "the owner learns the new shares";
    {
        Drawn once;
        DrawWhole(*f.bar, once);
    }
    f.Drag(100, 100, false);
    f.bar->OnCaptureReleased();
    EXPECT_EQ(f.Changes(), 1) << "nothing changed, nothing told";
}

TEST(ColourBars, ColourBarGradientFrameAndTouchingDividers)
{
    BarFixture f;
    ASSERT_TRUE(f.Make<CColorBlender>(100));
    auto* bar = static_cast<CColorBlender*>(f.bar);
    EXPECT_EQ(bar->Shares().first, 33);
    EXPECT_EQ(bar->Shares().last, 34);
    const uint16_t black[4] = {0, 0, 0, 65535}, white[4] = {65535, 65535, 65535, 65535};
    bar->SetColours(black, white);
    Drawn drawn;
    DrawWhole(*bar, drawn);
    const ImageBuffer8& image = drawn.image;
    ASSERT_NE(image.data, nullptr);
    EXPECT_EQ(PixelAt(image, 0, 0)[0], 0xE6) << "frame";
    EXPECT_EQ(PixelAt(image, 99, 19)[0], 0xE6) << "frame";
    EXPECT_EQ(PixelAt(image, 10, 2)[0], 0) << "from colour";
    EXPECT_EQ(PixelAt(image, 90, 2)[0], 255) << "to colour";
    const int mid = PixelAt(image, 50, 2)[0];
    EXPECT_GT(mid, 100);
    EXPECT_LT(mid, 160);
    // Both dividers at one place: the two colours only, no gradient and no division by zero.
    bar->SetShares(50, 0, 50);
    DrawWhole(*bar, drawn);
    EXPECT_EQ(PixelAt(image, 30, 2)[0], 0);
    EXPECT_EQ(PixelAt(image, 51, 2)[0], 255);
}

TEST(ColourBars, ADamagedHandlePictureFailsTheBarAndWidthZeroDrawsNothing)
{
    {
        BarFixture f;
        ASSERT_TRUE(f.Make(0));
        EXPECT_EQ(f.bar->OnDraw(1), 0);
        f.Drag(0, 50);
        EXPECT_EQ(f.Changes(), 0);
    }
    {
        DialogWorld w;
        SetUiImageSource([](UiImageFolder, const char16_t* name, ImageBuffer8& out) {
            if (std::u16string_view(name) == u"rgbblend.png")
                return AllocImage8(out, 5, 3) ? 1 : 0; // the wrong size
            return 0;
        });
        ResetSharedUiImages();
        CRGBBlender bar;
        EXPECT_FALSE(bar.Create(nullptr, w.t.window.get(), 1, 1, 0, 0, 100, 20));
        SetUiImageSource([](UiImageFolder, const char16_t*, ImageBuffer8&) { return 0; });
        CRGBBlender missing;
        EXPECT_FALSE(missing.Create(nullptr, w.t.window.get(), 1, 1, 0, 0, 100, 20));
        SetUiImageSource(&ProgramFolderImage);
        ResetSharedUiImages();
    }
}
