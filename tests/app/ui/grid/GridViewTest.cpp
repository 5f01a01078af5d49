// The grid view offscreen: tile geometry in fit and scroll mode, visible
// cells, tiles keyed by cell (label editor and close confirmation follow their
// cell), live panes handed back on rebuilds, placeholders while resizing live
// (the grid and its panes following the window's one detector),
// pinch zoom, the add tile and the broadcast bar, with grabs probed (and saved
// for a look when TILEBAY_SCREENSHOT_DIR is set).
#include "tests/app/ui/grid/GridTestSupport.h"

#include "app/ui/design/DS.h"
#include "app/ui/design/DSPrimaryButton.h"
#include "app/ui/design/ElidedLabel.h"
#include "app/ui/design/StatusLook.h"
#include "app/ui/design/SymbolButton.h"
#include "app/ui/design/SymbolView.h"
#include "app/ui/grid/AddTileView.h"
#include "app/ui/grid/BroadcastBar.h"
#include "app/ui/grid/GridCellView.h"
#include "app/ui/grid/TileFrameOverlay.h"
#include "app/ui/grid/TilePreview.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QNativeGestureEvent>
#include <QPointingDevice>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

using namespace tilebay;
using namespace tilebay::testing;
using tilebay::test::grabAt;
using tilebay::test::near;
using tilebay::test::probe;
using tilebay::test::saveShot;

