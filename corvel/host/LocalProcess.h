// Runs one child program on a pseudo-terminal and moves bytes between it and
// a host (the LocalProcessDelegate).
//
// Each started child gets one I/O thread that reads the master side in blocks
// of up to `readSize` bytes, writes the host's bytes in order (surviving
// partial writes and a full terminal), and watches for the child's exit, which
// it reaps in every case, also after terminate() or the destruction of this
// object. Output reaches the delegate on its queue: on the main queue through
// a coalescing list drained in slices of at most 4 ms; on any other queue
// synchronously, one block at a time, so the child runs at the host's pace.
// On the main queue reading pauses while more bytes wait than the queue
// takes of this child in about a quarter of a second at the rate it gets now
// (ReadAheadBound; between `readAheadFloor` and `readAheadCeiling`): however
// many busy children share the main thread, what one of them wrote before an
// interrupt is shown soon after, and the pseudo-terminal's own buffer holds
// the child back meanwhile.
// Memory the machine refuses the I/O thread (a std::bad_alloc in copying a
// block, handing it to the delegate's queue, handing input back or posting
// the exit report) ends neither the process nor any output: the thread keeps
// what it holds, reads nothing more meanwhile (the child waits in its
// writes), and tries again after a pause that doubles from `firstRetryNs`
// up to `longestRetryNs`; terminate() and the destruction cut the pause
// short, and what was read for a child being ended is dropped.
// The I/O thread runs `ioThreadNiceness` below the thread that started it, so
// that many busy children do not crowd out the host's thread, which parses
// and draws what they write; the child itself keeps the host's priority.
//
// What waits to be written to a child is bounded for what the terminal
// answers on its own (sendReply): a child that asks and never reads cannot
// make the host hold more than `sendQueueLimit` bytes of answers; past it
// answers are dropped, with one log line at most per second. What the user
// types or pastes (send) is never dropped: it waits its turn however much
// waits before it, and what of it the child's terminal never took, because
// the child hung up or a write failed, goes back to the host
// (LocalProcessDelegate::inputNotWritten), once, after the output read
// before it and ahead of the exit report. From then on nothing more is
// queued for that child. Answers and the terminal's reports
// (sendReport) are never handed back. Small blocks of one kind waiting
// together are joined into one.
//
// The public operations may be called from any thread. The delegate is held
// weakly; the delegate queue must outlive this object.
#pragma once

#include "corvel/host/LocalProcessDelegate.h"
#include "corvel/platform/Dispatch.h"

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace corvel {

class LocalProcess {
public:
    // Bytes asked for by each read.
    static constexpr size_t readSize = 131072;
    // Coalesced delivery on the main queue: the compaction point of the list
    // and the longest delivery slice.
    static constexpr size_t pendingChunkFlushThreshold = 32;
    static constexpr uint64_t pendingTimeSliceNs = 4'000'000;
    // The least and the most that reading may run ahead of delivery on the
    // main queue: the floor keeps the main thread busy with a child that has
    // it to itself (from the first block on, before the rate is known).
    static constexpr size_t readAheadFloor = 256u << 10;
    static constexpr size_t readAheadCeiling = 16u << 20;
    // How much nicer than the thread that started the child its I/O thread runs.
    static constexpr int ioThreadNiceness = 10;
    // Answers of the terminal are dropped while this many bytes wait to be written.
    static constexpr size_t sendQueueLimit = 4u << 20;
    // Waiting blocks are joined up to this size.
    static constexpr size_t joinedBlockSize = 65536;
    // The first and the longest pause of the I/O thread before it tries
    // again what the machine had no memory for.
    static constexpr Nanos firstRetryNs = 1'000'000;
    static constexpr Nanos longestRetryNs = 256'000'000;

    // `dispatchQueue` is the delegate's queue; null means the main queue.
    explicit LocalProcess(std::weak_ptr<LocalProcessDelegate> delegate,
                          DispatchQueue* dispatchQueue = nullptr);
    // Stops reporting and closes the master, which hangs up the child; the
    // child is still reaped once it exits.
    ~LocalProcess();
    LocalProcess(const LocalProcess&) = delete;
    LocalProcess& operator=(const LocalProcess&) = delete;

    // Starts `executable` with the argument vector `execName` (else
    // `executable`) followed by `args`, in `environment` (else the default
    // terminal environment) and `currentDirectory`. Does nothing while a
    // child runs; a failed start is silent and leaves `running()` false.
    // True when this call started a child (`running()` alone cannot tell:
    // a child that ends at once may have been seen to end already).
    bool startProcess(const std::string& executable, const std::vector<std::string>& args = {},
                      const std::optional<std::vector<std::string>>& environment = std::nullopt,
                      const std::optional<std::string>& execName = std::nullopt,
                      const std::optional<std::string>& currentDirectory = std::nullopt);

    // Queues bytes the user typed or pasted for the child, however much
    // waits already. False when no child runs or its terminal takes nothing
    // more: the bytes went nowhere.
    bool send(std::span<const uint8_t> data);
    // Queues the terminal's mouse or focus report, as send() does; it is
    // not handed back when it cannot be written.
    bool sendReport(std::span<const uint8_t> data);
    // Queues the terminal's answer to a request of the child, unless
    // `sendQueueLimit` bytes or more wait to be written already: then it is
    // dropped and noted in the log (a line a second at most). True when queued.
    bool sendReply(std::span<const uint8_t> data);
    // Bytes queued for the child that it has not taken yet.
    size_t queuedBytes() const;

    // Closes the master (hanging up the child) and sends SIGTERM; no exit
    // report follows.
    void terminate();

    // Directory for raw dumps of every block read ("<dir>/log-N"); absent stops them.
    void setHostLogging(std::optional<std::string> directory);

    // The exit handler: reports the child's raw wait status (0 when it has
    // not been reaped) to the delegate, then marks the process not running
    // and stops watching for the exit.
    void processTerminated();

    int32_t childfd() const;
    pid_t shellPid() const;
    bool running() const;

    std::shared_ptr<LocalProcessDelegate> delegate() const;
    void setDelegate(std::weak_ptr<LocalProcessDelegate> delegate);
    DispatchQueue& dispatchQueue() const;

    bool debugIO() const;
    void setDebugIO(bool on);
    int64_t sendCount() const;
    int64_t total() const;
    int64_t totalRead() const;
    int64_t logFileCounter() const;
    std::optional<std::string> loggingDir() const;

    // Bytes read but not yet delivered on the main queue.
    size_t pendingBytes() const;
    // Waiting bytes above which reading pauses now (main queue only; 0 otherwise).
    size_t readAheadLimit() const;

private:
    struct Core;
    struct Run;
    // What a queued block is; only the user's input goes back unwritten,
    // and only answers are bounded.
    enum class Outgoing : unsigned char { input, report, reply };
    // Queues `data`; false when it was dropped.
    bool queue(std::span<const uint8_t> data, Outgoing kind);

    std::shared_ptr<Core> core_;
};

}  // namespace corvel
