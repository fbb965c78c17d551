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

// --- stored forms ---

TEST(SchemeStepRecords, CurveStepLengthsAndModes)
{
    struct Case {
        size_t length;
        uint8_t mode;
        StepReadResult want;
        const char* why;
    };
    const Case cases[] = {
        {1, 5, StepReadResult::Ok, "the one-byte form: no change"},
        {1, 255, StepReadResult::Ok, "any mode without curves"},
        {1, 0, StepReadResult::Mode, "mode 0 promises a curve"},
        {1, 3, StepReadResult::Mode, "mode 3 promises three"},
        {265, 0, StepReadResult::Ok, "one curve on B, G, R"},
        {265, 4, StepReadResult::Ok, "one curve on luminance"},
        {265, 1, StepReadResult::Mode, "three curves' mode with one"},
        {265, 7, StepReadResult::Mode, "no-curve mode with a curve"},
        {793, 1, StepReadResult::Ok, "three curves"},
        {793, 3, StepReadResult::Ok, "three curves"},
        {793, 0, StepReadResult::Mode, "one curve's mode with three"},
        {0, 0, StepReadResult::Length, "empty"},
        {2, 5, StepReadResult::Length, "one byte too many"},
        {264, 0, StepReadResult::Length, "a byte short"},
        {266, 0, StepReadResult::Length, "a byte over"},
        {529, 1, StepReadResult::Length, "two curves"},
        {794, 1, StepReadResult::Length, "a byte over three"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.length << " bytes, mode " << int(c.mode) << ": " << c.why);
        Bytes b(c.length, 0x11);
        if (!b.empty())
            b[0] = c.mode;
        SchemeStepRecord r = BlurStep{7};
        ASSERT_EQ(ReadSchemeStep(SchemeStepCurves, b.data(), b.size(), r), c.want);
        if (c.want != StepReadResult::Ok) {
            EXPECT_TRUE(std::holds_alternative<BlurStep>(r)) << "a refused block leaves the record alone";
            continue;
        }
        EXPECT_EQ(std::get<CurveStep>(r).mode, c.mode);
        EXPECT_EQ(Written(SchemeStepCurves, r), b);
    }
    EXPECT_EQ(Written(SchemeStepCurves, MakeCurveStep(2, nullptr)).size(), 1u) << "no tables: no change";
    // The one-byte form replays as a copy; a three-curve block with equal curves as mode 0 does.
    ScopedImage photo(Photo(40, 20, 5)), same, three, one;
    const Bytes noChange = {9};
    ASSERT_EQ(ReplaySchemeStep(SchemeStepCurves, noChange.data(), 1, *photo, *same), 1);
    EXPECT_TRUE(SameImage(*same, *photo));
    const ToneTable s = CurveTable(0);
    ToneTable triple;
    for (int k = 0; k < 3; ++k)
        triple.insert(triple.end(), s.begin(), s.end());
    ASSERT_EQ(ReplaySchemeStep(SchemeStepCurves, MakeCurveStep(3, triple.data()), *photo, *three), 1);
    ASSERT_EQ(ReplaySchemeStep(SchemeStepCurves, MakeCurveStep(0, s.data()), *photo, *one), 1);
    EXPECT_TRUE(SameImage(*three, *one));
    EXPECT_FALSE(SameImage(*one, *photo));
}

// The size-prefixed and fixed-length records of every id.
std::vector<std::pair<uint16_t, Bytes>> StoredSamples()
{
    std::vector<std::pair<uint16_t, Bytes>> samples;
    for (const ReplayCase& rc : ReplayCases())
        if (FindSchemeStep(rc.id)->form == StepRecordForm::Fixed &&
            std::none_of(samples.begin(), samples.end(), [&](const auto& s) { return s.first == rc.id; }))
            samples.push_back({rc.id, Written(rc.id, rc.record)});
    return samples;
}

bool HasSizeWord(uint16_t id)
{
    return id != SchemeStepAutoLevel && id != SchemeStepAutoContrast && id != SchemeStepHsbCurves &&
           id != SchemeStepResolutionEnhance && id != SchemeStepBlur;
}

