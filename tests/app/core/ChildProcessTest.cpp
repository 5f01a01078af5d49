// The child-process helper of the adapters: input fed while output and error
// are read, a child that stops reading its input (no SIGPIPE), a child that
// ends while something it started holds the pipe, a failed start, and
// reaping (by the destructor, and a status reaped elsewhere).
#include "app/core/ChildProcess.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <cerrno>

namespace tilebay {
namespace {

// Guards against a hang only; every case ends long before it.
corvel::Nanos hangGuard() { return corvel::monotonicNanos() + 120'000'000'000; }

std::unique_ptr<ChildProcess> startShell(const std::string& script, ChildProcess::Input input,
                                         ChildProcess::ErrorOutput errors)
{
    ChildProcess::Launch launch;
    launch.program = "/bin/sh";
    launch.argv = {"sh", "-c", script};
    launch.input = input;
    launch.errorOutput = errors;
    int error = 0;
    auto child = ChildProcess::start(launch, error);
    EXPECT_TRUE(child) << "errno " << error;
    return child;
}

TEST(ChildProcessTest, ExchangeFeedsInputAndReadsOutputAndErrors)
{
    // More input than a socket buffer holds, so writing and reading interleave.
    const std::string input(1 << 20, 'x');
    auto child = startShell("cat; echo oops >&2; exit 4", ChildProcess::Input::socket,
                            ChildProcess::ErrorOutput::capture);
    auto transcript = child->exchange(input, ChildProcess::ExchangeEnd::outputClosed, hangGuard());
    EXPECT_FALSE(transcript.timedOut);
    EXPECT_EQ(transcript.output, input);
    EXPECT_EQ(transcript.errors, "oops\n");
    child->reapBy(hangGuard());
    EXPECT_TRUE(WIFEXITED(child->waitStatus()));
    EXPECT_EQ(WEXITSTATUS(child->waitStatus()), 4);

    // A child that closes its input early: the rest is dropped without a
    // SIGPIPE (which would end this test), and its output still counts.
    auto deaf = startShell("exec 0<&-; echo ok", ChildProcess::Input::socket,
                           ChildProcess::ErrorOutput::discard);
    transcript = deaf->exchange(input, ChildProcess::ExchangeEnd::outputClosed, hangGuard());
    EXPECT_EQ(transcript.output, "ok\n");
    EXPECT_TRUE(transcript.errors.empty());
    deaf->reapBy(hangGuard());
    EXPECT_FALSE(deaf->writeInput("more", hangGuard()));
}

TEST(ChildProcessTest, ExchangeToExitDoesNotWaitForWhatHoldsThePipe)
{
    // The background sleep keeps the output pipe open long after sh ended.
    auto child = startShell("sleep 1000 & echo started; exit 2", ChildProcess::Input::empty,
                            ChildProcess::ErrorOutput::discard);
    const auto transcript =
        child->exchange("", ChildProcess::ExchangeEnd::childExited, hangGuard(), /*outputLimit=*/4);
    ::kill(-child->pid(), SIGKILL);  // the sleep, left in the child's group
    EXPECT_FALSE(transcript.timedOut);
    EXPECT_TRUE(child->reaped());
    EXPECT_EQ(transcript.output, "star");
    EXPECT_TRUE(transcript.outputTruncated);
    EXPECT_EQ(WEXITSTATUS(child->waitStatus()), 2);
}

TEST(ChildProcessTest, StartFailureAndReaping)
{
    ChildProcess::Launch missing;
    missing.program = "no-such-program-here";
    missing.searchPath = true;
    int error = 0;
    EXPECT_FALSE(ChildProcess::start(missing, error));
    EXPECT_EQ(error, ENOENT);

    // The destructor kills and reaps a child that still runs.
    pid_t pid = -1;
    {
        auto child = startShell("sleep 1000", ChildProcess::Input::socket, ChildProcess::ErrorOutput::capture);
        pid = child->pid();
        EXPECT_FALSE(child->tryReap());
    }
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);

    // A child reaped elsewhere counts as reaped, with no status.
    auto child = startShell("exit 0", ChildProcess::Input::empty, ChildProcess::ErrorOutput::discard);
    ASSERT_EQ(::waitpid(child->pid(), &status, 0), child->pid());
    EXPECT_TRUE(child->tryReap());
    EXPECT_FALSE(child->statusKnown());
    child->signal(SIGKILL);  // a reaped child's id is not signalled
}

}  // namespace
}  // namespace tilebay
