// Embedded cells with the application's own pane views running real login
// shells and real tmux on pseudo-terminals: the child's environment and
// argument zero, a shell with SHELL empty, a login profile flooding standard
// error, a tmux cell that outlives its adapter and re-attaches without typing
// its command again (also once tmux is switched off, until the cell is
// closed), the history of the session it makes (no other session's, and no
// option of an existing one, changed), cells started together while the
// configuration loads or while the user's hook waits, the user's hooks and
// configuration errors, a first start that makes no child and one that tmux
// refuses, a cell whose session ends while the configuration moves clients
// to another session, folders whose names tmux could
// misread and one longer than any path, a cell without tmux, real splits,
// the end of a split pane, the tmux client of a split cell that detaches and
// attaches again, a tmux client left ended that a typed key attaches again,
// closing without leftovers, theme colours the shell can query, a pane
// moving between tile and card, and screenshots of a split cell in every
// theme. tmux runs with its sockets in a temporary folder (TMUX_TMPDIR,
// HOME) and that server is killed after each test.
#include "app/adapters/embedded/EmbeddedAdapter.h"
#include "app/adapters/embedded/HookedPaneKit.h"
#include "app/adapters/embedded/HookedTerminalView.h"
#include "app/adapters/embedded/SplitTermLayout.h"
#include "app/adapters/embedded/TerminalThemeColors.h"
#include "app/adapters/embedded/TermContainerView.h"
#include "corvel/platform/Log.h"
#include "tests/app/adapters/AdapterTestSupport.h"
#include "tests/qt/PixelProbe.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>

#include <fcntl.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

namespace tilebay {
namespace {

using namespace tilebay::testing;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

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
        return std::make_unique<EmbeddedAdapter>(std::make_unique<ShownPaneKit>(), lookup, &queue);
    }

    bool waitForFile(const std::string& name, const std::string& containing)
    {
        return pump.pumpUntil([&] { return readFile(home.path() / name).find(containing) != std::string::npos; });
    }

    HookedTerminalView& pane(const QString& id, size_t index)
    {
        return static_cast<HookedTerminalView&>(*adapter->paneViews(id).at(index));
    }
    static pid_t pid(HookedTerminalView& view) { return view.process().shellPid(); }
    static bool running(HookedTerminalView& view) { return view.process().running(); }
    bool screenShows(const QString& id, size_t index, const QString& text)
    {
        return pump.pumpUntil([&] { return EmbeddedAdapter::screenText(pane(id, index)).contains(text); });
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

TEST_F(EmbeddedShellTest, LoginShellGetsTheChildEnvironmentAndStartsWithShellEmpty)
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

    ScopedEnv emptyShell("SHELL", "");
    const auto cell = adapter->createSession(std::nullopt, QString::fromStdString(home.path().string()),
                                             QStringLiteral("echo started > ok.txt"));
    queue.advance(EmbeddedAdapter::startCommandDelay);
    EXPECT_TRUE(waitForFile("ok.txt", "started"));
    EXPECT_TRUE(running(pane(cell->id(), 0)));
}

TEST_F(EmbeddedShellTest, TmuxCellOutlivesItsAdapterAndReattachesUntilClosedEvenWithTmuxSwitchedOff)
{
    // Another session on the server (the user's own, say), whose program
    // reads no profile.
    ASSERT_TRUE(tmux({"new-session", "-d", "-s", "other", "cat"}).succeeded());
    writeFile(home.path() / ".bash_profile", "echo $$ >> profile-runs\n");
    adapter->useTmux = true;
    const QString folder = QString::fromStdString(home.path().string());
    const auto cell = adapter->createSession(QStringLiteral("job"), folder, QStringLiteral("echo M >> f.txt"));
    const std::string name = "cwr_" + cell->id().toStdString();
    queue.advance(EmbeddedAdapter::startCommandDelay);
    ASSERT_TRUE(waitForFile("f.txt", "M"));
    EXPECT_THAT(tmux({"ls"}).output, HasSubstr(name + ":"));
    // The session has its history from its first pane on, where the login
    // shell ran once; the other session and the server's own option keep
    // theirs.
    EXPECT_EQ(tmux({"display-message", "-p", "-t", "=" + name + ":", "#{history_limit}"}).output, "20000\n");
    EXPECT_EQ(readLines(home.path() / "profile-runs").size(), 1u);
    EXPECT_EQ(tmux({"display-message", "-p", "-t", "=other:", "#{history_limit}"}).output, "2000\n");
    EXPECT_EQ(tmux({"show-options", "-t", "=other:"}).output, "");
    EXPECT_EQ(tmux({"show-options", "-gv", "history-limit"}).output, "2000\n");
    ASSERT_TRUE(tmux({"kill-session", "-t", "=other"}).succeeded());

    // A restart with tmux switched off meanwhile: the adapter and its panes
    // go, the tmux session with the job in it stays, with the history limit
    // its user gave it since.
    ASSERT_TRUE(tmux({"set-option", "-t", "=" + name + ":", "history-limit", "3000"}).succeeded());
    ASSERT_TRUE(tmux({"set-option", "-t", "=" + name + ":", "status", "on"}).succeeded());
    const std::string options = tmux({"show-options", "-t", "=" + name + ":"}).output;
    adapter.reset();
    queue.runUntilIdle();
    ASSERT_TRUE(tmux({"has-session", "-t", name}).succeeded());

    adapter = makeAdapter();
    CellRecord record;
    record.internalId = cell->id().toStdString();
    record.projectLabel = "job";
    record.labelLockedByUser = true;
    record.cwd = home.path().string();
    record.startCommand = "echo M >> f.txt";
    // The restored cell goes back into its session instead of starting the
    // job a second time beside it.
    adapter->restoreSession(record);
    queue.advance(10 * EmbeddedAdapter::startCommandDelay);
    adapter->sendText(cell->id(), QStringLiteral("echo DONE >> f.txt\r"));
    ASSERT_TRUE(waitForFile("f.txt", "DONE"));
    EXPECT_EQ(readFile(home.path() / "f.txt"), "M\nDONE\n");
    // Attaching changed none of the session's options.
    EXPECT_EQ(tmux({"show-options", "-v", "-t", "=" + name + ":", "history-limit"}).output, "3000\n");
    EXPECT_EQ(tmux({"show-options", "-t", "=" + name + ":"}).output, options);
    // A new cell runs a plain shell.
    adapter->createSession(std::nullopt, folder, QStringLiteral("echo F >> g.txt"));
    queue.advance(EmbeddedAdapter::startCommandDelay);
    ASSERT_TRUE(waitForFile("g.txt", "F"));
    EXPECT_EQ(tmux({"list-sessions", "-F", "#{session_name}"}).output, name + "\n");

    // Closing the cell ends its session; started again, it is a new job in
    // a plain shell.
    const pid_t client = pid(pane(cell->id(), 0));
    adapter->closeSession(cell->id());
    queue.runUntilIdle();
    EXPECT_FALSE(tmux({"has-session", "-t", name}).succeeded());
    EXPECT_TRUE(pump.pumpUntil([&] { return processGone(client); }));
    adapter->restoreSession(record);
    queue.advance(EmbeddedAdapter::startCommandDelay);
    ASSERT_TRUE(waitForFile("f.txt", "DONE\nM\n"));
    EXPECT_EQ(readFile(home.path() / "f.txt"), "M\nDONE\nM\n");
    EXPECT_THAT(tmux({"ls"}).output, Not(HasSubstr("cwr_")));
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
        ASSERT_TRUE(running(pane(id, n)));
        pids.insert(pid(pane(id, n)));
    }
    EXPECT_EQ(pids.size(), 4u);
    EXPECT_FALSE(pids.contains(0));

