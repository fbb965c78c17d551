// Tone-curve dialog: OK with undo and redo, the record's bytes (265 and 793), its round trip and
// its replay within the control values' bound; channels keeping their points; the automatic
// curves; the bit-mode question; Apply resetting every curve; the picker; the preview equal to
// the algorithm run directly; the launcher.
#include "algorithms/SchemeSteps.h"
#include "algorithms/ToneLut.h"
#include "dialogs/CurveDialog.h"
#include "dialogs/Launchers.h"

#include "DialogTestSupport.h"

#include <random>

using namespace dialogtest;

namespace {

void FillPhoto(ImageBuffer16& image, int width, int height, int lo = 0, int hi = 65535)
{
    ASSERT_TRUE(AllocImage16(image, width, height));
    std::mt19937 rng(5);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint16_t* p = image.data + (size_t(y) * width + x) * 4;
            for (int c = 0; c < 3; ++c)
                p[c] = uint16_t(lo + (int64_t(x * 977 + y * 1231 + c * 20011) * 13 + rng() % 3000) % (hi - lo + 1));
            p[3] = 0xFFFF;
        }
}

void WaitForPreview(DialogWorld& w, CFilterDialog& d)
{
    w.t.Pump();
    ASSERT_TRUE(w.PumpUntil([&] { return !d.JobInFlight() && !theAlgorithmThread.IsBusy(); }));
    w.t.Pump();
    ASSERT_TRUE(w.PumpUntil([&] { return !d.JobInFlight(); }));
}

// Drags point `index` of the box to a box pixel and lets the dialog handle the change.
void DragPoint(DialogWorld& w, CCurveDlg& d, int index, int toX, int toY)
{
    CCurveBox& box = d.Box();
    const SPoint p = box.PointPosition(box.Points()[size_t(index)]);
    box.OnMouseMove(p.x, p.y, 0);
    ASSERT_EQ(box.HitIndex(), index);
    box.OnLButtonDown(p.x, p.y, 0);
    box.OnMouseMove(toX, toY, 0);
    box.OnLButtonUp(toX, toY, 0);
    w.t.Pump();
}

void AddPointAt(CCurveDlg& d, int input)
{
    CCurveBox& box = d.Box();
    const SRect pr = box.PlotRect();
    // The pixel whose input is nearest, on the curve.
    int x = pr.left;
    while (x < pr.right && box.InputFromX(x) < input)
        ++x;
    const CurvePoint probe = MakeCurvePoint(box.InputFromX(x), box.LookupTable()[box.InputFromX(x)], kPointFree);
    const SPoint p = box.PointPosition(probe);
    box.OnMouseMove(p.x, p.y, 0);
    box.OnLButtonDown(p.x, p.y, 0);
    box.OnLButtonUp(p.x, p.y, 0);
}

int MaxChannelDifference(const ImageBuffer16& a, const ImageBuffer16& b)
{
    int worst = 0;
    for (size_t i = 0; i < size_t(a.pixelCount) * 4; ++i)
        worst = std::max(worst, std::abs(int(a.data[i]) - int(b.data[i])));
    return worst;
}

// How far the stored control values' curve departs from the dialog's table.
int ControlValueBound(const uint16_t* table)
{
    CurveControlValues values;
    CurveToControlValues(table, values);
    std::vector<uint16_t> back(kToneLutSize);
    ControlValuesToCurve(back.data(), values);
    int worst = 0;
    for (int i = 0; i < kToneLutSize; ++i)
        worst = std::max(worst, std::abs(int(back[size_t(i)]) - int(table[i])));
    return worst;
}

bool IsIdentity(const uint16_t* table)
{
    for (int i = 0; i < kToneLutSize; ++i)
        if (table[i] != i)
            return false;
    return true;
}

} // namespace

