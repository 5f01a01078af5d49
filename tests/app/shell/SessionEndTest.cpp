// Every way an embedded cell's session ends, through the whole application
// offscreen: the real store and embedded adapter with the application's own
// panes running bash (and tmux), under the window with its grid and expanded
// card. A one-pane cell ended by `exit`, by Ctrl+D, by a start command that
// exits at once, by SIGKILL from outside, or by its tmux session killed from
// outside (a tmux client that detaches keeps its cell); each pane of a
// split cell ending, in either order, then the last;
// where the keyboard focus of an ended pane goes; a pane ending while its
// cell is expanded, asked to close or being renamed;
// two cells ending in the same turn; the window closing while a shell ends.
// Each leaves the ended cell out of the grid and the saved layout and every
// other shell running with the same pid. The home folder, the data folder and
// tmux's socket folder are the test's own; the tmux server is killed after
// each test. Every wait is for a condition; the bound only guards against a hang.
#include "app/adapters/embedded/EmbeddedAdapter.h"
#include "app/adapters/embedded/HookedPaneKit.h"
#include "app/adapters/embedded/HookedTerminalView.h"
#include "app/shell/MainWindow.h"
#include "app/shell/TilebayApp.h"
#include "app/ui/LabelEditor.h"
#include "app/ui/expanded/ExpandedView.h"
#include "app/ui/grid/GridCellView.h"
#include "app/ui/grid/GridView.h"
#include "tests/app/store/StoreTestSupport.h"
#include "tests/app/ui/support/UiTestSupport.h"

#include <QMessageBox>
#include <QPointer>
#include <QTest>

#include <signal.h>

#include <algorithm>

using namespace tilebay;
using namespace tilebay::testing;

namespace {

class SessionEndTest : private test::UiAppFirst, public StoreTest {
protected:
    SessionEndTest()
    {
        unsetenv("TMUX");
        // Closing the window here stands for the end of the run; the test's
        // own event loops must not be told to quit.
        QGuiApplication::setQuitOnLastWindowClosed(false);
        fs::create_directories(dir_.path() / "home");
    }
    ~SessionEndTest() override
    {
        app_.reset();
        pumpUntil([] { return zombieChildren().empty(); });
        if (fs::exists(kTmux)) tmux({"kill-server"});
        QGuiApplication::setQuitOnLastWindowClosed(true);
    }

    // The application over the saved layout, its window shown.
    TilebayApp& startApp()
    {
        if (!fs::exists(layoutPath())) writeLayout("{}");
        auto shells = std::make_unique<EmbeddedAdapter>(std::make_unique<HookedPaneKit>(), TmuxLookup{{kTmux}, false});
        app_ = std::make_unique<TilebayApp>(*qApp, dependencies(std::move(shells)));
        app_->window().show();
        return *app_;
    }
    SessionStore& store() { return app_->store(); }
    EmbeddedAdapter& shells() { return static_cast<EmbeddedAdapter&>(store().embedded()); }
    GridView& grid() { return *app_->window().gridView(); }
    HookedTerminalView& pane(const QString& id, size_t index = 0)
    {
        return static_cast<HookedTerminalView&>(*shells().paneViews(id).at(index));
    }
    pid_t pid(const QString& id, size_t index = 0) { return pane(id, index).process().shellPid(); }

    // A shell at its prompt ("$" or, for root, "#").
    bool prompted(const QString& id, size_t index = 0)
    {
        return pumpUntil([&] {
            const QString last = EmbeddedAdapter::screenText(pane(id, index)).trimmed().split(u'\n').back();
            return last.endsWith(u'$') || last.endsWith(u'#');
        });
    }
    QString shell(const QString& label, const std::optional<QString>& command = std::nullopt)
    {
        const QString id = store().newEmbeddedSession(label, std::nullopt, command)->id();
        if (!command) {
            EXPECT_TRUE(prompted(id));
        }
        return id;
    }
    // Splits until the cell has `count` panes, each at its prompt.
    void split(const QString& id, int count)
    {
        while (store().paneCount(id) < count) shells().splitSession(id);
        for (int n = 0; n < count; ++n) EXPECT_TRUE(prompted(id, n));
    }
    // Types as the keyboard would into the pane's view.
    void type(const QString& id, size_t index, const QString& text)
    {
        QTest::keyClicks(&pane(id, index), text);
        QTest::keyClick(&pane(id, index), Qt::Key_Return);
    }
    bool ended(const QString& id)
    {
        return pumpUntil([&] { return !store().cell(id) && shells().paneCount(id) == 0 && !grid().tile(id); });
    }
    // Waits without turning the event loop, so what the shells' ends post
    // stays queued for one later turn.
    static bool goneOutsideTheLoop(const std::vector<pid_t>& pids)
    {
        const corvel::Nanos until = corvel::monotonicNanos() + kHangGuard;
        while (!std::all_of(pids.begin(), pids.end(), processGone)) {
            if (corvel::monotonicNanos() > until) return false;
            usleep(2000);
        }
        return true;
    }
    // The application with one shell that must outlive every end around it.
    void startWithAKeptShell()
    {
        startApp();
        keep_ = shell(QStringLiteral("keep"));
        kept_ = pid(keep_);
    }
    // Only that shell is left, in the grid and the layout, as it was.
    void expectOnlyTheKeptShellLeft()
    {
        EXPECT_EQ(saved(), std::vector<QString>{keep_});
        EXPECT_EQ(grid().tiles().size(), 1u);
        EXPECT_EQ(pid(keep_), kept_);
        EXPECT_TRUE(pane(keep_).process().running());
    }
    std::vector<QString> saved() const
    {
        std::vector<QString> ids;
        if (const auto doc = savedDoc())
            for (const CellRecord& record : doc->cells) ids.push_back(QString::fromStdString(record.internalId));
        return ids;
    }

