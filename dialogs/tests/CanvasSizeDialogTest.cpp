// Canvas size: the nine anchors' offsets, OK against ResizeCanvas with undo and redo, the range
// and pixel limit, the anchor arrows and a cancelled colour picker.
#include "dialogs/CanvasSizeDialog.h"
#include "dialogs/Launchers.h"
#include "imaging/DocumentGeometry.h"

#include "FilterDialogsSupport.h"

using namespace filtertest;

namespace {

void TypeSize(DialogWorld& w, CCavasSizeDlg& d, const char16_t* width, const char16_t* height)
{
    dynamic_cast<CDialogControl*>(d.GetControl(CCavasSizeDlg::kWidthId))->SetText(width);
    dynamic_cast<CDialogControl*>(d.GetControl(CCavasSizeDlg::kHeightId))->SetText(height);
    w.t.Pump();
}

std::vector<std::u16string> g_texts;
int RecordBox(const char16_t* text)
{
    g_texts.push_back(text);
    return 1;
}

} // namespace

TEST(CanvasSizeDialog, TheNineAnchorsPlaceTheOldPicture)
{
    struct Case {
        int anchor, x, y;
    };
    // dW = 3, dH = 5: half of 3 is 1, half of 5 is 2.
    for (const Case& c : {Case{0, 1, 2}, Case{1, 0, 0}, Case{2, 1, 0}, Case{3, 3, 0}, Case{4, 0, 2}, Case{5, 0, 5},
                          Case{6, 3, 2}, Case{7, 3, 5}, Case{8, 1, 5}}) {
        int x = -1, y = -1;
        CCavasSizeDlg::AnchorOffset(c.anchor, 3, 5, x, y);
        EXPECT_EQ(x, c.x) << c.anchor;
        EXPECT_EQ(y, c.y) << c.anchor;
    }
}

TEST(CanvasSizeDialog, OkGrowsTheCanvasAsResizeCanvasAndUndoRedoRestoreBothSizes)
{
    DialogWorld w;
    ImageBuffer16 picture{}, upper{};
    FillPhoto(picture, 40, 30);
    FillPhoto(upper, 10, 8, 9);
    w.OpenDocument(picture);
    ASSERT_TRUE(w.doc.AddLayer(upper, u"upper"));
    w.doc.GetLayer(1)->x = 4;
    ASSERT_TRUE(w.history.AddStep(kHistoryDocument, -1, u"prepared", false, 0, nullptr, 0));
    CZDDoc expected;
    ASSERT_TRUE(expected.CopyFrom(w.doc));
    ASSERT_TRUE(ResizeCanvas(expected, 45, 36, 5, 0, MakePixel64(100, 200, 300, 0xFFFF)));

    auto d = OpenDialog<CCavasSizeDlg>(CCavasSizeDlg::kTemplateId);
    ASSERT_NE(d, nullptr);
    d->m_pickColour = [](uint16_t c[4]) {
        c[0] = 100, c[1] = 200, c[2] = 300, c[3] = 0xFFFF;
        return 1;
    };
    ASSERT_TRUE(::PostSpriteMessage(d.get(), MSG_PANEL_CLICK, 3, 0, &d->AnchorPanel()));
    ASSERT_TRUE(::PostSpriteMessage(d.get(), MSG_PANEL_CLICK, CCavasSizeDlg::kColourItemId, 0, &d->ColourPanel()));
    w.t.Pump();
    EXPECT_EQ(d->m_anchor, 3);
    TypeSize(w, *d, u"45", u"36");
    d->OnOK();
    ASSERT_EQ(d->Result(), 1);
    EXPECT_EQ(w.doc.width, 45);
    EXPECT_TRUE(SameBytes(w.doc.GetLayer(0)->pixels, expected.GetLayer(0)->pixels));
    EXPECT_EQ(w.doc.GetLayer(1)->x, 9) << "the upper layer moves by the offset";
    const HistoryStep& step = w.history.steps.back();
    EXPECT_EQ(step.kind, kHistoryDocument);
    EXPECT_EQ(step.tag, 0);
    EXPECT_EQ(step.payloadLength, 0);
    ASSERT_TRUE(w.history.GoToStep(w.history.current - 1, StepReplay::Force));
    EXPECT_EQ(w.doc.width, 40);
    EXPECT_TRUE(SameBytes(w.doc.GetLayer(0)->pixels, picture));
    EXPECT_EQ(w.doc.GetLayer(1)->x, 4);
    ASSERT_TRUE(w.history.GoToStep(w.history.current + 1, StepReplay::Force));
    EXPECT_TRUE(SameBytes(w.doc.GetLayer(0)->pixels, expected.GetLayer(0)->pixels));
    EXPECT_TRUE(HasEditorDialog(10010));
    FreeImageBuffer(picture);
    FreeImageBuffer(upper);
}

TEST(CanvasSizeDialog, RefusedSizesAndACancelledPickerChangeNothing)
{
    DialogWorld w;
    ImageBuffer16 picture{};
    FillPhoto(picture, 40, 30);
    w.OpenDocument(picture);
    SetDialogMessageBox(&RecordBox);
    auto d = OpenDialog<CCavasSizeDlg>(CCavasSizeDlg::kTemplateId);
    ASSERT_NE(d, nullptr);
    d->m_pickColour = [](uint16_t c[4]) {
        c[0] = 9999;
        return 0;
    };
    ASSERT_TRUE(::PostSpriteMessage(d.get(), MSG_PANEL_CLICK, CCavasSizeDlg::kColourItemId, 0, &d->ColourPanel()));
    w.t.Pump();
    EXPECT_EQ(d->m_fill[0], 0) << "a cancelled picker keeps the colour";
    struct Case {
        const char16_t* width;
        const char16_t* height;
        bool rangeBox;
    };
    for (const Case& c : {Case{u"39", u"30", true}, Case{u"32769", u"30", true}, Case{u"", u"30", true},
                          Case{u"6000", u"5001", false}}) {
        g_texts.clear();
        w.messages.clear();
        TypeSize(w, *d, c.width, c.height);
        d->OnOK();
        EXPECT_EQ(d->Result(), 0);
        EXPECT_EQ(g_texts.size(), c.rangeBox ? 1u : 0u);
        EXPECT_EQ(w.Count(u"errmem"), c.rangeBox ? 0 : 1);
    }
    EXPECT_EQ(w.doc.width, 40);
    EXPECT_EQ(w.history.steps.size(), 1u);
    // The centre anchor: arrows in all four neighbours; a corner: two.
    EXPECT_EQ(d->AnchorPanel().FindItem(4)->icon.width, 16);
    ASSERT_TRUE(::PostSpriteMessage(d.get(), MSG_PANEL_CLICK, 1, 0, &d->AnchorPanel()));
    w.t.Pump();
    EXPECT_TRUE(d->AnchorPanel().FindItem(1)->checked);
    EXPECT_FALSE(d->AnchorPanel().FindItem(0)->checked);
    d->OnCancel();
    SetDialogMessageBox(nullptr);
    FreeImageBuffer(picture);
}
