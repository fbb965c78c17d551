// Graduated filter dialog: the record at opening, OK/undo/redo with the record replayed through
// step 31, the colour pair across mode switches, colour buttons only in the colour gradient, the
// preview disc's probes and the launcher.
#include "algorithms/SchemeSteps.h"
#include "dialogs/GradientDialog.h"
#include "dialogs/Launchers.h"
#include "dialogs/SliderDialogSupport.h"
#include "imaging/ColourTables.h"

#include "DialogTestSupport.h"

using namespace dialogtest;

namespace {

void WaitForPreview(DialogWorld& w, CFilterDialog& d)
{
    w.t.Pump();
    ASSERT_TRUE(w.PumpUntil([&] { return !d.JobInFlight() && !theAlgorithmThread.IsBusy(); }));
    w.t.Pump();
    ASSERT_TRUE(w.PumpUntil([&] { return !d.JobInFlight(); }));
}

template <class T>
void Put(std::vector<uint8_t>& v, size_t at, T value)
{
    std::memcpy(v.data() + at, &value, sizeof value);
}

std::array<uint8_t, 3> DiscPixel(const ImageBuffer8& disc, int x, int y)
{
    const uint8_t* p = disc.data + (size_t(y) * size_t(disc.width) + size_t(x)) * 4;
    return {p[0], p[1], p[2]};
}

} // namespace

TEST(GradientDialog, OkAtOpeningRecordsTheStartValues)
{
    DialogWorld w;
    ImageBuffer16 picture{};
    FillPattern(picture, 40, 30);
    w.OpenDocument(picture, true);
    auto d = OpenDialog<CGradientDlg>(CGradientDlg::kTemplateId);
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(d->JobInFlight()) << "the preview starts at once";
    WaitForPreview(w, *d);
    d->OnOK();
    ASSERT_EQ(d->Result(), 1);
    std::vector<uint8_t> expected(48, 0);
    expected[0] = 48;
    Put(expected, 4, int32_t(1));
    Put(expected, 8, -1.0);
    const uint16_t colours[8] = {0, 0, 0, 65535, 65525, 65525, 65525, 65535};
    for (int i = 0; i < 8; ++i)
        Put(expected, 16 + 2 * size_t(i), colours[i]);
    Put(expected, 32, int32_t(50));
    Put(expected, 36, int32_t(0));
    Put(expected, 40, int32_t(33));
    Put(expected, 44, int32_t(66));
    const HistoryStep& step = w.history.steps.back();
    EXPECT_EQ(step.tag, 31);
    EXPECT_EQ(std::vector<uint8_t>(step.PayloadData(), step.PayloadData() + step.payloadLength), expected);
    FreeImageBuffer(picture);
}