TEST(CurveDialog, OkUndoRedoAndTheRecordReplayedWithinItsBound)
{
    struct Case {
        const char* what;
        int channel;      // shown at OK
        size_t bytes;     // record length
        bool change;      // an edited curve
    };
    const Case cases[] = {
        {"no change: mode 0 and the identity", 0, 265, false},
        {"RGB curve", 0, 265, true},
        {"red curve: three curves", 1, 793, true},
        {"luminance curve", 4, 265, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DialogWorld w;
        ImageBuffer16 opening{};
        FillPhoto(opening, 53, 37);
        w.OpenDocument(opening, true);
        auto d = OpenDialog<CCurveDlg>(CCurveDlg::kTemplateId);
        ASSERT_NE(d, nullptr);
        WaitForPreview(w, *d);
        if (c.channel)
            Send(w, d.get(), MSG_MENU_COMMAND, CCurveDlg::kMenuChannelFirst + c.channel);
        if (c.change) {
            AddPointAt(*d, 40000);
            ASSERT_EQ(d->Box().Points().size(), 3u);
            const SRect pr = d->Box().PlotRect();
            DragPoint(w, *d, 1, d->Box().PointPosition(d->Box().Points()[1]).x, pr.top + pr.Height() / 4);
        }
        WaitForPreview(w, *d);
        const bool identity = IsIdentity(d->ChannelTable(c.channel));
        EXPECT_EQ(identity, !c.change);
        d->OnOK();
        ASSERT_EQ(d->Result(), 1);
        ImageBuffer16 result{};
        ASSERT_TRUE(CopyImage16(result, w.Layer()));
        EXPECT_EQ(SameBytes(result, opening), !c.change);

        ASSERT_EQ(w.history.steps.size(), 2u);
        const HistoryStep& step = w.history.steps[1];
        EXPECT_EQ(step.tag, 22);
        ASSERT_EQ(size_t(step.payloadLength), c.bytes);
        const std::vector<uint8_t> bytes(step.PayloadData(), step.PayloadData() + step.payloadLength);
        EXPECT_EQ(bytes[0], c.channel);
        if (!c.change) {
            for (int k = 0; k < kCurveControlCount; ++k)
                ASSERT_EQ(bytes[size_t(1 + 2 * k)] | bytes[size_t(2 + 2 * k)] << 8, CurveKnot(k)) << k;
        }
        SchemeStepRecord record;
        ASSERT_EQ(ReadSchemeStep(22, bytes.data(), bytes.size(), record), StepReadResult::Ok);
        std::vector<uint8_t> again;
        ASSERT_TRUE(WriteSchemeStep(22, record, again));
        EXPECT_EQ(again, bytes);
        ImageBuffer16 replayed{};
        ASSERT_TRUE(ReplaySchemeStep(22, bytes.data(), bytes.size(), opening, replayed));
        int bound = 0;
        for (int t = 0; t < (c.channel >= 1 && c.channel <= 3 ? 3 : 1); ++t)
            bound = std::max(bound, ControlValueBound(d->ChannelTable(c.channel == 0 || c.channel == 4 ? c.channel : 1 + t)));
        EXPECT_LE(bound, 321) << "within the largest difference written down";
        // Luminance moves every channel by the same ratio, so allow for the ratio's spread.
        const int allowed = c.channel == 4 ? bound * 2 + 2 : bound;
        EXPECT_LE(MaxChannelDifference(replayed, result), allowed) << "replay within the bound";
        if (!c.change) {
            EXPECT_TRUE(SameBytes(replayed, result));
        }

        ASSERT_TRUE(w.history.GoToStep(w.history.current - 1, StepReplay::Force));
        EXPECT_TRUE(SameBytes(w.Layer(), opening)) << "undo";
        ASSERT_TRUE(w.history.GoToStep(w.history.current + 1, StepReplay::Force));
        EXPECT_TRUE(SameBytes(w.Layer(), result)) << "redo";
        for (ImageBuffer16* b : {&opening, &result, &replayed})
            FreeImageBuffer(*b);
    }
}

TEST(CurveDialog, ChannelsKeepTheirPointsAndTheRecordCarriesTheThreeColourCurves)
{
    DialogWorld w;
    ImageBuffer16 picture{};
    FillPhoto(picture, 30, 20);
    w.OpenDocument(picture);
    auto d = OpenDialog<CCurveDlg>(CCurveDlg::kTemplateId);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->Box().BitMode(), kCurveEdit8Bit) << "editing starts in 8 bits";
    Send(w, d.get(), MSG_MENU_COMMAND, CCurveDlg::kMenuChannelFirst + 1);
    EXPECT_EQ(d->Box().HistogramColour(), 0xFF500000u);
    const SRect pr = d->Box().PlotRect();
    DragPoint(w, *d, 0, pr.left, pr.top + pr.Height() / 2); // up the left edge
    const std::vector<CurvePoint> red = d->Box().Points();
    ASSERT_EQ(red[0].x, 0);
    ASSERT_GT(red[0].y, 0);
    Send(w, d.get(), MSG_MENU_COMMAND, CCurveDlg::kMenuChannelFirst + 2);
    EXPECT_EQ(d->Box().Points()[0].y, 0) << "green has its own points";
    EXPECT_EQ(d->Box().HistogramColour(), 0xFF005000u);
    Send(w, d.get(), MSG_MENU_COMMAND, CCurveDlg::kMenuChannelFirst + 1);
    ASSERT_EQ(d->Box().Points().size(), red.size());
    EXPECT_EQ(d->Box().Points()[0].y, red[0].y) << "red kept";
    WaitForPreview(w, *d);
    d->OnOK();
    const HistoryStep& step = w.history.steps.back();
    ASSERT_EQ(step.payloadLength, 793);
    SchemeStepRecord record;
    ASSERT_EQ(ReadSchemeStep(22, step.PayloadData(), 793, record), StepReadResult::Ok);
    const CurveStep& curves = std::get<CurveStep>(record);
    EXPECT_EQ(curves.mode, 1);
    EXPECT_GT(curves.curves[0][0], 0) << "red lifted at black";
    for (int c : {1, 2})
        for (int k = 0; k < kCurveControlCount; ++k)
            ASSERT_EQ(curves.curves[size_t(c)][size_t(k)], CurveKnot(k)) << "green and blue untouched";
    FreeImageBuffer(picture);
}

