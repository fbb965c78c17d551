// The filter dialog protocol: layout and view modes, the preview blended and masked into the
// layer, Apply / OK / Cancel with the temporary file, the history step's keep rule, the mask
// menu, the blend popup, and the dialog without document, picture or skin image.
#include "dialogs/BrightnessContrastDialog.h"
#include "dialogs/FilterBlendDialog.h"
#include "dialogs/FilterDialog.h"
#include "dialogs/FilterPixels.h"
#include "dialogs/Launchers.h"
#include "dialogs/SliderDialogSupport.h"
#include "imaging/DocStream.h"
#include "imaging/DocumentStream.h"
#include "imaging/DocumentUi.h"
#include "platform/FileSystem.h"
#include "ui/MessageBox.h"

#include "DialogTestSupport.h"

#include <csignal>
#include <random>
#include <sys/resource.h>

using namespace dialogtest;

namespace {

// A filter dialog on template 157 whose preview is the gate algorithm: backup + delta.
class CGateFilter : public CFilterDialog {
public:
    void StartJob() override
    {
        UpdateData(1);
        ++starts;
        StartPreviewJob(&gate, &record, sizeof record);
    }
    void OnOK() override
    {
        CFilterDialog::OnOK();
        if (Result() == 1)
            RecordHistoryStep(u"hisBricon", 18, &record, sizeof record);
    }
    CGateAlgorithm gate;
    GateRecord record;
    int starts = 0;
};

// Random 16-bit pixels with partial alphas: what a lossy stream would not give back.
void FillRandom(ImageBuffer16& image, int width, int height, uint32_t seed)
{
    ASSERT_TRUE(AllocImage16(image, width, height));
    std::mt19937 rng(seed);
    for (uint32_t i = 0; i < image.pixelCount * 4; ++i)
        image.data[i] = uint16_t(rng());
}

// What the preview of delta makes of the backup, mixed and masked as the dialog does.
void ExpectedPreview(const ImageBuffer16& backup, int delta, int mode, int opacity, const MaskPlacement& place,
                     ImageBuffer16& out)
{
    ASSERT_TRUE(CopyImage16(out, backup));
    for (uint32_t i = 0; i < out.pixelCount; ++i)
        for (int c = 0; c < 3; ++c)
            out.data[size_t(i) * 4 + c] = uint16_t(std::clamp<int>(out.data[size_t(i) * 4 + c] + delta, 0, 65535));
    if (mode != 0 || opacity < 100)
        BlendResult(out, backup, mode, opacity);
    RestrictToMask(out, backup, place);
}

int ApplyEnabled(CFilterDialog& d)
{
    auto* apply = dynamic_cast<CMessageSprite*>(d.GetControl(CFilterDialog::kApplyId));
    return apply ? apply->Enabled() : -1;
}

void Preview(DialogWorld& w, CGateFilter& d, int delta)
{
    d.record.delta = delta;
    d.RestartPreview();
    ASSERT_TRUE(w.PumpUntil([&] { return !d.JobInFlight(); }));
}

} // namespace

