// Throughput of output that changes attributes all the time: coloured
// compiler-style lines with palette colours, lines with direct colours in the
// colon form, and a stream made only of SGR codes the terminal does not know,
// whose diagnostic is printed always and must not become the bottleneck. The
// counter "lines" reports how many diagnostics reached the log.
#include <benchmark/benchmark.h>

#include "corvel/terminal/Terminal.h"
#include "corvel/platform/Dispatch.h"
#include "corvel/platform/Log.h"

#include <memory>
#include <string>

using namespace corvel;

namespace {

class NullHost : public TerminalDelegate {
public:
    void send(Terminal&, std::span<const uint8_t>) override {}
};

std::string repeated(const std::string& unit, size_t bytes)
{
    std::string text;
    while (text.size() < bytes) text += unit;
    return text;
}

void feedThroughput(benchmark::State& state, const std::string& unit)
{
    auto queue = std::make_shared<RunLoopQueue>(true);
    auto previous = DispatchQueue::setMain(queue);
    size_t lines = 0;
    auto previousSink = log::setSink([&](std::string_view) { ++lines; });
    auto host = std::make_shared<NullHost>();
    Terminal terminal(host);
    const std::string text = repeated(unit, 1 << 20);
    for (auto _ : state) terminal.feed(text);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    state.counters["lines"] = static_cast<double>(lines);
    log::setSink(std::move(previousSink));
    DispatchQueue::setMain(previous);
}

void BM_PaletteColouredLines(benchmark::State& state)
{
    feedThroughput(state, "\x1b[1;31merror\x1b[0m: \x1b[33mexpected\x1b[39m ';' after \x1b[4mexpression\x1b[24m\r\n");
}
BENCHMARK(BM_PaletteColouredLines);

void BM_DirectColourCells(benchmark::State& state)
{
    feedThroughput(state, "\x1b[38:2::200:100:50;48:5:17mab\x1b[38;2;1;2;3mcd\x1b[m");
}
BENCHMARK(BM_DirectColourCells);

void BM_UnknownSgrFlood(benchmark::State& state)
{
    feedThroughput(state, "\x1b[6m\x1b[1;50;56mx\x1b[73;74m");
}
BENCHMARK(BM_UnknownSgrFlood);

}  // namespace
