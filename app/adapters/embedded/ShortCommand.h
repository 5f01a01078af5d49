// Runs a short-lived helper program (the tmux lookup, queries and input) to
// its end on the calling thread. The child gets /dev/null (or, when input
// is given, a socket that carries it and is then closed) as standard input,
// /dev/null as standard error and a pipe as standard output, which is read
// while waiting,
// so a child that writes much never blocks on a full pipe. It runs in a
// process group of its own; when it outlives the time limit the whole group
// is killed and the child reaped, so the caller never waits longer than the
// limit and no zombie stays behind.
//
// Threads: any thread; no state is shared between calls.
#pragma once

#include "corvel/platform/Dispatch.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tilebay {

struct ShortCommandResult {
    // False when the program could not be started.
    bool launched = false;
    // True when the child was killed at the time limit.
    bool timedOut = false;
    // The exit code when the child exited normally (not by a signal).
    std::optional<int> exitCode;
    // Standard output, at most `maxOutput` bytes of it.
    std::string output;
    // True when the child wrote more than `maxOutput` bytes.
    bool outputTruncated = false;

    bool succeeded() const { return launched && !timedOut && exitCode == 0; }
};

namespace ShortCommand {

// Output kept per run; the rest is read and dropped.
constexpr size_t maxOutput = 64 * 1024;

// Starts `executable` (a path) with `argv` (argument zero first) in
// `environment` ("NAME=value" strings), writes `input` (when given) to its
// standard input, and waits up to `limit` nanoseconds for it to end.
ShortCommandResult run(const std::string& executable, const std::vector<std::string>& argv,
                       const std::vector<std::string>& environment, corvel::Nanos limit,
                       std::optional<std::string_view> input = std::nullopt);

}  // namespace ShortCommand

}  // namespace tilebay
