// Colour-enhance compare dialog: the reduced copies, the three variants as their algorithms give
// them, views that zoom and pan together, OK with the chosen variant at full size and its
// kind-255 step through undo and redo, "Original" as Cancel, a single final run per OK, and a
// failed final run that leaves the layer.
#include "algorithms/SchemeSteps.h"
#include "dialogs/CompareDialog.h"
#include "dialogs/Launchers.h"

#include "DialogTestSupport.h"

using namespace dialogtest;

namespace {

// Waits until the three variants are shown (the chain ends with job 3).
void WaitForVariants(DialogWorld& w, CCompareDlg& d)
{
    ASSERT_TRUE(w.PumpUntil([&] { return !d.JobInFlight() && !theAlgorithmThread.IsBusy(); }));
    w.Settle();
    ASSERT_FALSE(d.JobInFlight());
}

// A photo-like picture: smooth colour ramps, so every variant changes it.
void FillRamps(ImageBuffer16& image, int width, int height)
{
    ASSERT_TRUE(AllocImage16(image, width, height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint16_t* p = image.data + (size_t(y) * width + x) * 4;
            p[0] = uint16_t(12000 + 30000 * x / std::max(1, width));
            p[1] = uint16_t(20000 + 20000 * y / std::max(1, height));
            p[2] = uint16_t(40000 - 25000 * x / std::max(1, width));
            p[3] = 0xFFFF;
        }
}

// Runs the algorithm as the worker would, on the caller's thread.
bool RunDirect(CAlgorithm& a, const ImageBuffer16& source, ImageBuffer16& out, const void* record)
{
    a.SetSource(const_cast<ImageBuffer16*>(&source));
    a.SetDestination(&out);
    a.SetParams(record);
    return a.Run() != 0;
}

// Its final run goes to an algorithm the test holds, so that it can fail.
class GatedFinalDlg : public CColorEnhanceDlg {
public:
    void RunVariant(int step) override
    {
        if (step != kJobFinalVariant || m_chosen == 0) {
            CColorEnhanceDlg::RunVariant(step);
            return;
        }
        ++finalRuns;
        GateRecord r;
        r.delta = 500;
        StartFinalJob(&gate, &r, sizeof r);
    }
    CGateAlgorithm gate;
    int finalRuns = 0;
};

} // namespace

TEST(CompareDialog, CopiesFitTheLongerSideTo1280AndKeepAPixel)
{
    struct Case {
        int w, h, rw, rh;
    };
    for (const Case& c : {Case{4000, 3000, 1280, 960}, Case{1000, 1280, 1000, 1280}, Case{3000, 1, 1280, 1},
                          Case{1, 5000, 1, 1280}, Case{1281, 1281, 1280, 1280}, Case{1280, 1280, 1280, 1280},
                          Case{3000, 2000, 1280, 853}}) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
        int rw = 0, rh = 0;
        CCompareDlg::ReducedSize(c.w, c.h, rw, rh);
        EXPECT_EQ(rw, c.rw);
        EXPECT_EQ(rh, c.rh);
    }
}

TEST(CompareDialog, VariantsAreTheirAlgorithmsOnTheReducedCopy)
{
    struct Case {
        int w, h, rw, rh;
    };
    for (const Case& c : {Case{1600, 1200, 1280, 960}, Case{100, 128, 100, 128}, Case{3000, 1, 1280, 1}}) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
        DialogWorld w;
        ImageBuffer16 photo{};
        FillRamps(photo, c.w, c.h);
        w.OpenDocument(photo, true);
        auto d = OpenDialog<CColorEnhanceDlg>(CColorEnhanceDlg::kTemplateId);
        ASSERT_NE(d, nullptr);
        WaitForVariants(w, *d);
        for (int i = 0; i < CCompareDlg::kViews; ++i) {
            EXPECT_EQ(d->Copy(i).width, c.rw) << i;
            EXPECT_EQ(d->Copy(i).height, c.rh) << i;
        }
        if (c.rw == c.w && c.rh == c.h) {
            EXPECT_TRUE(SameBytes(d->Copy(0), photo)) << "not reduced: the layer as it is";
        }
        EXPECT_TRUE(w.messages.empty());
        // Each view shows what its algorithm makes of copy 0 with the record of its row.
        FilmAdjustParams film;
        film.colourBoost = 20;
        ColorAdjustParams colour;
        colour.saturation = 25;
        ColorContrastParams contrast;
        contrast.amount = 150;
        CAFilmAdjust a1;
        CColorAdjust a2;
        CColorContrast a3;
        ImageBuffer16 expected[3] = {};
        ASSERT_TRUE(RunDirect(a1, d->Copy(0), expected[0], &film));
        ASSERT_TRUE(RunDirect(a2, d->Copy(0), expected[1], &colour));
        ASSERT_TRUE(RunDirect(a3, d->Copy(0), expected[2], &contrast));
        for (int i = 0; i < 3; ++i) {
            EXPECT_TRUE(SameBytes(d->Copy(i + 1), expected[i])) << "view " << i + 1;
            if (c.rw > 1) {
                EXPECT_FALSE(SameBytes(d->Copy(i + 1), d->Copy(0))) << "view " << i + 1 << " changed nothing";
            }
            FreeImageBuffer(expected[i]);
        }
        EXPECT_TRUE(SameBytes(w.Layer(), photo)) << "the layer is not touched before OK";
        d->OnCancel();
        EXPECT_EQ(d->Result(), 2);
        EXPECT_TRUE(SameBytes(w.Layer(), photo));
        FreeImageBuffer(photo);
    }
}