TEST(CurveDialog, AutomaticLevelsFindTheRangeAndSmallPicturesKeepTheIdentity)
{
    struct Case {
        const char* what;
        int width, height;
        bool sixteenBit;
        int black, white;
    };
    const Case cases[] = {
        {"values 4000..40000, 8-bit editing: levels in gamma space", 20, 20, false, 4000, 40000},
        {"values 4000..40000, 16-bit editing: linear levels", 20, 20, true, 4000, 40000},
        {"fewer than 300 samples: no clip, the identity", 9, 10, false, 0, 65535},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DialogWorld w;
        ImageBuffer16 picture{};
        FillPhoto(picture, c.width, c.height, 4000, 40000);
        w.OpenDocument(picture);
        auto d = OpenDialog<CCurveDlg>(CCurveDlg::kTemplateId);
        ASSERT_NE(d, nullptr);
        if (c.sixteenBit) {
            Send(w, d.get(), MSG_PANEL_CLICK, CCurveDlg::kTool16Bit);
            ASSERT_EQ(d->Box().BitMode(), kCurveEdit8Bit) << "a message that does not come from the tool panel";
            ASSERT_TRUE(::PostSpriteMessage(d.get(), MSG_PANEL_CLICK, CCurveDlg::kTool16Bit, 0, &d->ToolPanel()));
            w.t.Pump();
            ASSERT_EQ(d->Box().BitMode(), kCurveEdit16Bit);
        }
        ASSERT_TRUE(::PostSpriteMessage(d.get(), MSG_PANEL_CLICK, CCurveDlg::kToolAutoLevels, 0, &d->ToolPanel()));
        w.t.Pump();
        std::vector<uint16_t> expected(kToneLutSize);
        BuildToneLut(expected.data(), c.sixteenBit ? 0x105 : 0x106, c.black, c.white);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), d->ChannelTable(0)));
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), d->Box().LookupTable())) << "the box shows the table";
        if (c.black == 0 && c.white == 65535) {
            EXPECT_TRUE(IsIdentity(d->ChannelTable(0)));
        }
        const auto& stored = d->StoredPoints(0);
        EXPECT_EQ(stored[0].x, c.black);
        EXPECT_EQ(stored[1].x, c.white);
        EXPECT_EQ(stored[2].kind, kPointFixed);
        WaitForPreview(w, *d);
        d->OnCancel();
        EXPECT_TRUE(SameBytes(w.Layer(), picture));
        FreeImageBuffer(picture);
    }
}