    ScopedEnv home_{"HOME", (dir_.path() / "home").string()};
    ScopedEnv tmuxDir_{"TMUX_TMPDIR", dir_.path().string()};
    ScopedEnv shell_{"SHELL", "/bin/bash"};
    std::unique_ptr<TilebayApp> app_;
    QString keep_;
    pid_t kept_ = 0;
};

}  // namespace

TEST_F(SessionEndTest, OnePaneCellEndedByExitCtrlDAnExitingStartCommandOrSigkillLeavesGridAndLayout)
{
    startWithAKeptShell();
    const QString byExit = shell(QStringLiteral("exit"));
    const QString byEof = shell(QStringLiteral("ctrl-d"));
    const QString byKill = shell(QStringLiteral("kill"));

    type(byExit, 0, QStringLiteral("exit"));
    QTest::keyClick(&pane(byEof), Qt::Key_D, Qt::ControlModifier);
    ::kill(pid(byKill), SIGKILL);
    const QString atOnce = shell(QStringLiteral("at once"), QStringLiteral("exit"));
    for (const QString& id : {byExit, byEof, byKill, atOnce}) EXPECT_TRUE(ended(id)) << id.toStdString();

    expectOnlyTheKeptShellLeft();
}

TEST_F(SessionEndTest, TmuxCellWhoseSessionIsKilledFromOutsideLeavesGridAndLayout)
{
    if (!fs::exists(kTmux)) GTEST_SKIP() << "tmux is not installed";
    startWithAKeptShell();
    store().setTmuxPersistence(true);
    const QString id = shell(QStringLiteral("tmux"));
    const std::string session = "cwr_" + id.toStdString();
    ASSERT_TRUE(tmux({"has-session", "-t", session}).succeeded());

    ASSERT_TRUE(tmux({"kill-session", "-t", session}).succeeded());
    EXPECT_TRUE(ended(id));
    expectOnlyTheKeptShellLeft();
}

TEST_F(SessionEndTest, TmuxCellWhoseClientDetachesStaysInGridAndLayoutOnTheSameSession)
{
    if (!fs::exists(kTmux)) GTEST_SKIP() << "tmux is not installed";
    startWithAKeptShell();
    store().setTmuxPersistence(true);
    const QString id = shell(QStringLiteral("tmux"));
    const std::string session = "cwr_" + id.toStdString();
    const std::string inside = tmux({"display-message", "-p", "-t", session, "#{pane_pid}"}).output;
    ASSERT_FALSE(inside.empty());

    // Ctrl+B d typed into the pane detaches its client; the pane attaches
    // to the same session, with the same shell, again.
    const pid_t client = pid(id);
    QTest::keyClick(&pane(id), Qt::Key_B, Qt::ControlModifier);
    QTest::keyClick(&pane(id), Qt::Key_D);
    ASSERT_TRUE(pumpUntil([&] { return pane(id).process().running() && pid(id) != client; }));
    EXPECT_TRUE(pumpUntil([&] { return processGone(client); }));
    EXPECT_TRUE(prompted(id));
    EXPECT_EQ(tmux({"display-message", "-p", "-t", session, "#{pane_pid}"}).output, inside);
    EXPECT_TRUE(store().cell(id));
    EXPECT_NE(grid().tile(id), nullptr);
    EXPECT_EQ(saved(), (std::vector<QString>{keep_, id}));
    EXPECT_EQ(pid(keep_), kept_);
}

