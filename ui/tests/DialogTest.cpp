// Sprite dialogs from template records: record kinds and the '#' convention, controls, the
// modal loop with Escape and Enter, nested z-levels, data exchange with ranges, the alpha cap.
#include "ui/CheckBox.h"
#include "ui/DialogSprite.h"
#include "ui/Effects.h"
#include "ui/StaticText.h"
#include "UiTestWindow.h"

#include <gtest/gtest.h>

#include <string>

namespace {

DialogControlRecord Record(const char16_t* className, const char16_t* text, int id, SRect r)
{
    DialogControlRecord rec;
    rec.kind = DialogControlKind(className);
    SetDialogControlText(rec, text);
    rec.controlId = id;
    rec.rect = r;
    return rec;
}

std::vector<DialogControlRecord> StandardRecords()
{
    return {
        Record(u"Static", u"Name of the preset", -1, {10, 40, 200, 60}),
        Record(u"Button", u"#CdlgHighlight", 10, {10, 70, 200, 94}),
        Record(u"Button", u"#RdlgAll", 11, {10, 100, 200, 124}),
        Record(u"Static", u"42", 50, {10, 130, 100, 150}),
        Record(u"Button", u"OK", 1, {40, 160, 120, 190}),
        Record(u"Button", u"Cancel", 2, {130, 160, 210, 190}),
    };
}

class TestDialog : public CDialogSprite {
public:
    std::vector<int> checks;
    std::function<void(TestDialog&)> onInit;
    int OnInitDialog() override
    {
        if (onInit)
            onInit(*this);
        return 1;
    }
    int OnSpriteMessage(SpriteMessage* m) override
    {
        if (m->code == MSG_CHECK)
            checks.push_back(int(m->param1) * 10 + int(m->param2));
        if (m->code == 5000 && onMessage)
            onMessage(*this);
        return CDialogSprite::OnSpriteMessage(m);
    }
    std::function<void(TestDialog&)> onMessage;
};

struct DialogFixture {
    UiTestWindow t;
    DialogFixture()
    {
        g_bAnimation.store(0);
        t.Frame();
    }
    ~DialogFixture() { g_bAnimation.store(1); }
};

std::vector<std::u16string> g_boxes;

} // namespace

TEST(DialogRecords, KindsAndTypeLetters)
{
    struct Kind { const char16_t* cls; uint8_t kind; };
    const Kind kinds[] = {{u"Static", 0}, {u"Button", 1}, {u"Edit", 2}, {u"ListBox", 3},
                          {u"msctls_trackbar32", 5}, {u"ComboBox", 255}, {u"button", 255}, {u"STATIC", 255}};
    for (const Kind& k : kinds)
        EXPECT_EQ(DialogControlKind(k.cls), k.kind) << platform::Utf16ToUtf8(k.cls);
    struct Text { const char16_t* in; uint8_t letter; const char16_t* text; };
    const Text texts[] = {{u"#CdlgCRHighlight", 'C', u"dlgCRHighlight"}, {u"#RdlgCRAll", 'R', u"dlgCRAll"},
                          {u"#C", 0, u"#C"}, {u"Plain", 0, u"Plain"}, {u"", 0, u""}};
    for (const Text& t : texts) {
        DialogControlRecord r;
        SetDialogControlText(r, t.in);
        EXPECT_EQ(r.typeLetter, t.letter);
        EXPECT_EQ(std::u16string_view(r.text), t.text);
    }
}

TEST(Dialog, BuildsControlsOrRefusesUnknownKinds)
{
    DialogFixture f;
    TestDialog d;
    ASSERT_TRUE(d.CreateFromRecords(200, StandardRecords(), u"Preset", 220, 200, 0, 0, 0, 0));
    EXPECT_NE(dynamic_cast<CSStaticText*>(d.Records()[0].sprite), nullptr);
    EXPECT_NE(dynamic_cast<CSCheckBox*>(d.GetControl(10)), nullptr);
    EXPECT_NE(dynamic_cast<CSRatioButton*>(d.GetControl(11)), nullptr);
    EXPECT_NE(dynamic_cast<CSButton*>(d.GetControl(1)), nullptr);
    EXPECT_EQ(d.Records()[0].sprite->Id(), 1000) << "static texts take 1000 + their index";
    EXPECT_EQ(d.Width(), 220);
    EXPECT_EQ(d.Height(), 225) << "client height plus the title bar";
    EXPECT_EQ(d.Rect().left, (640 - 220) / 2) << "centred";
    EXPECT_EQ(d.ZLevel(), 160);
    EXPECT_FALSE(d.IsVisible());
    EXPECT_EQ(d.CloseButton().Rect(), (SRect{193, 7, 213, 27}));

    auto withCombo = StandardRecords();
    withCombo.push_back(Record(u"ComboBox", u"x", 77, {0, 0, 10, 10}));
    TestDialog bad;
    EXPECT_FALSE(bad.CreateFromRecords(201, withCombo, u"Bad", 220, 200, 0, 0, 0, 0));
    auto withEdit = StandardRecords();
    withEdit.push_back(Record(u"Edit", u"", 78, {0, 0, 10, 10}));
    TestDialog noEdit;
    EXPECT_FALSE(noEdit.CreateFromRecords(202, withEdit, u"Edit", 220, 200, 0, 0, 0, 0))
        << "an edit field needs its factory";
}

