// Throughput of the parser on its own: no terminal, handlers that do nothing.
// Input is fed in 128 KiB chunks, the size the process host reads. The
// "allocs" counter is the number of heap allocations per pass over the input,
// which must stay 0 once the parser's buffers have grown.
#include "corvel/parser/EscapeSequenceParser.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

namespace {

std::atomic<long> allocations{0};

}  // namespace

// Counting replacements of the global allocation functions. They stay out of
// line so the compiler pairs every new with this delete, not with free.
[[gnu::noinline]] void* operator new(size_t size)
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace {

using corvel::EscapeSequenceParser;

constexpr size_t kInputSize = size_t{4} << 20;
constexpr size_t kChunk = 128 * 1024;

std::string repeatToSize(const std::string& unit)
{
    std::string out;
    out.reserve(kInputSize + unit.size());
    while (out.size() < kInputSize) out += unit;
    return out;
}

void runParser(benchmark::State& state, const std::string& input)
{
    struct : corvel::ParserHandler {
        size_t printed = 0;
        void print(std::span<const uint8_t> data) override { printed += data.size(); }
        void csiDispatch(uint8_t, std::span<const int64_t>, std::span<const uint8_t>) override {}
    } handler;
    size_t& printed = handler.printed;
    EscapeSequenceParser parser(&handler);
    const auto* bytes = reinterpret_cast<const uint8_t*>(input.data());
    auto pass = [&] {
        for (size_t at = 0; at < input.size(); at += kChunk) {
            parser.parse({bytes + at, std::min(kChunk, input.size() - at)});
        }
    };
    pass();  // let the buffers reach their working size
    const long before = allocations.load();
    for (auto _ : state) {
        pass();
        benchmark::DoNotOptimize(printed);
    }
    state.counters["allocs"] = benchmark::Counter(static_cast<double>(allocations.load() - before),
                                                  benchmark::Counter::kAvgIterations);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(input.size()));
}

void BM_PlainAscii(benchmark::State& state)
{
    static const std::string input =
        repeatToSize("The quick brown fox jumps over the lazy dog; 0123456789 (plain ASCII output line)\r\n");
    runParser(state, input);
}
BENCHMARK(BM_PlainAscii);

void BM_SgrDense(benchmark::State& state)
{
    static const std::string input = repeatToSize("\x1b[1;38;5;123;48;2;10;20;30mX");
    runParser(state, input);
}
BENCHMARK(BM_SgrDense);

void BM_Utf8Text(benchmark::State& state)
{
    static const std::string input = repeatToSize("터미널 출력 — naïve café ✓ λx.x 漢字かな\r\n");
    runParser(state, input);
}
BENCHMARK(BM_Utf8Text);

void BM_ColouredListing(benchmark::State& state)
{
    static const std::string input =
        repeatToSize("\x1b[0m\x1b[01;34mdirectory\x1b[0m  \x1b[01;32mscript.sh\x1b[0m  notes.txt  "
                     "\x1b]8;;file:///tmp/x\x1b\\link\x1b]8;;\x1b\\\r\n");
    runParser(state, input);
}
BENCHMARK(BM_ColouredListing);

}  // namespace
