// Edit field: typing with undo and redo, filters, limits, keys, mouse selection, clipboard
// through the in-process backend, scrolling to the caret, disabled edits and text input.
#include "platform/Clipboard.h"
#include "ui/DialogSprite.h"
#include "ui/EditField.h"
#include "UiTestWindow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

struct EditFixture {
    UiTestWindow t;
    TestSprite* parent;
    CEditSprite* edit;

    explicit EditFixture(int width = 200)
    {
        platform::SetSystemClipboard(platform::Clipboard::CreateInProcess());
        parent = new TestSprite(0xFF202020, true);
        parent->SetAutoDelete(1);
        EXPECT_TRUE(parent->Create(nullptr, t.window.get(), 0, 10, 0, 0, 600, 400));
        t.window->AddTopLevel(parent);
        edit = new CEditSprite;
        edit->SetAutoDelete(1);
        EXPECT_TRUE(edit->Create(parent, nullptr, 5, 1, 10, 10, 10 + width, 34));
        EXPECT_TRUE(edit->Setup(nullptr));
        parent->AddChild(edit);
        t.Frame();
    }
    std::u16string Text() { return edit->GetText(); }
    void Type(const std::u16string& s)
    {
        for (char16_t c : s)
            edit->OnChar(c, 1, 0);
    }
    int Changes()
    {
        t.Pump();
        return int(std::count(parent->codes.begin(), parent->codes.end(), MSG_EDIT_CHANGED));
    }
    void Shift(bool down) { t.Input().InjectKey(platform::vk::Shift, down); t.Pump(); }
    // A point inside the text area in front of character i.
    int XOf(int i) { return 5 + edit->Chars()[size_t(i)].x - edit->ScrollX(); }
};

} // namespace

TEST(EditField, TypingUndoAndRedoWalk)
{
    EditFixture f;
    f.Type(u"abc");
    EXPECT_EQ(f.Text(), u"abc");
    EXPECT_EQ(f.edit->Caret(), 3);
    EXPECT_EQ(f.Changes(), 3);
    EXPECT_EQ(f.parent->params.back(), 3);

    f.edit->OnChar(1, 1, 0); // Ctrl+A
    f.Type(u"x");            // three deletions and one insertion
    EXPECT_EQ(f.Text(), u"x");
    EXPECT_EQ(f.edit->UndoCount(), 7u);

    const char16_t* afterUndo[] = {u"", u"c", u"bc", u"abc"};
    for (const char16_t* expected : afterUndo) {
        f.edit->OnChar(26, 1, 0);
        EXPECT_EQ(f.Text(), std::u16string(expected));
    }
    for (int i = 0; i < 3; ++i)
        f.edit->Undo();
    EXPECT_EQ(f.Text(), u"");
    f.edit->Undo(); // nothing left
    EXPECT_EQ(f.Text(), u"");
    EXPECT_EQ(f.edit->RedoCount(), 7u);

    const char16_t* afterRedo[] = {u"a", u"ab", u"abc", u"bc", u"c", u"", u"x"};
    for (const char16_t* expected : afterRedo) {
        f.edit->OnChar(25, 1, 0);
        EXPECT_EQ(f.Text(), std::u16string(expected));
    }
    f.edit->Undo();
    EXPECT_EQ(f.edit->RedoCount(), 1u);
    f.Type(u"q"); // new typing empties the redo steps
    EXPECT_EQ(f.edit->RedoCount(), 0u);
    EXPECT_EQ(f.Text(), u"q");
}

TEST(EditField, FiltersTable)
{
    struct Case { int filter; const char16_t* allowed; const char16_t* typed; const char16_t* result; };
    const Case cases[] = {
        {CEditSprite::kFilterAny, u"", u"a:b\u00e9", u"a:b\u00e9"},
        {CEditSprite::kFilterFileName, u"", u"a\\/*|?:\"'<>b", u"ab"},
        {CEditSprite::kFilterAllowed, u"0123456789", u"1a2", u"12"},
        {CEditSprite::kFilterAllowed, u"", u"abc1", u""},
        {CEditSprite::kFilterAscii, u"", u"caf\u00e9!", u"caf!"},
    };
    for (const Case& c : cases) {
        EditFixture f;
        f.edit->m_filter = c.filter;
        CopyTextBounded(f.edit->m_allowed, 257, c.allowed);
        f.Type(c.typed);
        EXPECT_EQ(f.Text(), std::u16string(c.result)) << c.filter;
        // A refused character posts nothing.
        EXPECT_EQ(f.Changes(), int(std::u16string(c.result).size())) << c.filter;
        // Control characters other than the editing shortcuts are ignored.
        f.edit->OnChar(9, 1, 0);
        f.edit->OnChar(13, 1, 0);
        EXPECT_EQ(f.Text(), std::u16string(c.result));
    }
}