    // A split pane's shell that exits takes only its pane away.
    const pid_t third = pid(pane(id, 2));
    pane(id, 2).send(std::string("exit\r"));
    ASSERT_TRUE(pump.pumpUntil([&] {
        queue.runUntilIdle();
        return adapter->paneViews(id).size() == 3;
    }));
    EXPECT_EQ(adapter->session(id)->paneRevision(), 4);
    pids.erase(third);

    adapter->closeSession(id);
    queue.runUntilIdle();
    EXPECT_TRUE(pump.pumpUntil([&] {
        return std::all_of(pids.begin(), pids.end(), processGone) && zombieChildren().empty();
    }));
}

TEST_F(EmbeddedShellTest, SplitTmuxCellsDetachedClientAttachesAgainBesideItsShellUntilTheSessionEnds)
{
    adapter->useTmux = true;
    const QString id = adapter->createSession(std::nullopt, QString::fromStdString(home.path().string()),
                                              std::nullopt)->id();
    const std::string name = "cwr_" + id.toStdString();
    adapter->splitSession(id);
    ASSERT_TRUE(pump.pumpUntil([&] { return !tmux({"list-clients", "-t", name}).output.empty(); }));
    const std::string shell = tmux({"display-message", "-p", "-t", name, "#{pane_pid}"}).output;
    const pid_t client = pid(pane(id, 0));
    const pid_t split = pid(pane(id, 1));

    // Long after it attached, the client detaches: it attaches again at once.
    queue.advance(TmuxPaneClient::steadyAttach);
    ASSERT_TRUE(tmux({"detach-client", "-s", name}).succeeded());
    ASSERT_TRUE(pump.pumpUntil([&] {
        queue.runUntilIdle();
        return pid(pane(id, 0)) != client && running(pane(id, 0));
    }));
    ASSERT_TRUE(pump.pumpUntil([&] { return !tmux({"list-clients", "-t", name}).output.empty(); }));
    EXPECT_EQ(tmux({"display-message", "-p", "-t", name, "#{pane_pid}"}).output, shell);
    ASSERT_EQ(adapter->paneViews(id).size(), 2u);
    EXPECT_EQ(pid(pane(id, 1)), split);
    EXPECT_EQ(adapter->session(id)->paneRevision(), 1);

    // The session ends: its pane goes, the split pane's shell runs on.
    adapter->sendText(id, QStringLiteral("exit\r"));
    ASSERT_TRUE(pump.pumpUntil([&] {
        queue.runUntilIdle();
        return adapter->paneViews(id).size() == 1;
    }));
    EXPECT_EQ(pid(pane(id, 0)), split);
    EXPECT_TRUE(running(pane(id, 0)));
    EXPECT_FALSE(tmux({"has-session", "-t", name}).succeeded());
}

TEST_F(EmbeddedShellTest, TmuxClientLeftEndedSaysSoAndATypedKeyAttachesItToItsSessionAgain)
{
    // tmux itself, but an attach ends at once while the file "refuse" exists.
    const fs::path wrapper = home.path() / "tmux-wrapper";
    const fs::path refuse = home.path() / "refuse";
    writeFile(wrapper, "#!/bin/sh\n[ \"$1\" = attach-session ] && [ -e " + refuse.string() + " ] && exit 1\nexec " +
                           kTmux + " \"$@\"\n");
    fs::permissions(wrapper, fs::perms::owner_all);
    adapter = makeAdapter({{wrapper.string()}, false});
    adapter->useTmux = true;
    corvel::log::Capture log;
    const QString id = adapter->createSession(std::nullopt, QString::fromStdString(home.path().string()),
                                              std::nullopt)->id();
    const std::string name = "cwr_" + id.toStdString();
    ASSERT_TRUE(pump.pumpUntil([&] { return !tmux({"list-clients", "-t", name}).output.empty(); }));
    const std::string shell = tmux({"display-message", "-p", "-t", name, "#{pane_pid}"}).output;

    // The client detaches at once, and so does every attach after it, until
    // the pane is left ended.
    writeFile(refuse, "");
    ASSERT_TRUE(tmux({"detach-client", "-s", name}).succeeded());
    corvel::Nanos delay = TmuxPaneClient::firstReattachDelay;
    for (int n = 1; n <= TmuxPaneClient::maxQuickReattaches; ++n) {
        ASSERT_TRUE(pump.pumpUntil([&] {
            queue.runUntilIdle();
            return log.count("tmux 세션 재연결 지연") == static_cast<size_t>(n);
        })) << n << "\n" << ::testing::PrintToString(log.lines());
        queue.advance(std::min(delay, TmuxPaneClient::longestReattachDelay));
        delay *= 2;
    }
    ASSERT_TRUE(pump.pumpUntil([&] {
        queue.runUntilIdle();
        return log.contains("tmux 세션 재연결 중단");
    }));
    const QString notice =
        QString::fromUtf8(TmuxPaneClient::notConnected.data(), qsizetype(TmuxPaneClient::notConnected.size()));
    EXPECT_TRUE(
        pump.pumpUntil([&] { return holdsIgnoringSpaces(EmbeddedAdapter::screenText(pane(id, 0)), notice); }));
    EXPECT_FALSE(running(pane(id, 0)));

    // A key typed into the pane attaches it to the same session; the key
    // itself reaches nothing, so the next line runs as typed.
    fs::remove(refuse);
    pressKey(pane(id, 0), Qt::Key_X, QStringLiteral("x"));
    ASSERT_TRUE(pump.pumpUntil([&] {
        queue.runUntilIdle();
        return !tmux({"list-clients", "-t", name}).output.empty();
    }));
    EXPECT_EQ(tmux({"display-message", "-p", "-t", name, "#{pane_pid}"}).output, shell);
    adapter->sendText(id, QStringLiteral("echo ATTACHED > f.txt\r"));
    EXPECT_TRUE(waitForFile("f.txt", "ATTACHED"));
    EXPECT_EQ(adapter->paneViews(id).size(), 1u);
}

