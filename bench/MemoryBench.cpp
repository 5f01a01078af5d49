// What a program's output leaves behind in a terminal's memory. Each case
// feeds an 80x25 terminal (500 lines of scrollback) a stream built to pin
// memory, then ED 2 and ED 3, and reports the bytes the process holds beyond
// what it held before the terminal was made, counted by the allocator below:
//   base_MB   the fresh terminal;
//   peak_MB   the most held at any time while the stream was fed;
//   after_MB  after ED 2 and ED 3.
// The streams: 50 MB of grapheme clusters (a CJK ideograph and two combining
// marks, all different); 300 links with 1 MiB URIs; twelve 60 MB titles, each
// pushed on the title stack; two million 1x1 Kitty images under a 64 MiB
// image quota; a chunked Kitty transfer that is never finished, sent until
// the joined text passes its cap.
// Then a child that writes 20 MB of cursor position or setting requests to a
// headless terminal and never reads the answers: the most held while it runs.
#include <benchmark/benchmark.h>

#include "bench/support/HostileStreams.h"
#include "corvel/host/HeadlessTerminal.h"
#include "corvel/terminal/Terminal.h"
#include "corvel/platform/Utf8.h"

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <memory>
#include <new>
#include <string>

// The replaced operator new and delete pair malloc with free, which the
// compiler cannot see once it inlines them into standard containers.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {

// Live and peak bytes of every allocation made through operator new.
std::atomic<int64_t> liveBytes{0};
std::atomic<int64_t> peakBytes{0};

void noteAllocated(void* p)
{
    const int64_t now = liveBytes += static_cast<int64_t>(malloc_usable_size(p));
    int64_t peak = peakBytes.load();
    while (now > peak && !peakBytes.compare_exchange_weak(peak, now)) {
    }
}

}  // namespace

void* operator new(size_t size)
{
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    noteAllocated(p);
    return p;
}

void operator delete(void* p) noexcept
{
    if (!p) return;
    liveBytes -= static_cast<int64_t>(malloc_usable_size(p));
    std::free(p);
}

void operator delete(void* p, size_t) noexcept { operator delete(p); }

namespace {

using corvel::Terminal;

class NullHost : public corvel::TerminalDelegate {
public:
    void send(Terminal&, std::span<const uint8_t>) override {}
};

constexpr double kMB = 1024.0 * 1024.0;

// Feeds what `produce` writes into a chunk, chunk by chunk, until it returns false.
void measure(benchmark::State& state, const std::function<bool(std::string&)>& produce,
             int64_t imageQuota = corvel::TerminalOptions{}.kittyImageCacheLimitBytes)
{
    for (auto _ : state) {
        const int64_t before = liveBytes.load();
        auto host = std::make_shared<NullHost>();
        corvel::TerminalOptions options;
        options.cols = 80;
        options.rows = 25;
        options.scrollback = 500;
        options.kittyImageCacheLimitBytes = imageQuota;
        auto terminal = std::make_unique<Terminal>(host, options);
        const int64_t base = liveBytes.load() - before;
        peakBytes = liveBytes.load();
        std::string chunk;
        bool more = true;
        while (more) {
            chunk.clear();
            more = produce(chunk);
            terminal->feed(chunk);
        }
        // The chunk buffer is the benchmark's, not the terminal's.
        const int64_t peak = peakBytes.load() - before - static_cast<int64_t>(chunk.capacity());
        terminal->feed("\x1b[2J\x1b[3J");
        std::string().swap(chunk);
        const int64_t after = liveBytes.load() - before;
        state.counters["base_MB"] = static_cast<double>(base) / kMB;
        state.counters["peak_MB"] = static_cast<double>(peak) / kMB;
        state.counters["after_MB"] = static_cast<double>(after) / kMB;
    }
}

void BM_DistinctClusters(benchmark::State& state)
{
    int64_t n = 0;
    int64_t bytes = 0;
    measure(state, [&](std::string& out) {
        while (out.size() < (size_t{1} << 16) && bytes < 50'000'000) {
            const size_t start = out.size();
            corvel::utf8::append(out, char32_t(0x4E00 + n % 20000));
            corvel::utf8::append(out, char32_t(0x0300 + (n / 20000) % 0x70));
            corvel::utf8::append(out, char32_t(0x0300 + (n / 20000 / 0x70) % 0x70));
            bytes += static_cast<int64_t>(out.size() - start);
            ++n;
        }
        return bytes < 50'000'000;
    });
}

void BM_HugeLinks(benchmark::State& state)
{
    int links = 0;
    const std::string uri = "http://example.com/" + std::string(size_t{1} << 20, 'u');
    measure(state, [&](std::string& out) {
        out.append("\x1b]8;;").append(uri).append("\x07link ").append(std::to_string(links));
        out.append("\x1b]8;;\x07\r\n");
        return ++links < 300;
    });
}

void BM_HugeTitles(benchmark::State& state)
{
    int titles = 0;
    const std::string title(60'000'000, 't');
    measure(state, [&](std::string& out) {
        out.append("\x1b]2;").append(title).append("\x07\x1b[22;0t");
        return ++titles < 12;
    });
}

void BM_ManyTinyImages(benchmark::State& state)
{
    constexpr int kImages = 2'000'000;
    int next = 1;
    measure(
        state,
        [&](std::string& out) {
            for (const int end = std::min(next + 1000, kImages + 1); next < end; ++next)
                out += "\x1b_Ga=t,q=2,f=32,s=1,v=1,i=" + std::to_string(next) + ";" + bench::onePixel() + "\x1b\\";
            return next <= kImages;
        },
        int64_t{64} << 20);
}

// Resident memory in bytes: now, or the peak since resetPeakResident().
int64_t residentBytes(const char* field)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field, 0) == 0) return std::stoll(line.substr(std::strlen(field))) * 1024;
    return 0;
}

