// Image size: OK resizes every layer, offset, the selection and the masks as CImageSize does on
// the document, records step 12 with 40 bytes (no document reference), undo and redo restore
// both sizes; the pixel limit, the range of the edits, the linked sizes, the methods' layout and
// Cancel during the run.
#include "dialogs/ImageSizeDialog.h"
#include "dialogs/Launchers.h"

#include "FilterDialogsSupport.h"

using namespace filtertest;

namespace {

std::vector<std::u16string> g_boxTexts;
int RecordBox(const char16_t* text)
{
    g_boxTexts.push_back(text);
    return 1;
}

// Two layers (the upper one smaller and moved), a selection and a saved mask.
void OpenRichDocument(DialogWorld& w, int width, int height)
{
    ImageBuffer16 base{}, upper{};
    FillPhoto(base, width, height, 3);
    w.OpenDocument(base);
    FillPhoto(upper, width / 2, height / 2, 5);
    ASSERT_TRUE(w.doc.AddLayer(upper, u"upper"));
    w.doc.GetLayer(1)->x = width / 4;
    w.doc.GetLayer(1)->y = height / 5;
    ASSERT_TRUE(AllocPlane8(w.doc.selection, width, height));
    for (uint32_t i = 0; i < w.doc.selection.byteSize; ++i)
        w.doc.selection.data[i] = uint8_t(i * 7);
    auto mask = std::make_unique<MaskItem>();
    ASSERT_TRUE(AllocPlane8(mask->plane, width / 3, height / 3));
    for (uint32_t i = 0; i < mask->plane.byteSize; ++i)
        mask->plane.data[i] = uint8_t(255 - i * 3);
    mask->x = 2;
    mask->y = 3;
    w.doc.masks.push_back(std::move(mask));
    ASSERT_TRUE(w.history.AddStep(kHistoryDocument, -1, u"prepared", false, 0, nullptr, 0));
    FreeImageBuffer(base);
    FreeImageBuffer(upper);
}

bool SamePlane(const Plane8& a, const Plane8& b)
{
    return a.width == b.width && a.height == b.height && (a.byteSize == 0 || std::memcmp(a.data, b.data, a.byteSize) == 0);
}

void ExpectSameDocument(const CZDDoc& a, const CZDDoc& b, bool layersOnly = false)
{
    EXPECT_EQ(a.width, b.width);
    EXPECT_EQ(a.height, b.height);
    ASSERT_EQ(a.LayerCount(), b.LayerCount());
    for (int i = 0; i < a.LayerCount(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(SameBytes(a.GetLayer(i)->pixels, b.GetLayer(i)->pixels));
        EXPECT_EQ(a.GetLayer(i)->x, b.GetLayer(i)->x);
        EXPECT_EQ(a.GetLayer(i)->y, b.GetLayer(i)->y);
    }
    if (layersOnly)
        return;
    EXPECT_TRUE(SamePlane(a.selection, b.selection));
    ASSERT_EQ(a.masks.size(), b.masks.size());
    for (size_t i = 0; i < a.masks.size(); ++i) {
        EXPECT_TRUE(SamePlane(a.masks[i]->plane, b.masks[i]->plane));
        EXPECT_EQ(a.masks[i]->x, b.masks[i]->x);
        EXPECT_EQ(a.masks[i]->y, b.masks[i]->y);
    }
}

void Type(DialogWorld& w, CEditSprite& edit, const char16_t* text)
{
    edit.SelectAll();
    edit.DeleteSelection();
    for (const char16_t* c = text; *c; ++c)
        edit.OnChar(*c, 1, 0);
    w.t.Pump();
}

CEditSprite& Edit(CImageSizeDlg& d, int32_t id)
{
    return *dynamic_cast<CEditSprite*>(d.GetControl(id));
}

std::u16string TextOf(CImageSizeDlg& d, int32_t id)
{
    return Edit(d, id).GetText();
}

// OK and the completion, as the modal loop would see them.
void PressOk(DialogWorld& w, CImageSizeDlg& d)
{
    d.OnOK();
    WaitForPreview(w, d);
    w.t.Pump();
}

} // namespace

TEST(ImageSizeDialog, OkResizesTheDocumentAsTheAlgorithmAndUndoRedoRestoreBothSizes)
{
    DialogWorld w;
    OpenRichDocument(w, 60, 40);
    CZDDoc before;
    ASSERT_TRUE(before.CopyFrom(w.doc));
    auto d = OpenDialog<CImageSizeDlg>(CImageSizeDlg::kTemplateId);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(TextOf(*d, CImageSizeDlg::kWidthId), u"60");
    EXPECT_EQ(TextOf(*d, CImageSizeDlg::kHeightId), u"40");
    Type(w, Edit(*d, CImageSizeDlg::kWidthId), u"45");
    EXPECT_EQ(TextOf(*d, CImageSizeDlg::kHeightId), u"30") << "linked by the aspect ratio";
    PressOk(w, *d);
    ASSERT_EQ(d->Result(), 1);
    EXPECT_EQ(w.doc.modified, 1);

    CZDDoc expected;
    ASSERT_TRUE(expected.CopyFrom(before));
    {
        CImageSize direct;
        ImageSizeParams p;
        p.width = 45;
        p.height = 30;
        p.method = 4;
        p.enhance = 1;
        p.areaValue = 75;
        p.sharpenAmount = 35;
        direct.SetDocument(&expected);
        direct.SetParams(&p);
        ASSERT_TRUE(direct.Run());
    }
    {
        SCOPED_TRACE("after OK");
        ExpectSameDocument(w.doc, expected);
    }
    EXPECT_EQ(w.doc.width, 45);

    const HistoryStep& step = w.history.steps.back();
    EXPECT_EQ(step.kind, kHistoryDocument);
    EXPECT_EQ(step.tag, 12);
    const std::vector<uint8_t> bytes = PayloadOf(step);
    ASSERT_EQ(bytes.size(), 40u);
    const int32_t expectedFields[10] = {40, 45, 30, 4, 0, 1, 75, 35, 0, 0};
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(i == 0 ? int32_t(At<uint16_t>(bytes, 0)) : At<int32_t>(bytes, size_t(i) * 4), expectedFields[i])
            << "offset " << i * 4;
    SchemeStepRecord record;
    ASSERT_EQ(ReadSchemeStep(12, bytes.data(), bytes.size(), record), StepReadResult::Ok);
    std::vector<uint8_t> again;
    ASSERT_TRUE(WriteSchemeStep(12, record, again));
    EXPECT_EQ(again, bytes);

    ASSERT_TRUE(w.history.GoToStep(w.history.current - 1, StepReplay::Force));
    {
        // The history keeps layers only: a selection of the other size is dropped.
        SCOPED_TRACE("undo");
        ExpectSameDocument(w.doc, before, true);
        EXPECT_EQ(w.doc.selection.data, nullptr);
    }
    ASSERT_TRUE(w.history.GoToStep(w.history.current + 1, StepReplay::Force));
    {
        SCOPED_TRACE("redo");
        ExpectSameDocument(w.doc, expected, true);
    }
}

TEST(ImageSizeDialog, RefusedSizesKeepTheDialogOpenAndRunNothing)
{
    DialogWorld w;
    ImageBuffer16 picture{};
    FillPhoto(picture, 30, 20);
    w.OpenDocument(picture);
    SetDialogMessageBox(&RecordBox);
    auto d = OpenDialog<CImageSizeDlg>(CImageSizeDlg::kTemplateId);
    ASSERT_NE(d, nullptr);
    dynamic_cast<CDialogControl*>(d->GetControl(CImageSizeDlg::kKeepId))->SetText(u"0");
    Send(w, d.get(), MSG_CHECK, CImageSizeDlg::kKeepId, 0);
    struct Case {
        const char16_t* width;
        const char16_t* height;
        const char16_t* message; // the range box (a text) or a key of the dialogs' box
        bool rangeBox;
    };
    const Case cases[] = {
        {u"6000", u"5001", u"errmem", false},
        {u"0", u"20", nullptr, true},
        {u"32769", u"20", nullptr, true},
        {u"", u"20", nullptr, true},
        {u"30", u"32769", nullptr, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.width, c.width + std::char_traits<char16_t>::length(c.width)));
        w.messages.clear();
        g_boxTexts.clear();
        Type(w, Edit(*d, CImageSizeDlg::kWidthId), c.width);
        Type(w, Edit(*d, CImageSizeDlg::kHeightId), c.height);
        d->OnOK();
        w.t.Pump();
        EXPECT_EQ(d->Result(), 0) << "the dialog stays open";
        EXPECT_FALSE(d->FinalStarted());
        EXPECT_FALSE(d->JobInFlight());
        if (c.rangeBox) {
            EXPECT_EQ(g_boxTexts.size(), 1u);
        } else {
            EXPECT_EQ(w.Count(c.message), 1);
        }
        EXPECT_TRUE(dynamic_cast<CMessageSprite*>(d->GetControl(1))->Enabled());
    }
    EXPECT_TRUE(SameBytes(w.Layer(), picture));
    EXPECT_EQ(w.history.steps.size(), 1u);
    d->OnCancel();
    SetDialogMessageBox(nullptr);
    FreeImageBuffer(picture);
}

