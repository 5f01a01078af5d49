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
#include <deque>
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
    std::deque<Block> outgoing;
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
    std::deque<Block> writing_;
    bool endOfFile_ = false;
    bool hungUp_ = false;

    bool shouldPause();
    bool childHasExited();
    // One read; false when nothing more can be read now.
    bool readOnce(const std::shared_ptr<Run>& self);
    void handleChunk(const std::shared_ptr<Run>& self, const uint8_t* data, size_t count);
    void handleEndOfFile(const std::shared_ptr<Run>& self);
    void writeDump(Core& core, const std::vector<uint8_t>& chunk);
    // Writes what the terminal takes now; a write that fails stops writing.
    void flushWrites(const std::shared_ptr<Run>& self);
    // Counts the block as done (written, or given up).
    void completeWrite(const Block& block);
    // Nothing more can be written: every waiting block is given up (one log
    // line for them all), queueing is refused from now on, and the user's
    // input among them that the terminal never took is handed back.
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
    r.buffer_.resize(readSize);
    for (;;) {
        bool closeNow;
        bool masterOpen;
        bool reapedNow;
        std::deque<Block> taken;
        {
            std::lock_guard<std::mutex> guard(r.mutex);
            taken.swap(r.outgoing);
            closeNow = r.closeRequested && !r.masterClosed;
            masterOpen = !r.masterClosed;
            reapedNow = r.reaped;
        }
        // Joined outside the lock, which the host's thread takes to queue
        // more; not while traced (the trace counts blocks).
        const bool tracing = [&] {
            auto c = r.core.lock();
            return c && c->debugIO.load();
        }();
        for (auto& block : taken) {
            if (!tracing && !r.writing_.empty() && r.writing_.back().kind == block.kind &&
                r.writing_.back().bytes.size() + block.bytes.size() <= joinedBlockSize) {
                auto& into = r.writing_.back().bytes;
                into.insert(into.end(), block.bytes.begin(), block.bytes.end());
                continue;
            }
            r.writing_.push_back(std::move(block));
        }
        if (closeNow) {
            r.closeMaster(self);
            masterOpen = false;
        }
        if ((!masterOpen || r.endOfFile_) && reapedNow) break;

        const bool live = masterOpen && !r.endOfFile_;
        const bool reading = live && !r.shouldPause();
        short masterEvents = 0;
        if (reading) masterEvents |= POLLIN;
        if (live && !r.writing_.empty() && !r.hungUp_) masterEvents |= POLLOUT;
        // The exit is handled once what the child wrote can be read, so that
        // it is reported after the child's last output.
        const bool watchExit = !reapedNow && (reading || !live);

        pollfd fds[3] = {
            {r.wakeFd, POLLIN, 0},
            {masterEvents ? r.masterFd : -1, masterEvents, 0},
            {watchExit && r.pidfd >= 0 ? r.pidfd : -1, POLLIN, 0},
        };
        const int timeout = watchExit && r.pidfd < 0 ? kExitPollMs : -1;
        if (::poll(fds, 3, timeout) < 0 && errno != EINTR) {
            // Not expected with valid descriptors; avoid spinning if it happens.
            std::this_thread::sleep_for(std::chrono::milliseconds(kExitPollMs));
            continue;
        }

        if (fds[0].revents & POLLIN) {
            uint64_t count;
            (void)::read(r.wakeFd, &count, sizeof count);
        }
        const short revents = fds[1].revents;
        if (revents & (POLLIN | POLLHUP | POLLERR)) {
            if (reading) {
                r.readOnce(self);
            } else if (revents & (POLLHUP | POLLERR)) {
                // Nobody holds the terminal and reading is paused: stop
                // offering writes, or poll would report the hang-up forever.
                r.hungUp_ = true;
            }
        }
        if ((revents & POLLOUT) && !r.endOfFile_) r.flushWrites(self);

        if (watchExit) {
            const bool exited = r.pidfd >= 0 ? (fds[2].revents & POLLIN) != 0 : r.childHasExited();
            if (!exited) continue;
            if (!r.endOfFile_ && masterOpen) {
                bool more = true;
                for (int i = 0; i < kCatchUpReads && more && !r.endOfFile_; ++i) {
                    if (r.shouldPause()) break;
                    more = r.readOnce(self);
                }
                // Paused with output still unread: the exit waits for it.
                if (!r.endOfFile_ && r.shouldPause()) continue;
            }
            r.reapIfExited();
            bool done;
            {
                std::lock_guard<std::mutex> guard(r.mutex);
                done = r.reaped;
            }
            if (done) r.postExitReport(self);
        }
    }

    std::lock_guard<std::mutex> guard(r.mutex);
    r.threadDone = true;
    if (r.closeRequested && !r.masterClosed) {
        ::close(r.masterFd);
        r.masterClosed = true;
    }
}

