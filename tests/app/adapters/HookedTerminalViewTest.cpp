// The application's pane view without a shell in it: the output hook runs
// after the chunk is on the screen and stamps the cell's activity on the
// adapter's manual clock, and the child's end ends the cell; the
// input method's composition shows over the caret and reaches the child only
// when committed, once; input goes to a running child and, once none runs or
// while the view is asked to, is held instead (reports dropped, answers
// still going to the child); what a child that ended never took comes back
// held; the split layout's containers, the black gaps
// between them, and containers handing their terminal back when destroyed.
#include "app/adapters/embedded/EmbeddedAdapter.h"
#include "app/adapters/embedded/HookedPaneKit.h"
#include "app/adapters/embedded/HookedTerminalView.h"
#include "app/adapters/embedded/SplitTermLayout.h"
#include "app/adapters/embedded/TermContainerView.h"
#include "tests/app/adapters/AdapterTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QLabel>
#include <QPixmap>
#include <QPointer>

#include <signal.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>

namespace tilebay {
namespace {

using namespace tilebay::testing;
using ::testing::ElementsAre;

constexpr corvel::Nanos ms = 1'000'000;

std::span<const uint8_t> bytes(std::string_view text)
{
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

void compose(QWidget& view, const QString& preedit, const QString& commit = QString())
{
    QInputMethodEvent event(preedit, {});
    if (!commit.isEmpty()) event.setCommitString(commit);
    QCoreApplication::sendEvent(&view, &event);
}

class HookedTerminalViewTest : public ::testing::Test {
protected:
    HookedTerminalViewTest() { ensureApplication(); }

    TempDir dir;
    MainQueuePump pump;
};

TEST_F(HookedTerminalViewTest, OutputIsOnScreenBeforeTheHookAndTheChildsEndEndsTheCell)
{
    // A login "shell" that stays quiet, so only the test's chunks count.
    const fs::path quiet = dir.path() / "quiet";
    writeFile(quiet, "#!/bin/sh\nexec sleep 1000\n");
    fs::permissions(quiet, fs::perms::owner_all);
    ScopedEnv shell("SHELL", quiet.string());

    corvel::RunLoopQueue clock{true};
    EmbeddedAdapter adapter(std::make_unique<HookedPaneKit>(), TmuxLookup::none(), &clock);
    const QString id = adapter.createSession(std::nullopt, QString::fromStdString(dir.path().string()), {})->id();
    auto& view = static_cast<HookedTerminalView&>(*adapter.primary(id));

    std::vector<QString> seen;
    const auto stamp = view.onData;
    view.onData = [&] {
        seen.push_back(EmbeddedAdapter::screenText(view).section('\n', 0, 0));
        stamp();
    };
    for (int n = 0; n < 10; ++n) {
        clock.advance(10 * ms);
        view.dataReceived(bytes(std::to_string(n)));
        EXPECT_EQ(adapter.lastActivity.value(id), clock.now());
    }
    EXPECT_EQ(seen.front(), "0");
    EXPECT_EQ(seen.back(), "0123456789");

    // The end of the child reaches the adapter as the end of the cell, on a
    // later turn of the adapter's queue.
    std::vector<QString> ended;
    adapter.onTerminated = [&](const QString& cell) { ended.push_back(cell); };
    ::kill(view.process().shellPid(), SIGKILL);
    EXPECT_TRUE(pump.pumpUntil([&] {
        clock.runUntilIdle();
        return !ended.empty();
    }));
    EXPECT_THAT(ended, ElementsAre(id));
}

TEST_F(HookedTerminalViewTest, CompositionShowsAtTheCaretAndReachesTheChildOnlyWhenCommitted)
{
    const fs::path out = dir.path() / "typed.bin";
    HookedTerminalView view(QRect(0, 0, 480, 240));
    view.startProcess("/bin/sh", {"-c", "stty raw -echo; echo READY; exec cat > " + out.string()});
    // Output, then the redraw that brings the caret to the cursor's cell.
    ASSERT_TRUE(pump.pumpUntil([&] {
        return EmbeddedAdapter::screenText(view).contains("READY") &&
               std::abs(view.firstRect().top() - view.rowTop(view.getTerminal().buffer().yBase() + 1)) < 0.5;
    }));
    EXPECT_FALSE(view.hasMarkedText());
    EXPECT_EQ(view.markedRange().location, corvel::TextRange::notFound);

    compose(view, QStringLiteral("ㅎㅏ"));
    ASSERT_NE(view.imeOverlay(), nullptr);
    EXPECT_FALSE(view.imeOverlay()->isHidden());
    EXPECT_EQ(view.imeOverlay()->text(), QStringLiteral("ㅎㅏ"));
    EXPECT_EQ(view.imeOverlay()->pos(), view.firstRect().topLeft().toPoint());
    EXPECT_EQ(view.markedRange(), (corvel::TextRange{0, 2}));
    compose(view, QStringLiteral("한"));
    EXPECT_EQ(view.imeOverlay()->text(), QStringLiteral("한"));

    // The commit goes out once and the label goes away.
    compose(view, QString(), QStringLiteral("한"));
    EXPECT_TRUE(view.imeOverlay()->isHidden());
    EXPECT_FALSE(view.hasMarkedText());

    // Composing erased without a commit sends nothing.
    compose(view, QStringLiteral("ㄱ"));
    compose(view, QString());
    EXPECT_TRUE(view.imeOverlay()->isHidden());

    // Ending a composition from outside commits it; with nothing marked, nothing.
    view.setMarkedText("글");
    view.unmarkText();
    view.unmarkText();
    EXPECT_TRUE(view.imeOverlay()->isHidden());

    view.send(std::string("|"));
    ASSERT_TRUE(pump.pumpUntil([&] { return readFile(out).find('|') != std::string::npos; }));
    EXPECT_EQ(readFile(out), "한글|");
    view.terminate();
}

TEST_F(HookedTerminalViewTest, InputGoesToARunningChildAndIsHeldWhileAskedOrOnceNoneRuns)
{
    const fs::path out = dir.path() / "typed.bin";
    HookedTerminalView view(QRect(0, 0, 480, 240));
    std::vector<HeldInput> held;
    view.onHeldInput = [&](HeldInput input) { held.push_back(std::move(input)); };
    view.startProcess("/bin/sh", {"-c", "stty raw -echo; printf '\\033[?1004h'; echo READY; exec cat > " + out.string()});
    ASSERT_TRUE(pump.pumpUntil([&] { return EmbeddedAdapter::screenText(view).contains("READY"); }));
    const auto wrote = [&](const std::string& text) {
        return pump.pumpUntil([&] { return readFile(out) == text; });
    };

    // A key, a committed composition, sent text and a focus report reach
    // the child.
    pressKey(view, Qt::Key_A, QStringLiteral("a"));
    compose(view, QString(), QStringLiteral("b"));
    view.send(std::string("c"));
    view.getTerminal().setTerminalFocus(true);
    EXPECT_TRUE(wrote("abc\x1b[I"));

    // Held while asked: each input once, with its kind; the focus report is
    // dropped; the terminal's answer to the child's request still goes to it.
    view.holdInput(true);
    pressKey(view, Qt::Key_D, QStringLiteral("d"));
    compose(view, QString(), QStringLiteral("한"));
    view.send(std::string("f\r"));
    QGuiApplication::clipboard()->setText(QStringLiteral("g\nh"));
    view.paste();
    view.pasteText("i");
    view.getTerminal().setTerminalFocus(false);
    view.dataReceived(bytes("\x1b[5n"));
    EXPECT_TRUE(wrote("abc\x1b[I\x1b[0n"));
    using Kind = HeldInput::Kind;
    EXPECT_THAT(held, ElementsAre(HeldInput{"d", Kind::typed}, HeldInput{"한", Kind::typed},
                                  HeldInput{"f\r", Kind::sent}, HeldInput{"g\nh", Kind::pasted},
                                  HeldInput{"i", Kind::pasted}));
    view.holdInput(false);
    view.send(std::string("j"));
    EXPECT_TRUE(wrote("abc\x1b[I\x1b[0nj"));
    view.terminate();
}

TEST_F(HookedTerminalViewTest, TypingTheEndedChildNeverTookComesBackHeldAheadOfTheEnd)
{
    // A child that reads nothing: what is typed fills its terminal and the
    // rest waits in the view's process.
    HookedTerminalView view(QRect(0, 0, 480, 240));
    std::vector<HeldInput> held;
    bool endedAfterHeld = false;
    view.onHeldInput = [&](HeldInput input) { held.push_back(std::move(input)); };
    view.onTerminated = [&](std::optional<int32_t>) { endedAfterHeld = !held.empty(); };
    view.startProcess("/bin/sh", {"-c", "stty raw -echo; printf '\\033[?1004h'; echo READY; kill -STOP $$"});
    ASSERT_TRUE(pump.pumpUntil([&] { return EmbeddedAdapter::screenText(view).contains("READY"); }));
    ASSERT_TRUE(view.getTerminal().sendFocus);
    std::string typed;
    for (int line = 0; typed.size() < (256u << 10); ++line) typed += "line " + std::to_string(line) + "\r";
    view.send(typed);
    view.getTerminal().setTerminalFocus(true);

    // It ends: what its terminal never took comes back once, as typed, the
    // end of what was sent, before the end is reported; the focus report
    // does not.
    ::kill(view.process().shellPid(), SIGKILL);
    ASSERT_TRUE(pump.pumpUntil([&] { return endedAfterHeld; }));
    ASSERT_EQ(held.size(), 1u);
    EXPECT_TRUE(held[0].unwritten);
    EXPECT_EQ(held[0].kind, HeldInput::Kind::typed);
    ASSERT_FALSE(held[0].text.empty());
    EXPECT_EQ(held[0].text, typed.substr(typed.size() - held[0].text.size()));
    EXPECT_EQ(held[0].text.size() + static_cast<size_t>(view.process().total()), typed.size());

    // Typing after that is held as usual.
    pressKey(view, Qt::Key_Z, QStringLiteral("z"));
    ASSERT_EQ(held.size(), 2u);
    EXPECT_EQ(held[1], (HeldInput{"z", HeldInput::Kind::typed}));
}

TEST_F(HookedTerminalViewTest, WithoutAChildEveryInputIsHeldWithItsKindAndLateOutputIsDroppedOnRequest)
{
    // The child ends at once; what it left in the background (deaf to the
    // hang-up at the child's end) holds the terminal and writes when the
    // test says so.
    const fs::path go = dir.path() / "go";
    ASSERT_EQ(::mkfifo(go.c_str(), 0600), 0);
    HookedTerminalView view(QRect(0, 0, 480, 240));
    std::vector<HeldInput> held;
    view.onHeldInput = [&](HeldInput input) { held.push_back(std::move(input)); };
    view.startProcess("/bin/sh", {"-c", "trap '' HUP; printf '\\033[?1004hEARLY'; (read x < " + go.string() +
                                            "; printf LATE) & exit 0"});
    ASSERT_TRUE(pump.pumpUntil([&] { return !view.process().running(); }));
    ASSERT_TRUE(pump.pumpUntil([&] { return EmbeddedAdapter::screenText(view).contains("EARLY"); }));

    // Sent and pasted text, a key and a committed composition are held with
    // their text; the terminal's own reports are not.
    view.send(std::string("echo sent\r"));
    QGuiApplication::clipboard()->setText(QStringLiteral("pasted\nlines"));
    view.paste();
    pressKey(view, Qt::Key_K, QStringLiteral("k"));
    compose(view, QString(), QStringLiteral("한"));
    view.getTerminal().setTerminalFocus(true);
    using Kind = HeldInput::Kind;
    EXPECT_THAT(held, ElementsAre(HeldInput{"echo sent\r", Kind::sent}, HeldInput{"pasted\nlines", Kind::pasted},
                                  HeldInput{"k", Kind::typed}, HeldInput{"한", Kind::typed}));

    // Once asked, what the ended child left still writes is dropped and
    // tells nothing; a new child's output shows again.
    int heard = 0;
    view.onData = [&] { ++heard; };
    view.dropOutputUntilStart();
    // Opened without blocking: the reader waits in its open by now.
    int writer = -1;
    ASSERT_TRUE(pump.pumpUntil([&] { return (writer = ::open(go.c_str(), O_WRONLY | O_NONBLOCK)) >= 0; }));
    ASSERT_EQ(::write(writer, "now\n", 4), 4);
    ::close(writer);
    ASSERT_TRUE(pump.pumpUntil([&] { return view.droppedOutput() == 4; }));
    EXPECT_FALSE(EmbeddedAdapter::screenText(view).contains("LATE"));
    EXPECT_EQ(heard, 0);
    view.startProcess("/bin/sh", {"-c", "printf NEW; exec sleep 1000"});
    EXPECT_TRUE(pump.pumpUntil([&] { return EmbeddedAdapter::screenText(view).contains("NEW"); }));
    EXPECT_GT(heard, 0);
    EXPECT_EQ(view.droppedOutput(), 4u);
}

TEST_F(HookedTerminalViewTest, SplitLayoutSharesTheSpaceAndContainersHandTheirTerminalsBack)
{
    HookedTerminalView left(QRect(0, 0, 100, 100));
    HookedTerminalView right(QRect(0, 0, 100, 100));
    HookedPaneKit kit;
    std::unique_ptr<QWidget> across(kit.makeLayout({&left, &right}, EmbeddedPaneKit::Axis::horizontal));
    auto& layout = static_cast<SplitTermLayout&>(*across);
    layout.resize(402, 200);
    layout.show();
    ASSERT_EQ(layout.containers().size(), 2u);
    const QRect a = layout.containers()[0]->geometry();
    const QRect b = layout.containers()[1]->geometry();
    EXPECT_EQ(a, QRect(0, 0, 200, 200));
    EXPECT_EQ(b, QRect(202, 0, 200, 200));
    EXPECT_EQ(left.parentWidget(), layout.containers()[0]);
    EXPECT_EQ(left.geometry(), QRect(QPoint(0, 0), a.size()));
    const QImage shot = layout.grab().toImage();
    EXPECT_EQ(shot.pixelColor(int(201 * shot.width() / 402), 100), QColor(Qt::black));

    {
        std::unique_ptr<QWidget> stacked(kit.makeLayout({&right}, EmbeddedPaneKit::Axis::vertical));
        EXPECT_EQ(right.parentWidget(), static_cast<SplitTermLayout&>(*stacked).containers()[0]);
        EXPECT_EQ(layout.containers()[1]->hosted(), nullptr);
    }
    // The stacked layout is gone; its terminal lives on without a parent.
    EXPECT_EQ(right.parentWidget(), nullptr);
    layout.hide();
    layout.show();
    EXPECT_EQ(layout.containers()[1]->hosted(), &right);

    // A pane destroyed while shown leaves an empty container, and updates skip it.
    auto gone = std::make_unique<HookedTerminalView>(QRect(0, 0, 100, 100));
    SplitTermLayout withGone({gone.get()}, EmbeddedPaneKit::Axis::horizontal);
    gone.reset();
    EXPECT_EQ(withGone.containers()[0]->hosted(), nullptr);
    withGone.updateHosts();

    across.reset();
    EXPECT_EQ(left.parentWidget(), nullptr);
    EXPECT_EQ(right.parentWidget(), nullptr);
}

}  // namespace
}  // namespace tilebay
