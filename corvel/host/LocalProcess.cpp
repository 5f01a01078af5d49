#include "corvel/host/LocalProcess.h"

#include "corvel/host/CoalescedDelivery.h"
#include "corvel/host/PseudoTerminalHelpers.h"
#include "corvel/platform/LogThrottle.h"
#include "corvel/terminal/TerminalEnvironment.h"
#include "corvel/platform/Log.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <list>
#include <mutex>
#include <string>
#include <thread>

namespace corvel {

namespace {

// Reads that catch up with the output of a child that has just exited, before
// its exit is reported (bounded, since a grandchild may keep writing).
constexpr int kCatchUpReads = 64;
// Without a pidfd the exit is looked for at this interval.
constexpr int kExitPollMs = 50;

std::string describeBytes(std::span<const uint8_t> data)
{
    std::string text = "[";
    for (size_t i = 0; i < data.size(); ++i) {
        if (i) text += ", ";
        text += std::to_string(data[i]);
    }
    text += "]";
    return text;
}

// Logs a line the I/O thread makes. Without memory to make it the line is
// skipped: a diagnostic never holds up the work it reports on.
template <class MakeLine>
void logUnlessRefused(MakeLine makeLine)
{
    try {
        log::write(makeLine());
    } catch (const std::bad_alloc&) {
    }
}

int openPidfd(pid_t pid)
{
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    return -1;
#endif
}

}  // namespace

// State shared by the owner, the delegate queue and the I/O thread of each
// run. The I/O thread and queued blocks hold it weakly, so it goes away with
// the LocalProcess.
struct LocalProcess::Core {
    DispatchQueue* queue = nullptr;
    bool usesMainQueue = false;

    std::atomic<bool> running{false};
    std::atomic<int32_t> childfd{-1};
    std::atomic<pid_t> shellPid{0};
    std::atomic<bool> debugIO{false};
    std::atomic<int64_t> sendCount{0};
    std::atomic<int64_t> total{0};
    std::atomic<int64_t> totalRead{0};
    std::atomic<int64_t> logFileCounter{0};

    mutable std::mutex delegateMutex;
    std::weak_ptr<LocalProcessDelegate> delegate;

    mutable std::mutex loggingMutex;
    std::optional<std::string> loggingDir;

    // Holds back the line about dropped answers; guarded by its mutex.
    std::mutex dropLogMutex;
    LogThrottle dropLog;

    // Guards posting to `queue`: once the owner is gone nothing more is
    // posted, so the queue must outlive the owner but not its I/O threads.
    std::mutex postMutex;
    bool alive = true;

    // The owner, for the `source` of the exit report. Recursive because the
    // owner may be destroyed from inside that report.
    std::recursive_mutex ownerMutex;
    LocalProcess* owner = nullptr;

    // Guards `run` and the start; the current run is the only one whose
    // output, end of file and exit may touch this state.
    std::mutex stateMutex;
    std::shared_ptr<Run> run;

    std::shared_ptr<CoalescedDelivery> coalescer;  // main queue only

    std::shared_ptr<LocalProcessDelegate> lockDelegate() const
    {
        std::lock_guard<std::mutex> guard(delegateMutex);
        return delegate.lock();
    }

    bool post(std::function<void()> block)
    {
        std::lock_guard<std::mutex> guard(postMutex);
        if (!alive) return false;
        queue->async(std::move(block));
        return true;
    }

    bool postAfter(Nanos delay, std::function<void()> block)
    {
        std::lock_guard<std::mutex> guard(postMutex);
        if (!alive) return false;
        queue->asyncAfter(delay, std::move(block));
        return true;
    }

    void deliver(std::span<const uint8_t> bytes)
    {
        if (auto d = lockDelegate()) d->dataReceived(bytes);
    }

    void exitReported(const std::shared_ptr<Run>& reported);
};

// One started child: its descriptors, its I/O thread and what that thread
// shares with the owner.
struct LocalProcess::Run {
    struct Block {
        int64_t number = 0;
        std::vector<uint8_t> bytes;
        size_t offset = 0;
        Outgoing kind = Outgoing::input;
    };

    Run(std::weak_ptr<Core> core, int masterFd, pid_t pid, int pidfd, int wakeFd)
        : core(std::move(core)), masterFd(masterFd), pid(pid), pidfd(pidfd), wakeFd(wakeFd)
    {
    }
    ~Run();

