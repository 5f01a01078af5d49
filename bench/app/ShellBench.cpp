// The application shell's own costs, on the offscreen platform with real
// shells (bash, with a home folder of its own):
//  - start to first frame, and to a prompt in every cell, with 16 restored
//    embedded cells, as plain shells and as tmux clients re-attaching to 16
//    running tmux sessions;
//  - frame intervals of the expanded cell's animation (expand and collapse,
//    about 240 ms each) while 16 tiles show panes that print without pause.
// Times are wall-clock, measured by hand (manual time); the counters give
// milliseconds.
#include <benchmark/benchmark.h>

#include "app/adapters/embedded/PTYProcess.h"
#include "app/persistence/LayoutDoc.h"
#include "app/shell/MainWindow.h"
#include "app/shell/TilebayApp.h"
#include "app/ui/expanded/ExpandedView.h"
#include "corvel/platform/Dispatch.h"
#include "corvel/qt/QtMainQueue.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QPointer>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

using namespace tilebay;
namespace fs = std::filesystem;

namespace {

QApplication& benchApp()
{
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) return *app;
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "bench_ShellBench";
    static char* argv[] = {name, nullptr};
    static auto* app = new QApplication(argc, argv);
    static auto queue = std::make_shared<corvel::QtMainQueue>();
    corvel::DispatchQueue::setMain(queue);
    return *app;
}

template <typename F>
bool pumpUntil(F done, int ms = 60000)
{
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

// A data folder with `cells` saved embedded cells and a home of its own.
struct Setup {
    fs::path root;
    std::vector<std::string> ids;

    Setup(int cells, bool tmux)
    {
        char pattern[] = "/tmp/tilebay-bench-XXXXXX";
        root = mkdtemp(pattern);
        setenv("HOME", root.c_str(), 1);
        setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
        setenv("TMUX_TMPDIR", root.c_str(), 1);
        setenv("SHELL", "/bin/bash", 1);
        LayoutDoc doc;
        doc.tmuxPersistence = tmux;
        for (int i = 0; i < cells; ++i) {
            CellRecord record;
            record.internalId = "benchcell" + std::to_string(i);
            record.adapterKind = AdapterKind::embedded;
            record.projectLabel = "cell " + std::to_string(i);
            doc.cells.push_back(record);
            ids.push_back(record.internalId);
        }
        fs::create_directories(root / "data" / "Tilebay");
        std::ofstream(root / "data" / "Tilebay" / "layout.json") << doc.encode().value();
    }
    ~Setup()
    {
        std::system(("tmux -S '" + (root / "tmux-0" / "default").string() + "' kill-server 2>/dev/null").c_str());
        std::system(("TMUX_TMPDIR='" + root.string() + "' tmux kill-server 2>/dev/null").c_str());
        std::error_code error;
        fs::remove_all(root, error);
    }
};

// Counts the window's paint events.
class PaintWatch final : public QObject {
public:
    std::vector<qint64> at;
    QElapsedTimer clock;
    PaintWatch() { clock.start(); }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) at.push_back(clock.nsecsElapsed());
        return false;
    }
};

bool allPrompts(TilebayApp& app)
{
    for (const auto& cell : app.store().cells())
        if (app.store().embedded().visibleText(cell->id()).trimmed().isEmpty()) return false;
    return !app.store().cells().empty();
}

