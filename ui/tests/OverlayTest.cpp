// Overlays: picture or drawer content, hot-spot moves, and the cursor that goes when its tool
// stops refreshing it.
#include "ui/Overlay.h"
#include "UiTestWindow.h"

#include <gtest/gtest.h>

namespace {

class CountingDrawer : public ISOverlayDraw {
public:
    void DrawOverlay(ImageBuffer8& image, uint32_t) override
    {
        ++calls;
        if (image.data)
            image.data[3] = 99;
    }
    int calls = 0;
};

ImageBuffer8 Solid(int w, int h, uint8_t alpha)
{
    ImageBuffer8 img;
    AllocImage8(img, w, h);
    for (uint32_t i = 0; i < img.pixelCount; ++i) {
        img.data[size_t(i) * 4] = 200;
        img.data[size_t(i) * 4 + 1] = 100;
        img.data[size_t(i) * 4 + 2] = 50;
        img.data[size_t(i) * 4 + 3] = alpha;
    }
    return img;
}

} // namespace

TEST(Overlay, PictureDrawerAndHotSpot)
{
    UiTestWindow t;
    auto* overlay = new CSOverlay;
    overlay->SetAutoDelete(1);
    ASSERT_TRUE(overlay->Create(nullptr, t.window.get(), 0, 50, 0, 0, 40, 40));
    t.window->AddTopLevel(overlay);
    CountingDrawer drawer;
    ImageBuffer8 picture = Solid(16, 12, 255);

    // A drawer paints every redraw; with a picture the picture wins.
    overlay->SetContent(nullptr, &drawer);
    overlay->SetAllDirty(1);
    t.Frame();
    EXPECT_EQ(drawer.calls, 1);
    overlay->SetContent(&picture, &drawer);
    overlay->SetAllDirty(1);
    t.Frame();
    EXPECT_EQ(drawer.calls, 1);
    {
        platform::ScopedLock lock(overlay->Lock());
        EXPECT_EQ(overlay->Image().data[3], 255);
    }
    // Moving puts the hot spot (0, 0 until cleared with another) on the point, at the picture's size.
    overlay->MoveImageTo(100, 80);
    EXPECT_EQ(overlay->Rect(), (SRect{100, 80, 116, 92}));
    overlay->ClearContent(8, 6);
    EXPECT_EQ(overlay->Picture(), nullptr);
    overlay->MoveImageTo(10, 10); // without a picture: stays
    EXPECT_EQ(overlay->Rect(), (SRect{100, 80, 116, 92}));
    overlay->SetContent(&picture, nullptr);
    overlay->MoveImageTo(100, 80);
    EXPECT_EQ(overlay->Rect(), (SRect{92, 74, 108, 86}));
    overlay->SetContent(nullptr, nullptr);
    t.Frame();
    FreeImageBuffer(picture);
}

TEST(Overlay, CursorDisappearsAfter31FramesWithoutRefresh)
{
    UiTestWindow t;
    auto* cursor = new CCursorSprite;
    cursor->SetAutoDelete(1);
    ASSERT_TRUE(cursor->Create(nullptr, t.window.get(), 0, 50, 0, 0, 16, 16));
    t.window->AddTopLevel(cursor);
    ImageBuffer8 picture = Solid(16, 16, 255);
    cursor->SetContent(&picture, nullptr);
    struct Step { int frames; bool refresh; bool shown; };
    const Step steps[] = {{30, false, true}, {1, false, false}, {0, true, true}, {25, true, true}, {31, false, false}};
    for (const Step& s : steps) {
        if (s.refresh)
            cursor->SetContent(&picture, nullptr);
        for (int i = 0; i < s.frames; ++i) {
            cursor->SetAllDirty(1);
            t.Frame();
        }
        EXPECT_EQ(cursor->Picture() != nullptr, s.shown) << s.frames;
    }
    FreeImageBuffer(picture);
}