TEST(GradientDialog, OkUndoRedoAndTheRecordReplayedThroughStep31)
{
    struct Case {
        const char* what;
        bool colour;
        bool oneLayer;
    };
    for (const Case& c : {Case{"black and white at 30 degrees", false, false}, Case{"colour gradient", true, false},
                          Case{"one pixel, one layer (kind 255)", true, true}}) {
        SCOPED_TRACE(c.what);
        DialogWorld w;
        ImageBuffer16 opening{};
        FillPattern(opening, c.oneLayer ? 1 : 50, c.oneLayer ? 1 : 36);
        w.OpenDocument(opening, !c.oneLayer);
        auto d = OpenDialog<CGradientDlg>(CGradientDlg::kTemplateId);
        ASSERT_NE(d, nullptr);
        if (c.colour)
            Send(w, d.get(), MSG_CHECK, CGradientDlg::kColourGradientId, 1);
        FindSlider(*d, CGradientDlg::kRotateId)->SetValue(30, 1);
        FindSlider(*d, CGradientDlg::kAmountId)->SetValue(80, 1);
        WaitForPreview(w, *d);
        d->OnOK();
        ASSERT_EQ(d->Result(), 1);
        ImageBuffer16 result{};
        ASSERT_TRUE(CopyImage16(result, w.Layer()));
        EXPECT_FALSE(SameBytes(result, opening));
        const HistoryStep& step = w.history.steps.back();
        EXPECT_EQ(step.kind, c.oneLayer ? kHistoryDocument : kHistoryLayer);
        EXPECT_EQ(step.tag, 31);
        ASSERT_EQ(step.payloadLength, 48);
        const std::vector<uint8_t> bytes(step.PayloadData(), step.PayloadData() + 48);
        SchemeStepRecord record;
        ASSERT_EQ(ReadSchemeStep(31, bytes.data(), bytes.size(), record), StepReadResult::Ok);
        std::vector<uint8_t> again;
        ASSERT_TRUE(WriteSchemeStep(31, record, again));
        EXPECT_EQ(again, bytes);
        ImageBuffer16 replayed{};
        ASSERT_TRUE(ReplaySchemeStep(31, bytes.data(), bytes.size(), opening, replayed));
        EXPECT_TRUE(SameBytes(replayed, result));
        ASSERT_TRUE(w.history.GoToStep(w.history.current - 1, StepReplay::Force));
        EXPECT_TRUE(SameBytes(w.Layer(), opening)) << "undo";
        ASSERT_TRUE(w.history.GoToStep(w.history.current + 1, StepReplay::Force));
        EXPECT_TRUE(SameBytes(w.Layer(), result)) << "redo";
        for (ImageBuffer16* b : {&opening, &result, &replayed})
            FreeImageBuffer(*b);
    }
}

TEST(GradientDialog, ModesKeepTheColourPairAndColourButtonsWorkOnlyInTheColourGradient)
{
    DialogWorld w;
    ImageBuffer16 picture{};
    FillPattern(picture, 30, 30);
    w.OpenDocument(picture, true);
    auto d = OpenDialog<CGradientDlg>(CGradientDlg::kTemplateId);
    ASSERT_NE(d, nullptr);
    int picks = 0;
    d->m_pickColour = [&picks](uint16_t c[4]) {
        ++picks;
        c[0] = 1000, c[1] = 50000, c[2] = 2000, c[3] = 65535;
        return 1;
    };
    // In black and white a colour button does nothing.
    Send(w, d.get(), MSG_PANEL_CLICK, CGradientDlg::kFromButtonId);
    EXPECT_EQ(picks, 0);
    EXPECT_TRUE(FindSlider(*d, CGradientDlg::kExposureId)->Enabled());
    // Black and white again while in it keeps the stored pair (red, blue).
    Send(w, d.get(), MSG_CHECK, CGradientDlg::kBlackWhiteId, 1);
    EXPECT_EQ(d->Bar().From(), (std::array<uint16_t, 4>{0, 0, 0, 65535}));
    EXPECT_EQ(d->Bar().To(), (std::array<uint16_t, 4>{65535, 65535, 65535, 65535}));
    Send(w, d.get(), MSG_CHECK, CGradientDlg::kColourGradientId, 1);
    EXPECT_EQ(d->Mode(), 0);
    EXPECT_EQ(d->Bar().From(), (std::array<uint16_t, 4>{0, 0, 65535, 65535})) << "red";
    EXPECT_EQ(d->Bar().To(), (std::array<uint16_t, 4>{65535, 0, 0, 65535})) << "blue";
    EXPECT_FALSE(FindSlider(*d, CGradientDlg::kExposureId)->Enabled());
    // A picked colour becomes the bar's and the stored one; through black and white and back.
    Send(w, d.get(), MSG_PANEL_CLICK, CGradientDlg::kToButtonId);
    EXPECT_EQ(picks, 1);
    const std::array<uint16_t, 4> green{1000, 50000, 2000, 65535};
    EXPECT_EQ(d->Bar().To(), green);
    Send(w, d.get(), MSG_CHECK, CGradientDlg::kBlackWhiteId, 1);
    Send(w, d.get(), MSG_CHECK, CGradientDlg::kBlackWhiteId, 1);
    Send(w, d.get(), MSG_CHECK, CGradientDlg::kColourGradientId, 1);
    EXPECT_EQ(d->Bar().From(), (std::array<uint16_t, 4>{0, 0, 65535, 65535}));
    EXPECT_EQ(d->Bar().To(), green);
    WaitForPreview(w, *d);
    // Apply: the start values, the exposure at 0.
    ASSERT_TRUE(d->Apply());
    WaitForPreview(w, *d);
    EXPECT_EQ(d->Mode(), 1);
    EXPECT_EQ(FindSlider(*d, CGradientDlg::kExposureId)->Value(), 0);
    EXPECT_EQ(d->StoredColour(1), (std::array<uint16_t, 4>{65535, 0, 0, 65535}));
    d->OnCancel();
    EXPECT_TRUE(SameBytes(w.Layer(), picture));
    FreeImageBuffer(picture);
}

