// End-to-end throughput of the process host: `cat` of a 100 MB file through a
// pseudo-terminal to a delegate that only counts bytes, delivered on a main
// queue that the benchmark pumps. Also reports how late a 16 ms repeating timer
// on that queue ran meanwhile, and the process's peak resident memory.
#include "bench/support/MainQueueLatenessProbe.h"
#include "corvel/host/LocalProcess.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

using namespace corvel;

namespace {

constexpr size_t kFileSize = 100u << 20;
constexpr Nanos kTimerPeriod = 16'000'000;

class CountingDelegate : public LocalProcessDelegate {
public:
    void processTerminated(LocalProcess&, std::optional<int32_t>) override { exited = true; }
    void dataReceived(std::span<const uint8_t> slice) override
    {
        bytes += slice.size();
        ++calls;
    }
    WindowSize getWindowSize() override { return WindowSize{25, 80, 0, 0}; }

    size_t bytes = 0;
    size_t calls = 0;
    bool exited = false;
};

// Written in blocks so that the file itself does not count towards peak memory.
std::string makeFile()
{
    char pattern[] = "/tmp/corvel-bench-XXXXXX";
    if (!::mkdtemp(pattern)) std::abort();
    const std::string path = std::string(pattern) + "/data";
    std::ofstream out(path, std::ios::binary);
    std::vector<char> block(1u << 20);
    uint32_t x = 1;
    for (size_t written = 0; written < kFileSize; written += block.size()) {
        for (auto& c : block) {
            x = x * 1664525u + 1013904223u;
            c = static_cast<char>(x >> 24);
        }
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    return path;
}

void BM_CatThroughPseudoTerminal(benchmark::State& state)
{
    const std::string file = makeFile();
    bench::MainQueueLatenessProbe probe(kTimerPeriod);
    RunLoopQueue* main = &probe.queue();
    size_t calls = 0;

    for (auto _ : state) {
        auto counter = std::make_shared<CountingDelegate>();
        LocalProcess process(counter);

        probe.start();

        process.startProcess("/bin/sh", {"-c", "stty raw -echo; exec cat '" + file + "'"},
                             std::vector<std::string>{"PATH=/usr/bin:/bin"});
        main->runUntil([&] { return counter->exited; }, 300'000'000'000);
        probe.stop();
        calls += counter->calls;
        if (counter->bytes != kFileSize) state.SkipWithError("incomplete output");
    }

    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
    state.counters["timer_late_max_ms"] = static_cast<double>(probe.worstLateness()) / 1e6;
    state.counters["avg_block_KiB"] =
        calls ? static_cast<double>(state.iterations() * kFileSize) / static_cast<double>(calls) / 1024.0 : 0.0;
    state.counters["peak_rss_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;

    std::remove(file.c_str());
    ::rmdir(file.substr(0, file.rfind('/')).c_str());
}

}  // namespace

BENCHMARK(BM_CatThroughPseudoTerminal)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