TEST(SchemeStepRecords, HostileBlocksThroughEveryReader)
{
    ScopedImage photo(Photo(24, 16, 9));
    WorkerScope scope(2);
    for (const auto& [id, good] : StoredSamples()) {
        SCOPED_TRACE(testing::Message() << "id " << id);
        SchemeStepRecord r;
        const Bytes shorter(good.begin(), good.end() - 1);
        Bytes longer = good;
        longer.push_back(0);
        if (!shorter.empty()) { // an empty block is the defaults
            EXPECT_EQ(ReadSchemeStep(id, shorter.data(), shorter.size(), r), StepReadResult::Length);
        }
        EXPECT_EQ(ReadSchemeStep(id, longer.data(), longer.size(), r), StepReadResult::Length);
        EXPECT_EQ(ReadSchemeStep(id, nullptr, good.size(), r), StepReadResult::Length) << "no bytes";
        if (HasSizeWord(id)) {
            for (uint16_t word : {0, 1, static_cast<int>(good.size() - 1), static_cast<int>(good.size() + 1), 0xFFFF}) {
                Bytes b = good;
                b[0] = static_cast<uint8_t>(word), b[1] = static_cast<uint8_t>(word >> 8);
                EXPECT_EQ(ReadSchemeStep(id, b.data(), b.size(), r), StepReadResult::SizeWord) << "size word " << word;
            }
        }
        // Every field at once at an extreme: read and clamped, or refused; what is read writes
        // back as read and replays without harm.
        for (uint8_t fill : {0x00, 0xFF, 0x7F, 0x80, 0x55, 0xC3}) {
            SCOPED_TRACE(testing::Message() << "fields filled with " << int(fill));
            Bytes b = good;
            std::fill(b.begin() + (HasSizeWord(id) ? 2 : 0), b.end(), fill);
            const StepReadResult result = ReadSchemeStep(id, b.data(), b.size(), r);
            if (result != StepReadResult::Ok) {
                EXPECT_EQ(result, StepReadResult::Field);
                continue;
            }
            const Bytes canonical = Written(id, r);
            SchemeStepRecord again;
            ASSERT_EQ(ReadSchemeStep(id, canonical.data(), canonical.size(), again), StepReadResult::Ok);
            EXPECT_EQ(Written(id, again), canonical);
            ScopedImage out;
            ReplaySchemeStep(id, r, *photo, *out);
        }
    }
}

TEST(SchemeStepRecords, EmptyBlocksReadAsTheAlgorithmsDefaults)
{
    for (const auto& [id, good] : StoredSamples()) {
        SCOPED_TRACE(testing::Message() << "id " << id);
        SchemeStepRecord r;
        const StepReadResult result = ReadSchemeStep(id, nullptr, 0, r);
        if (id == SchemeStepSharpen) {
            EXPECT_EQ(result, StepReadResult::Length) << "no curve to default to";
        } else if (id == SchemeStepImageSize) {
            EXPECT_EQ(result, StepReadResult::Field) << "no size to resize to";
        } else if (id == SchemeStepHsbCurves) {
            EXPECT_EQ(result, StepReadResult::Length);
        } else {
            ASSERT_EQ(result, StepReadResult::Ok);
            EXPECT_EQ(Written(id, r).size(), good.size());
        }
    }
    SchemeStepRecord r;
    ASSERT_EQ(ReadSchemeStep(SchemeStepBrightnessContrast, nullptr, 0, r), StepReadResult::Ok);
    EXPECT_EQ(Written(SchemeStepBrightnessContrast, r), RecordBytes(BrightnessContrastParams{}));
    ASSERT_EQ(ReadSchemeStep(SchemeStepResolutionEnhance, nullptr, 0, r), StepReadResult::Ok);
    EXPECT_EQ(std::get<EdgeShrinkStep>(r).strength, CResEnhance().m_strength);
    // The parameterless ids ignore what a file holds.
    const Bytes junk = {1, 2, 3};
    for (uint16_t id : {2, 3, 4, 5, 15}) {
        ASSERT_EQ(ReadSchemeStep(id, junk.data(), junk.size(), r), StepReadResult::Ok) << id;
        EXPECT_TRUE(Written(id, r).empty());
    }
}

template <class Record>
Bytes Poked(Record r, size_t offset, const void* value, size_t width)
{
    Bytes b = RecordBytes(r);
    std::memcpy(b.data() + offset, value, width);
    return b;
}

