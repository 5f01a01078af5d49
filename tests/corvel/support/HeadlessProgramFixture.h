// A fixture for tests that run a real program on a pseudo-terminal through a
// HeadlessTerminal: a run-loop main queue and a fresh directory (the
// program's working and home directory) for the life of the test, programs
// started with a small fixed environment, and pumping until a condition
// holds, with a bound that only guards against a hang. Single-threaded: the
// terminals' output arrives on the test's thread while it pumps. The fixture
// owns every terminal it makes and closes them before the queue goes.
#pragma once

#include "corvel/host/HeadlessTerminal.h"
#include "tests/corvel/support/MainQueueScope.h"
#include "tests/corvel/support/TempDir.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace corvel::testing {

// A headless terminal that also keeps every byte the program wrote.
class RecordingTerminal : public HeadlessTerminal {
public:
    explicit RecordingTerminal(EndCallback onEnd) : HeadlessTerminal(std::move(onEnd)) {}
    void dataReceived(std::span<const uint8_t> slice) override
    {
        output.append(slice.begin(), slice.end());
        HeadlessTerminal::dataReceived(slice);
    }
    std::string output;
};

class HeadlessProgramTest : public ::testing::Test {
protected:
    // Long enough that a machine busy with other work never reaches it.
    static constexpr Nanos kHangGuard = 120'000'000'000;

    void TearDown() override
    {
        hosts_.clear();
        scope_.queue->runUntilIdle();
    }

    // Starts `/bin/sh -c command` on a terminal of T of the given size; `ended`
    // turns true when the program has ended and all its output is in.
    template <class T>
    std::shared_ptr<T> start(int cols, int rows, const std::string& command,
                             const std::string& term = "xterm-256color")
    {
        TerminalOptions options;
        options.cols = cols;
        options.rows = rows;
        ended = false;
        auto host = HeadlessTerminal::create<T>(nullptr, options, [this](std::optional<int32_t>) { ended = true; });
        hosts_.push_back(host);
        host->process().startProcess(
            "/bin/sh", {"-c", command},
            std::vector<std::string>{"PATH=/usr/bin:/bin", "LANG=C.UTF-8", "TERM=" + term, "HOME=" + dir},
            std::nullopt, dir);
        return host;
    }

    // The same, and waits until the program has ended.
    template <class T>
    std::shared_ptr<T> run(int cols, int rows, const std::string& command)
    {
        auto host = start<T>(cols, rows, command);
        EXPECT_TRUE(pumpUntil([this] { return ended; })) << command;
        return host;
    }

    bool pumpUntil(const std::function<bool()>& done, Nanos timeout = kHangGuard)
    {
        return scope_.queue->runUntil(done, timeout);
    }

    MainQueueScope scope_;
    TempDir temp_{"corvel-program"};
    const std::string dir = temp_.path;
    bool ended = false;

private:
    std::vector<std::shared_ptr<HeadlessTerminal>> hosts_;
};

}  // namespace corvel::testing
