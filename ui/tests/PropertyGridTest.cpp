// The property grid: rows from the add operations, the editor chosen by kind and range,
// commits with their message and error boxes, the choice menu, presses on values and drawing.
#include "ui/DialogSprite.h"
#include "ui/MessageBox.h"
#include "ui/PropertyList.h"
#include "UiTestWindow.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::vector<std::u16string> g_boxes;

const char16_t* EnglishTexts(const char16_t* key)
{
    const std::u16string k(key);
    if (k == u"propUpdateErr")
        return u"This value cannot be used here.";
    if (k == u"dlgUpdateRange")
        return u"Please enter a number from %d to %d.";
    return key;
}

int RecordBox(const char16_t* text, int kind, int buttons)
{
    EXPECT_EQ(kind, kMbError);
    EXPECT_EQ(buttons, kMbOk);
    g_boxes.push_back(text);
    return 1;
}

struct GridFixture {
    UiTestWindow t;
    TestSprite* owner;
    CSPropertyList* grid;

    GridFixture()
    {
        g_bAnimation.store(0);
        g_boxes.clear();
        owner = new TestSprite(0xFF202020, true);
        owner->SetAutoDelete(1);
        EXPECT_TRUE(owner->Create(nullptr, t.window.get(), 0, 10, 0, 0, 600, 400));
        t.window->AddTopLevel(owner);
        grid = new CSPropertyList;
        grid->SetAutoDelete(1);
        EXPECT_TRUE(grid->Create(owner, nullptr, 7, 1, 0, 0, 400, 300));
        owner->AddChild(grid);
        grid->SetPos(0, 0, 400, 300);
        grid->m_errorBox = &RecordBox;
        SetUiTextSource(&EnglishTexts);
    }
    ~GridFixture() { SetUiTextSource(nullptr); }
    CPropItem* Item(int row) { return dynamic_cast<CPropItem*>(grid->Row(row).node); }
    int Commits()
    {
        t.Pump();
        return int(std::count(owner->codes.begin(), owner->codes.end(), MSG_PROP_COMMIT));
    }
};

std::string Narrow(const std::u16string& s)
{
    return std::string(s.begin(), s.end());
}

} // namespace

TEST(PropertyGrid, AddOperationsMakeRowsWithTheirTexts)
{
    GridFixture f;
    PropDate noon{2024, 3, 5, 14, 7, 9}, midnight{2024, 3, 5, 0, 30, 0}, none{};
    struct Case { const char* what; int added; const char* value; int known; };
    std::vector<Case> cases;
    auto add = [&](const char* what, int added, const char* value, int known) {
        cases.push_back({what, added, value, known});
    };
    add("uint", f.grid->AddUIntProperty(1, 42, u"Width", nullptr, 0, false), "42", 1);
    add("uint unknown hidden", f.grid->AddUIntProperty(2, 0, u"Height", nullptr, 0, false), nullptr, 0);
    add("uint unknown shown", f.grid->AddUIntProperty(3, 0, u"Height", nullptr, 0, true), "0", 0);
    add("int", f.grid->AddIntProperty(4, -7, u"Bias", nullptr, 0, false), "-7", 1);
    add("text", f.grid->AddTextProperty(5, u"Canon", u"Make", nullptr, false), "Canon", 1);
    add("text empty hidden", f.grid->AddTextProperty(6, u"", u"Model", nullptr, false), nullptr, 0);
    add("date with time", f.grid->AddDateProperty(7, noon, u"Taken", nullptr, false), "2024-03-05 14:07:09", 1);
    add("date at hour 0", f.grid->AddDateProperty(8, midnight, u"Taken", nullptr, false), "2024-03-05", 1);
    add("date unknown", f.grid->AddDateProperty(9, none, u"Taken", nullptr, true), "Unknown", 0);
    add("rational below 1", f.grid->AddRationalProperty(10, u"Exposure", nullptr, false, 4, 1000), "1/250", 1);
    add("rational above 1", f.grid->AddRationalProperty(11, u"F", nullptr, false, 28, 10), "2.8", 1);
    add("rational 0", f.grid->AddRationalProperty(12, u"Bias", nullptr, false, 0, 3), "0", 1);
    add("rational unknown hidden", f.grid->AddRationalProperty(13, u"Bias", nullptr, false, 1, 0), nullptr, 0);
    add("choice unset hidden", f.grid->AddChoiceProperty(14, u"Flash", u"Off^0|On^1", -1, nullptr, false), nullptr, 0);
    add("choice", f.grid->AddChoiceProperty(15, u"Flash", u"Off^0|On^1|Red eye^2", 1, nullptr, false), "", 1);
    f.grid->Rebuild();
    int row = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.added, c.value ? 1 : 0);
        if (!c.value)
            continue;
        CPropItem* item = f.Item(row++);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(Narrow(item->value), c.value);
        EXPECT_EQ(item->known, c.known);
    }
    EXPECT_EQ(f.grid->RowCount(), row);
    EXPECT_EQ(f.Item(row - 1)->choices.size(), 3u);
    f.t.Frame(); // every row draws
}

