// Thin helpers around the platform's pseudo-terminal calls: C string arrays for
// execve, forking a child on a new pseudo-terminal, the window size, and the
// number of bytes waiting on a descriptor.
#pragma once

#include "corvel/host/WindowSize.h"

#include <sys/ioctl.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvel {

class CStringArray;
namespace PseudoTerminalHelpers {
std::optional<CStringArray> allocateCStringArray(const std::vector<std::string>& strings);
}

// A NULL-terminated array of NUL-terminated strings, as execve wants them.
// Owns the array and every string; move-only.
class CStringArray {
public:
    CStringArray() = default;
    ~CStringArray();
    CStringArray(CStringArray&& other) noexcept;
    CStringArray& operator=(CStringArray&& other) noexcept;
    CStringArray(const CStringArray&) = delete;
    CStringArray& operator=(const CStringArray&) = delete;

    char* const* data() const { return array_; }
    size_t count() const { return count_; }

private:
    friend std::optional<CStringArray> PseudoTerminalHelpers::allocateCStringArray(
        const std::vector<std::string>& strings);
    char** array_ = nullptr;
    size_t count_ = 0;
};

namespace PseudoTerminalHelpers {

// Copies `strings` into a newly allocated array of count + 1 entries whose
// last entry is null. Absent when an allocation fails (nothing is leaked).
std::optional<CStringArray> allocateCStringArray(const std::vector<std::string>& strings);

struct ForkResult {
    pid_t pid = 0;
    int masterFd = -1;
};

// Starts `andExec` on a new pseudo-terminal of the given size. `args` is the
// complete argument vector (its first entry is the name the child sees) and
// `env` the complete environment. The child becomes a session leader with the
// terminal as its controlling terminal, changes to `currentDirectory` when one
// is given (a failure is ignored), starts with default signal dispositions, an
// empty signal mask and no descriptors beyond 0, 1 and 2, and exits with 127
// when execve fails. The master is close-on-exec, so no other child inherits
// it. Absent when an allocation, the pseudo-terminal or the fork fails.
std::optional<ForkResult> fork(const std::string& andExec,
                               const std::vector<std::string>& args,
                               const std::vector<std::string>& env,
                               const std::optional<std::string>& currentDirectory,
                               const winsize& desiredWindowSize);

// ioctl(TIOCSWINSZ) on a pseudo-terminal master: 0 on success, -1 on failure.
int setWinSize(int masterPtyDescriptor, const winsize& windowSize);

// The system's window-size record for a host's window size.
inline winsize toWinsize(const WindowSize& size)
{
    winsize out{};
    out.ws_row = size.rows;
    out.ws_col = size.cols;
    out.ws_xpixel = size.pixelWidth;
    out.ws_ypixel = size.pixelHeight;
    return out;
}

struct AvailableBytes {
    int32_t status = 0;  // the ioctl's result
    int32_t size = 0;    // bytes waiting; 0 when the call failed
};

// ioctl(FIONREAD) on a descriptor.
AvailableBytes availableBytes(int fd);

}  // namespace PseudoTerminalHelpers
}  // namespace corvel
