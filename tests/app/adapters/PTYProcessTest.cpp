// The launch helpers of embedded panes: the child environment, the login
// shell and the command lines, the short commands (drained output, the time
// limit, reaping), the tmux lookup through candidates and the login shell,
// and the tmux commands naming exactly one session.
#include "app/adapters/embedded/PTYProcess.h"
#include "app/adapters/embedded/ShortCommand.h"
#include "tests/app/adapters/AdapterTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>

namespace tilebay {
namespace {

using namespace tilebay::testing;
using ::testing::ElementsAre;
using ::testing::Contains;
using ::testing::Not;

constexpr corvel::Nanos kGenerous = 20'000'000'000;

std::vector<std::string> environ_()
{
    std::vector<std::string> out;
    for (const auto& [name, value] : PTYProcess::currentEnvironment()) out.push_back(name + "=" + value);
    return out;
}

fs::path script(const fs::path& path, const std::string& body)
{
    writeFile(path, "#!/bin/sh\n" + body);
    fs::permissions(path, fs::perms::owner_all);
    return path;
}

TEST(PTYProcessEnvironment, SetsTerminalVariablesKeepsEmptyLangAndDropsTmux)
{
    const PTYProcess::Environment base{{"PATH", "/usr/bin"}, {"LANG", ""},         {"TERM", "dumb"},
                                       {"COLORTERM", "no"},  {"TMUX", "/s,1,0"}, {"TMUX_PANE", "%3"}};
    const auto env = PTYProcess::environmentArray(base);
    EXPECT_THAT(env, Contains("TERM=xterm-256color"));
    EXPECT_THAT(env, Contains("COLORTERM=truecolor"));
    EXPECT_THAT(env, Contains("TERM_PROGRAM=Tilebay"));
    EXPECT_THAT(env, Contains("LANG="));
    EXPECT_THAT(env, Contains("PATH=/usr/bin"));
    for (const auto& entry : env) {
        EXPECT_FALSE(entry.starts_with("TMUX=")) << entry;
        EXPECT_FALSE(entry.starts_with("TMUX_PANE=")) << entry;
    }
    EXPECT_EQ(env.size(), 5u);

    EXPECT_THAT(PTYProcess::environmentArray({{"HOME", "/h"}}), Contains("LANG=en_US.UTF-8"));
}

TEST(PTYProcessLaunch, LoginShellFallsBackWhenShellIsMissingOrEmpty)
{
    EXPECT_EQ(PTYProcess::loginShell({{"SHELL", "/bin/bash"}}, "/bin/dash"), "/bin/bash");
    EXPECT_EQ(PTYProcess::loginShell({{"SHELL", ""}}, "/bin/dash"), "/bin/dash");
    EXPECT_EQ(PTYProcess::loginShell({}, "/bin/dash"), "/bin/dash");
    const std::string last = access("/bin/zsh", X_OK) == 0 ? "/bin/zsh" : "/bin/sh";
    EXPECT_EQ(PTYProcess::loginShell({{"SHELL", ""}}, std::nullopt), last);
    EXPECT_EQ(PTYProcess::loginShell({}, ""), last);
}

TEST(PTYProcessLaunch, CommandLines)
{
    ScopedEnv shell("SHELL", "/usr/local/bin/fish");
    const LaunchCommand login = PTYProcess::shellCommand("/tmp");
    EXPECT_EQ(login.executable, "/usr/local/bin/fish");
    EXPECT_EQ(login.execName, "-fish");
    EXPECT_THAT(login.args, ElementsAre("-l"));
    EXPECT_EQ(login.currentDirectory, "/tmp");
    EXPECT_THAT(login.environment, Contains("TERM_PROGRAM=Tilebay"));

    const LaunchCommand inFolder = PTYProcess::tmuxCommand("/usr/bin/tmux", "cwr_abc", "/tmp");
    EXPECT_EQ(inFolder.executable, "/usr/bin/tmux");
    EXPECT_EQ(inFolder.execName, "tmux");
    // The session's name and folder each reach tmux as a word of their own,
    // never inside a command tmux parses (where quotes, spaces or ';' in a
    // folder would change the command); without a folder there is no "-c"
    // at all. (What the command list does, the tests with real tmux show.)
    const auto words = [](const std::vector<std::string>& args, const std::string& part) {
        return std::count_if(args.begin(), args.end(),
                             [&](const std::string& word) { return word.find(part) != std::string::npos; });
    };
    const LaunchCommand odd = PTYProcess::tmuxCommand("/t", "cwr_x", "/tmp/it's a \"dir\"; ls");
    EXPECT_THAT(odd.args, Contains("/tmp/it's a \"dir\"; ls"));
    EXPECT_EQ(words(odd.args, "/tmp/it"), 1);
    EXPECT_EQ(words(inFolder.args, "cwr_abc"), 1);
    EXPECT_THAT(inFolder.args, Contains("cwr_abc"));
    EXPECT_EQ(words(inFolder.args, " -c "), 1);
    for (const std::optional<std::string>& none : {std::optional<std::string>{}, std::optional<std::string>{""}}) {
        const auto args = PTYProcess::tmuxCommand("/t", "cwr_x", none).args;
        EXPECT_THAT(args, Contains("cwr_x"));
        EXPECT_EQ(words(args, " -c "), 0);
        EXPECT_THAT(args, ::testing::Not(Contains("-c")));
    }
}

// The short tmux commands against the real tmux, its sockets in a temporary
// folder and its server killed afterwards.
class TmuxTargetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::exists(kTmux)) GTEST_SKIP() << "tmux is not installed";
    }
    void TearDown() override
    {
        tmux({"kill-server"});
        EXPECT_TRUE(noZombiesEventually());
    }

    TempDir dir;
    ScopedEnv tmuxDir{"TMUX_TMPDIR", dir.path().string()};
    ScopedEnv shell{"SHELL", "/bin/sh"};
};

