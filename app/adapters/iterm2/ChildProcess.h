// A child program joined to this process by three descriptors: its standard
// input is one end of a socket pair (so that writes use MSG_NOSIGNAL and a
// child that went away gives EPIPE instead of a SIGPIPE that would end the
// application), its standard output is a pipe, and its standard error is
// either a second pipe or /dev/null. The child runs in a process group of its
// own so that stopping it also stops anything it started.
//
// Threads: a ChildProcess may be shared between threads. Signalling and
// reaping go through one mutex, so the process id is never signalled after it
// was reaped (when the system may have given it to another process). The
// descriptors stay open until the object is destroyed, so no thread can write
// into a descriptor number that another thread closed and the system reused.
// The destructor kills and reaps a child that is still there: no zombie is
// left behind.
#pragma once

#include "corvel/platform/Dispatch.h"

#include <sys/types.h>

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tilebay {

class ChildProcess {
public:
    enum class ErrorOutput : unsigned char { discard, capture };

    // Starts `program` (looked up on PATH when it holds no slash) with
    // `arguments` after argv[0], in this process's environment and working
    // folder. Null on failure, with `error` set to the errno value.
    static std::unique_ptr<ChildProcess> start(const std::string& program,
                                               const std::vector<std::string>& arguments,
                                               ErrorOutput errorOutput, int& error);

    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    int outputFd() const { return outputFd_; }
    int errorFd() const { return errorFd_; }  // -1 when discarded
    int inputFd() const { return inputFd_; }

    // Writes all of `bytes` to the child's input, waiting for room until the
    // monotonic `deadline`. False when the child closed its input, the
    // deadline passed or the write failed; never raises SIGPIPE.
    bool writeInput(std::string_view bytes, corvel::Nanos deadline);
    // Writes what fits into the input at once: the count written, or -1 with
    // errno set (EAGAIN when full, EPIPE when the child closed its input).
    ssize_t sendSome(std::string_view bytes);
    // Tells the child that no more input comes (shuts the socket's write side).
    void closeInput();

    // Sends `signal` to the child's process group, unless it was reaped.
    void signal(int signal);
    // Reaps the child when it has ended; true once it is reaped.
    bool tryReap();
    // Waits until the monotonic `deadline` for the child to end, then kills
    // it; returns once it is reaped.
    void reapBy(corvel::Nanos deadline);
    // The raw wait status once reaped.
    int waitStatus() const;

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
    int status_ = 0;
};

}  // namespace tilebay