TEST_F(EmbeddedShellTest, RestoredTmuxCellShowsItsScreenAsItWasWithItsHistoryUnchanged)
{
    // The application's own panes, made hidden and shown by a tile of a
    // window larger than the size a pane is made with.
    const auto restart = [&] {
        adapter = std::make_unique<EmbeddedAdapter>(std::make_unique<HookedPaneKit>(), TmuxLookup{{kTmux}, false},
                                                     &queue);
        adapter->useTmux = true;
    };
    restart();
    QWidget window;
    window.resize(900, 700);
    auto* tile = new TermContainerView(&window);
    tile->setGeometry(0, 0, 900, 700);
    window.show();
    const auto cell = adapter->createSession(std::nullopt, QString::fromStdString(home.path().string()), {});
    const QString id = cell->id();
    const std::string session = "=cwr_" + id.toStdString();
    const auto attached = [&] { return !tmux({"list-clients", "-t", session}).output.empty(); };
    // No client runs before the pane is laid out.
    EXPECT_FALSE(running(pane(id, 0)));
    tile->host(&pane(id, 0).terminalView());
    ASSERT_TRUE(pump.pumpUntil(attached));
    const int rows = pane(id, 0).getTerminal().rows();
    ASSERT_GT(rows, 30);
    EXPECT_EQ(tmux({"display-message", "-p", "-t", session + ":", "#{window_height}"}).output,
              std::to_string(rows) + "\n");

    // A screen full of lines and a history behind it.
    adapter->sendText(id, QStringLiteral("seq 1 300; echo END-$((6 * 7))\r"));
    ASSERT_TRUE(screenShows(id, 0, QStringLiteral("END-42")));
    const auto history = [&] {
        return tmux({"display-message", "-p", "-t", session + ":", "#{history_size}"}).output;
    };
    const auto visible = [&] { return tmux({"capture-pane", "-p", "-t", session + ":"}).output; };
    const std::string historyBefore = history();
    const std::string screenBefore = visible();
    ASSERT_NE(screenBefore.find("\n300\nEND-42"), std::string::npos);

    // The application ends and starts again; the restored cell's client
    // attaches once its pane is laid out in the tile again, so its window
    // is never resized (a program there would redraw at each resize and
    // scroll its lines away).
    ASSERT_TRUE(tmux({"set-hook", "-t", session.substr(1), "window-resized", "set-option @resized yes"}).succeeded());
    CellRecord record;
    record.internalId = id.toStdString();
    record.cwd = home.path().string();
    adapter.reset();
    queue.runUntilIdle();
    restart();
    adapter->restoreSession(record);
    // Laid out only once a client would have attached, had it not waited.
    ASSERT_TRUE(pump.pumpUntil([&] { return pane(id, 0).startPending() || attached(); }));
    tile->host(&pane(id, 0).terminalView());
    ASSERT_TRUE(pump.pumpUntil(attached));
    ASSERT_TRUE(screenShows(id, 0, QStringLiteral("END-42")));
    EXPECT_EQ(history(), historyBefore);
    EXPECT_EQ(visible(), screenBefore);
    EXPECT_EQ(tmux({"show-options", "-v", "-t", session.substr(1), "@resized"}).output, "");
}

TEST_F(EmbeddedShellTest, HeldPasteAndBroadcastReachTheSessionOnceThoughEachNewClientEndsAtOnce)
{
    corvel::log::Capture log;
    adapter->useTmux = true;
    const QString id = adapter->createSession(std::nullopt, QString::fromStdString(home.path().string()),
                                              std::nullopt)->id();
    const std::string session = "=cwr_" + id.toStdString();
    ASSERT_TRUE(pump.pumpUntil([&] { return !tmux({"list-clients", "-t", session}).output.empty(); }));
    // The session's program asks for bracketed pastes and keeps every byte
    // it is given.
    const fs::path raw = home.path() / "raw.bin";
    adapter->sendText(id, QString::fromStdString("printf '\\033[?2004h'; stty raw -echo; cat > " + raw.string() + "\r"));
    ASSERT_TRUE(pump.pumpUntil([&] { return fs::exists(raw); }));

    // From now on tmux detaches each client as soon as it attaches (hooks
    // take a session's plain name).
    ASSERT_TRUE(tmux({"set-hook", "-t", session.substr(1), "client-attached", "detach-client"}).succeeded());
    ASSERT_TRUE(tmux({"detach-client", "-s", session}).succeeded());
    ASSERT_TRUE(pump.pumpUntil([&] { return !running(pane(id, 0)); }));
    // A paste that carries an end-of-paste marker of its own (tmux would
    // pass it on, ending the paste early) and line feeds, which reach the
    // program as line feeds, in the paste and in the broadcast.
    QGuiApplication::clipboard()->setText(QStringLiteral("PAS\x1b[201~TED\nLINE"));
    pane(id, 0).paste();
    adapter->sendText(id, QStringLiteral("BC\nAST"));
    // The next client attaches, writes, and is detached at once.
    ASSERT_TRUE(pump.pumpUntil([&] {
        queue.runUntilIdle();
        return log.contains("tmux 세션 재연결 지연");
    }));
    queue.advance(TmuxPaneClient::firstReattachDelay);
    const std::string expected = "\x1b[200~PASTED\nLINE\x1b[201~BC\nAST";
    ASSERT_TRUE(pump.pumpUntil([&] {
        queue.runUntilIdle();
        return readFile(raw) == expected;
    })) << readFile(raw);

    // Attached for good, the pane types into the session again; nothing
    // held came a second time.
    ASSERT_TRUE(tmux({"set-hook", "-u", "-t", session.substr(1), "client-attached"}).succeeded());
    queue.advance(TmuxPaneClient::longestReattachDelay);
    ASSERT_TRUE(pump.pumpUntil([&] {
        queue.runUntilIdle();
        return !tmux({"list-clients", "-t", session}).output.empty();
    }));
    adapter->sendText(id, QStringLiteral("END"));
    EXPECT_TRUE(pump.pumpUntil([&] {
        queue.runUntilIdle();
        return readFile(raw) == expected + "END";
    })) << readFile(raw);
}

