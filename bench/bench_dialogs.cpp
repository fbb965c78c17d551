// The adjustment dialogs on a 6000 x 4000 16-bit layer, 8 helper threads, a headless 1920 x 1080
// window with the frames pumped here. Each case reports, in milliseconds, the median of three runs of
// the dialog's figure and
// its anchors measured in the same run:
//   latency   a change (slider message, or the curve box's change message) to the end of the
//             first frame that shows the new result in the after view
//   run       the algorithm alone on the layer;  copy  one CopyImage16 of the layer
//   bar       the change to the first progress the dialog shows (heavy filters)
//   apply     Apply after a finished preview (the lossless backup and the copy into "before");
//             backup  WriteLayerPixels (Exact) of the layer to a file
//   cancel    Cancel while the preview job runs, to the layer restored
//   ok        OK on a pure result (with its history step); step  the history store's own step
#include "algorithms/AlgorithmThread.h"
#include "algorithms/ColorMixer.h"
#include "algorithms/FilmAdjust.h"
#include "algorithms/Threshold.h"
#include "algorithms/ToneAdjust.h"
#include "dialogs/ColorAdjustDialog.h"
#include "dialogs/HsbCurveDialog.h"
#include "dialogs/ToneMakerDialog.h"
#include "dialogs/BrightnessContrastDialog.h"
#include "dialogs/ColorMixerDialog.h"
#include "dialogs/CurveDialog.h"
#include "dialogs/DialogSupport.h"
#include "dialogs/EditorLink.h"
#include "dialogs/FilmFilterDialog.h"
#include "dialogs/SliderDialogSupport.h"
#include "dialogs/ThresholdDialog.h"
// variant dialogs
#include "algorithms/ImageSize.h"
#include "algorithms/ToneMaker.h"
#include "algorithms/Visual.h"
#include "dialogs/CompareDialog.h"
#include "dialogs/VisualDialog.h"
#include "imaging/ColourTables.h"
#include "imaging/DocStream.h"
#include "imaging/Document.h"
#include "imaging/DocumentStream.h"
#include "imaging/HistoryStore.h"
#include "imaging/ImageCodec/ImageLoad.h"
#include "platform/Clock.h"
#include "platform/Path.h"
#include "ui/DrawnUiImages.h"
#include "ui/RenderWindow.h"
#include "ui/ToolkitControls.h"
#include "ui/UiSeams.h"

#include "bench/BenchHelpers.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kWidth = 6000, kHeight = 4000, kHelpers = 8;

using Clock = std::chrono::steady_clock;
double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

std::string ProgramDir() { return std::string(ZENDRA_BINARY_DIR) + "/zendra"; }

int ProgramFolderImage(UiImageFolder folder, const char16_t* name, ImageBuffer8& out)
{
    const std::string path =
        ProgramDir() + (folder == UiImageFolder::Skin ? "/skin/" : "/basic/") + platform::Utf16ToUtf8(name);
    if (CodecLoadImage8(out, platform::Utf8ToUtf16(path).c_str()))
        return 1;
    return DrawnUiImage(folder, name, out);
}

void FillPhoto(ImageBuffer16& image)
{
    AllocImage16(image, kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y) {
        uint16_t* p = image.data + size_t(y) * kWidth * 4;
        for (int x = 0; x < kWidth; ++x, p += 4) {
            p[0] = uint16_t(8000 + 40000 * x / kWidth + (x * 7 + y * 13) % 2000);
            p[1] = uint16_t(5000 + 50000 * y / kHeight + (x * 11) % 1500);
            p[2] = uint16_t(20000 + ((x / 40 + y / 40) % 2) * 20000);
            p[3] = 0xFFFF;
        }
    }
}

// Window, worker, templates and an editor link to one document with its history.
struct DialogBench {
    platform::ManualTickSource clock{100000};
    platform::ScopedTickSource scoped{clock};
    CRenderWindow window;
    CZDDoc doc;
    HistoryStore history;
    ImageBuffer16 opening{};
    bool ok = false;

