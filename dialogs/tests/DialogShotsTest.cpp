// Pictures of every adjustment dialog over a test photo, with the program's texts in English and
// German, for a person to look at: set ZENDRA_DIALOG_SHOTS to a folder (skipped otherwise). Each
// dialog is shown after a change, with its preview finished.
#include "dialogs/BrightnessContrastDialog.h"
#include "dialogs/ColorAdjustDialog.h"
#include "dialogs/GradientDialog.h"
#include "dialogs/HsbCurveDialog.h"
#include "dialogs/ToneMakerDialog.h"
// variant dialogs
#include "dialogs/CompareDialog.h"
#include "dialogs/VisualDialog.h"
#include "dialogs/ColorMixerDialog.h"
#include "dialogs/CurveDialog.h"
#include "dialogs/FilmFilterDialog.h"
#include "dialogs/SliderDialogSupport.h"
#include "dialogs/ThresholdDialog.h"
// filter and geometry dialogs
#include "dialogs/BlurDialogs.h"
#include "dialogs/CanvasSizeDialog.h"
#include "dialogs/ImageSizeDialog.h"
#include "dialogs/SharpenDialog.h"
#include "imaging/ImageCodec/ImageLoad.h"
#include "ui/StringTable.h"

#include "DialogTestSupport.h"

using namespace dialogtest;

