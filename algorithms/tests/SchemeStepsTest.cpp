// The step-id table, the stored records' readers and writers, and the replay of every id against
// its algorithm run directly with the same record.
#include "algorithms/SchemeSteps.h"

#include "algorithms/AlgorithmRandom.h"
#include "algorithms/AutoLevel.h"
#include "algorithms/GaussBlur.h"
#include "algorithms/ResEnhance.h"
#include "algorithms/WhiteBalance.h"
#include "algorithms/tests/ColourTestSupport.h"
#include "imaging/DocumentGeometry.h"

#include <functional>
#include <string>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Written(uint16_t id, const SchemeStepRecord& record)
{
    Bytes out;
    EXPECT_TRUE(WriteSchemeStep(id, record, out)) << "id " << id;
    return out;
}

template <class Record>
Bytes RecordBytes(const Record& r)
{
    Bytes b(sizeof r);
    std::memcpy(b.data(), &r, sizeof r);
    return b;
}

// A smooth S-shaped table and two others, for the curve records.
ToneTable CurveTable(int kind)
{
    ToneTable t(kToneLutSize);
    for (int i = 0; i < kToneLutSize; ++i) {
        const double x = i / 65535.0;
        double y = x;
        if (kind == 0)
            y = x < 0.5 ? 2 * x * x : 1 - 2 * (1 - x) * (1 - x);
        else if (kind == 1)
            y = std::sqrt(x);
        else if (kind == 2)
            y = 0.1 + 0.8 * x;
        t[i] = static_cast<uint16_t>(y * 65535 + 0.5);
    }
    return t;
}

ToneTable ThreeTables()
{
    ToneTable t;
    for (int k = 0; k < 3; ++k) {
        const ToneTable one = CurveTable(k);
        t.insert(t.end(), one.begin(), one.end());
    }
    return t;
}

// --- the table ---