    const std::weak_ptr<Core> core;
    const int masterFd;
    const pid_t pid;
    const int pidfd;   // -1: the exit is polled for
    const int wakeFd;  // eventfd that interrupts the thread's poll

    // Cleared by terminate(), a restart, the owner's destruction and the exit
    // handler: once false, this run's exit is no longer reported.
    std::atomic<bool> reportExit{true};

    // Bytes queued and not yet written (or given up): of `outgoing` and of
    // the I/O thread's own list.
    std::atomic<size_t> queued{0};

    std::mutex mutex;  // guards the fields below
    std::condition_variable cv;
    // Lists, so that the I/O thread takes the blocks over by splicing them,
    // which needs no memory.
    std::list<Block> outgoing;
    bool closeRequested = false;
    // The child's terminal takes nothing more (it hung up, or a write
    // failed): queueing is refused from then on.
    bool writingStopped = false;
    bool masterClosed = false;
    bool threadDone = false;
    bool reaped = false;
    int status = 0;
    bool deliveryPending = false;

    void wake();
    void requestClose();
    void signal(int sig);
    // Reaps the child if it has exited; returns its wait status (0 while it has not).
    int reapIfExited();

    static void ioLoop(const std::shared_ptr<Run>& self);

private:
    // State of the I/O thread alone.
    std::vector<uint8_t> buffer_;
    // Bytes at the start of `buffer_` read and not yet handed over, and
    // whether the read after them found the terminal's end.
    size_t filled_ = 0;
    bool sawEnd_ = false;
    std::list<Block> writing_;
    bool endOfFile_ = false;
    bool hungUp_ = false;
    // Work that was refused memory and is tried again, in this order, before
    // anything else: the hand-over above, giving up what waits to be
    // written (with `stopError_`), and the exit report.
    bool stopPending_ = false;
    int stopError_ = 0;
    bool exitPending_ = false;

    // One turn of the loop; false once the thread is done. A std::bad_alloc
    // leaves everything to be tried again on the next turn.
    bool step(const std::shared_ptr<Run>& self);
    // Waits `pause` for memory to come free, or less if the thread is woken.
    void pauseAfterRefusal(Nanos pause);
    // Moves what the host queued to `writing_`, joining small blocks.
    void takeOutgoing(bool& closeNow, bool& masterOpen, bool& reapedNow);
    // Does the pending work above; throws std::bad_alloc where it still
    // finds no memory, with that work and what follows it left pending.
    void finishPending(const std::shared_ptr<Run>& self);
    bool shouldPause();
    bool childHasExited();
    // Reads what waits (after anything still pending) and hands it over;
    // false when nothing more can be read now.
    bool readOnce(const std::shared_ptr<Run>& self);
    // Hands over the bytes read, then the end that followed them.
    void handOver(const std::shared_ptr<Run>& self);
    // Copies and delivers one block; all or nothing when memory is refused.
    void handleChunk(const std::shared_ptr<Run>& self, const uint8_t* data, size_t count);
    void handleEndOfFile(const std::shared_ptr<Run>& self);
    // Writes `chunk` to the next dump file while dumps are on; a failure is
    // logged, never thrown.
    void writeDump(Core& core, std::span<const uint8_t> chunk);
    // Writes what the terminal takes now; a write that fails stops writing.
    void flushWrites(const std::shared_ptr<Run>& self);
    // Counts the block as done (written, or given up).
    void completeWrite(const Block& block);
    // Nothing more can be written: every waiting block is given up (one log
    // line for them all), queueing is refused from now on, and the user's
    // input among them that the terminal never took is handed back. Nothing
    // is given up before that hand-back is on its way.
    void stopWriting(const std::shared_ptr<Run>& self, int error);
    void postUnwritten(const std::shared_ptr<Run>& self, std::vector<uint8_t> bytes);
    void closeMaster(const std::shared_ptr<Run>& self);
    void postExitReport(const std::shared_ptr<Run>& self);
};

LocalProcess::Run::~Run()
{
    // The master is normally closed on request; a run dropped without one
    // (its thread never started) still must not leak it.
    if (!masterClosed) ::close(masterFd);
    if (pidfd >= 0) ::close(pidfd);
    ::close(wakeFd);
}

void LocalProcess::Run::wake()
{
    const uint64_t one = 1;
    (void)::write(wakeFd, &one, sizeof one);
}

void LocalProcess::Run::requestClose()
{
    {
        std::lock_guard<std::mutex> guard(mutex);
        if (masterClosed) return;
        if (threadDone) {
            ::close(masterFd);
            masterClosed = true;
            return;
        }
        closeRequested = true;
    }
    cv.notify_all();
    wake();
}

void LocalProcess::Run::signal(int sig)
{
    // Under the lock that reaping takes, so a reaped (and maybe reused) pid
    // is never signalled.
    std::lock_guard<std::mutex> guard(mutex);
    if (!reaped) ::kill(pid, sig);
}

int LocalProcess::Run::reapIfExited()
{
    std::lock_guard<std::mutex> guard(mutex);
    if (reaped) return status;
    int st = 0;
    const pid_t r = ::waitpid(pid, &st, WNOHANG);
    if (r == pid) {
        reaped = true;
        status = st;
    } else if (r < 0 && errno == ECHILD) {
        // Reaped elsewhere (SIGCHLD ignored, say): nothing is left to wait for.
        reaped = true;
        status = 0;
    }
    return status;
}

bool LocalProcess::Run::shouldPause()
{
    auto c = core.lock();
    return c && c->coalescer && c->coalescer->producerShouldPause();
}

bool LocalProcess::Run::childHasExited()
{
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
        return errno == ECHILD;
    return info.si_pid != 0;
}

void LocalProcess::Run::ioLoop(const std::shared_ptr<Run>& self)
{
    Run& r = *self;
    // Below the host's threads: under load the host's own thread, which must
    // parse and paint what is read, gets the processor first. (On Linux the
    // niceness of a thread id is that thread's alone.)
    errno = 0;
    const int niceness = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
    if (errno == 0)
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), std::min(niceness + ioThreadNiceness, 19));
    // A refused allocation must not end the process, nor lose a byte: every
    // step that needs memory either completes or leaves its work pending,
    // and the turn is tried again after a pause that doubles up to the
    // longest (never a busy loop). Meanwhile nothing more is read, so the
    // child waits in its writes, as when delivery lags.
    Nanos pause = firstRetryNs;
    for (;;) {
        try {
            if (!r.step(self)) break;
            pause = firstRetryNs;
        } catch (const std::bad_alloc&) {
            r.pauseAfterRefusal(pause);
            pause = std::min(2 * pause, longestRetryNs);
        }
    }

    std::lock_guard<std::mutex> guard(r.mutex);
    r.threadDone = true;
    if (r.closeRequested && !r.masterClosed) {
        ::close(r.masterFd);
        r.masterClosed = true;
    }
}

