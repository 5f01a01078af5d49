// What beginning synchronized output (mode 2026) costs: programs set and
// reset the mode around every frame, so one iteration is a set followed by a
// reset on an 80x25 terminal whose scrollback is full to the given length.
// The reset only drops the frozen copy and dirties the screen; the set takes
// the copy. "ScrolledBack" has the view at the oldest line and reads the 25
// lines shown from the copy, as a redraw would.
#include <benchmark/benchmark.h>

#include "corvel/terminal/Terminal.h"
#include "corvel/platform/Dispatch.h"

#include <memory>
#include <string>

using namespace corvel;

namespace {

class NullHost : public TerminalDelegate {
public:
    void send(Terminal&, std::span<const uint8_t>) override {}
};

// An 80x25 terminal with `scrollback` lines of history, every line holding text.
std::unique_ptr<Terminal> filledTerminal(const std::shared_ptr<NullHost>& host, int scrollback)
{
    TerminalOptions options;
    options.scrollback = scrollback;
    auto terminal = std::make_unique<Terminal>(host, options);
    std::string text;
    for (int i = 0; i < scrollback + 25; ++i) {
        text += "line " + std::to_string(i) + " the quick brown fox jumps over the lazy dog 0123456789\r\n";
        if (text.size() > (1 << 20)) {
            terminal->feed(text);
            text.clear();
        }
    }
    terminal->feed(text);
    return terminal;
}

void beginAndEnd(benchmark::State& state, bool scrolledBack)
{
    // The timeout of each set waits on this queue; it is drained now and
    // then so that cancelled timeouts do not pile up.
    auto queue = std::make_shared<RunLoopQueue>(true);
    auto previous = DispatchQueue::setMain(queue);
    auto host = std::make_shared<NullHost>();
    auto terminal = filledTerminal(host, static_cast<int>(state.range(0)));
    if (scrolledBack) terminal->buffer().setYDisp(0);
    const std::string set = "\x1b[?2026h";
    const std::string reset = "\x1b[?2026l";
    int64_t iterations = 0;
    for (auto _ : state) {
        terminal->feed(set);
        Buffer& shown = terminal->displayBuffer();
        if (scrolledBack) {
            for (int row = 0; row < 25; ++row) benchmark::DoNotOptimize(shown.lines()[shown.yDisp() + row].count());
        }
        benchmark::DoNotOptimize(shown.lines().count());
        terminal->feed(reset);
        if (++iterations % 1024 == 0) {
            state.PauseTiming();
            queue->advance(2'000'000'000);
            state.ResumeTiming();
        }
    }
    state.counters["lines"] = static_cast<double>(terminal->buffer().lines().count());
    terminal.reset();
    DispatchQueue::setMain(previous);
}

void BM_SynchronizedOutputBegin(benchmark::State& state)
{
    beginAndEnd(state, false);
}
BENCHMARK(BM_SynchronizedOutputBegin)->Arg(0)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

void BM_SynchronizedOutputBeginScrolledBack(benchmark::State& state)
{
    beginAndEnd(state, true);
}
BENCHMARK(BM_SynchronizedOutputBeginScrolledBack)->Arg(0)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

}  // namespace
