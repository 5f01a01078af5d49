// Embedded cells running real login shells and real tmux on pseudo-terminals:
// the child's environment and argument zero, a shell with SHELL empty, a tmux
// cell that outlives its adapter and re-attaches without typing its command
// again, a cell without tmux, real splits, the end of a split pane, and
// closing without leftovers. tmux runs with its sockets in a temporary folder
// (TMUX_TMPDIR) and that server is killed after each test.
#include "app/adapters/embedded/EmbeddedAdapter.h"
#include "app/adapters/embedded/ShortCommand.h"
#include "tests/app/adapters/AdapterTestSupport.h"
#include "tests/app/adapters/EmbeddedTestPanes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>

#include <cerrno>
#include <set>

namespace tilebay {
namespace {

using namespace tilebay::testing;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* kTmux = "/usr/bin/tmux";

bool processGone(pid_t pid)
{
    return pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH;
}

class EmbeddedShellTest : public ::testing::Test {
protected:
    EmbeddedShellTest() { ensureApplication(); }

    void SetUp() override
    {
        if (!fs::exists(kTmux)) GTEST_SKIP() << "tmux is not installed";
        adapter = makeAdapter();
    }

    void TearDown() override
    {
        adapter.reset();
        queue.runUntilIdle();
        tmux({"kill-server"});
        pump.pumpUntil([] { return zombieChildren().empty(); });
    }

    std::unique_ptr<EmbeddedAdapter> makeAdapter(TmuxLookup lookup = {{kTmux}, false})
    {
        return std::make_unique<EmbeddedAdapter>(std::make_unique<ProcessPaneKit>(), lookup, &queue);
    }

    ShortCommandResult tmux(const std::vector<std::string>& args)
    {
        std::vector<std::string> argv{"tmux"};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<std::string> env;
        for (const auto& [name, value] : PTYProcess::currentEnvironment())
            if (name != "TMUX" && name != "TMUX_PANE") env.push_back(name + "=" + value);
        return ShortCommand::run(kTmux, argv, env, kHangGuard);
    }

    bool waitForFile(const std::string& name, const std::string& containing)
    {
        return pump.pumpUntil([&] { return readFile(home.path() / name).find(containing) != std::string::npos; });
    }

    ProcessPane& pane(const QString& id, size_t index)
    {
        return static_cast<ProcessPane&>(*adapter->paneViews(id).at(index));
    }

