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
constexpr size_t kTarget = 1 << 20;  // about this many bytes per pass

struct Stream {
    std::string setup;  // fed once before timing
    std::string bytes;  // one pass
    int64_t lines = 0;  // lines of text in one pass
};

Stream plainScroll()
{
    Stream s;
    const std::string words = "the quick brown fox jumps over the lazy dog 0123456789 ";
    for (int i = 0; s.bytes.size() < kTarget; ++i) {
        std::string line = "line " + std::to_string(i) + " " + words + words;
        line.resize(72);
        s.bytes += line + "\r\n";
        ++s.lines;
    }
    return s;
}

Stream cursorMotion()
{
    Stream s;
    const std::string letters = "abcdefghijklmnopqrstuvwxyz";
    for (int i = 0; s.bytes.size() < kTarget; ++i) {
        const int row = i % 24 + 1;
        for (int col = 1; col <= 80; col += 2) {
            s.bytes += "\x1b[" + std::to_string(row) + ";" + std::to_string(col) + "H";
            s.bytes += letters[static_cast<size_t>(col + i) % letters.size()];
        }
        ++s.lines;
    }
    return s;
}

Stream mixedUnicode()
{
    Stream s;
    // 80 columns or fewer per line: Hangul and Han take two columns each.
    const std::string pieces[] = {
        "한글 텍스트 ",
        "漢字と仮名 ",
        "\U0001F44D\U0001F3FD ",
        "\U0001F468\u200D\U0001F469\u200D\U0001F467 ",
        "\U0001F1F0\U0001F1F7 ",
        "cafe\u0301 re\u0301sume\u0301 ",
        "\u2764\uFE0F ",
        "plain ascii words ",
    };
    for (int i = 0; s.bytes.size() < kTarget; ++i) {
        std::string line;
        for (int k = 0; k < 5; ++k) line += pieces[static_cast<size_t>(i + k) % std::size(pieces)];
        s.bytes += line + "\r\n";
        ++s.lines;
    }
    return s;
}

Stream regionScroll()
{
    Stream s = plainScroll();
    s.setup = "\x1b[1;12r\x1b[12;1H";
    return s;
}

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
