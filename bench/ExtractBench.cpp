// Extracting a whole scrollback of 100,000 lines of 80 columns: as text
// between two positions (select all and copy) and as a UTF-8 buffer dump.
#include <benchmark/benchmark.h>

#include "corvel/terminal/Terminal.h"

#include <memory>
#include <string>

using namespace corvel;

namespace {

class NullHost : public TerminalDelegate {
public:
    void send(Terminal&, std::span<const uint8_t>) override {}
};

constexpr int kLines = 100'000;

std::unique_ptr<Terminal> filledTerminal(const std::shared_ptr<NullHost>& host)
{
    TerminalOptions options;
    options.cols = 80;
    options.rows = 25;
    options.scrollback = kLines;
    auto terminal = std::make_unique<Terminal>(host, options);
    std::string text;
    for (int i = 0; i < kLines + 25; ++i) {
        // Every fourth line runs past the right edge and wraps.
        text += "line " + std::to_string(i) + " the quick brown fox jumps over the lazy dog";
        if (i % 4 == 0) text += " and keeps running past the right edge of the screen onto the next row";
        text += "\r\n";
        if (text.size() > (1 << 20)) {
            terminal->feed(text);
            text.clear();
        }
    }
    terminal->feed(text);
    return terminal;
}

void WholeScrollbackAsText(benchmark::State& state)
{
    auto host = std::make_shared<NullHost>();
    auto terminal = filledTerminal(host);
    const int last = static_cast<int>(terminal->buffer().lines().count()) - 1;
    size_t bytes = 0;
    for (auto _ : state) {
        const std::string text = terminal->getText({0, 0}, {80, last});
        bytes = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.counters["lines"] = last + 1;
    state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
}

void WholeBufferAsData(benchmark::State& state)
{
    auto host = std::make_shared<NullHost>();
    auto terminal = filledTerminal(host);
    size_t bytes = 0;
    for (auto _ : state) {
        const auto data = terminal->getBufferAsData(Terminal::BufferKind::normal, TextEncoding::utf8);
        bytes = data.size();
        benchmark::DoNotOptimize(data.data());
    }
    state.counters["lines"] = static_cast<double>(terminal->buffer().lines().count());
    state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
}

}  // namespace

BENCHMARK(WholeScrollbackAsText)->Unit(benchmark::kMillisecond);
BENCHMARK(WholeBufferAsData)->Unit(benchmark::kMillisecond);
