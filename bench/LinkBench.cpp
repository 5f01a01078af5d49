// Link lookup under a cell, as the view asks on every pointer move. Each
// benchmark walks the pointer over many cells and reports the median and the
// 99th percentile of one lookup (p50_us, p99_us):
//   Ordinary     an 80x25 screen of shell output with URLs and paths;
//   LongLine     one logical line of 10,000 characters wrapped over 125 rows;
//   Hostile      rows that backtrack the pattern without end (an unclosed
//                bracket after a scheme) and reach the right margin, so every
//                row break is tested as a seam too;
//   LongRun      a 10,000-character run of word characters (a base64 blob).
#include <benchmark/benchmark.h>

#include "corvel/terminal/Terminal.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

using namespace corvel;

namespace {

class NullHost : public TerminalDelegate {
public:
    void send(Terminal&, std::span<const uint8_t>) override {}
};

std::unique_ptr<Terminal> terminalWith(const std::shared_ptr<NullHost>& host, int rows, const std::string& text)
{
    TerminalOptions options;
    options.cols = 80;
    options.rows = rows;
    options.scrollback = 1000;
    auto terminal = std::make_unique<Terminal>(host, options);
    terminal->feed(text);
    return terminal;
}

void lookups(benchmark::State& state, Terminal& terminal, const std::vector<Position>& cells)
{
    std::vector<double> micros;
    size_t next = 0;
    for (auto _ : state) {
        const Position at = cells[next++ % cells.size()];
        const auto started = std::chrono::steady_clock::now();
        auto match = terminal.linkMatch(LinkLookupLocation::buffer(at), Terminal::LinkLookupMode::explicitAndImplicit);
        const auto elapsed = std::chrono::steady_clock::now() - started;
        benchmark::DoNotOptimize(match);
        micros.push_back(std::chrono::duration<double, std::micro>(elapsed).count());
    }
    std::sort(micros.begin(), micros.end());
    auto percentile = [&](double p) {
        return micros[std::min(micros.size() - 1, static_cast<size_t>(p * static_cast<double>(micros.size())))];
    };
    state.counters["p50_us"] = percentile(0.50);
    state.counters["p99_us"] = percentile(0.99);
}

// Every `step`-th cell of rows first ..< last.
std::vector<Position> cellsOf(int first, int last, int step)
{
    std::vector<Position> cells;
    for (int i = first * 80; i < last * 80; i += step) cells.push_back({i % 80, i / 80});
    return cells;
}

void Ordinary(benchmark::State& state)
{
    auto host = std::make_shared<NullHost>();
    std::string text;
    for (int i = 0; i < 24; ++i) {
        text += i % 3 == 0   ? "drwxr-xr-x  5 user staff  160 Mar  3 10:12 ./build/output/log.txt\r\n"
                : i % 3 == 1 ? "Fetched https://example.com/releases/v1.2.3/notes.html in 42 ms\r\n"
                             : "compiling src/terminal/view.cpp with -O2 -Wall (job 7 of 12)\r\n";
    }
    auto terminal = terminalWith(host, 25, text);
    lookups(state, *terminal, cellsOf(0, 24, 1));
}

void LongLine(benchmark::State& state)
{
    auto host = std::make_shared<NullHost>();
    std::string text;
    for (int i = 0; text.size() < 10000; ++i) {
        text += i % 10 == 9 ? "see https://example.com/item/" + std::to_string(i) + "?ref=x "
                            : "lorem ipsum dolor sit amet ";
    }
    text.resize(10000);
    auto terminal = terminalWith(host, 130, text);
    lookups(state, *terminal, cellsOf(0, 125, 7));
}

void Hostile(benchmark::State& state)
{
    auto host = std::make_shared<NullHost>();
    std::string text;
    for (int i = 0; i < 60; ++i) text += "http://[" + std::string(60, 'a') + "/" + std::string(10, 'b') + ":\r\n";
    auto terminal = terminalWith(host, 61, text);
    lookups(state, *terminal, cellsOf(0, 60, 13));
}

void LongRun(benchmark::State& state)
{
    auto host = std::make_shared<NullHost>();
    std::string text;
    for (int i = 0; text.size() < 10000; ++i) text += "QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVo+/abc" + std::to_string(i);
    text.resize(10000);
    auto terminal = terminalWith(host, 130, text);
    lookups(state, *terminal, cellsOf(0, 125, 7));
}

}  // namespace

BENCHMARK(Ordinary);
BENCHMARK(LongLine);
BENCHMARK(Hostile);
BENCHMARK(LongRun);