TEST(FilterDialog, LayoutCoversThePageAndTheViewModesPlaceTheViews)
{
    DialogWorld w;
    ImageBuffer16 picture{};
    FillPattern(picture, 64, 48);
    w.OpenDocument(picture);
    ASSERT_TRUE(AllocPlane8(w.doc.selection, 64, 48));
    std::memset(w.doc.selection.data, 255, w.doc.selection.byteSize);
    auto d = OpenDialog<CGateFilter>(CBrightnessContrastDlg::kTemplateId);
    ASSERT_NE(d, nullptr);
    const int c = d->ColumnWidth();
    EXPECT_GT(c, 200);
    const SRect r = d->Rect();
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 40);
    EXPECT_EQ(r.Width(), 1280);
    EXPECT_EQ(r.Height(), 760);
    const int W = 1280, H = 760;
    EXPECT_EQ(d->GetControl(1)->Rect().left, 5);
    EXPECT_EQ(d->GetControl(1)->Rect().top, H - 40);
    EXPECT_EQ(d->GetControl(2)->Rect().left, 70);
    EXPECT_EQ(d->GetControl(CFilterDialog::kApplyId)->Rect().left, 165);
    EXPECT_EQ(ApplyEnabled(*d), 0) << "Apply waits for a preview";
    EXPECT_EQ(d->ViewPanel().Rect().left, c + 10);
    EXPECT_EQ(d->ViewPanel().Rect().top, 50);
    EXPECT_EQ(d->ViewPanel().ItemCount(), 7) << "four modes, canvas, blend, mask";
    const SRect v = d->ViewRect();
    EXPECT_EQ(v.left, c + 35);
    EXPECT_EQ(v.top, 30);
    EXPECT_EQ(v.right, W - 5);
    EXPECT_EQ(v.bottom, H - 5);
    EXPECT_EQ(d->ProgressRect().left, c + 5);
    EXPECT_EQ(d->ProgressRect().top, 250);
    EXPECT_EQ(d->ProgressRect().right, c + 20);
    EXPECT_EQ(d->ProgressRect().bottom, H - 50);
    EXPECT_EQ(d->ViewMode(), kViewAfter);
    EXPECT_FALSE(d->TempFileName().empty());

    const int vw = v.Width(), vh = v.Height();
    struct Case {
        int mode;
        bool before, after;
        SRect beforeRect, afterRect;
        int width;
    };
    const Case cases[] = {
        {kViewBefore, true, false, {v.left, v.top, v.right, v.bottom}, {}, W},
        {kViewSideBySide, true, true, {v.left, v.top, v.left + vw / 2, v.bottom}, {v.left + vw / 2, v.top, v.right, v.bottom}, W},
        {kViewAboveBelow, true, true, {v.left, v.top, v.right, v.top + vh / 2}, {v.left, v.top + vh / 2, v.right, v.bottom}, W},
        {kViewCanvas, false, false, {}, {}, c + 35},
        {kViewAfter, false, true, {}, {v.left, v.top, v.right, v.bottom}, W},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.mode);
        w.doc.modified = 0;
        d->SetViewMode(k.mode);
        EXPECT_EQ(d->ViewMode(), k.mode);
        EXPECT_EQ(d->BeforeView().IsVisible() != 0, k.before);
        EXPECT_EQ(d->AfterView().IsVisible() != 0, k.after);
        if (k.before) {
            EXPECT_EQ(d->BeforeView().Rect(), k.beforeRect);
        }
        if (k.after) {
            EXPECT_EQ(d->AfterView().Rect(), k.afterRect);
        }
        EXPECT_EQ(d->Width(), k.width);
        EXPECT_EQ(d->Height(), H);
        EXPECT_EQ(w.doc.modified, k.mode == kViewCanvas ? 1 : 0) << "the canvas shows the result in mode 4";
        PanelItem* item = d->ViewPanel().FindItem(CFilterDialog::kViewButtonFirst + k.mode);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->checked, 1);
    }
    d->SetViewMode(7);
    EXPECT_EQ(d->ViewMode(), kViewAfter) << "no such mode";
    // In mode 4 every finished preview marks the document so the canvas shows it.
    d->SetViewMode(kViewCanvas);
    w.doc.modified = 0;
    Preview(w, *d, 10);
    EXPECT_EQ(w.doc.modified, 1);
    d->OnCancel();
    FreeImageBuffer(picture);
}

