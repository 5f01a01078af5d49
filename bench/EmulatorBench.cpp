// Emulator throughput on an 80x24 terminal with 500 lines of scrollback,
// fed in reads of 128 KiB as the process host delivers them:
//   PlainScroll     printable ASCII lines that scroll the whole screen;
//   CursorMotion    a cursor position sequence before every character;
//   MixedUnicode    Hangul, Han, emoji with skin tones and joiners, flags,
//                   letters with combining marks, scrolling;
//   RegionScroll    lines scrolling inside a scroll region over the top half.
// The ring is full before timing starts. Global operator new is replaced to
// count allocations, reported per line of input.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "bench/support/EmulatorStreams.h"
#include "corvel/terminal/Terminal.h"

namespace {
std::atomic<int64_t> allocationCount{0};
}  // namespace

// The replacements pair malloc with free; the compiler cannot see that the
// replaced operator new is the malloc below, so it would warn about the pairing.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size)
{
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    return p;
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { ::operator delete(p); }
void operator delete(void* p, std::size_t) noexcept { ::operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { ::operator delete(p); }
#pragma GCC diagnostic pop

using namespace corvel;

namespace {

class NullHost : public TerminalDelegate {
public:
    void send(Terminal&, std::span<const uint8_t>) override {}
};

constexpr size_t kRead = 128 * 1024;

using bench::Stream;
using bench::plainScroll;
using bench::cursorMotion;
using bench::mixedUnicode;
using bench::regionScroll;

void feedStream(benchmark::State& state, Stream (*make)())
{
    auto host = std::make_shared<NullHost>();
    TerminalOptions options;
    options.cols = 80;
    options.rows = 24;
    options.scrollback = 500;
    Terminal terminal(host, options);
    const Stream stream = make();
    terminal.feed(stream.setup);
    const std::string_view bytes = stream.bytes;
    const auto pass = [&] {
        for (size_t at = 0; at < bytes.size(); at += kRead) terminal.feed(bytes.substr(at, kRead));
    };
    // Fill the ring and intern every character the stream holds.
    pass();
    pass();

    int64_t allocations = 0;
    for (auto _ : state) {
        const int64_t before = allocationCount.load(std::memory_order_relaxed);
        pass();
        allocations += allocationCount.load(std::memory_order_relaxed) - before;
        terminal.clearUpdateRange();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
    state.counters["allocs_per_line"] =
        static_cast<double>(allocations) / static_cast<double>(state.iterations() * stream.lines);
    state.counters["ring_full"] = terminal.buffer().lines().isFull() ? 1 : 0;
}

void BM_PlainScroll(benchmark::State& state)
{
    feedStream(state, plainScroll);
}
BENCHMARK(BM_PlainScroll)->Unit(benchmark::kMillisecond);

void BM_CursorMotion(benchmark::State& state)
{
    feedStream(state, cursorMotion);
}
BENCHMARK(BM_CursorMotion)->Unit(benchmark::kMillisecond);

void BM_MixedUnicode(benchmark::State& state)
{
    feedStream(state, mixedUnicode);
}
BENCHMARK(BM_MixedUnicode)->Unit(benchmark::kMillisecond);

void BM_RegionScroll(benchmark::State& state)
{
    feedStream(state, regionScroll);
}
BENCHMARK(BM_RegionScroll)->Unit(benchmark::kMillisecond);

}  // namespace
