// Line edits on 200-column lines, and a full ring scrolling a million lines.
// Global operator new is replaced here to count heap allocations, so the ring
// benchmark can report how many allocations each scrolled line costs.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "corvel/screen/BufferLine.h"
#include "corvel/screen/CircularBufferLineList.h"

namespace {
std::atomic<int64_t> allocationCount{0};
}

// The replacements pair malloc with free; the compiler cannot see that the
// replaced operator new is the malloc below, so it would warn about the pairing.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size)
{
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

using namespace corvel;

namespace {

constexpr int columns = 200;

BufferLine textLine()
{
    BufferLine line(columns);
    for (int i = 0; i < columns; ++i) {
        CharData cell;
        cell.code = 'a' + i % 26;
        line.set(i, cell);
    }
    return line;
}

void BM_InsertCells(benchmark::State& state)
{
    BufferLine line = textLine();
    const CharData fill = CharData::Null;
    for (auto _ : state) {
        line.insertCells(10, 5, columns - 1, fill);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_InsertCells);

void BM_DeleteCells(benchmark::State& state)
{
    BufferLine line = textLine();
    const CharData fill = CharData::Null;
    for (auto _ : state) {
        line.deleteCells(10, 5, columns - 1, fill);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_DeleteCells);

void BM_FillRange(benchmark::State& state)
{
    BufferLine line = textLine();
    CharData cell;
    cell.code = 'x';
    for (auto _ : state) {
        line.fill(cell, 0, columns);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FillRange);

void BM_CopyFromRange(benchmark::State& state)
{
    BufferLine source = textLine();
    BufferLine line(columns);
    for (auto _ : state) {
        line.copyFrom(source, 0, 0, columns);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_CopyFromRange);

void BM_CopyFromLine(benchmark::State& state)
{
    BufferLine source = textLine();
    BufferLine line(columns);
    for (auto _ : state) {
        line.copyFrom(source);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_CopyFromLine);

// What the emulator does for each line that scrolls off the bottom: push a
// blank line while the ring has room, then recycle the oldest line.
void scrollOneLine(CircularBufferLineList& ring, const BufferLine& blank, const Attribute& attribute)
{
    if (ring.isFull()) {
        ring.recycle(attribute);
        BufferLine& line = ring[ring.count() - 1];
        line.isWrapped = false;
        line.renderMode = BufferLine::RenderLineMode::single;
    } else {
        ring.push(BufferLine(blank));
    }
}

void BM_RingFillToCapacity(benchmark::State& state)
{
    const BufferLine blank(columns);
    int64_t allocations = 0;
    for (auto _ : state) {
        CircularBufferLineList ring(10'000);
        const int64_t before = allocationCount.load(std::memory_order_relaxed);
        for (int i = 0; i < 10'000; ++i) scrollOneLine(ring, blank, Attribute::empty);
        allocations += allocationCount.load(std::memory_order_relaxed) - before;
        benchmark::DoNotOptimize(ring.count());
    }
    state.SetItemsProcessed(state.iterations() * 10'000);
    state.counters["allocs_per_line"] =
        static_cast<double>(allocations) / static_cast<double>(state.iterations() * 10'000);
}
BENCHMARK(BM_RingFillToCapacity)->Unit(benchmark::kMillisecond);

void BM_RingScrollMillionLinesWhenFull(benchmark::State& state)
{
    const BufferLine blank(columns);
    CircularBufferLineList ring(10'000);
    ring.onLineRecycled = [](bool) {};
    ring.onLinePushed = [](bool) {};
    for (int i = 0; i < 10'000; ++i) scrollOneLine(ring, blank, Attribute::empty);
    CharData letter;
    letter.code = 'x';

    int64_t allocations = 0;
    for (auto _ : state) {
        const int64_t before = allocationCount.load(std::memory_order_relaxed);
        for (int i = 0; i < 1'000'000; ++i) {
            scrollOneLine(ring, blank, Attribute::empty);
            ring[ring.count() - 1].set(i % columns, letter);
        }
        allocations += allocationCount.load(std::memory_order_relaxed) - before;
        benchmark::DoNotOptimize(ring.getStartIndex());
    }
    state.SetItemsProcessed(state.iterations() * 1'000'000);
    state.counters["allocs_per_line"] =
        static_cast<double>(allocations) / static_cast<double>(state.iterations() * 1'000'000);
}
BENCHMARK(BM_RingScrollMillionLinesWhenFull)->Unit(benchmark::kMillisecond);

}  // namespace