void resetPeakResident()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

// The joined text grows by reallocation, which the counting allocator does
// not see: its resident peak is reported too (peak_rss_MB, over what was
// resident before).
void BM_UnfinishedChunkedTransfer(benchmark::State& state)
{
    // Chunks of 4096 characters, as clients send them, 256 to a read.
    std::string read;
    for (int i = 0; i < 256; ++i) read += "\x1b_Ga=t,f=100,m=1;" + std::string(4096, 'A') + "\x1b\\";
    size_t sent = 0;
    const int64_t resident = residentBytes("VmRSS:");
    resetPeakResident();
    measure(state, [&](std::string& out) {
        out = read;
        sent += 256 * 4096;
        return sent < (size_t{600} << 20);
    });
    state.counters["peak_rss_MB"] = static_cast<double>(residentBytes("VmHWM:") - resident) / kMB;
}

// A child that writes `stream` and never reads: what the terminal holds at
// most while its answers wait to be written.
void measureUnreadReplies(benchmark::State& state, const std::string& stream)
{
    char pattern[] = "/tmp/corvel-replies-XXXXXX";
    const std::string folder = mkdtemp(pattern) ? pattern : "";
    if (folder.empty()) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const std::string path = folder + "/stream.bin";
    std::ofstream(path, std::ios::binary) << stream;
    auto main = std::make_shared<corvel::RunLoopQueue>();
    auto previous = corvel::DispatchQueue::setMain(main);
    for (auto _ : state) {
        const int64_t before = liveBytes.load();
        peakBytes = before;
        bool ended = false;
        {
            auto terminal = corvel::HeadlessTerminal::create(nullptr, corvel::TerminalOptions{},
                                                             [&](std::optional<int32_t>) { ended = true; });
            // Raw mode, as a full-screen program sets it: the terminal keeps
            // what is not read instead of discarding it past a line's worth.
            terminal->process().startProcess("/bin/sh", {"-c", "stty raw -echo; exec cat " + path},
                                             std::vector<std::string>{"PATH=/usr/bin:/bin"});
            if (!main->runUntil([&] { return ended; }, 300'000'000'000)) state.SkipWithError("cat did not end");
        }
        state.counters["peak_MB"] = static_cast<double>(peakBytes.load() - before) / kMB;
        state.counters["after_MB"] = static_cast<double>(liveBytes.load() - before) / kMB;
    }
    corvel::DispatchQueue::setMain(previous);
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
}

void BM_UnreadCursorReports(benchmark::State& state)
{
    measureUnreadReplies(state, bench::cursorReports(20u << 20));
}

void BM_UnreadSettingReports(benchmark::State& state)
{
    measureUnreadReplies(state, bench::settingRequests(20u << 20));
}

}  // namespace

BENCHMARK(BM_ManyTinyImages)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnfinishedChunkedTransfer)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnreadCursorReports)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_UnreadSettingReports)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DistinctClusters)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HugeLinks)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HugeTitles)->Iterations(1)->Unit(benchmark::kMillisecond);
