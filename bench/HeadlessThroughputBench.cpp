// End-to-end throughput of a headless terminal: `cat` of a 100 MB file of
// coloured text through a pseudo-terminal into the emulator, delivered on a
// main queue that the benchmark pumps. Reports how late a 16 ms repeating
// timer on that queue ran meanwhile and the process's peak resident memory.
// A second benchmark feeds the same bytes to an emulator without a child, in
// reads of the same size, as `corvel-headless --feed` does.
//
// The file is /tmp/corvel-headless-bench.data; each benchmark removes it at
// its end unless CORVEL_BENCH_KEEP is "1" (to time `corvel-headless --feed` on it).
#include "bench/support/MainQueueLatenessProbe.h"
#include "corvel/host/HeadlessTerminal.h"
#include "corvel/parser/EscapeSequenceParser.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

using namespace corvel;

namespace {

constexpr size_t kFileSize = 100u << 20;
constexpr Nanos kTimerPeriod = 16'000'000;
constexpr const char* kPath = "/tmp/corvel-headless-bench.data";

// Lines of text with colour changes, some wide Korean characters, and line
// ends; written in blocks so that the file does not count towards peak memory.
void makeFile()
{
    struct stat info {};
    if (::stat(kPath, &info) == 0 && static_cast<size_t>(info.st_size) == kFileSize) return;
    std::ofstream out(kPath, std::ios::binary);
    std::string block;
    size_t written = 0;
    for (uint32_t line = 0; written < kFileSize; ++line) {
        block += "\x1b[3" + std::to_string(line % 8) + "m" + std::to_string(line) + "\x1b[0m ";
        block += line % 5 == 0 ? "터미널 출력 시험 줄입니다 " : "the quick brown fox jumps over the lazy dog ";
        block += "0123456789 abcdefghij\r\n";
        if (block.size() >= (1u << 20) || written + block.size() >= kFileSize) {
            block.resize(std::min(block.size(), kFileSize - written));
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
            written += block.size();
            block.clear();
        }
    }
}

void removeFile()
{
    const char* keep = std::getenv("CORVEL_BENCH_KEEP");
    if (!keep || std::strcmp(keep, "1") != 0) std::remove(kPath);
}

class CountingTerminal : public HeadlessTerminal {
public:
    explicit CountingTerminal(EndCallback onEnd) : HeadlessTerminal(std::move(onEnd)) {}
    void dataReceived(std::span<const uint8_t> slice) override
    {
        bytes += slice.size();
        HeadlessTerminal::dataReceived(slice);
    }
    size_t bytes = 0;
};

void BM_CatIntoHeadlessTerminal(benchmark::State& state)
{
    makeFile();
    bench::MainQueueLatenessProbe probe(kTimerPeriod);
    RunLoopQueue* main = &probe.queue();

    for (auto _ : state) {
        bool exited = false;
        auto host = HeadlessTerminal::create<CountingTerminal>(nullptr, TerminalOptions{},
                                                               [&](std::optional<int32_t>) { exited = true; });
        probe.start();

        host->process().startProcess("/bin/sh", {"-c", std::string("stty raw -echo; exec cat ") + kPath},
                                     std::vector<std::string>{"PATH=/usr/bin:/bin"});
        main->runUntil([&] { return exited; }, 300'000'000'000);
        probe.stop();
        if (host->bytes != kFileSize) state.SkipWithError("incomplete output");
    }

    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
    state.counters["timer_late_max_ms"] = static_cast<double>(probe.worstLateness()) / 1e6;
    state.counters["peak_rss_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;

    removeFile();
}

class DiscardingHost : public TerminalDelegate {
public:
    void send(Terminal&, std::span<const uint8_t>) override {}
};

void BM_FeedWithoutAChild(benchmark::State& state)
{
    makeFile();
    std::vector<uint8_t> bytes(kFileSize);
    {
        std::ifstream in(kPath, std::ios::binary);
        in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    auto main = std::make_shared<RunLoopQueue>();
    auto previous = DispatchQueue::setMain(main);
    for (auto _ : state) {
        auto host = std::make_shared<DiscardingHost>();
        Terminal terminal(host);
        for (size_t at = 0; at < bytes.size(); at += LocalProcess::readSize) {
            const size_t count = std::min(LocalProcess::readSize, bytes.size() - at);
            terminal.parser().parse(std::span(bytes.data() + at, count));
        }
        benchmark::DoNotOptimize(terminal.buffer().x());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
    DispatchQueue::setMain(previous);
    removeFile();
}

}  // namespace

BENCHMARK(BM_CatIntoHeadlessTerminal)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_FeedWithoutAChild)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
