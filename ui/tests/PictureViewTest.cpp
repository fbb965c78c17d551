// Picture viewer: fit, zoom steps and zoom about a point, pan limits, drag, keys, the overview,
// the badge, click reporting, the zoom lock and a picture resized under the view.
#include "ui/PictureView.h"
#include "UiTestWindow.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

int ViewImages(UiImageFolder folder, const char16_t* name, ImageBuffer8& out)
{
    if (std::u16string(name) == u"picviewtool.png" || std::u16string(name) == u"roundframe.png") {
        const int w = name[0] == u'p' ? 6 * 28 : 24;
        if (!AllocImage8(out, w, name[0] == u'p' ? 28 : 24))
            return 0;
        std::memset(out.data, 0x80, out.byteSize);
        return 1;
    }
    return DrawnUiImage(folder, name, out);
}

struct ViewFixture {
    UiTestWindow t;
    TestSprite* parent;
    CSPicView* view;
    ImageBuffer8 picture;

    // The picture area of a 600 x 440 view is 592 x 401.
    explicit ViewFixture(int pw = 1184, int ph = 802, int width = 600, int height = 440)
    {
        SetUiImageSource(&ViewImages);
        ResetSharedUiImages();
        parent = new TestSprite(0xFF202020, true);
        parent->SetAutoDelete(1);
        EXPECT_TRUE(parent->Create(nullptr, t.window.get(), 0, 10, 0, 0, 620, 460));
        t.window->AddTopLevel(parent);
        view = new CSPicView;
        view->SetAutoDelete(1);
        EXPECT_TRUE(view->Create(parent, nullptr, 9, 1, 0, 0, width, height));
        parent->AddChild(view);
        view->SetPos(0, 0, width, height);
        EXPECT_TRUE(AllocImage8(picture, pw, ph));
        // Blue = x & 255, green = y & 255: a pixel names its place.
        for (int y = 0; y < ph; ++y)
            for (int x = 0; x < pw; ++x) {
                uint8_t* p = picture.data + (size_t(y) * pw + x) * 4;
                p[0] = uint8_t(x);
                p[1] = uint8_t(y);
                p[2] = 0;
                p[3] = 255;
            }
        view->SetImage8(&picture, u"Photo");
        t.Frame();
    }
    ~ViewFixture() { FreeImageBuffer(picture); }
    std::vector<std::pair<intptr_t, intptr_t>> Changes()
    {
        t.Pump();
        std::vector<std::pair<intptr_t, intptr_t>> v;
        for (size_t i = 0; i < parent->codes.size(); ++i)
            if (parent->codes[i] == MSG_VIEW_CHANGED)
                v.push_back({parent->params[i], 0});
        return v;
    }
    std::string Src() const
    {
        const SRect s = view->Source();
        return std::to_string(s.left) + "," + std::to_string(s.top) + "," + std::to_string(s.right) + "," +
               std::to_string(s.bottom);
    }
};

} // namespace

TEST(PictureView, FitAndScrollLimits)
{
    struct Case { int pw, ph; double zoom; const char* source; };
    const Case cases[] = {
        {1184, 802, 0.5, "0,0,1184,802"},
        {2368, 401, 0.25, "0,0,2368,401"},   // the width decides
        {100, 50, 1.0, "0,0,100,50"},        // smaller than the area: 1:1, never enlarged
    };
    for (const Case& c : cases) {
        ViewFixture f(c.pw, c.ph);
        EXPECT_DOUBLE_EQ(f.view->Zoom(), c.zoom) << c.pw;
        EXPECT_EQ(f.Src(), c.source) << c.pw;
    }
    ViewFixture f;
    f.view->SetZoom(1.0);
    struct Scroll { int x, y; const char* source; };
    const Scroll scrolls[] = {
        {-50, -9, "0,0,592,401"},
        {100, 200, "100,200,692,601"},
        {1000, 700, "592,401,1184,802"}, // moved back by the excess
        {5000, 5000, "592,401,1184,802"},
    };
    for (const Scroll& s : scrolls) {
        f.view->ScrollTo(s.x, s.y);
        EXPECT_EQ(f.Src(), s.source) << s.x << "," << s.y;
    }
    // The small picture is centred in the area and whole: no drag starts.
    ViewFixture small(100, 50);
    const SRect shown = small.view->Shown();
    EXPECT_EQ(shown.left, 4 + (592 - 100) / 2);
    EXPECT_EQ(shown.top, 35 + (401 - 50) / 2);
    small.view->OnLButtonDown(shown.left + 10, shown.top + 10, 0);
    EXPECT_FALSE(small.view->Dragging());
}