namespace {

using Control = GridCellView::Control;

QSet<QString> viewportCells(GridView& view)
{
    const int top = view.scrollArea()->verticalScrollBar()->value();
    const QRect seen(0, top, view.scrollArea()->viewport()->width(), view.scrollArea()->viewport()->height());
    QSet<QString> ids;
    for (GridCellView* tile : view.tiles())
        if (tile->geometry().intersects(seen)) ids.insert(tile->cellId());
    return ids;
}

// Sends a drop of `text` at the widget's centre; true when accepted.
bool dropText(QWidget* target, const QString& text, bool leaveHovering = false)
{
    QMimeData data;
    data.setText(text);
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    if (leaveHovering) return enter.isAccepted();
    QDropEvent drop(QPointF(at), Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

void pinch(QWidget* over, Qt::NativeGestureType type, double value = 0)
{
    static const QPointingDevice* device = QPointingDevice::primaryPointingDevice();
    const QPointF local = over->rect().center();
    QNativeGestureEvent event(type, device, 2, local, over->mapTo(over->window(), local),
                              over->mapToGlobal(local), value, QPointF(), 0);
    QCoreApplication::sendEvent(over, &event);
}

// Saves the view in light and dark, at scale 1 and 2, for a look.
void shoot(GridView& view, const QString& name)
{
    if (!test::shotsWanted()) return;
    const QPalette before = view.palette();
    for (const bool dark : {false, true}) {
        view.setPalette(dark ? darkPalette() : lightPalette());
        for (const qreal ratio : {1.0, 2.0})
            saveShot(grabAt(view, ratio), name + (dark ? QStringLiteral("-dark") : QStringLiteral("-light")) +
                                              (ratio == 1.0 ? QStringLiteral("@1x") : QStringLiteral("@2x")));
    }
    view.setPalette(before);
}

}  // namespace

TEST_F(GridTest, FitModeTilesShareTheAreaAndTheAddTileIsFourth)
{
    makePaneStore();
    for (const char* label : {"alpha", "beta", "gamma"}) addCell(QString::fromUtf8(label));
    GridView& view = showGrid({1200, 800});
    ASSERT_EQ(view.scrollArea()->size(), QSize(1200, 800));
    ASSERT_EQ(view.tiles().size(), 3u);
    // The slots' sizes are checked with the grid arithmetic; here the tiles
    // take them, and the fourth (pinned, so the area given is the right one)
    // is the add tile's.
    for (int i = 0; i < 3; ++i) EXPECT_EQ(view.tiles()[i]->geometry(), view.geometry().slotRect(i));
    EXPECT_EQ(view.addTile()->geometry(), QRect(902, 12, 286, 776));
    EXPECT_FALSE(view.scrollArea()->verticalScrollBar()->isVisible());
    EXPECT_EQ(store_->visibleCells.size(), 3);

    // Each embedded tile shows its live panes below the header.
    GridCellView* first = view.tiles()[0];
    ASSERT_NE(first->content(), nullptr);
    EXPECT_EQ(first->content()->geometry(), first->bodyRect());
    EXPECT_EQ(panes_->paneViews(first->cellId())[0]->parentWidget(), first->content());

    for (const bool dark : {false, true}) {
        view.setPalette(dark ? darkPalette() : lightPalette());
        const QImage shot = grabAt(view, 2.0);
        const QRect tile = first->geometry().translated(view.scrollArea()->pos() + view.canvas()->pos());
        const QColor window = DS::windowBackground(view.palette());
        // The corner outside the rounded frame is the window; the header, the
        // border line and the add tile's dashed outline are where they belong.
        EXPECT_TRUE(near(probe(shot, tile.left() + 1, tile.top() + 1), window, 2));
        EXPECT_TRUE(near(probe(shot, tile.left() + 150, tile.top() + 10), window, 2));
        EXPECT_FALSE(near(probe(shot, tile.left() + 100, tile.top()), window, 2));
    }
    shoot(view, QStringLiteral("grid-fit"));
}

TEST_F(GridTest, ScrollModeKeepsNaturalHeightAndVisibleCellsFollowTheViewport)
{
    makePaneStore();
    for (int i = 0; i < 20; ++i) addCell(QStringLiteral("cell %1").arg(i));
    GridView& view = showGrid({1000, 600});
    const GridGeometry& g = view.geometry();
    EXPECT_TRUE(g.scrolls);
    EXPECT_EQ(g.cols, 3);
    EXPECT_TRUE(view.scrollArea()->verticalScrollBar()->isVisible());
    EXPECT_FALSE(view.scrollArea()->horizontalScrollBar()->isVisible());
    EXPECT_EQ(view.canvas()->width(), view.scrollArea()->viewport()->width());
    for (GridCellView* tile : view.tiles()) EXPECT_EQ(tile->height(), 160);
    EXPECT_EQ(view.canvas()->height(), g.contentHeight());
    EXPECT_EQ(store_->visibleCells, viewportCells(view));
    EXPECT_LT(store_->visibleCells.size(), 20);
    shoot(view, QStringLiteral("grid-scroll"));

    // Scrolling, then a drop that moves the first cell to the end.
    view.scrollArea()->verticalScrollBar()->setValue(view.scrollArea()->verticalScrollBar()->maximum());
    EXPECT_EQ(store_->visibleCells, viewportCells(view));
    const QString moved = view.tiles()[0]->cellId();
    EXPECT_FALSE(store_->visibleCells.contains(moved));
    ASSERT_TRUE(dropText(view.addTile(), moved));
    EXPECT_EQ(store_->cells().back()->id(), moved);
    EXPECT_EQ(view.tiles().back()->cellId(), moved);
    EXPECT_TRUE(store_->visibleCells.contains(moved));
    EXPECT_EQ(store_->visibleCells, viewportCells(view));
    // An iTerm2 cell dropped mid-grid, off screen, is not counted visible
    // until it is scrolled to; the expanded cell always counts.
    ASSERT_TRUE(dropText(view.tiles()[1], QStringLiteral("EXT\u0001guid-7\u0001remote")));
    const QString absorbed = store_->cells()[1]->id();
    EXPECT_FALSE(store_->visibleCells.contains(absorbed));
    view.scrollArea()->verticalScrollBar()->setValue(0);
    EXPECT_TRUE(store_->visibleCells.contains(absorbed));
    EXPECT_EQ(store_->visibleCells, viewportCells(view));
    store_->toggleExpand(moved);
    EXPECT_TRUE(store_->visibleCells.contains(moved));
}

TEST_F(GridTest, EditorAndConfirmationStayWithTheirCell)
{
    makePaneStore();
    const QString a = addCell("A"), b = addCell("B");
    GridView& view = showGrid({900, 500});
    GridCellView* tileB = view.tile(b);
    // A double click on the label opens the editor with the current label.
    QTest::mouseDClick(tileB->label(), Qt::LeftButton, {}, QPoint(5, tileB->label()->height() / 2));
    ASSERT_NE(tileB->editor(), nullptr);
    EXPECT_EQ(tileB->editor()->text(), QStringLiteral("B"));
    tileB->editor()->setText(QStringLiteral("renamed"));
    embedded_->end(a);  // A's shell exits: B moves into the first slot
    ASSERT_EQ(store_->cells().size(), 1u);
    EXPECT_EQ(view.tile(b), tileB);
    QTest::keyClick(tileB->editor(), Qt::Key_Return);
    EXPECT_EQ(store_->cell(b)->projectLabel(), QStringLiteral("renamed"));
    EXPECT_EQ(tileB->editor(), nullptr);

    // A confirmation open on C; an iTerm2 session dropped at slot 0 shifts C
    // to the right; "닫기" still ends C and only C.
    const QString c = addCell("C");
    GridCellView* tileC = view.tile(c);
    tileC->askToClose();
    QPointer<QMessageBox> box = tileC->closeConfirmation();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text(), QStringLiteral("이 내장 터미널을 닫을까요? 실행 중인 작업이 종료됩니다."));
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    EXPECT_EQ(box->defaultButton()->text(), QStringLiteral("취소"));
    ASSERT_TRUE(dropText(view.tiles()[0], QStringLiteral("EXT\u0001g1\u0001elsewhere")));
    ASSERT_EQ(store_->cells().size(), 3u);
    EXPECT_EQ(store_->cells()[2]->id(), c);
    QPushButton* close = nullptr;
    for (QAbstractButton* button : box->buttons())
        if (button->text() == QStringLiteral("닫기")) close = static_cast<QPushButton*>(button);
    ASSERT_NE(close, nullptr);
    close->click();
    EXPECT_EQ(embedded_->closed, std::vector<QString>{c});
    ASSERT_EQ(store_->cells().size(), 2u);
    EXPECT_TRUE(store_->cell(b));

    // A cell that leaves takes its open confirmation with it, unanswered.
    view.tile(b)->askToClose();
    QPointer<QMessageBox> orphan = view.tile(b)->closeConfirmation();
    embedded_->end(b);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(orphan);
    EXPECT_EQ(embedded_->closed.size(), 1u);
}

TEST_F(GridTest, PanesSurviveRebuildsExpansionAndRemovalOfTheirTile)
{
    makePaneStore();
    const QString a = addCell("A");
    addCell("B");
    GridView& view = showGrid({900, 500});
    GridCellView* tile = view.tile(a);
    QPointer<corvel::TerminalView> first = panes_->paneViews(a)[0];
    ResizeCounter resizes(first);

    // The split control adds a pane: the layout is fetched again, the first
    // pane is kept (and resized once, into its half).
    tile->control(Control::split)->click();
    ASSERT_TRUE(first);
    ASSERT_EQ(store_->paneCount(a), 2);
    EXPECT_EQ(first->parentWidget(), tile->content());
    EXPECT_EQ(panes_->paneViews(a)[1]->parentWidget(), tile->content());
    EXPECT_TRUE(tile->control(Control::axis)->isVisibleTo(tile));
    EXPECT_TRUE(tile->control(Control::unsplit)->isVisibleTo(tile));
    EXPECT_LE(resizes.count, 1);

    // Expanded: the tile keeps its slot and draws nothing; the card from the
    // window's factory takes the panes, and they come back on collapse.
    view.setExpandedFactory([this](const SessionStore::SessionPtr& cell, QWidget* parent) {
        auto* card = new QWidget(parent);
        auto* layout = new QHBoxLayout(card);
        layout->addWidget(store_->embedded().cellContentView(cell->id()));
        return card;
    });
    const QRect slot = tile->geometry();
    store_->toggleExpand(a);
    ASSERT_NE(view.expandedCard(), nullptr);
    EXPECT_EQ(tile->geometry(), slot);
    EXPECT_EQ(tile->content(), nullptr);
    EXPECT_TRUE(view.expandedCard()->isAncestorOf(first));
    EXPECT_FALSE(tile->frame()->isVisible());
    EXPECT_FALSE(tile->preview()->isVisible());
    store_->toggleExpand(a);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->parentWidget(), tile->content());

