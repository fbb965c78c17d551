// Visual variants dialog: the strength measure, the grid and its reduced square, the clickable
// neighbours on both pages, choosing and gliding, zoom and pan of the region, reset, OK equal to
// CVisual::ApplyTables with its kind-255 step through undo and redo, and the menu commands.
#include "dialogs/Launchers.h"
#include "dialogs/VisualDialog.h"
#include "imaging/Draw8.h"

#include "DialogTestSupport.h"

#include <set>
#include <tuple>

using namespace dialogtest;

namespace {

// The dialog opened on a page and shown in the window, so that frames draw it.
struct OpenVisual {
    DialogWorld& w;
    std::unique_ptr<CVisualDlg> d;

    OpenVisual(DialogWorld& world, int page) : w(world), d(std::make_unique<CVisualDlg>())
    {
        d->m_page.store(page);
        if (!CreateDialogFromTemplate(*d, CVisualDlg::kTemplateId) || !d->OnInitDialog()) {
            d.reset();
            return;
        }
        w.t.window->PushModal(d.get());
        d->SetOpacity(255);
        d->SetAllDirty(1);
        w.t.Frame();
    }
    ~OpenVisual()
    {
        if (d)
            w.t.window->PopModal(d.get());
    }
    // Frames until the animation ends (at most `limit`).
    int Settle(int limit = 200)
    {
        int frames = 0;
        do {
            w.t.Pump();
            w.t.Frame();
            ++frames;
        } while (d->Animation() != CVisualDlg::kAnimNone && frames < limit);
        w.t.Pump();
        w.t.Frame();
        return frames;
    }
    // Index of the hit entry with these steps, -1 when none.
    int HitIndex(std::array<int32_t, 5> steps) const
    {
        const std::vector<VisualHit> hits = d->Hits();
        for (size_t i = 0; i < hits.size(); ++i)
            if (std::equal(steps.begin(), steps.end(), hits[i].steps))
                return int(i);
        return -1;
    }
    SPoint Centre(int index) const
    {
        const SRect r = d->Hits()[size_t(index)].rect;
        return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
};

void FillUniform(ImageBuffer16& image, int width, int height, uint16_t b, uint16_t g, uint16_t r)
{
    ASSERT_TRUE(AllocImage16(image, width, height));
    for (uint32_t i = 0; i < image.pixelCount; ++i) {
        uint16_t* p = image.data + size_t(i) * 4;
        p[0] = b, p[1] = g, p[2] = r, p[3] = 0xFFFF;
    }
}

// A test picture freed however the test ends.
struct Photo : ImageBuffer16 {
    Photo() : ImageBuffer16{} {}
    Photo(const Photo&) = delete;
    ~Photo() { FreeImageBuffer(*this); }
};

using Steps = std::tuple<int, int, int, int, int>;

std::set<Steps> HitSteps(const CVisualDlg& d)
{
    std::set<Steps> s;
    for (const VisualHit& h : d.Hits())
        s.insert({h.steps[0], h.steps[1], h.steps[2], h.steps[3], h.steps[4]});
    return s;
}

} // namespace

TEST(VisualDialog, StrengthGrowsWithColourfulnessFrom50To100)
{
    struct Case {
        const char* what;
        int w, h;
        uint16_t b, g, r;
        int strength;
    };
    // Blue 30000 on black: d = 3000, per pixel (27000 + 3000 + 3000) / 3000 = 11.
    for (const Case& c : {Case{"empty", 0, 0, 0, 0, 0, 50}, Case{"grey", 300, 300, 40000, 40000, 40000, 50},
                          Case{"below a unit per pixel", 300, 300, 41000, 40000, 40000, 50},
                          Case{"a little colour", 100, 10, 30000, 0, 0, 51},
                          Case{"just within the scale", 300, 150, 30000, 0, 0, 99},
                          Case{"saturated and large", 230, 230, 30000, 0, 0, 100},
                          Case{"saturated red", 250, 250, 0, 0, 65535, 100}}) {
        SCOPED_TRACE(c.what);
        ImageBuffer16 image{};
        if (c.w > 0)
            FillUniform(image, c.w, c.h, c.b, c.g, c.r);
        EXPECT_EQ(CVisualDlg::MeasureStrength(image), c.strength);
        FreeImageBuffer(image);
    }
}

TEST(VisualDialog, TheGridShowsTheCentredSquareShrunkToThePitch)
{
    struct Case {
        int w, h;
        SRect region;
        int longer; // of the reduced copy; 0: pitch - 20
    };
    for (const Case& c : {Case{600, 400, {100, 0, 500, 400}, 0}, Case{400, 600, {0, 100, 400, 500}, 0},
                          Case{120, 90, {15, 0, 105, 90}, 90}}) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
        DialogWorld w;
        Photo photo;
        FillPattern(photo, c.w, c.h);
        w.OpenDocument(photo);
        OpenVisual v(w, 0);
        ASSERT_NE(v.d, nullptr);
        const int W = v.d->Width(), H = v.d->Height();
        const int d = std::abs(W - H) / 2;
        EXPECT_EQ(v.d->Pitch(), (W - 2 * d - 10) / 3);
        EXPECT_EQ(v.d->Grid().left, d + 5);
        EXPECT_EQ(v.d->Grid().right, W - d - 5);
        const SRect r = v.d->Region();
        EXPECT_EQ(std::tie(r.left, r.top, r.right, r.bottom),
                  std::tie(c.region.left, c.region.top, c.region.right, c.region.bottom));
        const int longer = c.longer ? c.longer : v.d->Pitch() - 20;
        EXPECT_EQ(v.d->Reduced().width, longer);
        EXPECT_EQ(v.d->Reduced().height, longer) << "a square region";
        if (c.longer) {
            // Not enlarged: the region's own pixels.
            const uint16_t* p = v.d->Reduced().data;
            EXPECT_EQ(p[0], 1000 + 37 * 15);
        }
        v.d->OnCancel();
        EXPECT_TRUE(SameBytes(w.Layer(), photo));
    }
}

