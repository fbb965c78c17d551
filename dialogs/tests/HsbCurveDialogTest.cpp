// Hue curves dialog: OK without changes, the tied ends of the hue axis, vertical-only points
// that cannot be deleted, OK/undo/redo with the record replayed through step 23, the picker's
// hue marker, and the launcher.
#include "algorithms/SchemeSteps.h"
#include "algorithms/ToneLut.h"
#include "dialogs/HsbCurveDialog.h"
#include "dialogs/Launchers.h"

#include "DialogTestSupport.h"

using namespace dialogtest;

namespace {

void FillHues(ImageBuffer16& image, int width, int height)
{
    ASSERT_TRUE(AllocImage16(image, width, height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint16_t* p = image.data + (size_t(y) * width + x) * 4;
            // Every hue along x, saturation falling along y, mid lightness.
            p[0] = uint16_t(30000 + 20 * y);
            p[1] = uint16_t(65535 - 900 * y);
            p[2] = uint16_t(x * 65535 / std::max(1, width - 1));
            p[3] = 0xFFFF;
            HslToRgb16(p, 1);
        }
}

void WaitForPreview(DialogWorld& w, CFilterDialog& d)
{
    w.t.Pump();
    ASSERT_TRUE(w.PumpUntil([&] { return !d.JobInFlight() && !theAlgorithmThread.IsBusy(); }));
    w.t.Pump();
    ASSERT_TRUE(w.PumpUntil([&] { return !d.JobInFlight(); }));
}

// Drags point `index` of the shown curve by dy pixels and releases it.
void DragPoint(CHSBCurveDlg& d, int index, int dx, int dy)
{
    CHSBCurveBox& box = d.Box();
    const SPoint p = box.PointPosition(box.Points()[size_t(index)]);
    box.OnMouseMove(p.x, p.y, 0);
    ASSERT_EQ(box.HitIndex(), index);
    box.OnLButtonDown(p.x, p.y, 0);
    box.OnMouseMove(p.x + dx, p.y + dy, 0);
    box.OnLButtonUp(p.x + dx, p.y + dy, 0);
}

} // namespace

TEST(HsbCurveDialog, OpensOnSaturationAndOkWithoutChangesRecords792BytesOfNoChange)
{
    DialogWorld w;
    ImageBuffer16 picture{};
    FillHues(picture, 40, 20);
    w.OpenDocument(picture, true);
    auto d = OpenDialog<CHSBCurveDlg>(CHSBCurveDlg::kTemplateId);
    ASSERT_NE(d, nullptr);
    EXPECT_FALSE(d->JobInFlight()) << "the initial tables change nothing: no preview";
    EXPECT_EQ(d->Box().HsbCurve(), 1);
    EXPECT_EQ(std::u16string(dynamic_cast<CSButton*>(d->GetControl(CHSBCurveDlg::kCurveButtonId))->Caption()), u"dlgSat");
    ASSERT_EQ(d->Box().Points().size(), 13u);
    for (size_t i = 0; i < 13; ++i) {
        EXPECT_EQ(d->Box().Points()[i].x, i < 12 ? int(i * 65536 / 12) : 65535) << i;
        EXPECT_EQ(d->Box().Points()[i].y, 0x8000);
    }
    d->OnOK();
    ASSERT_EQ(d->Result(), 1);
    const HistoryStep& step = w.history.steps.back();
    EXPECT_EQ(step.tag, 23);
    ASSERT_EQ(step.payloadLength, 792);
    for (int i = 0; i < 396; ++i) {
        uint16_t v;
        std::memcpy(&v, step.PayloadData() + 2 * i, 2);
        ASSERT_EQ(v, 0x8000) << i;
    }
    EXPECT_TRUE(SameBytes(w.Layer(), picture));
    FreeImageBuffer(picture);
}

TEST(HsbCurveDialog, EndsOfTheHueAxisMoveTogetherPointsOnlyVerticallyAndNoneIsDeleted)
{
    DialogWorld w;
    ImageBuffer16 picture{};
    FillHues(picture, 40, 20);
    w.OpenDocument(picture, true);
    auto d = OpenDialog<CHSBCurveDlg>(CHSBCurveDlg::kTemplateId);
    ASSERT_NE(d, nullptr);
    struct Case {
        int menu, index, dy;
    };
    for (const Case& c : {Case{207, 0, -30}, Case{205, 12, 25}, Case{206, 0, 40}}) {
        SCOPED_TRACE(c.menu);
        Send(w, d.get(), MSG_MENU_COMMAND, c.menu);
        EXPECT_EQ(d->Box().HsbCurve(), c.menu - 205);
        const int x0 = d->Box().Points()[size_t(c.index)].x;
        DragPoint(*d, c.index, 17, c.dy);
        WaitForPreview(w, *d);
        const auto& pts = d->Box().Points();
        EXPECT_EQ(pts[size_t(c.index)].x, x0) << "vertical only";
        EXPECT_NE(pts[size_t(c.index)].y, 0x8000);
        EXPECT_EQ(pts.front().y, pts.back().y) << "the ends share their value";
        const uint16_t* table = d->Table(c.menu - 205);
        EXPECT_EQ(table[0], table[65535]);
        EXPECT_EQ(table[0], pts.front().y);
    }
    // Right-clicking a point deletes nothing.
    const SPoint p = d->Box().PointPosition(d->Box().Points()[5]);
    d->Box().OnMouseMove(p.x, p.y, 0);
    d->Box().OnRButtonDown(p.x, p.y, 0);
    EXPECT_EQ(d->Box().Points().size(), 13u);
    // Switching back shows the stored points of each curve.
    Send(w, d.get(), MSG_MENU_COMMAND, 207);
    EXPECT_NE(d->Box().Points()[0].y, 0x8000);
    Send(w, d.get(), MSG_COMMAND, CHSBCurveDlg::kResetId);
    WaitForPreview(w, *d);
    EXPECT_EQ(d->Box().HsbCurve(), 1);
    for (int t = 0; t < 3; ++t)
        EXPECT_EQ(d->Table(t)[0], 0x8000);
    d->OnCancel();
    FreeImageBuffer(picture);
}

TEST(HsbCurveDialog, OkUndoRedoAndTheRecordReplayedThroughStep23)
{
    for (bool oneLayer : {false, true}) {
        SCOPED_TRACE(oneLayer ? "one layer of one pixel (kind 255)" : "two layers");
        DialogWorld w;
        ImageBuffer16 opening{};
        FillHues(opening, oneLayer ? 1 : 48, oneLayer ? 1 : 24);
        w.OpenDocument(opening, !oneLayer);
        auto d = OpenDialog<CHSBCurveDlg>(CHSBCurveDlg::kTemplateId);
        ASSERT_NE(d, nullptr);
        // Every point of the lightness curve to one height: a flat table, which the stored
        // control values give back exactly.
        Send(w, d.get(), MSG_MENU_COMMAND, 207);
        // (the last point follows the first).
        for (int i = 0; i < 12; ++i)
            DragPoint(*d, i, 0, -30);
        ASSERT_EQ(d->Box().Points()[12].y, d->Box().Points()[5].y);
        WaitForPreview(w, *d);
        d->OnOK();
        ASSERT_EQ(d->Result(), 1);
        ImageBuffer16 result{};
        ASSERT_TRUE(CopyImage16(result, w.Layer()));
        EXPECT_FALSE(SameBytes(result, opening));
        const HistoryStep& step = w.history.steps.back();
        EXPECT_EQ(step.kind, oneLayer ? kHistoryDocument : kHistoryLayer);
        EXPECT_EQ(step.tag, 23);
        ASSERT_EQ(step.payloadLength, 792);
        const std::vector<uint8_t> bytes(step.PayloadData(), step.PayloadData() + 792);
        SchemeStepRecord record;
        ASSERT_EQ(ReadSchemeStep(23, bytes.data(), bytes.size(), record), StepReadResult::Ok);
        std::vector<uint8_t> again;
        ASSERT_TRUE(WriteSchemeStep(23, record, again));
        EXPECT_EQ(again, bytes);
        ImageBuffer16 replayed{};
        ASSERT_TRUE(ReplaySchemeStep(23, bytes.data(), bytes.size(), opening, replayed));
        EXPECT_TRUE(SameBytes(replayed, result));
        ASSERT_TRUE(w.history.GoToStep(w.history.current - 1, StepReplay::Force));
        EXPECT_TRUE(SameBytes(w.Layer(), opening)) << "undo";
        ASSERT_TRUE(w.history.GoToStep(w.history.current + 1, StepReplay::Force));
        EXPECT_TRUE(SameBytes(w.Layer(), result)) << "redo";
        for (ImageBuffer16* b : {&opening, &result, &replayed})
            FreeImageBuffer(*b);
    }
}

TEST(HsbCurveDialog, PickedColourPlacesTheHueMarker)
{
    DialogWorld w;
    ImageBuffer16 picture{};
    FillHues(picture, 60, 20);
    w.OpenDocument(picture, true);
    auto d = OpenDialog<CHSBCurveDlg>(CHSBCurveDlg::kTemplateId);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->MarkerX(), -1);
    ASSERT_TRUE(::PostSpriteMessage(d.get(), MSG_PANEL_CLICK, CHSBCurveDlg::kToolPicker, 0, &d->ToolPanel()));
    w.t.Pump();
    ASSERT_EQ(d->PickMode(), 1);
    EXPECT_EQ(d->ViewMode(), kViewBefore);
    ASSERT_TRUE(::PostSpriteMessage(d.get(), MSG_VIEW_CHANGED, CSPicView::kViewClicked, (10 << 16) | 30, nullptr));
    w.t.Pump();
    EXPECT_EQ(d->PickMode(), 0);
    std::array<uint16_t, 4> picked = d->PickedColour();
    uint16_t hsl[4] = {picked[0], picked[1], picked[2], picked[3]};
    RgbToHsl16(hsl, 1);
    const SRect b = d->Box().Rect();
    EXPECT_EQ(d->MarkerX(), b.left + 6 + (b.Width() - 13) * hsl[2] / 65535);
    EXPECT_NEAR(double(hsl[2]), 30.0 * 65535 / 59, 1200.0) << "the hue of the clicked column";
    d->OnCancel();
    FreeImageBuffer(picture);
}

TEST(HsbCurveDialog, LauncherOpensItAndCancelLeavesTheLayer)
{
    DialogWorld w;
    ImageBuffer16 picture{};
    FillHues(picture, 24, 24);
    w.OpenDocument(picture);
    EXPECT_TRUE(HasEditorDialog(12004));
    w.t.Input().InjectKey(platform::vk::Escape, true);
    w.t.Input().InjectKey(platform::vk::Escape, false);
    EXPECT_EQ(RunEditorDialog(12004, 0), 2);
    EXPECT_TRUE(SameBytes(w.Layer(), picture));
    EXPECT_EQ(w.history.steps.size(), 1u);
    FreeImageBuffer(picture);
}
