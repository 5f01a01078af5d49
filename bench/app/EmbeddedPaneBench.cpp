// The embedded adapter with its real pane views:
//   SixteenPanesCat   16 cells in one window, each pane's login "shell" a cat
//                     of a 10 MB file: the share of the GUI thread's time
//                     spent in the adapter's output hook (the activity
//                     stamp), of wall time and of the thread's CPU time.
//   CreateTmuxCell    how long creating a cell with tmux on blocks the GUI
//                     thread (tmux lookup, session query, starting the
//                     client); per call, with the worst call as a counter.
// tmux runs with HOME and TMUX_TMPDIR in a temporary folder; that server is
// killed at the end. Offscreen unless QT_QPA_PLATFORM names another platform.
#include "bench/support/QtBenchmarkMain.h"
#include "app/adapters/embedded/EmbeddedAdapter.h"
#include "app/adapters/embedded/HookedPaneKit.h"
#include "app/adapters/embedded/PTYProcess.h"
#include "app/adapters/embedded/ShortCommand.h"
#include "corvel/qt/QtMainQueue.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QGridLayout>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using corvel::Nanos;
using corvel::monotonicNanos;
using tilebay::EmbeddedAdapter;

bool pumpUntil(const std::function<bool()>& done, int boundMs = 300000)
{
    QDeadlineTimer deadline(boundMs);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

Nanos threadCpuNanos()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return Nanos(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

class TempHome {
public:
    TempHome()
    {
        char pattern[] = "/tmp/tilebay-bench-XXXXXX";
        path_ = mkdtemp(pattern) ? pattern : "/tmp";
        if (const char* home = getenv("HOME")) oldHome_ = home;
        setenv("HOME", path_.c_str(), 1);
        setenv("TMUX_TMPDIR", path_.c_str(), 1);
    }
    ~TempHome()
    {
        setenv("HOME", oldHome_.c_str(), 1);
        unsetenv("TMUX_TMPDIR");
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::string oldHome_;
};

// About 10 MB of 100-column text lines, every tenth one coloured.
std::string writeTextFile(const std::string& folder)
{
    const std::string path = folder + "/ten-megabytes.txt";
    std::ofstream out(path, std::ios::binary);
    size_t written = 0;
    std::string line;
    for (int row = 0; written < 10u * 1000u * 1000u; ++row) {
        line = row % 10 == 0 ? "\x1b[3" + std::to_string(row % 8) + "m" : std::string();
        line += "row " + std::to_string(row) + " ";
        while (line.size() < 100) line += char('a' + (row + int(line.size())) % 26);
        line += "\x1b[0m\r\n";
        out << line;
        written += line.size();
    }
    return path;
}

void SixteenPanesCat(benchmark::State& state)
{
    TempHome home;
    const std::string file = writeTextFile(home.path());
    // Every pane's login shell is a cat of the file.
    const std::string shell = home.path() + "/cat-shell";
    std::ofstream(shell) << "#!/bin/sh\nexec cat " << file << "\n";
    fs::permissions(shell, fs::perms::owner_all);
    const std::string oldShell = getenv("SHELL") ? getenv("SHELL") : "";
    setenv("SHELL", shell.c_str(), 1);

    for (auto _ : state) {
        EmbeddedAdapter adapter(std::make_unique<tilebay::HookedPaneKit>(), tilebay::TmuxLookup::none());
        int ended = 0;
        adapter.onTerminated = [&](const QString&) { ++ended; };
        QWidget window;
        auto* grid = new QGridLayout(&window);
        grid->setSpacing(2);
        Nanos hook = 0;
        uint64_t chunks = 0;
        const Nanos wallStart = monotonicNanos();
        const Nanos cpuStart = threadCpuNanos();
        for (int n = 0; n < 16; ++n) {
            const QString id = adapter.createSession(std::nullopt, QString::fromStdString(home.path()), {})->id();
            tilebay::EmbeddedPaneView* pane = adapter.primary(id);
            // Output arrives only once the event loop runs: the hook is timed from the first chunk.
            pane->onData = [stamp = pane->onData, &hook, &chunks] {
                const Nanos start = monotonicNanos();
                stamp();
                hook += monotonicNanos() - start;
                ++chunks;
            };
            grid->addWidget(adapter.cellContentView(id), n / 4, n % 4);
        }
        window.resize(1600, 900);
        window.show();
        if (!pumpUntil([&] { return ended == 16; })) state.SkipWithError("the cats did not finish");
        const double wall = double(monotonicNanos() - wallStart);
        const double cpu = double(threadCpuNanos() - cpuStart);
        state.counters["seconds"] = wall / 1e9;
        state.counters["chunks"] = double(chunks);
        state.counters["hook_ns_per_chunk"] = chunks ? double(hook) / double(chunks) : 0;
        state.counters["hook_pct_of_wall"] = 100.0 * double(hook) / wall;
        state.counters["hook_pct_of_gui_cpu"] = 100.0 * double(hook) / cpu;
    }
    setenv("SHELL", oldShell.c_str(), 1);
}
BENCHMARK(SixteenPanesCat)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void CreateTmuxCell(benchmark::State& state)
{
    const auto tmux = tilebay::PTYProcess::tmuxPath(tilebay::TmuxLookup::standard());
    if (!tmux) {
        state.SkipWithError("tmux is not installed");
        return;
    }
    TempHome home;
    EmbeddedAdapter adapter(std::make_unique<tilebay::HookedPaneKit>());
    adapter.useTmux = true;
    std::vector<QString> ids;
    Nanos worst = 0;
    for (auto _ : state) {
        const Nanos start = monotonicNanos();
        ids.push_back(adapter.createSession(std::nullopt, QString::fromStdString(home.path()), {})->id());
        const Nanos took = monotonicNanos() - start;
        worst = std::max(worst, took);
        state.SetIterationTime(double(took) / 1e9);
        // Let the client start its session before the next cell queries tmux.
        state.PauseTiming();
        const std::string name = tilebay::PTYProcess::tmuxSessionName(ids.back().toStdString());
        pumpUntil([&] { return tilebay::PTYProcess::tmuxSessionExists(*tmux, name, 5'000'000'000); }, 20000);
        state.ResumeTiming();
    }
    state.counters["worst_ms"] = double(worst) / 1e6;
    for (const QString& id : ids) adapter.closeSession(id);
    tilebay::ShortCommand::run(*tmux, {"tmux", "kill-server"}, tilebay::PTYProcess::environmentArray(), 5'000'000'000);
}
BENCHMARK(CreateTmuxCell)->Iterations(20)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace

int main(int argc, char** argv)
{
    return bench::runQtBenchmarks(argc, argv);
}
