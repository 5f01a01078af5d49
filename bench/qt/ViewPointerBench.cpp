// Pointer costs of a TerminalView: the link lookup a pointer move over a
// long wrapped URL does while Ctrl is held (hover underline, link report and
// preview), reported with its 99th percentile, and one selection-drag event
// on a full 200 x 60 view including a paint of the whole view.
#include "bench/support/BenchFont.h"
#include "corvel/qt/TerminalView.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

using namespace corvel;

namespace {

QRect frameFor(int cols, int rows)
{
    const QSizeF cell = TerminalView::computeFontDimensions(bench::benchFont(13), 1.0);
    return QRect(0, 0, static_cast<int>(cell.width() * cols + 20), static_cast<int>(cell.height() * rows));
}

QPointF centre(TerminalView& view, int col, int row)
{
    const QSizeF cell = *view.cellDimension();
    return {(col + 0.5) * cell.width(), (row + 0.5) * cell.height()};
}

void move(TerminalView& view, QPointF at, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers)
{
    QMouseEvent event(QEvent::MouseMove, at, view.mapToGlobal(at), Qt::NoButton, buttons, modifiers);
    QApplication::sendEvent(&view, &event);
}

void BM_LinkLookupPerPointerMove(benchmark::State& state)
{
    TerminalView view(frameFor(120, 40), bench::benchFont(13));
    // One URL of 2,000 characters wrapped over many rows, text around it.
    std::string url = "https://example.com/";
    while (url.size() < 2000) url += "segment-" + std::to_string(url.size()) + "/";
    view.getTerminal().feed("see " + url + " for details\r\n");
    view.commandModifierChanged(true);
    std::vector<double> micros;
    int i = 0;
    for (auto _ : state) {
        // Alternate cells over the URL's rows so each move is a new lookup.
        const int row = (i % 16);
        const int col = (i * 7) % 120;
        const auto start = std::chrono::steady_clock::now();
        move(view, centre(view, col, row), Qt::NoButton, Qt::ControlModifier);
        micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
        ++i;
    }
    std::sort(micros.begin(), micros.end());
    state.counters["p50_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
}
BENCHMARK(BM_LinkLookupPerPointerMove)->Unit(benchmark::kMicrosecond)->Iterations(2000);

void BM_SelectionDragEvent(benchmark::State& state)
{
    TerminalView view(frameFor(200, 60), bench::benchFont(13));
    std::string text;
    for (int row = 0; row < 60; ++row) {
        text += "\x1b[" + std::to_string(row + 1) + ";1H";
        for (int col = 0; col < 200; ++col) text.push_back(static_cast<char>('!' + (row * 7 + col) % 94));
    }
    view.getTerminal().feed(text);
    QImage canvas(view.size(), QImage::Format_ARGB32_Premultiplied);
    QMouseEvent press(QEvent::MouseButtonPress, centre(view, 0, 0), view.mapToGlobal(centre(view, 0, 0)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &press);
    int i = 0;
    for (auto _ : state) {
        // The drag sweeps the screen; each event extends and repaints.
        move(view, centre(view, (i * 13) % 200, (i * 3) % 60), Qt::LeftButton, Qt::NoModifier);
        view.render(&canvas);
        ++i;
    }
}
BENCHMARK(BM_SelectionDragEvent)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