TEST(FilterDialog, PreviewIsBlendedAndMaskedIntoTheLayer)
{
    struct Case {
        int mode, opacity;
        bool mask;
        const char* why;
    };
    const Case cases[] = {
        {0, 100, false, "normal at 100 %: the algorithm's output exactly"},
        {0, 0, false, "opacity 0: the backup's colours, the output's alpha"},
        {0, 40, false, "opacity 40"},
        {1, 100, false, "darken"},
        {0, 100, true, "the selection as mask; part of the layer outside the document"},
        {6, 40, true, "screen at 40 % inside the mask"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.why);
        DialogWorld w;
        ImageBuffer16 base{}, top{};
        FillPattern(base, 64, 48);
        FillRandom(top, 40, 30, 7);
        w.OpenDocument(base);
        ASSERT_TRUE(w.doc.AddLayer(top, u"top"));
        w.doc.SetCurrentLayer(1);
        w.doc.layers[1]->x = 40; // 16 of its 40 columns lie inside the document
        w.doc.layers[1]->y = 9;
        ASSERT_TRUE(AllocPlane8(w.doc.selection, 64, 48));
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x)
                w.doc.selection.data[y * 64 + x] = uint8_t(x % 3 == 0 ? 0 : x % 3 == 1 ? 128 : 255);
        auto d = OpenDialog<CGateFilter>(CBrightnessContrastDlg::kTemplateId);
        ASSERT_NE(d, nullptr);
        if (!k.mask)
            Send(w, d.get(), MSG_MENU_COMMAND, CFilterDialog::kMaskWholePicture);
        d->m_blendMode = uint16_t(k.mode);
        d->m_opacity = uint16_t(k.opacity);
        Preview(w, *d, 9000);
        ImageBuffer16 expected{};
        const MaskPlacement place{k.mask ? &w.doc.selection : nullptr, 64, 48, 40, 9};
        ExpectedPreview(top, 9000, k.mode, k.opacity, place, expected);
        EXPECT_TRUE(SameBytes(w.Layer(), expected));
        if (k.mode == 0 && k.opacity == 0) {
            for (uint32_t i = 0; i < 10; ++i) {
                EXPECT_EQ(w.Layer().data[i * 4], top.data[i * 4]);
                EXPECT_EQ(w.Layer().data[i * 4 + 3], top.data[i * 4 + 3]);
            }
        }
        EXPECT_TRUE(SameBytes(d->BackupImage(), top)) << "the backup stays the picture before";
        EXPECT_EQ(ApplyEnabled(*d), 1);
        d->OnCancel();
        EXPECT_TRUE(SameBytes(w.Layer(), top));
        for (ImageBuffer16* b : {&base, &top, &expected})
            FreeImageBuffer(*b);
    }
}

TEST(FilterDialog, ApplyKeepsTheOpeningPictureOnceAndCancelBringsItBackExactly)
{
    DialogWorld w;
    ImageBuffer16 opening{};
    FillRandom(opening, 50, 37, 11);
    w.OpenDocument(opening);
    auto d = OpenDialog<CGateFilter>(CBrightnessContrastDlg::kTemplateId);
    ASSERT_NE(d, nullptr);
    const std::u16string file = d->TempFileName();
    Preview(w, *d, 1000);
    ASSERT_TRUE(d->Apply());
    EXPECT_EQ(d->Applied(), 1);
    EXPECT_EQ(ApplyEnabled(*d), 0) << "until the next preview";
    std::vector<uint8_t> first;
    ASSERT_TRUE(platform::ReadWholeFile(file, first));
    {
        CDocMemStream stream(first);
        stream.pixelMode = PixelStreamMode::Exact;
        ImageBuffer16 back{};
        ASSERT_TRUE(ReadLayerPixels(stream, back));
        EXPECT_TRUE(SameBytes(back, opening)) << "the file holds the opening picture, losslessly";
        FreeImageBuffer(back);
    }
    EXPECT_TRUE(SameBytes(d->BackupImage(), w.Layer())) << "the result is the new before";
    Preview(w, *d, 500);
    ASSERT_TRUE(d->Apply());
    std::vector<uint8_t> second;
    ASSERT_TRUE(platform::ReadWholeFile(file, second));
    EXPECT_EQ(first, second) << "written once";
    w.doc.modified = 0;
    d->OnCancel();
    EXPECT_EQ(d->Result(), 2);
    EXPECT_TRUE(SameBytes(w.Layer(), opening)) << "Cancel after two Applies: the opening picture";
    EXPECT_FALSE(platform::PathExists(file));
    EXPECT_EQ(w.doc.modified, 1);
    EXPECT_TRUE(w.messages.empty());
    FreeImageBuffer(opening);
}

