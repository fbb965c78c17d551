// The album preview: fit, zoom steps, clamping, hover zones, clicks and swipes, stepping with
// wrap, a failed decode that keeps the picture, the cross-fade frames.
#include "album/AlbumPreview.h"
#include "ui/tests/UiTestWindow.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>

using platform::String16;

namespace {

// Pictures made from their names: "W x H #colour" (bad names fail like broken files).
int FakeDecode(const char16_t* path, ImageBuffer8& out)
{
    const std::string p = platform::Utf16ToUtf8(path);
    int w = 0, h = 0;
    unsigned colour = 0;
    if (std::sscanf(p.c_str(), "/%dx%d#%x", &w, &h, &colour) != 3 || w <= 0 || h <= 0)
        return 0;
    if (!AllocImage8(out, w, h))
        return 0;
    for (uint32_t i = 0; i < out.pixelCount; ++i) {
        const uint32_t v = 0xFF000000u | colour;
        std::memcpy(out.data + size_t(i) * 4, &v, 4);
    }
    return 1;
}

struct PreviewFixture {
    UiTestWindow t{1400, 900};
    TestSprite* page = nullptr;
    CSAlbumPreview* preview = nullptr;

    explicit PreviewFixture(std::vector<std::u16string> paths, int width = 1200, int height = 800)
    {
        page = new TestSprite(0xFF303030, true);
        page->SetAutoDelete(1);
        EXPECT_TRUE(page->Create(nullptr, t.window.get(), 0, 10, 0, 0, width, height));
        t.window->AddTopLevel(page);
        preview = new CSAlbumPreview;
        preview->SetAutoDelete(1);
        preview->m_framePauseMs = 0;
        preview->SetPictureLoader(&FakeDecode);
        EXPECT_TRUE(preview->Create(page, nullptr, CSAlbumPreview::kId, CSAlbumPreview::kZLevel, 0, 0, width, height));
        preview->SetVisible(0);
        page->AddChild(preview);
        for (const auto& p : paths)
            preview->AddPath(p.c_str());
    }
    void OpenAt(const std::u16string& path)
    {
        EXPECT_EQ(preview->OpenAt(path.c_str()), 1);
        const SRect view{0, 0, page->Width(), page->Height()};
        preview->Open({10, 10, 110, 110}, preview->FitRect(0, 0, view.right, view.bottom), view);
    }
    // A wheel notch at the middle of the picture.
    int Wheel(bool forward)
    {
        const SRect r = preview->PictureRect();
        return preview->ZoomAt((r.left + r.right) / 2, (r.top + r.bottom) / 2, forward);
    }
};

} // namespace

TEST(AlbumPreview, ZoomStepsFromTheFittedSize)
{
    struct Case {
        const char16_t* photo;
        double fitted;
        std::vector<std::pair<bool, double>> wheel; // forward?, zoom after
    } cases[] = {
        // 6000 x 4000 in 1200 x 800: 0.2; forward 0.25; back from 0.25 goes to 0.1; at 0.1 the
        // whole picture shows, so back does nothing.
        {u"/6000x4000#ff0000", 0.2, {{true, 0.25}, {false, 0.1}, {false, 0.1}, {true, 0.25}, {true, 0.333333333}}},
        // Back at the fitted size does nothing.
        {u"/6000x4000#ff0000", 0.2, {{false, 0.2}}},
        // Never enlarged, and it cannot be zoomed out.
        {u"/400x300#00ff00", 1.0, {{false, 1.0}, {true, 2.0}, {true, 3.0}, {false, 2.0}}},
        // Tall picture: fitted to the height.
        {u"/1000x4000#0000ff", 0.2, {{true, 0.25}}},
    };
    for (const Case& c : cases) {
        PreviewFixture f({c.photo});
        f.OpenAt(c.photo);
        EXPECT_DOUBLE_EQ(f.preview->Zoom(), c.fitted) << platform::Utf16ToUtf8(c.photo);
        for (const auto& [forward, zoom] : c.wheel) {
            f.Wheel(forward);
            EXPECT_NEAR(f.preview->Zoom(), zoom, 1e-9) << platform::Utf16ToUtf8(c.photo) << " " << forward;
        }
    }
    // The step table's ends.
    EXPECT_DOUBLE_EQ(CSAlbumPreview::NextZoomStep(0.05, true), 0.1);
    EXPECT_DOUBLE_EQ(CSAlbumPreview::NextZoomStep(20, true), 20);
    EXPECT_DOUBLE_EQ(CSAlbumPreview::NextZoomStep(25, false), 20);
    EXPECT_DOUBLE_EQ(CSAlbumPreview::NextZoomStep(0.1, false), 0.1);
    EXPECT_DOUBLE_EQ(CSAlbumPreview::NextZoomStep(0.66666666666, true), 1);
}