TEST_F(TmuxTargetTest, SessionCommandsNameExactlyOneSession)
{
    // Sessions whose names begin with, or match as a pattern, the names asked
    // for below; tmux would take them for a name without a session of its own.
    ASSERT_TRUE(tmux({"new-session", "-d", "-s", "cwr_a4preLONG"}).succeeded());
    ASSERT_TRUE(tmux({"new-session", "-d", "-s", "cwr_x1"}).succeeded());
    EXPECT_EQ(PTYProcess::tmuxSessionState(kTmux, "cwr_a4pre", kGenerous), PTYProcess::TmuxSessionState::gone);
    EXPECT_FALSE(PTYProcess::tmuxSessionExists(kTmux, "cwr_x?", kGenerous));
    PTYProcess::killTmuxSession(kTmux, "cwr_a4pre", kGenerous);
    PTYProcess::killTmuxSession(kTmux, "cwr_x*", kGenerous);
    EXPECT_TRUE(PTYProcess::tmuxSessionExists(kTmux, "cwr_a4preLONG", kGenerous));
    EXPECT_TRUE(PTYProcess::tmuxSessionExists(kTmux, "cwr_x1", kGenerous));

    // The short name's own session is the one found and killed.
    ASSERT_TRUE(tmux({"new-session", "-d", "-s", "cwr_a4pre"}).succeeded());
    EXPECT_EQ(PTYProcess::tmuxSessionState(kTmux, "cwr_a4pre", kGenerous), PTYProcess::TmuxSessionState::lives);
    PTYProcess::killTmuxSession(kTmux, "cwr_a4pre", kGenerous);
    EXPECT_FALSE(PTYProcess::tmuxSessionExists(kTmux, "cwr_a4pre", kGenerous));
    EXPECT_TRUE(PTYProcess::tmuxSessionExists(kTmux, "cwr_a4preLONG", kGenerous));

    // The attaching client names its session the same way.
    EXPECT_THAT(PTYProcess::tmuxAttachCommand(kTmux, "cwr_a4pre", std::nullopt).args,
                ElementsAre("attach-session", "-t", "=cwr_a4pre"));
}