TEST(FilterDialog, ApplyFileFailuresNeverCostTheOpeningPicture)
{
    enum Fault { CannotCreate, CannotWrite, TruncatedAtCancel };
    for (Fault fault : {CannotCreate, CannotWrite, TruncatedAtCancel}) {
        SCOPED_TRACE(int(fault));
        DialogWorld w;
        ImageBuffer16 opening{};
        FillRandom(opening, 40, 40, 3);
        w.OpenDocument(opening);
        struct BadNames : ITempFileNames {
            std::u16string MakeTempFileName(const std::u16string&) override { return u"/nonexistent-folder/filter1.zdtmp"; }
        } badNames;
        if (fault == CannotCreate)
            TheDocumentUi().tempNames = &badNames;
        auto d = OpenDialog<CGateFilter>(CBrightnessContrastDlg::kTemplateId);
        TheDocumentUi().tempNames = nullptr;
        ASSERT_NE(d, nullptr);
        Preview(w, *d, 2000);
        ImageBuffer16 afterFirst{};
        ASSERT_TRUE(CopyImage16(afterFirst, w.Layer()));
        if (fault == CannotWrite) {
            // A file size limit makes the stream's writes fail as a full disk would.
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit old{};
            getrlimit(RLIMIT_FSIZE, &old);
            rlimit small = old;
            small.rlim_cur = 1000;
            setrlimit(RLIMIT_FSIZE, &small);
            const int applied = d->Apply();
            setrlimit(RLIMIT_FSIZE, &old);
            EXPECT_EQ(applied, 0);
        } else if (fault == CannotCreate) {
            EXPECT_EQ(d->Apply(), 0);
        } else {
            ASSERT_TRUE(d->Apply());
            Preview(w, *d, 300);
            ASSERT_TRUE(d->Apply());
            std::vector<uint8_t> bytes;
            ASSERT_TRUE(platform::ReadWholeFile(d->TempFileName(), bytes));
            bytes.resize(bytes.size() / 2);
            ASSERT_TRUE(platform::WriteWholeFileAtomic(d->TempFileName(), bytes));
        }
        if (fault != TruncatedAtCancel) {
            EXPECT_EQ(w.Count(u"errorApply"), 1);
            EXPECT_EQ(w.messages.back().kind, kMbError);
            EXPECT_EQ(d->Applied(), 0) << "nothing applied";
            EXPECT_TRUE(SameBytes(d->BackupImage(), opening));
        }
        d->OnCancel();
        if (fault == TruncatedAtCancel) {
            ImageBuffer16 lastApplied{};
            ExpectedPreview(afterFirst, 300, 0, 100, {}, lastApplied);
            EXPECT_TRUE(SameBytes(w.Layer(), lastApplied)) << "a short file falls back to the last Apply";
            FreeImageBuffer(lastApplied);
        } else {
            EXPECT_TRUE(SameBytes(w.Layer(), opening));
        }
        EXPECT_FALSE(platform::PathExists(d->TempFileName()));
        FreeImageBuffer(opening);
        FreeImageBuffer(afterFirst);
    }
}