TEST(EditField, LimitsSetTextAndReset)
{
    EditFixture f;
    std::u16string longText(5000, u'w');
    EXPECT_TRUE(f.edit->SetTextChecked(longText.c_str()));
    EXPECT_EQ(f.edit->Length(), 4095);
    EXPECT_EQ(f.Text().substr(4093), u"..");
    EXPECT_EQ(f.Text().substr(0, 4093), std::u16string(4093, u'w'));
    EXPECT_EQ(f.edit->UndoCount(), 0u);
    EXPECT_EQ(f.Changes(), 0);

    f.edit->m_maxLength = 5;
    f.edit->SetTextChecked(u"");
    f.Type(u"abcdefg");
    EXPECT_EQ(f.Text(), u"abcde");

    char16_t small[4];
    f.edit->GetText(small, 4, 0);
    EXPECT_EQ(std::u16string(small), u"a..");

    // The reset command empties without an undo step or a change message.
    const size_t undo = f.edit->UndoCount();
    const int changes = f.Changes();
    ::PostSpriteMessage(f.edit, MSG_MENU_COMMAND, CEditSprite::kCmdReset, 0, nullptr);
    f.t.Pump();
    EXPECT_EQ(f.Text(), u"");
    EXPECT_EQ(f.edit->UndoCount(), undo);
    EXPECT_EQ(f.Changes(), changes);
    EXPECT_EQ(f.t.window->Focus(), f.edit);
}

TEST(EditField, KeysAndSelection)
{
    EditFixture f;
    f.edit->SetTextChecked(u"abcd");
    struct Step { const char* what; uint32_t key; bool shift; const char16_t* text; int caret, selStart, selEnd; };
    const Step steps[] = {
        {"delete at end", platform::vk::Delete, false, u"abcd", 4, -1, -1},
        {"left", platform::vk::Left, false, u"abcd", 3, -1, -1},
        {"shift left", platform::vk::Left, true, u"abcd", 2, 2, 3},
        {"shift left again grows", platform::vk::Left, true, u"abcd", 1, 1, 3},
        {"shift right shrinks", platform::vk::Right, true, u"abcd", 2, 2, 3},
        {"right collapses", platform::vk::Right, false, u"abcd", 3, -1, -1},
        {"shift home", platform::vk::Home, true, u"abcd", 0, 0, 3},
        {"backspace deletes selection", platform::vk::Back, false, u"d", 0, -1, -1},
        {"backspace at 0", platform::vk::Back, false, u"d", 0, -1, -1},
        {"shift end", platform::vk::End, true, u"d", 1, 0, 1},
        {"delete selection", platform::vk::Delete, false, u"", 0, -1, -1},
        {"up does nothing", platform::vk::Up, false, u"", 0, -1, -1},
    };
    for (const Step& s : steps) {
        f.Shift(s.shift);
        f.edit->OnKeyDown(s.key, 1, 0);
        EXPECT_EQ(f.Text(), std::u16string(s.text)) << s.what;
        EXPECT_EQ(f.edit->Caret(), s.caret) << s.what;
        EXPECT_EQ(f.edit->SelectionStart(), s.selStart) << s.what;
        EXPECT_EQ(f.edit->SelectionEnd(), s.selEnd) << s.what;
    }
    f.Shift(false);
    EXPECT_EQ(f.Changes(), 2); // the two deletions only
    // Everything typed back by undo.
    f.edit->Undo();
    f.edit->Undo();
    f.edit->Undo();
    f.edit->Undo();
    EXPECT_EQ(f.Text(), u"abcd");

    // Ctrl with the arrows jumps by words.
    f.edit->SetTextChecked(u"one two three");
    f.t.Input().InjectKey(platform::vk::Control, true);
    f.t.Pump();
    f.edit->OnKeyDown(platform::vk::Left, 1, 0);
    EXPECT_EQ(f.edit->Caret(), 8);
    f.edit->OnKeyDown(platform::vk::Left, 1, 0);
    EXPECT_EQ(f.edit->Caret(), 4);
    f.edit->OnKeyDown(platform::vk::Right, 1, 0);
    EXPECT_EQ(f.edit->Caret(), 8);
    f.t.Input().InjectKey(platform::vk::Control, false);
    f.t.Pump();
}