TEST_F(SessionEndTest, EachPaneOfASplitCellEndsInEitherOrderAndTheLastTakesTheCell)
{
    startWithAKeptShell();
    const QString lastFirst = shell(QStringLiteral("last first"));
    const QString firstFirst = shell(QStringLiteral("first first"));
    split(lastFirst, 3);
    split(firstFirst, 2);
    const std::vector<pid_t> three{pid(lastFirst, 0), pid(lastFirst, 1), pid(lastFirst, 2)};
    const pid_t second = pid(firstFirst, 1);

    // The last pane, then the first: the one in between is left, in the
    // same cell, still saved, with its own shell. The keyboard focus that an
    // ended pane held goes to the cell's first pane.
    QWidget& window = app_->window();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    pane(lastFirst, 2).setFocus();
    type(lastFirst, 2, QStringLiteral("exit"));
    ASSERT_TRUE(pumpUntil([&] { return store().paneCount(lastFirst) == 2; }));
    EXPECT_TRUE(pane(lastFirst, 0).hasFocus());
    QTest::keyClick(&pane(lastFirst, 0), Qt::Key_D, Qt::ControlModifier);
    ASSERT_TRUE(pumpUntil([&] { return store().paneCount(lastFirst) == 1; }));
    EXPECT_EQ(pid(lastFirst), three[1]);
    EXPECT_TRUE(pane(lastFirst).hasFocus());
    // The first pane of the other cell: its second runs on as its first.
    ::kill(pid(firstFirst, 0), SIGKILL);
    ASSERT_TRUE(pumpUntil([&] { return store().paneCount(firstFirst) == 1; }));
    EXPECT_EQ(pid(firstFirst), second);
    EXPECT_EQ(saved(), (std::vector<QString>{keep_, lastFirst, firstFirst}));
    EXPECT_EQ(grid().tile(lastFirst)->content()->findChildren<HookedTerminalView*>().size(), 1u);

    // Then the last one of each.
    type(lastFirst, 0, QStringLiteral("exit"));
    ::kill(second, SIGKILL);
    EXPECT_TRUE(ended(lastFirst));
    EXPECT_TRUE(ended(firstFirst));
    expectOnlyTheKeptShellLeft();
}

TEST_F(SessionEndTest, PaneEndsWhileItsCellIsExpandedAskedToCloseOrRenamed)
{
    startWithAKeptShell();
    const QString expanded = shell(QStringLiteral("expanded"));
    const QString asked = shell(QStringLiteral("asked"));
    const QString renamed = shell(QStringLiteral("renamed"));

    // Expanded: the card closes and the cell goes.
    ExpandedView& overlay = *app_->window().expandedView();
    store().toggleExpand(expanded);
    ASSERT_TRUE(pumpUntil([&] { return overlay.phase() == ExpandedView::Phase::open; }));
    type(expanded, 0, QStringLiteral("exit"));
    EXPECT_TRUE(ended(expanded));
    EXPECT_FALSE(store().expandedID().has_value());
    EXPECT_TRUE(pumpUntil([&] { return overlay.phase() == ExpandedView::Phase::hidden; }));

    // Asked to close: the question goes with the cell; nothing is left to confirm.
    grid().tile(asked)->askToClose();
    QPointer<QMessageBox> box = grid().tile(asked)->closeConfirmation();
    ASSERT_TRUE(box);
    store().embedded().sendText(asked, QStringLiteral("exit\r"));
    EXPECT_TRUE(ended(asked));
    EXPECT_TRUE(pumpUntil([&] { return box.isNull(); }));

    // Being renamed: the editor goes with the cell, nothing is saved for it.
    grid().tile(renamed)->startEditing();
    QPointer<LabelEditor> editor = grid().tile(renamed)->editor();
    ASSERT_TRUE(editor);
    QTest::keyClicks(editor, QStringLiteral("new name"));
    ::kill(pid(renamed), SIGKILL);
    EXPECT_TRUE(ended(renamed));
    EXPECT_TRUE(pumpUntil([&] { return editor.isNull(); }));

    expectOnlyTheKeptShellLeft();
}

TEST_F(SessionEndTest, TwoCellsEndingInTheSameTurnBothLeave)
{
    startWithAKeptShell();
    const QString one = shell(QStringLiteral("one"));
    const QString two = shell(QStringLiteral("two"));
    split(two, 2);
    // Both shells of `two` and the one of `one`: three ends waiting together.
    const std::vector<pid_t> shellsEnding{pid(one), pid(two, 0), pid(two, 1)};
    for (pid_t child : shellsEnding) ::kill(child, SIGKILL);
    ASSERT_TRUE(goneOutsideTheLoop(shellsEnding));

    EXPECT_TRUE(ended(one));
    EXPECT_TRUE(ended(two));
    expectOnlyTheKeptShellLeft();
}

TEST_F(SessionEndTest, WindowClosingWhileAShellEndsKeepsTheLayoutForTheNextStart)
{
    startApp();
    const QString ending = shell(QStringLiteral("ending"));
    const QString other = shell(QStringLiteral("other"));
    const pid_t before[] = {pid(ending), pid(other)};
    store().embedded().sendText(ending, QStringLiteral("exit\r"));
    ASSERT_TRUE(goneOutsideTheLoop({before[0]}));

    // The end still waits in the queue when the window closes and the
    // application goes; the other shell is hung up, not reported as ended.
    app_->window().close();
    app_.reset();
    EXPECT_TRUE(pumpUntil([&] { return processGone(before[1]) && zombieChildren().empty(); }));
    EXPECT_EQ(saved(), (std::vector<QString>{ending, other}));

    // The next start gives both cells new shells; this time the end is seen.
    startApp();
    ASSERT_EQ(store().cells().size(), 2u);
    EXPECT_TRUE(prompted(ending));
    EXPECT_TRUE(prompted(other));
    EXPECT_NE(pid(other), before[1]);
    type(ending, 0, QStringLiteral("exit"));
    EXPECT_TRUE(ended(ending));
    EXPECT_EQ(saved(), std::vector<QString>{other});
}