void StartToFirstFrameAndPrompts(benchmark::State& state)
{
    benchApp();
    const bool tmux = state.range(1) != 0;
    if (tmux && !PTYProcess::tmuxPath(TmuxLookup::standard())) {
        state.SkipWithError("no tmux");
        return;
    }
    double frameMs = 0, promptMs = 0;
    for (auto _ : state) {
        Setup setup(static_cast<int>(state.range(0)), tmux);
        if (tmux) {
            // The sessions exist already: the cells re-attach.
            auto warm = std::make_unique<TilebayApp>(*qApp, TilebayApp::standardDependencies());
            pumpUntil([&] { return allPrompts(*warm); });
            warm.reset();
        }
        QElapsedTimer clock;
        clock.start();
        auto app = std::make_unique<TilebayApp>(*qApp, TilebayApp::standardDependencies());
        PaintWatch paints;
        app->window().installEventFilter(&paints);
        app->start();
        pumpUntil([&] { return !paints.at.empty(); });
        const qint64 frame = clock.nsecsElapsed();
        pumpUntil([&] { return allPrompts(*app); });
        const qint64 prompts = clock.nsecsElapsed();
        state.SetIterationTime(static_cast<double>(prompts) / 1e9);
        frameMs += frame / 1e6;
        promptMs += prompts / 1e6;
        app.reset();
    }
    state.counters["first_frame_ms"] = frameMs / static_cast<double>(state.iterations());
    state.counters["all_prompts_ms"] = promptMs / static_cast<double>(state.iterations());
}
BENCHMARK(StartToFirstFrameAndPrompts)
    ->Args({16, 0})
    ->Args({16, 1})
    ->ArgNames({"cells", "tmux"})
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

void ExpandCollapseFrames(benchmark::State& state)
{
    benchApp();
    Setup setup(16, false);
    auto app = std::make_unique<TilebayApp>(*qApp, TilebayApp::standardDependencies());
    app->start();
    pumpUntil([&] { return allPrompts(*app); });
    // Sixteen tiles showing their panes, every pane printing without pause.
    QWidget* grid = new QWidget(app->window().gridArea());
    auto* layout = new QGridLayout(grid);
    for (int i = 0; i < 16; ++i) {
        QWidget* content = app->store().embedded().cellContentView(QString::fromStdString(setup.ids[i]));
        layout->addWidget(content, i / 4, i % 4);
        if (state.range(0)) app->store().embedded().sendText(QString::fromStdString(setup.ids[i]), QStringLiteral("yes tile\r"));
    }
    grid->setGeometry(app->window().gridArea()->rect());
    grid->show();
    ExpandedView& overlay = *app->window().expandedView();
    overlay.raise();
    std::vector<double> intervals;
    PaintWatch paints;
    overlay.installEventFilter(&paints);
    const QString id = QString::fromStdString(setup.ids[5]);
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        paints.at.clear();
        app->store().toggleExpand(id);
        pumpUntil([&] { return overlay.phase() == ExpandedView::Phase::open; });
        overlay.collapse();
        pumpUntil([&] { return overlay.phase() == ExpandedView::Phase::hidden; });
        state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) / 1e9);
        for (size_t i = 1; i < paints.at.size(); ++i) intervals.push_back((paints.at[i] - paints.at[i - 1]) / 1e6);
        // The layout of the tiles took the panes back on collapse? Refill it.
        for (int i = 0; i < 16; ++i)
            if (QLayoutItem* item = layout->itemAtPosition(i / 4, i % 4); item && item->widget()) {
                if (!item->widget()->findChild<QWidget*>()) {
                    QWidget* old = item->widget();
                    layout->removeWidget(old);
                    delete old;
                    layout->addWidget(app->store().embedded().cellContentView(QString::fromStdString(setup.ids[i])),
                                      i / 4, i % 4);
                }
            }
    }
    std::sort(intervals.begin(), intervals.end());
    if (!intervals.empty()) {
        state.counters["frames"] = static_cast<double>(intervals.size() + state.iterations()) / state.iterations();
        state.counters["p50_ms"] = intervals[intervals.size() / 2];
        state.counters["p99_ms"] = intervals[std::min(intervals.size() - 1, intervals.size() * 99 / 100)];
    }
    for (int i = 0; i < 16; ++i) app->store().embedded().sendText(QString::fromStdString(setup.ids[i]), "\x03");
    delete grid;
    app.reset();
}
BENCHMARK(ExpandCollapseFrames)->Arg(0)->Arg(1)->ArgName("busy")->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

}  // namespace