TEST(SchemeStepTable, EveryIdWithItsKeyCommandKindKeepAndBytes)
{
    using K = StepHistoryKind;
    using F = StepRecordForm;
    const StepKeep P = StepKeep::PureResult, N = StepKeep::NoSelection, A = StepKeep::Always;
    const SchemeStepRow want[] = {
        {1, "hisFilmAdjust", 11007, K::Layer, P, F::Fixed, 28, 8},
        {2, "hisRR", 10002, K::TurnedLayer, A, F::None, 0, 2},
        {3, "hisRL", 10003, K::TurnedLayer, A, F::None, 0, 2},
        {4, "hisFH", 10005, K::TurnedLayer, A, F::None, 0, 2},
        {5, "hisFV", 10006, K::TurnedLayer, A, F::None, 0, 2},
        {8, "hisRotate", 10004, K::Layer, A, F::Fixed, 24, 15},
        {10, "hisBarrel", 10007, K::Document, A, F::Fixed, 24, 15},
        {12, "hisIS", 10009, K::Document, A, F::Fixed, 40, 15},
        {13, "hisAutoLevel", 11001, K::Layer, A, F::Fixed, 1, 5},
        {13, "hisAutoLevel", 11011, K::Layer, A, F::Fixed, 1, 5},
        {14, "hisAutoContrast", 11002, K::Layer, A, F::Fixed, 1, 5},
        {14, "hisAutoContrast", 11012, K::Layer, A, F::Fixed, 1, 5},
        {15, "menuColorAuto", 12001, K::Layer, A, F::None, 0, 15},
        {18, "hisBricon", 11004, K::Layer, P, F::Fixed, 12, 5},
        {19, "hisColorMix", 12006, K::Layer, P, F::Fixed, 72, 8},
        {20, "hisAdjColor", 12008, K::Layer, P, F::Fixed, 56, 15},
        {21, "hisToneMaker", 12007, K::Layer, P, F::Fixed, 48, 15},
        {22, "hisCurve", 11005, K::Layer, P, F::CurveModes, 793, 5},
        {23, "hisHSBCurve", 12004, K::Layer, P, F::Fixed, 792, 5},
        {24, "hisThreshold", 11006, K::Layer, P, F::Fixed, 20, 25},
        {25, "hisAdvSharpen", 13005, K::Layer, P, F::Fixed, 296, 35},
        {25, "hisSharpen", 13004, K::Layer, N, F::Fixed, 296, 35},
        {25, "hisSharpenTexture", 13019, K::Layer, N, F::Fixed, 296, 35},
        {26, "hisEdgeShrink", 13006, K::Layer, N, F::Fixed, 8, 35},
        {27, "hisAdvBlur", 13008, K::Layer, P, F::Fixed, 8, 35},
        {27, "menuBlur", 13007, K::Layer, N, F::Fixed, 8, 35},
        {28, "hisDiffuse", 13010, K::Layer, P, F::Fixed, 32, 40},
        {29, "hisNR", 13001, K::Layer, P, F::Fixed, 20, 80},
        {30, "hisDefog", 13016, K::Layer, P, F::Fixed, 12, 40},
        {31, "hisGradient", 13012, K::Layer, P, F::Fixed, 48, 15},
        {32, "hisDescreen", 13018, K::Layer, P, F::Fixed, 16, 120},
        {34, "hisPurpleFringe", 13017, K::Layer, P, F::Fixed, 24, 25},
        {35, "hisEnhanceDynamic", 11008, K::Layer, P, F::Fixed, 40, 40},
        {36, nullptr, 0, K::Layer, P, F::Path, 0, 0},
        {37, "hisSkin", 13002, K::Layer, P, F::Fixed, 40, 0},
        {38, nullptr, 0, K::None, StepKeep::NotRecorded, F::Fixed, 360, 0},
        {39, "hisAddNoise", 13031, K::Layer, P, F::Fixed, 32, 0},
    };
    const auto table = SchemeStepTable();
    ASSERT_EQ(table.size(), std::size(want));
    for (size_t i = 0; i < table.size(); ++i) {
        const SchemeStepRow &got = table[i], &w = want[i];
        SCOPED_TRACE(testing::Message() << "row " << i << " id " << w.id);
        EXPECT_EQ(got.id, w.id);
        EXPECT_EQ(std::string(got.historyKey ? got.historyKey : "-"), std::string(w.historyKey ? w.historyKey : "-"));
        EXPECT_EQ(got.command, w.command);
        EXPECT_EQ(got.kind, w.kind);
        EXPECT_EQ(got.keep, w.keep);
        EXPECT_EQ(got.form, w.form);
        EXPECT_EQ(got.bytes, w.bytes);
        EXPECT_EQ(got.weight, w.weight);
        EXPECT_EQ(FindSchemeStep(w.id)->id, w.id);
    }
    for (uint16_t id : {0, 6, 7, 9, 11, 16, 17, 33, 40, 0xFFFF}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(FindSchemeStep(id), nullptr);
        SchemeStepRecord r;
        const uint8_t byte = 0;
        EXPECT_EQ(ReadSchemeStep(id, &byte, 1, r), StepReadResult::UnknownId);
        Bytes out;
        EXPECT_FALSE(WriteSchemeStep(id, NoStepRecord{}, out)) << "no writer for an unknown id";
    }
}