TEST(PictureView, ZoomStepsAndLimits)
{
    ViewFixture f;
    struct Case { double from; bool in; double to; };
    const Case cases[] = {
        {0.05, true, 0.1}, {0.1, false, 0.1}, {20, true, 20}, {25, false, 20}, {0.1, true, 0.25},
        {0.3, true, 0.333333333}, {0.5, true, 0.66666666666}, {1, true, 2}, {1, false, 0.66666666666},
        {10, true, 20}, {7.5, false, 7}, {0.2, false, 0.1},
    };
    for (const Case& c : cases) {
        f.view->m_zoomLock = 0;
        f.view->SetZoom(c.from);
        f.view->StepZoom(c.in, 10, 10);
        EXPECT_DOUBLE_EQ(f.view->Zoom(), c.to) << c.from << (c.in ? " in" : " out");
    }
    f.view->SetZoom(1.0);
    f.view->m_zoomLock = 1;
    f.view->StepZoom(true, 10, 10);
    f.view->SetZoom(2.0);
    EXPECT_DOUBLE_EQ(f.view->Zoom(), 1.0);
}

TEST(PictureView, ZoomKeepsThePointUnderThePointer)
{
    ViewFixture f; // zoom 0.5, whole picture shown at (4, 35)
    const SRect shown = f.view->Shown();
    EXPECT_EQ(shown.left, 4);
    // The wheel over picture point (600, 400) zooms in to 0.66 and brings the point to the centre.
    const int vx = shown.left + 300, vy = shown.top + 200;
    EXPECT_EQ(f.view->ViewToImage(vx, vy).x, 600);
    f.view->OnMouseWheel(vx, vy, 120);
    EXPECT_DOUBLE_EQ(f.view->Zoom(), 0.66666666666);
    const SRect s = f.view->Source();
    EXPECT_EQ(s.left, 600 - int(592 / (2 * 0.66666666666)));
    EXPECT_EQ(s.top, 400 - int(401 / (2 * 0.66666666666)));
    f.t.Frame();
    const SPoint centre = f.view->ViewToImage((f.view->Shown().left + f.view->Shown().right) / 2,
                                              (f.view->Shown().top + f.view->Shown().bottom) / 2);
    EXPECT_NEAR(centre.x, 600, 2);
    EXPECT_NEAR(centre.y, 400, 2);
    // SetZoom keeps the centre point in place.
    f.view->SetZoom(2.0);
    f.t.Frame();
    const SPoint after = f.view->ViewToImage((f.view->Shown().left + f.view->Shown().right) / 2,
                                             (f.view->Shown().top + f.view->Shown().bottom) / 2);
    EXPECT_NEAR(after.x, centre.x, 2);
    EXPECT_NEAR(after.y, centre.y, 2);
    // Outside the shown picture the point is (0, 0).
    EXPECT_EQ(f.view->ViewToImage(1, 1).x, 0);
    EXPECT_EQ(f.view->ViewToImage(1, 1).y, 0);
}

TEST(PictureView, PanningByDragAndKeys)
{
    ViewFixture f;
    f.view->SetZoom(1.0);
    f.view->ScrollTo(200, 100);
    f.t.Frame();
    const SRect shown = f.view->Shown();
    f.view->OnLButtonDown(shown.left + 100, shown.top + 100, 0);
    ASSERT_TRUE(f.view->Dragging());
    f.view->OnMouseMove(shown.left + 60, shown.top + 70, 0);
    EXPECT_EQ(f.Src(), "240,130,832,531"); // the picture follows the pointer on both axes alike
    f.view->OnLButtonUp(shown.left + 60, shown.top + 70, 0);
    EXPECT_FALSE(f.view->Dragging());
    auto changes = f.Changes();
    ASSERT_FALSE(changes.empty());
    EXPECT_EQ(changes.back().first, CSPicView::kViewDragEnded);

    struct Key { uint32_t key; const char* source; };
    const Key keys[] = {{39, "290,130,882,531"}, {40, "290,180,882,581"}, {37, "240,180,832,581"}, {38, "240,130,832,531"}, {65, "240,130,832,531"}};
    for (const Key& k : keys) {
        f.view->OnKeyDown(k.key, 1, 0);
        EXPECT_EQ(f.Src(), k.source) << k.key;
    }
    f.view->OnKeyDown(107, 1, 0); // plus without Ctrl does nothing
    EXPECT_DOUBLE_EQ(f.view->Zoom(), 1.0);
}