TEST_F(EmbeddedShellTest, TmuxPaneStartsInExactlyItsFolderAndNoFolderNameRunsACommand)
{
    // Names tmux would read as formats (a command, a session's name, an
    // escape of its own, a style that keeps its run of '#') or as the end of
    // its command, and a ';' inside a name. A wrong argument names a folder
    // that is not there (or a sibling), and tmux then starts the pane in the
    // folder of the first cell, whose client started the server.
    adapter->useTmux = true;
    int row = 0;
    for (const std::string name : {"x#(touch marker)", "proj#S", "a##b#{session_name}", "semi;", "end#;", "back\\;",
                                   "#[fg=red]", "#[", "x#[y", "##[", "a##[b", "###[", "#[#[", "mid;dle", "a;b"}) {
        const fs::path folder = home.path() / name;
        fs::create_directory(folder);
        const std::string written = "cwd-" + std::to_string(row++);
        const QString id = adapter->createSession(std::nullopt, QString::fromStdString(folder.string()),
                                                  QString::fromStdString("pwd -P > ~/" + written))->id();
        const std::string session = "=cwr_" + id.toStdString();
        ASSERT_TRUE(pump.pumpUntil([&] { return !tmux({"list-clients", "-t", session}).output.empty(); })) << name;
        // The start command runs in the folder; once it has run, the shell
        // waits at its prompt, and tmux reports that shell's folder.
        queue.advance(EmbeddedAdapter::startCommandDelay);
        ASSERT_TRUE(waitForFile(written, "\n")) << name;
        EXPECT_EQ(readFile(home.path() / written), folder.string() + "\n") << name;
        EXPECT_EQ(tmux({"display-message", "-p", "-t", session + ":", "#{pane_current_path}"}).output,
                  folder.string() + "\n")
            << name;
    }
    for (const auto& entry : fs::recursive_directory_iterator(home.path()))
        EXPECT_NE(entry.path().filename(), "marker") << entry.path();
    EXPECT_FALSE(fs::exists(fs::current_path() / "marker"));

    // A saved folder longer than any path, which tmux would refuse on its
    // command line: the cell stays, its session starts and runs its command
    // in the home folder, and one line says why.
    corvel::log::Capture log;
    bool ended = false;
    adapter->onTerminated = [&](const QString&) { ended = true; };
    const std::string tooLong = (home.path() / std::string(17000, 'x')).string();
    const QString id = adapter->createSession(std::nullopt, QString::fromStdString(tooLong),
                                              QStringLiteral("echo STARTED > long.txt"))->id();
    queue.advance(EmbeddedAdapter::startCommandDelay);
    ASSERT_TRUE(waitForFile("long.txt", "STARTED"));
    EXPECT_EQ(tmux({"display-message", "-p", "-t", "=cwr_" + id.toStdString() + ":", "#{pane_current_path}"}).output,
              home.path().string() + "\n");
    queue.runUntilIdle();
    EXPECT_FALSE(ended);
    EXPECT_TRUE(running(pane(id, 0)));
    EXPECT_EQ(log.count("tmux 작업 폴더를 쓸 수 없음"), 1u);
    EXPECT_EQ(adapter->session(id)->cwd(), QString::fromStdString(tooLong));
}

TEST_F(EmbeddedShellTest, CellsStartedTogetherWhileTheConfigLoadsEachMakeTheirSessionInTheirFolder)
{
    // The plugin manager's usual last line (not installed here), a plugin's
    // shell command that sets the server's history limit while the
    // configuration loads, and before them a shell command that holds the
    // loading until the test lets it go on: while it runs, tmux runs every
    // client's commands but those of the client that started the server.
    writeFile(home.path() / ".tmux.conf",
              "set -g base-index 1\n"
              "run-shell 'while [ ! -e \"$HOME/go\" ]; do sleep 0.02; done'\n"
              "run-shell 'tmux set-option -g history-limit 50000'\n"
              "run '~/.tmux/plugins/tpm/tpm'\n");
    adapter->useTmux = true;
    const auto sessions = [] {
        const std::string names = tmux({"list-sessions", "-F", "#{session_name}"}).output;
        return static_cast<size_t>(std::count(names.begin(), names.end(), '\n'));
    };
    const auto pane = [](const QString& id, const std::string& format) {
        return tmux({"display-message", "-p", "-t", "=cwr_" + id.toStdString() + ":", format}).output;
    };
    for (int round = 0; round < 2; ++round) {
        std::vector<std::pair<QString, fs::path>> cells;
        for (int n = 0; n < 4; ++n) {
            const fs::path folder = home.path() / ("round" + std::to_string(round) + "-cell" + std::to_string(n));
            fs::create_directory(folder);
            cells.emplace_back(
                adapter->createSession(std::nullopt, QString::fromStdString(folder.string()), std::nullopt)->id(),
                folder);
        }
        // Three sessions are made while the configuration still loads.
        ASSERT_TRUE(pump.pumpUntil([&] { return sessions() == 3; })) << round;
        writeFile(home.path() / "go", "");
        ASSERT_TRUE(pump.pumpUntil([&] { return sessions() == 4; })) << round;
        for (const auto& [id, folder] : cells) {
            // tmux reads the folder from the pane's foreground process, which
            // a shell still starting may not have yet.
            const std::string path = folder.string() + "\n";
            pump.pumpUntil([&, id = id] { return pane(id, "#{pane_current_path}") == path; });
            EXPECT_EQ(pane(id, "#{pane_current_path}"), path) << round;
            EXPECT_EQ(pane(id, "#{window_index} #{history_limit}"), "1 20000\n") << round;
        }
        // The server's own limit is the one the configuration set last, and
        // nothing the cells' clients kept their readings in is left.
        EXPECT_EQ(tmux({"show-options", "-gv", "history-limit"}).output, "50000\n") << round;
        EXPECT_THAT(tmux({"show-options", "-g"}).output, Not(HasSubstr("@tilebay"))) << round;
        for (const auto& cell : cells) adapter->closeSession(cell.first);
        queue.runUntilIdle();
        fs::remove(home.path() / "go");
        ASSERT_TRUE(killTmuxServer());
    }
}