    DialogBench()
    {
        BuildGammaTables();
        g_bAnimation.store(0);
        SetUiImageSource(&ProgramFolderImage);
        ResetSharedUiImages();
        RegisterToolkitControls();
        SetDialogTemplateFolder(platform::Utf8ToUtf16(ProgramDir() + "/dialogs"));
        SetDialogMessageSource([](const char16_t*, int, int buttons) { return buttons == 5 ? 6 : 1; });
        setenv("ZENDRA_DPI", "96", 1);
        RenderWindowOptions o;
        o.backend = platform::BackendKind::Headless;
        o.window.width = 1920;
        o.window.height = 1080;
        o.maximize = false;
        o.startRenderThread = false;
        if (!window.Open(o))
            return;
        window.PlatformWindow()->PumpPending();
        window.SetWindowReady(1);
        EditorLink link;
        link.currentDocument = [this]() -> CZDDoc* { return &doc; };
        link.currentHistory = [this]() -> HistoryStore* { return &history; };
        link.pageArea = [] { return platform::Rect{0, 40, 1920, 1080}; };
        link.endActiveTool = [] {};
        SetEditorLink(link);
        UseHelpers(kHelpers);
        FillPhoto(opening);
        ok = opening.data != nullptr;
        Frame();
    }
    ~DialogBench()
    {
        theAlgorithmThread.WaitIdle();
        g_pAlgorithmListener.store(nullptr);
        SetEditorLink({});
        SetDialogMessageSource({});
        SetDialogTemplateFolder({});
        FreeImageBuffer(opening);
        history.Destroy();
        g_bAnimation.store(1);
    }
    // A fresh document holding the opening picture, and its first history step.
    bool OpenDocument()
    {
        doc.Clear();
        if (!doc.AddLayer(opening, u"layer"))
            return false;
        doc.SetCurrentLayer(0);
        const char* tmp = getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp";
        if (!history.Init(&doc, platform::Utf8ToUtf16(std::string(tmp) + "/bench-dialogs-his.dat")))
            return false;
        return history.AddStep(kHistoryDocument, -1, u"open", false, 0, nullptr, 0) != 0;
    }
    void Frame()
    {
        clock.Advance(16);
        window.RenderFrame(platform::GetTickCount32());
    }
    void Pump() { window.PlatformWindow()->PumpPending(); }
    ImageBuffer16& Layer() { return *doc.GetCurrentImage(); }
};

