// The session store's two regular costs on the UI thread: one polling tick
// over 16 and 64 embedded cells whose first panes show a full 200x60 screen
// of text (the screen read row by row, as the embedded adapter reads it, and
// classified), and persist() of a grid of 100 cells (the document built,
// encoded and written atomically into a temporary data folder), with the
// building and encoding alone beside it.
#include "app/store/SessionStore.h"
#include "tests/app/store/FakeEmbeddedAdapter.h"

#include "corvel/terminal/Terminal.h"

#include "bench/support/TempDataHome.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

using namespace tilebay;

namespace {

class NullHost : public corvel::TerminalDelegate {
public:
    void send(corvel::Terminal&, std::span<const uint8_t>) override {}
};

// Cells whose first pane is a live 200x60 emulator full of text.
class TerminalCells final : public testing::FakeEmbeddedAdapter {
public:
    QString visibleText(const QString& id) const override
    {
        const auto it = terminals_.find(id);
        if (it == terminals_.end()) return {};
        corvel::Terminal& terminal = *it->second;
        std::string text;
        for (int row = 0; row < terminal.rows(); ++row) {
            const corvel::BufferLine* line = terminal.getLine(row);
            if (!line) continue;
            if (row > 0) text += '\n';
            text += line->translateToString(true, 0, -1, false);
        }
        return QString::fromStdString(text);
    }

    void fill(const QString& id)
    {
        corvel::TerminalOptions options;
        options.cols = 200;
        options.rows = 60;
        auto terminal = std::make_unique<corvel::Terminal>(host_, options);
        std::string text;
        for (int row = 0; row < 60; ++row) {
            std::string line = "[" + std::to_string(row) + "] compiling module_" + std::to_string(row * 7) + ".o ";
            while (line.size() < 199) line += "the quick brown fox jumps over the lazy dog ";
            line.resize(199);
            text += line;
            if (row < 59) text += "\r\n";
        }
        terminal->feed(text);
        terminals_[id] = std::move(terminal);
    }

private:
    std::shared_ptr<NullHost> host_ = std::make_shared<NullHost>();
    std::map<QString, std::unique_ptr<corvel::Terminal>> terminals_;
};

std::unique_ptr<SessionStore> makeStore(std::unique_ptr<testing::FakeEmbeddedAdapter> embedded, corvel::Nanos* clock)
{
    embedded->clock = [clock] { return *clock; };
    SessionStore::Dependencies deps;
    deps.embedded = std::move(embedded);
    deps.clock = [clock] { return *clock; };
    deps.runTimer = false;
    return std::make_unique<SessionStore>(std::move(deps));
}

void tickEmbeddedCells(benchmark::State& state)
{
    bench::TempDataHome home;
    corvel::Nanos clock = 1'000'000'000'000;
    auto cells = std::make_unique<TerminalCells>();
    TerminalCells& terminals = *cells;
    auto store = makeStore(std::move(cells), &clock);
    for (int64_t i = 0; i < state.range(0); ++i) {
        const auto session = store->newEmbeddedSession(std::nullopt, std::nullopt, std::nullopt);
        terminals.fill(session->id());
    }
    // Silent for a while, no prompt and no question: every pattern is tried.
    clock += 5'000'000'000;
    for (auto _ : state) store->tick();
    state.counters["cells"] = static_cast<double>(state.range(0));
}

std::unique_ptr<SessionStore> hundredCells(corvel::Nanos* clock)
{
    auto store = makeStore(std::make_unique<testing::FakeEmbeddedAdapter>(), clock);
    for (int i = 0; i < 100; ++i) {
        if (i % 4 == 0)
            store->absorbExternal(QString("w0t%1p0:ABCDEF").arg(i), QString("remote %1").arg(i), i);
        else
            store->newEmbeddedSession(QString("project %1").arg(i), QString("/home/user/src/project-%1").arg(i),
                                      QString("npm run dev -- --port %1").arg(3000 + i));
    }
    store->addProfile("Dev", QString("/home/user/dev"), QString("make watch"));
    return store;
}

void persistHundredCells(benchmark::State& state)
{
    bench::TempDataHome home;
    corvel::Nanos clock = 0;
    auto store = hundredCells(&clock);
    for (auto _ : state) store->persist();
}

// The store's own share of persist(): the document built and encoded,
// without the write and its flush to disk.
void encodeHundredCells(benchmark::State& state)
{
    bench::TempDataHome home;
    corvel::Nanos clock = 0;
    auto store = hundredCells(&clock);
    for (auto _ : state) benchmark::DoNotOptimize(store->layoutDoc().encode());
}

}  // namespace

BENCHMARK(tickEmbeddedCells)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(persistHundredCells)->Unit(benchmark::kMillisecond);
BENCHMARK(encodeHundredCells)->Unit(benchmark::kMillisecond);
