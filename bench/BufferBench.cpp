// Screen buffer benchmarks: plain-text throughput into a full ring at two
// scrollback sizes, resize with reflow over a long wrapped history, and one
// column of resize across a grid's worth of buffers.
//
// Global operator new is replaced to count allocations and to follow the
// bytes in use, so the benchmarks can report allocations per scrolled line
// and the peak memory a resize needs on top of the buffer itself.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "corvel/screen/Buffer.h"

namespace {
std::atomic<int64_t> allocationCount{0};
std::atomic<int64_t> liveBytes{0};
std::atomic<int64_t> peakBytes{0};

void noteAllocation(void* p)
{
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    const int64_t now =
        liveBytes.fetch_add(static_cast<int64_t>(malloc_usable_size(p)), std::memory_order_relaxed) +
        static_cast<int64_t>(malloc_usable_size(p));
    int64_t peak = peakBytes.load(std::memory_order_relaxed);
    while (now > peak && !peakBytes.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
    }
}

void noteRelease(void* p)
{
    if (p) liveBytes.fetch_sub(static_cast<int64_t>(malloc_usable_size(p)), std::memory_order_relaxed);
}
}  // namespace

// The replacements pair malloc with free; the compiler cannot see that the
// replaced operator new is the malloc below, so it would warn about the pairing.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size)
{
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    noteAllocation(p);
    return p;
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void operator delete(void* p) noexcept
{
    noteRelease(p);
    std::free(p);
}
void operator delete[](void* p) noexcept { ::operator delete(p); }
void operator delete(void* p, std::size_t) noexcept { ::operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { ::operator delete(p); }
#pragma GCC diagnostic pop

using namespace corvel;

namespace {

// The emulator's scroll for a full-width region at the top of the screen.
void installScroll(Buffer& buffer)
{
    buffer.scroll = [&buffer](bool isWrapped) {
        CircularBufferLineList& lines = buffer.lines();
        if (lines.isFull()) {
            lines.recycle(Attribute{});
            lines[lines.count() - 1].isWrapped = isWrapped;
            ++buffer.linesTop;
        } else {
            lines.push(buffer.getBlankLine(Attribute{}, isWrapped));
            buffer.setYBase(buffer.yBase() + 1);
        }
        buffer.setYDisp(buffer.yBase());
    };
}

std::unique_ptr<Buffer> makeBuffer(int cols, int rows, int scrollback)
{
    auto buffer = std::make_unique<Buffer>(cols, rows, 8, scrollback);
    buffer->fillViewportRows();
    installScroll(*buffer);
    buffer->wraparound = true;
    return buffer;
}

void newline(Buffer& buffer)
{
    buffer.setX(0);
    if (buffer.y() >= buffer.scrollBottom()) {
        buffer.scroll(false);
    } else {
        buffer.setY(buffer.y() + 1);
    }
}

void write(Buffer& buffer, const std::string& text)
{
    buffer.insertAsciiRun(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()),
                          Attribute{});
}

std::string randomText(std::mt19937& rng, size_t length)
{
    std::string text(length, ' ');
    for (char& c : text) c = static_cast<char>('!' + rng() % 94);
    return text;
}

// 100 MB of 80-column lines into a ring that is already full, so every line
// recycles the oldest one.
void BM_AsciiLinesIntoFullRing(benchmark::State& state)
{
    const int scrollback = static_cast<int>(state.range(0));
    auto buffer = makeBuffer(80, 25, scrollback);
    std::mt19937 rng(1);
    std::vector<std::string> lines;
    for (int i = 0; i < 997; ++i) lines.push_back(randomText(rng, 80));
    while (!buffer->lines().isFull()) newline(*buffer);

    constexpr int64_t totalBytes = 100'000'000;
    const int64_t lineCount = totalBytes / 80;
    int64_t allocations = 0;
    for (auto _ : state) {
        const int64_t before = allocationCount.load();
        for (int64_t i = 0; i < lineCount; ++i) {
            write(*buffer, lines[static_cast<size_t>(i % 997)]);
            newline(*buffer);
        }
        allocations += allocationCount.load() - before;
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * lineCount * 80);
    state.counters["allocs_per_line"] =
        static_cast<double>(allocations) / static_cast<double>(state.iterations() * lineCount);
}
BENCHMARK(BM_AsciiLinesIntoFullRing)->Arg(500)->Arg(100'000)->Unit(benchmark::kMillisecond)->Iterations(3);

// 10,000 wrapped rows at 120 columns (logical lines of 200 characters),
// narrowed to 80 and widened back to 120.
void BM_ResizeWrappedHistory(benchmark::State& state)
{
    auto buffer = makeBuffer(120, 50, 20'000);
    std::mt19937 rng(2);
    for (int i = 0; i < 5'000; ++i) {
        write(*buffer, randomText(rng, 200));
        newline(*buffer);
    }
    const int64_t baseline = liveBytes.load();
    int64_t extraPeak = 0;
    for (auto _ : state) {
        peakBytes.store(liveBytes.load());
        buffer->resize(80, 50);
        buffer->resize(120, 50);
        extraPeak = std::max(extraPeak, peakBytes.load() - baseline);
    }
    state.counters["rows"] = static_cast<double>(buffer->lines().count());
    state.counters["buffer_MB"] = static_cast<double>(baseline) / 1e6;
    state.counters["peak_extra_MB"] = static_cast<double>(extraPeak) / 1e6;
}
BENCHMARK(BM_ResizeWrappedHistory)->Unit(benchmark::kMillisecond);

// A grid of 16 terminals with full 500-line scrollbacks, each resized by one
// column (narrower, then wider on the next iteration).
void BM_ResizeSixteenBuffersByOneColumn(benchmark::State& state)
{
    std::vector<std::unique_ptr<Buffer>> buffers;
    std::mt19937 rng(3);
    for (int b = 0; b < 16; ++b) {
        auto buffer = makeBuffer(80, 25, 500);
        while (!buffer->lines().isFull() || buffer->linesTop < 100) {
            write(*buffer, randomText(rng, rng() % 120));
            newline(*buffer);
        }
        buffers.push_back(std::move(buffer));
    }
    bool narrower = true;
    for (auto _ : state) {
        for (auto& buffer : buffers) buffer->resize(narrower ? 79 : 80, 25);
        narrower = !narrower;
    }
}
BENCHMARK(BM_ResizeSixteenBuffersByOneColumn)->Unit(benchmark::kMillisecond);

}  // namespace
