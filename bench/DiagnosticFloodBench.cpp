// What output costs whose every sequence makes the terminal write a log line,
// beside the same bytes of a sequence that logs nothing: 5 MB of DECELR
// (CSI 1 ' z, whose line is printed whatever `silentLog` says) against 5 MB
// of bold (CSI 1 m). The terminal's throttle runs on the real clock, as in
// the application, so repeats within its window are held back; the counter
// "lines" is how many lines reached the log per 5 MB fed.
#include <benchmark/benchmark.h>

#include "bench/support/HostileStreams.h"
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

void feedFiveMegabytes(benchmark::State& state, const std::string& unit)
{
    auto queue = std::make_shared<RunLoopQueue>();
    auto previous = DispatchQueue::setMain(queue);
    size_t lines = 0;
    auto previousSink = log::setSink([&](std::string_view) { ++lines; });
    auto host = std::make_shared<NullHost>();
    Terminal terminal(host);
    const std::string text = bench::repeated(unit, 5'000'000);
    for (auto _ : state) terminal.feed(text);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    state.counters["lines"] = benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kAvgIterations);
    log::setSink(std::move(previousSink));
    DispatchQueue::setMain(previous);
}

void BM_BoldFlood(benchmark::State& state)
{
    feedFiveMegabytes(state, "\x1b[1m");
}
BENCHMARK(BM_BoldFlood)->Unit(benchmark::kMillisecond);

void BM_LocatorReportingFlood(benchmark::State& state)
{
    feedFiveMegabytes(state, "\x1b[1'z");
}
BENCHMARK(BM_LocatorReportingFlood)->Unit(benchmark::kMillisecond);

}  // namespace
