#include "dialogs/EditorLink.h"
#include "dialogs/Launchers.h"

#include <gtest/gtest.h>

TEST(Launchers, ACommandWithoutARowSaysSoAndEndsNoTool)
{
    int ended = 0;
    EditorLink link;
    link.endActiveTool = [&] { ++ended; };
    SetEditorLink(link);
    EXPECT_EQ(RunEditorDialog(99999, 0), -1);
    EXPECT_FALSE(HasEditorDialog(99999));
    EXPECT_EQ(ended, 0) << "nothing to open: the tool stays";
    SetEditorLink({});
}

TEST(EditorLink, AnEmptyLinkReadsAsNoEditorPage)
{
    SetEditorLink({});
    EXPECT_EQ(CurrentEditorDocument(), nullptr);
    EXPECT_EQ(CurrentEditorHistory(), nullptr);
    EXPECT_TRUE(CurrentPageArea().IsEmpty());
    EndActiveEditorTool(); // no function: nothing happens
}