TEST_F(EmbeddedShellTest, CellsStartedTogetherUnderAHookThatWaitsEachGetTheirOptionsAndLeaveTheServersLimit)
{
    // The user's hook waits after each new session (for a shell command),
    // and tmux runs the other cells' clients meanwhile.
    const std::vector<std::string> hooks = {"run-shell 'sleep 0.5'",
                                            "if-shell 'test -d .git' 'rename-window git' 'rename-window plain'"};
    adapter->useTmux = true;
    for (const std::string& hook : hooks) {
        writeFile(home.path() / ".tmux.conf", "set -g history-limit 3000\nset-hook -g after-new-session \"" + hook +
                                                  "\"\n");
        std::vector<std::pair<QString, fs::path>> cells;
        for (int n = 0; n < 4; ++n) {
            const fs::path folder = home.path() / ("cell" + std::to_string(n));
            fs::create_directories(folder);
            cells.emplace_back(
                adapter->createSession(std::nullopt, QString::fromStdString(folder.string()), std::nullopt)->id(),
                folder);
        }
        // Each cell's list has ended once its session has the options the
        // list gives it last.
        for (const auto& [id, folder] : cells) {
            const std::string session = "=cwr_" + id.toStdString() + ":";
            ASSERT_TRUE(pump.pumpUntil([&] {
                return tmux({"show-options", "-v", "-t", session, "detach-on-destroy"}).output == "on\n";
            })) << hook;
            EXPECT_EQ(tmux({"show-options", "-t", session}).output,
                      "detach-on-destroy on\nhistory-limit 20000\nstatus off\n")
                << hook;
            EXPECT_EQ(tmux({"display-message", "-p", "-t", session, "#{history_limit}"}).output, "20000\n") << hook;
            EXPECT_TRUE(pump.pumpUntil([&] {
                return tmux({"display-message", "-p", "-t", session, "#{pane_current_path}"}).output ==
                       folder.string() + "\n";
            })) << hook;
        }
        EXPECT_EQ(tmux({"show-options", "-gv", "history-limit"}).output, "3000\n") << hook;
        EXPECT_THAT(tmux({"show-options", "-g"}).output, Not(HasSubstr("@tilebay"))) << hook;
        for (const auto& cell : cells) adapter->closeSession(cell.first);
        queue.runUntilIdle();
        ASSERT_TRUE(killTmuxServer());
    }
}

TEST_F(EmbeddedShellTest, CellWhoseSessionEndsEndsThoughTheConfigMovesClientsToAnotherSession)
{
    writeFile(home.path() / ".tmux.conf", "set -g detach-on-destroy off\n");
    adapter->useTmux = true;
    std::vector<QString> ended;
    adapter->onTerminated = [&](const QString& id) { ended.push_back(id); };
    const QString folder = QString::fromStdString(home.path().string());
    const QString gone = adapter->createSession(std::nullopt, folder, std::nullopt)->id();
    const QString stays = adapter->createSession(std::nullopt, folder, std::nullopt)->id();
    const std::string staying = "=cwr_" + stays.toStdString();
    for (const QString& id : {gone, stays}) {
        ASSERT_TRUE(pump.pumpUntil([&] {
            return tmux({"list-clients", "-t", "=cwr_" + id.toStdString()}).output.size() > 0;
        }));
    }

    // The shell of one cell ends, and with it its session: its client ends
    // too instead of showing the other cell's session, and so does the cell.
    adapter->sendText(gone, QStringLiteral("exit\r"));
    ASSERT_TRUE(pump.pumpUntil([&] {
        queue.runUntilIdle();
        return !ended.empty();
    }));
    EXPECT_EQ(ended, std::vector<QString>{gone});
    EXPECT_FALSE(running(pane(gone, 0)));
    // The other cell's session has its own client only, and takes its typing.
    EXPECT_EQ(tmux({"list-clients", "-F", "#{session_name}"}).output, staying.substr(1) + "\n");
    adapter->sendText(stays, QStringLiteral("echo STAYS > stays.txt\r"));
    EXPECT_TRUE(waitForFile("stays.txt", "STAYS"));
    EXPECT_EQ(ended.size(), 1u);
}

// The descriptors process `pid` has open, and what each names.
std::map<int, std::string> openDescriptors(pid_t pid)
{
    std::map<int, std::string> open;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error))
        open[std::stoi(entry.path().filename().string())] = fs::read_symlink(entry.path(), error).string();
    return open;
}