TEST(ImageSizeDialog, ExactlyTheLimitRunsAndCancelDuringTheRunLeavesTheDocument)
{
    DialogWorld w;
    ImageBuffer16 picture{};
    FillPhoto(picture, 12, 10);
    w.OpenDocument(picture);
    auto d = OpenDialog<CImageSizeDlg>(CImageSizeDlg::kTemplateId);
    ASSERT_NE(d, nullptr);
    Send(w, d.get(), MSG_MENU_COMMAND, 1); // nearest neighbour
    Type(w, Edit(*d, CImageSizeDlg::kWidthId), u"6000");
    Type(w, Edit(*d, CImageSizeDlg::kHeightId), u"5000");
    d->OnOK();
    EXPECT_TRUE(d->FinalStarted()) << "30,000,000 pixels are allowed";
    EXPECT_FALSE(dynamic_cast<CMessageSprite*>(d->GetControl(1))->Enabled()) << "OK is disabled while it runs";
    EXPECT_EQ(w.Count(u"errmem"), 0);
    d->OnCancel();
    w.Settle();
    EXPECT_EQ(d->Result(), 2);
    EXPECT_EQ(w.doc.width, 12);
    EXPECT_TRUE(SameBytes(w.Layer(), picture)) << "a cancelled resize leaves the document";
    EXPECT_EQ(w.history.steps.size(), 1u);
    FreeImageBuffer(picture);
}

