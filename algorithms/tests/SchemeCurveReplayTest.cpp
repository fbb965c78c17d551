// How far a curve replayed from its stored control values lies from the table the curve dialog
// ran with, for the curves the curve box builds: the figures written down in SchemeSteps.h.
#include "algorithms/SchemeSteps.h"

#include "algorithms/tests/ColourTestSupport.h"
#include "algorithms/tests/CurveBoxModel.h"

#include <random>

namespace {

ToneTable Replayed(const std::vector<uint16_t>& table)
{
    const CurveStep step = MakeCurveStep(0, table.data());
    ToneTable replayed(kToneLutSize);
    ControlValuesToCurve(replayed.data(), step.curves[0]);
    return replayed;
}

int ReplayDifference(const std::vector<uint16_t>& table)
{
    const ToneTable replayed = Replayed(table);
    int most = 0;
    for (int i = 0; i < kToneLutSize; ++i)
        most = std::max(most, std::abs(int(table[i]) - int(replayed[i])));
    return most;
}

// The bound of the header: within each pair of neighbouring control inputs h apart, D h / 4 + 1,
// D the change of the table's slope there.
double ReplayBound(const std::vector<uint16_t>& table)
{
    double bound = 0;
    for (int k = 0; k + 1 < kCurveControlCount; ++k) {
        const int a = CurveKnot(k), b = CurveKnot(k + 1);
        int lo = 65536, hi = -65536;
        for (int i = a; i < b; ++i) {
            const int d = int(table[i + 1]) - int(table[i]);
            lo = std::min(lo, d), hi = std::max(hi, d);
        }
        bound = std::max(bound, (hi - lo) * (b - a) / 4.0);
    }
    return bound + 1;
}

// Up to ten points, neighbours at least `spacing` input units apart, outputs anywhere.
std::vector<BoxPoint> RandomPoints(std::mt19937& rng, int spacing)
{
    for (;;) {
        const int inner = static_cast<int>(rng() % 9);
        std::vector<BoxPoint> p{{0, static_cast<int>(rng() % 65536)}};
        for (int k = 0; k < inner; ++k)
            p.push_back({p.back().x + spacing + static_cast<int>(rng() % 16384), static_cast<int>(rng() % 65536)});
        if (p.back().x <= 65535 - spacing) {
            p.push_back({65535, static_cast<int>(rng() % 65536)});
            return p;
        }
    }
}

TEST(CurveReplay, FiguresOfTheDialogsCurves)
{
    (void)kGammaTablesReady;
    const std::vector<BoxPoint> identity = {{0, 0}, {65535, 65535}};
    const std::vector<BoxPoint> sCurve = {{0, 0}, {16384, 10000}, {49152, 56000}, {65535, 65535}};
    // A spike of three points 100 apart between the control inputs 29696 and 30208.
    const std::vector<BoxPoint> spike = {{0, 0}, {29800, 0}, {29900, 65535}, {30000, 0}, {65535, 0}};
    struct Case {
        const char* what;
        const std::vector<BoxPoint>& points;
        bool smooth;
        int bitMode;
        int figure;
    };
    const Case cases[] = {
        {"default, 8-bit, straight", identity, false, 1, 0},
        {"default, 8-bit, smooth", identity, true, 1, 0},
        {"default, 16-bit, straight", identity, false, 2, 0},
        {"default, 16-bit, smooth", identity, true, 2, 0},
        {"S-curve, 8-bit, straight", sCurve, false, 1, 123},
        {"S-curve, 8-bit, smooth", sCurve, true, 1, 9},
        {"S-curve, 16-bit, straight", sCurve, false, 2, 1},
        {"S-curve, 16-bit, smooth", sCurve, true, 2, 5},
        {"spike between control inputs", spike, false, 2, 65535},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<uint16_t> table = CurveBoxTable(c.points, c.smooth, c.bitMode);
        const int d = ReplayDifference(table);
        EXPECT_LE(d, c.figure);
        EXPECT_GE(d, c.figure - 2) << "the figure written down is the one measured";
        EXPECT_LE(d, ReplayBound(table));
    }

    // The automatic curves: levels between a black point up to 4000 and a white point from 40000,
    // linear (16-bit editing) or in gamma space (8-bit editing). The worst kink is the white
    // point in the middle of the control interval 39936..40448 with the steepest ramp.
    struct Levels {
        int type, black, white, figure;
    };
    for (const Levels& l : {Levels{ToneLutLevelsLinear, 4000, 40185, 233}, Levels{ToneLutLevelsGamma, 3998, 40185, 321}}) {
        std::vector<uint16_t> t(kToneLutSize);
        BuildToneLut(t.data(), l.type, l.black, l.white);
        EXPECT_NEAR(ReplayDifference(t), l.figure, 2) << "levels type " << l.type;
    }
    int levels = 0;
    for (int b = 0; b <= 4000; b += 250)
        for (int w = 40000; w <= 65535; w += 1597)
            for (int type : {ToneLutLevelsLinear, ToneLutLevelsGamma}) {
                std::vector<uint16_t> t(kToneLutSize);
                BuildToneLut(t.data(), type, b, w);
                const int d = ReplayDifference(t);
                levels = std::max(levels, d);
                ASSERT_LE(d, ReplayBound(t)) << b << ".." << w;
            }
    EXPECT_LE(levels, 321);
}

TEST(CurveReplay, DrawnCurvesStayWithinTheBound)
{
    (void)kGammaTablesReady;
    std::mt19937 rng(27);
    int spaced = 0;
    for (int spacing : {100, 512, 4096})
        for (int mode : {1, 2})
            for (bool smooth : {false, true})
                for (int k = 0; k < 12; ++k) {
                    const std::vector<uint16_t> table = CurveBoxTable(RandomPoints(rng, spacing), smooth, mode);
                    const int d = ReplayDifference(table);
                    ASSERT_LE(d, ReplayBound(table)) << "spacing " << spacing << ", mode " << mode << ", smooth " << smooth;
                    if (spacing == 4096 && mode == 2 && !smooth)
                        spaced = std::max(spaced, d);
                }
    // Straight segments of points at least 4096 apart bend at most 2 x 65535 / 4096 per unit.
    EXPECT_LE(spaced, 65535 * 256 / 4096 + 1);
}

} // namespace