TEST(VisualDialog, AtRestTheNeighboursAreClickable)
{
    struct Case {
        int page;
        std::set<Steps> hits;
    };
    const Case cases[] = {
        {0, {{1, 0, 0, 0, 0}, {-1, 0, 0, 0, 0}, {0, 1, 0, 0, 0}, {0, -1, 0, 0, 0}}},
        {1,
         {{0, 0, 1, 0, 0}, {0, 0, -1, 0, 0}, {0, 0, 0, 1, 0}, {0, 0, 0, -1, 0}, {0, 0, 0, 0, 1}, {0, 0, 0, 0, -1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.page);
        DialogWorld w;
        Photo photo;
        FillPattern(photo, 300, 200);
        w.OpenDocument(photo);
        OpenVisual v(w, c.page);
        ASSERT_NE(v.d, nullptr);
        EXPECT_EQ(HitSteps(*v.d), c.hits);
        EXPECT_EQ(v.d->Hits().size(), c.hits.size());
        EXPECT_EQ(v.d->CachedTiles(), c.hits.size() + 1) << "the current version and its neighbours";
        // The middle of the grid shows the current version: the reduced copy for display.
        ImageBuffer8 expected{};
        ASSERT_TRUE(AllocImage8(expected, v.d->Reduced().width, v.d->Reduced().height));
        ASSERT_TRUE(ConvertPixels16To8(v.d->Reduced(), expected));
        const SRect g = v.d->Grid();
        const int cx = (g.left + g.right) / 2, cy = (g.top + g.bottom) / 2;
        const SRect shown = v.d->LocalToWindowRect({cx, cy, cx + 1, cy + 1});
        const uint32_t px = w.t.SurfacePixel(shown.left, shown.top);
        const uint8_t* e = expected.data + (size_t(expected.height / 2) * expected.width + expected.width / 2) * 4;
        EXPECT_NEAR(int(px & 0xFF), e[0], 1);
        EXPECT_NEAR(int(px >> 8 & 0xFF), e[1], 1);
        EXPECT_NEAR(int(px >> 16 & 0xFF), e[2], 1);
        FreeImageBuffer(expected);
        v.d->OnCancel();
    }
}

TEST(VisualDialog, AClickGlidesToTheTileAndOkAppliesItsStepsAsOneUndoableStep)
{
    struct Case {
        int page;
        std::array<int32_t, 5> steps;
        bool oneLayer;
    };
    for (const Case& c : {Case{0, {1, 0, 0, 0, 0}, false}, Case{0, {0, -1, 0, 0, 0}, true},
                          Case{1, {0, 0, 0, 0, 1}, false}}) {
        SCOPED_TRACE(c.page);
        DialogWorld w;
        Photo photo;
        FillPattern(photo, 160, 120);
        w.OpenDocument(photo, !c.oneLayer);
        const size_t stepsBefore = w.history.steps.size();
        OpenVisual v(w, c.page);
        ASSERT_NE(v.d, nullptr);
        const int index = v.HitIndex(c.steps);
        ASSERT_GE(index, 0);
        const SPoint p = v.Centre(index);
        v.d->OnMouseMove(p.x, p.y, 0);
        EXPECT_EQ(v.d->Hovered(), index);
        v.d->OnLButtonDown(p.x, p.y, 0);
        v.d->OnLButtonUp(p.x + 3, p.y - 4, 0);
        EXPECT_EQ(v.d->Animation(), CVisualDlg::kAnimGlide);
        v.w.t.Frame();
        const std::array<double, 5> half = v.d->Position();
        EXPECT_GT(std::abs(half[0] + half[1] + half[4]), 0.1) << "one frame moves by 0.15";
        EXPECT_LT(std::abs(half[0] + half[1] + half[4]), 0.2);
        // A click during the glide is ignored.
        const int other = v.HitIndex({0, 1, 0, 0, 0}) >= 0 ? v.HitIndex({0, 1, 0, 0, 0}) : 0;
        if (!v.d->Hits().empty()) {
            const SPoint q = v.Centre(other);
            v.d->OnMouseMove(q.x, q.y, 0);
            v.d->OnLButtonDown(q.x, q.y, 0);
            v.d->OnLButtonUp(q.x, q.y, 0);
        }
        v.Settle();
        std::array<double, 5> expectedPosition{};
        for (int i = 0; i < 5; ++i)
            expectedPosition[i] = c.steps[i];
        EXPECT_EQ(v.d->Position(), expectedPosition);
        EXPECT_EQ(v.d->Animation(), CVisualDlg::kAnimNone);
        v.d->OnOK();
        ASSERT_EQ(v.d->Result(), 1);
        CVisual visual;
        visual.m_params.contrastSteps = c.steps[0];
        visual.m_params.exposureSteps = c.steps[1];
        visual.m_params.redSteps = c.steps[2];
        visual.m_params.greenSteps = c.steps[3];
        visual.m_params.blueSteps = c.steps[4];
        visual.m_params.strength = v.d->Strength();
        ImageBuffer16 expected{};
        ASSERT_TRUE(visual.ApplyTables(photo, expected));
        EXPECT_FALSE(SameBytes(expected, photo));
        EXPECT_TRUE(SameBytes(w.Layer(), expected)) << "OK equals ApplyTables with the chosen steps";
        ASSERT_EQ(w.history.steps.size(), stepsBefore + 1);
        const HistoryStep& step = w.history.steps.back();
        EXPECT_EQ(step.kind, kHistoryDocument);
        EXPECT_EQ(step.tag, 0);
        EXPECT_EQ(step.payloadLength, 0);
        EXPECT_EQ(std::u16string(step.name), u"VisualChanges");
        ASSERT_TRUE(w.history.GoToStep(w.history.current - 1, StepReplay::Force));
        EXPECT_TRUE(SameBytes(w.Layer(), photo)) << "undo";
        ASSERT_TRUE(w.history.GoToStep(w.history.current + 1, StepReplay::Force));
        EXPECT_TRUE(SameBytes(w.Layer(), expected)) << "redo";
        FreeImageBuffer(expected);
    }
}

TEST(VisualDialog, AClickThatMovesMoreThan4PixelsSelectsNothing)
{
    DialogWorld w;
    Photo photo;
    FillPattern(photo, 200, 200);
    w.OpenDocument(photo);
    OpenVisual v(w, 0);
    ASSERT_NE(v.d, nullptr);
    const int index = v.HitIndex({-1, 0, 0, 0, 0});
    ASSERT_GE(index, 0);
    const SPoint p = v.Centre(index);
    v.d->OnMouseMove(p.x, p.y, 0);
    v.d->OnLButtonDown(p.x, p.y, 0);
    v.d->OnLButtonUp(p.x + 5, p.y, 0);
    EXPECT_EQ(v.d->Animation(), CVisualDlg::kAnimNone);
    EXPECT_EQ(v.d->Target(), (std::array<double, 5>{}));
    v.d->OnCancel();
    EXPECT_TRUE(SameBytes(w.Layer(), photo));
}

TEST(VisualDialog, OkDuringAGlideAppliesTheWholeStepsReached)
{
    DialogWorld w;
    Photo photo;
    FillPattern(photo, 100, 80);
    w.OpenDocument(photo);
    OpenVisual v(w, 0);
    ASSERT_NE(v.d, nullptr);
    v.d->SelectTile(v.HitIndex({0, 1, 0, 0, 0}));
    for (int i = 0; i < 3; ++i)
        w.t.Frame();
    ASSERT_NE(v.d->Animation(), CVisualDlg::kAnimNone);
    EXPECT_NEAR(v.d->Position()[1], 0.45, 1e-9);
    v.d->OnOK();
    ASSERT_EQ(v.d->Result(), 1);
    // 0.45 truncated: no step, the picture unchanged; OK still records.
    EXPECT_TRUE(SameBytes(w.Layer(), photo));
    EXPECT_EQ(std::u16string(w.history.steps.back().name), u"VisualChanges");
}

TEST(VisualDialog, ZoomAndPanMoveTheRegionWithinThePicture)
{
    DialogWorld w;
    Photo photo;
    FillPattern(photo, 1200, 800);
    w.OpenDocument(photo);
    OpenVisual v(w, 0);
    ASSERT_NE(v.d, nullptr);
    const int pitch = v.d->Pitch();
    ASSERT_GT(pitch, 100);
    auto region = [&] {
        const SRect r = v.d->Region();
        return std::array<int, 4>{r.left, r.top, r.right, r.bottom};
    };
    EXPECT_EQ(region(), (std::array<int, 4>{200, 0, 1000, 800}));
    // Out: the centred square grows by 3/2 up to the shorter side... which it already is.
    v.d->ZoomOut();
    EXPECT_EQ(region(), (std::array<int, 4>{0, 0, 1200, 800})) << "the whole picture";
    EXPECT_FALSE(v.d->Panel().FindItem(CVisualDlg::kItemZoomOut)->enabled);
    v.d->ZoomOut();
    EXPECT_EQ(region(), (std::array<int, 4>{0, 0, 1200, 800}));
    // In from the whole picture: the centred square, then 2/3 around the centre.
    v.d->ZoomIn();
    EXPECT_EQ(region(), (std::array<int, 4>{200, 0, 1000, 800}));
    EXPECT_TRUE(v.d->Panel().FindItem(CVisualDlg::kItemZoomOut)->enabled);
    EXPECT_EQ(v.d->CachedTiles(), 0u) << "caches emptied";
    v.d->ZoomIn();
    EXPECT_EQ(region(), (std::array<int, 4>{334, 134, 867, 667}));
    int guard = 0;
    while (v.d->Panel().FindItem(CVisualDlg::kItemZoomIn)->enabled && guard++ < 20)
        v.d->ZoomIn();
    EXPECT_LE(v.d->Region().Width(), pitch * 3 / 2);
    EXPECT_GE(v.d->Region().Width(), pitch);
    const SRect small = v.d->Region();
    v.d->ZoomIn();
    EXPECT_EQ(v.d->Region().Width(), small.Width()) << "never below the pitch";
    w.t.Frame();
    // Pan: the pointer on the grid away from the tiles drags the region; clamped to the picture.
    const SRect g = v.d->Grid();
    const int x = g.left + 3, y = g.top + 3;
    v.d->OnMouseMove(x, y, 0);
    ASSERT_EQ(v.d->Hovered(), CVisualDlg::kHoverPan);
    v.d->OnLButtonDown(x, y, 0);
    v.d->OnMouseMove(x - 10, y, 0);
    const int moved = int(10 * double(small.Width()) / pitch);
    EXPECT_EQ(v.d->Region().left, small.left + moved);
    EXPECT_EQ(v.d->Region().top, small.top);
    v.d->OnMouseMove(x + 5000, y + 5000, 0);
    EXPECT_EQ(v.d->Region().left, 0);
    EXPECT_EQ(v.d->Region().top, 0);
    EXPECT_EQ(v.d->Region().Width(), small.Width());
    v.d->OnCaptureReleased();
    v.d->OnMouseMove(x - 200, y, 0);
    EXPECT_EQ(v.d->Region().left, 0) << "the pan ended with the capture";
    // The copy follows the region: its first pixel is the picture's at the region's corner.
    w.t.Frame();
    EXPECT_EQ(v.d->Hits().size(), 4u);
    v.d->OnCancel();
    EXPECT_TRUE(SameBytes(w.Layer(), photo));
}

TEST(VisualDialog, ASquarePictureZoomsStraightTo2Thirds)
{
    DialogWorld w;
    Photo photo;
    FillPattern(photo, 900, 900);
    w.OpenDocument(photo);
    OpenVisual v(w, 1);
    ASSERT_NE(v.d, nullptr);
    EXPECT_FALSE(v.d->Panel().FindItem(CVisualDlg::kItemZoomOut)->enabled) << "already the whole picture";
    v.d->ZoomIn();
    EXPECT_EQ(v.d->Region().left, 150);
    EXPECT_EQ(v.d->Region().Width(), 600);
    v.d->ZoomOut();
    EXPECT_EQ(v.d->Region().Width(), 900);
    EXPECT_EQ(v.d->Region().left, 0);
    v.d->OnCancel();
}

TEST(VisualDialog, PagesChangeByAnimationAndResetClearsEveryStep)
{
    DialogWorld w;
    Photo photo;
    FillPattern(photo, 200, 150);
    w.OpenDocument(photo);
    OpenVisual v(w, 0);
    ASSERT_NE(v.d, nullptr);
    v.d->SelectTile(v.HitIndex({1, 0, 0, 0, 0}));
    v.Settle();
    ASSERT_EQ(v.d->Position()[0], 1.0);
    // To the colour page: the tone tiles spread, the page changes, the colour tiles grow in.
    ASSERT_TRUE(::PostSpriteMessage(v.d.get(), MSG_PANEL_CLICK, CVisualDlg::kItemColour, 0, &v.d->Panel()));
    w.t.Pump();
    EXPECT_EQ(v.d->Animation(), CVisualDlg::kAnimToColour);
    const int frames = v.Settle();
    EXPECT_GT(frames, 3);
    EXPECT_EQ(v.d->Page(), 1);
    EXPECT_TRUE(v.d->Panel().FindItem(CVisualDlg::kItemColour)->checked);
    EXPECT_FALSE(v.d->Panel().FindItem(CVisualDlg::kItemTone)->checked);
    std::set<Steps> expected;
    for (int k = 0; k < 3; ++k)
        for (int sign : {-1, 1}) {
            int s[3] = {0, 0, 0};
            s[k] = sign;
            expected.insert({1, 0, s[0], s[1], s[2]});
        }
    EXPECT_EQ(HitSteps(*v.d), expected) << "the colour neighbours keep the tone steps";
    v.d->SelectTile(v.HitIndex({1, 0, 0, 1, 0}));
    v.Settle();
    // Reset on the colour page: every step back to 0 at once, the tone steps too.
    ASSERT_TRUE(::PostSpriteMessage(v.d.get(), MSG_PANEL_CLICK, CVisualDlg::kItemReset, 0, &v.d->Panel()));
    w.t.Pump();
    EXPECT_EQ(v.d->Position(), (std::array<double, 5>{}));
    v.Settle();
    EXPECT_EQ(v.d->Hits().size(), 6u);
    // And back to the tone page.
    ASSERT_TRUE(::PostSpriteMessage(v.d.get(), MSG_PANEL_CLICK, CVisualDlg::kItemTone, 0, &v.d->Panel()));
    w.t.Pump();
    v.Settle();
    EXPECT_EQ(v.d->Page(), 0);
    EXPECT_EQ(v.d->Hits().size(), 4u);
    v.d->OnCancel();
    EXPECT_EQ(v.d->Result(), 2);
    EXPECT_TRUE(SameBytes(w.Layer(), photo));
}

TEST(VisualDialog, StepsStayWithinTheirRangesAtTheEdge)
{
    for (int page : {0, 1}) {
        SCOPED_TRACE(page);
        DialogWorld w;
        Photo photo;
        FillPattern(photo, 120, 120);
        w.OpenDocument(photo);
        OpenVisual v(w, page);
        ASSERT_NE(v.d, nullptr);
        // Walk to the far end of one axis.
        const int limit = page == 0 ? 4 : 7;
        for (int k = 0; k < limit + 2; ++k) {
            const std::array<int32_t, 5> next =
                page == 0 ? std::array<int32_t, 5>{k + 1, 0, 0, 0, 0} : std::array<int32_t, 5>{0, 0, k + 1, 0, 0};
            const int index = v.HitIndex(next);
            if (index < 0)
                break;
            v.d->SelectTile(index);
            v.Settle();
        }
        EXPECT_EQ(v.d->Position()[page == 0 ? 0 : 2], limit);
        for (const VisualHit& h : v.d->Hits())
            for (int s : h.steps)
                EXPECT_LE(std::abs(s), limit);
        v.d->OnCancel();
    }
}

TEST(VisualDialog, TheMenuCommandsHaveRows)
{
    EXPECT_TRUE(HasEditorDialog(11000));
    EXPECT_TRUE(HasEditorDialog(12002));
    DialogWorld w;
    w.editorPage = false;
    EXPECT_EQ(RunEditorDialog(11000, 0), 0) << "no editor page: it does not open";
    EXPECT_EQ(RunEditorDialog(12002, 1), 0);
}

TEST(VisualDialog, AFailedApplyIsNotReportedAsDone)
{
    DialogWorld w;
    Photo photo;
    FillPattern(photo, 100, 100);
    w.OpenDocument(photo);
    const size_t stepsBefore = w.history.steps.size();
    OpenVisual v(w, 0);
    ASSERT_NE(v.d, nullptr);
    // The layer's pixels are gone (no memory for them): nothing to apply to.
    ImageBuffer16 kept = w.Layer();
    w.Layer() = ImageBuffer16{};
    v.d->OnOK();
    EXPECT_EQ(v.d->Result(), 0) << "the dialog stays open";
    EXPECT_EQ(w.Count(u"algorithmerror"), 1);
    EXPECT_EQ(w.history.steps.size(), stepsBefore);
    EXPECT_EQ(w.doc.modified.load(), 0);
    w.Layer() = kept;
    v.d->OnOK();
    EXPECT_EQ(v.d->Result(), 1);
    EXPECT_TRUE(SameBytes(w.Layer(), photo)) << "no steps: the picture as it was";
    EXPECT_EQ(w.history.steps.size(), stepsBefore + 1) << "OK records also with every step 0";
}