    // Unsplit, then the cell closes: the tile goes, the panes stay the
    // adapter's until it drops them itself.
    tile->control(Control::unsplit)->click();
    EXPECT_EQ(store_->paneCount(a), 1);
    store_->closeCell(a);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(view.tile(a), nullptr);
    EXPECT_EQ(view.tiles().size(), 1u);
}

TEST_F(GridTest, LiveResizeShowsPlaceholdersAndResizesPanesOnceAfterwards)
{
    makePaneStore();
    const QString a = addCell("work");
    GridView& view = showGrid({900, 500});
    GridCellView* tile = view.tile(a);
    corvel::TerminalView* pane = panes_->paneViews(a)[0];
    ResizeCounter resizes(pane);
    const QSize before = pane->size();

    store_->setIsLiveResizing(true);
    for (int step = 1; step <= 10; ++step) {
        view.resize(view.width() + 16, view.height() + 8);
        QCoreApplication::processEvents();
    }
    EXPECT_TRUE(tile->placeholder()->isVisible());
    EXPECT_FALSE(tile->content()->isVisible());
    EXPECT_EQ(tile->placeholder()->label(), QStringLiteral("work"));
    EXPECT_EQ(pane->size(), before);
    EXPECT_EQ(resizes.count, 0);
    const QImage shot = grabAt(view, 1.0);
    const QPoint mid = tile->placeholder()->geometry().center() + tile->pos() + view.scrollArea()->pos();
    EXPECT_TRUE(near(probe(shot, mid.x(), mid.y() + 20), test::over(Qt::black, 0.9, DS::windowBackground(view.palette())), 3));
    shoot(view, QStringLiteral("grid-placeholders"));

    store_->setIsLiveResizing(false);
    QCoreApplication::processEvents();
    EXPECT_TRUE(tile->content()->isVisible());
    EXPECT_FALSE(tile->placeholder()->isVisible());
    EXPECT_EQ(tile->content()->geometry(), tile->bodyRect());
    EXPECT_EQ(resizes.count, 1);
}