TEST(CompareDialog, ZoomingOneViewZoomsAllToTheSameFactorAndOrigin)
{
    DialogWorld w;
    ImageBuffer16 photo{};
    FillRamps(photo, 900, 700);
    w.OpenDocument(photo);
    auto d = OpenDialog<CColorEnhanceDlg>(CColorEnhanceDlg::kTemplateId);
    ASSERT_NE(d, nullptr);
    WaitForVariants(w, *d);
    for (int sender : {2, 0}) {
        SCOPED_TRACE(sender);
        CSPicView& v = d->View(sender);
        v.SetZoom(sender == 2 ? 1.0 : 0.5);
        v.ScrollTo(sender == 2 ? 120 : 40, sender == 2 ? 80 : 30);
        // The message names its sender: post it as the view does.
        ASSERT_TRUE(::PostSpriteMessage(d.get(), MSG_VIEW_CHANGED, CSPicView::kViewMoved, 0, &v));
        w.t.Pump();
        for (int i = 0; i < CCompareDlg::kViews; ++i) {
            EXPECT_DOUBLE_EQ(d->View(i).Zoom(), v.Zoom()) << i;
            EXPECT_EQ(d->View(i).Source().left, v.Source().left) << i;
            EXPECT_EQ(d->View(i).Source().top, v.Source().top) << i;
        }
        EXPECT_EQ(d->Chosen(), 0) << "a zoom chooses nothing";
    }
    // A click chooses its view and moves the check mark onto it.
    ASSERT_TRUE(::PostSpriteMessage(d.get(), MSG_VIEW_CHANGED, CSPicView::kViewClicked, (20 << 16) | 20, &d->View(3)));
    w.t.Pump();
    EXPECT_EQ(d->Chosen(), 3);
    const SRect v3 = d->View(3).Rect(), mark = d->CheckMark().Rect();
    EXPECT_EQ(mark.left, v3.left + 30);
    EXPECT_EQ(mark.top, v3.top + 60);
    EXPECT_EQ(mark.Width(), 64);
    d->OnCancel();
    FreeImageBuffer(photo);
}