TEST(FilterDialog, OkDuringAJobFinishesItWithTheLastChangeBlendedAndMasked)
{
    DialogWorld w;
    ImageBuffer16 picture{};
    FillRandom(picture, 48, 32, 5);
    w.OpenDocument(picture, true);
    ASSERT_TRUE(AllocPlane8(w.doc.selection, 48, 32));
    for (uint32_t i = 0; i < w.doc.selection.byteSize; ++i)
        w.doc.selection.data[i] = uint8_t(i * 7);
    auto d = OpenDialog<CGateFilter>(CBrightnessContrastDlg::kTemplateId);
    ASSERT_NE(d, nullptr);
    d->m_opacity = 50;
    d->gate.open.store(false);
    d->record.delta = 100;
    d->RestartPreview();
    ASSERT_TRUE(w.PumpUntil([&] { return d->gate.runs.load() == 1; }));
    d->record.delta = 200;
    d->RestartPreview(); // cancels the running job; its completion will start 200
    {
        GateOpener opener(d->gate, 80);
        d->OnOK();
    }
    EXPECT_EQ(d->Result(), 1);
    EXPECT_FALSE(theAlgorithmThread.IsBusy());
    EXPECT_FALSE(d->JobInFlight());
    ImageBuffer16 expected{};
    ExpectedPreview(picture, 200, 0, 50, {&w.doc.selection, 48, 32, 0, 0}, expected);
    EXPECT_TRUE(SameBytes(w.Layer(), expected)) << "the last change, blended and masked";
    ASSERT_EQ(w.history.steps.size(), 2u);
    EXPECT_EQ(w.history.steps[1].kind, kHistoryLayer);
    EXPECT_EQ(w.history.steps[1].tag, 0) << "opacity 50: not replayable";
    w.t.Pump(); // the completions already handled come in and are dropped
    EXPECT_TRUE(SameBytes(w.Layer(), expected));
    FreeImageBuffer(picture);
    FreeImageBuffer(expected);
}

TEST(FilterDialog, HistoryStepKeepsIdAndRecordOnlyForAPureResult)
{
    enum Variant { Pure, WithMask, AfterApply, Opacity90, Darken };
    for (Variant v : {Pure, WithMask, AfterApply, Opacity90, Darken}) {
        SCOPED_TRACE(int(v));
        DialogWorld w;
        ImageBuffer16 picture{};
        FillPattern(picture, 20, 10);
        w.OpenDocument(picture, true);
        if (v == WithMask) {
            ASSERT_TRUE(AllocPlane8(w.doc.selection, 20, 10));
            std::memset(w.doc.selection.data, 200, w.doc.selection.byteSize);
        }
        auto d = OpenDialog<CBrightnessContrastDlg>(CBrightnessContrastDlg::kTemplateId);
        ASSERT_NE(d, nullptr);
        if (v == AfterApply) {
            FindSlider(*d, CBrightnessContrastDlg::kContrastId)->SetValue(30, 1);
            ASSERT_TRUE(w.PumpUntil([&] { return ApplyEnabled(*d) != 0; }));
            ASSERT_TRUE(d->Apply());
        }
        d->m_opacity = v == Opacity90 ? 90 : 100;
        d->m_blendMode = v == Darken ? 1 : 0;
        FindSlider(*d, CBrightnessContrastDlg::kBrightnessId)->SetValue(10, 1);
        FindSlider(*d, CBrightnessContrastDlg::kContrastId)->SetValue(-5, 1);
        w.t.Pump();
        d->OnOK();
        ASSERT_EQ(d->Result(), 1);
        ASSERT_EQ(w.history.steps.size(), 2u);
        const HistoryStep& step = w.history.steps[1];
        EXPECT_EQ(step.kind, kHistoryLayer);
        EXPECT_EQ(std::u16string(step.name), u"hisBricon");
        if (v == Pure) {
            EXPECT_EQ(step.hasPayload, 1);
            EXPECT_EQ(step.tag, 18);
            const std::vector<uint8_t> bytes(step.PayloadData(), step.PayloadData() + step.payloadLength);
            EXPECT_EQ(bytes, (std::vector<uint8_t>{0x0C, 0, 0, 0, 0x0A, 0, 0, 0, 0xFB, 0xFF, 0xFF, 0xFF}));
        } else {
            EXPECT_EQ(step.hasPayload, 0);
            EXPECT_EQ(step.tag, 0);
            EXPECT_EQ(step.payloadLength, 0);
        }
        FreeImageBuffer(picture);
    }
}

