#include "app/adapters/embedded/ShortCommand.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace tilebay::ShortCommand {

namespace {

// Without a pidfd, the child's end is looked for at this interval.
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

int millisUntil(corvel::Nanos deadline)
{
    const corvel::Nanos left = deadline - corvel::monotonicNanos();
    if (left <= 0) return 0;
    return static_cast<int>(std::min<corvel::Nanos>((left + 999'999) / 1'000'000, 60'000));
}

// Reads what the pipe holds now. False once the writing side is closed.
bool drain(int fd, ShortCommandResult& result)
{
    char block[16384];
    for (;;) {
        const ssize_t n = ::read(fd, block, sizeof block);
        if (n > 0) {
            const size_t room = maxOutput - result.output.size();
            const size_t take = std::min(room, static_cast<size_t>(n));
            result.output.append(block, take);
            if (take < static_cast<size_t>(n)) result.outputTruncated = true;
            continue;
        }
        if (n == 0) return false;
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK;
    }
}

bool reapNow(pid_t pid, int& status)
{
    for (;;) {
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) return true;
        if (r < 0 && errno == EINTR) continue;
        // ECHILD: someone else reaped it; nothing is left to wait for.
        if (r < 0) {
            status = -1;
            return true;
        }
        return false;
    }
}

void killAndReap(pid_t pid, int& status)
{
    ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace

ShortCommandResult run(const std::string& executable, const std::vector<std::string>& argv,
                       const std::vector<std::string>& environment, corvel::Nanos limit)
{
    ShortCommandResult result;
    int output[2] = {-1, -1};
    if (::pipe2(output, O_CLOEXEC) != 0) return result;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

    // No blocked signals, default handlers, and a process group of its own
    // so that a kill at the time limit also reaches what the child started.
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

    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    if (args.empty()) args.push_back(const_cast<char*>(executable.c_str()));
    args.push_back(nullptr);
    std::vector<char*> env;
    for (const auto& e : environment) env.push_back(const_cast<char*>(e.c_str()));
    env.push_back(nullptr);

    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, executable.c_str(), &actions, &attributes, args.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(output[1]);
    if (rc != 0) {
        ::close(output[0]);
        return result;
    }
    result.launched = true;
    ::fcntl(output[0], F_SETFL, ::fcntl(output[0], F_GETFL) | O_NONBLOCK);

    const corvel::Nanos deadline = corvel::monotonicNanos() + std::max<corvel::Nanos>(limit, 0);
    const int pidfd = openPidfd(pid);
    bool pipeOpen = true;
    bool reaped = false;
    int status = 0;
    while (!reaped) {
        const int wait = millisUntil(deadline);
        if (wait == 0) break;
        pollfd fds[2];
        nfds_t count = 0;
        if (pipeOpen) fds[count++] = {output[0], POLLIN, 0};
        if (pidfd >= 0) fds[count++] = {pidfd, POLLIN, 0};
        const int timeout = pidfd >= 0 ? wait : std::min(wait, kExitPollMillis);
        const int ready = count > 0 ? ::poll(fds, count, timeout) : ::poll(nullptr, 0, timeout);
        if (ready < 0 && errno != EINTR) break;
        if (pipeOpen) pipeOpen = drain(output[0], result);
        // Once the child has ended, what it wrote is in the pipe: a process it
        // left behind may hold the pipe open, so the end is not waited for.
        if (reapNow(pid, status)) {
            reaped = true;
            if (pipeOpen) drain(output[0], result);
        }
    }
    if (!reaped) {
        result.timedOut = true;
        killAndReap(pid, status);
    }
    if (pidfd >= 0) ::close(pidfd);
    ::close(output[0]);
    if (!result.timedOut && status >= 0 && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    return result;
}

}  // namespace tilebay::ShortCommand