TEST(GradientDialog, PreviewDiscProbes)
{
    BuildGammaTables(); // the disc's colours go through them, as in the running program
    GradientParams r;
    r.mode = 0;
    const uint16_t red[4] = {0, 0, 65535, 65535}, blue[4] = {65535, 0, 0, 65535};
    std::memcpy(r.colour1, red, sizeof red);
    std::memcpy(r.colour2, blue, sizeof blue);
    r.amount = 100;
    struct Case {
        int angle, start, end;
        int x1, y1; // from colour
        int x2, y2; // to colour
    };
    // 100 x 100: centre (50, 50), radius 45.
    const Case cases[] = {
        {0, 33, 66, 50, 10, 50, 90},  // top to bottom
        {90, 33, 66, 10, 50, 90, 50}, // left to right
        {90, 50, 50, 48, 50, 52, 50}, // no middle: a hard edge at the start share
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.angle);
        r.angle = c.angle;
        r.start = c.start;
        r.end = c.end;
        ImageBuffer8 disc{};
        ASSERT_TRUE(CGradientDlg::DrawDisc(100, 100, r, 0, disc));
        // The colour lies over the checker with weight amount / 255: red leads on the from
        // side, blue on the to side.
        const auto from = DiscPixel(disc, c.x1, c.y1), to = DiscPixel(disc, c.x2, c.y2);
        EXPECT_GT(int(from[2]), int(from[0]) + 50) << "from: red";
        EXPECT_GT(int(to[0]), int(to[2]) + 50) << "to: blue";
        EXPECT_EQ(DiscPixel(disc, 95, 50), (std::array<uint8_t, 3>{0x40, 0x40, 0x40})) << "ring";
        EXPECT_EQ(DiscPixel(disc, 1, 1), (std::array<uint8_t, 3>{0xDC, 0xDC, 0xDC})) << "checker";
        FreeImageBuffer(disc);
    }
    // Black and white at -1 Ev darkens the checker to half.
    r.mode = 1;
    ImageBuffer8 disc{};
    ASSERT_TRUE(CGradientDlg::DrawDisc(100, 100, r, -10, disc));
    EXPECT_EQ(DiscPixel(disc, 1, 1)[0], 0xDC / 2);
    FreeImageBuffer(disc);
    // No radius: nothing drawn.
    EXPECT_FALSE(CGradientDlg::DrawDisc(10, 10, r, 0, disc));
    EXPECT_EQ(disc.data, nullptr);
}

TEST(GradientDialog, LauncherOpensItAndCancelLeavesTheLayer)
{
    DialogWorld w;
    ImageBuffer16 picture{};
    FillPattern(picture, 24, 24);
    w.OpenDocument(picture);
    EXPECT_TRUE(HasEditorDialog(13012));
    w.t.Input().InjectKey(platform::vk::Escape, true);
    w.t.Input().InjectKey(platform::vk::Escape, false);
    EXPECT_EQ(RunEditorDialog(13012, 0), 2);
    EXPECT_TRUE(SameBytes(w.Layer(), picture));
    EXPECT_EQ(w.history.steps.size(), 1u);
    FreeImageBuffer(picture);
}
