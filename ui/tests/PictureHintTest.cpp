// Picture hint: the dialog sized around its picture, OK, and a missing picture.
#include "platform/Clipboard.h"
#include "ui/PictureHint.h"
#include "UiTestWindow.h"

#include "platform/tests/TestFolder.h"

#include <gtest/gtest.h>

TEST(PictureHint, SizedAroundThePictureAndEndedByOk)
{
    UiTestWindow t(800, 600);
    g_bAnimation.store(0);
    platform::test::TestFolder folder;
    platform::ClipboardPicture p;
    p.width = 400;
    p.height = 300;
    p.bgra.assign(size_t(400) * 300 * 4, 200);
    const std::vector<uint8_t> png = platform::EncodePicturePng(p);
    ASSERT_FALSE(png.empty());
    const platform::String16 path = folder.Path(u"crop demo.png");
    ASSERT_TRUE(platform::test::WriteText(path, std::string_view(reinterpret_cast<const char*>(png.data()), png.size())));

    CPicDemoDlg d(path.c_str(), u"Free crop");
    ASSERT_TRUE(d.Create());
    ASSERT_TRUE(d.OnInitDialog());
    EXPECT_EQ(d.Width(), 420);
    EXPECT_EQ(d.Height(), 380);
    const SRect ok = d.GetControl(1)->Rect();
    EXPECT_EQ(ok, (SRect{160, 350, 260, 370}));
    EXPECT_EQ(std::u16string(d.Caption()), u"Free crop");

    struct Case { const char16_t* path; uint32_t key; int result; };
    const Case cases[] = {{path.c_str(), platform::vk::Return, 1}, {u"/nonexistent/x.png", platform::vk::Return, 0},
                          {nullptr, platform::vk::Return, 0}};
    for (const Case& c : cases) {
        t.clock.Advance(500);
        t.Input().InjectKey(c.key, true);
        t.Input().InjectKey(c.key, false);
        EXPECT_EQ(ShowPictureHint(c.path, u"Free crop"), c.result);
        t.Pump();
    }
    g_bAnimation.store(1);
}