TEST(CurveDialog, EqualisingCurveRisesWithTheHistogramAndColourChannelsGetAllThree)
{
    DialogWorld w;
    ImageBuffer16 picture{};
    FillPhoto(picture, 40, 30, 10000, 30000);
    w.OpenDocument(picture);
    auto d = OpenDialog<CCurveDlg>(CCurveDlg::kTemplateId);
    ASSERT_NE(d, nullptr);
    Send(w, d.get(), MSG_MENU_COMMAND, CCurveDlg::kMenuChannelFirst + 2); // green
    ASSERT_TRUE(::PostSpriteMessage(d.get(), MSG_PANEL_CLICK, CCurveDlg::kToolEqualise, 0, &d->ToolPanel()));
    w.t.Pump();
    for (int c = 1; c <= 3; ++c) {
        SCOPED_TRACE(c);
        const uint16_t* t = d->ChannelTable(c);
        EXPECT_FALSE(IsIdentity(t));
        EXPECT_TRUE(std::is_sorted(t, t + kToneLutSize)) << "never falls";
        // The occupied range takes most of the output; the empty ones only their lift.
        EXPECT_GT(t[30000] - t[10000], 30000);
        EXPECT_LT(t[10000], 12000);
    }
    EXPECT_TRUE(IsIdentity(d->ChannelTable(0)));
    EXPECT_TRUE(IsIdentity(d->ChannelTable(4)));
    EXPECT_TRUE(std::equal(d->ChannelTable(2), d->ChannelTable(2) + kToneLutSize, d->Box().LookupTable()));
    WaitForPreview(w, *d);
    d->OnCancel();
    FreeImageBuffer(picture);
}

