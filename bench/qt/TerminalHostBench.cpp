// The terminal view as a host, end to end on real pseudo-terminals:
//   KeyToChildRead   a key event sent to a LocalProcessTerminalView until the
//                    child (cat in raw mode) has read its byte; p50 and p99 of
//                    2000 keys, in microseconds (the child writes what it
//                    reads to a FIFO that a reader thread timestamps).
//   SixteenViewsCat  16 views in one window each cat a 10 MB SGR-coloured
//                    file: throughput, redraws per second per view, and the
//                    lateness of a 16 ms timer on the GUI thread (p99, worst)
//                    from the moment the 16 children run (their start, on the
//                    GUI thread, is reported as launch_ms); gui_cpu_share is
//                    the GUI thread's CPU time over the run's real time, low
//                    when the machine's other work keeps it waiting;
//                    late_own_* leave out the time the GUI thread waited for
//                    a processor (see QtTimerLatenessProbe).
//   PasteMegabyte    1 MB pasted into `wc -c`: the timer's worst lateness.
//   YesInterrupt/N   N views (8, then 1) in one window each run `yes`; Ctrl+C
//                    in one of them, then a status request (ESC [ 6 n) typed
//                    after it: the time until the view answers it, that is
//                    until its screen caught up with its program (catchup_ms:
//                    p50 and worst of a few rounds), with the bytes it had
//                    read ahead at the interrupt (the most, and the most it
//                    was allowed) and the views' throughput together.
//   OneViewYes       one view shows 100 MB of `yes`: its throughput.
// Offscreen unless QT_QPA_PLATFORM names another platform.
#include "bench/support/BenchFont.h"
#include "bench/support/QtBenchmarkMain.h"
#include "bench/support/QtTimerLatenessProbe.h"
#include "corvel/qt/LocalProcessTerminalView.h"
#include "corvel/qt/QtMainQueue.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QGridLayout>
#include <QKeyEvent>
#include <QWidget>
#include <QWindow>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <optional>
#include <cstdio>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using corvel::LocalProcessTerminalView;
using corvel::Nanos;
using corvel::monotonicNanos;

struct EndRecorder : corvel::LocalProcessTerminalViewDelegate {
    int ended = 0;
    void sizeChanged(LocalProcessTerminalView&, int, int) override {}
    void setTerminalTitle(LocalProcessTerminalView&, const std::string&) override {}
    void hostCurrentDirectoryUpdate(LocalProcessTerminalView&, const std::optional<std::string>&) override {}
    void processTerminated(LocalProcessTerminalView&, std::optional<int32_t>) override { ++ended; }
};