TEST(PictureView, ClicksReportPicturePoints)
{
    ViewFixture f;
    f.view->m_clickReporting = 1;
    const SRect shown = f.view->Shown();
    f.view->OnLButtonDown(shown.left + 50, shown.top + 20, 0);
    f.view->OnLButtonUp(shown.left + 53, shown.top + 22, 0);
    f.t.Pump();
    ASSERT_FALSE(f.parent->codes.empty());
    EXPECT_EQ(f.parent->codes.back(), MSG_VIEW_CHANGED);
    EXPECT_EQ(f.parent->params.back(), CSPicView::kViewClicked);
}

TEST(PictureView, OverviewOnlyWhenLessThanHalfIsShownInALargeArea)
{
    struct Case { int width, height; double zoom; bool navigator; };
    const Case cases[] = {
        {600, 440, 0.5, false},   // whole picture
        {600, 440, 1.0, true},    // 592 x 401 of 1184 x 802
        {600, 320, 2.0, false},   // area 281 high: too small
    };
    for (const Case& c : cases) {
        ViewFixture f(1184, 802, c.width, c.height);
        f.view->SetZoom(c.zoom);
        f.t.Frame();
        EXPECT_EQ(!f.view->Navigator().IsEmpty(), c.navigator) << c.zoom;
        if (c.navigator) {
            const SRect n = f.view->Navigator();
            EXPECT_EQ(n.Width(), 150);
            EXPECT_EQ(n.Height(), 802 * 150 / 1184);
            EXPECT_EQ(n.right, f.view->Area().right - 1);
            // A click in the overview centres the picture there.
            f.view->OnLButtonDown(n.left + 75, n.top + 50, 0);
            const SRect s = f.view->Source();
            EXPECT_NEAR((s.left + s.right) / 2, 592, 3);
        }
    }
}

TEST(PictureView, BadgeReadsTheZoomAndAResizedPictureIsNoticed)
{
    ViewFixture f;
    EXPECT_TRUE(f.view->BadgeImage().data);
    const int narrow = f.view->BadgeImage().width;
    f.view->SetZoom(1.0);
    f.t.Frame();
    EXPECT_GT(f.view->BadgeImage().width, narrow); // "100%" is wider than "50%"
    EXPECT_EQ(f.view->BadgeImage().height, 24);

    f.view->ScrollTo(5000, 5000);
    // The caller replaces its picture's pixels with a smaller picture in the same record.
    FreeImageBuffer(f.picture);
    ASSERT_TRUE(AllocImage8(f.picture, 700, 500));
    std::memset(f.picture.data, 0, f.picture.byteSize);
    f.view->SetAllDirty(1);
    f.t.Frame();
    EXPECT_EQ(f.view->PictureWidth(), 700);
    EXPECT_EQ(f.Src(), "108,99,700,500");
}

TEST(PictureView, ToolBarCommandsReachTheView)
{
    ViewFixture f;
    EXPECT_EQ(f.view->ToolBar().GetLength(), 130);
    ASSERT_EQ(f.view->ToolBar().Buttons().size(), 4u);
    f.view->ToolBar().Buttons()[0].button->Click(); // zoom in
    f.t.Pump();
    f.t.Pump();
    EXPECT_DOUBLE_EQ(f.view->Zoom(), 0.66666666666);
    f.view->ToolBar().Buttons()[3].button->Click(); // best fit
    f.t.Pump();
    f.t.Pump();
    EXPECT_DOUBLE_EQ(f.view->Zoom(), 0.5);
    f.view->ToolBar().Buttons()[2].button->Click(); // real size
    f.t.Pump();
    f.t.Pump();
    EXPECT_DOUBLE_EQ(f.view->Zoom(), 1.0);
    EXPECT_EQ(f.Src(), "0,0,592,401");
}