TEST(CurveDialog, BitModeQuestionApplyResetAndThePreviewEqualToTheAlgorithm)
{
    DialogWorld w;
    ImageBuffer16 picture{};
    FillPhoto(picture, 40, 25);
    w.OpenDocument(picture);
    auto d = OpenDialog<CCurveDlg>(CCurveDlg::kTemplateId);
    ASSERT_NE(d, nullptr);
    WaitForPreview(w, *d);
    AddPointAt(*d, 33000);
    const SRect pr = d->Box().PlotRect();
    DragPoint(w, *d, 1, d->Box().PointPosition(d->Box().Points()[1]).x, pr.top + pr.Height() / 5);
    // A second change at once: the first preview is cancelled or finishes, one restart follows.
    AddPointAt(*d, 50000);
    DragPoint(w, *d, 2, d->Box().PointPosition(d->Box().Points()[2]).x, pr.top + 2);
    WaitForPreview(w, *d);
    {
        CCurve direct;
        direct.m_params.mode = 0;
        direct.m_params.entries = kToneLutSize;
        direct.m_params.tables = d->ChannelTable(0);
        ImageBuffer16 expected{};
        ASSERT_TRUE(AllocImage16(expected, picture.width, picture.height));
        direct.SetSource(&picture);
        direct.SetDestination(&expected);
        direct.SetParams(nullptr);
        ASSERT_TRUE(direct.Run());
        EXPECT_TRUE(SameBytes(expected, w.Layer())) << "the layer holds the last curve's result";
        FreeImageBuffer(expected);
    }

    // The question is asked even for the mode already set; No keeps the curves.
    w.answer = 7;
    ASSERT_TRUE(::PostSpriteMessage(d.get(), MSG_PANEL_CLICK, CCurveDlg::kTool8Bit, 0, &d->ToolPanel()));
    w.t.Pump();
    ASSERT_EQ(w.Count(u"bitmodeChangeWarning"), 1);
    EXPECT_EQ(w.messages.back().kind, 1) << "a question";
    EXPECT_EQ(w.messages.back().buttons, 5);
    EXPECT_EQ(d->Box().Points().size(), 4u);
    w.answer = 6;
    ASSERT_TRUE(::PostSpriteMessage(d.get(), MSG_PANEL_CLICK, CCurveDlg::kTool8Bit, 0, &d->ToolPanel()));
    w.t.Pump();
    EXPECT_EQ(d->Box().Points().size(), 2u) << "Yes: every curve reset";
    EXPECT_TRUE(IsIdentity(d->ChannelTable(0)));
    WaitForPreview(w, *d);
    EXPECT_TRUE(SameBytes(w.Layer(), picture));

    // Apply: the result stays, every channel shows its two end points and the identity again.
    Send(w, d.get(), MSG_MENU_COMMAND, CCurveDlg::kMenuChannelFirst + 3);
    DragPoint(w, *d, 1, pr.right - 1, pr.top + pr.Height() / 3); // down the right edge
    WaitForPreview(w, *d);
    ASSERT_FALSE(SameBytes(w.Layer(), picture));
    ImageBuffer16 applied{};
    ASSERT_TRUE(CopyImage16(applied, w.Layer()));
    ASSERT_TRUE(d->Apply());
    EXPECT_EQ(d->Box().Channel(), 0);
    for (int c = 0; c < CCurveDlg::kChannels; ++c) {
        EXPECT_TRUE(IsIdentity(d->ChannelTable(c))) << c;
        EXPECT_EQ(d->StoredPoints(c)[0].y, 0);
        EXPECT_EQ(d->StoredPoints(c)[1].x, 65535);
        EXPECT_EQ(d->StoredPoints(c)[2].kind, kPointFixed);
    }
    EXPECT_TRUE(SameBytes(d->BackupImage(), applied));
    d->OnCancel();
    EXPECT_TRUE(SameBytes(w.Layer(), picture)) << "Cancel after Apply: the opening picture";
    FreeImageBuffer(applied);
    FreeImageBuffer(picture);
}

TEST(CurveDialog, PickerSamplesTheBeforePictureAndMarksTheInputAxis)
{
    DialogWorld w;
    ImageBuffer16 picture{};
    ASSERT_TRUE(AllocImage16(picture, 30, 30));
    for (uint32_t i = 0; i < picture.pixelCount; ++i) {
        uint16_t* p = picture.data + size_t(i) * 4;
        p[0] = 10000;
        p[1] = 20000;
        p[2] = 40000;
        p[3] = 0xFFFF;
    }
    w.OpenDocument(picture);
    auto d = OpenDialog<CCurveDlg>(CCurveDlg::kTemplateId);
    ASSERT_NE(d, nullptr);
    WaitForPreview(w, *d);
    EXPECT_EQ(d->MarkerX(), -1) << "black: no marker";
    const int view = d->ViewMode();
    ASSERT_TRUE(::PostSpriteMessage(d.get(), MSG_PANEL_CLICK, CCurveDlg::kToolPicker, 0, &d->ToolPanel()));
    w.t.Pump();
    EXPECT_EQ(d->PickMode(), 1);
    EXPECT_EQ(d->ViewMode(), kViewBefore);
    Send(w, d.get(), MSG_VIEW_CHANGED, CSPicView::kViewClicked, (12 << 16) | 0);
    EXPECT_EQ(d->PickMode(), 0);
    EXPECT_EQ(d->ViewMode(), view);
    const std::array<uint16_t, 4> picked = d->PickedColour();
    EXPECT_EQ(picked, (std::array<uint16_t, 4>{10000, 20000, 40000, 0xFFFF})) << "at the edge: only pixels inside count";
    const int lum = (3 * 40000 + 6 * 20000 + 10000) / 10;
    const SRect b = d->Box().Rect();
    EXPECT_EQ(d->MarkerX(), b.left + 12 + SrgbEncodeTable[lum] * (b.Width() - 20) / 255);
    Send(w, d.get(), MSG_MENU_COMMAND, CCurveDlg::kMenuChannelFirst + 3);
    EXPECT_EQ(d->MarkerX(), b.left + 12 + SrgbEncodeTable[10000] * (b.Width() - 20) / 255) << "blue: the blue value";
    d->OnCancel();
    FreeImageBuffer(picture);
}

