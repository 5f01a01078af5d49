// The application shell offscreen: the window's title, size limits (at the
// smallest size the grid keeps its whole minimum, the broadcast bar and the
// last row of tiles whole) and menu commands (their keys against a terminal
// are tried under X11, in ShellX11Test), the appearance in force at once,
// the first start with an empty data folder, where the keyboard focus goes
// (new cells, clicks on controls, the expanded card's search and collapse),
// and the hot key that cannot be had without X11 (one log line, the
// application runs on).
#include "app/shell/HotKeyManager.h"
#include "app/shell/MainWindow.h"
#include "app/shell/TilebayApp.h"
#include "app/ui/design/DS.h"
#include "app/ui/design/DSOutlineButton.h"
#include "app/ui/design/DSPrimaryButton.h"
#include "app/ui/design/SymbolButton.h"
#include "app/ui/expanded/ExpandedCard.h"
#include "app/ui/expanded/ExpandedView.h"
#include "app/ui/grid/AddTileView.h"
#include "app/ui/grid/BroadcastBar.h"
#include "app/ui/grid/GridCellView.h"
#include "app/ui/grid/GridView.h"
#include "app/ui/toolbar/ToolbarView.h"
#include "corvel/platform/Log.h"
#include "tests/app/store/StoreTestSupport.h"
#include "tests/app/ui/grid/PaneAdapter.h"
#include "tests/app/ui/support/UiTestSupport.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QTest>

using namespace tilebay;
using namespace tilebay::testing;

namespace {

class ShellTest : private tilebay::test::UiAppFirst, public StoreTest {
protected:
    // `fake` null: a fake embedded adapter without pane views.
    TilebayApp& makeApp(std::unique_ptr<FakeEmbeddedAdapter> fake = nullptr)
    {
        if (!fake) fake = std::make_unique<FakeEmbeddedAdapter>();
        embedded_ = fake.get();
        savedPalette_ = QApplication::palette();
        app_ = std::make_unique<TilebayApp>(*qApp, dependencies(std::move(fake)));
        return *app_;
    }
    ~ShellTest() override
    {
        app_.reset();
        if (savedPalette_) QApplication::setPalette(*savedPalette_);
    }

    // The mean luminance (0 to 1) of a widget's pixels.
    static double luminance(QWidget& widget)
    {
        const QImage image = tilebay::test::grabAt(widget, 1);
        double sum = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                sum += 0.2126 * c.redF() + 0.7152 * c.greenF() + 0.0722 * c.blueF();
            }
        return sum / (image.width() * image.height());
    }

    std::unique_ptr<TilebayApp> app_;
    std::optional<QPalette> savedPalette_;
};

}  // namespace