// Leaves the tmux server at `pid` one free descriptor, for the life of the
// object: tmux then takes a client's connection but not the terminal it
// passes, so the start of a client fails inside tmux ("open terminal
// failed"). With two free, it would take the terminal and then wait for a
// third, for ever: so it is made only while the server holds no client's
// connection, whose descriptor would be free a moment later.
class ServerDescriptorsUsedUp {
public:
    explicit ServerDescriptorsUsedUp(pid_t pid) : pid_(pid)
    {
        const std::map<int, std::string> open = openDescriptors(pid);
        int lowestFree = 0;
        while (open.contains(lowestFree)) ++lowestFree;
        ::prlimit(pid_, RLIMIT_NOFILE, nullptr, &saved_);
        rlimit lowered = saved_;
        lowered.rlim_cur = static_cast<rlim_t>(lowestFree) + 1;
        set_ = ::prlimit(pid_, RLIMIT_NOFILE, &lowered, nullptr) == 0;
    }
    ~ServerDescriptorsUsedUp() { ::prlimit(pid_, RLIMIT_NOFILE, &saved_, nullptr); }
    ServerDescriptorsUsedUp(const ServerDescriptorsUsedUp&) = delete;
    ServerDescriptorsUsedUp& operator=(const ServerDescriptorsUsedUp&) = delete;
    bool set() const { return set_; }

private:
    pid_t pid_;
    rlimit saved_{};
    bool set_ = false;
};

TEST_F(EmbeddedShellTest, StartThatTmuxRefusesLeavesTheServerAsItWasAndTheNextStartMakesTheSessionOnce)
{
    corvel::log::Capture log;
    // Nothing in the server opens a file by itself (to name a window after
    // its program, or to draw a status line), so the descriptors it has
    // open stay as counted below.
    writeFile(home.path() / ".tmux.conf", "set -g history-limit 5000\nset -g automatic-rename off\nset -g status off\n");
    ASSERT_TRUE(tmux({"new-session", "-d", "-s", "user", "cat"}).succeeded());
    const pid_t server = std::stoi(tmux({"display-message", "-p", "#{pid}"}).output);
    const std::string userOptions = tmux({"show-options", "-t", "=user:"}).output;
    adapter->useTmux = true;
    std::vector<QString> ended;
    adapter->onTerminated = [&](const QString& id) { ended.push_back(id); };
    const fs::path folder = home.path() / "proj";
    fs::create_directory(folder);
    QString id;
    {
        // Only the server's listening socket is open: the connections of the
        // commands above are closed.
        ASSERT_TRUE(pump.pumpUntil([&] {
            const auto open = openDescriptors(server);
            return std::count_if(open.begin(), open.end(), [](const auto& fd) {
                       return fd.second.starts_with("socket:");
                   }) == 1;
        }));
        ServerDescriptorsUsedUp usedUp(server);
        ASSERT_TRUE(usedUp.set());
        id = adapter->createSession(std::nullopt, QString::fromStdString(folder.string()),
                                    QStringLiteral("pwd -P >> ~/made.txt"))->id();
        // The client shows tmux's reason and ends; no session was made.
        ASSERT_TRUE(pump.pumpUntil([&] {
            queue.runUntilIdle();
            return log.count("tmux 클라이언트 시작 실패") == 1;
        }));
        EXPECT_TRUE(EmbeddedAdapter::screenText(pane(id, 0)).contains(QStringLiteral("open terminal failed")));
    }
    // The server is as it was; the cell stays.
    EXPECT_EQ(tmux({"show-options", "-gv", "history-limit"}).output, "5000\n");
    EXPECT_THAT(tmux({"show-options", "-g"}).output, Not(HasSubstr("@tilebay")));
    EXPECT_EQ(tmux({"list-sessions", "-F", "#{session_name}"}).output, "user\n");
    EXPECT_TRUE(ended.empty());
    ASSERT_EQ(adapter->paneViews(id).size(), 1u);

    // The next start makes the session in the cell's folder; the start
    // command, held meanwhile, runs there once.
    queue.advance(TmuxPaneClient::longestReattachDelay);
    ASSERT_TRUE(waitForFile("made.txt", "\n"));
    const std::string session = "=cwr_" + id.toStdString() + ":";
    EXPECT_EQ(tmux({"display-message", "-p", "-t", session, "#{history_limit}"}).output, "20000\n");
    adapter->sendText(id, QStringLiteral("echo END >> ~/made.txt\r"));
    ASSERT_TRUE(waitForFile("made.txt", "END"));
    EXPECT_EQ(readFile(home.path() / "made.txt"), folder.string() + "\nEND\n");
    EXPECT_EQ(tmux({"show-options", "-gv", "history-limit"}).output, "5000\n");
    EXPECT_THAT(tmux({"show-options", "-g"}).output, Not(HasSubstr("@tilebay")));
    EXPECT_EQ(tmux({"show-options", "-t", "=user:"}).output, userOptions);
    EXPECT_TRUE(ended.empty());
}

TEST_F(EmbeddedShellTest, UserHooksAndConfigErrorsActOnACellsSessionAsOnAPlainOne)
{
    writeFile(home.path() / ".tmux.conf", "set-hook -g after-new-session 'split-window -h ; rename-window main'\n"
                                          "set-hook -g after-new-window 'split-window -v'\n");
    adapter->useTmux = true;
    const fs::path folder = home.path() / "proj";
    fs::create_directory(folder);
    const QString id = adapter->createSession(std::nullopt, QString::fromStdString(folder.string()), std::nullopt)->id();
    const std::string session = "=cwr_" + id.toStdString() + ":";
    ASSERT_TRUE(pump.pumpUntil([&] { return !tmux({"list-clients", "-t", session}).output.empty(); }));
    const auto panes = [](const std::string& target, const std::string& format) {
        return tmux({"list-panes", "-s", "-t", target, "-F", format}).output;
    };
    // The hooks made the same windows and panes as for a session plain tmux
    // makes: the new session split in two, its window renamed, no window of
    // its own added. Each pane has the cell's history and folder; the
    // server keeps its own limit.
    ASSERT_TRUE(tmux({"new-session", "-d", "-s", "plain"}).succeeded());
    EXPECT_EQ(panes(session, "#{window_index} #{window_name}"), "0 main\n0 main\n");
    EXPECT_EQ(panes(session, "#{window_index} #{window_name}"), panes("=plain:", "#{window_index} #{window_name}"));
    // A pane's folder is read from its foreground process, which the
    // hook's new pane may not have yet.
    const std::string inFolder = "20000 " + folder.string() + "\n20000 " + folder.string() + "\n";
    pump.pumpUntil([&] { return panes(session, "#{history_limit} #{pane_current_path}") == inFolder; });
    EXPECT_EQ(panes(session, "#{history_limit} #{pane_current_path}"), inFolder);
    EXPECT_EQ(tmux({"show-options", "-gv", "history-limit"}).output, "2000\n");
    adapter->closeSession(id);
    queue.runUntilIdle();
    ASSERT_TRUE(killTmuxServer());

    // A configuration with an error: the new session's pane lists it, as
    // plain tmux shows it; the start command reaches the shell all the
    // same, and once the list is left the cell works.
    writeFile(home.path() / ".tmux.conf", "set -g no-such-option on\n");
    const QString broken = adapter->createSession(std::nullopt, QString::fromStdString(folder.string()),
                                                  QStringLiteral("echo STARTED > started.txt"))->id();
    ASSERT_TRUE(pump.pumpUntil([&] {
        return EmbeddedAdapter::screenText(this->pane(broken, 0)).contains(QStringLiteral("no-such-option"));
    }));
    const std::string brokenSession = "=cwr_" + broken.toStdString() + ":";
    queue.advance(EmbeddedAdapter::startCommandDelay);
    EXPECT_TRUE(waitForFile("proj/started.txt", "STARTED"));
    EXPECT_EQ(panes(brokenSession, "#{pane_mode}"), "view-mode\n");
    adapter->sendText(broken, QStringLiteral("q"));
    ASSERT_TRUE(pump.pumpUntil([&] { return panes(brokenSession, "#{pane_in_mode}") == "0\n"; }));
    adapter->sendText(broken, QStringLiteral("echo WORKS > works.txt\r"));
    EXPECT_TRUE(waitForFile("proj/works.txt", "WORKS"));
}

