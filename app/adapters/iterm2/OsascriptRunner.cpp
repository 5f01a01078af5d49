#include "app/adapters/iterm2/OsascriptRunner.h"

#include "app/adapters/iterm2/ChildProcess.h"
#include "app/core/AppLog.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tilebay {

namespace {

constexpr const char* kLogMessage = "iTerm2 AppleScript 오류";
// An error text longer than this is cut in the log.
constexpr size_t kMaxDescription = 2000;

bool readSome(int fd, std::string& into)
{
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n > 0) {
            into.append(chunk, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;  // open, drained
        return false;  // end of file or error: closed
    }
}

std::string trimmed(std::string text)
{
    const auto notSpace = [](unsigned char c) { return c != ' ' && c != '\n' && c != '\r' && c != '\t'; };
    text.erase(text.begin(), std::find_if(text.begin(), text.end(), notSpace));
    text.erase(std::find_if(text.rbegin(), text.rend(), notSpace).base(), text.end());
    if (text.size() > kMaxDescription) text.resize(kMaxDescription);
    return text;
}

}  // namespace

OsascriptRunner::OsascriptRunner(std::string program, corvel::Nanos timeLimit)
    : program_(std::move(program)), timeLimit_(timeLimit)
{
}

std::optional<std::string> OsascriptRunner::run(const std::string& source)
{
    const corvel::Nanos deadline = corvel::monotonicNanos() + timeLimit();
    int error = 0;
    auto child = ChildProcess::start(program_, {}, ChildProcess::ErrorOutput::capture, error);
    if (!child) {
        if (error == ENOENT || error == EACCES) {
            if (!missingLogged_.exchange(true)) logFailure(kLogMessage, program_ + " not found");
        } else {
            logFailure(kLogMessage, "cannot start " + program_ + ": " + std::strerror(error));
        }
        return std::nullopt;
    }
    for (int fd : {child->outputFd(), child->errorFd()})
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);

    std::string output;
    std::string errors;
    size_t written = 0;
    bool inputOpen = true;
    bool outputOpen = true;
    bool errorsOpen = true;
    bool timedOut = false;

    while (outputOpen || errorsOpen) {
        if (inputOpen && written == source.size()) {
            child->closeInput();
            inputOpen = false;
        }
        const corvel::Nanos left = deadline - corvel::monotonicNanos();
        if (left <= 0) {
            timedOut = true;
            break;
        }
        pollfd fds[3];
        nfds_t count = 0;
        if (outputOpen) fds[count++] = {child->outputFd(), POLLIN, 0};
        if (errorsOpen) fds[count++] = {child->errorFd(), POLLIN, 0};
        if (inputOpen) fds[count++] = {child->inputFd(), POLLOUT, 0};
        const int wait = static_cast<int>(std::min<corvel::Nanos>((left + 999'999) / 1'000'000, 60'000));
        const int ready = ::poll(fds, count, wait);
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) continue;
        for (nfds_t i = 0; i < count; ++i) {
            if (fds[i].revents == 0) continue;
            if (fds[i].fd == child->outputFd()) outputOpen = readSome(child->outputFd(), output);
            else if (fds[i].fd == child->errorFd()) errorsOpen = readSome(child->errorFd(), errors);
            else {
                // Write what fits; a child that stopped reading its input
                // (EPIPE) is told nothing more, and its output still counts.
                const ssize_t n = child->sendSome(std::string_view(source).substr(written));
                if (n > 0) written += static_cast<size_t>(n);
                else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                    inputOpen = false;
            }
        }
    }

    if (timedOut) child->signal(SIGKILL);
    child->reapBy(deadline);  // kills a child still running at the limit
    if (timedOut || (WIFSIGNALED(child->waitStatus()) && corvel::monotonicNanos() >= deadline)) {
        logFailure(kLogMessage, program_ + " did not finish within the time limit");
        return std::nullopt;
    }

    const int status = child->waitStatus();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::string description = trimmed(errors);
        if (description.empty()) {
            description = WIFEXITED(status)
                              ? program_ + " exited with status " + std::to_string(WEXITSTATUS(status))
                              : program_ + " ended by signal " + std::to_string(WTERMSIG(status));
        }
        logFailure(kLogMessage, description);
        return std::nullopt;
    }
    if (!output.empty() && output.back() == '\n') output.pop_back();
    return output;
}

}  // namespace tilebay
