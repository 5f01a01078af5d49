// The grid under load.
//   RelayoutZoomStep64   64 tiles with live panes (terminal views, no
//                        processes) laid out again for one zoom step: time per
//                        step, and the most resizes any pane saw in one step
//                        (also when several zoom changes arrive in one turn of
//                        the event loop, as a fast pinch delivers them).
//   SixteenTilesYes      16 tiles of real login shells each running `yes`,
//                        in a shown grid for 3 s: the p99 and worst interval
//                        between repaints of a terminal, the share of that time
//                        the GUI thread spent on the CPU, and the lateness of a
//                        16 ms timer on it. Argument 0 puts the same panes
//                        in a plain layout instead, as the baseline.
#include "app/store/SessionStore.h"
#include "app/ui/grid/GridCellView.h"
#include "app/ui/grid/GridView.h"
#include "bench/support/QtTimerLatenessProbe.h"
#include "corvel/qt/QtMainQueue.h"
#include "tests/app/ui/grid/PaneAdapter.h"
#include "tests/app/ui/grid/ShellGridSupport.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QGridLayout>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <map>
#include <vector>

using namespace tilebay;
using namespace tilebay::testing;

namespace {

QApplication& app()
{
    static int argc = 1;
    static char name[] = "bench";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication* instance = [] {
        auto* a = new QApplication(argc, argv);
        corvel::DispatchQueue::setMain(std::make_shared<corvel::QtMainQueue>());
        return a;
    }();
    return *instance;
}

// A data folder of its own, so the store saves nowhere that matters.
struct ScratchData {
    QTemporaryDir dir;
    QByteArray oldData = qgetenv("XDG_DATA_HOME");
    QByteArray oldHome = qgetenv("HOME");
    ScratchData()
    {
        qputenv("XDG_DATA_HOME", dir.path().toLocal8Bit());
        qputenv("HOME", dir.path().toLocal8Bit());
    }
    ~ScratchData()
    {
        qputenv("XDG_DATA_HOME", oldData);
        qputenv("HOME", oldHome);
    }
};

bool pumpUntil(const std::function<bool()>& done, int ms = 20000)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

class EventCounter : public QObject {
public:
    EventCounter(QEvent::Type type) : type_(type) {}
    std::map<QObject*, int> counts;
    std::map<QObject*, corvel::Nanos> last;
    std::vector<corvel::Nanos> intervals;

protected:
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (e->type() == type_) {
            ++counts[o];
            const corvel::Nanos now = corvel::monotonicNanos();
            if (auto it = last.find(o); it != last.end()) intervals.push_back(now - it->second);
            last[o] = now;
        }
        return QObject::eventFilter(o, e);
    }

private:
    QEvent::Type type_;
};

