// The embedded adapter's bookkeeping with recorded children: labels and
// folders of new and restored cells, the delayed start command, splits and
// their limit, activity throttling on the adapter's clock, the ends of panes,
// closing and forgetting (with a stand-in tmux that logs its commands), tmux
// clients that end while their session lives (attached again, with a
// growing delay when they keep ending at once, also when their start makes
// no child; left ended with a notice on the pane's screen until input
// reaches it), the input a tmux pane holds until its client has written
// (handed to the session through tmux, in order, once), focus, themes, and
// the live screen text (also while scrolled back).
#include "app/adapters/embedded/EmbeddedAdapter.h"
#include "app/adapters/embedded/TerminalThemeColors.h"
#include "app/core/AdapterError.h"
#include "corvel/platform/Log.h"
#include "corvel/qt/TerminalView.h"
#include "corvel/terminal/Terminal.h"
#include "tests/app/adapters/AdapterTestSupport.h"
#include "tests/app/adapters/EmbeddedTestPanes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QDir>

namespace tilebay {
namespace {

using namespace tilebay::testing;
using ::testing::Contains;
using ::testing::ElementsAre;

constexpr corvel::Nanos ms = 1'000'000;

class EmbeddedAdapterTest : public ::testing::Test {
protected:
    EmbeddedAdapterTest()
    {
        ensureApplication();
        auto kit = std::make_unique<FakePaneKit>();
        probes = kit->probes;
        layouts = kit->layouts;
        failingStarts = kit->failingStarts;
        adapter = std::make_unique<EmbeddedAdapter>(std::move(kit), lookup(), &queue);
        adapter->onActivity = [this](const QString& id) { activity.push_back(id); };
        adapter->onTerminated = [this](const QString& id) { ended.push_back(id); };
    }

    // A stand-in tmux that logs each command line and takes none; it knows
    // no session until answer() says otherwise.
    TmuxLookup lookup()
    {
        const fs::path tool = dir.path() / "tmux";
        const std::string in = dir.path().string() + "/";
        writeFile(tool, "#!/bin/sh\necho \"$@\" >> " + in + "tmux.log\ncase \"$1\" in\n"
                        "has-session) exit $(cat " + in + "answer 2>/dev/null || echo 1) ;;\nesac\nexit 1\n");
        fs::permissions(tool, fs::perms::owner_all);
        return {{tool.string()}, false};
    }
    std::vector<std::string> tmuxLog() const { return readLines(dir.path() / "tmux.log"); }
    // What the stand-in's has-session answers from now on.
    void answer(int status) { writeFile(dir.path() / "answer", std::to_string(status)); }

    FakePane& pane(const QString& id, size_t index)
    {
        return static_cast<FakePane&>(*adapter->paneViews(id).at(index));
    }

