// The blend-mode menu the layer panel and the filter dialogs' blend popup share.
#include "dialogs/BlendModeMenu.h"
#include "ui/Menu.h"
#include "ui/tests/UiTestWindow.h"

#include <gtest/gtest.h>

#include <string>

TEST(BlendModeMenu, NineModesWithTheirKeysAndTips)
{
    UiTestWindow t;
    CSMenu menu;
    BuildBlendModeMenu(menu);
    const int ids[] = {23000, 23001, 23002, 23005, 23006, 23007, 23008, 23009, 23010};
    const char16_t* labels[] = {u"bmnormal", u"bmdarken", u"bmlighten", u"bmmul", u"bmscreen",
                                u"bmoverlay", u"bmhardlight", u"bmsoftlight", u"bmdif"};
    const char16_t* tips[] = {u"", u"mtipDarken", u"mtipLighten", u"mtipMul", u"mtipScreen",
                              u"mtipOverlay", u"mtipHard", u"mtipSoft", u"mtipdif"};
    ASSERT_EQ(menu.Count(), 9);
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(menu.Item(i).commandId, ids[i]);
        EXPECT_EQ(std::u16string(menu.Item(i).label), labels[i]) << "the test's texts are the keys";
        EXPECT_EQ(std::u16string(menu.Item(i).tip), tips[i]);
    }
    BuildBlendModeMenu(menu);
    EXPECT_EQ(menu.Count(), 9) << "an id already there is not added again";
    EXPECT_EQ(std::u16string(BlendMenuKey(3)), u"bmnormal");
    EXPECT_EQ(std::u16string(BlendMenuKey(9)), u"bmsoftlight");
}
