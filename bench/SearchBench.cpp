// Search steps that find nothing, so every line is read:
//   PlainCold     100,000 lines of 200 columns, line texts built afresh;
//   PlainCached   the same with the line cache kept from an earlier step;
//   RegexCold / RegexCached   a regular expression over the same lines;
//   ShortLines / LongLine     10,000 rows of 200 columns as 10,000 lines, and
//                 as one logical line wrapped over 10,000 rows: the long line
//                 must cost no more than the short ones.
#include <benchmark/benchmark.h>

#include "corvel/terminal/SearchService.h"
#include "corvel/terminal/Terminal.h"

#include <memory>
#include <string>

using namespace corvel;

namespace {

class NullHost : public TerminalDelegate {
public:
    void send(Terminal&, std::span<const uint8_t>) override {}
};

// 200 printable characters that vary from line to line.
std::string lineText(int n)
{
    std::string line = "line " + std::to_string(n) + " ";
    static const char* words[] = {"alpha ", "beta ", "gamma ", "delta ", "src/main.cpp:42 ", "0x1f2e ", "OK "};
    int i = n;
    while (line.size() < 200) line += words[i++ % 7];
    line.resize(200);
    return line;
}

struct Screen {
    std::shared_ptr<NullHost> host = std::make_shared<NullHost>();
    std::unique_ptr<Terminal> terminal;
    std::unique_ptr<SearchService> search;

    Screen(int lines, bool wrapped)
    {
        TerminalOptions options;
        options.cols = 200;
        options.rows = 25;
        options.scrollback = lines;
        terminal = std::make_unique<Terminal>(host, options);
        std::string chunk;
        for (int i = 0; i < lines; ++i) {
            chunk += lineText(i);
            if (!wrapped) chunk += "\r\n";
            if (chunk.size() > (1 << 20)) {
                terminal->feed(chunk);
                chunk.clear();
            }
        }
        terminal->feed(chunk);
        search = std::make_unique<SearchService>(*terminal);
    }
};

Screen& big()
{
    static Screen screen(100'000, false);
    return screen;
}

void run(benchmark::State& state, Screen& screen, const std::string& term, SearchOptions options, bool cold)
{
    SearchService& search = *screen.search;
    search.reset();
    if (!cold) search.findNext(term, options);
    for (auto _ : state) {
        if (cold) search.invalidate();
        auto result = search.findNext(term, options);
        if (result) state.SkipWithError("unexpected match");
        benchmark::DoNotOptimize(result);
    }
}

void PlainCold(benchmark::State& state) { run(state, big(), "no such text", {}, true); }
void PlainCached(benchmark::State& state) { run(state, big(), "no such text", {}, false); }
void PlainCaseSensitiveCached(benchmark::State& state)
{
    run(state, big(), "no such text", {.caseSensitive = true}, false);
}
void RegexCold(benchmark::State& state) { run(state, big(), "err(or)?: [0-9]+", {.regex = true}, true); }
void RegexCached(benchmark::State& state) { run(state, big(), "err(or)?: [0-9]+", {.regex = true}, false); }

void ShortLines(benchmark::State& state)
{
    static Screen screen(10'000, false);
    run(state, screen, "no such text", {}, true);
}
void LongLine(benchmark::State& state)
{
    static Screen screen(10'000, true);
    run(state, screen, "no such text", {}, true);
}
void LongLineBackward(benchmark::State& state)
{
    static Screen screen(10'000, true);
    SearchService& search = *screen.search;
    for (auto _ : state) {
        search.invalidate();
        benchmark::DoNotOptimize(search.findPrevious("no such text", {}));
    }
}

}  // namespace

BENCHMARK(PlainCold)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(PlainCached)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(PlainCaseSensitiveCached)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(RegexCold)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(RegexCached)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(ShortLines)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(LongLine)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(LongLineBackward)->Unit(benchmark::kMillisecond)->Iterations(10);
