// The grid with real login shells under a real X server (xvfb-run), driven by
// xdotool where the window system matters: the waiting status reaching the
// tile's icon, a split starting a second shell, a drag that reorders without
// restarting or resizing any shell, then a broadcast reaching only the
// selected ones, a confirmed close ending the shell and its tmux session, and
// a live window resize that holds every size change back until it is over.
// Every wait is for a condition; the bounds only guard against a hang.
#include "tests/app/ui/grid/ShellGridSupport.h"
#include "tests/app/adapters/AdapterTestSupport.h"
#include "tests/app/ui/support/X11AppFixture.h"
#include "tests/app/ui/support/XdotoolSupport.h"

#include "app/adapters/embedded/PTYProcess.h"
#include "app/adapters/embedded/ShortCommand.h"
#include "app/persistence/LayoutDoc.h"
#include "app/ui/design/ElidedLabel.h"
#include "app/ui/design/DSPalette.h"
#include "app/ui/design/SymbolButton.h"
#include "app/ui/design/SymbolView.h"
#include "app/ui/grid/BroadcastBar.h"
#include "app/ui/grid/GridCellView.h"
#include "app/ui/grid/GridView.h"
#include "app/ui/grid/TilePreview.h"
#include "corvel/qt/LiveResizeDetector.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStyleFactory>
#include <QTest>

#include <signal.h>

#include <array>

using namespace tilebay;
using namespace tilebay::testing;
using namespace tilebay::test;

namespace {

using Control = GridCellView::Control;

// A shell's screen ending in its prompt ("$ " or, for root, "# ").
bool prompted(const QString& text)
{
    const QString last = text.trimmed().split(QLatin1Char('\n')).back();
    return last.endsWith(QLatin1Char('$')) || last.endsWith(QLatin1Char('#'));
}

QString screen(corvel::TerminalView& view)
{
    return EmbeddedAdapter::screenText(view.getTerminal());
}

class ShellGridTest : public X11AppFixture {
protected:
    void SetUp() override
    {
        X11AppFixture::SetUp();
        if (IsSkipped()) return;
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        QApplication::setFont(QFont(QStringLiteral("DejaVu Sans")));
        QApplication::setPalette(lightPalette());
        auto shells = gridShells(TmuxLookup{{kTmux}, false});
        shells_ = shells.get();
        SessionStore::Dependencies deps;
        deps.embedded = std::move(shells);
        deps.classifier = std::make_unique<StatusClassifier>(StatusClassifier::Patterns::defaults());
        deps.findTmux = [] { return fs::exists(kTmux); };
        deps.runTimer = false;
        store_ = std::make_unique<SessionStore>(std::move(deps));
    }

    void TearDown() override
    {
        view_.reset();
        store_.reset();
        if (fs::exists(kTmux)) tmux({"kill-server"});
        waitFor([] { return zombieChildren().empty(); });
    }

    // A new cell whose shell has printed its prompt.
    QString shell(const QString& label)
    {
        const QString id = store_->newEmbeddedSession(label, std::nullopt, std::nullopt)->id();
        EXPECT_TRUE(waitFor([&] { return prompted(store_->embedded().visibleText(id)); }));
        return id;
    }

    GridView& showGrid(QSize size)
    {
        view_ = std::make_unique<GridView>(*store_);
        view_->setGeometry(QRect(QPoint(20, 20), size));
        view_->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(view_.get()));
        view_->relayout();
        QCoreApplication::processEvents();
        return *view_;
    }

    int winches(const QString& id)
    {
        int n = 0;
        for (int i = 0; i < store_->paneCount(id); ++i) n += pane(id, i).winches;
        return n;
    }

    std::optional<LayoutDoc> savedDoc() const
    {
        const std::string json = readFile(data() / "Tilebay" / "layout.json");
        return json.empty() ? std::nullopt : LayoutDoc::decode(json);
    }
    WinchCountingView& pane(const QString& id, size_t index) { return gridShellPane(*shells_, id, index); }

    std::unique_ptr<SessionStore> store_;
    EmbeddedAdapter* shells_ = nullptr;  // owned by the store
    std::unique_ptr<GridView> view_;
};

}  // namespace