TEST(FilterDialog, MaskMenuOffersTheSelectionAndAtMost98SavedMasks)
{
    DialogWorld w;
    ImageBuffer16 picture{};
    FillPattern(picture, 30, 20);
    w.OpenDocument(picture);
    ASSERT_TRUE(AllocPlane8(w.doc.selection, 30, 20));
    std::memset(w.doc.selection.data, 255, w.doc.selection.byteSize);
    for (int n = 0; n < 100; ++n) {
        auto item = std::make_unique<MaskItem>();
        ASSERT_TRUE(AllocPlane8(item->plane, 4, 3));
        std::memset(item->plane.data, n + 1, item->plane.byteSize);
        item->x = 5;
        item->y = 2;
        std::u16string name = u"mask " + platform::IntToText(n);
        CopyTextBounded(item->name, 32, name.c_str());
        w.doc.masks.push_back(std::move(item));
    }
    auto d = OpenDialog<CGateFilter>(CBrightnessContrastDlg::kTemplateId);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->Mask(), &w.doc.selection) << "the selection limits from the start";
    d->BuildMaskMenu(-1, &w.doc);
    CSMenu& menu = d->MaskMenu();
    ASSERT_EQ(menu.Count(), 2 + 1 + 98);
    EXPECT_EQ(menu.Item(0).commandId, 100);
    EXPECT_EQ(menu.Item(0).checked, 0);
    EXPECT_EQ(menu.Item(1).commandId, 101);
    EXPECT_EQ(menu.Item(1).checked, 1);
    EXPECT_EQ(menu.Item(2).separator, 1);
    EXPECT_EQ(menu.Item(100).commandId, 9098);
    Send(w, d.get(), MSG_MENU_COMMAND, 9001 + 49);
    ASSERT_EQ(d->SavedMaskIndex(), 49);
    ASSERT_NE(d->Mask(), nullptr);
    EXPECT_EQ(d->Mask()->width, 30);
    EXPECT_EQ(d->Mask()->data[2 * 30 + 5], 50) << "placed at the mask's offset";
    EXPECT_EQ(d->Mask()->data[0], 0);
    const ImageBuffer8* on = d->ViewIcons()[6];
    PanelItem* maskButton = d->ViewPanel().FindItem(CFilterDialog::kMaskButtonId);
    ASSERT_NE(maskButton, nullptr);
    EXPECT_EQ(std::memcmp(maskButton->icon.data, on->data, on->byteSize), 0) << "frame 6 while a mask is in use";
    Send(w, d.get(), MSG_MENU_COMMAND, 9099);
    EXPECT_EQ(d->SavedMaskIndex(), 49) << "ids beyond 9098 change nothing";
    Send(w, d.get(), MSG_MENU_COMMAND, 100);
    EXPECT_EQ(d->Mask(), nullptr);
    EXPECT_EQ(d->SavedMaskIndex(), -1);
    d->BuildMaskMenu(-2, &w.doc);
    EXPECT_EQ(d->MaskMenu().Item(0).checked, 1);
    d->OnCancel();
    FreeImageBuffer(picture);
}

TEST(FilterDialog, BlendPopupRestartsOnlyWhenModeOrOpacityChanged)
{
    DialogWorld w;
    ImageBuffer16 picture{};
    FillPattern(picture, 16, 16);
    w.OpenDocument(picture);
    auto d = OpenDialog<CGateFilter>(CBrightnessContrastDlg::kTemplateId);
    ASSERT_NE(d, nullptr);
    // Where the popup's controls will be: the same template, centred the same way.
    SPoint minus{}, ok{};
    {
        CFilterBlendDlg probe;
        ASSERT_TRUE(CreateDialogFromTemplate(probe, CFilterBlendDlg::kTemplateId));
        auto* slider = FindSlider(probe, CFilterBlendDlg::kOpacityId);
        ASSERT_NE(slider, nullptr);
        const SRect p = slider->MinusButton().LocalToWindowRect({0, 0, 16, 16});
        minus = {p.left + 8, p.top + 8};
        const SRect o = probe.GetControl(1)->LocalToWindowRect({0, 0, 10, 10});
        ok = {o.left + 5, o.top + 5};
    }
    auto click = [&](SPoint p) {
        // Twice: the first move lets the sprites that hold the capture see the pointer leave.
        w.t.Input().InjectMouseMove(p);
        w.t.Input().InjectMouseMove(p);
        w.t.Input().InjectButton(platform::MouseButton::Left, true, p);
        w.t.Input().InjectButton(platform::MouseButton::Left, false, p);
    };
    // OK without a change: no new preview.
    w.t.Input().InjectKey(platform::vk::Return, true);
    w.t.Input().InjectKey(platform::vk::Return, false);
    d->ShowBlendDialog();
    w.Settle();
    EXPECT_EQ(d->starts, 0);
    // The opacity one step down, then OK: a preview at the new opacity.
    click(minus);
    click(ok);
    d->ShowBlendDialog();
    ASSERT_TRUE(w.PumpUntil([&] { return !d->JobInFlight(); }));
    EXPECT_EQ(d->starts, 1);
    EXPECT_LT(d->m_opacity, 100);
    EXPECT_EQ(d->m_blendMode, 0);
    d->OnCancel();
    FreeImageBuffer(picture);
}