TEST(ImageSizeDialog, LinkedSizesFollowTheAspectRatio)
{
    DialogWorld w;
    ImageBuffer16 picture{};
    FillPhoto(picture, 400, 300);
    w.OpenDocument(picture);
    auto d = OpenDialog<CImageSizeDlg>(CImageSizeDlg::kTemplateId);
    ASSERT_NE(d, nullptr);
    struct Case {
        int32_t edit;
        const char16_t* typed;
        const char16_t* widthAfter;
        const char16_t* heightAfter;
    };
    const Case cases[] = {
        {CImageSizeDlg::kWidthId, u"1000", u"1000", u"750"},
        {CImageSizeDlg::kWidthId, u"10", u"10", u"750"},      // 10 and below: the other stays
        {CImageSizeDlg::kWidthId, u"11", u"11", u"8"},
        {CImageSizeDlg::kHeightId, u"300", u"400", u"300"},
        {CImageSizeDlg::kHeightId, u"32768", u"400", u"32768"}, // above 32767: the other stays
        {CImageSizeDlg::kHeightId, u"99", u"132", u"99"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.typed[0]));
        Type(w, Edit(*d, c.edit), c.typed);
        EXPECT_EQ(TextOf(*d, CImageSizeDlg::kWidthId), c.widthAfter);
        EXPECT_EQ(TextOf(*d, CImageSizeDlg::kHeightId), c.heightAfter);
    }
    // Without the link each edit stands alone.
    dynamic_cast<CDialogControl*>(d->GetControl(CImageSizeDlg::kKeepId))->SetText(u"0");
    Send(w, d.get(), MSG_CHECK, CImageSizeDlg::kKeepId, 0);
    EXPECT_EQ(d->m_keepProportion, 0u);
    Type(w, Edit(*d, CImageSizeDlg::kWidthId), u"1000");
    EXPECT_EQ(TextOf(*d, CImageSizeDlg::kHeightId), u"99");
    // Only digits, at most seven.
    Type(w, Edit(*d, CImageSizeDlg::kWidthId), u"12a-3456789");
    EXPECT_EQ(TextOf(*d, CImageSizeDlg::kWidthId), u"1234567");
    d->OnCancel();
    FreeImageBuffer(picture);
}