TEST(AlbumPreview, OriginIsClampedAndTheViewCentred)
{
    PreviewFixture f({u"/6000x4000#ff0000"});
    f.OpenAt(u"/6000x4000#ff0000");
    EXPECT_EQ(f.preview->VisibleRect(), (SRect{0, 0, 6000, 4000}));
    EXPECT_EQ(f.preview->PictureRect(), (SRect{0, 0, 1200, 800}));
    f.Wheel(true); // 0.25: 4800 x 3200 of the picture show
    struct Case {
        int x, y;
        SRect visible;
    } cases[] = {
        {-5, 1000000, {0, 800, 4800, 4000}},
        {100, 100, {100, 100, 4900, 3300}},
        {5000, -3, {1200, 0, 6000, 3200}},
    };
    for (const Case& c : cases) {
        f.preview->SetOrigin(c.x, c.y);
        EXPECT_EQ(f.preview->VisibleRect(), c.visible) << c.x << "," << c.y;
    }
    // A small picture is centred at its own size.
    PreviewFixture g({u"/400x300#00ff00"});
    g.OpenAt(u"/400x300#00ff00");
    EXPECT_EQ(g.preview->PictureRect(), (SRect{400, 250, 800, 550}));
    EXPECT_EQ(g.preview->FitRect(0, 0, 1200, 800), (SRect{400, 250, 800, 550}));
    PreviewFixture h({u"/6000x4000#ff0000"});
    ASSERT_EQ(h.preview->OpenAt(u"/6000x4000#ff0000"), 1);
    // The inner area is 1198 x 798, a little wider than 3:2: the height decides.
    EXPECT_EQ(h.preview->FitRect(0, 0, 1200, 800), (SRect{1, 1, 1198, 799}));
    EXPECT_EQ(h.preview->FitRect(0, 0, 1200, 1000), (SRect{1, 101, 1199, 899}));
}

