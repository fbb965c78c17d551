// Gaussian blur, diffuse glow and starlight: OK, undo and redo against each algorithm run
// directly, the records, the units and modes, the shape panel, Apply's reset and Cancel.
#include "dialogs/BlurDialogs.h"
#include "dialogs/Launchers.h"

#include "FilterDialogsSupport.h"

#include <cmath>

using namespace filtertest;

namespace {

void StarShape(CStarlightDlg& d, int shape, Plane8& plane)
{
    const ImageBuffer8& frame = *d.Shapes()[size_t(shape)];
    ASSERT_TRUE(AllocPlane8(plane, frame.width, frame.height));
    for (uint32_t i = 0; i < plane.byteSize; ++i)
        plane.data[i] = frame.data[size_t(i) * 4 + 1];
}

void ClickShape(DialogWorld& w, CStarlightDlg& d, int id)
{
    ASSERT_TRUE(::PostSpriteMessage(&d, MSG_PANEL_CLICK, id, 0, &d.ShapePanel()));
    w.t.Pump();
}

} // namespace

TEST(BlurDialogs, OkUndoRedoEqualTheAlgorithmRunDirectly)
{
    {
        SCOPED_TRACE("Gaussian blur");
        std::vector<uint8_t> payload;
        CheckOkUndoRedo<CAdvBlurDlg>(
            {.stepId = 27, .recordBytes = 8, .payload = &payload},
            [](DialogWorld&, CAdvBlurDlg& d) { SetSlider(d, CAdvBlurDlg::kRadiusId, 2.5); },
            [](const ImageBuffer16& opening, CAdvBlurDlg&, ImageBuffer16& out) {
                CGaussBlur direct;
                const double sigma = 2.5;
                ASSERT_TRUE(RunDirect(direct, &sigma, opening, out));
            });
        EXPECT_EQ(At<double>(payload, 0), 2.5) << "the sigma is the whole record";
    }
    {
        SCOPED_TRACE("diffuse glow, highlight mode");
        std::vector<uint8_t> payload;
        CheckOkUndoRedo<CDiffuseDlg>(
            {.stepId = 28, .recordBytes = 32, .payload = &payload, .fill = &FillLights},
            [](DialogWorld& w, CDiffuseDlg& d) {
                Send(w, &d, MSG_CHECK, CDiffuseDlg::kHighlightModeId, 1);
                SetSlider(d, CDiffuseDlg::kRadiusId, 5.0);
                SetSlider(d, CDiffuseDlg::kAmountId, 60);
                SetSlider(d, CDiffuseDlg::kHighlightId, 20);
                SetSlider(d, CDiffuseDlg::kShadowId, 30);
            },
            [](const ImageBuffer16& opening, CDiffuseDlg&, ImageBuffer16& out) {
                DiffuseParams p;
                p.mode = 1;
                p.radius = 5.0 * 43 / 300;
                p.amount = 60;
                p.highlight = 20;
                p.shadow = 30;
                CDiffuseFilter direct;
                ASSERT_TRUE(RunDirect(direct, &p, opening, out));
            });
        ASSERT_EQ(payload.size(), 32u);
        EXPECT_EQ(At<uint16_t>(payload, 0), 32);
        EXPECT_EQ(payload[2], 1) << "mode";
        EXPECT_DOUBLE_EQ(At<double>(payload, 8), 5.0 * 43 / 300);
        EXPECT_EQ(At<int32_t>(payload, 16), 60);
        EXPECT_EQ(At<int32_t>(payload, 20), 20);
        EXPECT_EQ(At<int32_t>(payload, 24), 30) << "the shadow is sent also in highlight mode";
        for (size_t i : {3u, 4u, 5u, 6u, 7u, 28u, 29u, 30u, 31u})
            EXPECT_EQ(payload[i], 0) << "reserved byte " << i;
    }
    {
        SCOPED_TRACE("starlight");
        CheckOkUndoRedo<CStarlightDlg>(
            {.width = 90, .height = 70, .name = u"hisStarlight", .fill = &FillLights},
            [](DialogWorld& w, CStarlightDlg& d) {
                ClickShape(w, d, 1);
                SetSlider(d, CStarlightDlg::kRadiusId, 20);
                SetSlider(d, CStarlightDlg::kRotationId, 90);
                Send(w, &d, MSG_CHECK, CStarlightDlg::kColourfulId, 1);
            },
            [](const ImageBuffer16& opening, CStarlightDlg& d, ImageBuffer16& out) {
                StarlightParams p;
                p.radius = 20;
                p.amount = 50;
                p.density = 50;
                p.rotation = 90 * 3.1415926536 * 2 / 360 + 3.1415926536;
                p.colourMode = 1;
                EXPECT_EQ(std::memcmp(&p, &d.m_params, sizeof p), 0) << "the record the dialog sent";
                Plane8 plane{};
                StarShape(d, 1, plane);
                CStarlight direct;
                direct.SetRayShape(&plane);
                ASSERT_TRUE(RunDirect(direct, &p, opening, out));
                FreePlane8(plane);
            });
    }
}