TEST(ImageSizeDialog, DoubleSizeNarrowsTheDialogAndTheSmartMethodWidensIt)
{
    DialogWorld w;
    ImageBuffer16 picture{};
    FillPhoto(picture, 30, 20);
    w.OpenDocument(picture);
    auto d = OpenDialog<CImageSizeDlg>(CImageSizeDlg::kTemplateId);
    ASSERT_NE(d, nullptr);
    const SRect full = d->Rect();
    const int separator = d->GetControl(CImageSizeDlg::kSeparatorId)->Rect().left;
    EXPECT_EQ(std::u16string(dynamic_cast<CSButton*>(d->GetControl(CImageSizeDlg::kMethodId))->Caption()),
              std::u16string(UiText(u"Advanced")));
    d->ShowMethodMenu();
    EXPECT_EQ(d->MethodMenu().Count(), 5);
    d->MethodMenu().Close(0);
    struct Case {
        int method;
        int width; // the dialog's
        bool editsEnabled;
        const char16_t* shownWidth;
        const char16_t* key;
    };
    const Case cases[] = {
        {5, separator - 1, false, u"60", u"ISX2"},
        {4, full.Width(), true, u"60", u"Advanced"},
        {2, separator - 1, true, u"60", u"Biliner"},
        {3, separator - 1, true, u"60", u"BiCubic"},
        {4, full.Width(), true, u"60", u"Advanced"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.method);
        Send(w, d.get(), MSG_MENU_COMMAND, c.method);
        EXPECT_EQ(d->Rect().Width(), c.width);
        EXPECT_EQ(d->Rect().left, full.left);
        EXPECT_EQ(d->Rect().Height(), full.Height());
        EXPECT_EQ(Edit(*d, CImageSizeDlg::kWidthId).Enabled() != 0, c.editsEnabled);
        EXPECT_EQ(TextOf(*d, CImageSizeDlg::kWidthId), c.shownWidth);
        EXPECT_EQ(std::u16string(dynamic_cast<CSButton*>(d->GetControl(CImageSizeDlg::kMethodId))->Caption()),
                  std::u16string(UiText(c.key)));
    }
    EXPECT_EQ(TextOf(*d, CImageSizeDlg::kHeightId), u"40");
    d->OnCancel();
    FreeImageBuffer(picture);
}

TEST(ImageSizeDialog, AnUnchangedSizeStillRecordsTheStep)
{
    DialogWorld w;
    ImageBuffer16 picture{};
    FillPhoto(picture, 30, 20);
    w.OpenDocument(picture);
    auto d = OpenDialog<CImageSizeDlg>(CImageSizeDlg::kTemplateId);
    ASSERT_NE(d, nullptr);
    PressOk(w, *d);
    ASSERT_EQ(d->Result(), 1);
    EXPECT_TRUE(SameBytes(w.Layer(), picture));
    ASSERT_EQ(w.history.steps.size(), 2u);
    EXPECT_EQ(w.history.steps.back().tag, 12);
    EXPECT_TRUE(HasEditorDialog(10009));
    FreeImageBuffer(picture);
}