namespace {

StringTable* g_texts = nullptr;

const char16_t* ShotText(const char16_t* key)
{
    const char16_t* text = g_texts ? g_texts->FindText(key) : nullptr;
    return text ? text : key;
}

void FillScene(ImageBuffer16& image, int width, int height)
{
    ASSERT_TRUE(AllocImage16(image, width, height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint16_t* p = image.data + (size_t(y) * width + x) * 4;
            // A sky-to-ground gradient with three colour patches.
            const int patch = (y > height / 2 && y < height * 3 / 4) ? x * 3 / width : -1;
            p[0] = uint16_t(patch == 2 ? 50000 : 20000 + 40000 * (height - y) / height);
            p[1] = uint16_t(patch == 1 ? 45000 : 12000 + 25000 * x / width);
            p[2] = uint16_t(patch == 0 ? 52000 : 6000 + 20000 * y / height);
            p[3] = 0xFFFF;
        }
}

template <class Dialog>
void Shoot(const std::string& folder, const std::string& name, const std::function<void(DialogWorld&, Dialog&)>& change)
{
    DialogWorld w;
    ImageBuffer16 photo{};
    FillScene(photo, 480, 320);
    w.OpenDocument(photo);
    auto d = OpenDialog<Dialog>(Dialog::kTemplateId);
    ASSERT_NE(d, nullptr) << name;
    w.t.window->PushModal(d.get());
    d->SetOpacity(255);
    d->SetAllDirty(1);
    change(w, *d);
    w.t.Pump();
    ASSERT_TRUE(w.PumpUntil([&] { return !d->JobInFlight() && !theAlgorithmThread.IsBusy(); }));
    for (int i = 0; i < 4; ++i) {
        w.t.Pump();
        w.t.Frame();
    }
    int width = 0, height = 0;
    std::vector<uint8_t> surface = w.t.Input().ReadSurface(width, height);
    ImageBuffer8 shot{};
    ASSERT_TRUE(AllocImage8(shot, width, height));
    std::memcpy(shot.data, surface.data(), std::min(surface.size(), size_t(shot.byteSize)));
    for (uint32_t i = 0; i < shot.pixelCount; ++i)
        shot.data[size_t(i) * 4 + 3] = 255;
    const std::string path = folder + "/" + name + ".png";
    EXPECT_TRUE(CodecSaveImage8(shot, platform::Utf8ToUtf16(path).c_str(), false)) << path;
    FreeImageBuffer(shot);
    d->OnCancel();
    w.t.window->PopModal(d.get());
    FreeImageBuffer(photo);
}

// The visual variants as the colour command opens them.
struct ColourVisualDlg : CVisualDlg {
    ColourVisualDlg() { m_page.store(1); }
};

// Chooses the neighbour with these steps and lets the glide end.
void GlideTo(DialogWorld& w, CVisualDlg& d, std::array<int32_t, 5> steps)
{
    w.t.Frame();
    const std::vector<VisualHit> hits = d.Hits();
    for (size_t i = 0; i < hits.size(); ++i)
        if (std::equal(steps.begin(), steps.end(), hits[i].steps))
            d.SelectTile(int(i));
    for (int k = 0; k < 100 && d.Animation() != CVisualDlg::kAnimNone; ++k)
        w.t.Frame();
}

void SetSlider(CDialogSprite& d, int32_t id, double value)
{
    if (CSliderSprite* s = FindSlider(d, id))
        s->SetValue(value, 1);
}

} // namespace

TEST(DialogShots, EveryDialogInEnglishAndGerman)
{
    const char* folderVar = getenv("ZENDRA_DIALOG_SHOTS");
    if (!folderVar || !*folderVar)
        GTEST_SKIP() << "set ZENDRA_DIALOG_SHOTS to a folder for the pictures";
    const std::string folder = folderVar;
    for (const char* language : {"en", "de"}) {
        StringTable texts;
        ASSERT_TRUE(texts.Parse(platform::Utf8ToUtf16(ProgramDir() + "/basic/resource.txt").c_str()));
        if (std::string(language) == "de") {
            ASSERT_TRUE(texts.Parse(platform::Utf8ToUtf16(ProgramDir() + "/basic/Localize/Deutsch.txt").c_str()));
        }
        g_texts = &texts;
        SetUiTextSource(&ShotText);
        const std::string l = language;
        Shoot<CCurveDlg>(folder, "curve-" + l, [](DialogWorld& w, CCurveDlg& d) {
            CCurveBox& box = d.Box();
            const SRect pr = box.PlotRect();
            // An S-curve: two points added on the diagonal, one lifted and one lowered.
            for (int input : {45000, 12000}) {
                int x = pr.left;
                while (x < pr.right && box.InputFromX(x) < input)
                    ++x;
                const SPoint p = box.PointPosition(MakeCurvePoint(box.InputFromX(x), box.LookupTable()[box.InputFromX(x)], 4));
                box.OnMouseMove(p.x, p.y, 0);
                box.OnLButtonDown(p.x, p.y, 0);
                box.OnLButtonUp(p.x, p.y, 0);
            }
            for (int index : {1, 2}) {
                const SPoint p = box.PointPosition(box.Points()[size_t(index)]);
                box.OnMouseMove(p.x, p.y, 0);
                box.OnLButtonDown(p.x, p.y, 0);
                box.OnMouseMove(p.x, p.y + (index == 1 ? 25 : -25), 0);
                box.OnLButtonUp(p.x, p.y + (index == 1 ? 25 : -25), 0);
            }
            w.t.Pump();
            // A picked colour marks the input axis.
            ASSERT_TRUE(::PostSpriteMessage(&d, MSG_PANEL_CLICK, CCurveDlg::kToolPicker, 0, &d.ToolPanel()));
            w.t.Pump();
            ASSERT_TRUE(::PostSpriteMessage(&d, MSG_VIEW_CHANGED, CSPicView::kViewClicked, (200 << 16) | 60, nullptr));
            w.t.Pump();
            d.SetViewMode(kViewSideBySide);
        });
        Shoot<CCurveDlg>(folder, "curve-red-16bit-" + l, [](DialogWorld& w, CCurveDlg& d) {
            ASSERT_TRUE(::PostSpriteMessage(&d, MSG_PANEL_CLICK, CCurveDlg::kTool16Bit, 0, &d.ToolPanel()));
            w.t.Pump();
            Send(w, &d, MSG_MENU_COMMAND, CCurveDlg::kMenuChannelFirst + 1);
            ASSERT_TRUE(::PostSpriteMessage(&d, MSG_PANEL_CLICK, CCurveDlg::kToolAutoLevels, 0, &d.ToolPanel()));
            w.t.Pump();
            d.ShowChannelMenu();
        });
        Shoot<CBrightnessContrastDlg>(folder, "bricon-" + l, [](DialogWorld&, CBrightnessContrastDlg& d) {
            SetSlider(d, CBrightnessContrastDlg::kBrightnessId, 30);
            SetSlider(d, CBrightnessContrastDlg::kContrastId, 20);
        });
        Shoot<CFilmFilter>(folder, "film-" + l, [](DialogWorld&, CFilmFilter& d) {
            SetSlider(d, CFilmFilter::kExposureId, 0.5);
            SetSlider(d, CFilmFilter::kTemperatureId, 600);
            d.SetViewMode(kViewAboveBelow);
        });
        Shoot<CColorMixerDlg>(folder, "mixer-" + l, [](DialogWorld& w, CColorMixerDlg& d) {
            Send(w, &d, MSG_MENU_COMMAND, CColorMixerDlg::kMenuMonochrome);
        });
        Shoot<CThresholdDlg>(folder, "threshold-" + l, [](DialogWorld& w, CThresholdDlg& d) {
            Send(w, &d, MSG_MENU_COMMAND, CThresholdDlg::kMenuFirst + 1);
            SetSlider(d, CThresholdDlg::kThresholdId, 45);
        });
        // tone and colour dialogs
        Shoot<CColorAdjDlg>(folder, "coloradjust-" + l, [](DialogWorld& w, CColorAdjDlg& d) {
            Send(w, &d, MSG_CHECK, CColorAdjDlg::kBalanceModeId, 1);
            dynamic_cast<CSCheckBox*>(d.GetControl(CColorAdjDlg::kRangeCheckId))->SetText(u"1");
            Send(w, &d, MSG_CHECK, CColorAdjDlg::kRangeCheckId, 1);
            SetSlider(d, CColorAdjDlg::kRedCyanId, 40);
        });
        Shoot<CHSBCurveDlg>(folder, "hsbcurve-" + l, [](DialogWorld& w, CHSBCurveDlg& d) {
            CHSBCurveBox& box = d.Box();
            for (int index : {3, 4, 5}) {
                const SPoint p = box.PointPosition(box.Points()[size_t(index)]);
                box.OnMouseMove(p.x, p.y, 0);
                box.OnLButtonDown(p.x, p.y, 0);
                box.OnMouseMove(p.x, p.y - 30, 0);
                box.OnLButtonUp(p.x, p.y - 30, 0);
            }
            w.t.Pump();
            ASSERT_TRUE(::PostSpriteMessage(&d, MSG_PANEL_CLICK, CHSBCurveDlg::kToolPicker, 0, &d.ToolPanel()));
            w.t.Pump();
            ASSERT_TRUE(::PostSpriteMessage(&d, MSG_VIEW_CHANGED, CSPicView::kViewClicked, (200 << 16) | 60, nullptr));
            w.t.Pump();
            d.SetViewMode(kViewSideBySide);
        });
        Shoot<CGradientDlg>(folder, "gradient-" + l, [](DialogWorld& w, CGradientDlg& d) {
            Send(w, &d, MSG_CHECK, CGradientDlg::kColourGradientId, 1);
            SetSlider(d, CGradientDlg::kRotateId, 30);
        });
        Shoot<CToneMakerDlg>(folder, "tone-" + l, [](DialogWorld& w, CToneMakerDlg& d) {
            d.m_pickColour = [](uint16_t c[4]) {
                c[0] = 6000, c[1] = 26000, c[2] = 50000, c[3] = 65535;
                return 1;
            };
            Send(w, &d, MSG_PANEL_CLICK, CToneMakerDlg::kToneButtonFirst + 2);
            SetSlider(d, CToneMakerDlg::kAmountId, 60);
        });
        // variant dialogs
        Shoot<CColorEnhanceDlg>(folder, "vivid-" + l, [](DialogWorld& w, CColorEnhanceDlg& d) {
            ASSERT_TRUE(w.PumpUntil([&] { return !d.JobInFlight() && !theAlgorithmThread.IsBusy(); }));
            w.Settle();
            ASSERT_TRUE(::PostSpriteMessage(&d, MSG_VIEW_CHANGED, CSPicView::kViewClicked, 0, &d.View(3)));
            w.t.Pump();
        });
        Shoot<CVisualDlg>(folder, "visual-tone-" + l, [](DialogWorld& w, CVisualDlg& d) {
            GlideTo(w, d, {1, 0, 0, 0, 0});
        });
        Shoot<ColourVisualDlg>(folder, "visual-colour-" + l, [](DialogWorld& w, CVisualDlg& d) {
            GlideTo(w, d, {0, 0, 1, 0, 0});
        });
        // filter and geometry dialogs
        Shoot<CSharpenDlg>(folder, "sharpen-" + l, [](DialogWorld& w, CSharpenDlg& d) {
            Send(w, &d, MSG_MENU_COMMAND, CSharpenDlg::kPresetTexture);
            SetSlider(d, CSharpenDlg::kAmountId, 90);
            d.SetViewMode(kViewSideBySide);
        });
        Shoot<CAdvBlurDlg>(folder, "blur-" + l, [](DialogWorld&, CAdvBlurDlg& d) { SetSlider(d, CAdvBlurDlg::kRadiusId, 4); });
        Shoot<CDiffuseDlg>(folder, "diffuse-" + l, [](DialogWorld& w, CDiffuseDlg& d) {
            Send(w, &d, MSG_CHECK, CDiffuseDlg::kHighlightModeId, 1);
            SetSlider(d, CDiffuseDlg::kHighlightId, 60);
        });
        Shoot<CStarlightDlg>(folder, "starlight-" + l, [](DialogWorld& w, CStarlightDlg& d) {
            ASSERT_TRUE(::PostSpriteMessage(&d, MSG_PANEL_CLICK, 2, 0, &d.ShapePanel()));
            w.t.Pump();
            SetSlider(d, CStarlightDlg::kHighlightId, 90);
        });
        Shoot<CCavasSizeDlg>(folder, "canvassize-" + l, [](DialogWorld& w, CCavasSizeDlg& d) {
            ASSERT_TRUE(::PostSpriteMessage(&d, MSG_PANEL_CLICK, 3, 0, &d.AnchorPanel()));
            w.t.Pump();
        });
        Shoot<CImageSizeDlg>(folder, "imagesize-" + l, [](DialogWorld&, CImageSizeDlg&) {});
        Shoot<CImageSizeDlg>(folder, "imagesize-double-" + l,
                             [](DialogWorld& w, CImageSizeDlg& d) { Send(w, &d, MSG_MENU_COMMAND, 5); });
        SetUiTextSource(nullptr);
        g_texts = nullptr;
    }
}