TEST_F(ShellGridTest, WaitingPromptTurnsTheIconRedAndASplitStartsASecondShell)
{
    const QString id = shell(QStringLiteral("ask"));
    GridView& view = showGrid({700, 420});
    GridCellView* tile = view.tile(id);
    store_->embedded().sendText(id, QStringLiteral("printf 'Continue? (y/n) '\r"));
    ASSERT_TRUE(waitFor([&] {
        const QString text = store_->embedded().visibleText(id).trimmed();
        return text.split(QLatin1Char('\n')).back().startsWith(QStringLiteral("Continue? (y/n) ")) && prompted(text);
    }));
    store_->tick();
    EXPECT_NE(store_->cell(id)->status(), TerminalStatus::waiting);
    store_->tick();
    EXPECT_EQ(store_->cell(id)->status(), TerminalStatus::waiting);
    QCoreApplication::processEvents();
    const QImage icon = tile->statusIcon()->grab().toImage();
    bool red = false;
    for (int y = 0; y < icon.height() && !red; ++y)
        for (int x = 0; x < icon.width() && !red; ++x)
            red = test::near(icon.pixelColor(x, y), QColor(226, 59, 46), 3);
    EXPECT_TRUE(red);
    EXPECT_EQ(tile->tag()->text(), QStringLiteral("WAIT"));

    const pid_t first = pane(id, 0).process().shellPid();
    tile->control(Control::split)->click();
    ASSERT_EQ(store_->paneCount(id), 2);
    WinchCountingView& second = pane(id, 1);
    EXPECT_TRUE(second.process().running());
    EXPECT_NE(second.process().shellPid(), first);
    EXPECT_EQ(pane(id, 0).process().shellPid(), first);
    EXPECT_TRUE(tile->content()->isAncestorOf(&second));
    EXPECT_TRUE(tile->content()->isAncestorOf(&pane(id, 0)));
    second.send(std::string_view("tty\r"));
    EXPECT_TRUE(waitFor([&] { return screen(second).contains(QStringLiteral("/dev/pts/")); }));
}

TEST_F(ShellGridTest, DraggingATileReordersWithoutRestartingShellsAndBroadcastReachesTheSelected)
{
    const QString a = shell(QStringLiteral("a")), b = shell(QStringLiteral("b")), c = shell(QStringLiteral("c"));
    GridView& view = showGrid({1000, 460});
    std::map<QString, pid_t> pids;
    std::map<QString, int> before;
    for (const QString& id : {a, b, c}) {
        pids[id] = pane(id, 0).process().shellPid();
        before[id] = winches(id);
    }
    const QRect slotC = view.tile(c)->geometry();
    GridCellView* source = view.tile(a);
    GridCellView* target = view.tile(c);
    // One xdotool run for the whole gesture: the drag's own event loop runs
    // from the first moves until the drop, so the test cannot start another
    // program in between. The pauses only pace the input.
    QStringList args = pointerTo(source, {150, 12});
    args << QStringLiteral("mousedown") << QStringLiteral("1");
    for (int step = 1; step <= 8; ++step) {
        const QPoint local(150 + (target->x() - source->x()) * step / 8, 12 + step);
        args << QStringLiteral("sleep") << QStringLiteral("0.1") << pointerTo(source, local);
    }
    args << QStringLiteral("sleep") << QStringLiteral("0.2") << pointerTo(target, {150, 40});
    args << QStringLiteral("sleep") << QStringLiteral("0.2") << QStringLiteral("mouseup") << QStringLiteral("1");
    QProcess gesture;
    gesture.start(QStringLiteral("xdotool"), args);
    ASSERT_TRUE(gesture.waitForStarted(20000));
    ASSERT_TRUE(waitFor([&] { return store_->cells().back()->id() == a; }));
    ASSERT_TRUE(waitFor([&] { return gesture.state() == QProcess::NotRunning; }));

    const std::vector<QString> order{b, c, a};
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(store_->cells()[i]->id(), order[i]);
    const auto saved = savedDoc();
    ASSERT_TRUE(saved);
    ASSERT_EQ(saved->cells.size(), 3u);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(QString::fromStdString(saved->cells[i].internalId), order[i]);
    EXPECT_EQ(view.tile(a)->geometry(), slotC);
    for (const QString& id : {a, b, c}) {
        EXPECT_EQ(pane(id, 0).process().shellPid(), pids[id]);
        EXPECT_TRUE(pane(id, 0).process().running());
        EXPECT_EQ(winches(id), before[id]);
    }

    // A broadcast with b deselected reaches the other two shells only.
    store_->toggleBroadcastMode();
    view.tile(b)->control(Control::broadcast)->click();
    QLineEdit* field = view.broadcastBar()->field();
    field->setFocus();
    QTest::keyClicks(field, QStringLiteral("echo BCAST"));
    QTest::keyClick(field, Qt::Key_Return);
    auto printed = [&](const QString& id, const QString& word) {
        return store_->embedded().visibleText(id).split(QLatin1Char('\n')).contains(word);
    };
    EXPECT_TRUE(waitFor([&] { return printed(a, QStringLiteral("BCAST")) && printed(c, QStringLiteral("BCAST")); }));
    // Once b has answered a later command, anything sent before would show.
    store_->embedded().sendText(b, QStringLiteral("echo MARK\r"));
    ASSERT_TRUE(waitFor([&] { return printed(b, QStringLiteral("MARK")); }));
    EXPECT_FALSE(store_->embedded().visibleText(b).contains(QStringLiteral("BCAST")));
    EXPECT_TRUE(field->text().isEmpty());
}