TEST(EditField, MouseSelectionClickAndDoubleClick)
{
    EditFixture f;
    f.edit->SetTextChecked(u"hello world");
    const int y = 12;
    // Press before 'e', drag to before 'w': [1, 6).
    f.edit->OnLButtonDown(f.XOf(1) - 4, y, platform::kMouseLButton);
    EXPECT_EQ(f.edit->Caret(), 1);
    f.edit->OnMouseMove(f.XOf(6) - 4, y, platform::kMouseLButton);
    EXPECT_EQ(f.edit->SelectionStart(), 1);
    EXPECT_EQ(f.edit->SelectionEnd(), 6);
    f.edit->OnMouseMove(f.XOf(3) - 4, y, platform::kMouseLButton); // back: shrinks
    EXPECT_EQ(f.edit->SelectionEnd(), 3);
    f.edit->OnLButtonUp(f.XOf(3) - 4, y, 0);
    EXPECT_EQ(f.edit->SelectionEnd(), 3);
    // A click without movement drops it.
    f.edit->OnLButtonDown(f.XOf(2) - 4, y, platform::kMouseLButton);
    f.edit->OnLButtonUp(f.XOf(2) - 4, y, 0);
    EXPECT_EQ(f.edit->SelectionStart(), -1);
    EXPECT_EQ(f.edit->Caret(), 2);
    // Far right of the text: the end.
    EXPECT_EQ(f.edit->CaretFromPoint(190, y), 11);
    f.edit->OnLButtonDblClk(0, 0, 0);
    EXPECT_EQ(f.edit->SelectionStart(), 0);
    EXPECT_EQ(f.edit->SelectionEnd(), 11);
}

TEST(EditField, ClipboardCopyCutPasteThroughFilterAndLimit)
{
    EditFixture f;
    f.edit->SetTextChecked(u"abcd");
    f.edit->MoveCaret(1, 0, 1);
    f.edit->MoveCaret(3, 1, 0);
    f.edit->OnChar(3, 1, 0); // Ctrl+C
    EXPECT_EQ(platform::SystemClipboard().GetText().value_or(u""), u"bc");

    f.edit->SetTextChecked(u"ad");
    f.edit->MoveCaret(1, 0, 1);
    f.edit->OnChar(22, 1, 0); // Ctrl+V
    EXPECT_EQ(f.Text(), u"abcd");
    EXPECT_EQ(f.edit->UndoCount(), 2u);
    EXPECT_EQ(f.Changes(), 1);

    f.edit->SelectAll();
    f.edit->OnChar(24, 1, 0); // Ctrl+X
    EXPECT_EQ(f.Text(), u"");
    EXPECT_EQ(platform::SystemClipboard().GetText().value_or(u""), u"abcd");

    // Pasted text obeys the filter, drops line breaks in a single-line edit and keeps the limit.
    struct Case { int filter; int maxLength; const char16_t* clip; const char16_t* result; };
    const Case cases[] = {
        {CEditSprite::kFilterFileName, 4096, u"a:b/c\r\nd", u"abcd"},
        {CEditSprite::kFilterAscii, 4096, u"\u00e9t\u00e9 \u4e2d ok", u"t  ok"},
        {CEditSprite::kFilterAny, 5, u"0123456789", u"0123"},
        {CEditSprite::kFilterAny, 4096, u"\u00e9\u4e2d\U0001F600", u"\u00e9\u4e2d\U0001F600"},
    };
    for (const Case& c : cases) {
        f.edit->m_filter = c.filter;
        f.edit->m_maxLength = c.maxLength;
        f.edit->SetTextChecked(u"");
        ASSERT_TRUE(platform::SystemClipboard().SetText(c.clip));
        f.edit->Paste();
        // An emoji has no glyph in every font; what renders must be what was pasted.
        const std::u16string got = f.Text();
        if (c.filter == CEditSprite::kFilterAny && c.maxLength == 4096)
            EXPECT_EQ(got.substr(0, 2), u"\u00e9\u4e2d");
        else
            EXPECT_EQ(got, std::u16string(c.result)) << c.filter;
    }
}

