#include "app/core/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

extern char** environ;

namespace tilebay {

namespace {

// Without a pidfd the child's end is looked for at this interval.
constexpr int kExitPollMillis = 5;

int openPidfd(pid_t pid)
{
#ifdef SYS_pidfd_open
    const int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (fd >= 0) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    return fd;
#else
    (void)pid;
    return -1;
#endif
}

void closeFd(int fd)
{
    if (fd >= 0) ::close(fd);
}

// Milliseconds to wait for `deadline` in one poll: at least 1 while any time
// is left (so a poll never spins), 0 once it passed, at most a minute.
int millisUntil(corvel::Nanos deadline)
{
    const corvel::Nanos left = deadline - corvel::monotonicNanos();
    if (left <= 0) return 0;
    return static_cast<int>(std::min<corvel::Nanos>((left + 999'999) / 1'000'000, 60'000));
}

// Reads what the non-blocking `fd` holds now into `into`, keeping at most
// `limit` bytes there and dropping the rest. False once the writing side is
// closed (or the read failed).
bool drain(int fd, std::string& into, size_t limit, bool& truncated)
{
    char block[16384];
    for (;;) {
        const ssize_t n = ::read(fd, block, sizeof block);
        if (n > 0) {
            const size_t room = limit > into.size() ? limit - into.size() : 0;
            const size_t take = std::min(room, static_cast<size_t>(n));
            into.append(block, take);
            if (take < static_cast<size_t>(n)) truncated = true;
            continue;
        }
        if (n == 0) return false;
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK;
    }
}

void setNonBlocking(int fd)
{
    if (fd >= 0) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

std::vector<char*> pointers(const std::vector<std::string>& strings)
{
    std::vector<char*> list;
    list.reserve(strings.size() + 1);
    for (const auto& s : strings) list.push_back(const_cast<char*>(s.c_str()));
    list.push_back(nullptr);
    return list;
}

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::start(const Launch& launch, int& error)
{
    int input[2] = {-1, -1};
    int output[2] = {-1, -1};
    int errors[2] = {-1, -1};
    auto closeAll = [&] {
        for (int fd : {input[0], input[1], output[0], output[1], errors[0], errors[1]}) closeFd(fd);
    };
    const bool socketInput = launch.input == Input::socket;
    const bool captureErrors = launch.errorOutput == ErrorOutput::capture;
    if ((socketInput && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, input) != 0) ||
        ::pipe2(output, O_CLOEXEC) != 0 || (captureErrors && ::pipe2(errors, O_CLOEXEC) != 0)) {
        error = errno;
        closeAll();
        return nullptr;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (socketInput)
        posix_spawn_file_actions_adddup2(&actions, input[1], STDIN_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    if (captureErrors)
        posix_spawn_file_actions_adddup2(&actions, errors[1], STDERR_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

    // The child starts with no blocked signals, default handlers for the
    // signals this process may have changed, and a process group of its own.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int s : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGCHLD, SIGHUP}) sigaddset(&defaults, s);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                              POSIX_SPAWN_SETPGROUP);

    const std::vector<std::string> programAlone{launch.program};
    auto argv = pointers(launch.argv.empty() ? programAlone : launch.argv);
    std::vector<char*> environment;
    if (launch.environment) environment = pointers(*launch.environment);
    char* const* envp = launch.environment ? environment.data() : environ;

    pid_t pid = -1;
    const int rc = launch.searchPath
                       ? ::posix_spawnp(&pid, launch.program.c_str(), &actions, &attributes, argv.data(), envp)
                       : ::posix_spawn(&pid, launch.program.c_str(), &actions, &attributes, argv.data(), envp);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (rc != 0) {
        error = rc;
        closeAll();
        return nullptr;
    }
    closeFd(input[1]);
    closeFd(output[1]);
    closeFd(errors[1]);
    error = 0;
    return std::unique_ptr<ChildProcess>(
        new ChildProcess(pid, openPidfd(pid), input[0], output[0], errors[0]));
}

ChildProcess::ChildProcess(pid_t pid, int pidfd, int inputFd, int outputFd, int errorFd)
    : pid_(pid), pidfd_(pidfd), inputFd_(inputFd), outputFd_(outputFd), errorFd_(errorFd)
{
}

ChildProcess::~ChildProcess()
{
    killAndReap();
    closeFd(pidfd_);
    closeFd(inputFd_);
    closeFd(outputFd_);
    closeFd(errorFd_);
}

bool ChildProcess::writeInput(std::string_view bytes, corvel::Nanos deadline)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = sendSome(bytes.substr(done));
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const int wait = millisUntil(deadline);
            if (wait <= 0) return false;
            pollfd p{inputFd_, POLLOUT, 0};
            if (::poll(&p, 1, wait) < 0 && errno != EINTR) return false;
            continue;
        }
        return false;  // EPIPE and every other error: the child does not take input
    }
    return true;
}

ssize_t ChildProcess::sendSome(std::string_view bytes)
{
    if (bytes.empty()) return 0;
    if (inputFd_ < 0) {
        errno = EPIPE;
        return -1;
    }
    return ::send(inputFd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

void ChildProcess::closeInput()
{
    if (inputFd_ >= 0) ::shutdown(inputFd_, SHUT_WR);
}

ChildProcess::Transcript ChildProcess::exchange(std::string_view input, ExchangeEnd end,
                                                corvel::Nanos deadline, size_t outputLimit)
{
    Transcript transcript;
    setNonBlocking(outputFd_);
    setNonBlocking(errorFd_);
    const bool untilExit = end == ExchangeEnd::childExited;
    size_t written = 0;
    bool inputOpen = inputFd_ >= 0;
    bool outputOpen = true;
    bool errorsOpen = errorFd_ >= 0;
    bool errorsTruncated = false;  // standard error has no limit
    const auto readBoth = [&] {
        if (outputOpen) outputOpen = drain(outputFd_, transcript.output, outputLimit, transcript.outputTruncated);
        if (errorsOpen) errorsOpen = drain(errorFd_, transcript.errors, std::string::npos, errorsTruncated);
    };

    for (;;) {
        if (inputOpen && written == input.size()) {
            closeInput();
            inputOpen = false;
        }
        if (untilExit ? reaped() : !outputOpen && !errorsOpen) break;
        const int wait = millisUntil(deadline);
        if (wait == 0) {
            transcript.timedOut = true;
            break;
        }
        pollfd fds[4];
        nfds_t count = 0;
        if (outputOpen) fds[count++] = {outputFd_, POLLIN, 0};
        if (errorsOpen) fds[count++] = {errorFd_, POLLIN, 0};
        const nfds_t inputSlot = count;
        if (inputOpen) fds[count++] = {inputFd_, POLLOUT, 0};
        int timeout = wait;
        if (untilExit && pidfd_ >= 0) fds[count++] = {pidfd_, POLLIN, 0};
        else if (untilExit) timeout = std::min(wait, kExitPollMillis);
        const int ready = ::poll(fds, count, timeout);
        if (ready < 0 && errno != EINTR) break;

        readBoth();
        if (inputOpen && ready > 0 && fds[inputSlot].revents != 0) {
            // Write what fits; a child that stopped reading its input (EPIPE)
            // is sent nothing more, and its output still counts.
            const ssize_t n = sendSome(input.substr(written));
            if (n > 0) written += static_cast<size_t>(n);
            else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                inputOpen = false;
        }
        // Once the child has ended, all it wrote is in the pipes.
        if (untilExit && tryReap()) readBoth();
    }
    return transcript;
}

void ChildProcess::signal(int signal)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (reaped_) return;
    ::kill(-pid_, signal);
    ::kill(pid_, signal);  // in case the group could not be made
}

bool ChildProcess::tryReapLocked()
{
    if (reaped_) return true;
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(pid_, &status, WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == pid_) {
        reaped_ = true;
        status_ = status;
    } else if (r < 0) {
        // ECHILD: someone else reaped it; nothing is left to wait for.
        reaped_ = true;
        statusKnown_ = false;
    }
    return reaped_;
}

bool ChildProcess::tryReap()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return tryReapLocked();
}

bool ChildProcess::reaped() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return reaped_;
}

void ChildProcess::reapBy(corvel::Nanos deadline)
{
    for (;;) {
        if (tryReap()) return;
        const int wait = millisUntil(deadline);
        if (wait <= 0) break;
        if (pidfd_ >= 0) {
            pollfd p{pidfd_, POLLIN, 0};
            ::poll(&p, 1, wait);
        } else {
            ::poll(nullptr, 0, std::min(wait, kExitPollMillis));
        }
    }
    killAndReap();
}

void ChildProcess::killAndReap()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (reaped_) return;
    ::kill(-pid_, SIGKILL);
    ::kill(pid_, SIGKILL);
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(pid_, &status, 0);
    } while (r < 0 && errno == EINTR);
    reaped_ = true;
    status_ = r == pid_ ? status : 0;
    statusKnown_ = r == pid_;
}

int ChildProcess::waitStatus() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return status_;
}

bool ChildProcess::statusKnown() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return statusKnown_;
}

}  // namespace tilebay
