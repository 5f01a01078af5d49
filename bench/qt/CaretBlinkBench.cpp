// Idle cost of blinking carets: 16 terminal views in one window, every caret
// blinking, nothing else happening. Runs the real blink timer for a fixed
// number of ticks and reports the process's CPU time (getrusage) as a share
// of one core over the wall time, and the caret repaints per second.
// Offscreen unless QT_QPA_PLATFORM names another platform (run it under
// xvfb-run with QT_QPA_PLATFORM=xcb to include the X server round trips).
#include "bench/support/QtBenchmarkMain.h"
#include "corvel/qt/CaretBlinker.h"
#include "corvel/qt/CaretView.h"
#include "corvel/qt/QtMainQueue.h"
#include "corvel/qt/TerminalView.h"

#include <QApplication>
#include <QGridLayout>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <memory>
#include <vector>

namespace {

using corvel::CaretBlinker;
using corvel::TerminalView;

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void pumpTicks(uint64_t ticks)
{
    CaretBlinker& blinker = CaretBlinker::shared();
    const uint64_t until = blinker.ticks() + ticks;
    while (blinker.ticks() < until) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void BM_SixteenIdleBlinkingCarets(benchmark::State& state)
{
    const auto ticks = static_cast<uint64_t>(state.range(0));
    QWidget window;
    auto* grid = new QGridLayout(&window);
    grid->setSpacing(2);
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setPixelSize(12);
    std::vector<TerminalView*> views;
    for (int i = 0; i < 16; ++i) {
        auto* view = new TerminalView(&window, font);
        view->getTerminal().feed("user@host:~/project$ ");
        views.push_back(view);
        grid->addWidget(view, i / 4, i % 4);
    }
    window.resize(1600, 900);
    window.show();
    for (TerminalView* view : views) {
        view->updateCursorPosition();
        view->caretView()->updateCursorStyle();  // blinking block: starts the blink
    }
    pumpTicks(10);  // settle: first paints, layout

    uint64_t paintsBefore = 0;
    for (TerminalView* view : views) paintsBefore += view->caretView()->paintCount();
    double cpu = 0;
    double wall = 0;
    for (auto _ : state) {
        const double cpuStart = cpuSeconds();
        const corvel::Nanos wallStart = corvel::monotonicNanos();
        pumpTicks(ticks);
        cpu += cpuSeconds() - cpuStart;
        wall += double(corvel::monotonicNanos() - wallStart) / 1e9;
    }
    uint64_t paints = 0;
    for (TerminalView* view : views) paints += view->caretView()->paintCount();
    state.counters["cpu_percent_of_one_core"] = 100.0 * cpu / wall;
    state.counters["wall_s"] = wall;
    state.counters["caret_paints_per_s"] = double(paints - paintsBefore) / wall;
    state.counters["blinking_carets"] = double(CaretBlinker::shared().count());
}
BENCHMARK(BM_SixteenIdleBlinkingCarets)->Arg(200)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    return bench::runQtBenchmarks(argc, argv);
}