TEST_F(GridTest, TheGridAndItsPanesFollowTheWindowsOneLiveResizeDetector)
{
    makePaneStore();
    const QString a = addCell("work");
    corvel::Nanos now = 1'000'000'000;
    QWidget window;
    auto* detector = new corvel::LiveResizeDetector([&] { return now; }, &window);
    auto* grid = new GridView(*store_, &window);
    window.resize(900, 600);
    window.show();
    QCoreApplication::processEvents();
    corvel::TerminalView* pane = panes_->paneViews(a)[0];
    EXPECT_EQ(grid->liveResizeDetector(), detector);
    EXPECT_EQ(pane->liveResizeDetector(), detector);

    detector->noteResize();
    now += 16'000'000;
    detector->noteResize();
    EXPECT_TRUE(store_->isLiveResizing());
    EXPECT_TRUE(pane->inLiveResize());
    now += corvel::LiveResizeDetector::quietEnd;
    detector->check();
    EXPECT_FALSE(store_->isLiveResizing());
    EXPECT_FALSE(pane->inLiveResize());
}

TEST_F(GridTest, PinchOverATerminalZoomsWithinLimitsFromEachPinchsStart)
{
    makePaneStore();
    const QString a = addCell("A");
    GridView& view = showGrid({900, 500});
    QWidget* terminal = panes_->paneViews(a)[0];
    pinch(terminal, Qt::BeginNativeGesture);
    pinch(terminal, Qt::ZoomNativeGesture, 0.5);
    pinch(terminal, Qt::ZoomNativeGesture, 0.5);  // 1 * 1.5 * 1.5
    EXPECT_DOUBLE_EQ(store_->zoom(), 2.25);
    pinch(terminal, Qt::ZoomNativeGesture, 1.0);  // 4.5: held at 3
    EXPECT_DOUBLE_EQ(store_->zoom(), 3.0);
    pinch(terminal, Qt::EndNativeGesture);
    // The second pinch starts where the first ended.
    pinch(terminal, Qt::BeginNativeGesture);
    pinch(terminal, Qt::ZoomNativeGesture, -0.5);
    EXPECT_DOUBLE_EQ(store_->zoom(), 1.5);
    pinch(terminal, Qt::ZoomNativeGesture, -0.9);  // 0.15: held at 0.5
    EXPECT_DOUBLE_EQ(store_->zoom(), 0.5);
    pinch(terminal, Qt::EndNativeGesture);
    // The layout follows on the next turn of the event loop.
    QCoreApplication::processEvents();
    EXPECT_EQ(view.geometry().cols, 2);
    // A pinch outside the grid (over the toolbar) does nothing.
    pinch(view.toolbar(), Qt::ZoomNativeGesture, 1.0);
    EXPECT_DOUBLE_EQ(store_->zoom(), 0.5);
}

