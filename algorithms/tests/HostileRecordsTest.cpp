// Every stored record of the colour and tone algorithms, with every field after the size word
// filled by the same byte: huge, negative, NaN and infinite values. Each run must finish, give a
// picture of the source's size and keep alpha.
#include "algorithms/AddSomething.h"
#include "algorithms/ColorMixer.h"
#include "algorithms/EnhanceDynamic.h"
#include "algorithms/FilmAdjust.h"
#include "algorithms/GradientFilter.h"
#include "algorithms/Threshold.h"
#include "algorithms/ToneMaker.h"
#include "algorithms/tests/ColourTestSupport.h"

#include <functional>

namespace {

template <class Record>
Record Filled(uint8_t byte)
{
    Record r;
    uint8_t* p = reinterpret_cast<uint8_t*>(&r);
    std::memset(p + 4, byte, sizeof(Record) - 4);
    return r;
}

template <class Alg, class Record>
int RunFilled(uint8_t byte, ImageBuffer16& src, ImageBuffer16& dst)
{
    const Record r = Filled<Record>(byte);
    return RunOnce<Alg>(r, src, dst);
}

TEST(HostileRecords, EveryFieldAtItsExtremes)
{
    struct Case {
        const char* name;
        std::function<int(uint8_t, ImageBuffer16&, ImageBuffer16&)> run;
    };
    static const uint16_t* curve = [] {
        static ToneTable t(kToneLutSize, 30000);
        return t.data();
    }();
    const Case cases[] = {
        {"channel mixer", RunFilled<CColorMixer, ColorMixerParams>},
        {"colour adjustment", RunFilled<CColorAdjust, ColorAdjustParams>},
        {"film adjustment", RunFilled<CAFilmAdjust, FilmAdjustParams>},
        {"threshold", RunFilled<CThreshold, ThresholdParams>},
        {"split toning", RunFilled<CToneMaker, ToneMakerParams>},
        {"shadows and highlights", RunFilled<CEnhanceDynamic, EnhanceDynamicParams>},
        {"graduated filter", RunFilled<CGradientFilter, GradientParams>},
        {"film look", RunFilled<CAddSomething, AddSomethingParams>},
        {"sharpen",
         [](uint8_t byte, ImageBuffer16& s, ImageBuffer16& d) {
             const SharpenParams p = Filled<SharpenParams>(byte);
             CSharpen sharpen;
             sharpen.SetCurve(curve);
             return RunWith(sharpen, &p, s, d);
         }},
    };
    // 0xFF: -1 and NaN; 0x7F: near INT_MAX and 1e300-ish; 0x80: near INT_MIN and -0-ish; 0x55 mixed.
    const uint8_t bytes[] = {0x00, 0xFF, 0x7F, 0x80, 0x55, 0xC3};
    ScopedImage src(Photo(37, 23, 90));
    for (const Case& c : cases)
        for (uint8_t byte : bytes) {
            SCOPED_TRACE(testing::Message() << c.name << " filled with " << int(byte));
            ScopedImage dst;
            ASSERT_EQ(c.run(byte, *src, *dst), 1);
            ASSERT_EQ(dst->width, 37);
            ASSERT_EQ(dst->height, 23);
            for (size_t i = 0; i < PixelCount(*src); ++i)
                ASSERT_EQ(Pixels16(*dst)[i * 4 + 3], Pixels16(*src)[i * 4 + 3]) << "alpha is kept";
        }
}

} // namespace