// Pumps until the dialog has no job and the worker is idle; false after 60 s.
bool SettlePreview(DialogBench& b, CFilterDialog& d)
{
    const auto end = Clock::now() + std::chrono::seconds(60);
    for (;;) {
        b.Pump();
        if (!d.JobInFlight() && !theAlgorithmThread.IsBusy())
            return true;
        if (Clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

struct Figures {
    double latency = 0, bar = 0, apply = 0, cancel = 0, ok = 0;
};

// One dialog through its figures: `change(k)` makes the k-th change and posts its message.
template <class Dialog>
bool MeasureDialog(DialogBench& b, const std::function<void(Dialog&, int)>& change, Figures& f)
{
    if (!b.OpenDocument())
        return false;
    auto d = std::make_unique<Dialog>();
    if (!CreateDialogFromTemplate(*d, Dialog::kTemplateId) || !d->OnInitDialog())
        return false;
    b.window.PushModal(d.get());
    d->SetOpacity(255);
    b.Frame();
    change(*d, 0);
    if (!SettlePreview(b, *d))
        return false;
    b.Frame();

    // Latency: the change to the first frame showing its result.
    const auto t0 = Clock::now();
    change(*d, 1);
    bool barSeen = false;
    for (;;) {
        b.Pump();
        if (!barSeen && d->Progress() > 0) {
            barSeen = true;
            f.bar = Ms(t0, Clock::now());
        }
        if (!d->JobInFlight() && !theAlgorithmThread.IsBusy())
            break;
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    b.Frame();
    f.latency = Ms(t0, Clock::now());

    // Apply after the finished preview.
    auto a0 = Clock::now();
    d->Apply();
    f.apply = Ms(a0, Clock::now());
    b.Pump();
    SettlePreview(b, *d);

    // Cancel while a preview job runs.
    change(*d, 2);
    b.Pump();
    const auto c0 = Clock::now();
    d->OnCancel();
    f.cancel = Ms(c0, Clock::now());
    b.window.PopModal(d.get());
    d.reset();

    // OK on a pure result: a second dialog on a fresh document.
    if (!b.OpenDocument())
        return false;
    d = std::make_unique<Dialog>();
    if (!CreateDialogFromTemplate(*d, Dialog::kTemplateId) || !d->OnInitDialog())
        return false;
    b.window.PushModal(d.get());
    change(*d, 1);
    if (!SettlePreview(b, *d))
        return false;
    const auto o0 = Clock::now();
    d->OnOK();
    f.ok = Ms(o0, Clock::now());
    b.window.PopModal(d.get());
    return true;
}

struct Anchors {
    double run = 0, copy = 0, backup = 0, step = 0;
};

// The algorithm alone, a layer copy, the Exact backup write and the history store's step;
// medians of three, as the dialog's figures are.
void MeasureAnchors(DialogBench& b, CAlgorithm& algorithm, const void* params, Anchors& a)
{
    ImageBuffer16 out{};
    AllocImage16(out, kWidth, kHeight);
    std::vector<double> run, copy, backup, step;
    const char* tmp = getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp";
    const std::u16string file = platform::Utf8ToUtf16(std::string(tmp) + "/bench-dialogs-backup.tmp");
    for (int i = 0; i < 3; ++i) {
        algorithm.SetSource(&b.opening);
        algorithm.SetDestination(&out);
        algorithm.SetParams(params);
        auto t = Clock::now();
        algorithm.Run();
        run.push_back(Ms(t, Clock::now()));
        t = Clock::now();
        CopyImage16(out, b.opening);
        copy.push_back(Ms(t, Clock::now()));
        {
            CDocFileStream s;
            t = Clock::now();
            if (s.Open(file, CDocFileStream::Mode::Create)) {
                s.pixelMode = PixelStreamMode::Exact;
                WriteLayerPixels(b.opening, s);
                s.Close();
            }
            backup.push_back(Ms(t, Clock::now()));
        }
        std::remove(platform::Utf16ToUtf8(file).c_str());
        if (b.OpenDocument()) {
            t = Clock::now();
            b.history.AddStep(kHistoryLayer, -1, u"step", false, 0, nullptr, 0);
            step.push_back(Ms(t, Clock::now()));
        }
    }
    a.run = Median(run);
    a.copy = Median(copy);
    a.backup = Median(backup);
    a.step = Median(step);
    FreeImageBuffer(out);
}

void Report(benchmark::State& state, const std::vector<Figures>& runs, const Anchors& a)
{
    auto median = [&](double Figures::*field) {
        std::vector<double> v;
        for (const Figures& f : runs)
            v.push_back(f.*field);
        return Median(v);
    };
    state.counters["latency_ms"] = median(&Figures::latency);
    state.counters["bar_ms"] = median(&Figures::bar);
    state.counters["run_ms"] = a.run;
    state.counters["copy_ms"] = a.copy;
    state.counters["goal_ms"] = std::max(150.0, a.run + 3 * a.copy);
    state.counters["apply_ms"] = median(&Figures::apply);
    state.counters["backup_ms"] = a.backup;
    state.counters["cancel_ms"] = median(&Figures::cancel);
    state.counters["ok_ms"] = median(&Figures::ok);
    state.counters["step_ms"] = a.step;
}

void SetSlider(CDialogSprite& d, int32_t id, int value)
{
    if (CSliderSprite* s = FindSlider(d, id))
        s->SetValue(value, 1);
}

template <class Dialog>
void RunCase(benchmark::State& state, CAlgorithm& algorithm, const void* params,
             const std::function<void(Dialog&, int)>& change)
{
    DialogBench b;
    if (!b.ok) {
        state.SkipWithError("no window or no picture");
        return;
    }
    Anchors a;
    MeasureAnchors(b, algorithm, params, a);
    std::vector<Figures> runs;
    for (auto _ : state) {
        Figures f;
        if (!MeasureDialog<Dialog>(b, change, f)) {
            state.SkipWithError("the dialog did not open or its preview did not end");
            return;
        }
        state.SetIterationTime(f.latency / 1000);
        runs.push_back(f);
    }
    Report(state, runs, a);
}

void BM_BrightnessContrastDialog(benchmark::State& state)
{
    CBrightnessContrast algorithm;
    BrightnessContrastParams p;
    p.brightness = 20;
    p.contrast = 10;
    RunCase<CBrightnessContrastDlg>(state, algorithm, &p, [](CBrightnessContrastDlg& d, int k) {
        SetSlider(d, CBrightnessContrastDlg::kBrightnessId, 10 + 10 * k);
        SetSlider(d, CBrightnessContrastDlg::kContrastId, 10);
    });
}

void BM_CurveDialog(benchmark::State& state)
{
    std::vector<uint16_t> table(kToneLutSize);
    BuildToneLut(table.data(), 0x105, 3000, 50000);
    CCurve algorithm;
    CurveParams p;
    p.mode = 0;
    p.entries = kToneLutSize;
    p.tables = table.data();
    RunCase<CCurveDlg>(state, algorithm, &p, [](CCurveDlg& d, int k) {
        // The first end point moved up the left edge, as a drag ends.
        CCurveBox& box = d.Box();
        std::vector<CurvePoint> points = box.Points();
        points[0].x = 0;
        points[0].y = 3000 * (k + 1);
        box.SetPoints(points);
        box.RebuildLookupTable(true);
        ::PostSpriteMessage(&d, MSG_CURVE_CHANGED, 0, 0, &box);
    });
}

void BM_ColorMixerDialog(benchmark::State& state)
{
    CColorMixer algorithm;
    ColorMixerParams p;
    p.rows[0][1] = 20;
    RunCase<CColorMixerDlg>(state, algorithm, &p, [](CColorMixerDlg& d, int k) {
        SetSlider(d, CColorMixerDlg::kSourceFirstId + 1, 10 + 10 * k);
    });
}

void BM_ThresholdDialog(benchmark::State& state)
{
    CThreshold algorithm;
    ThresholdParams p;
    RunCase<CThresholdDlg>(state, algorithm, &p, [](CThresholdDlg& d, int k) {
        SetSlider(d, CThresholdDlg::kThresholdId, 30 + 5 * k);
    });
}

void BM_FilmDialog(benchmark::State& state)
{
    CAFilmAdjust algorithm;
    FilmAdjustParams p;
    p.exposure = 5;
    RunCase<CFilmFilter>(state, algorithm, &p, [](CFilmFilter& d, int k) {
        SetSlider(d, CFilmFilter::kTemperatureId, 200 + 200 * k);
    });
}

// ---- tone and colour dialogs ----

void BM_ColorAdjustDialog(benchmark::State& state)
{
    CColorAdjust algorithm;
    ColorAdjustParams p;
    p.saturation = 20;
    RunCase<CColorAdjDlg>(state, algorithm, &p, [](CColorAdjDlg& d, int k) {
        SetSlider(d, CColorAdjDlg::kSaturationId, 10 + 10 * k);
    });
}

void BM_ToneMakerDialog(benchmark::State& state)
{
    CToneMaker algorithm;
    ToneMakerParams p;
    p.redWeight = 31, p.greenWeight = 60, p.blueWeight = 9, p.desaturation = 100, p.toning = 20;
    std::memcpy(p.shadow, CToneMakerDlg::kDefaultColours[0], sizeof p.shadow);
    std::memcpy(p.midtone, CToneMakerDlg::kDefaultColours[1], sizeof p.midtone);
    std::memcpy(p.highlight, CToneMakerDlg::kDefaultColours[2], sizeof p.highlight);
    RunCase<CToneMakerDlg>(state, algorithm, &p, [](CToneMakerDlg& d, int k) {
        SetSlider(d, CToneMakerDlg::kAmountId, 30 + 10 * k);
    });
}

void BM_HsbCurveDialog(benchmark::State& state)
{
    static std::vector<uint16_t> tables(size_t(3) * 65536, 0x8000);
    std::fill(tables.begin() + 65536, tables.begin() + 2 * 65536, uint16_t(40000));
    CHSBCurve algorithm;
    RunCase<CHSBCurveDlg>(state, algorithm, tables.data(), [](CHSBCurveDlg& d, int k) {
        // The saturation curve's first point raised, as a drag ends.
        CHSBCurveBox& box = d.Box();
        const SPoint p = box.PointPosition(box.Points()[0]);
        box.OnMouseMove(p.x, p.y, 0);
        box.OnLButtonDown(p.x, p.y, 0);
        box.OnMouseMove(p.x, p.y - 5 - 5 * k, 0);
        box.OnLButtonUp(p.x, p.y - 5 - 5 * k, 0);
    });
}

// ---- variant dialogs ----
// Visual variants (figures in ms, medians of three openings):
//   open       initialisation (the square part copied and shrunk to the tiles' size)
//   first      the first frame: five tiles made and drawn
//   rest       a frame at rest that redraws the whole dialog and its grid from cached tiles
//   tile       one tile made (ApplyTables on the reduced copy and its 8-bit form);
//              tables  ApplyTables alone on a copy of that size (anchor: tile <= 1.2 tables)
//   ok         OK with one contrast step; apply  ApplyTables alone on the layer (ok <= 1.1 apply);
//              step  the history store's kind-255 step alone (part of ok)
void BM_VisualDialog(benchmark::State& state)
{
    DialogBench b;
    if (!b.ok) {
        state.SkipWithError("no window");
        return;
    }
    std::vector<double> open, first, rest, tile, tables, ok, apply, step;
    for (auto _ : state) {
        if (!b.OpenDocument()) {
            state.SkipWithError("no document");
            return;
        }
        auto d = std::make_unique<CVisualDlg>();
        if (!CreateDialogFromTemplate(*d, CVisualDlg::kTemplateId)) {
            state.SkipWithError("no template");
            return;
        }
        auto t = Clock::now();
        if (!d->OnInitDialog()) {
            state.SkipWithError("did not open");
            return;
        }
        open.push_back(Ms(t, Clock::now()));
        b.window.PushModal(d.get());
        d->SetOpacity(255);
        d->SetAllDirty(1);
        t = Clock::now();
        b.Frame();
        first.push_back(Ms(t, Clock::now()));
        d->SetAllDirty(1);
        t = Clock::now();
        b.Frame();
        rest.push_back(Ms(t, Clock::now()));
        const int32_t steps[5] = {2, 1, 0, 0, 0};
        t = Clock::now();
        std::unique_ptr<VisualTile> made = d->MakeTile(0, steps);
        tile.push_back(Ms(t, Clock::now()));
        {
            CVisual visual;
            visual.m_params.contrastSteps = 2, visual.m_params.exposureSteps = 1;
            visual.m_params.strength = d->Strength();
            ImageBuffer16 out{};
            t = Clock::now();
            visual.ApplyTables(d->Reduced(), out);
            tables.push_back(Ms(t, Clock::now()));
            FreeImageBuffer(out);
            visual.m_params.exposureSteps = 0;
            visual.m_params.contrastSteps = 1;
            t = Clock::now();
            visual.ApplyTables(b.Layer(), out);
            apply.push_back(Ms(t, Clock::now()));
            FreeImageBuffer(out);
        }
        for (int i = 0; i < 4 && d->Hits().size() != 4; ++i)
            b.Frame();
        for (size_t i = 0; i < d->Hits().size(); ++i)
            if (d->Hits()[i].steps[0] == 1)
                d->SelectTile(int(i));
        for (int i = 0; i < 40 && d->Animation() != CVisualDlg::kAnimNone; ++i)
            b.Frame();
        t = Clock::now();
        d->OnOK();
        const double took = Ms(t, Clock::now());
        ok.push_back(took);
        state.SetIterationTime(took / 1000);
        b.window.PopModal(d.get());
        t = Clock::now();
        b.history.AddStep(kHistoryDocument, -1, u"step", false, 0, nullptr, 0);
        step.push_back(Ms(t, Clock::now()));
    }
    state.counters["open_ms"] = Median(open);
    state.counters["first_frame_ms"] = Median(first);
    state.counters["rest_frame_ms"] = Median(rest);
    state.counters["tile_ms"] = Median(tile);
    state.counters["tables_ms"] = Median(tables);
    state.counters["ok_ms"] = Median(ok);
    state.counters["apply_ms"] = Median(apply);
    state.counters["step_ms"] = Median(step);
}

// Colour enhance (figures in ms, medians of three openings):
//   variants   opening until the third variant is shown; resize  ResizeCubic of the layer to
//              1280 x 853 alone (anchor: variants <= 2 resize)
//   final      OK with "PaintRGB" chosen to the dialog's end; run  CColorContrast alone on the
//              layer (final <= 1.1 run); step  the history store's kind-255 step alone
void BM_CompareDialog(benchmark::State& state)
{
    DialogBench b;
    if (!b.ok) {
        state.SkipWithError("no window");
        return;
    }
    auto settle = [&](const std::function<bool()>& done) {
        const auto end = Clock::now() + std::chrono::seconds(120);
        while (!done() && Clock::now() < end) {
            b.Pump();
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    };
    std::vector<double> variants, resize, final, run, step;
    for (auto _ : state) {
        if (!b.OpenDocument()) {
            state.SkipWithError("no document");
            return;
        }
        auto d = std::make_unique<CColorEnhanceDlg>();
        if (!CreateDialogFromTemplate(*d, CColorEnhanceDlg::kTemplateId)) {
            state.SkipWithError("no template");
            return;
        }
        auto t = Clock::now();
        if (!d->OnInitDialog()) {
            state.SkipWithError("did not open");
            return;
        }
        settle([&] { return !d->JobInFlight() && !theAlgorithmThread.IsBusy(); });
        b.Pump();
        variants.push_back(Ms(t, Clock::now()));
        {
            CImageSize sizer;
            ImageBuffer16 out{};
            t = Clock::now();
            sizer.ResizeCubic(b.Layer(), out, 1280, 853, 0.33f, 0.73f);
            resize.push_back(Ms(t, Clock::now()));
            FreeImageBuffer(out);
            CColorContrast contrast;
            ColorContrastParams p;
            p.amount = 150;
            contrast.SetSource(&b.Layer());
            contrast.SetDestination(&out);
            contrast.SetParams(&p);
            t = Clock::now();
            contrast.Run();
            run.push_back(Ms(t, Clock::now()));
            FreeImageBuffer(out);
        }
        d->Choose(3);
        t = Clock::now();
        d->OnOK();
        settle([&] { return d->Result() != 0; });
        const double took = Ms(t, Clock::now());
        final.push_back(took);
        state.SetIterationTime(took / 1000);
        t = Clock::now();
        b.history.AddStep(kHistoryDocument, -1, u"step", false, 0, nullptr, 0);
        step.push_back(Ms(t, Clock::now()));
    }
    state.counters["variants_ms"] = Median(variants);
    state.counters["resize_ms"] = Median(resize);
    state.counters["final_ms"] = Median(final);
    state.counters["run_ms"] = Median(run);
    state.counters["step_ms"] = Median(step);
}

} // namespace

BENCHMARK(BM_BrightnessContrastDialog)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_CurveDialog)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_ColorMixerDialog)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_ThresholdDialog)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_FilmDialog)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
// tone and colour dialogs
BENCHMARK(BM_ColorAdjustDialog)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_ToneMakerDialog)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_HsbCurveDialog)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
// variant dialogs
BENCHMARK(BM_VisualDialog)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_CompareDialog)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