TEST(Dialog, EscapeCancelsAndEnterConfirms)
{
    DialogFixture f;
    struct Case { uint32_t key; int result; };
    for (const Case c : {Case{platform::vk::Escape, 2}, Case{platform::vk::Return, 1}}) {
        TestDialog d;
        ASSERT_TRUE(d.CreateFromRecords(200, StandardRecords(), u"Preset", 220, 200, 0, 0, 0, 0));
        f.t.clock.Advance(500);
        f.t.Input().InjectKey(c.key, true);
        f.t.Input().InjectKey(c.key, false);
        EXPECT_EQ(d.DoModal(), c.result);
        EXPECT_EQ(d.Ticket(), 0) << "the ticket goes with the end of the loop";
        EXPECT_EQ(f.t.window->TopModal(), nullptr);
        f.t.Frame();
    }
}

TEST(Dialog, NestedDialogsTakeTheNextZLevelAndGiveItBack)
{
    DialogFixture f;
    TestDialog outer;
    ASSERT_TRUE(outer.CreateFromRecords(200, StandardRecords(), u"Outer", 220, 200, 0, 0, 0, 0));
    int innerZ = 0, innerResult = 0;
    outer.onMessage = [&](TestDialog& self) {
        TestDialog inner;
        ASSERT_TRUE(inner.CreateFromRecords(201, StandardRecords(), u"Inner", 220, 200, 0, 0, 0, 0));
        innerZ = inner.ZLevel();
        inner.onInit = [](TestDialog& d) { d.PostSpriteMessage(MSG_COMMAND, 2, 0, nullptr); };
        innerResult = inner.DoModal();
        self.SetResult(7);
    };
    outer.onInit = [](TestDialog& d) { d.PostSpriteMessage(5000, 0, 0, nullptr); };
    EXPECT_EQ(outer.ZLevel(), 160);
    EXPECT_EQ(outer.DoModal(), 7);
    EXPECT_EQ(innerZ, 161);
    EXPECT_EQ(innerResult, 2);
    EXPECT_EQ(g_nModalDepth.load(), 160);
    TestDialog next;
    ASSERT_TRUE(next.CreateFromRecords(202, StandardRecords(), u"Next", 220, 200, 0, 0, 0, 0));
    EXPECT_EQ(next.ZLevel(), 160);
}

TEST(Dialog, RangedBindingRefusesOutsideValuesWithTheRangeMessage)
{
    DialogFixture f;
    SetUiTextSource([](const char16_t* key) -> const char16_t* {
        return std::u16string_view(key) == u"dlgUpdateRange" ? u"Enter a value from %d to %d (not %d)." : nullptr;
    });
    SetDialogMessageBox([](const char16_t* text) {
        g_boxes.push_back(text);
        return 1;
    });
    g_boxes.clear();
    TestDialog d;
    ASSERT_TRUE(d.CreateFromRecords(200, StandardRecords(), u"Preset", 220, 200, 0, 0, 0, 0));
    int32_t value = 5, checked = 1;
    d.BindControl(50, &value, kBindRange, 100, 1);
    d.BindControl(10, &checked, kBindInt, 0, 0);
    ASSERT_TRUE(d.UpdateData(0));
    EXPECT_EQ(dynamic_cast<CSCheckBox*>(d.GetControl(10))->Checked(), 1) << "an int binding sets the box";
    auto* field = dynamic_cast<CSStaticText*>(d.GetControl(50));
    struct Case { const char16_t* text; int ok; int stored; const char16_t* box; };
    const Case cases[] = {{u"0", 0, 5, u"Enter a value from 1 to 100 (not 0)."},
                          {u"101", 0, 5, u"Enter a value from 1 to 100 (not 101)."},
                          {u"100", 1, 100, nullptr}, {u"1", 1, 1, nullptr}};
    for (const Case& c : cases) {
        g_boxes.clear();
        field->SetText(c.text);
        d.OnOK();
        EXPECT_EQ(d.Result(), c.ok) << platform::Utf16ToUtf8(c.text);
        EXPECT_EQ(value, c.stored);
        if (c.box) {
            ASSERT_EQ(g_boxes.size(), 1u);
            EXPECT_EQ(g_boxes[0], c.box);
        } else {
            EXPECT_TRUE(g_boxes.empty());
        }
        d.SetResult(0);
    }
    // The shipped text names only the range.
    SetUiTextSource([](const char16_t* key) -> const char16_t* {
        return std::u16string_view(key) == u"dlgUpdateRange" ? u"Please enter a number from %d to %d." : nullptr;
    });
    g_boxes.clear();
    field->SetText(u"250");
    d.OnOK();
    EXPECT_EQ(d.Result(), 0);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0], u"Please enter a number from 1 to 100.");
    SetUiTextSource(nullptr);
    SetDialogMessageBox(nullptr);
}

