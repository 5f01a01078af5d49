// Kitty placements of a hostile program in a TerminalView (80x25, 10,000
// lines of history): the stream is fed in reads of 128 KiB as from a child,
// and after each read the whole view is drawn, as one frame after a
// delivery; then 12,000 lines are printed the same way, which scroll every
// placement into the history and out of it. The streams: n placements each
// relative to the one before (kind 0), n 1x1 images each transmitted and
// shown at once (kind 1), n placements of 77x40 cells each over the one
// before (kind 2), or n 2000x600 sixels each over the one before (kind 3).
// Reports the time of the whole, the slowest frame (one read and its
// drawing) and the bytes the lines' images held after the stream.
#include "bench/support/BenchFont.h"
#include "bench/support/HostileStreams.h"
#include "bench/support/QtBenchmarkMain.h"
#include "corvel/kitty/KittyGraphicsState.h"
#include "corvel/qt/TerminalView.h"

#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <memory>
#include <string>

using namespace corvel;

namespace {

void BM_ViewHostilePlacements(benchmark::State& state)
{
    const int kind = static_cast<int>(state.range(0));
    const int n = static_cast<int>(state.range(1));
    const std::string placements = kind == 0   ? bench::chainedPlacements(n)
                                   : kind == 1 ? bench::plainPlacements(n)
                                   : kind == 2 ? bench::stackedPlacements(n)
                                               : bench::stackedSixels(n);
    std::string lines;
    for (int i = 0; i < 12000; ++i) lines += "line " + std::to_string(i) + "\r\n";
    Nanos slowest = 0;
    size_t records = 0;
    int64_t lineImageBytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto view = std::make_unique<TerminalView>(QRect(0, 0, 800, 600), bench::benchFont(13));
        // The stacked placements are 40 rows high: they fit the screen.
        view->resizeTerminal(80, kind == 2 ? 50 : 25);
        view->changeScrollback(10000);
        view->resize(view->getOptimalFrameSize().size().toSize());
        QImage image(view->size(), QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&image);
        state.ResumeTiming();
        const auto feedAndDraw = [&](const std::string& bytes) {
            for (size_t at = 0; at < bytes.size(); at += 131072) {
                const Nanos start = monotonicNanos();
                view->feed(std::string_view(bytes).substr(at, 131072));
                view->drawTerminalContents(painter, view->rect());
                slowest = std::max(slowest, monotonicNanos() - start);
            }
        };
        feedAndDraw(placements);
        records = view->getTerminal().kittyGraphicsState.placementsByKey.size();
        lineImageBytes = view->getTerminal().lineImages().bytes();
        feedAndDraw(lines);
    }
    state.counters["slowest_frame_ms"] = double(slowest) / 1e6;
    state.counters["records_placed"] = double(records);
    state.counters["line_image_MB"] = double(lineImageBytes) / 1e6;
    const char* labels[] = {"chained", "plain", "stacked placements", "stacked sixels"};
    state.SetLabel(labels[std::clamp(kind, 0, 3)]);
}
BENCHMARK(BM_ViewHostilePlacements)
    ->Args({0, 2000})->Args({0, 5000})->Args({0, 20000})
    ->Args({1, 10000})->Args({1, 30000})->Args({1, 100000})
    ->Args({2, 2000})->Args({3, 1000})
    ->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv)
{
    return bench::runQtBenchmarks(argc, argv);
}
