// Runs a real program on a pseudo-terminal whose output feeds a Terminal, for
// tests that check how the emulator copes with programs as they are. The
// terminal's replies go back to the program, so programs that ask the
// terminal questions get answers. Output arrives on a RunLoopQueue installed
// as the main queue for the runner's life; runUntil pumps it.
#pragma once

#include "corvel/host/LocalProcess.h"
#include "corvel/host/PseudoTerminalHelpers.h"
#include "corvel/terminal/Terminal.h"
#include "corvel/platform/Dispatch.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace corvel::testing {

class PtyTerminalRunner {
public:
    static constexpr Nanos kDefaultTimeout = 20'000'000'000;

    PtyTerminalRunner(int cols, int rows)
        : queue_(std::make_shared<RunLoopQueue>(false)), previousMain_(DispatchQueue::setMain(queue_)),
          host_(std::make_shared<Host>())
    {
        host_->size = WindowSize{static_cast<uint16_t>(rows), static_cast<uint16_t>(cols), 0, 0};
        TerminalOptions options;
        options.cols = cols;
        options.rows = rows;
        terminal_ = std::make_unique<Terminal>(host_, options);
        process_ = std::make_unique<LocalProcess>(host_);
        host_->terminal = terminal_.get();
        host_->process = process_.get();
    }

    ~PtyTerminalRunner()
    {
        if (process_->running()) process_->terminate();
        host_->terminal = nullptr;
        host_->process = nullptr;
        process_.reset();
        queue_->runUntilIdle();
        terminal_.reset();
        DispatchQueue::setMain(previousMain_);
    }

    PtyTerminalRunner(const PtyTerminalRunner&) = delete;
    PtyTerminalRunner& operator=(const PtyTerminalRunner&) = delete;

    // Starts `/bin/sh -c command` with a small fixed environment.
    void startShell(const std::string& command, const std::optional<std::string>& directory = std::nullopt)
    {
        const std::vector<std::string> environment = {"TERM=xterm-256color", "PATH=/usr/local/bin:/usr/bin:/bin",
                                                      "LANG=C.UTF-8", "HOME=/tmp"};
        process_->startProcess("/bin/sh", {"-c", command}, environment, std::nullopt, directory);
    }

    // Pumps output into the terminal until `done` holds or the timeout passes.
    bool runUntil(const std::function<bool()>& done, Nanos timeout = kDefaultTimeout)
    {
        return queue_->runUntil(done, timeout);
    }
    // Until the program has ended and all its output is in the terminal.
    bool runUntilExit(Nanos timeout = kDefaultTimeout)
    {
        return runUntil([this] { return host_->exited; }, timeout);
    }

    void send(const std::string& text)
    {
        process_->send({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
    }

    Terminal& terminal() { return *terminal_; }
    bool exited() const { return host_->exited; }

private:
    struct Host : TerminalDelegate, LocalProcessDelegate {
        Terminal* terminal = nullptr;
        LocalProcess* process = nullptr;
        WindowSize size{};
        bool exited = false;

        void send(Terminal&, std::span<const uint8_t> data) override
        {
            if (process) process->send(data);
        }
        void dataReceived(std::span<const uint8_t> slice) override
        {
            if (terminal) terminal->feed(slice);
        }
        void processTerminated(LocalProcess&, std::optional<int32_t>) override { exited = true; }
        WindowSize getWindowSize() override { return size; }
    };

    std::shared_ptr<RunLoopQueue> queue_;
    std::shared_ptr<DispatchQueue> previousMain_;
    std::shared_ptr<Host> host_;
    std::unique_ptr<Terminal> terminal_;
    std::unique_ptr<LocalProcess> process_;
};

}  // namespace corvel::testing