TEST(Dialog, CheckBoxClickPostsMsgCheckAndRadioOnlyOnce)
{
    DialogFixture f;
    TestDialog d;
    ASSERT_TRUE(d.CreateFromRecords(200, StandardRecords(), u"Preset", 220, 200, 0, 0, 0, 0));
    const SRect r = d.Rect();
    auto click = [&](int x, int y) {
        f.t.Input().InjectMouseMove({r.left + x, r.top + y});
        f.t.Input().InjectButton(platform::MouseButton::Left, true, {r.left + x, r.top + y});
        f.t.Input().InjectButton(platform::MouseButton::Left, false, {r.left + x, r.top + y});
    };
    d.onInit = [&](TestDialog& self) {
        // Points a few pixels apart, so no two presses make a double click.
        click(20, 80);  // check box: on
        click(30, 80);  // check box: off
        click(20, 110); // radio: set
        click(30, 110); // radio already set: nothing
        // Posted messages go before input, so the end comes as input too.
        f.t.Input().InjectKey(platform::vk::Escape, true);
        (void)self;
    };
    f.t.Frame();
    EXPECT_EQ(d.DoModal(), 2);
    EXPECT_EQ(d.checks, (std::vector<int>{101, 100, 111}));
}

TEST(Dialog, SmallDialogsShowTheWindowThroughAndNoFadeWithoutAnimation)
{
    DialogFixture f;
    TestDialog d;
    ASSERT_TRUE(d.CreateFromRecords(200, StandardRecords(), u"Preset", 220, 200, 0, 0, 0, 0));
    int maxAlpha = -1, opacity = -1;
    d.onInit = [&](TestDialog& self) { self.PostSpriteMessage(5000, 0, 0, nullptr); };
    d.onMessage = [&](TestDialog& self) {
        f.t.Frame();
        opacity = self.Opacity();
        platform::ScopedLock lock(self.Lock());
        for (uint32_t i = 0; i < self.Image().pixelCount; ++i)
            maxAlpha = std::max<int>(maxAlpha, self.Image().data[size_t(i) * 4 + 3]);
        self.SetResult(1);
    };
    d.DoModal();
    EXPECT_EQ(opacity, 255) << "animations off: full opacity at once";
    EXPECT_GT(maxAlpha, 0);
    EXPECT_LE(maxAlpha, 220);
    for (CSprite* s : f.t.window->TopLevelSprites())
        EXPECT_EQ(dynamic_cast<CSFadeEffect*>(s), nullptr) << "no fading snapshot";
}

TEST(Dialog, FadeUsesSignedTimeAndEndsAtFullOpacity)
{
    DialogFixture f;
    struct Probe : CDialogSprite {
        void Start(uint32_t start) { m_startTick = start; m_endTick = start + 500; m_animState = kFadingIn; }
        int State() const { return m_animState.load(); }
    };
    Probe d;
    ASSERT_TRUE(d.CreateFromRecords(200, StandardRecords(), u"Preset", 220, 200, 0, 0, 0, 0));
    // Fading in from a start just below the 32-bit wrap.
    const uint32_t start = 0xFFFFFF00u;
    struct Step { uint32_t time; int opacity; int state; const char* why; };
    const Step steps[] = {
        {start - 50, 0, 1, "a clock just before the start counts as the start"},
        {start + 250, 127, 1, "half way, across the wrap"},
        {start + 500, 255, 0, "the end"},
    };
    for (const Step& s : steps) {
        d.Start(start);
        d.StepFade(s.time);
        EXPECT_EQ(d.Opacity(), s.opacity) << s.why;
        EXPECT_EQ(d.State(), s.state) << s.why;
    }
}