    TempDir dir;
    MainQueuePump pump;
    corvel::RunLoopQueue queue{true};
    std::shared_ptr<std::vector<std::shared_ptr<PaneProbe>>> probes;
    std::shared_ptr<std::vector<FakePaneKit::Layout>> layouts;
    std::shared_ptr<int> failingStarts;
    std::unique_ptr<EmbeddedAdapter> adapter;
    std::vector<QString> activity;
    std::vector<QString> ended;
};

TEST_F(EmbeddedAdapterTest, NewAndRestoredCellsTakeLabelsFoldersAndCommands)
{
    const auto first = adapter->createSession(std::nullopt, std::nullopt, std::nullopt);
    const auto second = adapter->createSession(QString(), QString(), QString());
    const auto named = adapter->createSession(QStringLiteral("api"), QStringLiteral("/tmp"), QStringLiteral("make"));
    EXPECT_EQ(first->projectLabel(), "Untitled-1");
    EXPECT_FALSE(first->labelLockedByUser());
    EXPECT_EQ(second->projectLabel(), "Untitled-2");
    EXPECT_EQ(named->projectLabel(), "api");
    EXPECT_TRUE(named->labelLockedByUser());
    EXPECT_EQ(first->id().size(), 14);
    EXPECT_EQ(second->cwd(), QDir::homePath());
    EXPECT_EQ(second->startCommand(), std::nullopt);
    EXPECT_EQ(named->cwd(), "/tmp");
    EXPECT_EQ(named->kind(), AdapterKind::embedded);

    CellRecord record;
    record.internalId = "savedcell00001";
    record.projectLabel = "Untitled-1";
    record.cwd = "";
    record.startCommand = "";
    const auto restored = adapter->restoreSession(record);
    EXPECT_EQ(restored->id(), "savedcell00001");
    EXPECT_EQ(restored->cwd(), QDir::homePath());
    EXPECT_EQ(adapter->createSession(std::nullopt, std::nullopt, std::nullopt)->projectLabel(), "Untitled-3");
    EXPECT_EQ(adapter->sessionIds().size(), 5);
    EXPECT_TRUE(adapter->hasSession("savedcell00001"));

    // Every pane started a plain login shell in its folder; tmux is off, so
    // only the restored cell asked for a session it may have left.
    ASSERT_EQ(probes->size(), 5u);
    const LaunchCommand& shell = probes->at(2)->started.at(0);
    EXPECT_EQ(shell.args, std::vector<std::string>{"-l"});
    EXPECT_EQ(shell.currentDirectory, "/tmp");
    EXPECT_EQ(probes->at(3)->started.at(0).args, std::vector<std::string>{"-l"});
    EXPECT_THAT(tmuxLog(), ElementsAre("has-session -t =cwr_savedcell00001"));
}

TEST_F(EmbeddedAdapterTest, StartCommandIsTypedOnceAfterTheDelayAndDroppedWithItsPane)
{
    const auto cell = adapter->createSession(std::nullopt, std::nullopt, QStringLiteral("make test"));
    const auto plain = adapter->createSession(std::nullopt, std::nullopt, QString());
    const auto gone = adapter->createSession(std::nullopt, std::nullopt, QStringLiteral("rm -rf build"));
    queue.advance(EmbeddedAdapter::startCommandDelay - 1);
    EXPECT_TRUE(probes->at(0)->sent.empty());
    adapter->closeSession(gone->id());
    queue.advance(1);
    EXPECT_THAT(probes->at(0)->sent, ElementsAre("make test\r"));
    queue.advance(10 * EmbeddedAdapter::startCommandDelay);
    EXPECT_EQ(probes->at(0)->sent.size(), 1u);
    EXPECT_TRUE(probes->at(1)->sent.empty());
    EXPECT_TRUE(probes->at(2)->sent.empty());
    EXPECT_TRUE(probes->at(2)->destroyed);
    (void)plain;
}

TEST_F(EmbeddedAdapterTest, TmuxCellsStartAClientAndCloseKillsTheirSessionEvenWithTmuxSwitchedOff)
{
    adapter->useTmux = true;
    const auto cell = adapter->createSession(std::nullopt, QStringLiteral("/tmp"), QStringLiteral("ls"));
    const std::string name = "cwr_" + cell->id().toStdString();
    const LaunchCommand& client = probes->at(0)->started.at(0);
    EXPECT_EQ(client.execName, "tmux");
    EXPECT_THAT(client.args, Contains(name));
    // The client starts at the size the pane is laid out with.
    EXPECT_EQ(probes->at(0)->startedOnceLaidOut, 1);
    // The stand-in knew no session: a new one, so the command is sent,
    // through tmux, once the client has written and tmux knows the session
    // it made; this stand-in takes no input, so the client gets it as typed.
    answer(0);
    pane(cell->id(), 0).output("$ ");
    queue.advance(EmbeddedAdapter::startCommandDelay);
    EXPECT_THAT(probes->at(0)->sent, ElementsAre("ls\r"));
    const auto written = tmuxLog();
    ASSERT_EQ(written.size(), 4u);
    EXPECT_EQ(written[1], "has-session -t =" + name);
    EXPECT_EQ(written[2].substr(0, 11), "load-buffer");

    // A split pane runs a plain shell even in a tmux cell, started at once.
    adapter->splitSession(cell->id());
    EXPECT_EQ(probes->at(1)->started.at(0).args, std::vector<std::string>{"-l"});
    EXPECT_EQ(probes->at(1)->startedOnceLaidOut, 0);

    adapter->useTmux = false;
    adapter->closeSession(cell->id());
    EXPECT_THAT(tmuxLog(),
                ElementsAre("has-session -t =" + name, written[1], written[2], written[3], "kill-session -t =" + name));
    EXPECT_EQ(probes->at(0)->terminated, 1);
    EXPECT_EQ(probes->at(1)->terminated, 1);
    EXPECT_FALSE(adapter->hasSession(cell->id()));
    EXPECT_FALSE(adapter->lastActivity.contains(cell->id()));
    queue.runUntilIdle();
    EXPECT_TRUE(probes->at(0)->destroyed);

    // Closing an unknown id with tmux on still kills the session of that name.
    adapter->useTmux = true;
    adapter->closeSession("nobody");
    EXPECT_EQ(tmuxLog().back(), "kill-session -t =cwr_nobody");
}

TEST_F(EmbeddedAdapterTest, SplitsStopAtFourPanesAndRaiseTheRevision)
{
    const QString id = adapter->createSession(std::nullopt, std::nullopt, std::nullopt)->id();
    for (int n = 0; n < 4; ++n) adapter->splitSession(id);
    EXPECT_EQ(adapter->paneViews(id).size(), 4u);
    EXPECT_EQ(adapter->session(id)->paneRevision(), 3);
    EXPECT_EQ(probes->size(), 4u);

    adapter->removeLastPane(id);
    EXPECT_EQ(adapter->paneViews(id).size(), 3u);
    EXPECT_EQ(probes->at(3)->terminated, 1);
    EXPECT_EQ(adapter->session(id)->paneRevision(), 4);
    adapter->removeLastPane(id);
    adapter->removeLastPane(id);
    adapter->removeLastPane(id);
    EXPECT_EQ(adapter->paneViews(id).size(), 1u);
    EXPECT_EQ(adapter->session(id)->paneRevision(), 6);
    queue.runUntilIdle();
    EXPECT_FALSE(probes->at(0)->destroyed);
    EXPECT_TRUE(probes->at(1)->destroyed);

    adapter->toggleAxis(id);
    EXPECT_EQ(adapter->axis(id), EmbeddedAdapter::Axis::vertical);
    adapter->toggleAxis(id);
    EXPECT_EQ(adapter->axis(id), EmbeddedAdapter::Axis::horizontal);
    EXPECT_EQ(adapter->session(id)->paneRevision(), 8);

    adapter->splitSession("unknown");
    adapter->removeLastPane("unknown");
    EXPECT_EQ(adapter->cellContentView("unknown"), nullptr);
    delete adapter->cellContentView(id);
    ASSERT_EQ(layouts->size(), 1u);
    EXPECT_EQ(layouts->at(0).panes, adapter->paneViews(id));
}

TEST_F(EmbeddedAdapterTest, ActivityIsStampedPerChunkAndReportedAtMostOncePerInterval)
{
    const QString id = adapter->createSession(std::nullopt, std::nullopt, std::nullopt)->id();
    EXPECT_EQ(adapter->lastActivity.value(id), queue.now());
    for (int n = 0; n < 10; ++n) {
        queue.advance(10 * ms);
        pane(id, 0).output("x");
        EXPECT_EQ(adapter->lastActivity.value(id), queue.now());
    }
    EXPECT_EQ(activity.size(), 1u);
    const corvel::Nanos bumped = adapter->lastBump.value(id);
    queue.advance(bumped + EmbeddedAdapter::activityInterval - queue.now());
    pane(id, 0).output("y");
    EXPECT_EQ(activity.size(), 1u);  // exactly the interval is not enough
    queue.advance(10 * ms);
    pane(id, 0).output("z");
    EXPECT_THAT(activity, ElementsAre(id, id));
}

TEST_F(EmbeddedAdapterTest, EndOfAPaneRemovesItAndEndOfTheLastReportsTheCell)
{
    const QString id = adapter->createSession(std::nullopt, std::nullopt, std::nullopt)->id();
    adapter->splitSession(id);
    adapter->splitSession(id);
    FakePane& middle = pane(id, 1);
    // Only noted where the pane reports it; handled on the queue's next turn.
    middle.end();
    EXPECT_EQ(adapter->paneViews(id).size(), 3u);
    queue.runUntilIdle();
    EXPECT_EQ(adapter->paneViews(id).size(), 2u);
    EXPECT_EQ(adapter->paneViews(id).at(1), static_cast<EmbeddedPaneView*>(&pane(id, 1)));
    EXPECT_EQ(adapter->session(id)->paneRevision(), 3);
    EXPECT_TRUE(ended.empty());
    queue.runUntilIdle();
    EXPECT_TRUE(probes->at(1)->destroyed);

    // A pane removed after its end was reported is not reported again, nor
    // taken for the cell's last one.
    pane(id, 1).end();
    adapter->removeLastPane(id);
    queue.runUntilIdle();
    EXPECT_TRUE(ended.empty());
    EXPECT_EQ(adapter->paneViews(id).size(), 1u);

    pane(id, 0).end();
    queue.runUntilIdle();
    EXPECT_THAT(ended, ElementsAre(id));
    EXPECT_TRUE(adapter->hasSession(id));
    EXPECT_EQ(adapter->paneViews(id).size(), 1u);

    // The store forgets the ended cell from inside the report: panes and
    // tables go, tmux is not asked.
    adapter->onTerminated = [this](const QString& cell) {
        ended.push_back(cell);
        adapter->forgetSession(cell);
    };
    const QString other = adapter->createSession(std::nullopt, std::nullopt, std::nullopt)->id();
    adapter->useTmux = true;
    pane(other, 0).end();
    adapter->forgetSession(id);
    queue.runUntilIdle();
    EXPECT_THAT(ended, ElementsAre(id, other));
    for (const QString& cell : {id, other}) {
        EXPECT_FALSE(adapter->hasSession(cell));
        EXPECT_EQ(adapter->primary(cell), nullptr);
        EXPECT_FALSE(adapter->lastActivity.contains(cell));
    }
    EXPECT_TRUE(probes->at(0)->destroyed);
    EXPECT_TRUE(probes->back()->destroyed);
    EXPECT_TRUE(tmuxLog().empty());

    // Ends reported just before the adapter goes are dropped with it.
    const QString last = adapter->createSession(std::nullopt, std::nullopt, std::nullopt)->id();
    pane(last, 0).end();
    adapter.reset();
    queue.runUntilIdle();
    EXPECT_THAT(ended, ElementsAre(id, other));
}

// The stand-in tmux answers has-session with the status in the file
// "answer" (1, no such session, when there is none), logs every call, and
// keeps what it is given to write into the session in "held", each write
// followed by a record separator (a bracketed paste marked "paste:"); while
// the file "refuse" exists it takes no writes.
class EmbeddedAdapterReattachTest : public EmbeddedAdapterTest {
protected:
    EmbeddedAdapterReattachTest()
    {
        const fs::path tool = dir.path() / "tmux";
        const std::string in = dir.path().string() + "/";
        writeFile(tool, "#!/bin/sh\necho \"$@\" >> " + in + "tmux.log\ncase \"$1\" in\n"
                        "has-session) exit $(cat " + in + "answer 2>/dev/null || echo 1) ;;\n"
                        "load-buffer) [ -e " + in + "refuse ] && exit 1\n"
                        "  case \" $* \" in *\" -p \"*) printf paste: >> " + in + "held ;; esac\n"
                        "  cat >> " + in + "held; printf '\\036' >> " + in + "held ;;\nesac\nexit 0\n");
        fs::permissions(tool, fs::perms::owner_all);
        auto kit = std::make_unique<FakePaneKit>();
        probes = kit->probes;
        layouts = kit->layouts;
        failingStarts = kit->failingStarts;
        adapter = std::make_unique<EmbeddedAdapter>(std::move(kit), TmuxLookup{{tool.string()}, false}, &queue);
        adapter->onTerminated = [this](const QString& id) { ended.push_back(id); };
        adapter->useTmux = true;
    }
    // What the stand-in was given to write into sessions, write by write.
    std::vector<std::string> held() const
    {
        std::vector<std::string> writes;
        std::string all = readFile(dir.path() / "held");
        for (size_t at; (at = all.find('\036')) != std::string::npos; all.erase(0, at + 1))
            writes.push_back(all.substr(0, at));
        return writes;
    }
    size_t attaches(size_t paneIndex) const
    {
        size_t count = 0;
        for (const auto& command : probes->at(paneIndex)->started)
            if (!command.args.empty() && command.args.front() == "attach-session") ++count;
        return count;
    }
    // Ends the first pane's client at once, again and again, until the
    // adapter leaves it ended.
    void giveUp(const QString& id)
    {
        answer(0);
        corvel::Nanos delay = TmuxPaneClient::firstReattachDelay;
        for (int n = 0; n <= TmuxPaneClient::maxQuickReattaches; ++n) {
            pane(id, 0).end();
            queue.runUntilIdle();
            queue.advance(std::min(delay, TmuxPaneClient::longestReattachDelay));
            delay *= 2;
        }
    }
    static QString notice()
    {
        return QString::fromUtf8(TmuxPaneClient::notConnected.data(),
                                 qsizetype(TmuxPaneClient::notConnected.size()));
    }
};

TEST_F(EmbeddedAdapterReattachTest, ClientThatEndsWhileItsSessionLivesAttachesAgainUntilTheSessionEnds)
{
    corvel::log::Capture log;
    const QString id = adapter->createSession(std::nullopt, QStringLiteral("/tmp"), QStringLiteral("job"))->id();
    const std::string name = "cwr_" + id.toStdString();
    answer(0);
    pane(id, 0).output("$ ");
    queue.advance(EmbeddedAdapter::startCommandDelay);
    adapter->splitSession(id);

    // A detach after a while attaches the same pane to the same session at
    // once, without typing the start command again; the split pane stays.
    queue.advance(TmuxPaneClient::steadyAttach);
    pane(id, 0).end();
    queue.runUntilIdle();
    ASSERT_EQ(attaches(0), 1u);
    const LaunchCommand& again = probes->at(0)->started.back();
    EXPECT_EQ(again.args, (std::vector<std::string>{"attach-session", "-t", "=" + name}));
    EXPECT_EQ(again.currentDirectory, "/tmp");
    EXPECT_THAT(held(), ElementsAre("job\r"));
    EXPECT_TRUE(probes->at(0)->sent.empty());
    EXPECT_EQ(adapter->paneViews(id).size(), 2u);
    EXPECT_EQ(adapter->session(id)->paneRevision(), 1);
    EXPECT_TRUE(ended.empty());

    // A client that keeps ending at once waits twice as long each time,
    // never spinning, and after the last allowed attempt is left ended.
    corvel::Nanos delay = TmuxPaneClient::firstReattachDelay;
    for (int n = 1; n <= TmuxPaneClient::maxQuickReattaches; ++n) {
        pane(id, 0).end();
        queue.runUntilIdle();
        queue.advance(std::min(delay, TmuxPaneClient::longestReattachDelay) - 1);
        EXPECT_EQ(attaches(0), static_cast<size_t>(n)) << n;
        queue.advance(1);
        EXPECT_EQ(attaches(0), static_cast<size_t>(n + 1)) << n;
        delay *= 2;
    }
    EXPECT_EQ(log.count("tmux 세션 재연결 지연"), static_cast<size_t>(TmuxPaneClient::maxQuickReattaches));
    pane(id, 0).end();
    queue.runUntilIdle();
    queue.advance(10 * TmuxPaneClient::longestReattachDelay);
    EXPECT_EQ(attaches(0), static_cast<size_t>(TmuxPaneClient::maxQuickReattaches + 1));
    EXPECT_TRUE(log.contains("tmux 세션 재연결 중단"));
    EXPECT_EQ(adapter->paneViews(id).size(), 2u);
    EXPECT_TRUE(ended.empty());

    // Closing the cell still ends its session.
    adapter->closeSession(id);
    EXPECT_EQ(tmuxLog().back(), "kill-session -t =" + name);
}

TEST_F(EmbeddedAdapterReattachTest, ClientLeftEndedSaysSoOnItsPaneAndInputAttachesItAgainCountingAfresh)
{
    corvel::log::Capture log;
    const QString id = adapter->createSession(std::nullopt, std::nullopt, std::nullopt)->id();
    answer(0);
    const QString notice =
        QString::fromUtf8(TmuxPaneClient::notConnected.data(), qsizetype(TmuxPaneClient::notConnected.size()));
    // The client had switched mouse and focus reports on.
    pane(id, 0).output("\x1b[?1003h\x1b[?1004h");

    // Keys typed while the client waits to attach again bring nothing
    // forward; they are held.
    corvel::Nanos delay = TmuxPaneClient::firstReattachDelay;
    for (int n = 1; n <= TmuxPaneClient::maxQuickReattaches; ++n) {
        pane(id, 0).end();
        queue.runUntilIdle();
        pane(id, 0).type(std::to_string(n));
        queue.runUntilIdle();
        EXPECT_EQ(attaches(0), static_cast<size_t>(n - 1)) << n;
        queue.advance(std::min(delay, TmuxPaneClient::longestReattachDelay));
        delay *= 2;
    }
    EXPECT_FALSE(holdsIgnoringSpaces(EmbeddedAdapter::screenText(pane(id, 0)), notice));

    // Left ended: the pane's screen says so, and its mouse and focus reports
    // are off, so a hover or a change of focus cannot attach it.
    pane(id, 0).end();
    queue.runUntilIdle();
    queue.advance(10 * TmuxPaneClient::longestReattachDelay);
    const auto givenUp = static_cast<size_t>(TmuxPaneClient::maxQuickReattaches);
    ASSERT_EQ(attaches(0), givenUp);
    ASSERT_TRUE(log.contains("tmux 세션 재연결 중단"));
    EXPECT_TRUE(holdsIgnoringSpaces(EmbeddedAdapter::screenText(pane(id, 0)), notice));
    const corvel::Terminal& terminal = pane(id, 0).terminalView().getTerminal();
    EXPECT_EQ(terminal.mouseMode(), corvel::Terminal::MouseMode::off);
    EXPECT_FALSE(terminal.sendFocus);
    EXPECT_TRUE(probes->at(0)->sent.empty());

    // A key attaches it again, once however much arrives before the attach;
    // that key goes nowhere, what is typed after it is held.
    pane(id, 0).type("x");
    pane(id, 0).type("y");
    queue.runUntilIdle();
    EXPECT_EQ(attaches(0), givenUp + 1);
    EXPECT_EQ(probes->at(0)->started.back().args.front(), "attach-session");

    // Its ends count afresh: one end at once waits the shortest delay.
    pane(id, 0).end();
    queue.runUntilIdle();
    queue.advance(TmuxPaneClient::firstReattachDelay);
    EXPECT_EQ(attaches(0), givenUp + 2);
    pane(id, 0).type("z");
    queue.runUntilIdle();
    EXPECT_EQ(attaches(0), givenUp + 2);
    EXPECT_EQ(adapter->paneViews(id).size(), 1u);
    EXPECT_TRUE(ended.empty());

    // Nothing held went anywhere before a client wrote; then all of it goes
    // to the session, in order, once.
    EXPECT_TRUE(held().empty());
    pane(id, 0).output("attached");
    EXPECT_THAT(held(), ElementsAre("123456yz"));
    EXPECT_TRUE(probes->at(0)->sent.empty());
}

TEST_F(EmbeddedAdapterReattachTest, NoticeStaysReadableWhateverTheEndedClientAndTmuxWroteAroundIt)
{
    const QString id = adapter->createSession(std::nullopt, std::nullopt, std::nullopt)->id();
    FakePane& view = pane(id, 0);
    // The client hid its screen: concealed text and no cursor (also on the
    // screen it saved when it took the alternate one), foreground and
    // background of one colour, a scroll region. It left a line "L2" below
    // the cursor on the normal screen (where the notice goes, over it, not
    // pushing it aside), line drawing in G0, insert and origin mode, left
    // and right margins without autowrap, and synchronized output on.
    view.output("\x1b[2;1HL2\x1b[1;1H");
    view.output("\x1b[8m\x1b[?25l\x1b[?1049h\x1b]10;#202020\x07\x1b]11;#202020\x07\x1b[5;20rsecret");
    view.output("\x1b(0\x1b[4h\x1b[?6h\x1b[?69h\x1b[5;40s\x1b[?7l\x1b[?2026h");
    giveUp(id);
    ASSERT_EQ(attaches(0), static_cast<size_t>(TmuxPaneClient::maxQuickReattaches));
    // What tmux writes to the terminal of a client that has gone (as this
    // tmux wrote it), and more of the same kind after it.
    view.output("\x1b[1;0r\x1b(B\x1b[m\x1b[?1l\x1b>\x1b[H\x1b[2J\x1b[?2004l\x1b[?12l\x1b[?25h\x1b[?1000l"
                "\x1b[?1002l\x1b[?1003l\x1b[?1006l\x1b[?1005l\x1b[?7727l\x1b[?1004l\x1b[?1049l\x1b[23;0;0t");
    view.output("\x1b[H\x1b[2J\x1b[8m\x1b[?25l\x1b]11;#d4d4d4\x07");

    corvel::Terminal& terminal = view.terminalView().getTerminal();
    EXPECT_FALSE(terminal.isCurrentBufferAlternate());
    EXPECT_FALSE(terminal.cursorHidden);
    EXPECT_FALSE(terminal.synchronizedOutputActive());
    EXPECT_EQ(terminal.foregroundColor(), TerminalThemeColors::foreground(TerminalTheme::dark));
    EXPECT_EQ(terminal.backgroundColor(), TerminalThemeColors::background(TerminalTheme::dark));
    // The notice is the screen's text, shown as it is, in plain cells of
    // one line, with the cursor below it.
    QString text = EmbeddedAdapter::screenText(view);
    EXPECT_EQ(text.remove(QLatin1Char(' ')).trimmed(), notice().remove(QLatin1Char(' '))) << text.toStdString();
    corvel::Buffer& buffer = terminal.displayBuffer();
    bool found = false;
    for (int row = 0; row < buffer.rows(); ++row) {
        corvel::BufferLine& line = buffer.lines()[buffer.yBase() + row];
        if (QString::fromStdString(line.translateToString(true, 0, -1, false, {})).remove(QLatin1Char(' ')) !=
            notice().remove(QLatin1Char(' ')))
            continue;
        found = true;
        EXPECT_EQ(terminal.buffer().y(), row + 1);
        for (int col = 0; col < line.count(); ++col)
            EXPECT_EQ(line[col].attribute, corvel::Attribute::empty) << col;
    }
    EXPECT_TRUE(found);

    // The next client writes to the pane again.
    view.type("x");
    queue.runUntilIdle();
    view.output("\x1b[2J\x1b[Hattached");
    EXPECT_TRUE(EmbeddedAdapter::screenText(view).contains(QStringLiteral("attached")));
}

TEST_F(EmbeddedAdapterReattachTest, InputHeldUntilTheClientHasWrittenReachesTheSessionOnceInOrder)
{
    corvel::log::Capture log;
    const QString id = adapter->createSession(std::nullopt, std::nullopt, std::nullopt)->id();
    FakePane& view = pane(id, 0);
    const auto& sent = probes->at(0)->sent;
    // What is typed before the first client has written waits for it, then
    // goes to the session through tmux; after that, typing reaches the client.
    view.type("a");
    queue.runUntilIdle();
    EXPECT_TRUE(held().empty());
    answer(0);
    view.output("$ ");
    EXPECT_THAT(held(), ElementsAre("a"));
    view.type("b");
    EXPECT_THAT(sent, ElementsAre("b"));

    // A broadcast to the pane left ended asks for the connection and is
    // held, as is what is typed and sent after it. Nothing goes on while no
    // client runs, nor before the new client has written.
    giveUp(id);
    const auto givenUp = static_cast<size_t>(TmuxPaneClient::maxQuickReattaches);
    view.send("echo bcast3\r");
    queue.runUntilIdle();
    EXPECT_EQ(attaches(0), givenUp + 1);
    view.type("k");
    adapter->sendText(id, QStringLiteral("echo next\r"));
    queue.runUntilIdle();
    view.end();
    queue.runUntilIdle();
    view.type("m");
    queue.runUntilIdle();
    EXPECT_THAT(held(), ElementsAre("a"));
    queue.advance(TmuxPaneClient::firstReattachDelay);
    EXPECT_EQ(attaches(0), givenUp + 2);
    EXPECT_THAT(held(), ElementsAre("a"));
    view.output("\x1b[?1049h");
    EXPECT_THAT(held(), ElementsAre("a", "echo bcast3\rkecho next\rm"));
    EXPECT_THAT(sent, ElementsAre("b"));

    // A paste made before the client attached again after a detach keeps
    // its place among the text held around it.
    queue.advance(TmuxPaneClient::steadyAttach);
    view.end();
    queue.runUntilIdle();
    adapter->sendText(id, QStringLiteral("FIRST\r"));
    view.pasteText("SECOND\n");
    view.type("THIRD\r");
    view.output("x");
    EXPECT_THAT(held(), ElementsAre("a", "echo bcast3\rkecho next\rm", "FIRST\r", "paste:SECOND\n", "THIRD\r"));

    // When tmux takes no input, the client that runs and has written gets
    // the held input (logged).
    writeFile(dir.path() / "refuse", "");
    queue.advance(TmuxPaneClient::steadyAttach);
    view.end();
    queue.runUntilIdle();
    view.send("late\r");
    view.pasteText("PASTED");
    view.output("w");
    // A paste still goes as a paste, which the client brackets when its
    // program asked for it; never as typed.
    EXPECT_THAT(sent, ElementsAre("b", "late\r", "paste:PASTED"));
    EXPECT_TRUE(log.contains("tmux 세션 입력 전달 실패"));
    EXPECT_EQ(held().size(), 5u);
    EXPECT_TRUE(ended.empty());
}

TEST_F(EmbeddedAdapterReattachTest, StartThatMakesNoChildIsLoggedAndATmuxClientsCountsAsItsEnd)
{
    corvel::log::Capture log;
    // A plain shell whose start fails is logged; its cell stays.
    adapter->useTmux = false;
    *failingStarts = 1;
    const QString plain = adapter->createSession(std::nullopt, std::nullopt, std::nullopt)->id();
    queue.runUntilIdle();
    EXPECT_TRUE(log.contains("셸 시작 실패"));
    EXPECT_EQ(adapter->paneViews(plain).size(), 1u);

    // A tmux client whose attach makes no child: the back-off applies.
    adapter->useTmux = true;
    const QString id = adapter->createSession(std::nullopt, std::nullopt, std::nullopt)->id();
    FakePane& view = pane(id, 0);
    answer(0);
    queue.advance(TmuxPaneClient::steadyAttach);
    *failingStarts = 1;
    view.end();
    queue.runUntilIdle();
    EXPECT_EQ(attaches(1), 1u);
    EXPECT_EQ(log.count("tmux 클라이언트 시작 실패"), 1u);
    // An end reported for a client whose end was handled counts no more.
    view.end();
    queue.runUntilIdle();
    EXPECT_EQ(log.count("tmux 세션 재연결 지연"), 1u);
    queue.advance(TmuxPaneClient::firstReattachDelay);
    EXPECT_EQ(attaches(1), 2u);

    // Starts that keep failing leave it ended, with its notice; input held
    // meanwhile waits, and a key tries again.
    view.send("kept\r");
    *failingStarts = 100;
    view.end();
    for (int n = 0; n < 10; ++n) {
        queue.runUntilIdle();
        queue.advance(TmuxPaneClient::longestReattachDelay);
    }
    ASSERT_TRUE(log.contains("tmux 세션 재연결 중단"));
    const size_t givenUp = attaches(1);
    EXPECT_TRUE(holdsIgnoringSpaces(EmbeddedAdapter::screenText(view), notice()));
    *failingStarts = 0;
    view.type("x");
    queue.runUntilIdle();
    EXPECT_EQ(attaches(1), givenUp + 1);
    view.output("$ ");
    EXPECT_THAT(held(), ElementsAre("kept\r"));
    EXPECT_TRUE(ended.empty());
}

TEST_F(EmbeddedAdapterReattachTest, InputTheEndedClientNeverTookReachesTheSessionOnceAheadOfLaterInput)
{
    const QString id = adapter->createSession(std::nullopt, std::nullopt, std::nullopt)->id();
    FakePane& view = pane(id, 0);
    const auto& sent = probes->at(0)->sent;
    answer(0);
    view.output("$ ");
    view.type("x");
    EXPECT_THAT(sent, ElementsAre("x"));

    // "ab" went to the client, which hung up before its terminal took it;
    // "c", typed before the pane learns of the end, finds the terminal
    // refusing it. Both reach the session through tmux, "ab" first.
    view.type("ab");
    view.hangUp();
    view.type("c");
    view.giveBack("ab");
    queue.runUntilIdle();
    EXPECT_THAT(held(), ElementsAre("abc"));

    // The end is reported: the client attaches again, and what is typed
    // meanwhile follows, once.
    queue.advance(TmuxPaneClient::steadyAttach);
    view.end();
    queue.runUntilIdle();
    ASSERT_EQ(attaches(0), 1u);
    view.type("d");
    view.output("attached");
    EXPECT_THAT(held(), ElementsAre("abc", "d"));
    EXPECT_THAT(sent, ElementsAre("x", "ab"));

    // The next client hangs up the same way: what it never took goes ahead
    // of what was typed after it, as the first time.
    view.type("ef");
    view.hangUp();
    view.type("g");
    view.giveBack("ef");
    queue.runUntilIdle();
    EXPECT_THAT(held(), ElementsAre("abc", "d", "efg"));

    // And the one after it, with nothing typed after what comes back.
    queue.advance(TmuxPaneClient::steadyAttach);
    view.end();
    queue.runUntilIdle();
    ASSERT_EQ(attaches(0), 2u);
    view.output("attached");
    view.type("hi");
    view.hangUp();
    view.giveBack("hi");
    queue.runUntilIdle();
    EXPECT_THAT(held(), ElementsAre("abc", "d", "efg", "hi"));
    EXPECT_THAT(sent, ElementsAre("x", "ab", "ef", "hi"));
    EXPECT_TRUE(ended.empty());
}

TEST_F(EmbeddedAdapterReattachTest, RestoredCellWhoseSessionEndsBeforeItsClientWritesEndsWithoutANewSession)
{
    // The saved cell's session lives when the cell is restored; its client
    // attaches to it.
    answer(0);
    CellRecord record;
    record.internalId = "savedcell00002";
    const QString id = adapter->restoreSession(record)->id();
    EXPECT_EQ(probes->at(0)->started.size(), 1u);

    // The session ends before the client has written a byte: that is the
    // end of the cell's session, not a start that made none.
    answer(1);
    pane(id, 0).end();
    queue.runUntilIdle();
    EXPECT_THAT(ended, ElementsAre(id));
    queue.advance(10 * TmuxPaneClient::longestReattachDelay);
    EXPECT_EQ(probes->at(0)->started.size(), 1u);
}

TEST_F(EmbeddedAdapterReattachTest, SessionNoStartMadeYetIsMadeByTheNextStartAndOnlyOneThatExistedEndsTheCell)
{
    corvel::log::Capture log;
    // The first start makes no child, and tmux knows no such session.
    *failingStarts = 1;
    const QString id = adapter->createSession(std::nullopt, QStringLiteral("/tmp"), QStringLiteral("job"))->id();
    FakePane& view = pane(id, 0);
    queue.runUntilIdle();
    EXPECT_EQ(log.count("tmux 클라이언트 시작 실패"), 1u);
    EXPECT_TRUE(ended.empty());
    ASSERT_EQ(adapter->paneViews(id).size(), 1u);

    // The next start runs, but tmux refuses to make the session: its client
    // writes tmux's reason and ends. That is no session's end either: it is
    // logged, and the start command, held meanwhile, waits.
    queue.advance(EmbeddedAdapter::startCommandDelay);
    ASSERT_EQ(probes->at(0)->started.size(), 2u);
    EXPECT_EQ(attaches(0), 0u);
    view.output("open terminal failed: not a terminal\r\n");
    view.end();
    queue.runUntilIdle();
    EXPECT_EQ(log.count("tmux 클라이언트 시작 실패"), 2u);
    EXPECT_TRUE(ended.empty());
    EXPECT_TRUE(held().empty());

    // The start after it makes the session as the first would have; the
    // start command reaches it once.
    queue.advance(TmuxPaneClient::longestReattachDelay);
    ASSERT_EQ(probes->at(0)->started.size(), 3u);
    EXPECT_EQ(attaches(0), 0u);
    answer(0);
    view.output("$ ");
    EXPECT_THAT(held(), ElementsAre("job\r"));

    // That session existed: its end ends the cell.
    answer(1);
    view.end();
    queue.runUntilIdle();
    EXPECT_THAT(ended, ElementsAre(id));
}

TEST_F(EmbeddedAdapterReattachTest, SessionThatEndedTakesThePaneAndTmuxThatCannotAnswerKeepsIt)
{
    const QString split = adapter->createSession(std::nullopt, std::nullopt, std::nullopt)->id();
    const QString single = adapter->createSession(std::nullopt, std::nullopt, std::nullopt)->id();
    adapter->splitSession(split);
    // Both clients attached to the sessions they made.
    answer(0);
    pane(split, 0).output("$ ");
    pane(single, 0).output("$ ");
    queue.advance(TmuxPaneClient::steadyAttach);

    // tmux does not answer as it should: the session may live, so the pane
    // attaches again.
    answer(3);
    pane(single, 0).end();
    queue.runUntilIdle();
    EXPECT_EQ(attaches(1), 1u);

    // A re-attach finds the session ended meanwhile: the client ends, and
    // only now the pane goes; a split cell keeps its plain shell.
    queue.advance(TmuxPaneClient::steadyAttach);
    answer(0);
    pane(split, 0).end();
    queue.runUntilIdle();
    EXPECT_EQ(attaches(0), 1u);
    answer(1);
    pane(split, 0).end();
    queue.runUntilIdle();
    EXPECT_EQ(adapter->paneViews(split).size(), 1u);
    EXPECT_EQ(probes->at(0)->terminated, 1);
    EXPECT_EQ(probes->at(2)->terminated, 0);
    EXPECT_TRUE(ended.empty());

    pane(single, 0).end();
    queue.runUntilIdle();
    EXPECT_THAT(ended, ElementsAre(single));
    EXPECT_EQ(attaches(1), 1u);

    // A cell closed while its client waits to attach again attaches nothing.
    answer(0);
    const QString closed = adapter->createSession(std::nullopt, std::nullopt, std::nullopt)->id();
    pane(closed, 0).end();
    queue.runUntilIdle();
    adapter->closeSession(closed);
    queue.advance(TmuxPaneClient::longestReattachDelay);
    EXPECT_EQ(attaches(3), 0u);
}

TEST_F(EmbeddedAdapterTest, StoreSeesPaneCountsAndSearchesThePrimaryPane)
{
    EmbeddedController& controller = *adapter;
    const QString id = controller.createSession(std::nullopt, std::nullopt, std::nullopt)->id();
    adapter->splitSession(id);
    EXPECT_EQ(controller.paneCount(id), 2);
    EXPECT_EQ(controller.paneCount("unknown"), 0);
    EXPECT_EQ(controller.primarySearch("unknown"), nullptr);

    FakePane& first = pane(id, 0);
    first.terminalView().getTerminal().resize(40, 10);
    for (int n = 0; n < 60; ++n) first.output("filler " + std::to_string(n) + "\r\n");
    first.output("Needle here\r\n");
    for (int n = 0; n < 30; ++n) first.output("after " + std::to_string(n) + "\r\n");
    pane(id, 1).output("needle in the second pane only\r\n");

    SearchTarget* search = controller.primarySearch(id);
    ASSERT_NE(search, nullptr);
    corvel::TerminalView& view = first.terminalView();
    EXPECT_TRUE(search->findNext("needle", true));
    ASSERT_TRUE(view.getSelection().has_value());
    EXPECT_EQ(*view.getSelection(), "Needle");
    // The match, long scrolled away, is brought into view.
    const int yDisp = view.getTerminal().buffer().yDisp();
    EXPECT_LE(yDisp, 60);
    EXPECT_GT(yDisp + view.getTerminal().rows(), 60);
    EXPECT_TRUE(search->findPrevious("NEEDLE", false));
    EXPECT_FALSE(search->findNext("haystack", true));
    EXPECT_FALSE(view.selectionActive());
}

TEST_F(EmbeddedAdapterTest, FocusOfAnUnknownCellRaisesNotFound)
{
    const QString id = adapter->createSession(std::nullopt, std::nullopt, std::nullopt)->id();
    EXPECT_NO_THROW(adapter->focus(id));
    try {
        adapter->focus("missing");
        ADD_FAILURE() << "no error";
    } catch (const AdapterError& error) {
        EXPECT_EQ(error, AdapterError::notFound("missing"));
    }
}

TEST_F(EmbeddedAdapterTest, ThemesSetColoursTheHostCanQueryAndKeepTheProgramsModes)
{
    const QString id = adapter->createSession(std::nullopt, std::nullopt, std::nullopt)->id();
    FakePane& view = pane(id, 0);
    adapter->applyThemeToAll(TerminalTheme::dracula, 16);
    EXPECT_EQ(view.terminalView().font().pixelSize(), 16);
    // The same size again does not reset the running program's modes.
    view.output("\x1b[?1h");  // application cursor keys
    adapter->applyThemeToAll(TerminalTheme::solarizedDark, 16);
    EXPECT_TRUE(view.terminalView().getTerminal().applicationCursor);

    view.output("\x1b]11;?\x07\x1b]10;?\x07\x1b]4;1;?\x07\x1b]4;15;?\x07");
    EXPECT_EQ(view.replies(),
              "\x1b]11;rgb:0000/2b2b/3636\x1b\\"
              "\x1b]10;rgb:9393/a1a1/a1a1\x1b\\"
              "\x1b]4;1;rgb:cdcd/3131/3131\x1b\\"
              "\x1b]4;15;rgb:ffff/ffff/ffff\x1b\\");

    // New panes take the remembered theme.
    adapter->splitSession(id);
    view.replies().clear();
    pane(id, 1).output("\x1b]11;?\x07");
    EXPECT_EQ(pane(id, 1).replies(), "\x1b]11;rgb:0000/2b2b/3636\x1b\\");
}

TEST_F(EmbeddedAdapterTest, ScreenTextReadsTheLiveRowsWithoutNulEvenScrolledBack)
{
    const QString id = adapter->createSession(std::nullopt, std::nullopt, std::nullopt)->id();
    FakePane& view = pane(id, 0);
    corvel::Terminal& terminal = view.terminalView().getTerminal();
    terminal.resize(40, 25);
    view.output("hello");
    EXPECT_EQ(adapter->visibleText(id), "hello" + QString(24, '\n'));

    // Gaps and wide characters leave empty cells behind.
    view.output("\r\x1b[2J\x1b[Ha\x1b[5Cb \xe6\xbc\xa2\xe5\xad\x97|");
    const QString gaps = adapter->visibleText(id);
    EXPECT_FALSE(gaps.contains(QChar(0)));
    EXPECT_TRUE(gaps.startsWith(QString::fromUtf8("a     b 漢"))) << gaps.toStdString();

    // Scrolled back, the view still reads the live rows, not the ones shown.
    view.output("\r\x1b[2J\x1b[H(y/n) asked long ago\r\n");
    for (int n = 1; n <= 200; ++n) view.output("row" + std::to_string(n) + "\r\n");
    view.terminalView().scrollUp(150);
    ASSERT_LT(terminal.buffer().yDisp(), terminal.buffer().yBase());
    const QString live = adapter->visibleText(id);
    EXPECT_TRUE(live.contains(QStringLiteral("row200")));
    EXPECT_FALSE(live.contains(QStringLiteral("row60\n")));
    EXPECT_FALSE(live.contains(QStringLiteral("(y/n)")));
}

}  // namespace
}  // namespace tilebay