TEST(CurveDialog, SampleDiscAverageCountsOnlyVisiblePixelsInside)
{
    ImageBuffer16 picture{};
    ASSERT_TRUE(AllocImage16(picture, 10, 10));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) {
            uint16_t* p = picture.data + (size_t(y) * 10 + x) * 4;
            p[0] = uint16_t(x < 5 ? 1000 : 3000);
            p[1] = 2000;
            p[2] = 4000;
            p[3] = uint16_t(y >= 8 ? 0 : 0xFFFF); // the bottom two rows transparent
        }
    struct Case {
        const char* what;
        int radius, x, y;
        std::array<uint16_t, 4> expected;
    };
    const Case cases[] = {
        {"radius 1: the pixel itself", 1, 2, 2, {1000, 2000, 4000, 0xFFFF}},
        {"a corner: inside pixels only", 3, 0, 0, {1000, 2000, 4000, 0xFFFF}},
        {"across the halves: the mean of 9 pixels", 2, 5, 3, {(3 * 1000 + 6 * 3000) / 9, 2000, 4000, 0xFFFF}},
        {"transparent pixels do not count", 3, 2, 9, {1000, 2000, 4000, 0xFFFF}},
        {"only transparent pixels: zeros", 1, 3, 9, {0, 0, 0, 0}},
        {"off the picture: zeros", 5, 40, 40, {0, 0, 0, 0}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SampleDiscAverage(picture, c.radius, c.x, c.y), c.expected) << c.what;
    FreeImageBuffer(picture);
}

TEST(CurveDialog, LauncherOpensItAndCancelLeavesTheLayer)
{
    DialogWorld w;
    ImageBuffer16 picture{};
    FillPhoto(picture, 24, 24);
    w.OpenDocument(picture);
    EXPECT_TRUE(HasEditorDialog(11005));
    w.t.Input().InjectKey(platform::vk::Escape, true);
    w.t.Input().InjectKey(platform::vk::Escape, false);
    EXPECT_EQ(RunEditorDialog(11005, 0), 2);
    EXPECT_TRUE(SameBytes(w.Layer(), picture));
    EXPECT_EQ(w.history.steps.size(), 1u);
    EXPECT_FALSE(theAlgorithmThread.IsBusy());
    FreeImageBuffer(picture);
}

TEST(CurveDialog, WithoutADocumentItOpensAndEveryToolIsHarmless)
{
    DialogWorld w;
    w.editorPage = false;
    auto d = OpenDialog<CCurveDlg>(CCurveDlg::kTemplateId);
    ASSERT_NE(d, nullptr);
    for (int32_t tool : {CCurveDlg::kTool16Bit, CCurveDlg::kToolSmooth, CCurveDlg::kToolStraight,
                         CCurveDlg::kToolAutoLevels, CCurveDlg::kToolEqualise, CCurveDlg::kToolPicker}) {
        ASSERT_TRUE(::PostSpriteMessage(d.get(), MSG_PANEL_CLICK, tool, 0, &d->ToolPanel()));
        w.t.Pump();
    }
    Send(w, d.get(), MSG_VIEW_CHANGED, CSPicView::kViewClicked, (3 << 16) | 3);
    EXPECT_EQ(d->PickedColour(), (std::array<uint16_t, 4>{})) << "nothing to sample";
    EXPECT_TRUE(IsIdentity(d->ChannelTable(0))) << "no histogram: the automatic curves keep the identity";
    w.Settle();
    d->OnOK();
    EXPECT_EQ(d->Result(), 1);
    EXPECT_TRUE(w.history.steps.empty()) << "no document, no step";
}