TEST_F(GridTest, AddTileClicksAnywhereTakesDropsAndHighlightsWhileHovered)
{
    makePaneStore();
    const QString a = addCell("A");
    addCell("B");
    GridView& view = showGrid({900, 500});
    AddTileView* add = view.addTile();
    // A click near the edge, inside the dashed outline, opens the prompt.
    store_->setNewTerminalName(QStringLiteral("left over"));
    QTest::mouseClick(add, Qt::LeftButton, {}, QPoint(20, add->height() - 20));
    EXPECT_TRUE(store_->showNewTerminalPrompt());
    EXPECT_TRUE(store_->newTerminalName().isEmpty());

    EXPECT_EQ(add->caption(), QStringLiteral("새 터미널"));
    ASSERT_TRUE(dropText(add, a, /*leaveHovering=*/true));
    EXPECT_TRUE(add->targeted());
    EXPECT_EQ(add->caption(), QStringLiteral("여기에 놓기"));
    const QImage hovered = grabAt(*add, 2.0);
    int orangeOnTopEdge = 0;
    for (int x = 20; x < add->width() - 20; ++x) orangeOnTopEdge += near(probe(hovered, x, 0.5), DS::orange(), 40);
    // Dashed: about half of the edge is drawn.
    EXPECT_GT(orangeOnTopEdge, (add->width() - 40) / 3);
    EXPECT_LT(orangeOnTopEdge, (add->width() - 40) * 2 / 3);
    shoot(view, QStringLiteral("grid-hover"));
    QDragLeaveEvent leave;
    QCoreApplication::sendEvent(add, &leave);
    EXPECT_FALSE(add->targeted());

    ASSERT_TRUE(dropText(add, a));
    EXPECT_EQ(store_->cells().back()->id(), a);
    EXPECT_FALSE(dropText(add, QStringLiteral("no-such-cell")));
    // A tile highlights while a drag hovers it, too.
    GridCellView* tile = view.tiles()[0];
    ASSERT_TRUE(dropText(tile, a, true));
    EXPECT_TRUE(tile->frame()->highlighted());
    QCoreApplication::sendEvent(tile, &leave);
    EXPECT_FALSE(tile->frame()->highlighted());
}

