// The algorithm dialog base and the progress box: the bar, run requests and restarts, the
// selection rule, failure and cancel restoring the picture byte for byte, another part's job.
#include "dialogs/AlgorithmDialog.h"
#include "dialogs/FilterPixels.h"
#include "dialogs/ProgressDialog.h"

#include "DialogTestSupport.h"

using namespace dialogtest;

TEST(ProgressBar, FillsByPercentInBothDirections)
{
    struct Case {
        SRect rect;
        int percent;
        int at;       // column (horizontal) or t = bottom - row (vertical)
        int grey;
        const char* why;
    };
    const Case cases[] = {
        {{10, 40, 290, 60}, 50, 0, 32, "first column, a fifth: half grey"},
        {{10, 40, 290, 60}, 50, 1, 64, "64 + 128 x 1 / 280"},
        {{10, 40, 290, 60}, 50, 139, 127, "filled"},
        {{10, 40, 290, 60}, 50, 140, 64, "the last filled column is a fifth"},
        {{10, 40, 290, 60}, 50, 141, 0, "beyond the fill: black"},
        {{10, 40, 290, 60}, 150, 279, 191, "above 100 reads as a full bar"},
        {{10, 40, 290, 60}, -5, 0, 32, "below 0 reads as 0: one column"},
        {{10, 40, 290, 60}, -5, 1, 0, "below 0 reads as 0"},
        {{5, 10, 20, 110}, 30, 1, 65, "vertical: the bottom row first"},
        {{5, 10, 20, 110}, 30, 30, 51, "vertical: t = 30 is a fifth"},
        {{5, 10, 20, 110}, 30, 31, 0, "vertical: above the fill black"},
        {{5, 10, 20, 110}, 100, 100, 96, "vertical: the top row, full, a fifth"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        ImageBuffer8 image{};
        ASSERT_TRUE(AllocImage8(image, 300, 120));
        std::memset(image.data, 0x77, image.byteSize);
        DrawProgressBar(image, c.rect, c.percent);
        const bool horizontal = c.rect.Width() > c.rect.Height();
        const int x = horizontal ? c.rect.left + c.at : c.rect.left + 3;
        const int y = horizontal ? c.rect.top + 5 : c.rect.bottom - c.at;
        const uint8_t* p = image.data + (size_t(y) * image.width + x) * 4;
        EXPECT_EQ(p[0], c.grey);
        EXPECT_EQ(p[1], c.grey);
        EXPECT_EQ(p[2], c.grey);
        EXPECT_EQ(p[3], 0x77) << "alpha untouched";
        const uint8_t* outside = image.data + (size_t(c.rect.top) * image.width + c.rect.right) * 4;
        EXPECT_EQ(outside[0], 0x77) << "nothing beyond the rectangle";
        FreeImageBuffer(image);
    }
    ImageBuffer8 small{};
    ASSERT_TRUE(AllocImage8(small, 100, 50));
    std::memset(small.data, 0x77, small.byteSize);
    DrawProgressBar(small, {10, 40, 290, 60}, 50);
    for (uint32_t i = 0; i < small.byteSize; ++i)
        ASSERT_EQ(small.data[i], 0x77) << "a rectangle outside the picture draws nothing";
    FreeImageBuffer(small);
}

TEST(SelectionRule, MaskValuesAndPixelsOutsideTheDocument)
{
    // One row of three pixels: result 1000, backup 3000 (alphas differ), mask 255 / 0 / 128.
    ImageBuffer16 result{}, backup{};
    ASSERT_TRUE(AllocImage16(result, 3, 1));
    ASSERT_TRUE(AllocImage16(backup, 3, 1));
    for (int i = 0; i < 3; ++i)
        for (int c = 0; c < 4; ++c) {
            result.data[i * 4 + c] = c == 3 ? 0xFFFF : 1000;
            backup.data[i * 4 + c] = c == 3 ? 0x1234 : 3000;
        }
    Plane8 mask{};
    ASSERT_TRUE(AllocPlane8(mask, 3, 1));
    mask.data[0] = 255, mask.data[1] = 0, mask.data[2] = 128;
    struct Case {
        int offsetX;
        uint16_t expect[3][4];
        const char* why;
    };
    const Case cases[] = {
        {0, {{1000, 1000, 1000, 0xFFFF}, {3000, 3000, 3000, 0x1234}, {1996, 1996, 1996, 0xFFFF}},
         "255 keeps, 0 restores alpha too, 128 moves by 127 / 255"},
        {-1, {{1000, 1000, 1000, 0xFFFF}, {1000, 1000, 1000, 0xFFFF}, {3000, 3000, 3000, 0x1234}},
         "layer one pixel to the left: the first pixel lies outside and keeps the result"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        ImageBuffer16 r{};
        ASSERT_TRUE(CopyImage16(r, result));
        RestrictToMask(r, backup, {&mask, 3, 1, c.offsetX, 0});
        for (int i = 0; i < 3; ++i)
            for (int k = 0; k < 4; ++k)
                EXPECT_EQ(r.data[i * 4 + k], c.expect[i][k]) << "pixel " << i << " channel " << k;
        FreeImageBuffer(r);
    }
    // A mask that is not exactly document-sized, or a backup of another shape, changes nothing.
    ImageBuffer16 r{};
    ASSERT_TRUE(CopyImage16(r, result));
    RestrictToMask(r, backup, {&mask, 4, 1, 0, 0});
    EXPECT_TRUE(SameBytes(r, result));
    ImageBuffer16 tall{};
    ASSERT_TRUE(AllocImage16(tall, 1, 3)); // the same pixel count, another shape
    std::memcpy(tall.data, backup.data, backup.byteSize);
    RestrictToMask(r, tall, {&mask, 3, 1, 0, 0});
    EXPECT_TRUE(SameBytes(r, result));
    for (ImageBuffer16* b : {&result, &backup, &r, &tall})
        FreeImageBuffer(*b);
    FreePlane8(mask);
}

TEST(ProgressBox, RunsOnTheLayerInsideTheSelectionAndMarksTheDocument)
{
    DialogWorld w;
    ImageBuffer16 picture{};
    FillPattern(picture, 40, 30);
    w.OpenDocument(picture);
    ASSERT_TRUE(AllocPlane8(w.doc.selection, 40, 30));
    std::memset(w.doc.selection.data, 0, w.doc.selection.byteSize);
    for (int y = 10; y < 20; ++y)
        std::memset(w.doc.selection.data + y * 40 + 5, 255, 10);
    CGateAlgorithm gate;
    GateRecord record;
    record.delta = 500;
    EXPECT_EQ(RunAlgorithmWithProgress(&gate, &record, u"Sharpen", nullptr), 1);
    EXPECT_EQ(w.doc.modified, 1);
    const ImageBuffer16& layer = w.Layer();
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            const bool inside = y >= 10 && y < 20 && x >= 5 && x < 15;
            const size_t at = (size_t(y) * 40 + x) * 4;
            ASSERT_EQ(layer.data[at], picture.data[at] + (inside ? 500 : 0)) << x << "," << y;
        }
    EXPECT_TRUE(w.messages.empty());
    EXPECT_EQ(g_pAlgorithmListener.load(), nullptr);
    FreeImageBuffer(picture);
}

TEST(ProgressBox, FailureOrCancelLeavesThePictureExactlyAsItWas)
{
    enum How { Fails, EscapeWhileRunning };
    for (How how : {Fails, EscapeWhileRunning}) {
        SCOPED_TRACE(how == Fails ? "the run returns 0" : "Esc while the job runs");
        DialogWorld w;
        ImageBuffer16 picture{};
        FillPattern(picture, 64, 48, 0x8000);
        w.OpenDocument(picture);
        CGateAlgorithm gate;
        GateRecord record;
        record.delta = 7000;
        if (how == Fails) {
            gate.result.store(0);
        } else {
            gate.open.store(false);
            w.t.Input().InjectKey(platform::vk::Escape, true);
            w.t.Input().InjectKey(platform::vk::Escape, false);
        }
        EXPECT_EQ(RunAlgorithmWithProgress(&gate, &record, nullptr, nullptr), 0);
        EXPECT_FALSE(theAlgorithmThread.IsBusy());
        EXPECT_TRUE(SameBytes(w.Layer(), picture)) << "restored byte for byte";
        EXPECT_EQ(w.doc.modified, 0);
        EXPECT_TRUE(w.messages.empty()) << "the box shows no message";
        if (how == EscapeWhileRunning) {
            EXPECT_EQ(gate.cancelled.load(), 1);
        }
        FreeImageBuffer(picture);
    }
}

TEST(ProgressBox, WithoutPictureOrEditorPageTheAlgorithmRunsAlone)
{
    DialogWorld w;
    w.editorPage = false; // the album's tab is current
    CGateAlgorithm gate;
    EXPECT_EQ(RunAlgorithmWithProgress(&gate, nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(gate.runs.load(), 1);
    EXPECT_EQ(gate.Source(), nullptr);
    EXPECT_EQ(gate.Destination(), nullptr);
}

TEST(ProgressBox, WaitsForAnotherPartsJobThenRunsItsOwn)
{
    DialogWorld w;
    ImageBuffer16 picture{};
    FillPattern(picture, 16, 16);
    w.OpenDocument(picture);
    CGateAlgorithm other;
    other.open.store(false);
    ASSERT_TRUE(StartAlgorithm(&other, nullptr, nullptr, nullptr, 7)); // nobody listens
    CGateAlgorithm mine;
    GateRecord record;
    record.delta = 3;
    int result = 0;
    {
        GateOpener opener(other, 60);
        result = RunAlgorithmWithProgress(&mine, &record, nullptr, nullptr);
    }
    EXPECT_EQ(result, 1);
    EXPECT_EQ(other.finished.load(), 1) << "the other job was not cancelled";
    EXPECT_EQ(mine.runs.load(), 1);
    EXPECT_EQ(w.Layer().data[0], picture.data[0] + 3);
    FreeImageBuffer(picture);
}

namespace {

// The smallest dialog of the family: one job per run request, delta from its own record.
class CTestJobDialog : public CAlgorithmDialog {
public:
    void StartJob() override
    {
        ++starts;
        StartDialogJob(&gate, &source, &destination, &record, sizeof record, kJobPreview);
    }
    CGateAlgorithm gate;
    GateRecord record;
    ImageBuffer16 source{}, destination{};
    int starts = 0;
};

} // namespace

TEST(AlgorithmDialog, TwoRequestsDuringAJobRestartItOnceWithTheLastRecord)
{
    DialogWorld w;
    CTestJobDialog d;
    ASSERT_TRUE(CreateDialogFromTemplate(d, CProgDlg::kTemplateId));
    ASSERT_TRUE(d.OnInitDialog());
    FillPattern(d.source, 8, 8);
    d.gate.open.store(false);
    d.record.delta = 1;
    d.RequestRun();
    ASSERT_TRUE(w.PumpUntil([&] { return d.gate.runs.load() == 1; }));
    d.record.delta = 2; // the control changes while the copy the worker got stays 1
    d.RequestRun();
    d.record.delta = 3;
    d.RequestRun();
    EXPECT_EQ(d.starts, 1) << "no second job while one runs";
    EXPECT_EQ(d.RestartPending(), 1);
    // The held job sees the cancel; its completion starts the one restart.
    ASSERT_TRUE(w.PumpUntil([&] { return d.starts == 2 && d.gate.runs.load() == 2; }));
    EXPECT_EQ(d.RestartPending(), 0);
    d.gate.open.store(true);
    ASSERT_TRUE(w.PumpUntil([&] { return !d.JobInFlight(); }));
    w.Settle();
    EXPECT_EQ(d.starts, 2);
    ASSERT_EQ(d.gate.deltas.size(), 2u);
    EXPECT_EQ(d.gate.deltas[0], 1);
    EXPECT_EQ(d.gate.deltas[1], 3) << "the restart reads the last change";
    EXPECT_EQ(d.gate.cancelled.load(), 1);
    EXPECT_EQ(w.Count(u"algorithmerror"), 0) << "a cancelled job shows no message";
    EXPECT_EQ(d.destination.data[0], d.source.data[0] + 3);
    FreeImageBuffer(d.source);
    FreeImageBuffer(d.destination);
}

TEST(AlgorithmDialog, ProgressCompletionFailureAndCancelWithoutAJob)
{
    DialogWorld w;
    CTestJobDialog d;
    ASSERT_TRUE(CreateDialogFromTemplate(d, CProgDlg::kTemplateId));
    ASSERT_TRUE(d.OnInitDialog());
    FillPattern(d.source, 4, 4);
    d.gate.open.store(false);
    d.RequestRun();
    ASSERT_TRUE(w.PumpUntil([&] { return d.gate.runs.load() == 1; }));
    Send(w, &d, MSG_ALGORITHM, 150);
    EXPECT_EQ(d.Progress(), 100) << "above 100 is a full bar";
    Send(w, &d, MSG_ALGORITHM, -20);
    EXPECT_EQ(d.Progress(), 0);
    d.gate.result.store(0);
    d.gate.open.store(true);
    ASSERT_TRUE(w.PumpUntil([&] { return !d.JobInFlight(); }));
    EXPECT_EQ(d.Progress(), 0) << "a completion resets the bar";
    EXPECT_EQ(w.Count(u"algorithmerror"), 1) << "a failed job says so and the dialog stays";
    EXPECT_EQ(d.Result(), 0);
    d.OnCancel();
    EXPECT_EQ(d.Result(), 2) << "cancel without a job ends at once";
    EXPECT_FALSE(theAlgorithmThread.IsCancelRequested()) << "nobody else's job is cancelled";
    EXPECT_EQ(g_pAlgorithmListener.load(), nullptr);
    FreeImageBuffer(d.source);
    FreeImageBuffer(d.destination);
}
