// One polling tick's classification work: every embedded cell's full visible
// screen (200 columns by 60 rows, every row filled) through `classify`, with no
// question on screen so that every waiting pattern scans the whole text.
#include "app/status/StatusClassifier.h"

#include <benchmark/benchmark.h>

#include <QStringList>

#include <random>

using namespace tilebay;

namespace {

QString fullScreen(unsigned seed)
{
    static const char* words[] = {"compiling", "src/core/buffer.cpp", "warning:", "[45%]",
                                  "Pressure",  "to",                  "continue", "$PATH",
                                  "100%",      "yes/no",              "->",       "done"};
    std::mt19937 rng(seed);
    QStringList rows;
    for (int r = 0; r < 60; ++r) {
        QString row;
        while (row.size() < 200) {
            row += QString::fromLatin1(words[rng() % std::size(words)]);
            row += u' ';
        }
        row.truncate(200);
        rows << row;
    }
    return rows.join(u'\n');
}

void classifyTick(benchmark::State& state)
{
    const StatusClassifier classifier;
    std::vector<QString> screens;
    for (int i = 0; i < state.range(0); ++i) screens.push_back(fullScreen(static_cast<unsigned>(i)));
    for (auto _ : state) {
        int idle = 0;
        for (const auto& screen : screens)
            idle += classifier.classify(screen, 3.0, 8.0, TerminalStatus::running) ==
                    TerminalStatus::idle;
        benchmark::DoNotOptimize(idle);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

}  // namespace

BENCHMARK(classifyTick)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond);
