// Benchmarks of the renderer's frames on a 200 x 60 terminal: a full rebuild
// and a cached (blink-only) frame of ASCII, SGR-dense and CJK/emoji screens
// at scale 1 and 2, in both buffering modes, on the recording device (CPU
// cost of building and encoding) and on the OpenGL driver (llvmpipe under
// xvfb-run, waiting for the GPU); `yes` scrolling (frames per second and
// pool allocations per frame); all 11,172 Hangul syllables paged through
// the atlas (frame time at a reset, builds per frame); the longest frame.
// The OpenGL frames report real time and the process's CPU time (the
// driver's raster threads included), the time spent building and encoding
// and the time waiting for the driver to finish, and per frame the draws,
// buffers made, buffer writes and kilobytes uploaded.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QWindow>

#include <memory>
#include <string>

#include "bench/support/BenchFont.h"
#include "corvel/gl/GlDevice.h"
#include "corvel/gl/MetalGpuPath.h"
#include "corvel/gl/MetalSurface.h"
#include "corvel/gl/MetalTerminalRenderer.h"
#include "corvel/gl/OpenGlSetup.h"
#include "corvel/gl/RecordingGpuDevice.h"
#include "corvel/qt/TerminalView.h"
#include "corvel/terminal/Terminal.h"

using namespace corvel;
using namespace corvel::gl;

