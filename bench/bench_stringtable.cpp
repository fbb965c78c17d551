// String table costs: parsing a table of the shipped size at start, and a lookup (every widget
// caption and message goes through one).
#include "ui/StringTable.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

// A UTF-16LE table of n entries, keys of the shipped kind ("dlgKey123").
std::vector<uint8_t> MakeTable(int n)
{
    std::u16string text = u"\uFEFF[StringTab]\r\n";
    for (int i = 0; i < n; ++i) {
        std::string line = "\"dlgKey" + std::to_string(i * 7919 % 100000) + "\"=\"Text number " + std::to_string(i) +
                           " of the table\"\r\n";
        text += platform::Utf8ToUtf16(line);
    }
    std::vector<uint8_t> bytes;
    for (char16_t c : text) {
        bytes.push_back(uint8_t(c & 0xFF));
        bytes.push_back(uint8_t(c >> 8));
    }
    return bytes;
}

void BM_StringTableParse(benchmark::State& state)
{
    std::vector<uint8_t> bytes = MakeTable(int(state.range(0)));
    for (auto _ : state) {
        StringTable table;
        benchmark::DoNotOptimize(table.ParseBytes(bytes));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}
BENCHMARK(BM_StringTableParse)->Arg(1000)->Unit(benchmark::kMicrosecond);

void BM_StringTableLookup(benchmark::State& state)
{
    StringTable table;
    table.ParseBytes(MakeTable(1000));
    std::vector<std::u16string> keys;
    for (int i = 0; i < 64; ++i)
        keys.push_back(platform::Utf8ToUtf16("dlgKey" + std::to_string((i * 15 % 1000) * 7919 % 100000)));
    size_t k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(table.LookupText(keys[k].c_str()));
        k = (k + 1) & 63;
    }
}
BENCHMARK(BM_StringTableLookup);

} // namespace
