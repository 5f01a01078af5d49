#include "app/adapters/iterm2/OsascriptRunner.h"

#include "app/core/AppLog.h"
#include "app/core/ChildProcess.h"

#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tilebay {

namespace {

constexpr const char* kLogMessage = "iTerm2 AppleScript 오류";
// An error text longer than this is cut in the log.
constexpr size_t kMaxDescription = 2000;

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
    ChildProcess::Launch launch;
    launch.program = program_;
    launch.searchPath = true;
    launch.input = ChildProcess::Input::socket;
    launch.errorOutput = ChildProcess::ErrorOutput::capture;
    int error = 0;
    auto child = ChildProcess::start(launch, error);
    if (!child) {
        if (error == ENOENT || error == EACCES) {
            if (!missingLogged_.exchange(true)) logFailure(kLogMessage, program_ + " not found");
        } else {
            logFailure(kLogMessage, "cannot start " + program_ + ": " + std::strerror(error));
        }
        return std::nullopt;
    }
    auto transcript = child->exchange(source, ChildProcess::ExchangeEnd::outputClosed, deadline);

    if (transcript.timedOut) child->signal(SIGKILL);
    child->reapBy(deadline);  // kills a child still running at the limit
    if (transcript.timedOut || (WIFSIGNALED(child->waitStatus()) && corvel::monotonicNanos() >= deadline)) {
        logFailure(kLogMessage, program_ + " did not finish within the time limit");
        return std::nullopt;
    }

    const int status = child->waitStatus();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::string description = trimmed(transcript.errors);
        if (description.empty()) {
            description = WIFEXITED(status)
                              ? program_ + " exited with status " + std::to_string(WEXITSTATUS(status))
                              : program_ + " ended by signal " + std::to_string(WTERMSIG(status));
        }
        logFailure(kLogMessage, description);
        return std::nullopt;
    }
    std::string& output = transcript.output;
    if (!output.empty() && output.back() == '\n') output.pop_back();
    return std::move(output);
}

}  // namespace tilebay