TEST_F(ShellGridTest, ConfirmedCloseEndsTheShellAndItsTmuxSession)
{
    if (!fs::exists(kTmux)) GTEST_SKIP() << "tmux is not installed";
    store_->setTmuxPersistence(true);
    const QString id = store_->newEmbeddedSession(QStringLiteral("t"), std::nullopt, std::nullopt)->id();
    const std::string session = "cwr_" + id.toStdString();
    ASSERT_TRUE(waitFor([&] { return tmux({"has-session", "-t", session}).succeeded(); }));
    const QString keep = shell(QStringLiteral("keep"));
    GridView& view = showGrid({800, 400});
    const pid_t pid = pane(id, 0).process().shellPid();

    view.tile(id)->control(Control::close)->click();
    QPointer<QMessageBox> box = view.tile(id)->closeConfirmation();
    ASSERT_TRUE(box);
    ASSERT_TRUE(waitFor([&] { return box->isVisible(); }));
    ASSERT_NE(box->focusWidget(), nullptr);
    EXPECT_EQ(box->focusWidget()->property("text").toString(), QStringLiteral("취소"));
    QAbstractButton* close = nullptr;
    for (QAbstractButton* button : box->buttons())
        if (button->text() == QStringLiteral("닫기")) close = button;
    ASSERT_NE(close, nullptr);
    QTest::mouseClick(close, Qt::LeftButton);
    EXPECT_FALSE(store_->cell(id));
    EXPECT_TRUE(waitFor([&] { return processGone(pid); }));
    EXPECT_FALSE(tmux({"has-session", "-t", session}).succeeded());
    EXPECT_TRUE(pane(keep, 0).process().running());
    ASSERT_TRUE(waitFor([&] { return view.tile(id) == nullptr && view.tiles().size() == 1; }));
}

TEST_F(ShellGridTest, LiveWindowResizeHoldsSizeChangesUntilItIsQuiet)
{
    const QString a = shell(QStringLiteral("a")), b = shell(QStringLiteral("b"));
    store_->embedded().splitSession(b);
    ASSERT_TRUE(waitFor([&] { return prompted(screen(pane(b, 1))); }));
    GridView& view = showGrid({760, 420});
    ASSERT_TRUE(waitFor([&] { return view.liveResizeDetector() && view.liveResizeDetector()->watched() == view.window(); }));
    auto all = [&] { return std::array<int, 3>{pane(a, 0).winches, pane(b, 0).winches,
                                               pane(b, 1).winches}; };
    std::array<int, 3> atStart{}, atEnd{};
    bool sawLive = false;
    bool placeholdersShown = false;
    QObject::connect(view.liveResizeDetector(), &corvel::LiveResizeDetector::liveChanged, view_.get(), [&](bool live) {
        if (live) {
            sawLive = true;
            atStart = all();
        } else {
            atEnd = all();
        }
    });
    QObject::connect(store_.get(), &SessionStore::isLiveResizingChanged, view_.get(), [&](bool live) {
        if (live)
            placeholdersShown = view.tile(a)->placeholder()->isVisible() &&
                                view.tile(b)->placeholder()->isVisible() && !view.tile(b)->content()->isVisible();
    });
    QStringList args;
    const QString window = QString::number(view.winId());
    for (int step = 1; step <= 10; ++step) {
        if (step > 1) args << QStringLiteral("sleep") << QStringLiteral("0.016");
        args << QStringLiteral("windowsize") << window << QString::number(760 + 24 * step)
             << QString::number(420 + 8 * step);
    }
    ASSERT_TRUE(xdotool(args));
    ASSERT_TRUE(waitFor([&] { return sawLive && !store_->isLiveResizing(); }));
    EXPECT_TRUE(placeholdersShown);
    // From the resize that started it (the first of the drag is a lone
    // resize and reaches the shells) until 250 ms of quiet: no size change.
    // Then exactly one per pane.
    const std::array<int, 3> after = all();
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_LE(atEnd[i] - atStart[i], 1);  // the one sent as the live resize ends
        EXPECT_EQ(after[i] - atStart[i], 1);
    }
    EXPECT_TRUE(view.tile(b)->content()->isVisible());
    EXPECT_EQ(view.tile(b)->content()->geometry(), view.tile(b)->bodyRect());
}
