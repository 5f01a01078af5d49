// One hostile cell must not take the others down. Two embedded cells side
// by side in one window: the first one's login "shell" cats a stream that a
// buggy or hostile program might write (and never reads its input), while
// keys are typed into the second one, whose shell is a `cat` in raw mode that
// echoes them. A key is due every 20 ms; each is sent as soon as the GUI
// thread gets to it and counts as late by the time from when it was due
// until its echo reached the second cell's view:
//   late_p50_ms, late_p99_ms, late_max_ms  the keys' lateness;
//   keys                                   keys typed while the stream ran;
//   seconds                                until the first cell's cat ended
//                                          (or `capped`, 1, when it was still
//                                          running after kCapSeconds);
//   rss_growth_MB                          resident memory at the end less
//                                          before the stream;
//   timer_late_p99_ms, timer_late_max_ms   how late a 16 ms timer on the GUI
//                                          thread ran meanwhile (which tells
//                                          the GUI thread's share of the
//                                          keys' lateness from the rest).
// The window is 1400x700, or 1400x1000 for the streams of stacked pictures.
// The first cell's terminal is in raw mode, and its cat writes the stream as
// many times as the second argument says (once, as a program would; or
// enough times to last some seconds, for more keys). The streams
// (bench/support/HostileStreams.h), by the first argument:
//   0  20,000 chained relative Kitty placements
//   1  100,000 plain Kitty placements of 1x1 images
//   2  20 MB of cursor position requests
//   3  20 MB of setting requests (DECRQSS)
//   4  2,000,000 1x1 Kitty images, never shown
//   5  for comparison, 20 MB of plain text lines (a busy but harmless cell)
//   6  2,000 Kitty placements of 77x40 cells, each over the one before
//   7  4,000 sixels of 2000x600 pixels, each over the one before
// Offscreen unless QT_QPA_PLATFORM names another platform.
#include "bench/support/HostileStreams.h"
#include "bench/support/QtBenchmarkMain.h"
#include "bench/support/QtTimerLatenessProbe.h"
#include "app/adapters/embedded/EmbeddedAdapter.h"
#include "app/adapters/embedded/HookedPaneKit.h"
#include "corvel/qt/TerminalView.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QGridLayout>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using corvel::Nanos;
using corvel::monotonicNanos;
using tilebay::EmbeddedAdapter;

constexpr Nanos kKeyPeriod = 20'000'000;
constexpr int kCapSeconds = 90;

bool pumpUntil(const std::function<bool()>& done, int boundMs)
{
    QDeadlineTimer deadline(boundMs);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

double residentMegabytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    }
    return 0;
}

class TempFolder {
public:
    TempFolder()
    {
        char pattern[] = "/tmp/tilebay-hostile-XXXXXX";
        if (const char* made = mkdtemp(pattern)) path_ = made;
    }
    ~TempFolder()
    {
        std::error_code ec;
        if (!path_.empty()) fs::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

std::string stream(int kind)
{
    switch (kind) {
    case 0: return bench::chainedPlacements(20000);
    case 1: return bench::plainPlacements(100000);
    case 2: return bench::cursorReports(20u << 20);
    case 3: return bench::settingRequests(20u << 20);
    case 4: return bench::manyImages(2000000);
    case 6: return bench::stackedPlacements(2000);
    case 7: return bench::stackedSixels(4000);
    default: {
        std::string lines;
        for (int i = 0; lines.size() < (20u << 20); ++i)
            lines += "line " + std::to_string(i) + " of some ordinary program output\r\n";
        return lines;
    }
    }
}

const char* label(int kind)
{
    const char* names[] = {"chained placements", "plain placements", "cursor reports", "setting requests",
                           "many images", "plain text", "stacked placements", "stacked sixels"};
    return names[std::clamp(kind, 0, 7)];
}

std::string writeScript(const std::string& path, const std::string& body)
{
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(path, fs::perms::owner_all);
    return path;
}

// Keys due every kKeyPeriod from `start`; each is typed when the GUI thread
// gets to it, and its lateness taken when its echo arrives.
class Typist {
public:
    Typist(QWidget& target, Nanos start) : target_(target), nextDue_(start)
    {
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] { typeDue(); });
        arm();
    }

    void stop() { stopped_ = true; timer_.stop(); }

    // Bytes echoed by the second cell since the last call.
    void echoed(size_t bytes, Nanos now)
    {
        for (size_t i = 0; i < bytes && !waiting_.empty(); ++i) {
            lateness_.push_back(now - waiting_.front());
            waiting_.pop_front();
        }
    }

    const std::vector<Nanos>& lateness() const { return lateness_; }
    size_t typed() const { return typed_; }
    size_t unanswered() const { return waiting_.size(); }

private:
    void arm()
    {
        if (stopped_) return;
        timer_.start(int(std::max<Nanos>(0, nextDue_ - monotonicNanos()) / 1'000'000));
    }
    void typeDue()
    {
        const Nanos now = monotonicNanos();
        while (nextDue_ <= now && !stopped_) {
            const QChar letter(char16_t('a' + typed_ % 26));
            QKeyEvent key(QEvent::KeyPress, Qt::Key_A + int(typed_ % 26), Qt::NoModifier, QString(letter));
            waiting_.push_back(nextDue_);
            QCoreApplication::sendEvent(&target_, &key);
            ++typed_;
            nextDue_ += kKeyPeriod;
        }
        arm();
    }