TEST(FilterBlendDialog, ModeMenuAndOpacityBinding)
{
    DialogWorld w;
    CFilterBlendDlg b;
    ASSERT_TRUE(CreateDialogFromTemplate(b, CFilterBlendDlg::kTemplateId));
    b.m_blendMode = 50; // not a mode the menu offers
    b.m_opacity = 40;
    ASSERT_TRUE(b.OnInitDialog());
    auto* button = dynamic_cast<CSButton*>(b.GetControl(CFilterBlendDlg::kModeButtonId));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(std::u16string(button->Caption()), u"bmnormal");
    EXPECT_EQ(button->m_dropDownMark, 1);
    EXPECT_EQ(FindSlider(b, CFilterBlendDlg::kOpacityId)->Value(), 40);
    Send(w, &b, MSG_MENU_COMMAND, 23009);
    EXPECT_EQ(b.m_blendMode, 9);
    EXPECT_EQ(std::u16string(button->Caption()), u"bmsoftlight");
    b.ShowModeMenu();
    EXPECT_EQ(b.ModeMenu().Count(), 9);
    b.ModeMenu().Close(0);
    FindSlider(b, CFilterBlendDlg::kOpacityId)->SetValue(75, 0);
    ASSERT_TRUE(b.UpdateData(1));
    EXPECT_EQ(b.m_opacity, 75);
}

TEST(FilterDialog, OpensWithoutDocumentAndRefusesWithoutItsPictures)
{
    {
        DialogWorld w;
        w.editorPage = false;
        auto d = OpenDialog<CBrightnessContrastDlg>(CBrightnessContrastDlg::kTemplateId);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->TargetImage(), nullptr);
        EXPECT_EQ(d->ViewPanel().ItemCount(), 4) << "no canvas, blend or mask buttons without an editor";
        FindSlider(*d, CBrightnessContrastDlg::kBrightnessId)->SetValue(20, 1);
        w.t.Pump();
        EXPECT_FALSE(d->JobInFlight()) << "nothing to preview";
        d->OnOK();
        EXPECT_EQ(d->Result(), 1);
    }
    struct Case {
        const char* why;
        bool missingPicture;
        bool missingTemplate;
    };
    for (const Case& c : {Case{"viewmode.png missing", true, false}, Case{"template missing", false, true}}) {
        SCOPED_TRACE(c.why);
        DialogWorld w;
        ImageBuffer16 picture{};
        FillPattern(picture, 8, 8);
        w.OpenDocument(picture);
        if (c.missingPicture)
            SetUiImageSource([](UiImageFolder f, const char16_t* name, ImageBuffer8& out) {
                return std::u16string(name) == u"viewmode.png" ? 0 : ProgramFolderImage(f, name, out);
            });
        if (c.missingTemplate)
            SetDialogTemplateFolder(u"/nonexistent-folder");
        EXPECT_EQ(RunEditorDialog(11004, 0), 0);
        EXPECT_TRUE(SameBytes(w.Layer(), picture));
        EXPECT_EQ(w.history.steps.size(), 1u);
        EXPECT_EQ(w.doc.modified, 0);
        SetUiImageSource(&ProgramFolderImage);
        FreeImageBuffer(picture);
    }
}
