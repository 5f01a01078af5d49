// The emulator beside a peer emulator library on the same bytes, in the same
// process: each stream of bench/support/EmulatorStreams.h is parsed into an
// 80x24 screen by both, fed in reads of 128 KiB. Compare the pairs'
// bytes_per_second (Corvel/<stream> against Peer/<stream>). Our terminal keeps
// 500 lines of scrollback; the peer keeps none.
//
// The peer is a benchmark-only dependency: without it the Peer/ benchmarks
// report that they were skipped.
#include <benchmark/benchmark.h>

#include "bench/support/EmulatorStreams.h"
#include "corvel/terminal/Terminal.h"

#if CORVEL_HAVE_PEER
#include <vterm.h>
#endif

#include <memory>
#include <string>

using namespace corvel;

namespace {

constexpr size_t kRead = 128 * 1024;

class NullHost : public TerminalDelegate {
public:
    void send(Terminal&, std::span<const uint8_t>) override {}
};

template <typename Feed>
void run(benchmark::State& state, const bench::Stream& stream, Feed&& feed)
{
    const std::string_view bytes = stream.bytes;
    const auto pass = [&] {
        for (size_t at = 0; at < bytes.size(); at += kRead) feed(bytes.substr(at, kRead));
    };
    feed(stream.setup);
    pass();
    for (auto _ : state) pass();
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}

void corvelStream(benchmark::State& state, bench::Stream (*make)())
{
    auto host = std::make_shared<NullHost>();
    TerminalOptions options;
    options.cols = 80;
    options.rows = 24;
    options.scrollback = 500;
    Terminal terminal(host, options);
    run(state, make(), [&](std::string_view chunk) {
        terminal.feed(chunk);
        terminal.clearUpdateRange();
    });
}

void peerStream(benchmark::State& state, bench::Stream (*make)())
{
#if CORVEL_HAVE_PEER
    VTerm* vt = vterm_new(24, 80);
    vterm_set_utf8(vt, 1);
    VTermScreen* screen = vterm_obtain_screen(vt);
    vterm_screen_reset(screen, 1);
    run(state, make(), [&](std::string_view chunk) { vterm_input_write(vt, chunk.data(), chunk.size()); });
    vterm_free(vt);
#else
    (void)make;
    state.SkipWithError("the peer library is not installed");
#endif
}

#define STREAM_PAIR(name)                                                                  \
    BENCHMARK_CAPTURE(corvelStream, name, bench::name)->Name("Corvel/" #name)->Unit(benchmark::kMillisecond); \
    BENCHMARK_CAPTURE(peerStream, name, bench::name)->Name("Peer/" #name)->Unit(benchmark::kMillisecond);

STREAM_PAIR(plainScroll)
STREAM_PAIR(sgrDense)
STREAM_PAIR(regionScroll)
STREAM_PAIR(mixedUnicode)
STREAM_PAIR(cursorMotion)

}  // namespace
