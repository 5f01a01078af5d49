// A child program started with pipes, and the one place that spawns, feeds,
// drains, kills and reaps the helper programs of the adapters (the tmux
// commands, osascript, the Python helper).
//
// The child's standard input is either /dev/null or one end of a socket pair
// (so that writes use MSG_NOSIGNAL and a child that went away gives EPIPE
// instead of a SIGPIPE that would end the application); its standard output
// is a pipe; its standard error is a second pipe or /dev/null. Every
// descriptor this side keeps is close-on-exec, so no other child inherits it.
// The child starts with no blocked signals and default handlers, in a process
// group of its own, so that stopping it also stops anything it started.
//
// Threads: a ChildProcess may be shared between threads. Signalling and
// reaping go through one mutex, so the process id is never signalled after it
// was reaped (when the system may have given it to another process). The
// descriptors stay open until the object is destroyed, so no thread can use a
// descriptor number that another thread closed and the system reused. The
// destructor kills and reaps a child that is still there: no zombie is left
// behind. exchange() is for one thread at a time.
#pragma once

#include "corvel/platform/Dispatch.h"

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tilebay {

class ChildProcess {
public:
    enum class Input : unsigned char { empty, socket };
    enum class ErrorOutput : unsigned char { discard, capture };

    // How to start a child.
    struct Launch {
        // A path, or with `searchPath` a name looked up on this process's PATH.
        std::string program;
        bool searchPath = false;
        // Argument zero first; when empty, `program` alone.
        std::vector<std::string> argv;
        // "NAME=value" strings; when absent, this process's environment.
        std::optional<std::vector<std::string>> environment;
        Input input = Input::empty;
        ErrorOutput errorOutput = ErrorOutput::discard;
    };

    // When exchange() stops reading.
    enum class ExchangeEnd : unsigned char {
        // Once standard output (and captured standard error) are closed.
        outputClosed,
        // Once the child has ended and what it wrote is read: a process it
        // left behind may hold the pipe open, so the pipe's end is not waited for.
        childExited,
    };

    // What exchange() read.
    struct Transcript {
        std::string output;
        std::string errors;  // empty unless standard error is captured
        // True when the output held more than the limit; the rest was dropped.
        bool outputTruncated = false;
        // True when the deadline passed before the end was seen.
        bool timedOut = false;
    };

    // Starts the child. Null on failure, with `error` set to the errno value.
    static std::unique_ptr<ChildProcess> start(const Launch& launch, int& error);

    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    int outputFd() const { return outputFd_; }
    int errorFd() const { return errorFd_; }  // -1 when discarded
    int inputFd() const { return inputFd_; }  // -1 for /dev/null

    // Writes all of `bytes` to the child's input, waiting for room until the
    // monotonic `deadline`. False when the child closed its input, the
    // deadline passed or the write failed; never raises SIGPIPE.
    bool writeInput(std::string_view bytes, corvel::Nanos deadline);
    // Writes what fits into the input at once: the count written, or -1 with
    // errno set (EAGAIN when full, EPIPE when the child closed its input).
    ssize_t sendSome(std::string_view bytes);
    // Tells the child that no more input comes (shuts the socket's write side).
    void closeInput();

    // Writes `input` (then closes the input) while reading standard output,
    // at most `outputLimit` bytes of it, and captured standard error, until
    // `end` or the monotonic `deadline`. Makes the output descriptors
    // non-blocking. Neither kills nor (with `outputClosed`) reaps the child.
    Transcript exchange(std::string_view input, ExchangeEnd end, corvel::Nanos deadline,
                        size_t outputLimit = std::string::npos);

    // Sends `signal` to the child's process group, unless it was reaped.
    void signal(int signal);
    // Reaps the child when it has ended; true once it is reaped.
    bool tryReap();
    // True once the child was reaped; asks the system nothing.
    bool reaped() const;
    // Waits until the monotonic `deadline` for the child to end, then kills
    // it; returns once it is reaped.
    void reapBy(corvel::Nanos deadline);
    // Kills the child's process group now and reaps the child.
    void killAndReap();
    // The raw wait status once reaped; 0 when it is not known.
    int waitStatus() const;
    // False when the child was reaped elsewhere and its status is lost.
    bool statusKnown() const;

private:
    ChildProcess(pid_t pid, int pidfd, int inputFd, int outputFd, int errorFd);
    bool tryReapLocked();

    const pid_t pid_;
    const int pidfd_;  // -1 when the system has no pidfd
    const int inputFd_;
    const int outputFd_;
    const int errorFd_;
    mutable std::mutex mutex_;
    bool reaped_ = false;
    bool statusKnown_ = true;
    int status_ = 0;
};

}  // namespace tilebay