void LocalProcess::Run::pauseAfterRefusal(Nanos pause)
{
    // Woken by a close request (or more to write), the thread goes on at
    // once: a child being ended is not kept waiting for memory.
    pollfd woken{wakeFd, POLLIN, 0};
    const int ms = static_cast<int>((pause + 999'999) / 1'000'000);
    if (::poll(&woken, 1, ms) > 0 && (woken.revents & POLLIN)) {
        uint64_t count;
        (void)::read(wakeFd, &count, sizeof count);
    }
}

void LocalProcess::Run::takeOutgoing(bool& closeNow, bool& masterOpen, bool& reapedNow)
{
    std::list<Block>::iterator taken;
    {
        std::lock_guard<std::mutex> guard(mutex);
        taken = outgoing.begin();
        if (taken == outgoing.end()) taken = writing_.end();
        writing_.splice(writing_.end(), outgoing);
        closeNow = closeRequested && !masterClosed;
        masterOpen = !masterClosed;
        reapedNow = reaped;
    }
    // Joined outside the lock, which the host's thread takes to queue more;
    // not while traced (the trace counts blocks). Joining saves writes only:
    // without the memory for it the blocks go as they are.
    const bool tracing = [&] {
        auto c = core.lock();
        return c && c->debugIO.load();
    }();
    if (tracing) return;
    try {
        while (taken != writing_.end()) {
            if (taken != writing_.begin()) {
                Block& into = *std::prev(taken);
                if (into.kind == taken->kind && into.bytes.size() + taken->bytes.size() <= joinedBlockSize) {
                    into.bytes.insert(into.bytes.end(), taken->bytes.begin(), taken->bytes.end());
                    taken = writing_.erase(taken);
                    continue;
                }
            }
            ++taken;
        }
    } catch (const std::bad_alloc&) {
    }
}

void LocalProcess::Run::finishPending(const std::shared_ptr<Run>& self)
{
    handOver(self);
    if (stopPending_) stopWriting(self, stopError_);
    if (exitPending_) postExitReport(self);
}

bool LocalProcess::Run::step(const std::shared_ptr<Run>& self)
{
    bool closeNow;
    bool masterOpen;
    bool reapedNow;
    takeOutgoing(closeNow, masterOpen, reapedNow);
    if (closeNow) {
        closeMaster(self);
        masterOpen = false;
    }
    finishPending(self);
    if ((!masterOpen || endOfFile_) && reapedNow) return false;

    const bool live = masterOpen && !endOfFile_;
    const bool reading = live && !shouldPause();
    short masterEvents = 0;
    if (reading) masterEvents |= POLLIN;
    if (live && !writing_.empty() && !hungUp_) masterEvents |= POLLOUT;
    // The exit is handled once what the child wrote can be read, so that
    // it is reported after the child's last output.
    const bool watchExit = !reapedNow && (reading || !live);

    pollfd fds[3] = {
        {wakeFd, POLLIN, 0},
        {masterEvents ? masterFd : -1, masterEvents, 0},
        {watchExit && pidfd >= 0 ? pidfd : -1, POLLIN, 0},
    };
    const int timeout = watchExit && pidfd < 0 ? kExitPollMs : -1;
    if (::poll(fds, 3, timeout) < 0 && errno != EINTR) {
        // Not expected with valid descriptors; avoid spinning if it happens.
        std::this_thread::sleep_for(std::chrono::milliseconds(kExitPollMs));
        return true;
    }

    if (fds[0].revents & POLLIN) {
        uint64_t count;
        (void)::read(wakeFd, &count, sizeof count);
    }
    const short revents = fds[1].revents;
    if (revents & (POLLIN | POLLHUP | POLLERR)) {
        if (reading) {
            readOnce(self);
        } else if (revents & (POLLHUP | POLLERR)) {
            // Nobody holds the terminal and reading is paused: stop
            // offering writes, or poll would report the hang-up forever.
            hungUp_ = true;
        }
    }
    if ((revents & POLLOUT) && !endOfFile_) flushWrites(self);

    if (watchExit) {
        const bool exited = pidfd >= 0 ? (fds[2].revents & POLLIN) != 0 : childHasExited();
        if (!exited) return true;
        if (!endOfFile_ && masterOpen) {
            bool more = true;
            for (int i = 0; i < kCatchUpReads && more && !endOfFile_; ++i) {
                if (shouldPause()) break;
                more = readOnce(self);
            }
            // Paused with output still unread: the exit waits for it.
            if (!endOfFile_ && shouldPause()) return true;
        }
        reapIfExited();
        {
            std::lock_guard<std::mutex> guard(mutex);
            exitPending_ = reaped;
        }
        finishPending(self);
    }
    return true;
}

bool LocalProcess::Run::readOnce(const std::shared_ptr<Run>& self)
{
    // The terminal hands over at most a few kilobytes per read; what is
    // already waiting is gathered into one block of up to `readSize` bytes,
    // so bursts travel in few large blocks while a lone echo goes at once.
    if (buffer_.empty()) buffer_.resize(readSize);
    while (!sawEnd_ && filled_ < buffer_.size()) {
        const ssize_t n = ::read(masterFd, buffer_.data() + filled_, buffer_.size() - filled_);
        if (n > 0) {
            filled_ += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        // 0 or an error other than EAGAIN: on Linux a master whose other
        // side is closed reads as EIO.
        sawEnd_ = !(n < 0 && errno == EAGAIN);
        break;
    }
    const bool gotBytes = filled_ > 0;
    handOver(self);
    return gotBytes && !sawEnd_;
}

void LocalProcess::Run::handOver(const std::shared_ptr<Run>& self)
{
    if (filled_ > 0) {
        handleChunk(self, buffer_.data(), filled_);
        filled_ = 0;
    }
    if (sawEnd_ && !endOfFile_) handleEndOfFile(self);
}

void LocalProcess::Run::handleChunk(const std::shared_ptr<Run>& self, const uint8_t* data,
                                    size_t count)
{
    auto c = core.lock();
    if (!c) return;
    // The copy and the hand-over each take memory; either may be refused,
    // and then nothing went and the caller keeps the bytes to try again.
    std::vector<uint8_t> chunk(data, data + count);
    // Traced and dumped once the block is on its way, so that a retry does
    // not count or dump it twice; neither throws, so a block on its way is
    // never offered again.
    const auto traceAndDump = [&] {
        if (c->debugIO.load()) {
            const int64_t totalRead = c->totalRead.fetch_add(static_cast<int64_t>(count)) +
                                      static_cast<int64_t>(count);
            logUnlessRefused([&] {
                return "[READ] count=" + std::to_string(count) + " received from host total=" +
                       std::to_string(totalRead);
            });
        }
        writeDump(*c, std::span<const uint8_t>(data, count));
    };

    if (c->usesMainQueue) {
        {
            // Under the state lock, so no block of a superseded run slips in
            // after the output of the run that replaced it.
            std::lock_guard<std::mutex> guard(c->stateMutex);
            if (c->run == self) c->coalescer->enqueue(std::move(chunk));
        }
        traceAndDump();
        return;
    }

    {
        std::lock_guard<std::mutex> guard(c->stateMutex);
        if (c->run != self) {
            traceAndDump();
            return;
        }
    }
    // Synchronous delivery: wait until the delegate's queue has handled the
    // block. The signal fires when the queued block is destroyed, after it
    // ran or when it was dropped (or never queued), so the wait always ends.
    struct DeliverySignal {
        std::shared_ptr<Run> run;
        ~DeliverySignal()
        {
            {
                std::lock_guard<std::mutex> guard(run->mutex);
                run->deliveryPending = false;
            }
            run->cv.notify_all();
        }
    };
    std::shared_ptr<DeliverySignal> signal(new DeliverySignal{self});
    {
        std::lock_guard<std::mutex> guard(mutex);
        deliveryPending = true;
    }
    std::weak_ptr<Core> weakCore = c;
    c->post([weakCore, chunk = std::move(chunk), signal = std::move(signal)] {
        auto core = weakCore.lock();
        if (!core) return;
        {
            std::lock_guard<std::mutex> guard(core->postMutex);
            if (!core->alive) return;
        }
        core->deliver(chunk);
    });
    traceAndDump();
    c.reset();  // the owner may go away while we wait

    std::unique_lock<std::mutex> lock(mutex);
    cv.wait(lock, [this] { return !deliveryPending || closeRequested; });
}

void LocalProcess::Run::handleEndOfFile(const std::shared_ptr<Run>& self)
{
    endOfFile_ = true;
    if (auto c = core.lock()) {
        std::lock_guard<std::mutex> guard(c->stateMutex);
        if (c->run == self) {
            c->childfd.store(-1);
            c->running.store(false);
        }
    }
    stopWriting(self, EIO);
}

void LocalProcess::Run::writeDump(Core& c, std::span<const uint8_t> chunk)
{
    std::string path;
    try {
        std::lock_guard<std::mutex> guard(c.loggingMutex);
        if (!c.loggingDir) return;
        path = *c.loggingDir + "/log-" + std::to_string(c.logFileCounter.load());
    } catch (const std::bad_alloc&) {
        return;  // no memory to name the file: this block is not dumped
    }
    int error = 0;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = errno;
    } else {
        size_t done = 0;
        while (done < chunk.size()) {
            const ssize_t n = ::write(fd, chunk.data() + done, chunk.size() - done);
            if (n < 0) {
                if (errno == EINTR) continue;
                error = errno;
                break;
            }
            done += static_cast<size_t>(n);
        }
        if (::close(fd) != 0 && !error) error = errno;
    }
    if (error) {
        logUnlessRefused(
            [&] { return "Got error while logging data dump to " + path + ": " + std::strerror(error); });
    } else {
        c.logFileCounter.fetch_add(1);
    }
}

void LocalProcess::Run::flushWrites(const std::shared_ptr<Run>& self)
{
    while (!writing_.empty()) {
        Block& block = writing_.front();
        const ssize_t n = ::write(masterFd, block.bytes.data() + block.offset,
                                  block.bytes.size() - block.offset);
        if (n >= 0) {
            block.offset += static_cast<size_t>(n);
            if (block.offset < block.bytes.size()) continue;  // partial write
            completeWrite(block);
            writing_.pop_front();
            continue;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN) return;  // the terminal is full; poll says when it drains
        // A terminal that refuses a write (one whose child side has hung
        // up) takes none of what waits behind it either.
        stopWriting(self, errno);
        return;
    }
}

void LocalProcess::Run::completeWrite(const Block& block)
{
    queued.fetch_sub(block.bytes.size());
    auto c = core.lock();
    if (!c) return;
    const int64_t total = c->total.fetch_add(static_cast<int64_t>(block.offset)) +
                          static_cast<int64_t>(block.offset);
    if (c->debugIO.load())
        logUnlessRefused([&] {
            return "[SEND-" + std::to_string(block.number) + "] completed bytes=" + std::to_string(total);
        });
}

void LocalProcess::Run::stopWriting(const std::shared_ptr<Run>& self, int error)
{
    // Pending until every block is given up: a refusal below leaves them
    // all in place, and the next turn starts over.
    stopPending_ = true;
    stopError_ = error;
    {
        std::lock_guard<std::mutex> guard(mutex);
        writingStopped = true;
        writing_.splice(writing_.end(), outgoing);
    }
    if (!writing_.empty()) {
        // The user's input among them goes back, unless nobody is told of
        // this child any more.
        if (reportExit.load()) {
            std::vector<uint8_t> unwritten;
            for (const Block& block : writing_)
                if (block.kind == Outgoing::input)
                    unwritten.insert(unwritten.end(), block.bytes.begin() + static_cast<std::ptrdiff_t>(block.offset),
                                     block.bytes.end());
            if (!unwritten.empty()) postUnwritten(self, std::move(unwritten));
        }
        // One line for them all: a child that ended may leave megabytes of
        // answers queued, and each block would otherwise log its own.
        logUnlessRefused([&] { return "Error writing data to the child, errno=" + std::to_string(error); });
        while (!writing_.empty()) {
            completeWrite(writing_.front());
            writing_.pop_front();
        }
    }
    stopPending_ = false;
}

void LocalProcess::Run::postUnwritten(const std::shared_ptr<Run>& self, std::vector<uint8_t> bytes)
{
    if (!reportExit.load()) return;
    auto c = core.lock();
    if (!c) return;
    std::weak_ptr<Core> weakCore = c;
    // In line with the output and ahead of the exit report, so the host has
    // its input back before it learns that the child ended.
    auto report = [weakCore, self, bytes = std::move(bytes)] {
        auto core = weakCore.lock();
        if (!core) return;
        {
            std::lock_guard<std::mutex> state(core->stateMutex);
            if (core->run != self || !self->reportExit.load()) return;
        }
        if (auto d = core->lockDelegate()) d->inputNotWritten(bytes);
    };
    if (c->usesMainQueue) {
        c->coalescer->enqueueMarker(std::move(report));
    } else {
        c->post(std::move(report));
    }
}

void LocalProcess::Run::closeMaster(const std::shared_ptr<Run>& self)
{
    // What the terminal takes without waiting still goes out; the rest was
    // meant for a child that is being ended, and so are bytes read and not
    // yet handed over.
    if (!endOfFile_ && !hungUp_ && !stopPending_) flushWrites(self);
    writing_.clear();
    filled_ = 0;
    sawEnd_ = false;
    stopPending_ = false;
    std::lock_guard<std::mutex> guard(mutex);
    outgoing.clear();
    queued.store(0);
    ::close(masterFd);
    masterClosed = true;
}

void LocalProcess::Run::postExitReport(const std::shared_ptr<Run>& self)
{
    auto c = core.lock();
    if (!c || !reportExit.load()) {
        exitPending_ = false;
        return;
    }
    std::weak_ptr<Core> weakCore = c;
    auto report = [weakCore, self] {
        if (auto core = weakCore.lock()) core->exitReported(self);
    };
    if (c->usesMainQueue) {
        c->coalescer->enqueueMarker(std::move(report));
    } else {
        c->post(std::move(report));
    }
    exitPending_ = false;
}

void LocalProcess::Core::exitReported(const std::shared_ptr<Run>& reported)
{
    std::lock_guard<std::recursive_mutex> guard(ownerMutex);
    if (!owner) return;
    {
        std::lock_guard<std::mutex> state(stateMutex);
        if (run != reported || !reported->reportExit.load()) return;
    }
    owner->processTerminated();
}

// ---- LocalProcess ----

LocalProcess::LocalProcess(std::weak_ptr<LocalProcessDelegate> delegate,
                           DispatchQueue* dispatchQueue)
    : core_(std::make_shared<Core>())
{
    DispatchQueue& main = DispatchQueue::main();
    core_->queue = dispatchQueue ? dispatchQueue : &main;
    core_->usesMainQueue = core_->queue == &main;
    core_->delegate = std::move(delegate);
    core_->owner = this;
    if (core_->usesMainQueue) {
        std::weak_ptr<Core> weakCore = core_;
        core_->coalescer = CoalescedDelivery::create(
            [weakCore](CoalescedDelivery::Block block) {
                if (auto c = weakCore.lock()) c->post(std::move(block));
            },
            [weakCore](std::span<const uint8_t> bytes) {
                if (auto c = weakCore.lock()) c->deliver(bytes);
            },
            ReadAheadBound(readAheadFloor, readAheadCeiling),
            [weakCore] {
                auto c = weakCore.lock();
                if (!c) return;
                std::lock_guard<std::mutex> guard(c->stateMutex);
                if (c->run) c->run->wake();
            });
        // Every process that delivers to the main queue shares its turn, so
        // many busy children together still leave the queue time to paint.
        core_->coalescer->shareTurn(main.deliveryTurn(), [weakCore](Nanos delay, CoalescedDelivery::Block block) {
            if (auto c = weakCore.lock()) c->postAfter(delay, std::move(block));
        });
    }
}

LocalProcess::~LocalProcess()
{
    {
        std::lock_guard<std::mutex> guard(core_->postMutex);
        core_->alive = false;
    }
    {
        std::lock_guard<std::recursive_mutex> guard(core_->ownerMutex);
        core_->owner = nullptr;
    }
    std::shared_ptr<Run> run;
    {
        std::lock_guard<std::mutex> guard(core_->stateMutex);
        run = std::move(core_->run);
        core_->running.store(false);
    }
    if (run) {
        run->reportExit.store(false);
        run->requestClose();
    }
    if (core_->coalescer) core_->coalescer->discard();
}

bool LocalProcess::startProcess(const std::string& executable, const std::vector<std::string>& args,
                                const std::optional<std::vector<std::string>>& environment,
                                const std::optional<std::string>& execName,
                                const std::optional<std::string>& currentDirectory)
{
    Core& c = *core_;
    if (c.running.load()) return false;
    // Asked before taking the state lock, so the delegate may call back into this object.
    winsize size{};
    if (auto d = c.lockDelegate()) size = PseudoTerminalHelpers::toWinsize(d->getWindowSize());

    std::lock_guard<std::mutex> guard(c.stateMutex);
    if (c.running.load()) return false;

    std::vector<std::string> argv;
    argv.reserve(args.size() + 1);
    argv.push_back(execName.value_or(executable));
    argv.insert(argv.end(), args.begin(), args.end());
    const std::vector<std::string> env =
        environment ? *environment : getEnvironmentVariables("xterm-256color", true);

    const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) return false;
    auto forked = PseudoTerminalHelpers::fork(executable, argv, env, currentDirectory, size);
    if (!forked) {
        ::close(wakeFd);
        return false;
    }
    ::fcntl(forked->masterFd, F_SETFL, ::fcntl(forked->masterFd, F_GETFL) | O_NONBLOCK);
    const int pidfd = openPidfd(forked->pid);

    std::shared_ptr<Run> run;
    try {
        run = std::make_shared<Run>(core_, forked->masterFd, forked->pid, pidfd, wakeFd);
        std::thread([run] { Run::ioLoop(run); }).detach();
    } catch (const std::exception&) {
        // No thread to watch the child (none could be made, or no memory for
        // it): end it here rather than leave it unreaped.
        ::kill(forked->pid, SIGKILL);
        int st;
        while (::waitpid(forked->pid, &st, 0) < 0 && errno == EINTR) {
        }
        if (!run) {
            ::close(forked->masterFd);
            if (pidfd >= 0) ::close(pidfd);
            ::close(wakeFd);
        }
        return false;  // else `run` closes the descriptors
    }

    // The previous child's channel goes away with it; it reports nothing more.
    if (c.run) {
        c.run->reportExit.store(false);
        c.run->requestClose();
    }
    c.run = std::move(run);
    c.childfd.store(forked->masterFd);
    c.shellPid.store(forked->pid);
    c.running.store(true);
    return true;
}

bool LocalProcess::send(std::span<const uint8_t> data)
{
    return queue(data, Outgoing::input);
}

bool LocalProcess::sendReport(std::span<const uint8_t> data)
{
    return queue(data, Outgoing::report);
}

bool LocalProcess::sendReply(std::span<const uint8_t> data)
{
    return queue(data, Outgoing::reply);
}

bool LocalProcess::queue(std::span<const uint8_t> data, Outgoing kind)
{
    const bool reply = kind == Outgoing::reply;
    Core& c = *core_;
    if (!c.running.load()) return false;
    std::shared_ptr<Run> run;
    {
        std::lock_guard<std::mutex> guard(c.stateMutex);
        run = c.run;
    }
    if (!run) return false;
    if (reply && run->queued.load() >= sendQueueLimit) {
        std::lock_guard<std::mutex> guard(c.dropLogMutex);
        c.dropLog.write(monotonicNanos(), "Dropping answers to a child that does not read them");
        return false;
    }
    const int64_t n = c.sendCount.fetch_add(1);
    const bool tracing = c.debugIO.load();
    if (tracing)
        log::write("[SEND-" + std::to_string(n) +
                   "] Queuing data to client: " + describeBytes(data) + " ");
    bool first;
    {
        std::lock_guard<std::mutex> guard(run->mutex);
        if (run->masterClosed || run->closeRequested || run->writingStopped) return false;
        // While blocks wait the thread has been woken already.
        first = run->outgoing.empty();
        // Counted once queued: a refused allocation (std::bad_alloc, to the
        // caller) leaves the list and the count as they were.
        if (!tracing && !first && run->outgoing.back().kind == kind &&
            run->outgoing.back().bytes.size() + data.size() <= joinedBlockSize) {
            auto& into = run->outgoing.back().bytes;
            into.insert(into.end(), data.begin(), data.end());
        } else {
            run->outgoing.push_back(Run::Block{n, std::vector<uint8_t>(data.begin(), data.end()), 0, kind});
        }
        run->queued.fetch_add(data.size());
    }
    if (first) run->wake();
    return true;
}

size_t LocalProcess::queuedBytes() const
{
    std::shared_ptr<Run> run;
    {
        std::lock_guard<std::mutex> guard(core_->stateMutex);
        run = core_->run;
    }
    return run ? run->queued.load() : 0;
}

void LocalProcess::terminate()
{
    Core& c = *core_;
    std::shared_ptr<Run> run;
    {
        std::lock_guard<std::mutex> guard(c.stateMutex);
        run = c.run;
        c.childfd.store(-1);
        c.running.store(false);
    }
    if (!run) return;
    run->reportExit.store(false);
    run->requestClose();
    run->signal(SIGTERM);
}

void LocalProcess::setHostLogging(std::optional<std::string> directory)
{
    std::lock_guard<std::mutex> guard(core_->loggingMutex);
    core_->loggingDir = std::move(directory);
}

void LocalProcess::processTerminated()
{
    // The delegate may destroy this object: only `core` is used after the call.
    std::shared_ptr<Core> core = core_;
    std::shared_ptr<Run> run;
    {
        std::lock_guard<std::mutex> guard(core->stateMutex);
        run = core->run;
    }
    const int status = run ? run->reapIfExited() : 0;
    if (auto d = core->lockDelegate()) d->processTerminated(*this, status);

    std::lock_guard<std::mutex> guard(core->stateMutex);
    // A host that started a new child from the callback keeps it running.
    if (core->run != run) return;
    core->running.store(false);
    if (run) run->reportExit.store(false);
}

int32_t LocalProcess::childfd() const { return core_->childfd.load(); }
pid_t LocalProcess::shellPid() const { return core_->shellPid.load(); }
bool LocalProcess::running() const { return core_->running.load(); }

std::shared_ptr<LocalProcessDelegate> LocalProcess::delegate() const
{
    return core_->lockDelegate();
}

void LocalProcess::setDelegate(std::weak_ptr<LocalProcessDelegate> delegate)
{
    std::lock_guard<std::mutex> guard(core_->delegateMutex);
    core_->delegate = std::move(delegate);
}

DispatchQueue& LocalProcess::dispatchQueue() const { return *core_->queue; }

bool LocalProcess::debugIO() const { return core_->debugIO.load(); }
void LocalProcess::setDebugIO(bool on) { core_->debugIO.store(on); }
int64_t LocalProcess::sendCount() const { return core_->sendCount.load(); }
int64_t LocalProcess::total() const { return core_->total.load(); }
int64_t LocalProcess::totalRead() const { return core_->totalRead.load(); }
int64_t LocalProcess::logFileCounter() const { return core_->logFileCounter.load(); }

std::optional<std::string> LocalProcess::loggingDir() const
{
    std::lock_guard<std::mutex> guard(core_->loggingMutex);
    return core_->loggingDir;
}

size_t LocalProcess::pendingBytes() const
{
    return core_->coalescer ? core_->coalescer->pendingBytes() : 0;
}

size_t LocalProcess::readAheadLimit() const
{
    return core_->coalescer ? core_->coalescer->highWater() : 0;
}

}  // namespace corvel