TEST(PropertyGrid, EditorByKindAndRange)
{
    GridFixture f;
    struct Case { int kind, minimum, maximum, mode, filter; const char* allowed; };
    const Case cases[] = {
        {CPropItem::kUnsigned, 0, 0xFFFFFE, CSPropertyList::kEditText, CEditSprite::kFilterAllowed, "0123456789-+"},
        {CPropItem::kUnsigned, 0, 100, CSPropertyList::kEditRefused, -1, nullptr},
        {CPropItem::kSigned, -2147483647, 2147483647, CSPropertyList::kEditText, CEditSprite::kFilterAllowed, "0123456789-+"},
        {CPropItem::kSigned, 0, 2147483647, CSPropertyList::kEditText, CEditSprite::kFilterAllowed, "0123456789-+"},
        {CPropItem::kSigned, -5, 5, CSPropertyList::kEditRefused, -1, nullptr},
        {CPropItem::kRational, 0, 0, CSPropertyList::kEditText, CEditSprite::kFilterAllowed, "0123456789-+./"},
        {CPropItem::kText, 255, CEditSprite::kFilterAscii, CSPropertyList::kEditText, CEditSprite::kFilterAscii, nullptr},
        {CPropItem::kText, 40, CEditSprite::kFilterAllowed, CSPropertyList::kEditText, CEditSprite::kFilterAny, nullptr},
        {CPropItem::kChoice, 0, 0, CSPropertyList::kEditChoice, -1, nullptr},
    };
    for (const Case& c : cases) {
        f.grid->RemoveAll();
        f.grid->AddTextProperty(1, u"x", u"Row", nullptr, true);
        f.grid->Rebuild();
        CPropItem* item = f.Item(0);
        item->kind = c.kind;
        item->minimum = c.minimum;
        item->maximum = c.maximum;
        item->SetChoices(u"A^1|B^2");
        SCOPED_TRACE(testing::Message() << "kind " << c.kind << " range " << c.minimum << ".." << c.maximum);
        EXPECT_EQ(f.grid->BeginEdit(0), item);
        EXPECT_EQ(f.grid->EditMode(), c.mode);
        EXPECT_EQ(f.grid->Editor().IsVisible() != 0, c.mode == CSPropertyList::kEditText);
        if (c.filter >= 0) {
            EXPECT_EQ(f.grid->Editor().m_filter, c.filter);
        }
        if (c.allowed) {
            EXPECT_EQ(Narrow(f.grid->Editor().m_allowed), c.allowed);
        }
        if (c.kind == CPropItem::kText) {
            EXPECT_EQ(f.grid->Editor().m_maxLength, c.minimum);
        }
        if (c.mode == CSPropertyList::kEditChoice) {
            ASSERT_EQ(f.grid->ChoiceMenu().Count(), 2);
            EXPECT_EQ(f.grid->ChoiceMenu().Item(1).commandId, 1002);
        }
        f.grid->BeginEdit(-1);
        EXPECT_EQ(f.grid->Edited(), nullptr);
        f.grid->ChoiceMenu().Close(0);
    }
}