TEST(CompareDialog, OkAppliesTheChosenVariantAtFullSizeAsOneUndoableStep)
{
    struct Case {
        int view;
        const char16_t* key;
        bool oneLayer;
    };
    for (const Case& c : {Case{3, u"PaintRGB", false}, Case{1, u"ColorContrasty", true}, Case{2, u"SaturateImprove", false}}) {
        SCOPED_TRACE(c.view);
        DialogWorld w;
        ImageBuffer16 photo{};
        FillRamps(photo, 1400, 1050);
        w.OpenDocument(photo, !c.oneLayer);
        const size_t stepsBefore = w.history.steps.size();
        auto d = OpenDialog<CColorEnhanceDlg>(CColorEnhanceDlg::kTemplateId);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->Copy(0).width, 1280);
        EXPECT_EQ(d->Copy(0).height, 960);
        ASSERT_TRUE(::PostSpriteMessage(d.get(), MSG_VIEW_CHANGED, CSPicView::kViewDragEnded, 0, &d->View(c.view)));
        w.t.Pump();
        ASSERT_EQ(d->Chosen(), c.view);
        // OK while the chain still runs: it ends the chain and runs the chosen variant once.
        d->OnOK();
        EXPECT_FALSE(dynamic_cast<CMessageSprite*>(d->GetControl(1))->Enabled());
        d->OnOK(); // a second press starts nothing
        ASSERT_TRUE(w.PumpUntil([&] { return d->Result() != 0; }));
        ASSERT_EQ(d->Result(), 1);
        ImageBuffer16 expected{};
        CAlgorithm* algorithm = nullptr;
        FilmAdjustParams film;
        film.colourBoost = 20;
        ColorAdjustParams colour;
        colour.saturation = 25;
        ColorContrastParams contrast;
        contrast.amount = 150;
        CAFilmAdjust a1;
        CColorAdjust a2;
        CColorContrast a3;
        const void* record = nullptr;
        switch (c.view) {
        case 1: algorithm = &a1, record = &film; break;
        case 2: algorithm = &a2, record = &colour; break;
        default: algorithm = &a3, record = &contrast; break;
        }
        ASSERT_TRUE(RunDirect(*algorithm, photo, expected, record));
        EXPECT_EQ(w.Layer().width, 1400);
        EXPECT_TRUE(SameBytes(w.Layer(), expected)) << "the variant computed on the layer";
        ASSERT_EQ(w.history.steps.size(), stepsBefore + 1) << "one step";
        const HistoryStep& step = w.history.steps.back();
        EXPECT_EQ(step.kind, kHistoryDocument);
        EXPECT_EQ(step.tag, 0) << "no step id: a scheme cannot replay it";
        EXPECT_EQ(step.payloadLength, 0);
        EXPECT_EQ(std::u16string(step.name), std::u16string(c.key));
        EXPECT_EQ(w.doc.modified.load(), 1);
        ASSERT_TRUE(w.history.GoToStep(w.history.current - 1, StepReplay::Force));
        EXPECT_TRUE(SameBytes(w.Layer(), photo)) << "undo";
        ASSERT_TRUE(w.history.GoToStep(w.history.current + 1, StepReplay::Force));
        EXPECT_TRUE(SameBytes(w.Layer(), expected)) << "redo";
        EXPECT_TRUE(w.messages.empty());
        FreeImageBuffer(expected);
        FreeImageBuffer(photo);
    }
}

TEST(CompareDialog, OkWithTheOriginalChosenEndsAsCancel)
{
    DialogWorld w;
    ImageBuffer16 photo{};
    FillRamps(photo, 200, 150);
    w.OpenDocument(photo);
    const size_t stepsBefore = w.history.steps.size();
    auto d = OpenDialog<CColorEnhanceDlg>(CColorEnhanceDlg::kTemplateId);
    ASSERT_NE(d, nullptr);
    d->OnOK();
    w.Settle();
    EXPECT_EQ(d->Result(), 2);
    EXPECT_TRUE(SameBytes(w.Layer(), photo));
    EXPECT_EQ(w.history.steps.size(), stepsBefore);
    EXPECT_EQ(w.doc.modified.load(), 0);
    FreeImageBuffer(photo);
}

TEST(CompareDialog, AFailedFinalRunLeavesTheLayerAndOkWorksAgain)
{
    DialogWorld w;
    ImageBuffer16 photo{};
    FillRamps(photo, 120, 90);
    w.OpenDocument(photo, true);
    const size_t stepsBefore = w.history.steps.size();
    auto d = OpenDialog<GatedFinalDlg>(GatedFinalDlg::kTemplateId);
    ASSERT_NE(d, nullptr);
    WaitForVariants(w, *d);
    d->Choose(2);
    d->gate.result.store(0);
    d->OnOK();
    ASSERT_TRUE(w.PumpUntil([&] { return !d->FinalRunning(); }));
    EXPECT_EQ(d->Result(), 0) << "still open";
    EXPECT_EQ(w.Count(u"algorithmerror"), 1);
    EXPECT_TRUE(SameBytes(w.Layer(), photo)) << "the failed result is not copied in";
    EXPECT_EQ(w.history.steps.size(), stepsBefore);
    EXPECT_TRUE(dynamic_cast<CMessageSprite*>(d->GetControl(1))->Enabled()) << "OK again";
    d->gate.result.store(1);
    d->OnOK();
    ASSERT_TRUE(w.PumpUntil([&] { return d->Result() != 0; }));
    EXPECT_EQ(d->Result(), 1);
    EXPECT_EQ(d->finalRuns, 2);
    EXPECT_EQ(w.Layer().data[0], photo.data[0] + 500);
    EXPECT_EQ(w.history.steps.size(), stepsBefore + 1);
    EXPECT_EQ(std::u16string(w.history.steps.back().name), u"SaturateImprove");
    FreeImageBuffer(photo);
}

TEST(CompareDialog, TheVividColourCommandOpensIt)
{
    EXPECT_TRUE(HasEditorDialog(12005));
    DialogWorld w;
    w.editorPage = false;
    EXPECT_EQ(RunEditorDialog(12005, 0), 0) << "no editor page: it does not open";
}
