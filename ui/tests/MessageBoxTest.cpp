// Message box: every button and key of both forms, the close button, growth for long texts,
// the missing skin strip, and the dialog control factories.
#include "ui/DialogSprite.h"
#include "ui/EditField.h"
#include "ui/MessageBox.h"
#include "ui/Slider.h"
#include "ui/StaticText.h"
#include "ui/ToolkitControls.h"
#include "UiTestWindow.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct BoxFixture {
    UiTestWindow t;
    BoxFixture()
    {
        g_bAnimation.store(0);
        t.Frame();
    }
    ~BoxFixture() { g_bAnimation.store(1); }
    void Click(CSprite* s)
    {
        ASSERT_NE(s, nullptr);
        const SRect r = s->LocalToWindowRect({0, 0, s->Width(), s->Height()});
        const SPoint p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        t.Input().InjectMouseMove(p);
        t.Input().InjectButton(platform::MouseButton::Left, true, p);
        t.Input().InjectButton(platform::MouseButton::Left, false, p);
    }
    void Key(uint32_t k)
    {
        t.Input().InjectKey(k, true);
        t.Input().InjectKey(k, false);
    }
};

} // namespace

TEST(MessageBox, ResultsForEveryButtonAndKey)
{
    enum Input { Enter, EnterThenClose, Escape, ClickOk, ClickYes, ClickNo, ClickClose, KeyY, KeyN, EscapeThenEnter, EscapeThenClose, KeyYThenClose };
    struct Case { const char* what; int buttons; Input input; int result; };
    const Case cases[] = {
        {"ok: enter", kMbOk, Enter, 1},
        {"ok: click", kMbOk, ClickOk, 1},
        {"ok: close", kMbOk, ClickClose, 2},
        {"ok: escape stays open", kMbOk, EscapeThenEnter, 1},
        {"ok: Y means nothing", kMbOk, KeyYThenClose, 2},
        {"yes/no: click yes", kMbYesNo, ClickYes, 6},
        {"yes/no: enter is yes, the default button", kMbYesNo, EnterThenClose, 6},
        {"yes/no: click no", kMbYesNo, ClickNo, 7},
        {"yes/no: Y", kMbYesNo, KeyY, 6},
        {"yes/no: N", kMbYesNo, KeyN, 7},
        {"yes/no: close", kMbYesNo, ClickClose, 2},
        {"yes/no: escape stays open", kMbYesNo, EscapeThenClose, 2},
        {"no buttons: only close", 3, EscapeThenClose, 2},
    };
    for (const Case& c : cases) {
        BoxFixture f;
        CSMessageDlg box;
        ASSERT_TRUE(box.Create(u"Delete the picture?", kMbQuestion, c.buttons)) << c.what;
        EXPECT_EQ(std::u16string(box.Caption()), u"title");
        f.t.clock.Advance(500);
        switch (c.input) {
        case Enter: f.Key(platform::vk::Return); break;
        case EnterThenClose: f.Key(platform::vk::Return); f.Click(&box.CloseButton()); break;
        case Escape: f.Key(platform::vk::Escape); break;
        case ClickOk: f.Click(box.GetControl(1)); break;
        case ClickYes: f.Click(box.GetControl(6)); break;
        case ClickNo: f.Click(box.GetControl(7)); break;
        case ClickClose: f.Click(&box.CloseButton()); break;
        case KeyY: f.Key('Y'); break;
        case KeyN: f.Key('N'); break;
        case EscapeThenEnter: f.Key(platform::vk::Escape); f.Key(platform::vk::Return); break;
        case EscapeThenClose: f.Key(platform::vk::Escape); f.Click(&box.CloseButton()); break;
        case KeyYThenClose: f.Key('Y'); f.Click(&box.CloseButton()); break;
        }
        EXPECT_EQ(box.DoModal(), c.result) << c.what;
    }
}