TEST(BlurDialogs, CancelLeavesThePictureAsOpened)
{
    CheckCancel<CAdvBlurDlg>([](DialogWorld&, CAdvBlurDlg& d) { SetSlider(d, CAdvBlurDlg::kRadiusId, 3); });
    CheckCancel<CDiffuseDlg>([](DialogWorld&, CDiffuseDlg& d) { SetSlider(d, CDiffuseDlg::kAmountId, 80); });
    CheckCancel<CStarlightDlg>([](DialogWorld&, CStarlightDlg& d) { SetSlider(d, CStarlightDlg::kAmountId, 90); },
                               60, 50, &FillLights);
}

TEST(BlurDialogs, BlurRadiusByUnitsAndApplyBackToHalfAPixel)
{
    DialogWorld w;
    ImageBuffer16 picture{};
    FillPhoto(picture, 300, 200);
    w.OpenDocument(picture, true);
    auto d = OpenDialog<CAdvBlurDlg>(CAdvBlurDlg::kTemplateId);
    ASSERT_NE(d, nullptr);
    WaitForPreview(w, *d);
    EXPECT_DOUBLE_EQ(d->m_sigma, 0.5);
    struct Case {
        bool toggle;
        double set; // < 0: none
        double sigma;
    };
    const Case cases[] = {
        {true, -1, 200 / 300.0},       // percent: reset to 1 % of the shorter side
        {false, 60, 60 * 200 / 300.0}, // the largest percentage
        {true, -1, 0.5},               // back in pixels: 0.5
        {false, 0.1, 0.1},             // the smallest radius
        {false, 32, 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sigma);
        if (c.toggle)
            Send(w, d.get(), MSG_COMMAND, CAdvBlurDlg::kUnitsId);
        if (c.set >= 0)
            SetSlider(*d, CAdvBlurDlg::kRadiusId, c.set);
        WaitForPreview(w, *d);
        EXPECT_NEAR(d->m_sigma, c.sigma, 1e-9);
    }
    Send(w, d.get(), MSG_COMMAND, CAdvBlurDlg::kUnitsId);
    WaitForPreview(w, *d);
    ASSERT_EQ(d->Apply(), 1);
    WaitForPreview(w, *d);
    EXPECT_EQ(d->m_pixelUnits, 1u);
    EXPECT_DOUBLE_EQ(d->m_sigma, 0.5);
    d->OnOK();
    ASSERT_EQ(d->Result(), 1);
    EXPECT_EQ(w.history.steps.back().tag, 0) << "after Apply the step keeps no record";
    FreeImageBuffer(picture);
}

TEST(BlurDialogs, DiffuseModesAndApply)
{
    DialogWorld w;
    ImageBuffer16 picture{};
    FillPhoto(picture, 90, 60);
    w.OpenDocument(picture, true);
    auto d = OpenDialog<CDiffuseDlg>(CDiffuseDlg::kTemplateId);
    ASSERT_NE(d, nullptr);
    WaitForPreview(w, *d);
    // The first preview: radius 3.0 % of 60, amount 35.
    EXPECT_DOUBLE_EQ(d->m_params.radius, 3.0 * 60 / 300);
    EXPECT_EQ(d->m_params.amount, 35);
    EXPECT_EQ(d->m_params.mode, 0);
    CSliderSprite* shadow = FindSlider(*d, CDiffuseDlg::kShadowId);
    EXPECT_TRUE(shadow->Enabled());
    Send(w, d.get(), MSG_CHECK, CDiffuseDlg::kHighlightModeId, 1);
    WaitForPreview(w, *d);
    EXPECT_EQ(d->m_params.mode, 1);
    EXPECT_FALSE(shadow->Enabled()) << "no shadow in highlight mode";
    char16_t checked[8] = {};
    dynamic_cast<CDialogControl*>(d->GetControl(CDiffuseDlg::kHighlightModeId))->GetText(checked, 8, 0);
    EXPECT_EQ(std::u16string(checked), u"1") << "the highlight radio is checked";
    SetSlider(*d, CDiffuseDlg::kRadiusId, 0);
    WaitForPreview(w, *d);
    EXPECT_DOUBLE_EQ(d->m_params.radius, 0.1) << "a radius of 0 is sent as 0.1";
    Send(w, d.get(), MSG_CHECK, CDiffuseDlg::kNormalId, 1);
    WaitForPreview(w, *d);
    EXPECT_TRUE(shadow->Enabled());
    SetSlider(*d, CDiffuseDlg::kAmountId, 90);
    SetSlider(*d, CDiffuseDlg::kHighlightId, 40);
    WaitForPreview(w, *d);
    ASSERT_EQ(d->Apply(), 1);
    WaitForPreview(w, *d);
    EXPECT_DOUBLE_EQ(d->m_params.radius, 3.0 * 60 / 300);
    EXPECT_EQ(d->m_params.amount, 35);
    EXPECT_EQ(d->m_params.highlight, 0);
    EXPECT_EQ(d->m_params.shadow, 0);
    d->OnCancel();
    EXPECT_TRUE(SameBytes(w.Layer(), picture));
    FreeImageBuffer(picture);
}