TEST_F(ShellTest, WindowMenuCommandsAndFirstStart)
{
    TilebayApp& app = makeApp();
    MainWindow& window = app.window();
    EXPECT_TRUE(app.store().showOnboarding());
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Cellwright"));
    // The grid's minimum below the menu bar.
    EXPECT_EQ(window.minimumSize(), QSize(480, window.menuBar()->height() + 320));
    EXPECT_LE(window.width(), 1200);
    EXPECT_GE(window.width(), 480);

    const auto menus = window.menuBar()->findChildren<QMenu*>();
    ASSERT_EQ(menus.size(), 1);
    EXPECT_EQ(menus[0]->title(), QStringLiteral("파일"));
    ASSERT_EQ(menus[0]->actions().size(), 2);
    EXPECT_EQ(menus[0]->actions()[0]->text(), QStringLiteral("새 터미널"));
    EXPECT_EQ(menus[0]->actions()[0]->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+T")));
    EXPECT_EQ(menus[0]->actions()[1]->text(), QStringLiteral("프로필 열기\u2026"));
    EXPECT_EQ(menus[0]->actions()[1]->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+O")));

    // After a cancelled prompt with text, "새 터미널" shows empty fields.
    app.store().setNewTerminalName(QStringLiteral("left over"));
    app.store().setNewTerminalCommand(QStringLiteral("make"));
    window.newTerminalAction()->trigger();
    EXPECT_TRUE(app.store().showNewTerminalPrompt());
    EXPECT_TRUE(app.store().newTerminalName().isEmpty());
    EXPECT_TRUE(app.store().newTerminalCommand().isEmpty());
    window.openProfileAction()->trigger();
    EXPECT_TRUE(app.store().showProfileLauncher());

    // An empty data folder: the guide was asked for (see the start of the
    // test) and nothing is written.
    pumpQueued();
    EXPECT_FALSE(fs::exists(layoutPath()));
    // The expanded overlay lies over the grid's area.
    EXPECT_EQ(window.expandedView()->parentWidget(), window.gridArea());
}

TEST_F(ShellTest, AtTheSmallestWindowTheGridHasItsMinimumAndTheBarAndLastRowAreWhole)
{
    TilebayApp& app = makeApp();
    SessionStore& store = app.store();
    store.setShowOnboarding(false);
    // Enough cells for one column that scrolls at the smallest width.
    for (int i = 0; i < 6; ++i) store.newEmbeddedSession(QStringLiteral("cell %1").arg(i), std::nullopt, std::nullopt);
    MainWindow& window = app.window();
    window.show();
    QCoreApplication::processEvents();
    GridView& grid = *window.gridView();
    // The window takes no size below its minimum.
    window.resize(1, 1);
    QCoreApplication::processEvents();
    const QRect inWindow = window.rect();
    auto whole = [&](QWidget* w) {
        return inWindow.contains(QRect(w->mapTo(&window, QPoint(0, 0)), w->size())) && w->width() > 0 && w->height() > 0;
    };
    QScrollArea& area = *grid.scrollArea();
    for (const bool broadcast : {false, true}) {
        SCOPED_TRACE(broadcast ? "broadcast" : "no broadcast");
        if (store.broadcastMode() != broadcast) store.toggleBroadcastMode();
        QCoreApplication::processEvents();
        EXPECT_EQ(grid.size(), QSize(480, 320));
        EXPECT_EQ(grid.size(), window.gridArea()->size());
        EXPECT_TRUE(whole(&grid));
        EXPECT_TRUE(whole(grid.toolbar()));
        // Room for more than a tile at the smallest zoom with its padding.
        EXPECT_GT(area.viewport()->height(), GridView::minZoom * GridGeometry::naturalHeight + 2 * GridGeometry::pad);
        EXPECT_TRUE(whole(area.viewport()));
        // Scrolled to the end, the last row (the add tile's) shows whole.
        ASSERT_TRUE(grid.geometry().scrolls);
        area.verticalScrollBar()->setValue(area.verticalScrollBar()->maximum());
        QWidget* last = grid.addTile();
        const QRect lastShown(last->mapTo(&window, QPoint(0, 0)), last->size());
        EXPECT_TRUE(inWindow.contains(lastShown));
        EXPECT_TRUE(QRect(area.viewport()->mapTo(&window, QPoint(0, 0)), area.viewport()->size()).contains(lastShown));
    }
    BroadcastBar& bar = *grid.broadcastBar();
    EXPECT_TRUE(whole(&bar));
    EXPECT_TRUE(whole(bar.field()));
    // "전송" whole, its title not cut to an ellipsis.
    EXPECT_TRUE(whole(bar.sendButton()));
    EXPECT_GE(bar.sendButton()->width(), bar.sendButton()->sizeHint().width());
    EXPECT_GE(bar.sendButton()->height(), bar.sendButton()->sizeHint().height());
    // With the import panel beside it, the tile area still holds a column.
    store.setShowImport(true);
    QCoreApplication::processEvents();
    EXPECT_GT(area.viewport()->width(), GridView::minZoom * GridGeometry::naturalWidth + 2 * GridGeometry::pad);
    EXPECT_TRUE(whole(area.viewport()));
    store.setShowImport(false);
    if (tilebay::test::shotsWanted())
        tilebay::test::saveShot(tilebay::test::grabAt(window, 1), "window-smallest-broadcast");
    window.hide();
}

TEST_F(ShellTest, AppearanceChangesShowAtOnce)
{
    TilebayApp& app = makeApp();
    MainWindow& window = app.window();
    window.resize(600, 400);
    window.show();
    app.store().setAppearance(AppAppearance::dark);
    pumpQueued();
    const double dark = luminance(window);
    if (tilebay::test::shotsWanted()) tilebay::test::saveShot(tilebay::test::grabAt(window, 1), "window-dark");
    EXPECT_LT(dark, 0.25);
    app.store().setAppearance(AppAppearance::light);
    pumpQueued();
    EXPECT_GT(luminance(window), 0.6);
    EXPECT_EQ(QApplication::palette().color(QPalette::Highlight), DS::orange());
    EXPECT_EQ(QApplication::palette().color(QPalette::Link), DS::orange());
    window.hide();
}

TEST_F(ShellTest, KeyboardFocusStaysWithTheTerminalThroughClicksTheCardAndItsSearch)
{
    auto panes = std::make_unique<PaneAdapter>();
    PaneAdapter& adapter = *panes;
    TilebayApp& app = makeApp(std::move(panes));
    SessionStore& store = app.store();
    store.setShowOnboarding(false);
    MainWindow& window = app.window();
    window.resize(1000, 700);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    // No control holds an unseen focus that a typed space would press.
    EXPECT_EQ(QApplication::focusWidget(), &window);

    // Each new cell's pane takes the focus.
    const QString a = store.newEmbeddedSession(QStringLiteral("a"), std::nullopt, std::nullopt)->id();
    EXPECT_TRUE(adapter.paneViews(a)[0]->hasFocus());
    const QString b = store.newEmbeddedSession(QStringLiteral("b"), std::nullopt, std::nullopt)->id();
    QWidget* pane = adapter.paneViews(b)[0];
    EXPECT_TRUE(pane->hasFocus());

    // Clicks on the toolbar's controls, a tile's split button and the space
    // between the tiles leave it there (the split rebuilds the tile's layout).
    GridView& grid = *window.gridView();
    ToolbarView& toolbar = *grid.toolbar();
    for (QWidget* control : std::initializer_list<QWidget*>{toolbar.zoomSlider(), toolbar.broadcastButton(),
                                                            toolbar.broadcastButton(), grid.scrollArea()->viewport()}) {
        QTest::mouseClick(control, Qt::LeftButton, {}, QPoint(control->width() / 2, 4));
        EXPECT_TRUE(pane->hasFocus()) << control->metaObject()->className();
    }
    QTest::mouseClick(grid.tile(b)->control(GridCellView::Control::split), Qt::LeftButton);
    ASSERT_EQ(store.paneCount(b), 2);
    EXPECT_TRUE(pane->hasFocus());

    // Expanded: a click on the card's header keeps the pane's focus. Escape in
    // the open search closes only the search and gives the focus back to the
    // pane, which takes a second Escape as a key of its own; "복귀" collapses,
    // and the focus is the pane's again. So after the next "복귀".
    ExpandedView& overlay = *window.expandedView();
    overlay.setDuration(0);
    QTest::mouseClick(grid.tile(b)->control(GridCellView::Control::expand), Qt::LeftButton);
    ExpandedCard* card = overlay.card();
    ASSERT_NE(card, nullptr);
    EXPECT_TRUE(pane->hasFocus());
    QTest::mouseClick(card, Qt::LeftButton, {}, QPoint(card->width() / 2, 10));
    EXPECT_TRUE(pane->hasFocus());
    QTest::keyClick(pane, Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(card->searchField()->hasFocus());
    QTest::keyClick(card->searchField(), Qt::Key_Escape);
    EXPECT_FALSE(card->searchOpen());
    EXPECT_EQ(store.expandedID(), b);
    EXPECT_TRUE(pane->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    // The card is used on: had it gone, the test stops here.
    ASSERT_EQ(store.expandedID(), b);
    QTest::mouseClick(card->collapseButton(), Qt::LeftButton);
    // Still expanded, the toggle below would collapse it and leave no card.
    ASSERT_FALSE(store.expandedID().has_value());
    EXPECT_TRUE(pane->hasFocus());
    store.toggleExpand(b);
    ASSERT_NE(overlay.card(), nullptr);
    QTest::mouseClick(overlay.card()->collapseButton(), Qt::LeftButton);
    EXPECT_FALSE(store.expandedID().has_value());
    EXPECT_TRUE(pane->hasFocus());
    window.hide();
}

TEST(HotKeyOffscreen, RefusedHotKeyLogsOneLineAndTheApplicationRunsOn)
{
    tilebay::test::uiApp();
    if (QGuiApplication::platformName() == QLatin1String("xcb")) GTEST_SKIP() << "an X server is there";
    corvel::log::Capture log;
    EXPECT_FALSE(HotKeyManager::shared().registerHotKey());
    EXPECT_FALSE(HotKeyManager::shared().registered());
    ASSERT_EQ(log.count("Tilebay: 전역 단축키 등록 실패 — "), 1u);
    EXPECT_TRUE(log.contains("no X11 display (platform offscreen)"));
}