TEST(PropertyGrid, CommitsCheckTheEntryAfterTellingTheParent)
{
    GridFixture f;
    f.grid->AddRationalProperty(1, u"Exposure", nullptr, false, 1, 60);
    f.grid->AddUIntProperty(2, 5, u"Count", nullptr, 0, false);
    f.grid->AddIntProperty(3, 5, u"Shift", nullptr, 0, false);
    f.grid->AddTextProperty(4, u"old", u"Note", nullptr, false);
    f.grid->Rebuild();
    struct Case { int row; const char16_t* typed; int result; const char* value; const char* box; };
    const Case cases[] = {
        {0, u"0.004", 1, "1/250", nullptr},
        {0, u"2.5", 1, "2.5", nullptr},
        {0, u"0", 1, "0", nullptr},
        {0, u"3/0", 0, "0", "This value cannot be used here."},
        {1, u"16777215", 0, "5", "Please enter a number from 0 to 16777214."},
        {1, u"-", 0, "5", "This value cannot be used here."},
        {1, u"300", 1, "300", nullptr},
        {2, u"-2147483648", 0, "5", "Please enter a number from -2147483647 to 2147483647."},
        {2, u"-12", 1, "-12", nullptr},
        {3, u"new text", 1, "new text", nullptr},
    };
    int commits = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.typed));
        g_boxes.clear();
        ASSERT_NE(f.grid->BeginEdit(c.row), nullptr);
        f.grid->Editor().SetText(c.typed);
        EXPECT_EQ(f.grid->CommitEdit(), c.result);
        EXPECT_EQ(f.Commits(), ++commits); // posted first, whatever the entry
        EXPECT_EQ(Narrow(f.Item(c.row)->value), c.value);
        ASSERT_EQ(g_boxes.size(), c.box ? 1u : 0u);
        if (c.box) {
            EXPECT_EQ(Narrow(g_boxes[0]), c.box);
        }
        f.grid->BeginEdit(-1); // ends the edit: commits (and reports) once more
        ++commits;
        g_boxes.clear();
    }
    // Without an edit the commit only reports, with no item.
    EXPECT_EQ(f.grid->CommitEdit(), 1);
    f.t.Pump();
    EXPECT_EQ(f.owner->params.back(), 0);
}

TEST(PropertyGrid, ChoosingFromTheMenuStoresTheChoice)
{
    GridFixture f;
    f.grid->AddChoiceProperty(1, u"Flash", u"Off^0|On^1|Red eye^2", 0, nullptr, false);
    f.grid->Rebuild();
    ASSERT_NE(f.grid->BeginEdit(0), nullptr);
    EXPECT_EQ(f.grid->EditMode(), CSPropertyList::kEditChoice);
    SpriteMessage m;
    m.code = MSG_MENU_COMMAND;
    m.param1 = 1002;
    f.grid->OnSpriteMessage(&m);
    CPropItem* item = f.Item(0);
    EXPECT_EQ(item->selectedChoice, 2);
    EXPECT_EQ(Narrow(item->value), "Red eye");
    EXPECT_EQ(f.grid->Edited(), nullptr);
    EXPECT_EQ(f.Commits(), 1);
    f.grid->ChoiceMenu().Close(0);
}

TEST(PropertyGrid, PressesOnMarkedValuesEditAndElsewhereEnd)
{
    GridFixture f;
    f.grid->AddIntProperty(1, 5, u"Shift", nullptr, 0, false);
    f.grid->AddIntProperty(2, 6, u"Other", nullptr, 0, false);
    f.grid->Rebuild();
    f.Item(0)->editMark = 1;
    f.t.Frame();
    struct Case { int x, y; bool editing; int commits; };
    const Case cases[] = {
        {150, 10, true, 0},   // the value of the marked row: edit starts
        {150, 10, false, 1},  // a press in the list while editing only ends the edit
        {50, 10, false, 1},   // the label column: nothing to end, nothing starts
        {150, 30, false, 1},  // an unmarked row is not edited
        {150, 10, true, 1},
        {50, 10, false, 2},   // the label column ends it
    };
    for (const Case& c : cases) {
        f.grid->OnLButtonDown(c.x, c.y, 0);

        f.grid->OnLButtonUp(c.x, c.y, 0);
        EXPECT_EQ(f.grid->Edited() != nullptr, c.editing) << c.x << "," << c.y;
        EXPECT_EQ(f.Commits(), c.commits) << c.x << "," << c.y;
    }
    f.Item(0)->enabled = 0; // a disabled row is never edited
    f.grid->OnLButtonDown(150, 10, 0);
    EXPECT_EQ(f.grid->Edited(), nullptr);
}