TEST(SchemeStepRecords, FieldsAreClampedToTheAlgorithmsRangesOrRefused)
{
    const int32_t huge = 5000, low = -5000, seven = 7, bad = 9;
    const double nan = std::nan(""), big = 1e300;
    const uint32_t slot = 0xDEADBEEF;
    const uint8_t nine = 9;
    struct Case {
        const char* what;
        uint16_t id;
        Bytes stored;
        StepReadResult want;
        size_t offset; // of the value read back
        int64_t value; // as i32, or the double's integer part
        bool real;
    };
    const Case cases[] = {
        {"brightness 5000", 18, Poked(BrightnessContrastParams{}, 4, &huge, 4), StepReadResult::Ok, 4, 100, false},
        {"contrast -5000", 18, Poked(BrightnessContrastParams{}, 8, &low, 4), StepReadResult::Ok, 8, -100, false},
        {"film exposure", 1, Poked(FilmAdjustParams{}, 4, &low, 4), StepReadResult::Ok, 4, -10, false},
        {"mixer mode 7 is monochrome", 19, Poked(ColorMixerParams{}, 4, &seven, 4), StepReadResult::Ok, 4, 1, false},
        {"mixer weight", 19, Poked(ColorMixerParams{}, 8 + 4 * 15, &huge, 4), StepReadResult::Ok, 68, 200, false},
        {"threshold method 9", 24, Poked(ThresholdParams{}, 4, &bad, 4), StepReadResult::Field, 0, 0, false},
        {"image size width 0", 12, Poked(ImageSizeParams{}, 4, &low, 4), StepReadResult::Field, 0, 0, false},
        {"image size method 9", 12, Poked(ImageSizeParams{}, 12, &bad, 4), StepReadResult::Field, 0, 0, false},
        {"diffuse mode 9", 28, Poked(DiffuseParams{}, 2, &nine, 1), StepReadResult::Field, 0, 0, false},
        {"diffuse radius NaN", 28, Poked(DiffuseParams{}, 8, &nan, 8), StepReadResult::Field, 0, 0, false},
        {"diffuse radius 1e300", 28, Poked(DiffuseParams{}, 8, &big, 8), StepReadResult::Ok, 8, 1000, true},
        {"rotation NaN", 8, Poked(RotateParams{}, 8, &nan, 8), StepReadResult::Field, 0, 0, false},
        {"barrel 1e300", 10, Poked(BarrelDistortParams{}, 8, &big, 8), StepReadResult::Ok, 8, 1, true},
        {"noise style 9", 29, Poked(NoiseReductionParams{}, 16, &nine, 1), StepReadResult::Field, 0, 0, false},
        {"skin radius 0", 37, Poked(SkinCleanParams{}, 4, &low, 4), StepReadResult::Ok, 4, 1, false},
        {"chroma key samples", 38, Poked(ChromakeyParams{}, 88, &nine, 1), StepReadResult::Ok, 88, 9, false},
        {"gradient angle", 31, Poked(GradientParams{}, 36, &huge, 4), StepReadResult::Ok, 36, 5000, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SchemeStepRecord r;
        ASSERT_EQ(ReadSchemeStep(c.id, c.stored.data(), c.stored.size(), r), c.want);
        if (c.want != StepReadResult::Ok)
            continue;
        const Bytes b = Written(c.id, r);
        if (c.real) {
            double v;
            std::memcpy(&v, b.data() + c.offset, 8);
            EXPECT_EQ(static_cast<int64_t>(v), c.value);
        } else if (c.offset == 88) {
            EXPECT_EQ(b[88], c.value);
        } else {
            int32_t v;
            std::memcpy(&v, b.data() + c.offset, 4);
            EXPECT_EQ(v, c.value);
        }
    }
    // Pointer slots, padding and reserved bytes come back 0 whatever a file or a caller put there.
    struct Slot {
        const char* what;
        uint16_t id;
        Bytes stored;
        size_t offset, width;
    };
    ImageSizeParams size;
    size.width = size.height = 10, size.method = 1;
    SharpenStep sharpen;
    const Bytes sharpenBytes = Written(25, sharpen);
    Bytes sharpenPoked = sharpenBytes;
    std::memcpy(sharpenPoked.data() + 20, &slot, 4);
    const Slot slots[] = {
        {"image size document", 12, Poked(size, 16, &slot, 4), 16, 4},
        {"image size reserved", 12, Poked(size, 32, &slot, 4), 32, 4},
        {"sharpen curve", 25, sharpenPoked, 20, 4},
        {"sharpen reserved", 25, Poked(SharpenParams{}, 24, &slot, 4), 24, 4},
        {"padding after the size word", 18, Poked(BrightnessContrastParams{}, 2, &slot, 2), 2, 2},
        {"diffuse reserved", 28, Poked(DiffuseParams{}, 3, &slot, 4), 3, 4},
        {"dynamic range reserved", 35, Poked(EnhanceDynamicParams{}, 36, &slot, 4), 36, 4},
        {"skin reserved", 37, Poked(SkinCleanParams{}, 28, &slot, 4), 28, 4},
        {"chroma key reserved", 38, Poked(ChromakeyParams{}, 2, &slot, 4), 2, 4},
    };
    for (const Slot& s : slots) {
        SCOPED_TRACE(s.what);
        Bytes stored = s.stored;
        if (s.id == SchemeStepSharpen && stored.size() == sizeof(SharpenParams))
            stored.insert(stored.end(), sharpenBytes.begin() + 32, sharpenBytes.end());
        SchemeStepRecord r;
        ASSERT_EQ(ReadSchemeStep(s.id, stored.data(), stored.size(), r), StepReadResult::Ok);
        const Bytes b = Written(s.id, r);
        for (size_t i = s.offset; i < s.offset + s.width; ++i)
            EXPECT_EQ(b[i], 0) << "byte " << i;
        // A caller's record with the same bytes writes them 0 as well.
        EXPECT_EQ(Written(s.id, r), b);
    }
    SharpenParams live;
    live.curveSlot = slot;
    EXPECT_EQ(Written(25, MakeSharpenStep(live, CurveTable(1).data()))[20], 0);
}

TEST(SchemeStepReplay, ImageSizeTargets)
{
    struct Case {
        int type, recordedW, recordedH, w, h;
        bool ok;
        int wantW, wantH;
        const char* why;
    };
    const Case cases[] = {
        {0, 800, 600, 4000, 3000, false, 0, 0, "type not chosen"},
        {1, 800, 1, 4000, 3000, true, 800, 600, "to width, landscape"},
        {1, 800, 1, 3000, 4000, true, 800, 1066, "to width, portrait (integer division)"},
        {2, 1, 600, 4000, 3000, true, 800, 600, "to height"},
        {3, 800, 600, 4000, 3000, true, 800, 600, "long side, landscape"},
        {3, 800, 600, 3000, 4000, true, 600, 800, "long side, portrait"},
        {3, 800, 600, 500, 500, true, 800, 800, "long side, square"},
        {4, 800, 600, 4000, 3000, true, 800, 600, "pixel count, same aspect"},
        {4, 800, 600, 3000, 4000, true, 600, 800, "pixel count, turned"},
        {4, 800, 600, 2000, 1000, true, 980, 490, "pixel count, wider"},
        {5, 321, 123, 4000, 3000, true, 321, 123, "as recorded"},
        {1, 1, 1, 4000, 1, true, 1, 1, "sides below 1 become 1"},
        {1, 65535, 1, 1, 1000, false, 0, 0, "a side over 65535"},
        {5, 6000, 6000, 10, 10, false, 0, 0, "over the pixel limit"},
        {1, 800, 1, 0, 10, false, 0, 0, "empty input"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        ImageSizeParams p;
        p.width = c.recordedW, p.height = c.recordedH, p.applyMode = c.type;
        int w = -1, h = -1;
        ASSERT_EQ(ImageSizeReplayTarget(p, c.w, c.h, w, h), c.ok);
        if (c.ok) {
            EXPECT_EQ(w, c.wantW);
            EXPECT_EQ(h, c.wantH);
        }
    }
    // With the skip flag the step copies; without a type it fails.
    ScopedImage photo(Photo(30, 20, 2)), out;
    ImageSizeParams p;
    p.width = 10, p.height = 10, p.method = 1;
    EXPECT_EQ(ReplaySchemeStep(SchemeStepImageSize, p, *photo, *out), 0);
    SchemeReplay skip;
    skip.skipImageSize = true;
    ASSERT_EQ(ReplaySchemeStep(SchemeStepImageSize, p, *photo, *out, skip), 1);
    EXPECT_TRUE(SameImage(*out, *photo));
}

// --- the nested scheme ---

struct NestedCall {
    platform::String16 path;
    CAlgorithm* parent = nullptr;
    int low = -1, high = -1;
    int calls = 0;
};

int FlipAsNested(void* context, const platform::String16& path, ImageBuffer16& input, ImageBuffer16& output,
                 CAlgorithm* parent, int low, int high)
{
    auto* call = static_cast<NestedCall*>(context);
    call->path = path, call->parent = parent, call->low = low, call->high = high, ++call->calls;
    return CopyImage16(output, input) && FlipImage16Vertical(output);
}

TEST(SchemeStepReplay, NestedSchemeGoesToTheRunnerWithItsPath)
{
    const platform::String16 path = u"/home/ann/Schemes/Ünïcode \U0001F600.zdscm";
    Bytes stored;
    ASSERT_TRUE(WriteSchemeStep(SchemeStepNestedScheme, NestedSchemeStep{path}, stored));
    ASSERT_EQ(stored.size(), 2 * path.size() + 2);
    EXPECT_EQ(stored[0], '/');
    EXPECT_EQ(stored[1], 0);
    EXPECT_EQ(stored[stored.size() - 2], 0);
    EXPECT_EQ(stored.back(), 0);

    ScopedImage photo(Photo(20, 12, 4)), out, flipped;
    ASSERT_EQ(ReplaySchemeStep(SchemeStepNestedScheme, stored.data(), stored.size(), *photo, *out), 0)
        << "no runner, no nested scheme";
    CAlgorithm parent;
    NestedCall call;
    SchemeReplay how;
    how.parent = &parent, how.progressLow = 20, how.progressHigh = 45;
    how.nestedScheme = FlipAsNested, how.nestedContext = &call;
    ASSERT_EQ(ReplaySchemeStep(SchemeStepNestedScheme, stored.data(), stored.size(), *photo, *out, how), 1);
    EXPECT_EQ(call.calls, 1);
    EXPECT_EQ(call.path, path);
    EXPECT_EQ(call.parent, &parent);
    EXPECT_EQ(call.low, 20);
    EXPECT_EQ(call.high, 45);
    ASSERT_TRUE(CopyImage16(*flipped, *photo) && FlipImage16Vertical(*flipped));
    EXPECT_TRUE(SameImage(*out, *flipped));

    struct Bad {
        Bytes bytes;
        const char* why;
    };
    const Bad bad[] = {
        {{}, "empty"},
        {{0, 0}, "only the terminator"},
        {{'a', 0, 'b', 0}, "no terminator"},
        {{'a', 0, 0}, "odd length"},
        {{'a', 0, 0, 0, 'b', 0, 0, 0}, "a zero inside"},
        {{0x00, 0xD8, 'a', 0, 0, 0}, "a lone high surrogate"},
        {{0x00, 0xDC, 0, 0}, "a lone low surrogate"},
    };
    for (const Bad& b : bad) {
        SchemeStepRecord r;
        EXPECT_EQ(ReadSchemeStep(SchemeStepNestedScheme, b.bytes.data(), b.bytes.size(), r), StepReadResult::Text)
            << b.why;
    }
    Bytes longest(2 * kSchemePathMaxUnits + 2, 'x');
    for (size_t i = 1; i < longest.size(); i += 2)
        longest[i] = 0;
    longest[longest.size() - 2] = 0;
    SchemeStepRecord r;
    EXPECT_EQ(ReadSchemeStep(SchemeStepNestedScheme, longest.data(), longest.size(), r), StepReadResult::Ok);
    longest.insert(longest.begin(), {'x', 0});
    EXPECT_EQ(ReadSchemeStep(SchemeStepNestedScheme, longest.data(), longest.size(), r), StepReadResult::Text);
    Bytes out2;
    EXPECT_FALSE(WriteSchemeStep(SchemeStepNestedScheme, NestedSchemeStep{}, out2)) << "an empty path";
    EXPECT_FALSE(WriteSchemeStep(SchemeStepNestedScheme, NestedSchemeStep{platform::String16(u"a\0b", 3)}, out2)) << "a zero inside";
}

// --- progress ---

TEST(SchemeStepReplay, ProgressGoesThroughTheParentsWindow)
{
    WorkerScope scope(0);
    ScopedImage photo(Photo(60, 40, 6)), out;
    DiffuseParams diffuse;
    diffuse.radius = 2, diffuse.amount = 50;
    CAlgorithm parent; // reports to the listener, window 0..100
    SchemeReplay how;
    how.parent = &parent, how.progressLow = 30, how.progressHigh = 60;
    ASSERT_EQ(ReplaySchemeStep(SchemeStepDiffuse, diffuse, *photo, *out, how), 1);
    const std::vector<PostedMessage> posted = scope.host.Pump();
    ASSERT_FALSE(posted.empty());
    for (const PostedMessage& m : posted) {
        EXPECT_GE(m.p1, 30);
        EXPECT_LE(m.p1, 60);
    }
    EXPECT_EQ(posted.back().p1, 60) << "the step ends at the top of its window";
}

} // namespace