bool pumpUntil(const std::function<bool()>& done, int boundMs = 120000)
{
    QDeadlineTimer deadline(boundMs);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// CPU time of the calling thread.
Nanos threadCpuNanos()
{
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return Nanos(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// A view that counts what it is fed and notes when it answers a cursor
// position request (ESC [ row ; col R).
class AnswerTimingView : public LocalProcessTerminalView {
public:
    using LocalProcessTerminalView::LocalProcessTerminalView;
    using LocalProcessTerminalView::sendReply;

    void sendReply(corvel::TerminalView& source, std::span<const uint8_t> data) override
    {
        if (!data.empty() && data.back() == 'R' && answeredAt == 0) answeredAt = monotonicNanos();
        LocalProcessTerminalView::sendReply(source, data);
    }
    void dataReceived(std::span<const uint8_t> slice) override
    {
        received += slice.size();
        LocalProcessTerminalView::dataReceived(slice);
    }

    Nanos answeredAt = 0;
    uint64_t received = 0;
};

bool screenShows(LocalProcessTerminalView& view, const std::string& text)
{
    const std::vector<uint8_t> data = view.getTerminal().getBufferAsData();
    return std::string(data.begin(), data.end()).find(text) != std::string::npos;
}

// ---- key to child ----

void BM_KeyToChildRead(benchmark::State& state)
{
    const std::string fifo = "/tmp/corvel-keybench-" + std::to_string(getpid());
    ::unlink(fifo.c_str());
    if (::mkfifo(fifo.c_str(), 0600) != 0) {
        state.SkipWithError("mkfifo failed");
        return;
    }
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<Nanos> readAt;
    std::atomic<bool> done{false};
    std::thread reader([&] {
        const int fd = ::open(fifo.c_str(), O_RDONLY);
        char buffer[256];
        while (fd >= 0) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0) break;
            const Nanos now = monotonicNanos();
            std::lock_guard<std::mutex> guard(mutex);
            for (ssize_t i = 0; i < n; ++i) readAt.push_back(now);
            arrived.notify_all();
        }
        if (fd >= 0) ::close(fd);
        done = true;
    });

    LocalProcessTerminalView view(QRect(0, 0, 640, 400));
    view.setFont(bench::benchFont(12));
    view.show();
    view.startProcess("/bin/sh", {"-c", "stty raw -echo; echo READY; exec cat > " + fifo});
    pumpUntil([&] { return screenShows(view, "READY"); });

    std::vector<Nanos> latencies;
    for (auto _ : state) {
        latencies.clear();
        for (int i = 0; i < 2000; ++i) {
            size_t before;
            {
                std::lock_guard<std::mutex> guard(mutex);
                before = readAt.size();
            }
            QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
            const Nanos start = monotonicNanos();
            QCoreApplication::sendEvent(&view, &key);
            std::unique_lock<std::mutex> lock(mutex);
            if (!arrived.wait_for(lock, std::chrono::seconds(10), [&] { return readAt.size() > before; })) {
                state.SkipWithError("the child read nothing");
                break;
            }
            latencies.push_back(readAt[before] - start);
        }
    }
    view.terminate();
    reader.join();
    ::unlink(fifo.c_str());
    if (latencies.empty()) return;
    std::sort(latencies.begin(), latencies.end());
    auto at = [&](double q) { return double(latencies[std::min(latencies.size() - 1, size_t(q * double(latencies.size())))]) / 1000.0; };
    state.counters["p50_us"] = at(0.50);
    state.counters["p99_us"] = at(0.99);
    state.counters["max_us"] = double(latencies.back()) / 1000.0;
}
BENCHMARK(BM_KeyToChildRead)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- sixteen views ----

// About 10 MB of 80-column lines, every cell with its own palette and
// direct colour and every other one bold.
std::string writeSgrFile()
{
    const std::string path = "/tmp/corvel-sgr-" + std::to_string(getpid()) + ".txt";
    std::ofstream out(path, std::ios::binary);
    size_t written = 0;
    std::string line;
    for (int row = 0; written < 10u * 1000u * 1000u; ++row) {
        line.clear();
        for (int col = 0; col < 80; ++col) {
            const int n = (row * 7 + col) % 256;
            line += "\x1b[" + std::string(col % 2 ? "1;" : "") + "38;5;" + std::to_string(n) + ";48;2;" +
                    std::to_string(n) + ";" + std::to_string(255 - n) + ";" + std::to_string((n * 3) % 256) + "m";
            line += char('!' + (row + col) % 90);
        }
        line += "\x1b[0m\r\n";
        out << line;
        written += line.size();
    }
    return path;
}

void BM_SixteenViewsCat(benchmark::State& state)
{
    const std::string path = writeSgrFile();
    struct stat info{};
    ::stat(path.c_str(), &info);
    const double megabytes = double(info.st_size) * 16 / 1e6;

    for (auto _ : state) {
        QWidget window;
        auto* grid = new QGridLayout(&window);
        grid->setSpacing(2);
        auto ends = std::make_shared<EndRecorder>();
        std::vector<LocalProcessTerminalView*> views;
        for (int i = 0; i < 16; ++i) {
            auto* view = new LocalProcessTerminalView(&window);
            view->setFont(bench::benchFont(12));
            view->setProcessDelegate(ends);
            views.push_back(view);
            grid->addWidget(view, i / 4, i % 4);
        }
        window.resize(1600, 900);
        window.show();
        // The empty window is shown and painted once before the run.
        pumpUntil([&] { return window.windowHandle() && window.windowHandle()->isExposed(); }, 5000);
        window.repaint();
        std::vector<uint64_t> before;
        for (auto* view : views) before.push_back(view->displayUpdates());

        corvel::bench::QtTimerLatenessProbe probe;
        const Nanos start = monotonicNanos();
        for (auto* view : views) view->startProcess("/bin/cat", {path});
        const Nanos launched = monotonicNanos();
        const Nanos cpuStart = threadCpuNanos();
        probe.start();
        if (!pumpUntil([&] { return ends->ended == 16; })) state.SkipWithError("the cats did not finish");
        const Nanos end = monotonicNanos();
        const double seconds = double(end - start) / 1e9;
        probe.stop();
        state.counters["launch_ms"] = double(launched - start) / 1e6;
        state.counters["gui_cpu_share"] = double(threadCpuNanos() - cpuStart) / double(end - launched);

        double redraws = 0;
        double busiest = 0;
        for (size_t i = 0; i < views.size(); ++i) {
            const double perSecond = double(views[i]->displayUpdates() - before[i]) / seconds;
            redraws += perSecond;
            busiest = std::max(busiest, perSecond);
        }
        state.counters["MB_per_s"] = megabytes / seconds;
        state.counters["seconds"] = seconds;
        state.counters["redraws_per_s_view"] = redraws / double(views.size());
        state.counters["redraws_per_s_max"] = busiest;
        state.counters["late_p99_ms"] = double(probe.percentile(0.99)) / 1e6;
        state.counters["late_worst_ms"] = double(probe.worst()) / 1e6;
        state.counters["late_own_p99_ms"] = double(probe.ownPercentile(0.99)) / 1e6;
        state.counters["late_own_worst_ms"] = double(probe.ownWorst()) / 1e6;
        state.counters["ticks"] = double(probe.ticks());
    }
    ::unlink(path.c_str());
}
BENCHMARK(BM_SixteenViewsCat)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- paste ----

void BM_PasteMegabyte(benchmark::State& state)
{
    std::string paste;
    const std::string line = std::string(63, 'p') + "\n";
    while (paste.size() < (1u << 20)) paste += line;

    for (auto _ : state) {
        LocalProcessTerminalView view(QRect(0, 0, 640, 400));
        view.setFont(bench::benchFont(12));
        view.show();
        view.startProcess("/bin/sh", {"-c", "stty -echo; echo READY; wc -c"});
        pumpUntil([&] { return screenShows(view, "READY"); });
        corvel::bench::QtTimerLatenessProbe probe;
        probe.start();
        const Nanos start = monotonicNanos();
        view.insertText(paste, true);
        view.send(std::string_view("\x04"));
        if (!pumpUntil([&] { return screenShows(view, "1048576"); })) state.SkipWithError("wc did not count");
        // Keep the timer running for a few more ticks after the count.
        const size_t ticks = probe.ticks();
        pumpUntil([&] { return probe.ticks() >= ticks + 3; }, 5000);
        probe.stop();
        state.counters["seconds"] = double(monotonicNanos() - start) / 1e9;
        state.counters["late_worst_ms"] = double(probe.worst()) / 1e6;
        view.terminate();
    }
}
BENCHMARK(BM_PasteMegabyte)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- interrupting one of many busy views ----

void pumpFor(Nanos duration)
{
    const Nanos until = monotonicNanos() + duration;
    while (monotonicNanos() < until) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// `count` views in `window`, each the size of a cell of a grid of two rows
// of four, shown, each running `script` in sh.
std::vector<AnswerTimingView*> startBusyViews(QWidget& window, int count, const std::string& script)
{
    auto* grid = new QGridLayout(&window);
    grid->setSpacing(2);
    std::vector<AnswerTimingView*> views;
    for (int i = 0; i < count; ++i) {
        auto* view = new AnswerTimingView(&window);
        view->setFont(bench::benchFont(12));
        views.push_back(view);
        grid->addWidget(view, i / 4, i % 4);
    }
    window.resize(400 * std::min(count, 4), 450 * ((count + 3) / 4));
    window.show();
    pumpUntil([&] { return window.windowHandle() && window.windowHandle()->isExposed(); }, 5000);
    for (auto* view : views) view->startProcess("/bin/sh", {"-c", script});
    return views;
}

// Ctrl+C typed into `view`, then a cursor position request.
void interruptAndAsk(AnswerTimingView& view)
{
    view.answeredAt = 0;
    QKeyEvent interrupt(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier, QStringLiteral("\x03"));
    QCoreApplication::sendEvent(&view, &interrupt);
    view.send(std::string_view("\x1b[6n"));
}

// Milliseconds from the interrupt to `view`'s answer; none when it never came.
std::optional<double> interruptAndTime(AnswerTimingView& view)
{
    const Nanos start = monotonicNanos();
    interruptAndAsk(view);
    if (!pumpUntil([&] { return view.answeredAt != 0; }, 120000)) return std::nullopt;
    return double(view.answeredAt - start) / 1e6;
}

// Interrupts `view` and keeps the time to its answer in `catchups`; false
// (the benchmark marked failed) when the answer never came.
bool timeInterrupt(benchmark::State& state, AnswerTimingView& view, std::vector<double>& catchups)
{
    const std::optional<double> catchup = interruptAndTime(view);
    if (!catchup) {
        state.SkipWithError("the interrupted view never answered");
        return false;
    }
    catchups.push_back(*catchup);
    return true;
}

// The median and worst catch-up of the rounds, as counters.
void reportCatchups(benchmark::State& state, std::vector<double>& catchups)
{
    std::sort(catchups.begin(), catchups.end());
    state.counters["catchup_p50_ms"] = catchups[catchups.size() / 2];
    state.counters["catchup_worst_ms"] = catchups.back();
}

void BM_YesInterrupt(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    constexpr int kRounds = 5;
    constexpr Nanos kBusyNs = 2'000'000'000;  // each view's read-ahead fills meanwhile
    // The shell outlives Ctrl+C (its trap is a command, which `yes` does not
    // inherit) and waits for a line before the next round's `yes`; the
    // terminal echoes what is typed as it is, so the request reaches the view
    // right behind what `yes` wrote before it ended.
    const std::string script = "stty -echoctl; trap : INT; while :; do yes; read line; done";

    for (auto _ : state) {
        QWidget window;
        const std::vector<AnswerTimingView*> views = startBusyViews(window, count, script);

        AnswerTimingView& target = *views[0];
        std::vector<double> catchups;
        double readAhead = 0;
        double limit = 0;
        Nanos busyTotal = 0;
        uint64_t receivedBusy = 0;
        for (int round = 0; round < kRounds; ++round) {
            uint64_t atStart = 0;
            for (auto* view : views) atStart += view->received;
            pumpFor(kBusyNs);
            uint64_t atEnd = 0;
            for (auto* view : views) atEnd += view->received;
            receivedBusy += atEnd - atStart;
            busyTotal += kBusyNs;
            readAhead = std::max(readAhead, double(target.process().pendingBytes()));
            limit = std::max(limit, double(target.process().readAheadLimit()));

            if (!timeInterrupt(state, target, catchups)) break;
            target.send(std::string_view("\r"));  // the next round's `yes`
        }
        for (auto* view : views) view->terminate();
        if (catchups.empty()) continue;
        reportCatchups(state, catchups);
        state.counters["read_ahead_max_MiB"] = readAhead / double(1u << 20);
        state.counters["read_ahead_limit_max_MiB"] = limit / double(1u << 20);
        state.counters["MB_per_s"] = double(receivedBusy) / 1e6 / (double(busyTotal) / 1e9);
    }
}
BENCHMARK(BM_YesInterrupt)->Arg(8)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- interrupting a view that was busy alone until others joined ----

// The interrupted view reads ahead at the rate it had alone; `joinMs` after
// the others start, it is interrupted while that read-ahead drains at its
// new, smaller share of the main thread.
void BM_YesInterruptJoined(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    const Nanos joinNs = state.range(1) * 1'000'000;
    constexpr int kRounds = 5;
    constexpr Nanos kAloneNs = 2'000'000'000;
    // Each shell waits for a line, runs `yes` until Ctrl+C, and waits again.
    const std::string script = "stty -echoctl; trap : INT; while :; do read line; yes; done";

    for (auto _ : state) {
        QWidget window;
        const std::vector<AnswerTimingView*> views = startBusyViews(window, count, script);
        pumpFor(200'000'000);

        AnswerTimingView& target = *views[0];
        std::vector<double> catchups;
        double readAhead = 0;
        for (int round = 0; round < kRounds; ++round) {
            target.send(std::string_view("\r"));
            pumpFor(kAloneNs);
            for (size_t i = 1; i < views.size(); ++i) views[i]->send(std::string_view("\r"));
            pumpFor(joinNs);
            readAhead = std::max(readAhead, double(target.process().pendingBytes()));
            if (!timeInterrupt(state, target, catchups)) break;
            // The others stop too, and every view is idle before the next round.
            for (size_t i = 1; i < views.size(); ++i) interruptAndAsk(*views[i]);
            pumpUntil([&] {
                return std::all_of(views.begin() + 1, views.end(), [](auto* v) { return v->answeredAt != 0; });
            }, 120000);
        }
        for (auto* view : views) view->terminate();
        if (catchups.empty()) continue;
        reportCatchups(state, catchups);
        state.counters["read_ahead_max_MiB"] = readAhead / double(1u << 20);
    }
}
BENCHMARK(BM_YesInterruptJoined)->Args({8, 50})->Args({8, 300})->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- one busy view ----

void BM_OneViewYes(benchmark::State& state)
{
    constexpr uint64_t kBytes = 100'000'000;
    for (auto _ : state) {
        auto ends = std::make_shared<EndRecorder>();
        AnswerTimingView view(QRect(0, 0, 400, 450));
        view.setFont(bench::benchFont(12));
        view.setProcessDelegate(ends);
        view.show();
        pumpUntil([&] { return view.windowHandle() && view.windowHandle()->isExposed(); }, 5000);
        const Nanos start = monotonicNanos();
        // Raw, so the count is what `head` writes (no carriage returns added).
        view.startProcess("/bin/sh", {"-c", "stty raw -echo; yes | head -c " + std::to_string(kBytes)});
        if (!pumpUntil([&] { return ends->ended == 1; })) state.SkipWithError("yes did not finish");
        const double seconds = double(monotonicNanos() - start) / 1e9;
        state.counters["MB_per_s"] = double(view.received) / 1e6 / seconds;
        state.counters["seconds"] = seconds;
        state.counters["read_ahead_limit_MiB"] = double(view.process().readAheadLimit()) / double(1u << 20);
    }
}
BENCHMARK(BM_OneViewYes)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    return bench::runQtBenchmarks(argc, argv);
}