TEST_F(GridTest, HeaderControlsFollowKindModeStatusAndPanes)
{
    makePaneStore();
    const QString e = addCell("emb");
    store_->absorbExternal(QStringLiteral("g-1"), QStringLiteral("remote"), 1);
    GridView& view = showGrid({1200, 500});
    GridCellView* embedded = view.tile(e);
    GridCellView* remote = view.tiles()[1];
    auto shown = [](GridCellView* t, Control c) { return t->control(c)->isVisibleTo(t); };

    EXPECT_FALSE(shown(embedded, Control::broadcast));
    EXPECT_TRUE(shown(embedded, Control::split));
    EXPECT_FALSE(shown(embedded, Control::axis));
    EXPECT_TRUE(shown(embedded, Control::close));
    EXPECT_FALSE(shown(embedded, Control::detach));
    EXPECT_FALSE(shown(remote, Control::split));
    EXPECT_FALSE(shown(remote, Control::close));
    EXPECT_TRUE(shown(remote, Control::detach));
    EXPECT_EQ(embedded->control(Control::split)->focusPolicy(), Qt::NoFocus);

    // The status icon and tag follow each status change in place: one icon,
    // the current one, in the header row.
    QLayout* row = embedded->statusIcon()->parentWidget()->layout();
    const int items = row->count();
    for (TerminalStatus status : allTerminalStatuses) {
        embedded->cell()->setStatus(status);
        EXPECT_EQ(embedded->statusIcon()->symbol(), QLatin1String(statusLook(status).symbol));
        EXPECT_EQ(embedded->tag()->text(), statusLook(status).tag);
        EXPECT_GE(row->indexOf(embedded->statusIcon()), 0);
        EXPECT_EQ(row->count(), items);
    }

    store_->toggleBroadcastMode();
    EXPECT_TRUE(shown(embedded, Control::broadcast));
    EXPECT_FALSE(shown(remote, Control::broadcast));
    EXPECT_EQ(embedded->control(Control::broadcast)->symbol(), QStringLiteral("checkmark.circle.fill"));
    embedded->control(Control::broadcast)->click();
    EXPECT_EQ(embedded->control(Control::broadcast)->symbol(), QStringLiteral("circle"));
    // The unchosen circle, a thin ring in the secondary tone, follows a new
    // appearance (made in light, it would all but vanish on the dark header).
    view.setPalette(darkPalette());
    const QImage circle = grabAt(*embedded->control(Control::broadcast), 2);
    EXPECT_GE(test::strongestContrast(circle, embedded->control(Control::broadcast)->rect(), probe(circle, 0, 0)), 2.0);
    view.setPalette(lightPalette());

    // An iTerm2 tile without preview waits for its first poll; its preview,
    // once there, shows the last lines that fit, led by an ellipsis.
    EXPECT_EQ(remote->content(), nullptr);
    EXPECT_EQ(remote->preview()->emptyCaption(), QStringLiteral("iTerm2 흡수 대기…"));
    QStringList lines;
    for (int i = 0; i < 100; ++i) lines << QStringLiteral("line %1").arg(i);
    remote->cell()->setPreviewText(lines.join(u'\n'));
    const QStringList shownLines = remote->preview()->shownLines();
    ASSERT_GT(shownLines.size(), 2);
    EXPECT_LE(shownLines.size(), TilePreview::maxLines);
    EXPECT_EQ(shownLines.front(), QStringLiteral("…"));
    EXPECT_EQ(shownLines.back(), QStringLiteral("line 99"));
    shoot(view, QStringLiteral("grid-preview"));
    // A click into it expands the cell; detaching needs no confirmation.
    QTest::mouseClick(remote, Qt::LeftButton, {}, remote->preview()->geometry().center());
    EXPECT_EQ(store_->expandedID(), remote->cellId());
    store_->toggleExpand(remote->cellId());
    remote->control(Control::detach)->click();
    EXPECT_EQ(store_->cells().size(), 1u);
}