    QWidget& target_;
    QTimer timer_;
    Nanos nextDue_;
    bool stopped_ = false;
    size_t typed_ = 0;
    std::deque<Nanos> waiting_;
    std::vector<Nanos> lateness_;
};

void KeysBesideAHostileCell(benchmark::State& state)
{
    const int kind = static_cast<int>(state.range(0));
    const int64_t passes = state.range(1);
    TempFolder folder;
    const std::string data = folder.path() + "/stream.bin";
    {
        std::ofstream out(data, std::ios::binary);
        out << stream(kind);
    }
    // Raw mode, as a full-screen program sets it: the terminal keeps what
    // the child does not read instead of discarding it past a line's worth.
    const std::string hostile =
        writeScript(folder.path() + "/hostile-shell", "stty raw -echo; i=0; while [ $i -lt " + std::to_string(passes) +
                                                          " ]; do cat " + data + "; i=$((i + 1)); done");
    const std::string echo = writeScript(folder.path() + "/echo-shell", "stty raw -echo; echo READY; exec cat");
    const std::string oldShell = getenv("SHELL") ? getenv("SHELL") : "";

    for (auto _ : state) {
        EmbeddedAdapter adapter(std::make_unique<tilebay::HookedPaneKit>(), tilebay::TmuxLookup::none());
        QWidget window;
        auto* grid = new QGridLayout(&window);
        grid->setSpacing(2);

        setenv("SHELL", echo.c_str(), 1);
        const QString echoId = adapter.createSession(std::nullopt, QString::fromStdString(folder.path()), {})->id();
        tilebay::EmbeddedPaneView* echoPane = adapter.primary(echoId);
        grid->addWidget(adapter.cellContentView(echoId), 0, 1);
        // Tall enough for the stacked placements' 40 rows in one cell.
        window.resize(1400, kind >= 6 ? 1000 : 700);
        window.show();
        const auto screen = [&] { return adapter.visibleText(echoId); };
        if (!pumpUntil([&] { return screen().contains(QStringLiteral("READY")); }, 10000)) {
            state.SkipWithError("the echoing cell did not start");
            break;
        }

        const double rssBefore = residentMegabytes();
        bool ended = false;
        adapter.onTerminated = [&](const QString& id) {
            if (id != echoId) ended = true;
        };
        setenv("SHELL", hostile.c_str(), 1);
        const QString hostileId = adapter.createSession(std::nullopt, QString::fromStdString(folder.path()), {})->id();
        grid->addWidget(adapter.cellContentView(hostileId), 0, 0);

        const Nanos start = monotonicNanos();
        Typist typist(echoPane->terminalView(), start + kKeyPeriod);
        corvel::bench::QtTimerLatenessProbe probe;
        probe.start();
        // The echo is what the second cell's child writes back: one byte a key.
        size_t seen = 0;
        echoPane->onData = [stamp = echoPane->onData, &typist, &seen, echoPane] {
            if (stamp) stamp();
            const std::vector<uint8_t> all = echoPane->terminalView().getTerminal().getBufferAsData();
            const size_t letters = size_t(std::count_if(all.begin(), all.end(), [](uint8_t c) { return c >= 'a' && c <= 'z'; }));
            if (letters > seen) typist.echoed(letters - seen, monotonicNanos());
            seen = std::max(seen, letters);
        };
        const bool finished = pumpUntil([&] { return ended; }, kCapSeconds * 1000);
        const Nanos end = monotonicNanos();
        typist.stop();
        probe.stop();
        // The keys still in flight get their echo.
        pumpUntil([&] { return typist.unanswered() == 0; }, 5000);

        std::vector<Nanos> late = typist.lateness();
        std::sort(late.begin(), late.end());
        const auto at = [&](double q) {
            return late.empty() ? 0.0 : double(late[std::min(late.size() - 1, size_t(q * double(late.size())))]) / 1e6;
        };
        state.counters["late_p50_ms"] = at(0.50);
        state.counters["late_p99_ms"] = at(0.99);
        state.counters["late_max_ms"] = late.empty() ? 0.0 : double(late.back()) / 1e6;
        state.counters["keys"] = double(typist.typed());
        state.counters["unanswered"] = double(typist.unanswered());
        state.counters["seconds"] = double(end - start) / 1e9;
        state.counters["capped"] = finished ? 0 : 1;
        state.counters["rss_growth_MB"] = residentMegabytes() - rssBefore;
        state.counters["timer_late_p99_ms"] = double(probe.percentile(0.99)) / 1e6;
        state.counters["timer_late_max_ms"] = double(probe.worst()) / 1e6;
        echoPane->onData = nullptr;
    }
    setenv("SHELL", oldShell.c_str(), 1);
    state.SetLabel(std::string(label(kind)) + (passes > 1 ? ", " + std::to_string(passes) + " passes" : ""));
}
BENCHMARK(KeysBesideAHostileCell)
    ->Args({0, 1})->Args({1, 1})->Args({2, 1})->Args({3, 1})->Args({4, 1})->Args({5, 1})->Args({6, 1})->Args({7, 1})
    ->Args({0, 60})->Args({1, 4})->Args({2, 4})->Args({3, 4})->Args({4, 3})->Args({5, 20})->Args({6, 20})
    ->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    return bench::runQtBenchmarks(argc, argv);
}