bool LocalProcess::Run::readOnce(const std::shared_ptr<Run>& self)
{
    // The terminal hands over at most a few kilobytes per read; what is
    // already waiting is gathered into one block of up to `readSize` bytes,
    // so bursts travel in few large blocks while a lone echo goes at once.
    size_t filled = 0;
    bool ended = false;
    while (filled < buffer_.size()) {
        const ssize_t n = ::read(masterFd, buffer_.data() + filled, buffer_.size() - filled);
        if (n > 0) {
            filled += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        // 0 or an error other than EAGAIN: on Linux a master whose other
        // side is closed reads as EIO.
        ended = !(n < 0 && errno == EAGAIN);
        break;
    }
    if (filled > 0) handleChunk(self, buffer_.data(), filled);
    if (ended) handleEndOfFile(self);
    return filled > 0 && !ended;
}

void LocalProcess::Run::handleChunk(const std::shared_ptr<Run>& self, const uint8_t* data,
                                    size_t count)
{
    auto c = core.lock();
    if (!c) return;
    if (c->debugIO.load()) {
        const int64_t totalRead = c->totalRead.fetch_add(static_cast<int64_t>(count)) +
                                  static_cast<int64_t>(count);
        log::write("[READ] count=" + std::to_string(count) +
                   " received from host total=" + std::to_string(totalRead));
    }
    std::vector<uint8_t> chunk(data, data + count);
    writeDump(*c, chunk);

    if (c->usesMainQueue) {
        // Under the state lock, so no block of a superseded run slips in
        // after the output of the run that replaced it.
        std::lock_guard<std::mutex> guard(c->stateMutex);
        if (c->run == self) c->coalescer->enqueue(std::move(chunk));
        return;
    }

    {
        std::lock_guard<std::mutex> guard(c->stateMutex);
        if (c->run != self) return;
    }
    // Synchronous delivery: wait until the delegate's queue has handled the
    // block. The signal fires when the queued block is destroyed, after it
    // ran or when it was dropped, so the wait always ends.
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
    {
        std::lock_guard<std::mutex> guard(mutex);
        deliveryPending = true;
    }
    std::weak_ptr<Core> weakCore = c;
    std::shared_ptr<DeliverySignal> signal(new DeliverySignal{self});
    c->post([weakCore, chunk = std::move(chunk), signal = std::move(signal)] {
        auto core = weakCore.lock();
        if (!core) return;
        {
            std::lock_guard<std::mutex> guard(core->postMutex);
            if (!core->alive) return;
        }
        core->deliver(chunk);
    });
    c.reset();  // the owner may go away while we wait

    std::unique_lock<std::mutex> lock(mutex);
    cv.wait(lock, [this] { return !deliveryPending || closeRequested; });
}

void LocalProcess::Run::handleEndOfFile(const std::shared_ptr<Run>& self)
{
    endOfFile_ = true;
    stopWriting(self, EIO);
    auto c = core.lock();
    if (!c) return;
    std::lock_guard<std::mutex> guard(c->stateMutex);
    if (c->run != self) return;
    c->childfd.store(-1);
    c->running.store(false);
}

void LocalProcess::Run::writeDump(Core& c, const std::vector<uint8_t>& chunk)
{
    std::optional<std::string> dir;
    {
        std::lock_guard<std::mutex> guard(c.loggingMutex);
        dir = c.loggingDir;
    }
    if (!dir) return;
    const std::string path = *dir + "/log-" + std::to_string(c.logFileCounter.load());
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
        log::write("Got error while logging data dump to " + path + ": " + std::strerror(error));
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
        log::write("[SEND-" + std::to_string(block.number) +
                   "] completed bytes=" + std::to_string(total));
}

void LocalProcess::Run::stopWriting(const std::shared_ptr<Run>& self, int error)
{
    {
        std::lock_guard<std::mutex> guard(mutex);
        if (writingStopped && outgoing.empty() && writing_.empty()) return;
        writingStopped = true;
        for (auto& block : outgoing) writing_.push_back(std::move(block));
        outgoing.clear();
    }
    // One line for them all: a child that ended may leave megabytes of
    // answers queued, and each block would otherwise log its own.
    if (!writing_.empty()) log::write("Error writing data to the child, errno=" + std::to_string(error));
    std::vector<uint8_t> unwritten;
    while (!writing_.empty()) {
        const Block& block = writing_.front();
        if (block.kind == Outgoing::input)
            unwritten.insert(unwritten.end(), block.bytes.begin() + static_cast<std::ptrdiff_t>(block.offset),
                             block.bytes.end());
        completeWrite(block);
        writing_.pop_front();
    }
    if (!unwritten.empty()) postUnwritten(self, std::move(unwritten));
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
    // meant for a child that is being ended.
    if (!endOfFile_ && !hungUp_) flushWrites(self);
    writing_.clear();
    std::lock_guard<std::mutex> guard(mutex);
    outgoing.clear();
    queued.store(0);
    ::close(masterFd);
    masterClosed = true;
}

void LocalProcess::Run::postExitReport(const std::shared_ptr<Run>& self)
{
    if (!reportExit.load()) return;
    auto c = core.lock();
    if (!c) return;
    std::weak_ptr<Core> weakCore = c;
    auto report = [weakCore, self] {
        if (auto core = weakCore.lock()) core->exitReported(self);
    };
    if (c->usesMainQueue) {
        c->coalescer->enqueueMarker(std::move(report));
    } else {
        c->post(std::move(report));
    }
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

    auto run = std::make_shared<Run>(core_, forked->masterFd, forked->pid, pidfd, wakeFd);
    try {
        std::thread([run] { Run::ioLoop(run); }).detach();
    } catch (const std::system_error&) {
        // No thread to watch the child: end it here rather than leave it unreaped.
        ::kill(forked->pid, SIGKILL);
        int st;
        while (::waitpid(forked->pid, &st, 0) < 0 && errno == EINTR) {
        }
        return false;  // `run` closes the descriptors
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
        run->queued.fetch_add(data.size());
        // While blocks wait the thread has been woken already.
        first = run->outgoing.empty();
        if (!tracing && !first && run->outgoing.back().kind == kind &&
            run->outgoing.back().bytes.size() + data.size() <= joinedBlockSize) {
            auto& into = run->outgoing.back().bytes;
            into.insert(into.end(), data.begin(), data.end());
        } else {
            run->outgoing.push_back(Run::Block{n, std::vector<uint8_t>(data.begin(), data.end()), 0, kind});
        }
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
