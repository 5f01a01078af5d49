// Where the keyboard focus goes in the application's window (offscreen, with
// real terminal views as panes and no processes): the first restored cell's
// terminal at start, controls that take it by Tab only, the window holding it
// for the hidden terminal during a live resize (and passing it the keys), the
// same cell's first pane or else the nearest cell's (the earlier of two
// equally near, past an iTerm2 cell without a terminal) when the focused
// pane or cell ends (also while its label is edited, or during a live
// resize, or when the store collapses the card of the ended cell). Typing
// into real shells after a rename, a live resize, a cell's end and in the
// expanded card is tried under X11 in FocusX11Test.
#include "app/shell/MainWindow.h"
#include "app/shell/TilebayApp.h"
#include "app/ui/expanded/ExpandedView.h"
#include "app/ui/grid/GridCellView.h"
#include "app/ui/grid/GridView.h"
#include "tests/app/store/StoreTestSupport.h"
#include "tests/app/ui/grid/PaneAdapter.h"
#include "tests/app/ui/support/UiTestSupport.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QTest>

using namespace tilebay;
using namespace tilebay::testing;

namespace {

// Counts the key presses a widget receives.
class KeyCounter final : public QObject {
public:
    explicit KeyCounter(QWidget* w) { w->installEventFilter(this); }
    int presses = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) ++presses;
        return false;
    }
};

class FocusKeeperTest : private tilebay::test::UiAppFirst, public StoreTest {
protected:
    ~FocusKeeperTest() override
    {
        if (app_) app_->window().hide();
        app_.reset();
    }

    // The application over terminal-view panes, its window shown and active.
    TilebayApp& start()
    {
        if (!fs::exists(layoutPath())) writeLayout("{}");
        auto panes = std::make_unique<PaneAdapter>();
        adapter_ = panes.get();
        embedded_ = panes.get();
        app_ = std::make_unique<TilebayApp>(*qApp, dependencies(std::move(panes)));
        MainWindow& window = app_->window();
        window.expandedView()->setDuration(0);
        window.resize(1000, 700);
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        return *app_;
    }
    SessionStore& store() { return app_->store(); }
    GridView& grid() { return *app_->window().gridView(); }
    corvel::TerminalView* pane(const QString& id, size_t n = 0) { return adapter_->paneViews(id).at(n); }
    QString cell(const char* label)
    {
        return store().newEmbeddedSession(QString::fromUtf8(label), std::nullopt, std::nullopt)->id();
    }
    bool focused(QWidget* w) { return pumpUntil([&] { return QApplication::focusWidget() == w; }); }
    // The class of what holds the focus, for messages.
    static std::string holder()
    {
        QWidget* w = QApplication::focusWidget();
        return w ? w->metaObject()->className() : "nothing";
    }

    std::unique_ptr<TilebayApp> app_;
    PaneAdapter* adapter_ = nullptr;
};

}  // namespace

TEST_F(FocusKeeperTest, StartFocusesTheFirstRestoredCellAndControlsTakeTheFocusByTabOnly)
{
    writeLayout(R"({"cells": [
        {"internalId": "first", "adapterKind": "embedded", "projectLabel": "one"},
        {"internalId": "second", "adapterKind": "embedded", "projectLabel": "two"}]})");
    TilebayApp& app = start();
    EXPECT_TRUE(focused(pane("first"))) << holder();

    // No button or slider of the window takes the focus by a click.
    int controls = 0;
    for (QWidget* w : app.window().findChildren<QWidget*>()) {
        if (!qobject_cast<QAbstractButton*>(w) && !qobject_cast<QAbstractSlider*>(w)) continue;
        ++controls;
        EXPECT_FALSE(w->focusPolicy() & Qt::ClickFocus) << w->metaObject()->className();
    }
    EXPECT_GT(controls, 10);
}