TEST(AlbumPreview, ZonesClicksAndSwipes)
{
    const std::vector<std::u16string> three{u"/400x300#000001", u"/400x300#000002", u"/400x300#000003"};
    struct Case {
        const char* what;
        size_t paths;
        int pressX, releaseX;
        int zone;
        int index;   // after the gesture
        bool open;
    } cases[] = {
        {"click on the left edge: previous, wrapping", 3, 20, 22, CSAlbumPreview::kZonePrevious, 2, true},
        {"click on the right edge: next", 3, 1180, 1182, CSAlbumPreview::kZoneNext, 1, true},
        {"click on the picture shown whole: close", 3, 600, 600, CSAlbumPreview::kZoneWhole, 0, false},
        {"swipe 100 px to the left: next", 3, 600, 500, CSAlbumPreview::kZoneWhole, 1, true},
        {"swipe 100 px to the right: previous", 3, 500, 600, CSAlbumPreview::kZoneWhole, 2, true},
        {"60 px is neither click nor swipe", 3, 600, 540, CSAlbumPreview::kZoneWhole, 0, true},
        {"one photo: no edge zones, the edge click closes", 1, 20, 20, CSAlbumPreview::kZoneWhole, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PreviewFixture f(std::vector<std::u16string>(three.begin(), three.begin() + ptrdiff_t(c.paths)));
        f.OpenAt(three[0]);
        f.preview->OnMouseMove(c.pressX, 400, 0);
        EXPECT_EQ(f.preview->HoverZone(), c.zone);
        f.preview->OnLButtonDown(c.pressX, 400, 0);
        f.preview->OnLButtonUp(c.releaseX, 400, 0);
        f.preview->WaitForDecode();
        EXPECT_EQ(f.preview->Index(), c.index);
        EXPECT_EQ(f.preview->IsVisible() != 0, c.open);
        if (c.open) {
            EXPECT_EQ(f.preview->PicturePixel(0, 0) & 0xFFFFFF, uint32_t(c.index + 1));
        }
    }
    // A press outside the view closes; so does a right click and Escape.
    PreviewFixture f(three);
    f.OpenAt(three[1]);
    f.preview->OnRButtonDown(5, 5, 0);
    EXPECT_FALSE(f.preview->IsVisible());
    f.OpenAt(three[1]);
    f.preview->OnKeyDown(39, 0, 0);
    f.preview->WaitForDecode();
    EXPECT_EQ(f.preview->Index(), 2);
    f.preview->OnKeyDown(39, 0, 0);
    f.preview->WaitForDecode();
    EXPECT_EQ(f.preview->Index(), 0) << "stepping forward from the last shows the first";
    f.preview->OnKeyDown(37, 0, 0);
    f.preview->WaitForDecode();
    EXPECT_EQ(f.preview->Index(), 2);
    f.preview->OnKeyDown(27, 0, 0);
    EXPECT_FALSE(f.preview->IsVisible());
}

TEST(AlbumPreview, DragOverAZoomedPicture)
{
    PreviewFixture f({u"/6000x4000#ff0000", u"/400x300#00ff00"});
    f.OpenAt(u"/6000x4000#ff0000");
    f.Wheel(true);
    f.Wheel(true); // 0.333: the picture no longer fits
    f.preview->OnMouseMove(600, 400, 0);
    EXPECT_EQ(f.preview->HoverZone(), CSAlbumPreview::kZoneDrag);
    const SRect before = f.preview->VisibleRect();
    f.preview->OnLButtonDown(600, 400, 0);
    EXPECT_TRUE(f.preview->IsDragging());
    f.preview->OnMouseMove(500, 350, 0); // 100 and 50 screen pixels: 300 and 150 picture pixels
    const SRect after = f.preview->VisibleRect();
    EXPECT_EQ(after.left - before.left, 300);
    EXPECT_EQ(after.top - before.top, 150);
    f.preview->OnLButtonUp(500, 350, 0);
    EXPECT_FALSE(f.preview->IsDragging());
    EXPECT_EQ(f.preview->Index(), 0) << "a drag is no swipe";
}

TEST(AlbumPreview, AFailedDecodeKeepsThePicture)
{
    PreviewFixture f({u"/400x300#0000aa", u"/broken.jpg", u"/400x300#0000bb"});
    f.OpenAt(u"/400x300#0000aa");
    EXPECT_TRUE(f.preview->Step(true));
    f.preview->WaitForDecode();
    EXPECT_EQ(f.preview->Index(), 0);
    EXPECT_EQ(f.preview->PicturePixel(0, 0) & 0xFFFFFF, 0xAAu);
    EXPECT_EQ(f.preview->AnimState(), CSAlbumPreview::kShowing);
    // The next step starts from the one that failed, so the photo after it is reached.
    EXPECT_TRUE(f.preview->Step(true));
    f.preview->WaitForDecode();
    EXPECT_EQ(f.preview->Index(), 2);
    EXPECT_EQ(f.preview->PicturePixel(0, 0) & 0xFFFFFF, 0xBBu);
    // Opening a photo that cannot be read: no picture, a click closes.
    PreviewFixture g({u"/broken.jpg"});
    EXPECT_EQ(g.preview->OpenAt(u"/broken.jpg"), 0);
    g.preview->Open({0, 0, 10, 10}, g.preview->FitRect(0, 0, 1200, 800), {0, 0, 1200, 800});
    EXPECT_FALSE(g.preview->HasPicture());
    g.preview->OnLButtonDown(600, 400, 0);
    EXPECT_FALSE(g.preview->IsVisible());
    EXPECT_EQ(g.preview->OpenAt(u"/not-in-the-list"), 0);
}

TEST(AlbumPreview, CrossFadeRunsFourFramesOnTheRenderSide)
{
    PreviewFixture f({u"/400x300#202020", u"/400x300#e0e0e0"});
    f.OpenAt(u"/400x300#202020");
    f.t.Frame();
    EXPECT_EQ(f.preview->AnimState(), CSAlbumPreview::kShowing);
    ASSERT_TRUE(f.preview->Step(true));
    f.preview->WaitForDecode();
    EXPECT_EQ(f.preview->AnimState(), CSAlbumPreview::kFading);
    std::vector<int> steps;
    for (int i = 0; i < 6 && f.preview->AnimState() != CSAlbumPreview::kShowing; ++i) {
        steps.push_back(f.preview->FadeStep());
        f.t.Frame();
    }
    EXPECT_EQ(steps, (std::vector<int>{0, 1, 2, 3, 3}));
    EXPECT_EQ(f.preview->AnimState(), CSAlbumPreview::kShowing);
    f.t.Frame();
    // The picture on screen is the new photo, centred.
    const uint32_t centre = f.t.SurfacePixel(600, 400) & 0xFF;
    EXPECT_EQ(centre, 0xE0u);
}

TEST(AlbumPreview, OnlyTheNewestStepCounts)
{
    std::atomic<int> decodes{0};
    PreviewFixture f({u"/40x30#000001", u"/40x30#000002", u"/40x30#000003", u"/40x30#000004"});
    f.preview->SetPictureLoader([&](const char16_t* path, ImageBuffer8& out) {
        ++decodes;
        platform::SleepMs(20);
        return FakeDecode(path, out);
    });
    f.OpenAt(u"/40x30#000001");
    for (int i = 0; i < 3; ++i)
        f.preview->Step(true);
    f.preview->WaitForDecode();
    f.t.Pump();
    EXPECT_EQ(f.preview->Index(), 3);
    EXPECT_EQ(f.preview->PicturePixel(0, 0) & 0xFFFFFF, 4u);
    EXPECT_LE(decodes.load(), 4) << "a waiting step is replaced by a newer one";
}