// Uses up every descriptor of this process but `spare` of them, for its
// life: the soft limit comes down near what is open, and the rest is filled.
class DescriptorsUsedUp {
public:
    explicit DescriptorsUsedUp(int spare)
    {
        ::getrlimit(RLIMIT_NOFILE, &saved_);
        int highest = 0;
        for (const auto& entry : fs::directory_iterator("/proc/self/fd"))
            highest = std::max(highest, std::stoi(entry.path().filename().string()));
        rlimit lowered = saved_;
        lowered.rlim_cur = std::min<rlim_t>(saved_.rlim_cur, static_cast<rlim_t>(highest) + 64);
        ::setrlimit(RLIMIT_NOFILE, &lowered);
        for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) taken_.push_back(fd);
        for (int n = 0; n < spare && !taken_.empty(); ++n) {
            ::close(taken_.back());
            taken_.pop_back();
        }
    }
    ~DescriptorsUsedUp()
    {
        for (int fd : taken_) ::close(fd);
        ::setrlimit(RLIMIT_NOFILE, &saved_);
    }
    DescriptorsUsedUp(const DescriptorsUsedUp&) = delete;
    DescriptorsUsedUp& operator=(const DescriptorsUsedUp&) = delete;

private:
    rlimit saved_{};
    std::vector<int> taken_;
};

TEST_F(EmbeddedShellTest, FirstStartWithoutAPseudoTerminalIsRetriedAndMakesTheSessionWhoseEndEndsTheCell)
{
    corvel::log::Capture log;
    adapter = std::make_unique<EmbeddedAdapter>(std::make_unique<HookedPaneKit>(), TmuxLookup{{kTmux}, false},
                                                 &queue);
    adapter->useTmux = true;
    std::vector<QString> ended;
    adapter->onTerminated = [&](const QString& id) { ended.push_back(id); };
    QWidget window;
    window.resize(600, 400);
    auto* tile = new TermContainerView(&window);
    tile->setGeometry(0, 0, 600, 400);
    window.show();
    const fs::path folder = home.path() / "proj";
    fs::create_directory(folder);
    const QString id = adapter->createSession(std::nullopt, QString::fromStdString(folder.string()),
                                              QStringLiteral("pwd -P > ~/made.txt"))->id();
    ASSERT_TRUE(pane(id, 0).startPending());
    {
        // Laid out when no pseudo-terminal can be opened: the start makes no
        // child, which the real view reports. Two descriptors are left: one
        // for the start's own wake-up channel and one for the terminal's
        // first end, none for its second (and until the start, the pair a
        // sanitized build's checks borrow).
        DescriptorsUsedUp usedUp(2);
        tile->host(&pane(id, 0).terminalView());
    }
    EXPECT_FALSE(running(pane(id, 0)));
    queue.runUntilIdle();
    EXPECT_EQ(log.count("tmux 클라이언트 시작 실패"), 1u);
    EXPECT_TRUE(ended.empty());

    // The next start makes the session in the cell's folder, with its
    // history, and the start command held meanwhile runs there.
    queue.advance(EmbeddedAdapter::startCommandDelay);
    ASSERT_TRUE(waitForFile("made.txt", "\n"));
    EXPECT_EQ(readFile(home.path() / "made.txt"), folder.string() + "\n");
    EXPECT_EQ(tmux({"display-message", "-p", "-t", "=cwr_" + id.toStdString() + ":", "#{history_limit}"}).output,
              "20000\n");
    EXPECT_EQ(adapter->paneViews(id).size(), 1u);

    // That session existed: its end ends the cell.
    adapter->sendText(id, QStringLiteral("exit\r"));
    ASSERT_TRUE(pump.pumpUntil([&] {
        queue.runUntilIdle();
        return !ended.empty();
    }));
    EXPECT_EQ(ended, std::vector<QString>{id});
}

TEST_F(EmbeddedShellTest, LoginProfileFloodingStandardErrorHangsNeitherTheLookupNorThePane)
{
    // 200 KB on standard error from every login shell: the one that looks
    // tmux up and the one tmux starts in the pane.
    writeFile(home.path() / ".bash_profile", "head -c 200000 /dev/zero | tr '\\0' e >&2\n");
    adapter = makeAdapter({{}, true});
    adapter->useTmux = true;
    const auto cell = adapter->createSession(std::nullopt, QString::fromStdString(home.path().string()),
                                             QStringLiteral("echo started > ok.txt"));
    queue.advance(EmbeddedAdapter::startCommandDelay);
    ASSERT_TRUE(waitForFile("ok.txt", "started"));
    EXPECT_THAT(tmux({"ls"}).output, HasSubstr("cwr_" + cell->id().toStdString()));
    EXPECT_TRUE(running(pane(cell->id(), 0)));
}

