#include "app/adapters/embedded/ShortCommand.h"

#include "app/core/ChildProcess.h"

#include <sys/wait.h>

#include <algorithm>

namespace tilebay::ShortCommand {

ShortCommandResult run(const std::string& executable, const std::vector<std::string>& argv,
                       const std::vector<std::string>& environment, corvel::Nanos limit,
                       std::optional<std::string_view> input)
{
    ShortCommandResult result;
    ChildProcess::Launch launch;  // /dev/null as error, and as input unless some is given
    launch.program = executable;
    launch.argv = argv;
    launch.environment = environment;
    if (input) launch.input = ChildProcess::Input::socket;
    int error = 0;
    const auto child = ChildProcess::start(launch, error);
    if (!child) return result;
    result.launched = true;

    const corvel::Nanos deadline = corvel::monotonicNanos() + std::max<corvel::Nanos>(limit, 0);
    auto transcript = child->exchange(input.value_or(std::string_view()), ChildProcess::ExchangeEnd::childExited,
                                      deadline, maxOutput);
    result.output = std::move(transcript.output);
    result.outputTruncated = transcript.outputTruncated;
    if (!child->reaped()) {
        result.timedOut = true;
        child->killAndReap();
    }
    const int status = child->waitStatus();
    if (!result.timedOut && child->statusKnown() && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    return result;
}

}  // namespace tilebay::ShortCommand