    TempDir home;
    ScopedEnv homeVariable{"HOME", home.path().string()};
    ScopedEnv tmuxDir{"TMUX_TMPDIR", home.path().string()};
    ScopedEnv shell{"SHELL", "/bin/bash"};
    // The application itself runs inside some tmux.
    ScopedEnv outerTmux{"TMUX", "/nonexistent/socket,1,0"};
    ScopedEnv outerPane{"TMUX_PANE", "%7"};
    MainQueuePump pump;
    corvel::RunLoopQueue queue{true};
    std::unique_ptr<EmbeddedAdapter> adapter;
};

TEST_F(EmbeddedShellTest, LoginShellGetsTheChildEnvironment)
{
    ScopedEnv lang("LANG", "");
    adapter->createSession(std::nullopt, QString::fromStdString(home.path().string()),
                           QStringLiteral("echo $0 > zero.txt; env > env.tmp; mv env.tmp env.txt"));
    queue.advance(EmbeddedAdapter::startCommandDelay);
    ASSERT_TRUE(waitForFile("env.txt", "TERM"));
    EXPECT_EQ(readFile(home.path() / "zero.txt"), "-bash\n");
    const auto env = readLines(home.path() / "env.txt");
    EXPECT_THAT(env, Contains("TERM=xterm-256color"));
    EXPECT_THAT(env, Contains("COLORTERM=truecolor"));
    EXPECT_THAT(env, Contains("TERM_PROGRAM=Tilebay"));
    EXPECT_THAT(env, Contains("LANG="));
    for (const auto& line : env) {
        EXPECT_FALSE(line.starts_with("TMUX=")) << line;
        EXPECT_FALSE(line.starts_with("TMUX_PANE=")) << line;
    }
}

TEST_F(EmbeddedShellTest, ShellStartsWithShellVariableEmpty)
{
    ScopedEnv emptyShell("SHELL", "");
    const auto cell = adapter->createSession(std::nullopt, QString::fromStdString(home.path().string()),
                                             QStringLiteral("echo started > ok.txt"));
    queue.advance(EmbeddedAdapter::startCommandDelay);
    EXPECT_TRUE(waitForFile("ok.txt", "started"));
    EXPECT_TRUE(pane(cell->id(), 0).running());
}

TEST_F(EmbeddedShellTest, TmuxCellOutlivesItsAdapterAndReattachesWithoutRetyping)
{
    adapter->useTmux = true;
    const QString folder = QString::fromStdString(home.path().string());
    const auto cell = adapter->createSession(QStringLiteral("job"), folder, QStringLiteral("echo M >> f.txt"));
    const std::string name = "cwr_" + cell->id().toStdString();
    queue.advance(EmbeddedAdapter::startCommandDelay);
    ASSERT_TRUE(waitForFile("f.txt", "M"));
    EXPECT_THAT(tmux({"ls"}).output, HasSubstr(name + ":"));

    // A restart: the adapter and its panes go, the tmux session stays.
    adapter.reset();
    queue.runUntilIdle();
    ASSERT_TRUE(tmux({"has-session", "-t", name}).succeeded());

    adapter = makeAdapter();
    adapter->useTmux = true;
    CellRecord record;
    record.internalId = cell->id().toStdString();
    record.projectLabel = "job";
    record.labelLockedByUser = true;
    record.cwd = home.path().string();
    record.startCommand = "echo M >> f.txt";
    adapter->restoreSession(record);
    queue.advance(10 * EmbeddedAdapter::startCommandDelay);
    adapter->sendText(cell->id(), QStringLiteral("echo DONE >> f.txt\r"));
    ASSERT_TRUE(waitForFile("f.txt", "DONE"));
    EXPECT_EQ(readFile(home.path() / "f.txt"), "M\nDONE\n");

    // Closing after tmux was switched off still ends the tmux session.
    const pid_t client = pane(cell->id(), 0).pid();
    adapter->useTmux = false;
    adapter->closeSession(cell->id());
    queue.runUntilIdle();
    EXPECT_FALSE(tmux({"has-session", "-t", name}).succeeded());
    EXPECT_THAT(tmux({"ls"}).output, Not(HasSubstr("cwr_")));
    EXPECT_TRUE(pump.pumpUntil([&] { return processGone(client); }));
}

TEST_F(EmbeddedShellTest, WithoutTmuxACellRunsAPlainShellAndTypesItsCommandOnce)
{
    adapter = makeAdapter(TmuxLookup::none());
    adapter->useTmux = true;
    const auto cell = adapter->createSession(std::nullopt, QString::fromStdString(home.path().string()),
                                             QStringLiteral("echo M >> f.txt"));
    queue.advance(10 * EmbeddedAdapter::startCommandDelay);
    ASSERT_TRUE(waitForFile("f.txt", "M"));
    adapter->sendText(cell->id(), QStringLiteral("echo DONE >> f.txt\r"));
    ASSERT_TRUE(waitForFile("f.txt", "DONE"));
    EXPECT_EQ(readFile(home.path() / "f.txt"), "M\nDONE\n");
    EXPECT_THAT(tmux({"ls"}).output, Not(HasSubstr("cwr_")));
}

TEST_F(EmbeddedShellTest, SplitsRunFourShellsAndClosingLeavesNone)
{
    const QString id = adapter->createSession(std::nullopt, QString::fromStdString(home.path().string()),
                                              std::nullopt)->id();
    for (int n = 0; n < 4; ++n) adapter->splitSession(id);
    ASSERT_EQ(adapter->paneViews(id).size(), 4u);
    std::set<pid_t> pids;
    for (size_t n = 0; n < 4; ++n) {
        ASSERT_TRUE(pane(id, n).running());
        pids.insert(pane(id, n).pid());
    }
    EXPECT_EQ(pids.size(), 4u);
    EXPECT_FALSE(pids.contains(0));

    // A split pane's shell that exits takes only its pane away.
    const pid_t third = pane(id, 2).pid();
    pane(id, 2).send("exit\r");
    ASSERT_TRUE(pump.pumpUntil([&] { return adapter->paneViews(id).size() == 3; }));
    EXPECT_EQ(adapter->session(id)->paneRevision(), 4);
    pids.erase(third);

    adapter->closeSession(id);
    queue.runUntilIdle();
    EXPECT_TRUE(pump.pumpUntil([&] {
        return std::all_of(pids.begin(), pids.end(), processGone) && zombieChildren().empty();
    }));
}

}  // namespace
}  // namespace tilebay