TEST(PictureView, SixteenBitPicturesAndClearingOneSlot)
{
    ViewFixture f;
    ImageBuffer16 deep;
    ASSERT_TRUE(AllocImage16(deep, 300, 200));
    for (uint32_t i = 0; i < deep.pixelCount; ++i) {
        uint16_t* p = reinterpret_cast<uint16_t*>(deep.data) + size_t(i) * 4;
        p[0] = p[1] = p[2] = 0xFFFF;
        p[3] = 0xFFFF;
    }
    f.view->SetImage16(&deep, nullptr);
    EXPECT_EQ(f.view->PictureWidth(), 300);
    EXPECT_DOUBLE_EQ(f.view->Zoom(), 1.0);
    f.view->SetImage8(nullptr, nullptr); // the 8-bit slot is already empty: the 16-bit picture stays
    f.t.Frame();
    const SRect shown = f.view->Shown();
    EXPECT_EQ(shown.Width(), 300);
    {
        platform::ScopedLock lock(f.view->Lock());
        const uint8_t* p = f.view->Image().data + (size_t(shown.top + 5) * f.view->Image().width + shown.left + 5) * 4;
        EXPECT_GT(p[2], 240); // white reaches the view
    }
    f.view->SetImage16(nullptr, nullptr);
    EXPECT_EQ(f.view->GetFocusRect().Width(), 0); // no picture: no focus area
    FreeImageBuffer(deep);
}

TEST(PictureView, PressingTheBadgeOpensTheZoomMenu)
{
    ViewFixture f;
    f.t.Frame();
    const SRect b = f.view->Badge();
    ASSERT_FALSE(b.IsEmpty());
    f.view->OnLButtonDown(b.left + 3, b.top + 3, 0);
    CSMenu& menu = f.view->ZoomMenu();
    EXPECT_TRUE(menu.IsVisible());
    ASSERT_EQ(menu.Count(), 11);
    EXPECT_EQ(menu.Item(0).commandId, 1);
    EXPECT_TRUE(menu.Item(1).separator);
    EXPECT_EQ(menu.m_owner, f.view);
    // Each entry's command sets its zoom; the first fits.
    struct Case { int item; double zoom; };
    const Case cases[] = {{2, 8.0}, {5, 1.0}, {10, 0.1}, {6, 0.66666666666}};
    for (const Case& c : cases) {
        SpriteMessage m;
        m.code = MSG_MENU_COMMAND;
        m.param1 = menu.Item(c.item).commandId;
        f.view->OnSpriteMessage(&m);
        EXPECT_NEAR(f.view->Zoom(), c.zoom, 1e-6) << c.item;
    }
    menu.Close(0);
    // Pressing it again builds the menu afresh.
    f.t.Frame();
    const SRect again = f.view->Badge();
    f.view->OnLButtonDown(again.left + 3, again.top + 3, 0);
    EXPECT_EQ(f.view->ZoomMenu().Count(), 11);
    f.view->ZoomMenu().Close(0);
}

TEST(PictureView, ToolBarButtonsStandInARowBeforeAnyResize)
{
    UiTestWindow t;
    SetUiImageSource(&ViewImages);
    ResetSharedUiImages();
    // Created at its size and never moved, as an editor tab makes it.
    CSPicView view;
    ASSERT_TRUE(view.Create(nullptr, t.window.get(), 9, 1, 0, 0, 600, 440));
    const std::vector<ToolBarButton>& buttons = view.ToolBar().Buttons();
    ASSERT_EQ(buttons.size(), 4u);
    int right = 0;
    for (size_t i = 0; i < buttons.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_NE(buttons[i].button, nullptr);
        const SRect r = buttons[i].button->Rect();
        EXPECT_GT(r.Width(), 0);
        EXPECT_GE(r.left, right) << "drawn over the button before it";
        right = r.right;
    }
    EXPECT_LE(right, view.ToolBar().Width());
    view.ReleaseResources(1);
}