TEST(MessageBox, LongTextsGrowTheBoxDownwardsByTheSurplus)
{
    BoxFixture f;
    std::u16string longText;
    for (int i = 0; i < 60; ++i)
        longText += u"many words ";
    struct Case { const char16_t* text; bool grows; };
    const Case cases[] = {{u"Short.", false}, {longText.c_str(), true}};
    for (const Case& c : cases) {
        CSMessageDlg box;
        ASSERT_TRUE(box.Create(c.text, kMbInformation, kMbOk));
        const SRect before = box.Rect();
        auto* label = dynamic_cast<CSStaticText*>(box.GetControl(CSMessageDlg::kTextId));
        ASSERT_NE(label, nullptr);
        const SRect labelBefore = label->Rect();
        const SRect okBefore = box.GetControl(1)->Rect();
        ASSERT_TRUE(box.OnInitDialog());
        const int textHeight = label->TextImage().height;
        const int d = c.grows ? textHeight + 10 - labelBefore.Height() : 0;
        if (c.grows) {
            EXPECT_GT(d, 0);
        }
        EXPECT_EQ(box.Rect().top, before.top);
        EXPECT_EQ(box.Rect().Height(), before.Height() + d);
        EXPECT_EQ(label->Rect().Height(), labelBefore.Height() + d);
        EXPECT_EQ(box.GetControl(1)->Rect().top, okBefore.top + d);
        EXPECT_EQ(box.GetControl(6)->Rect().top, okBefore.top + d);
        EXPECT_TRUE(box.GetControl(1)->IsVisible());
        EXPECT_FALSE(box.GetControl(6)->IsVisible());
        EXPECT_FALSE(box.GetControl(7)->IsVisible());
    }
    CSMessageDlg question;
    ASSERT_TRUE(question.Create(u"Sure?", kMbQuestion, kMbYesNo));
    ASSERT_TRUE(question.OnInitDialog());
    EXPECT_FALSE(question.GetControl(1)->IsVisible());
    EXPECT_TRUE(question.GetControl(6)->IsVisible());
    EXPECT_TRUE(question.GetControl(7)->IsVisible());
    // Texts beyond 1023 characters are cut with "..".
    std::u16string huge(3000, u'x');
    CSMessageDlg box;
    ASSERT_TRUE(box.Create(huge.c_str(), kMbInformation, kMbOk));
    const std::u16string kept = box.Text();
    EXPECT_EQ(kept.size(), 1023u);
    EXPECT_EQ(kept.substr(1021), u"..");
}

namespace {
int NoSkinMessageBox(UiImageFolder folder, const char16_t* name, ImageBuffer8& out)
{
    if (folder == UiImageFolder::Skin && std::u16string_view(name) == u"messagebox.png")
        return 0;
    return DrawnUiImage(folder, name, out);
}
} // namespace

TEST(MessageBox, WithoutTheSkinStripNothingIsShownAndTheAnswerIsMinusOne)
{
    BoxFixture f;
    SetUiImageSource(&NoSkinMessageBox);
    ResetSharedUiImages();
    EXPECT_EQ(SpriteMessageBox(u"Overwrite?", kMbWarning, kMbYesNo), -1);
    EXPECT_EQ(f.t.window->TopModal(), nullptr);
    SetUiImageSource(&DrawnUiImage);
    ResetSharedUiImages();
}

TEST(MessageBox, IconFrameByKindAndNoneOutsideTheRange)
{
    BoxFixture f;
    auto iconPixel = [&](int kind) {
        CSMessageDlg box;
        EXPECT_TRUE(box.Create(u"x", kind, kMbOk));
        box.SetVisible(1);
        EXPECT_TRUE(box.EnsureBuffers());
        box.SetAllDirty(1);
        platform::ScopedLock lock(box.Lock());
        box.OnDraw(0);
        if (!box.Image().data)
            return uint32_t(0xDEAD);
        // Inside the icon disc, clear of its mark: (10 + 20, 40 + 32).
        const uint8_t* p = box.Image().data + (size_t(72) * box.Image().width + 30) * 4;
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    };
    const uint32_t none = iconPixel(7);
    EXPECT_EQ(iconPixel(-1), none);
    std::vector<uint32_t> seen;
    for (int kind = 0; kind < 4; ++kind) {
        const uint32_t p = iconPixel(kind);
        EXPECT_NE(p, none) << kind;
        EXPECT_EQ(std::count(seen.begin(), seen.end(), p), 0) << "each kind its own frame " << kind;
        seen.push_back(p);
    }
}

TEST(ToolkitControls, TemplatesMakeEditFieldsAndSliders)
{
    BoxFixture f;
    RegisterToolkitControls();
    auto record = [](const char16_t* cls, const char16_t* text, int id, SRect r) {
        DialogControlRecord rec;
        rec.kind = DialogControlKind(cls);
        SetDialogControlText(rec, text);
        rec.controlId = id;
        rec.rect = r;
        return rec;
    };
    CDialogSprite d;
    ASSERT_TRUE(d.CreateFromRecords(300, {record(u"Edit", u"start", 20, {10, 40, 200, 64}),
                                          record(u"msctls_trackbar32", u"", 21, {10, 70, 300, 90})},
                                    u"Test", 320, 120, 0, 0, 0, 0));
    auto* edit = dynamic_cast<CEditSprite*>(d.GetControl(20));
    auto* slider = dynamic_cast<CSliderSprite*>(d.GetControl(21));
    ASSERT_NE(edit, nullptr);
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(std::u16string(edit->GetText()), u"start");
    EXPECT_EQ(slider->Rect().Width(), 290);
    int32_t value = 0;
    d.BindControl(21, &value, kBindInt, 0, 0);
    slider->SetRange(0, 100, 42, 1, u"");
    ASSERT_TRUE(d.UpdateData(1));
    EXPECT_EQ(value, 42);
}
