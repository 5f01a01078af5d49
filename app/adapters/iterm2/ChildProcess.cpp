#include "app/adapters/iterm2/ChildProcess.h"

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
constexpr corvel::Nanos kReapPollInterval = 5'000'000;

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

int millisUntil(corvel::Nanos deadline)
{
    const corvel::Nanos left = deadline - corvel::monotonicNanos();
    if (left <= 0) return 0;
    return static_cast<int>(std::min<corvel::Nanos>((left + 999'999) / 1'000'000, 60'000));
}

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::start(const std::string& program,
                                                  const std::vector<std::string>& arguments,
                                                  ErrorOutput errorOutput, int& error)
{
    int input[2] = {-1, -1};
    int output[2] = {-1, -1};
    int errors[2] = {-1, -1};
    auto closeAll = [&] {
        for (int fd : {input[0], input[1], output[0], output[1], errors[0], errors[1]}) closeFd(fd);
    };
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, input) != 0 ||
        ::pipe2(output, O_CLOEXEC) != 0 ||
        (errorOutput == ErrorOutput::capture && ::pipe2(errors, O_CLOEXEC) != 0)) {
        error = errno;
        closeAll();
        return nullptr;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    if (errorOutput == ErrorOutput::capture)
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

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    pid_t pid = -1;
    const int rc = ::posix_spawnp(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
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
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!reaped_) {
            ::kill(-pid_, SIGKILL);
            ::kill(pid_, SIGKILL);
            int status = 0;
            while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
            }
            reaped_ = true;
        }
    }
    closeFd(pidfd_);
    closeFd(inputFd_);
    closeFd(outputFd_);
    closeFd(errorFd_);
}

bool ChildProcess::writeInput(std::string_view bytes, corvel::Nanos deadline)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(inputFd_, bytes.data() + done, bytes.size() - done,
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
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
    return ::send(inputFd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

void ChildProcess::closeInput()
{
    ::shutdown(inputFd_, SHUT_WR);
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
    if (r == pid_ || (r < 0 && errno == ECHILD)) {
        reaped_ = true;
        status_ = status;
    }
    return reaped_;
}

bool ChildProcess::tryReap()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return tryReapLocked();
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
            ::poll(nullptr, 0, static_cast<int>(std::min<corvel::Nanos>(wait, kReapPollInterval / 1'000'000)));
        }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (reaped_) return;
    ::kill(-pid_, SIGKILL);
    ::kill(pid_, SIGKILL);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    reaped_ = true;
    status_ = status;
}

int ChildProcess::waitStatus() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return status_;
}

}  // namespace tilebay
