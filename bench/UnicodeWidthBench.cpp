// Cost of one columnWidth call for ASCII, other BMP and astral scalars.
#include "corvel/screen/UnicodeUtil.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

using corvel::UnicodeUtil::columnWidth;

std::vector<char32_t> asciiScalars()
{
    std::vector<char32_t> v;
    for (char32_t c = 0x20; c < 0x7F; ++c)
        v.push_back(c);
    return v;
}

// A mix of what terminals print outside ASCII: Latin and Cyrillic letters,
// combining marks, box drawing, CJK, Hangul, fullwidth forms.
std::vector<char32_t> bmpScalars()
{
    std::vector<char32_t> v;
    for (char32_t start : {0x00C0u, 0x0300u, 0x0410u, 0x2500u, 0x3041u, 0x4E00u, 0xAC00u, 0xFF01u})
        for (char32_t c = start; c < start + 32; ++c)
            v.push_back(c);
    return v;
}

// Emoji, skin-tone modifiers, regional indicators, mathematical letters,
// supplementary ideographs, ideographic variation selectors.
std::vector<char32_t> astralScalars()
{
    std::vector<char32_t> v;
    for (char32_t start : {0x1F600u, 0x1F3FBu, 0x1F1E6u, 0x1D400u, 0x20000u, 0x1F900u, 0xE0100u})
        for (char32_t c = start; c < start + 32; ++c)
            v.push_back(c);
    return v;
}

void run(benchmark::State& state, const std::vector<char32_t>& scalars)
{
    columnWidth(0x4E00);  // build the table outside the timed loop
    for (auto _ : state) {
        for (char32_t c : scalars)
            benchmark::DoNotOptimize(columnWidth(c));
    }
    // Seconds per call (shown with an SI prefix, "n" for nanoseconds).
    state.counters["per_call"] = benchmark::Counter(
        double(scalars.size()), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_ColumnWidthAscii(benchmark::State& state) { run(state, asciiScalars()); }
void BM_ColumnWidthBmp(benchmark::State& state) { run(state, bmpScalars()); }
void BM_ColumnWidthAstral(benchmark::State& state) { run(state, astralScalars()); }

// The rules evaluated directly, for comparison with the table.
void BM_ColumnWidthRulesBmp(benchmark::State& state)
{
    const auto scalars = bmpScalars();
    for (auto _ : state) {
        for (char32_t c : scalars)
            benchmark::DoNotOptimize(corvel::UnicodeUtil::columnWidthByRules(c));
    }
    state.counters["per_call"] = benchmark::Counter(
        double(scalars.size()), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(BM_ColumnWidthAscii);
BENCHMARK(BM_ColumnWidthBmp);
BENCHMARK(BM_ColumnWidthAstral);
BENCHMARK(BM_ColumnWidthRulesBmp);
