// Font costs: making a font with and without the cache, switching faces and sizes while
// drawing labels, text in another script through a fallback face, and the dialog base units
// of the candidate dialog faces (as counters).
#include "platform/DialogTemplate.h"
#include "platform/Font.h"

#include <benchmark/benchmark.h>

using namespace platform;

namespace {

FontSpec FaceAt(const char16_t* face, int height)
{
    FontSpec s;
    s.face = face;
    s.height = height;
    return s;
}

void BM_FontCreateUncached(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(Font::CreateUncached(FaceAt(u"Tahoma", 14)));
}
BENCHMARK(BM_FontCreateUncached)->Unit(benchmark::kMicrosecond);

void BM_FontCreateCached(benchmark::State& state)
{
    Font::Create(FaceAt(u"Tahoma", 14));
    for (auto _ : state)
        benchmark::DoNotOptimize(Font::Create(FaceAt(u"Tahoma", 14)));
}
BENCHMARK(BM_FontCreateCached)->Unit(benchmark::kMicrosecond);

// A label in each of four faces and sizes in turn, as dialogs and tooltips mix them: arg 1
// through the cache, arg 0 making every font afresh (what the text renderer did before).
void BM_FontSwitchAndRenderLabel(benchmark::State& state)
{
    const FontSpec specs[] = { FaceAt(u"Tahoma", 14), FaceAt(u"Tahoma", 12), FaceAt(u"Segoe UI", -11),
        FaceAt(u"Courier New", 14) };
    const bool cached = state.range(0) != 0;
    size_t i = 0;
    for (auto _ : state) {
        const FontSpec& s = specs[i++ % std::size(specs)];
        auto font = cached ? Font::Create(s) : Font::CreateUncached(s);
        benchmark::DoNotOptimize(font->RenderCoverage(u"Brightness / Contrast"));
    }
}
BENCHMARK(BM_FontSwitchAndRenderLabel)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_FontRenderCjkThroughFallback(benchmark::State& state)
{
    auto font = Font::Create(FaceAt(u"Tahoma", 16));
    benchmark::DoNotOptimize(font->RenderCoverage(u"\u65e5\u672c\u8a9e\u306e\u5199\u771f \ud55c\uad6d\uc5b4"));
    for (auto _ : state)
        benchmark::DoNotOptimize(font->RenderCoverage(u"\u65e5\u672c\u8a9e\u306e\u5199\u771f \ud55c\uad6d\uc5b4"));
    state.counters["fallbacks"] = double(font->FallbackFiles().size());
}
BENCHMARK(BM_FontRenderCjkThroughFallback)->Unit(benchmark::kMicrosecond);

// Base units of the candidate dialog faces at 8 points (the templates' 6 x 13 is the target).
void BM_DialogBaseUnits(benchmark::State& state)
{
    const char16_t* const faces[]
        = { u"DejaVu Sans", u"DejaVu Sans Condensed", u"Liberation Sans", u"Noto Sans" };
    const char16_t* face = faces[state.range(0)];
    auto font = Font::Create(FaceAt(face, -11));
    DialogBaseUnits units;
    for (auto _ : state)
        benchmark::DoNotOptimize(units = MeasureDialogBaseUnits(*font));
    state.counters["width"] = units.width;
    state.counters["height"] = units.height;
    state.SetLabel(Utf16ToUtf8(face) + " -> " + font->FilePath());
}
BENCHMARK(BM_DialogBaseUnits)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

} // namespace