namespace {

constexpr int kCols = 200;
constexpr int kRows = 60;

std::unique_ptr<TerminalView> makeView()
{
    auto view = std::make_unique<TerminalView>(QRect(0, 0, 100, 100), bench::benchFont(12));
    const QSizeF cell = *view->cellDimension();
    view->resize(int(std::ceil(cell.width() * kCols + view->scrollerWidth())), int(std::ceil(cell.height() * kRows)));
    // A hidden widget gets its resize event only when shown.
    view->resizeTerminal(kCols, kRows);
    return view;
}

// A screenful of one kind of text.
std::string screen(int kind)
{
    std::string out = "\x1b[H";
    for (int row = 0; row < kRows; ++row) {
        for (int col = 0; col < kCols;) {
            switch (kind) {
            case 0: out += char('!' + (row + col) % 90); ++col; break;
            case 1:
                out += "\x1b[" + std::to_string(31 + col % 7) + ";" + std::to_string(40 + (row + col) % 8) +
                       (col % 3 ? ";1m" : ";4m") + char('a' + col % 26);
                ++col;
                break;
            default:
                if (col % 10 == 8) {
                    out += "\xf0\x9f\x98\x80";
                } else {
                    const char32_t c = 0x4E00 + char32_t((row * kCols + col) % 3000);
                    out += QString::fromUcs4(&c, 1).toStdString();
                }
                col += 2;
                break;
            }
        }
        if (row + 1 < kRows) out += "\r\n";
    }
    return out + "\x1b[0m";
}

const char* kindName(int kind) { return kind == 0 ? "ascii" : kind == 1 ? "sgr" : "cjk_emoji"; }

// The recording device behind a renderer of a hidden view.
struct FakeFrames {
    std::shared_ptr<RecordingGpuDevice> device = std::make_shared<RecordingGpuDevice>();
    std::unique_ptr<TerminalView> view = makeView();
    std::unique_ptr<MetalTerminalRenderer> renderer;
    FrameTarget target;
    FakeFrames(double scale)
    {
        RendererSetup setup;
        setup.makeDevice = [d = device] { return d; };
        renderer = std::make_unique<MetalTerminalRenderer>(nullptr, view.get(), setup);
        target.drawableSize = view->size() * scale;
        target.scale = scale;
    }
    void frame()
    {
        device->signalAllFences();
        renderer->pollFrameCompletion();
        device->draws.clear();
        renderer->drawFrame(target);
    }
};

void markAll(TerminalView& view) { view.metalDirtyRange = std::pair<int64_t, int64_t>(0, 1'000'000); }

// What the view's redraw task does with the terminal's updated rows.
void deliverUpdates(TerminalView& view)
{
    Terminal& terminal = view.getTerminal();
    const auto range = terminal.getUpdateRange();
    if (!range) return;
    terminal.clearUpdateRange();
    const int64_t yDisp = terminal.displayBuffer().yDisp();
    view.markMetalRowsDirty(range->first + yDisp, range->second + yDisp);
}

// Args: kind, scale, aggregated, cached.
void BM_FrameFake(benchmark::State& state)
{
    const int kind = int(state.range(0));
    const double scale = double(state.range(1));
    FakeFrames f(scale);
    if (state.range(2)) f.view->metalBufferingMode = MetalBufferingMode::perFrameAggregated;
    const bool cached = state.range(3) != 0;
    f.view->getTerminal().feed(screen(kind));
    f.frame();
    f.frame();
    int rebuilt = 0;
    for (auto _ : state) {
        if (cached) {
            f.renderer->blinkTick();
        } else {
            markAll(*f.view);
        }
        f.frame();
        rebuilt += f.renderer->lastBuild().rowsRebuilt;
    }
    state.SetLabel(std::string(kindName(kind)) + (state.range(2) ? " aggregated" : " per-row") +
                   (cached ? " cached" : " rebuild"));
    state.counters["rows_rebuilt"] = benchmark::Counter(rebuilt, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_FrameFake)
    ->ArgsProduct({{0, 1, 2}, {1, 2}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

// `yes` output: one line per frame at the bottom, per-frame buffering.
void BM_YesScrollingFake(benchmark::State& state)
{
    FakeFrames f(1.0);
    f.view->metalBufferingMode = state.range(0) ? MetalBufferingMode::perFrameAggregated
                                                : MetalBufferingMode::perRowPersistent;
    for (int i = 0; i < kRows; ++i) f.view->getTerminal().feed("y\r\n");
    for (int i = 0; i < 8; ++i) f.frame();  // the pool's idle lists fill
    const auto allocationsBefore = f.renderer->bufferPool().allocations();
    int64_t rowBuffers = 0, rebuilt = 0;
    for (auto _ : state) {
        f.view->getTerminal().feed("y\r\n");
        deliverUpdates(*f.view);
        f.frame();
        rebuilt += f.renderer->lastBuild().rowsRebuilt;
        rowBuffers += f.renderer->lastBuild().rowBuffersMade;
    }
    state.SetLabel(state.range(0) ? "aggregated" : "per-row");
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["pool_allocs_per_frame"] =
        double(f.renderer->bufferPool().allocations() - allocationsBefore) / double(state.iterations());
    state.counters["row_buffers_per_frame"] = double(rowBuffers) / double(state.iterations());
    state.counters["rows_rebuilt"] = double(rebuilt) / double(state.iterations());
}
BENCHMARK(BM_YesScrollingFake)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// All Hangul syllables, a page per frame at scale 2: the atlas fills up and
// empties itself; a frame that resets it builds twice.
void BM_HangulPagedFake(benchmark::State& state)
{
    FakeFrames f(2.0);
    const int perPage = kCols / 2 * kRows;
    char32_t next = 0xAC00;
    int64_t resets = 0, builds = 0, frames = 0;
    int64_t longestResetNanos = 0;
    for (auto _ : state) {
        std::string page = "\x1b[H";
        for (int i = 0; i < perPage; ++i) {
            page += QString::fromUcs4(&next, 1).toStdString();
            next = next == 0xD7A3 ? 0xAC00 : next + 1;
        }
        f.view->getTerminal().feed(page);
        markAll(*f.view);
        QElapsedTimer clock;
        clock.start();
        f.frame();
        const int64_t nanos = clock.nsecsElapsed();
        builds += f.renderer->lastBuild().builds;
        ++frames;
        if (f.renderer->lastBuild().builds > 1) {
            ++resets;
            longestResetNanos = std::max(longestResetNanos, nanos);
        }
    }
    state.counters["builds_per_frame"] = double(builds) / double(frames);
    state.counters["reset_frames"] = double(resets);
    state.counters["longest_reset_frame_ms"] = double(longestResetNanos) / 1e6;
    state.counters["longest_frame_ms"] = double(f.renderer->longestFrameNanos()) / 1e6;
}
BENCHMARK(BM_HangulPagedFake)->Unit(benchmark::kMillisecond)->Iterations(12);

// The same frames on the OpenGL driver, waiting for the GPU each frame.
struct GlFrames {
    QWidget window;
    TerminalView* view;
    MetalSurface* surface = nullptr;
    MetalTerminalRenderer* renderer = nullptr;
    bool ok = false;
    explicit GlFrames(int kind)
    {
        view = makeView().release();
        view->setParent(&window);
        window.resize(view->size());
        window.show();
        QElapsedTimer wait;
        wait.start();
        while (!(window.windowHandle() && window.windowHandle()->isExposed()) && wait.elapsed() < 20000)
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        view->getTerminal().feed(screen(kind));
        try {
            view->setUseMetal(true);
        } catch (const std::exception&) {
            return;
        }
        surface = static_cast<MetalSurface*>(view->metalView());
        renderer = metalRendererOf(*view);
        ok = surface && renderer;
    }
    // Time spent building and encoding (GUI thread) and waiting for the
    // driver to finish the frame, summed over frames.
    int64_t encodeNanos = 0, finishNanos = 0;
    void frame()
    {
        surface->makeCurrent();
        QOpenGLContext::currentContext()->functions()->glBindFramebuffer(GL_FRAMEBUFFER,
                                                                        surface->defaultFramebufferObject());
        FrameTarget target;
        target.drawableSize = surface->drawableSize();
        target.scale = surface->devicePixelRatioF();
        QElapsedTimer clock;
        clock.start();
        renderer->drawFrame(target);
        encodeNanos += clock.nsecsElapsed();
        clock.restart();
        QOpenGLContext::currentContext()->functions()->glFinish();
        finishNanos += clock.nsecsElapsed();
        renderer->pollFrameCompletion();
        surface->doneCurrent();
    }
    const GlDevice::Counters* counters() const
    {
        auto* gl = dynamic_cast<const GlDevice*>(&renderer->device());
        return gl ? &gl->counters() : nullptr;
    }
};

// Args: kind, aggregated, cached.
void BM_FrameOpenGl(benchmark::State& state)
{
    if (qEnvironmentVariable("QT_QPA_PLATFORM") != QLatin1String("xcb")) {
        state.SkipWithError("needs an X server (xvfb-run)");
        return;
    }
    GlFrames g(int(state.range(0)));
    if (!g.ok) {
        state.SkipWithError("no OpenGL device");
        return;
    }
    if (state.range(1)) g.view->metalBufferingMode = MetalBufferingMode::perFrameAggregated;
    const bool cached = state.range(2) != 0;
    g.frame();
    g.frame();
    g.encodeNanos = g.finishNanos = 0;
    const GlDevice::Counters before = g.counters() ? *g.counters() : GlDevice::Counters{};
    for (auto _ : state) {
        if (cached) {
            g.renderer->blinkTick();
        } else {
            markAll(*g.view);
        }
        g.frame();
    }
    const double frames = double(state.iterations());
    state.counters["encode_ms"] = double(g.encodeNanos) / 1e6 / frames;
    state.counters["finish_ms"] = double(g.finishNanos) / 1e6 / frames;
    if (const GlDevice::Counters* after = g.counters()) {
        state.counters["draws"] = double(after->draws - before.draws) / frames;
        state.counters["buffers_made"] = double(after->buffersCreated - before.buffersCreated) / frames;
        state.counters["buffer_writes"] = double(after->bufferWrites - before.bufferWrites) / frames;
        state.counters["upload_kb"] = double(after->bytesWritten - before.bytesWritten) / 1024 / frames;
    }
    state.SetLabel(std::string(kindName(int(state.range(0)))) + (state.range(1) ? " aggregated" : " per-row") +
                   (cached ? " cached" : " rebuild") + " scale " + std::to_string(int(g.surface->devicePixelRatioF())));
    state.counters["longest_frame_ms"] = double(g.renderer->longestFrameNanos()) / 1e6;
    g.view->setUseMetal(false);
}
BENCHMARK(BM_FrameOpenGl)
    ->ArgsProduct({{0, 1, 2}, {0, 1}, {0, 1}})
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", qEnvironmentVariableIsEmpty("DISPLAY") ? "offscreen" : "xcb");
    prepareOpenGlApplication();
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