TEST(ShortCommandRun, ExitCodesFailuresAndFloodedOutput)
{
    const auto three = ShortCommand::run("/bin/sh", {"sh", "-c", "echo hi; exit 3"}, environ_(), kGenerous);
    EXPECT_TRUE(three.launched);
    EXPECT_EQ(three.exitCode, 3);
    EXPECT_EQ(three.output, "hi\n");
    EXPECT_FALSE(three.succeeded());

    EXPECT_FALSE(ShortCommand::run("/nonexistent/tool", {"tool"}, environ_(), kGenerous).launched);

    // Far more than a pipe holds, on both streams: read while waiting.
    const auto flood = ShortCommand::run(
        "/bin/sh", {"sh", "-c", "head -c 2000000 /dev/zero | tr '\\0' x; head -c 2000000 /dev/zero >&2"},
        environ_(), kGenerous);
    EXPECT_TRUE(flood.succeeded());
    EXPECT_TRUE(flood.outputTruncated);
    EXPECT_EQ(flood.output.size(), ShortCommand::maxOutput);
    EXPECT_TRUE(noZombiesEventually());
}

TEST(ShortCommandRun, ChildOutlivingTheLimitIsKilledAndReaped)
{
    const auto slow = ShortCommand::run("/bin/sh", {"sh", "-c", "echo started; sleep 1000"}, environ_(), 50'000'000);
    EXPECT_TRUE(slow.launched);
    EXPECT_TRUE(slow.timedOut);
    EXPECT_FALSE(slow.exitCode);
    EXPECT_TRUE(zombieChildren().empty());
}

class TmuxLookupTest : public ::testing::Test {
protected:
    TempDir dir;
    ScopedEnv home{"HOME", dir.path().string()};
    ScopedEnv shell{"SHELL", "/bin/bash"};
    fs::path marker = dir.path() / "shell-ran";

    TmuxLookup shellOnly() const { return {{}, true, kGenerous}; }
    void profile(const std::string& body) { writeFile(dir.path() / ".bash_profile", "touch " + marker.string() + "\n" + body); }
};

TEST_F(TmuxLookupTest, FirstExecutableCandidateWinsWithoutAskingTheShell)
{
    profile("");
    const fs::path plain = dir.path() / "plain";
    writeFile(plain, "not executable");
    const fs::path tool = script(dir.path() / "tmux", "exit 0\n");
    EXPECT_EQ(PTYProcess::tmuxPath({{plain.string(), (dir.path() / "missing").string(), tool.string()}, true}),
              tool.string());
    EXPECT_FALSE(fs::exists(marker));
    EXPECT_EQ(PTYProcess::tmuxPath(TmuxLookup::none()), std::nullopt);
    EXPECT_FALSE(fs::exists(marker));
}

TEST_F(TmuxLookupTest, LoginShellFindsTmuxDespiteAProfileFloodingStandardError)
{
    const fs::path bin = dir.path() / "bin";
    const fs::path tool = script(bin / "tmux", "exit 0\n");
    profile("head -c 200000 /dev/zero | tr '\\0' e >&2\nexport PATH=" + bin.string() + ":$PATH\n");
    EXPECT_EQ(PTYProcess::tmuxPath(shellOnly()), tool.string());
    EXPECT_TRUE(fs::exists(marker));
}

TEST_F(TmuxLookupTest, AnswersThatAreNotAnExecutablePathMeanNoTmux)
{
    // A shell function: command -v prints its name, not a path.
    profile("tmux() { :; }\n");
    EXPECT_EQ(PTYProcess::tmuxPath(shellOnly()), std::nullopt);
    // A profile that floods standard output: no hang, and no path.
    profile("head -c 200000 /dev/zero | tr '\\0' o\n");
    EXPECT_EQ(PTYProcess::tmuxPath(shellOnly()), std::nullopt);
    EXPECT_TRUE(fs::exists(marker));
}

TEST_F(TmuxLookupTest, ShellThatNeverAnswersIsKilledAtTheLimit)
{
    const fs::path stuck = script(dir.path() / "stuck-shell", "echo /usr/bin/tmux\nsleep 1000\n");
    ScopedEnv slowShell("SHELL", stuck.string());
    EXPECT_EQ(PTYProcess::tmuxPath({{}, true, 50'000'000}), std::nullopt);
    EXPECT_TRUE(zombieChildren().empty());
}

}  // namespace
}  // namespace tilebay