TEST_F(EmbeddedShellTest, ThemeColoursAnswerTheShellsQueries)
{
    adapter->applyThemeToAll(TerminalTheme::solarizedDark, 13);
    const QString id = adapter->createSession(std::nullopt, QString::fromStdString(home.path().string()),
                                              std::nullopt)->id();
    // The replies come back as input: a raw-mode cat writes them to a file.
    adapter->sendText(id, QStringLiteral("stty raw -echo; printf '\\033]11;?\\007\\033]4;1;?\\007'; "
                                         "timeout 20 cat > reply.bin; stty sane\r"));
    ASSERT_TRUE(waitForFile("reply.bin", "rgb:cdcd/3131/3131"));
    EXPECT_EQ(readFile(home.path() / "reply.bin"),
              "\x1b]11;rgb:0000/2b2b/3636\x1b\\\x1b]4;1;rgb:cdcd/3131/3131\x1b\\");
}

TEST_F(EmbeddedShellTest, PaneMovesBetweenTileAndCardAndBackWithItsProcessAndScrollback)
{
    const QString id = adapter->createSession(std::nullopt, QString::fromStdString(home.path().string()),
                                              std::nullopt)->id();
    HookedTerminalView& view = pane(id, 0);
    adapter->sendText(id, QStringLiteral("seq 1 300 | sed 's/^/line-/'\r"));
    ASSERT_TRUE(screenShows(id, 0, QStringLiteral("line-300")));
    const pid_t shell = pid(view);
    const int64_t lines = view.getTerminal().buffer().lines().count();

    std::unique_ptr<SplitTermLayout> tile(static_cast<SplitTermLayout*>(adapter->cellContentView(id)));
    tile->resize(600, 300);
    tile->show();
    ASSERT_EQ(tile->containers().at(0)->hosted(), &view);

    // The expanded card is built later and takes the view.
    auto card = std::unique_ptr<SplitTermLayout>(static_cast<SplitTermLayout*>(adapter->cellContentView(id)));
    card->resize(900, 500);
    card->show();
    EXPECT_EQ(card->containers().at(0)->hosted(), &view);
    EXPECT_EQ(tile->containers().at(0)->hosted(), nullptr);
    EXPECT_EQ(view.size(), card->containers().at(0)->size());
    adapter->sendText(id, QStringLiteral("echo while-expanded\r"));
    ASSERT_TRUE(screenShows(id, 0, QStringLiteral("while-expanded")));

    // Closing the card hands the view back instead of deleting it.
    card.reset();
    EXPECT_EQ(view.parentWidget(), nullptr);
    tile->updateHosts();
    EXPECT_EQ(tile->containers().at(0)->hosted(), &view);
    EXPECT_TRUE(view.isVisible());
    EXPECT_EQ(pid(view), shell);
    EXPECT_TRUE(running(view));
    EXPECT_GE(view.getTerminal().buffer().lines().count(), lines);
    const std::vector<uint8_t> data = view.getTerminal().getBufferAsData();
    const std::string everything(data.begin(), data.end());
    EXPECT_THAT(everything, HasSubstr("line-1\n"));
    EXPECT_THAT(everything, HasSubstr("while-expanded"));

    // The tile goes too: the pane still runs, and still answers.
    tile.reset();
    adapter->sendText(id, QStringLiteral("echo still-here\r"));
    EXPECT_TRUE(screenShows(id, 0, QStringLiteral("still-here")));
    EXPECT_EQ(pid(view), shell);
}

TEST_F(EmbeddedShellTest, SplitCellScreenshotsInEveryTheme)
{
    for (TerminalTheme theme : allTerminalThemes) {
        adapter->applyThemeToAll(theme, 13);
        const QString id = adapter->createSession(std::nullopt, QString::fromStdString(home.path().string()),
                                                  std::nullopt)->id();
        adapter->splitSession(id);
        for (size_t n = 0; n < 2; ++n) {
            pane(id, n).send("clear; printf '\\033[31mred \\033[32mgreen \\033[34mblue \\033[1;33mbold "
                             "\\033[0mplain %s\\n' PANE" + std::to_string(n) + "\r");
        }
        std::unique_ptr<SplitTermLayout> layout(static_cast<SplitTermLayout*>(adapter->cellContentView(id)));
        layout->resize(900, 300);
        layout->show();
        // Each pane has printed, shows its next prompt, and its caret has
        // been moved there by the view's redraw.
        for (size_t n = 0; n < 2; ++n) {
            HookedTerminalView& view = pane(id, n);
            ASSERT_TRUE(pump.pumpUntil([&] {
                const QStringList rows = EmbeddedAdapter::screenText(view).split('\n');
                const corvel::Buffer& buffer = view.getTerminal().buffer();
                const QSizeF cell = view.cellDimension().value_or(QSizeF());
                const QRectF caret = view.firstRect();
                return rows.size() > 1 && rows[0].endsWith(QStringLiteral("plain PANE%1").arg(n)) &&
                       !rows[1].isEmpty() && buffer.y() == 1 &&
                       std::abs(caret.left() - buffer.x() * cell.width()) < 0.5 &&
                       std::abs(caret.top() - view.rowTop(buffer.yBase() + 1)) < 0.5;
            }));
        }

        const QImage shot = layout->grab().toImage();
        const std::string name = "split-" + std::string(toString(theme)) + ".png";
        corvel::qt::test::saveRender(shot, QString::fromStdString(name));
        const QRect first = layout->containers().at(0)->geometry();
        const QRect second = layout->containers().at(1)->geometry();
        EXPECT_EQ(second.left() - first.right() - 1, SplitTermLayout::spacing);
        EXPECT_EQ(shot.pixelColor(shot.width() * first.right() / layout->width() + 1, 150), QColor(Qt::black)) << name;
        const corvel::Color background = TerminalThemeColors::background(theme);
        const QColor expected(background.red >> 8, background.green >> 8, background.blue >> 8);
        for (const QRect& box : {first, second}) {
            const double scale = double(shot.width()) / layout->width();
            EXPECT_EQ(shot.pixelColor(int((box.left() + 4) * scale), int((box.bottom() - 4) * scale)), expected)
                << name;
        }
        adapter->closeSession(id);
    }
}

}  // namespace
}  // namespace tilebay