corvel::Nanos threadCpu()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return corvel::Nanos(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

void RelayoutZoomStep64(benchmark::State& state)
{
    app();
    ScratchData scratch;
    auto fake = std::make_unique<PaneAdapter>();
    PaneAdapter* panes = fake.get();
    SessionStore::Dependencies deps;
    deps.embedded = std::move(fake);
    deps.runTimer = false;
    deps.findTmux = [] { return false; };
    SessionStore store(std::move(deps));
    for (int i = 0; i < 64; ++i) store.newEmbeddedSession(QStringLiteral("cell %1").arg(i), std::nullopt, std::nullopt);
    GridView view(store);
    view.resize(1600, 1000);
    view.show();
    pumpUntil([&] { return view.isVisible(); });
    view.relayout();
    EventCounter resizes(QEvent::Resize);
    for (const auto& cell : store.cells())
        for (auto* pane : panes->paneViews(cell->id())) pane->installEventFilter(&resizes);

    const double zooms[] = {1.0, 1.1, 1.25, 1.4, 1.25, 1.1};
    size_t step = 0;
    int worst = 0;
    for (auto _ : state) {
        resizes.counts.clear();
        store.setZoom(zooms[step++ % std::size(zooms)]);
        view.relayout();
        for (const auto& [pane, n] : resizes.counts) worst = std::max(worst, n);
    }
    // A burst: three zoom changes in one turn of the event loop.
    resizes.counts.clear();
    for (double z : {2.0, 2.2, 2.4}) store.setZoom(z);
    QCoreApplication::processEvents();
    int burst = 0;
    for (const auto& [pane, n] : resizes.counts) burst = std::max(burst, n);
    state.counters["resizes_per_pane_max"] = worst;
    state.counters["burst_resizes_per_pane_max"] = burst;
}
BENCHMARK(RelayoutZoomStep64)->Unit(benchmark::kMillisecond);

void SixteenTilesYes(benchmark::State& state)
{
    app();
    ScratchData scratch;
    qputenv("SHELL", "/bin/bash");
    for (auto _ : state) {
        auto joined = gridShells(TmuxLookup::none());
        EmbeddedAdapter* shells = joined.get();
        SessionStore::Dependencies deps;
        deps.embedded = std::move(joined);
        deps.runTimer = false;
        deps.findTmux = [] { return false; };
        SessionStore store(std::move(deps));
        std::vector<QString> ids;
        for (int i = 0; i < 16; ++i)
            ids.push_back(store.newEmbeddedSession(QStringLiteral("yes %1").arg(i), std::nullopt, std::nullopt)->id());
        // Argument 1: in the grid; 0: the same panes in a plain 4 x 4 layout,
        // for comparison.
        std::unique_ptr<QWidget> view;
        if (state.range(0) == 1) {
            auto grid = std::make_unique<GridView>(store);
            grid->relayout();
            view = std::move(grid);
        } else {
            view = std::make_unique<QWidget>();
            auto* layout = new QGridLayout(view.get());
            for (int i = 0; i < 16; ++i) layout->addWidget(store.embedded().cellContentView(ids[size_t(i)]), i / 4, i % 4);
        }
        view->resize(1600, 1000);
        view->show();
        pumpUntil([&] { return view->isVisible(); });
        pumpUntil([&] {
            return std::all_of(ids.begin(), ids.end(),
                               [&](const QString& id) { return !store.embedded().visibleText(id).isEmpty(); });
        });
        for (const QString& id : ids) store.embedded().sendText(id, QStringLiteral("yes\r"));
        pumpUntil([&] {
            return std::all_of(ids.begin(), ids.end(), [&](const QString& id) {
                return store.embedded().visibleText(id).count(QStringLiteral("\ny")) > 3;
            });
        });

        EventCounter paints(QEvent::Paint);
        for (const QString& id : ids) gridShellPane(*shells, id, 0).installEventFilter(&paints);
        corvel::bench::QtTimerLatenessProbe probe;
        probe.start();
        const corvel::Nanos wall0 = corvel::monotonicNanos();
        const corvel::Nanos cpu0 = threadCpu();
        pumpUntil([] { return false; }, 3000);
        const double wall = double(corvel::monotonicNanos() - wall0);
        const double cpu = double(threadCpu() - cpu0);
        probe.stop();

        auto& iv = paints.intervals;
        std::sort(iv.begin(), iv.end());
        const auto at = [&](double q) {
            return iv.empty() ? 0.0 : double(iv[std::min(iv.size() - 1, size_t(q * double(iv.size())))]) / 1e6;
        };
        state.counters["frame_p50_ms"] = at(0.5);
        state.counters["frame_p99_ms"] = at(0.99);
        state.counters["frame_worst_ms"] = iv.empty() ? 0.0 : double(iv.back()) / 1e6;
        state.counters["main_thread_share"] = cpu / wall;
        state.counters["timer_late_p99_ms"] = double(probe.percentile(0.99)) / 1e6;
        state.counters["paints_per_s_tile"] = double(iv.size()) / (wall / 1e9) / 16.0;
        for (const QString& id : ids) store.closeCell(id);
        view.reset();
    }
}
BENCHMARK(SixteenTilesYes)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
