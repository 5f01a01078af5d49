#include "corvel/host/PseudoTerminalHelpers.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace corvel {

// ---- CStringArray ----

CStringArray::~CStringArray()
{
    if (!array_) return;
    for (size_t i = 0; i < count_; ++i) std::free(array_[i]);
    std::free(array_);
}

CStringArray::CStringArray(CStringArray&& other) noexcept
    : array_(other.array_), count_(other.count_)
{
    other.array_ = nullptr;
    other.count_ = 0;
}

CStringArray& CStringArray::operator=(CStringArray&& other) noexcept
{
    if (this != &other) {
        CStringArray discarded(std::move(*this));
        array_ = other.array_;
        count_ = other.count_;
        other.array_ = nullptr;
        other.count_ = 0;
    }
    return *this;
}

namespace PseudoTerminalHelpers {

std::optional<CStringArray> allocateCStringArray(const std::vector<std::string>& strings)
{
    CStringArray result;
    result.array_ = static_cast<char**>(std::calloc(strings.size() + 1, sizeof(char*)));
    if (!result.array_) return std::nullopt;
    for (const auto& s : strings) {
        char* copy = strdup(s.c_str());
        if (!copy) return std::nullopt;  // the destructor frees the copies made so far
        result.array_[result.count_++] = copy;
    }
    return result;
}

namespace {

void closeQuietly(int fd)
{
    if (fd >= 0) ::close(fd);
}

// Opens a new pseudo-terminal pair, both ends close-on-exec from the moment
// they exist, so a child started concurrently by another thread never
// inherits them.
bool openPair(int& master, int& slave, const winsize& size)
{
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) return false;
    if (grantpt(master) != 0 || unlockpt(master) != 0) {
        closeQuietly(master);
        return false;
    }
#ifdef TIOCGPTPEER
    slave = ::ioctl(master, TIOCGPTPEER, O_RDWR | O_NOCTTY | O_CLOEXEC);
#else
    slave = -1;
#endif
    if (slave < 0) {
        char name[256];
        if (ptsname_r(master, name, sizeof name) == 0)
            slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    }
    if (slave < 0) {
        closeQuietly(master);
        return false;
    }
    winsize copy = size;
    ::ioctl(slave, TIOCSWINSZ, &copy);
    return true;
}

// Runs in the forked child, so it uses only async-signal-safe calls.
[[noreturn]] void execInChild(int slave, const char* path, char* const* argv, char* const* envp,
                              const char* dir, long descriptorLimit)
{
    ::setsid();
    ::ioctl(slave, TIOCSCTTY, 0);
    ::dup2(slave, 0);
    ::dup2(slave, 1);
    ::dup2(slave, 2);

    // Nothing of the parent beyond the terminal: other sessions' masters,
    // sockets and files opened without close-on-exec stay behind.
    if (::syscall(SYS_close_range, 3u, ~0u, 0u) != 0) {
        for (long fd = 3; fd < descriptorLimit; ++fd) ::close(static_cast<int>(fd));
    }

    // Ignored signals and the blocked mask survive execve; the parent's
    // choices (an ignored SIGPIPE, say) must not leak into the shell.
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int sig = 1; sig < NSIG; ++sig) {
        if (sig == SIGKILL || sig == SIGSTOP) continue;
        ::sigaction(sig, &action, nullptr);
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);

    if (dir) (void)::chdir(dir);
    ::execve(path, argv, envp);
    ::_exit(127);
}

}  // namespace

std::optional<ForkResult> fork(const std::string& andExec, const std::vector<std::string>& args,
                               const std::vector<std::string>& env,
                               const std::optional<std::string>& currentDirectory,
                               const winsize& desiredWindowSize)
{
    auto argv = allocateCStringArray(args);
    auto envp = allocateCStringArray(env);
    if (!argv || !envp) return std::nullopt;
    const char* path = andExec.c_str();
    const char* dir = currentDirectory ? currentDirectory->c_str() : nullptr;

    // Fallback bound for closing descriptors when close_range is missing;
    // computed here because the child may only make async-signal-safe calls.
    long descriptorLimit = ::sysconf(_SC_OPEN_MAX);
    if (descriptorLimit < 0 || descriptorLimit > 65536) descriptorLimit = 65536;

    int master = -1;
    int slave = -1;
    if (!openPair(master, slave, desiredWindowSize)) return std::nullopt;

    // Signals stay blocked across the fork so that no handler of this process
    // runs in the child before its dispositions are reset.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    const pid_t pid = ::fork();
    if (pid == 0) execInChild(slave, path, argv->data(), envp->data(), dir, descriptorLimit);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (pid < 0) {
        closeQuietly(slave);
        closeQuietly(master);
        return std::nullopt;
    }
    closeQuietly(slave);
    return ForkResult{pid, master};
}

int setWinSize(int masterPtyDescriptor, const winsize& windowSize)
{
    winsize copy = windowSize;
    return ::ioctl(masterPtyDescriptor, TIOCSWINSZ, &copy) == 0 ? 0 : -1;
}

AvailableBytes availableBytes(int fd)
{
    int size = 0;
    const int status = ::ioctl(fd, FIONREAD, &size);
    return AvailableBytes{status, status < 0 ? 0 : size};
}

}  // namespace PseudoTerminalHelpers
}  // namespace corvel