TEST(BlurDialogs, StarlightShapesAndClicks)
{
    DialogWorld w;
    ImageBuffer16 picture{};
    FillLights(picture, 80, 60);
    w.OpenDocument(picture, true);
    auto d = OpenDialog<CStarlightDlg>(CStarlightDlg::kTemplateId);
    ASSERT_NE(d, nullptr);
    WaitForPreview(w, *d);
    ASSERT_EQ(d->Shapes().size(), 6u);
    const int s = d->IconSize();
    EXPECT_EQ(s, std::min(d->ShapePanel().Width() / 6, d->ShapePanel().Height()));
    EXPECT_EQ(d->m_selectedShape, 4);
    EXPECT_EQ(d->m_params.radius, 32);
    EXPECT_EQ(d->m_params.density, 50);
    EXPECT_NEAR(d->m_params.rotation, 3.1415926536, 1e-12) << "0 degrees is a half turn in the record";
    for (int i = 0; i < 6; ++i) {
        PanelItem* item = d->ShapePanel().FindItem(i);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->rect.left, i * s);
        EXPECT_EQ(item->rect.right, (i + 1) * s);
    }
    // The shape plane is the selected frame's green channel.
    Plane8 expected{};
    StarShape(*d, 4, expected);
    ASSERT_EQ(d->ShapePlane().byteSize, expected.byteSize);
    EXPECT_EQ(std::memcmp(d->ShapePlane().data, expected.data, expected.byteSize), 0);
    FreePlane8(expected);
    EXPECT_GT(d->ShapePlane().data[64 * 128 + 64], 200) << "the ray's centre is bright";
    EXPECT_LT(d->ShapePlane().data[2 * 128 + 64], 200) << "the corner is dark";

    ImageBuffer16 before{};
    ASSERT_TRUE(CopyImage16(before, w.Layer()));
    struct Case {
        int id;
        int selected;
        bool restarts;
    };
    for (const Case& c : {Case{4, 4, true}, Case{6, 4, false}, Case{-1, 4, false}, Case{2, 2, true}}) {
        SCOPED_TRACE(c.id);
        ClickShape(w, *d, c.id);
        EXPECT_EQ(d->m_selectedShape, c.selected);
        EXPECT_EQ(d->JobInFlight() || d->RestartPending(), c.restarts);
        WaitForPreview(w, *d);
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(d->ShapePanel().FindItem(i)->checked != 0, i == c.selected);
    }
    EXPECT_FALSE(SameBytes(before, w.Layer())) << "another shape, other rays";
    SetSlider(*d, CStarlightDlg::kRotationId, 90);
    SetSlider(*d, CStarlightDlg::kRadiusId, 10);
    WaitForPreview(w, *d);
    EXPECT_NEAR(d->m_params.rotation, 3.1415926536 * 1.5, 1e-9);
    ASSERT_EQ(d->Apply(), 1);
    WaitForPreview(w, *d);
    EXPECT_EQ(d->m_params.radius, 32);
    EXPECT_NEAR(d->m_params.rotation, 3.1415926536, 1e-12);
    d->OnOK();
    ASSERT_EQ(d->Result(), 1);
    const HistoryStep& step = w.history.steps.back();
    EXPECT_EQ(step.tag, 0) << "a scheme cannot replay the starlight";
    EXPECT_EQ(step.payloadLength, 0);
    FreeImageBuffer(before);
    FreeImageBuffer(picture);
}

TEST(BlurDialogs, TheEditorCommandsHaveRows)
{
    for (int id : {13008, 13010, 13011})
        EXPECT_TRUE(HasEditorDialog(id)) << id;
}