TEST(EditField, TypingPastTheRightEdgeKeepsTheCaretTenPixelsInside)
{
    EditFixture f(80);
    f.edit->SetTextChecked(u"");
    for (int i = 0; i < 40; ++i) {
        f.Type(u"m");
        const int r = f.edit->CaretX() - f.edit->ScrollX();
        EXPECT_GE(r, 0);
        EXPECT_LE(r, f.edit->AreaWidth());
        if (f.edit->ScrollX() > 0 && i > 0)
            EXPECT_GE(r, f.edit->AreaWidth() - 10 - 20); // at most one glyph past the inner mark
    }
    EXPECT_GT(f.edit->ScrollX(), 0);
    f.edit->OnKeyDown(platform::vk::Home, 1, 0);
    EXPECT_EQ(f.edit->ScrollX(), 0);
}

TEST(EditField, DisabledEditMovesAndCopiesButNeverChanges)
{
    EditFixture f;
    f.edit->SetTextChecked(u"abc");
    f.edit->SetEnabled(0);
    f.Type(u"x");
    f.edit->OnKeyDown(platform::vk::Back, 1, 0);
    f.edit->OnKeyDown(platform::vk::Delete, 1, 0);
    f.edit->OnKeyDown(platform::vk::Left, 1, 0);
    EXPECT_EQ(f.edit->Caret(), 2);
    f.edit->OnKeyDown(platform::vk::Delete, 1, 0);
    ASSERT_TRUE(platform::SystemClipboard().SetText(u"zz"));
    for (int command : {CEditSprite::kCmdPaste, CEditSprite::kCmdCut, CEditSprite::kCmdUndo, CEditSprite::kCmdReset})
        ::PostSpriteMessage(f.edit, MSG_MENU_COMMAND, command, 0, nullptr);
    f.t.Pump();
    EXPECT_EQ(f.Text(), u"abc");
    EXPECT_EQ(f.Changes(), 0);
    f.edit->SelectAll();
    f.edit->Copy();
    EXPECT_EQ(platform::SystemClipboard().GetText().value_or(u""), u"abc");
}

TEST(EditField, TextInputOnlyWhileFocused)
{
    EditFixture f;
    EXPECT_FALSE(f.t.Platform().TextInputActive());
    f.t.window->SetFocus(f.edit, false);
    f.t.Pump();
    EXPECT_TRUE(f.t.Platform().TextInputActive());
    f.t.window->SetFocus(nullptr, false);
    f.t.Pump();
    EXPECT_FALSE(f.t.Platform().TextInputActive());
}

TEST(EditField, ContextMenuOffersTheEditCommands)
{
    EditFixture f;
    g_bAnimation.store(0);
    f.edit->SetTextChecked(u"ab");
    ASSERT_TRUE(platform::SystemClipboard().SetText(u"cd"));
    f.edit->OnRButtonDown(20, 12, 0);
    f.t.Frame();
    f.t.Pump();
    CSMenu& menu = f.edit->ContextMenu();
    ASSERT_TRUE(menu.IsVisible());
    ASSERT_EQ(menu.Count(), 9);
    struct Row { int index; int id; bool separator; bool enabled; };
    const Row rows[] = {{0, 1, false, true}, {1, 2, false, true}, {2, 3, false, true}, {3, 0, true, true},
                        {4, 4, false, false}, {5, 5, false, false}, {6, 0, true, true}, {7, 6, false, true},
                        {8, 7, false, true}};
    for (const Row& r : rows) {
        EXPECT_EQ(menu.Item(r.index).commandId, r.id) << r.index;
        EXPECT_EQ(menu.Item(r.index).separator != 0, r.separator) << r.index;
        EXPECT_EQ(menu.Item(r.index).enabled != 0, r.enabled) << r.index;
    }
    EXPECT_EQ(std::u16string(menu.Item(0).shortcut), u"Ctrl+C");
    menu.OnKeyDown('p', 1, 0); // Paste by its hot letter
    for (int i = 0; i < 6; ++i) {
        f.t.Frame();
        f.t.Pump();
    }
    EXPECT_FALSE(menu.IsVisible());
    EXPECT_EQ(f.Text(), u"abcd");
    EXPECT_EQ(f.t.window->Focus(), f.edit);
    g_bAnimation.store(1);
}
