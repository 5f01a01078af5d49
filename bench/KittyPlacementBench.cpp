// What Kitty placements cost: printing 200,000 lines into 10,000 lines of
// scrollback with no image, one sixel image, 50 placements with records, or
// a parent with 5 relative placements (MB/s of text); a d=i delete over a
// full 10,000-line scrollback; 2,000 stores under a tight byte limit; and
// decoding every placeholder cell of a 200×60 screen; and the placements of a
// hostile program through the protocol (a long chain of relative placements,
// many plain ones) followed by the lines that scroll them away. Images are
// inserted by the pixel-less insertion the tests use.
#include <benchmark/benchmark.h>

#include "bench/support/HostileStreams.h"

#include "corvel/kitty/KittyGraphicsState.h"
#include "corvel/kitty/KittyPlaceholderDecoder.h"
#include "corvel/platform/Base64.h"
#include "tests/corvel/support/PixelLessImageInsertion.h"

#include <memory>
#include <string>
#include <vector>

using namespace corvel;
using namespace corvel::testing;

namespace {

std::unique_ptr<Terminal> makeTerminal(const std::shared_ptr<StripHost>& host, int64_t limit = 335544320)
{
    TerminalOptions options;
    options.cols = 80;
    options.rows = 25;
    options.scrollback = 10000;
    options.kittyImageCacheLimitBytes = limit;
    return std::make_unique<Terminal>(host, options);
}

std::string apc(const std::string& keys, const std::string& payload = {})
{
    return "\x1b_G" + keys + (payload.empty() ? "" : ";" + payload) + "\x1b\\";
}

const std::string& textLines()
{
    static const std::string text = [] {
        std::string all;
        for (int i = 0; i < 200000; ++i) all += "line " + std::to_string(i) + " of some ordinary program output\r\n";
        return all;
    }();
    return text;
}

// 0: no image, 1: one sixel image, 2: 50 placements, 3: a parent and 5 relative placements.
void BM_CatIntoScrollback(benchmark::State& state)
{
    const std::string& text = textLines();
    const std::string pixels = base64::encode(std::vector<uint8_t>(20 * 40 * 4, 0x80));
    for (auto _ : state) {
        state.PauseTiming();
        auto host = std::make_shared<StripHost>();
        auto terminal = makeTerminal(host);
        terminal->feed(apc("a=t,f=32,q=2,i=1,s=20,v=40", pixels));
        switch (state.range(0)) {
        case 1: terminal->feed("\x1bPq#0;2;100;0;0#0~~~~-~~~~\x1b\\"); break;
        case 2:
            for (int p = 1; p <= 50; ++p) terminal->feed(apc("a=p,q=2,i=1,p=" + std::to_string(p)) + "\r\n");
            break;
        case 3:
            terminal->feed(apc("a=p,q=2,i=1,p=1"));
            for (int p = 2; p <= 6; ++p)
                terminal->feed(apc("a=p,q=2,i=1,P=1,Q=1,H=" + std::to_string(p * 3) + ",p=" + std::to_string(p)));
            break;
        default: break;
        }
        state.ResumeTiming();
        for (size_t at = 0; at < text.size(); at += 65536)
            terminal->feed(std::string_view(text).substr(at, 65536));
        benchmark::DoNotOptimize(terminal->buffer().yBase());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_CatIntoScrollback)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->Iterations(3);

// 100 placements spread over a full scrollback; one image's are deleted.
void BM_DeleteByIdOverScrollback(benchmark::State& state)
{
    auto host = std::make_shared<StripHost>();
    auto terminal = makeTerminal(host);
    const std::string pixels = base64::encode(std::vector<uint8_t>(20 * 20 * 4, 0x80));
    std::string setup;
    for (int id = 1; id <= 100; ++id) {
        setup += apc("a=t,f=32,q=2,s=20,v=20,i=" + std::to_string(id), pixels);
        setup += apc("a=p,q=2,p=1,i=" + std::to_string(id));
        for (int i = 0; i < 100; ++i) setup += "text\r\n";
    }
    terminal->feed(setup);
    const std::string remove = apc("a=d,d=i,i=50");
    const std::string replace = apc("a=p,q=2,p=1,i=50");
    for (auto _ : state) {
        terminal->feed(remove);
        state.PauseTiming();
        terminal->feed(replace);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_DeleteByIdOverScrollback)->Unit(benchmark::kMicrosecond);

// 2,000 images of 16 KiB into a store that holds 64 of them.
void BM_StoresUnderTightLimit(benchmark::State& state)
{
    const std::string pixels = base64::encode(std::vector<uint8_t>(64 * 64 * 4, 0x80));
    std::vector<std::string> commands;
    for (int id = 1; id <= 2000; ++id) commands.push_back(apc("a=t,f=32,q=2,s=64,v=64,i=" + std::to_string(id), pixels));
    for (auto _ : state) {
        state.PauseTiming();
        auto host = std::make_shared<StripHost>();
        auto terminal = makeTerminal(host, 64 * 64 * 4 * 64);
        state.ResumeTiming();
        for (const std::string& command : commands) terminal->feed(command);
        benchmark::DoNotOptimize(terminal->kittyGraphicsState.totalImageBytes);
    }
}
BENCHMARK(BM_StoresUnderTightLimit)->Unit(benchmark::kMillisecond);

// Every cell of a 200×60 screen a placeholder; row diacritic on the first
// cell of each row, the rest continue it. Time per row.
void BM_PlaceholderDecodeScreen(benchmark::State& state)
{
    const std::string placeholder = "\xf4\x8e\xbb\xae";
    const auto utf8 = [](char32_t scalar) {
        std::string out;
        out += static_cast<char>(0xC0 | (scalar >> 6));
        out += static_cast<char>(0x80 | (scalar & 0x3F));
        return out;
    };
    std::vector<std::string> firstCells;
    for (int row = 0; row < 60; ++row)
        firstCells.push_back(placeholder + utf8(KittyPlaceholderDecoder::diacritics()[size_t(row)]) +
                             utf8(KittyPlaceholderDecoder::diacritics()[0]));
    Attribute attribute;
    attribute.fg = Attribute::Color::trueColor(0, 1, 2);
    for (auto _ : state) {
        int64_t sum = 0;
        for (int row = 0; row < 60; ++row) {
            std::optional<KittyPlaceholderCell> previous;
            std::optional<Attribute> previousAttribute;
            for (int col = 0; col < 200; ++col) {
                previous = KittyPlaceholderDecoder::decode(col == 0 ? firstCells[size_t(row)] : placeholder, attribute,
                                                           row, col, previous, previousAttribute);
                previousAttribute = attribute;
                sum += previous ? previous->placeholderCol : 0;
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    state.counters["usPerRow"] = benchmark::Counter(60, benchmark::Counter::kIsIterationInvariantRate |
                                                            benchmark::Counter::kInvert);
}
BENCHMARK(BM_PlaceholderDecodeScreen)->Unit(benchmark::kMicrosecond);

// Through the protocol into 80x25 with 10,000 lines of history: n placements
// each relative to the one before (kind 0), or n 1x1 images each transmitted
// and shown at once (kind 1), as many times over as the third argument says
// (a second pass replaces what the first placed); then 12,000 lines printed,
// which scroll every placement into the history and out of it. Each whole,
// fed in reads of 128 KiB as from a child.
void BM_HostilePlacements(benchmark::State& state)
{
    const int kind = static_cast<int>(state.range(0));
    const int n = static_cast<int>(state.range(1));
    std::string placements;
    for (int64_t pass = 0; pass < state.range(2); ++pass)
        placements += kind == 0 ? bench::chainedPlacements(n) : bench::plainPlacements(n);
    std::string lines;
    for (int i = 0; i < 12000; ++i) lines += "line " + std::to_string(i) + "\r\n";
    const auto feedInReads = [](Terminal& terminal, const std::string& bytes) {
        for (size_t at = 0; at < bytes.size(); at += 131072)
            terminal.feed(std::string_view(bytes).substr(at, 131072));
    };
    size_t records = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto host = std::make_shared<StripHost>();
        auto terminal = makeTerminal(host);
        state.ResumeTiming();
        feedInReads(*terminal, placements);
        records = terminal->kittyGraphicsState.placementsByKey.size();
        feedInReads(*terminal, lines);
        benchmark::DoNotOptimize(terminal->buffer().yBase());
    }
    state.counters["records_placed"] = static_cast<double>(records);
    state.SetLabel(kind == 0 ? "chained" : "plain");
}
BENCHMARK(BM_HostilePlacements)
    ->Args({0, 2000, 1})->Args({0, 5000, 1})->Args({0, 20000, 1})->Args({0, 20000, 3})
    ->Args({1, 10000, 1})->Args({1, 30000, 1})->Args({1, 100000, 1})->Args({1, 100000, 3})
    ->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
