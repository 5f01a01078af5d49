// The iTerm2 adapter's reading work: a helper's snapshot reply of several
// megabytes arriving in 64 KiB reads, cut into lines (and, separately, decoded
// into sessions), and an AppleScript listing result of up to a megabyte split
// into sessions. Sessions hold 4 KB of screen text each.
#include "app/adapters/iterm2/ITerm2AppleScript.h"
#include "app/adapters/iterm2/ITerm2HelperProtocol.h"
#include "app/adapters/iterm2/LineFramer.h"

#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>

#include <string>

using namespace tilebay;

namespace {

constexpr size_t kRead = 65536;
constexpr size_t kScreenText = 4096;

std::string screenText(size_t n)
{
    std::string text;
    while (text.size() < kScreenText) text += "user@host:~/project$ make -j8 target_" + std::to_string(n) + "\n";
    text.resize(kScreenText);
    return text;
}

// One reply line (with its line feed) of about `bytes` bytes.
std::string helperReply(size_t bytes)
{
    nlohmann::json sessions = nlohmann::json::array();
    size_t size = 0;
    for (size_t n = 0; size < bytes; ++n) {
        nlohmann::json s{{"guid", "w0t" + std::to_string(n) + "p0:" + std::to_string(n * 7919)},
                         {"name", "session " + std::to_string(n)},
                         {"contents", screenText(n)}};
        size += s.dump().size();
        sessions.push_back(std::move(s));
    }
    return nlohmann::json{{"id", 12}, {"result", sessions}}.dump() + "\n";
}

std::string listing(size_t bytes)
{
    std::string out;
    for (size_t n = 0; out.size() < bytes; ++n) {
        out += "w0t" + std::to_string(n) + "p0:" + std::to_string(n * 7919);
        out += ITerm2AppleScript::kFieldSeparator;
        out += "session " + std::to_string(n);
        out += ITerm2AppleScript::kFieldSeparator;
        out += screenText(n);
        out += ITerm2AppleScript::kRecordSeparator;
    }
    return out;
}

void BM_FrameHelperReply(benchmark::State& state)
{
    const std::string reply = helperReply(static_cast<size_t>(state.range(0)) << 20);
    for (auto _ : state) {
        LineFramer framer;
        size_t lines = 0;
        for (size_t at = 0; at < reply.size(); at += kRead)
            framer.append(std::string_view(reply).substr(at, kRead), [&](std::string_view) { ++lines; });
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * reply.size()));
    state.SetComplexityN(static_cast<int64_t>(reply.size()));
}
BENCHMARK(BM_FrameHelperReply)->Arg(1)->Arg(2)->Arg(5)->Arg(10)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

void BM_FrameAndDecodeHelperReply(benchmark::State& state)
{
    const std::string reply = helperReply(static_cast<size_t>(state.range(0)) << 20);
    for (auto _ : state) {
        LineFramer framer;
        size_t sessions = 0;
        for (size_t at = 0; at < reply.size(); at += kRead)
            framer.append(std::string_view(reply).substr(at, kRead), [&](std::string_view line) {
                if (auto r = ITerm2HelperProtocol::decodeReply(line))
                    if (auto s = ITerm2HelperProtocol::snapshotsFromReply(r->object)) sessions += s->size();
            });
        benchmark::DoNotOptimize(sessions);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * reply.size()));
    state.SetComplexityN(static_cast<int64_t>(reply.size()));
}
BENCHMARK(BM_FrameAndDecodeHelperReply)->Arg(1)->Arg(2)->Arg(5)->Arg(10)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

void BM_ParseListing(benchmark::State& state)
{
    const std::string result = listing(static_cast<size_t>(state.range(0)) << 10);
    for (auto _ : state) benchmark::DoNotOptimize(ITerm2AppleScript::parseListing(result));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * result.size()));
    state.SetComplexityN(static_cast<int64_t>(result.size()));
}
BENCHMARK(BM_ParseListing)->Arg(128)->Arg(256)->Arg(512)->Arg(1024)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

}  // namespace