TEST_F(FocusKeeperTest, DuringALiveResizeTheWindowPassesTheKeysToTheHiddenTerminal)
{
    start();
    const QString a = cell("a");
    const QString b = cell("b");
    QTest::mouseClick(pane(a), Qt::LeftButton);
    ASSERT_TRUE(focused(pane(a)));

    // The window holds the focus for the hidden terminal and passes it the
    // keys; afterwards the terminal has it again.
    KeyCounter keys(pane(a));
    store().setIsLiveResizing(true);
    EXPECT_EQ(QApplication::focusWidget(), &app_->window()) << holder();
    QTest::keyClicks(&app_->window(), QStringLiteral("ls "));
    EXPECT_EQ(keys.presses, 3);
    store().setIsLiveResizing(false);
    EXPECT_TRUE(focused(pane(a))) << holder();

    // a ends during the next one: b's terminal takes the focus when it shows.
    store().setIsLiveResizing(true);
    adapter_->end(a);
    ASSERT_TRUE(pumpUntil([&] { return !store().cell(a); }));
    EXPECT_EQ(QApplication::focusWidget(), &app_->window()) << holder();
    store().setIsLiveResizing(false);
    EXPECT_TRUE(focused(pane(b))) << holder();
}

TEST_F(FocusKeeperTest, AnEndedPaneOrCellLeavesTheFocusInTheSameCellElseTheNearest)
{
    start();
    const QString a = cell("a");
    const QString b = cell("b");
    const QString c = cell("c");
    const QString d = cell("d");

    // The second pane of a ends: a's first pane takes the focus.
    store().embedded().splitSession(a);
    ASSERT_EQ(adapter_->paneViews(a).size(), 2u);
    pane(a, 1)->setFocus();
    ASSERT_TRUE(focused(pane(a, 1)));
    store().embedded().removeLastPane(a);
    EXPECT_TRUE(focused(pane(a))) << holder();

    // b ends while its terminal has the focus: c, now in b's place, takes it.
    pane(b)->setFocus();
    adapter_->end(b);
    ASSERT_TRUE(pumpUntil([&] { return !store().cell(b); }));
    EXPECT_TRUE(focused(pane(c))) << holder();
    // d ends while its label is edited (its terminal had the focus): c, the
    // one before, takes it.
    pane(d)->setFocus();
    grid().tile(d)->startEditing();
    ASSERT_TRUE(focused(grid().tile(d)->editor()));
    adapter_->end(d);
    ASSERT_TRUE(pumpUntil([&] { return !store().cell(d); }));
    EXPECT_TRUE(focused(pane(c))) << holder();
    // c, the last, ends: a, the one before, takes it.
    adapter_->end(c);
    ASSERT_TRUE(pumpUntil([&] { return !store().cell(c); }));
    EXPECT_TRUE(focused(pane(a))) << holder();
    // a ends too: no terminal is left, and the window, not a control, holds the focus.
    adapter_->end(a);
    ASSERT_TRUE(pumpUntil([&] { return store().cells().empty(); }));
    EXPECT_TRUE(focused(&app_->window())) << holder();
}

TEST_F(FocusKeeperTest, BetweenTwoEquallyNearCellsTheEarlierTakesTheFocus)
{
    start();
    const QString a = cell("a");
    const QString b = cell("b");
    store().absorbExternal(QStringLiteral("g-1"), QStringLiteral("remote"), 2);
    const QString c = cell("c");
    ASSERT_EQ(store().cells().size(), 4u);
    ASSERT_EQ(store().cells()[3]->id(), c);
    // b ends: the iTerm2 cell moves into its place but has no terminal to
    // take the focus; a, before it, and c, after it, are one place away.
    pane(b)->setFocus();
    ASSERT_TRUE(focused(pane(b)));
    adapter_->end(b);
    ASSERT_TRUE(pumpUntil([&] { return !store().cell(b); }));
    EXPECT_TRUE(focused(pane(a))) << holder();
}

TEST_F(FocusKeeperTest, TheStoreCollapsingTheCardOfAnEndedCellLeavesTheFocusWithTheNearestCell)
{
    start();
    const QString a = cell("a");
    const QString b = cell("b");
    store().toggleExpand(b);
    ASSERT_NE(app_->window().expandedView()->card(), nullptr);
    ASSERT_TRUE(focused(pane(b)));
    adapter_->end(b);
    ASSERT_TRUE(pumpUntil([&] { return !store().cell(b) && !store().expandedID(); }));
    EXPECT_TRUE(focused(pane(a))) << holder();
}