TEST(SchemeStepTable, KeepRules)
{
    struct Case {
        StepUse use;
        bool pure, noSelection;
        const char* what;
    };
    const Case cases[] = {
        {{}, true, true, "nothing used"},
        {{.maskUsed = true}, false, true, "a mask (also the selection at opening)"},
        {{.applied = true}, false, true, "after Apply"},
        {{.blendMode = 5}, false, true, "a blend mode"},
        {{.opacity = 90}, false, true, "opacity 90"},
        {{.opacity = 0}, false, true, "opacity 0"},
        {{.selection = true}, true, false, "a selection on a one-click command"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(KeepsStepRecord(StepKeep::PureResult, c.use), c.pure);
        EXPECT_EQ(KeepsStepRecord(StepKeep::NoSelection, c.use), c.noSelection);
        EXPECT_TRUE(KeepsStepRecord(StepKeep::Always, c.use));
        EXPECT_FALSE(KeepsStepRecord(StepKeep::NotRecorded, c.use));
    }
}

// --- every id: written, read, written again, replayed like its algorithm ---

using Run = std::function<int(ImageBuffer16& in, ImageBuffer16& out)>;

template <class Alg, class Record>
Run Direct(const Record& r)
{
    return [r](ImageBuffer16& in, ImageBuffer16& out) {
        Alg alg;
        return RunWith(alg, &r, in, out);
    };
}

Run InPlace(int (*op)(ImageBuffer16&))
{
    return [op](ImageBuffer16& in, ImageBuffer16& out) { return CopyImage16(out, in) && op(out) ? 1 : 0; };
}

Run CurveDirect(const Bytes& stored)
{
    return [stored](ImageBuffer16& in, ImageBuffer16& out) {
        int mode = 0;
        ToneTable tables;
        if (!UnpackCurveStep(stored.data(), stored.size(), mode, tables))
            return 0;
        CurveParams p;
        p.mode = mode;
        p.entries = static_cast<int32_t>(tables.size());
        p.tables = tables.data();
        CCurve c;
        return RunWith(c, &p, in, out);
    };
}

Run SharpenDirect(const Bytes& stored)
{
    return [stored](ImageBuffer16& in, ImageBuffer16& out) {
        SharpenParams p;
        ToneTable curve;
        if (!UnpackSharpenStep(stored.data(), stored.size(), p, curve))
            return 0;
        CSharpen s;
        s.SetCurve(curve.data());
        return RunWith(s, &p, in, out);
    };
}

struct ReplayCase {
    std::string name;
    uint16_t id;
    SchemeStepRecord record;
    Run direct;
    int width = 0, height = 0; // expected result size; 0: the input's
    bool changes = true;       // the result differs from the input
    uint32_t seed = 0;         // algorithm random seed before each run (film look)
};

std::vector<ReplayCase> ReplayCases()
{
    std::vector<ReplayCase> c;

    FilmAdjustParams film;
    film.exposure = 3, film.dynamicRange = -20, film.temperature = 400, film.colourBoost = 20, film.sharpness = 15;
    c.push_back({"film, in place", 1, film, Direct<CAFilmAdjust>(film)});
    film.dynamicRange = 20; // the whole picture in one band
    c.push_back({"film, range up", 1, film, Direct<CAFilmAdjust>(film)});

    c.push_back({"rotate right", 2, NoStepRecord{}, InPlace(RotateImage16Right), 64, 300});
    c.push_back({"rotate left", 3, NoStepRecord{}, InPlace(RotateImage16Left), 64, 300});
    c.push_back({"flip horizontally", 4, NoStepRecord{}, InPlace(FlipImage16Horizontal)});
    c.push_back({"flip vertically", 5, NoStepRecord{}, InPlace(FlipImage16Vertical)});

    RotateParams rotate;
    rotate.angle = 0.3, rotate.cropToOpaque = 1;
    c.push_back({"free rotation", 8, rotate, Direct<CRotate>(rotate), -1, -1});
    BarrelDistortParams barrel;
    barrel.coefficient = 0.2, barrel.cropToOpaque = 1;
    c.push_back({"barrel", 10, barrel, Direct<CBarrelDistort>(barrel), -1, -1});

    // The recorded size applies by the resize type; the direct run gets the resulting size.
    ImageSizeParams size;
    size.width = 150, size.height = 20, size.method = ResizeBicubicMethod, size.enhance = 1, size.areaValue = 80,
    size.sharpenAmount = 30, size.applyMode = 1;
    ImageSizeParams sized = size;
    sized.height = 32;
    c.push_back({"image size to width", 12, size, Direct<CImageSize>(sized), 150, 32});
    size.method = ResizeBilinearMethod, size.height = 40, size.applyMode = 2;
    sized = size;
    sized.width = 187;
    c.push_back({"image size to height", 12, size, Direct<CImageSize>(sized), 187, 40});

    for (uint8_t variant : {0, 1}) {
        const std::string v = variant ? " linear" : "";
        c.push_back({"auto level" + v, 13, AutoLevelStep{variant}, [variant](ImageBuffer16& in, ImageBuffer16& out) {
                         return variant ? AutoLevelLinear(2.0, in, out) : AutoLevel(2.0, in, out);
                     }});
        c.push_back({"auto contrast" + v, 14, AutoLevelStep{variant}, [variant](ImageBuffer16& in, ImageBuffer16& out) {
                         return variant ? AutoContrastLinear(in, out, 2) : AutoContrast(in, out, 2);
                     }});
    }
    c.push_back({"auto white balance", 15, NoStepRecord{}, Direct<CWhiteBalance>(WhiteBalanceParams{})});

    BrightnessContrastParams bc;
    bc.brightness = 25, bc.contrast = -10;
    c.push_back({"brightness/contrast", 18, bc, Direct<CBrightnessContrast>(bc)});

    ColorMixerParams mixer;
    const int32_t rows[4][4] = {{80, 20, 0, 0}, {10, 90, 0, 0}, {0, 10, 90, 5}, {40, 40, 20, 0}};
    std::memcpy(mixer.rows, rows, sizeof rows);
    c.push_back({"mixer, colour", 19, mixer, Direct<CColorMixer>(mixer)});
    mixer.luminanceMode = 1; // what the dialog stores for monochrome
    c.push_back({"mixer, monochrome", 19, mixer, Direct<CColorMixer>(mixer)});

    ColorAdjustParams adjust;
    adjust.hue = 20, adjust.saturation = 30, adjust.lightness = -10, adjust.rangeOn = 1;
    adjust.range[0] = 1000, adjust.range[1] = 5000, adjust.range[2] = 20000, adjust.range[3] = 30000;
    c.push_back({"hue/saturation", 20, adjust, Direct<CColorAdjust>(adjust)});
    ColorAdjustParams balance;
    balance.mode = 1, balance.balanceRed = 10, balance.balanceGreen = -20, balance.balanceBlue = 5;
    c.push_back({"colour balance", 20, balance, Direct<CColorAdjust>(balance)});

    ToneMakerParams tone;
    tone.desaturation = 60, tone.toning = 70;
    const uint16_t tint[3][4] = {{8000, 4000, 2000, 65535}, {30000, 30000, 36000, 65535}, {60000, 58000, 50000, 65535}};
    std::memcpy(tone.shadow, tint[0], 8), std::memcpy(tone.midtone, tint[1], 8), std::memcpy(tone.highlight, tint[2], 8);
    c.push_back({"split toning", 21, tone, Direct<CToneMaker>(tone)});

    const ToneTable s = CurveTable(0), three = ThreeTables();
    for (int mode : {0, 2, 4}) {
        const CurveStep step = MakeCurveStep(mode, mode == 2 ? three.data() : s.data());
        c.push_back({"curves, mode " + std::to_string(mode), 22, step, CurveDirect(Written(22, step))});
    }
    c.push_back({"curves, no curve", 22, MakeCurveStep(9, nullptr), InPlace([](ImageBuffer16&) { return 1; }), 0, 0,
                 false});

    ToneTable hsb(3 * size_t(kToneLutSize));
    for (int i = 0; i < kToneLutSize; ++i) {
        hsb[i] = static_cast<uint16_t>(32768 + (i < 20000 ? 3000 : -2000));
        hsb[kToneLutSize + i] = static_cast<uint16_t>(20000 + i / 2);
        hsb[2 * kToneLutSize + i] = static_cast<uint16_t>(40000 - i / 4);
    }
    const HsbCurveStep hsbStep = MakeHsbCurveStep(hsb.data());
    c.push_back({"hue curves", 23, hsbStep, [hsbStep](ImageBuffer16& in, ImageBuffer16& out) {
                     ToneTable t(3 * size_t(kToneLutSize));
                     for (int k = 0; k < 3; ++k)
                         ControlValuesToCurve(t.data() + k * size_t(kToneLutSize), hsbStep.curves[k]);
                     CHSBCurve h;
                     return RunWith(h, t.data(), in, out);
                 }});

    for (int method : {0, 1, 2, 3}) {
        ThresholdParams th;
        th.method = method, th.level = 40, th.transition = 20, th.adaptiveArea = 10;
        c.push_back({"threshold " + std::to_string(method), 24, th, Direct<CThreshold>(th)});
    }

    SharpenParams sp;
    sp.radius = 1.2, sp.amount = 60;
    const ToneTable ramp = CurveTable(1);
    const SharpenStep sharpen = MakeSharpenStep(sp, ramp.data());
    c.push_back({"sharpen", 25, sharpen, SharpenDirect(Written(25, sharpen))});

    c.push_back({"edge shrink", 26, EdgeShrinkStep{1.6}, Direct<CResEnhance>(1.6)});
    c.push_back({"blur", 27, BlurStep{2.5}, Direct<CGaussBlur>(2.5)});

    DiffuseParams diffuse;
    diffuse.radius = 3, diffuse.amount = 35, diffuse.highlight = 20, diffuse.shadow = 10;
    c.push_back({"diffuse glow", 28, diffuse, Direct<CDiffuseFilter>(diffuse)});
    diffuse.mode = 1;
    c.push_back({"diffuse highlights", 28, diffuse, Direct<CDiffuseFilter>(diffuse)});

    NoiseReductionParams nr;
    nr.strength = 60;
    c.push_back({"noise reduction", 29, nr, Direct<CNoiseReduction>(nr)});
    nr.style = 2, nr.chromaPass = 0;
    c.push_back({"noise reduction, smooth", 29, nr, Direct<CNoiseReduction>(nr)});

    DefogParams defog;
    defog.amount = 60;
    c.push_back({"defog", 30, defog, Direct<CDefog>(defog)});

    GradientParams gradient;
    gradient.exposureBias = -1.5, gradient.amount = 80, gradient.angle = 30, gradient.start = 10, gradient.end = 90;
    c.push_back({"graduated exposure", 31, gradient, Direct<CGradientFilter>(gradient)});
    gradient.mode = 0;
    const uint16_t colours[2][4] = {{50000, 20000, 10000, 65535}, {10000, 30000, 50000, 65535}};
    std::memcpy(gradient.colour1, colours[0], 8), std::memcpy(gradient.colour2, colours[1], 8);
    c.push_back({"graduated colour", 31, gradient, Direct<CGradientFilter>(gradient)});

    DescreenParams descreen;
    c.push_back({"descreen", 32, descreen, Direct<CDescreen>(descreen), 0, 0, false});

    PurpleFringeParams fringe;
    fringe.fringe[0] = 30000, fringe.fringe[1] = 8000, fringe.fringe[2] = 12000;
    c.push_back({"purple fringe", 34, fringe, Direct<CPurpleFringe>(fringe), 0, 0, false});
    fringe.mode = 1, fringe.redAmount = 40, fringe.blueAmount = -40;
    c.push_back({"chromatic aberration", 34, fringe, Direct<CPurpleFringe>(fringe)});

    for (int mode : {0, 1, 2}) {
        EnhanceDynamicParams ed;
        ed.mode = mode, ed.shadows = 40, ed.highlights = 30;
        c.push_back({"shadows/highlights " + std::to_string(mode), 35, ed, Direct<CEnhanceDynamic>(ed)});
    }

    SkinCleanParams skin;
    skin.lighten = 2, skin.pink = 20;
    c.push_back({"skin", 37, skin, Direct<CSkinClean>(skin)});

    ChromakeyParams key;
    const uint16_t green[4] = {6000, 40000, 5000, 65535};
    std::memcpy(key.samples[0], green, sizeof green);
    key.sampleCount = 1;
    c.push_back({"chroma key", 38, key, Direct<CChromakey>(key)});

    AddSomethingParams look;
    look.grain = 50, look.fade = 30, look.baseMode = 1, look.scratches = 20, look.darkCorners = 40;
    look.centreX = 50, look.centreY = 40;
    c.push_back({"film look", 39, look, Direct<CAddSomething>(look), 0, 0, true, 11});
    return c;
}

TEST(SchemeStepReplay, EveryIdRoundTripsAndReplaysAsItsAlgorithm)
{
    const std::vector<ReplayCase> cases = ReplayCases();
    // Every assigned id has a case (36 has its own test).
    for (const SchemeStepRow& row : SchemeStepTable())
        if (row.id != SchemeStepNestedScheme) {
            EXPECT_TRUE(std::any_of(cases.begin(), cases.end(), [&](const ReplayCase& rc) { return rc.id == row.id; }))
                << row.id;
        }
    ScopedImage photo(Photo(300, 64, 3));
    for (int helpers : {0, 8}) {
        WorkerScope scope(helpers);
        for (const ReplayCase& rc : cases) {
            SCOPED_TRACE(testing::Message() << rc.name << ", " << helpers << " helpers");
            const Bytes stored = Written(rc.id, rc.record);
            EXPECT_EQ(stored.size(), FindSchemeStep(rc.id)->form == StepRecordForm::CurveModes
                                         ? 1 + CurveStepCurves(std::get<CurveStep>(rc.record).mode) * 264
                                         : FindSchemeStep(rc.id)->bytes);
            SchemeStepRecord read;
            ASSERT_EQ(ReadSchemeStep(rc.id, stored.data(), stored.size(), read), StepReadResult::Ok);
            ASSERT_EQ(Written(rc.id, read), stored) << "written again byte for byte";

            ScopedImage direct, replayed;
            SeedAlgorithmRand(rc.seed);
            ASSERT_EQ(rc.direct(*photo, *direct), 1);
            SeedAlgorithmRand(rc.seed);
            ASSERT_EQ(ReplaySchemeStep(rc.id, stored.data(), stored.size(), *photo, *replayed), 1);
            EXPECT_TRUE(SameImage(*direct, *replayed));
            if (rc.width > 0) {
                EXPECT_EQ(replayed->width, rc.width);
                EXPECT_EQ(replayed->height, rc.height);
            } else if (rc.width == 0) {
                EXPECT_EQ(replayed->width, photo->width);
                EXPECT_EQ(replayed->height, photo->height);
            }
            if (rc.changes) {
                EXPECT_FALSE(SameImage(*replayed, *photo)) << "the case must show the step";
            }
        }
    }
}

TEST(SchemeStepReplay, RecordOfAnotherKindOrSamePictureIsRefused)
{
    ScopedImage photo(Photo(20, 10, 1)), out;
    BrightnessContrastParams bc;
    bc.brightness = 10;
    EXPECT_EQ(ReplaySchemeStep(SchemeStepThreshold, bc, *photo, *out), 0);
    EXPECT_EQ(ReplaySchemeStep(SchemeStepBrightnessContrast, bc, *photo, *photo), 0) << "output must be another picture";
    EXPECT_EQ(ReplaySchemeStep(SchemeStepBrightnessContrast, bc, *photo, *out), 1);
    Bytes b;
    EXPECT_FALSE(WriteSchemeStep(SchemeStepCurves, bc, b));
    EXPECT_TRUE(b.empty());
}

} // namespace
