// Reading the live screens of many embedded panes as text, as one status
// poll does: 16 and 64 panes of 200 x 60 cells, full of mixed text.
#include <benchmark/benchmark.h>

#include "app/adapters/embedded/EmbeddedAdapter.h"
#include "corvel/terminal/Terminal.h"

#include <memory>
#include <string>
#include <vector>

using namespace corvel;

namespace {

class NullHost : public TerminalDelegate {
public:
    void send(Terminal&, std::span<const uint8_t>) override {}
};

std::unique_ptr<Terminal> fullPane(const std::shared_ptr<NullHost>& host, int seed)
{
    TerminalOptions options;
    options.cols = 200;
    options.rows = 60;
    auto terminal = std::make_unique<Terminal>(host, options);
    std::string text;
    for (int i = 0; i < 200; ++i) {
        text += "\x1b[3" + std::to_string((i + seed) % 8) + "mpane " + std::to_string(seed) + " row " +
                std::to_string(i) + " \xed\x95\x9c\xea\xb8\x80 ";
        while (text.size() % 180 != 0) text += 'x';
        text += "\x1b[0m\r\n";
    }
    terminal->feed(text);
    return terminal;
}

void ScreenTextOfPanes(benchmark::State& state)
{
    auto host = std::make_shared<NullHost>();
    std::vector<std::unique_ptr<Terminal>> panes;
    for (int n = 0; n < state.range(0); ++n) panes.push_back(fullPane(host, n));
    for (auto _ : state) {
        for (auto& pane : panes) benchmark::DoNotOptimize(tilebay::EmbeddedAdapter::screenText(*pane));
    }
}
BENCHMARK(ScreenTextOfPanes)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond);

}  // namespace