TEST_F(GridTest, BroadcastBarSendsTrimmedTextToSelectedCells)
{
    makePaneStore();
    const QString a = addCell("A"), b = addCell("B"), c = addCell("C");
    GridView& view = showGrid({1200, 500});
    BroadcastBar* bar = view.broadcastBar();
    EXPECT_FALSE(bar->isVisible());
    store_->toggleBroadcastMode();
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->countLabel()->text(), QStringLiteral("3개 셀에 전송"));
    view.tile(b)->control(Control::broadcast)->click();
    EXPECT_EQ(bar->countLabel()->text(), QStringLiteral("2개 셀에 전송"));

    bar->field()->setText(QStringLiteral(" \t "));
    EXPECT_FALSE(bar->sendButton()->isEnabled());
    QTest::keyClick(bar->field(), Qt::Key_Return);
    EXPECT_TRUE(embedded_->typed.empty());
    EXPECT_EQ(bar->field()->text(), QStringLiteral(" \t "));

    bar->field()->setText(QStringLiteral("  echo BCAST  "));
    EXPECT_TRUE(bar->sendButton()->isEnabled());
    bar->sendButton()->click();
    const std::vector<std::pair<QString, QString>> want{{a, QStringLiteral("echo BCAST\r")},
                                                        {c, QStringLiteral("echo BCAST\r")}};
    EXPECT_EQ(embedded_->typed, want);
    EXPECT_TRUE(bar->field()->text().isEmpty());

    // The text outlives switching the mode off and on; with nothing selected
    // the button is off, but Return still sends (to none) and clears.
    bar->field()->setText(QStringLiteral("ls"));
    store_->toggleBroadcastMode();
    store_->toggleBroadcastMode();
    EXPECT_EQ(bar->field()->text(), QStringLiteral("ls"));
    for (const QString& id : {a, b, c}) store_->toggleBroadcastTarget(id);
    EXPECT_TRUE(store_->broadcastTargets().isEmpty());
    EXPECT_FALSE(bar->sendButton()->isEnabled());
    QTest::keyClick(bar->field(), Qt::Key_Return);
    EXPECT_TRUE(bar->field()->text().isEmpty());
    EXPECT_EQ(embedded_->typed.size(), 2u);
    const QImage shot = grabAt(*bar, 1.0);
    EXPECT_TRUE(near(probe(shot, 4, 4), test::over(DS::bgLightOrange(), 0.6, DS::windowBackground(bar->palette())), 2));

    // Over the dark window the ground stays dark and the count reads at 4.5:1 or more.
    bar->setPalette(darkPalette());
    for (qreal ratio : {1.0, 2.0}) {
        const QImage dark = grabAt(*bar, ratio);
        const QColor ground = probe(dark, 4, 4);
        EXPECT_LT(ground.lightness(), 100);
        EXPECT_GE(test::strongestContrast(dark, bar->countLabel()->geometry(), ground), 4.5) << ratio;
    }
    bar->setPalette(view.palette());
    shoot(view, QStringLiteral("grid-broadcast"));
}

TEST_F(GridTest, BroadcastBarCountsOnlyCellsTheTextReachesAndTakesAnyBlankForEmpty)
{
    makePaneStore();
    const QString a = addCell("A"), b = addCell("B"), c = addCell("C");
    store_->absorbExternal(QStringLiteral("g-1"), QStringLiteral("remote"), 3);
    GridView& view = showGrid({1200, 500});
    store_->toggleBroadcastMode();
    BroadcastBar* bar = view.broadcastBar();
    // An iTerm2 cell selected by hand is not reached.
    store_->toggleBroadcastTarget(store_->cells().back()->id());
    EXPECT_EQ(bar->countLabel()->text(), QStringLiteral("3개 셀에 전송"));

    // Ideographic, no-break and thin spaces with tabs are as blank as spaces.
    for (const char16_t* blank : {u"\u3000\u3000", u" \u00a0\t\u2009", u"\u3000\n"}) {
        bar->field()->setText(QString::fromUtf16(blank));
        EXPECT_FALSE(bar->sendButton()->isEnabled());
    }
    bar->field()->setText(QStringLiteral("\u3000ls\u3000"));
    EXPECT_TRUE(bar->sendButton()->isEnabled());

    // A closed cell and an ended one stay selected but are no longer counted.
    store_->closeCell(a);
    embedded_->end(b);
    EXPECT_EQ(store_->broadcastTargets().size(), 4);
    EXPECT_EQ(bar->countLabel()->text(), QStringLiteral("1개 셀에 전송"));
    bar->sendButton()->click();
    const std::vector<std::pair<QString, QString>> want{{c, QStringLiteral("ls\r")}};
    EXPECT_EQ(embedded_->typed, want);

    store_->closeCell(c);
    bar->field()->setText(QStringLiteral("ls"));
    EXPECT_EQ(bar->countLabel()->text(), QStringLiteral("0개 셀에 전송"));
    EXPECT_FALSE(bar->sendButton()->isEnabled());
}
