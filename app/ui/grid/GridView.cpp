#include "app/ui/grid/GridView.h"

#include "app/ui/design/DS.h"
#include "app/ui/grid/AddTileView.h"
#include "app/ui/grid/BroadcastBar.h"
#include "app/ui/grid/GridCellView.h"
#include "app/ui/grid/PaneHandBack.h"
#include "app/ui/design/SymbolButton.h"
#include "app/ui/toolbar/SessionToolbarStore.h"
#include "app/ui/toolbar/ToolbarView.h"

#include <QApplication>
#include <QDrag>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMimeData>
#include <QNativeGestureEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace tilebay {

namespace {

// A 1 px rule in the separator colour, horizontal or vertical.
class Rule final : public QWidget {
public:
    Rule(Qt::Orientation orientation, QWidget* parent) : QWidget(parent)
    {
        if (orientation == Qt::Horizontal)
            setFixedHeight(1);
        else
            setFixedWidth(1);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), DS::separator(palette()));
    }
};

// The canvas the tiles stand on, in the window's background colour.
class Canvas final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), DS::windowBackground(palette()));
    }
};

}  // namespace

GridView::GridView(SessionStore& store, QWidget* parent)
    : QWidget(parent), store_(store)
{
    setMinimumSize(minimumContentWidth, minimumContentHeight);
    toolbarStore_ = new SessionToolbarStore(store_, this);
    toolbar_ = new ToolbarView(*toolbarStore_, this);

    middle_ = new QWidget(this);
    auto* across = new QHBoxLayout(middle_);
    across->setContentsMargins(0, 0, 0, 0);
    across->setSpacing(0);
    importRule_ = new Rule(Qt::Vertical, middle_);
    importRule_->hide();
    scroll_ = new QScrollArea(middle_);
    scroll_->setFrameShape(QFrame::NoFrame);
    // A click on a tile's button or between the tiles leaves the keyboard
    // focus where it was: the area itself never takes it.
    scroll_->setFocusPolicy(Qt::NoFocus);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setWidgetResizable(false);
    canvas_ = new Canvas;
    scroll_->setWidget(canvas_);
    across->addWidget(importRule_);
    across->addWidget(scroll_, 1);
    addTile_ = new AddTileView(store_, canvas_);

    barRule_ = new Rule(Qt::Horizontal, this);
    bar_ = new BroadcastBar(store_, this);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(toolbar_);
    column->addWidget(new Rule(Qt::Horizontal, this));
    column->addWidget(middle_, 1);
    column->addWidget(barRule_);
    column->addWidget(bar_);

    // Tab: toolbar, then the grid, then the broadcast field.
    setTabOrder(toolbar_->settingsButton(), addTile_);
    setTabOrder(addTile_, bar_->field());

    connect(&store_, &SessionStore::cellsChanged, this, &GridView::relayout);
    connect(&store_, &SessionStore::zoomChanged, this, &GridView::scheduleRelayout);
    connect(&store_, &SessionStore::expandedIDChanged, this, [this] {
        refreshCard();
        updateVisibleCells();
    });
    connect(&store_, &SessionStore::broadcastModeChanged, this, [this](bool on) {
        barRule_->setVisible(on);
        bar_->setVisible(on);
    });
    connect(&store_, &SessionStore::showImportChanged, this, &GridView::refreshImportPanel);
    connect(scroll_->verticalScrollBar(), &QScrollBar::valueChanged, this, &GridView::updateVisibleCells);
    scroll_->viewport()->installEventFilter(this);
    qApp->installEventFilter(this);

    barRule_->setVisible(store_.broadcastMode());
    bar_->setVisible(store_.broadcastMode());
    relayout();
}

GridView::~GridView()
{
    qApp->removeEventFilter(this);
    if (card_) handBackPanes(card_);
    // Tiles hand their panes back in their own destructors.
}

void GridView::setExpandedFactory(ExpandedFactory factory)
{
    expandedFactory_ = std::move(factory);
    refreshCard();
}

void GridView::setImportPanel(QWidget* panel)
{
    if (importPanel_ == panel) return;
    importPanel_ = panel;
    if (panel) static_cast<QHBoxLayout*>(middle_->layout())->insertWidget(0, panel);
    refreshImportPanel();
}

void GridView::refreshImportPanel()
{
    const bool on = store_.showImport() && importPanel_;
    if (importPanel_) importPanel_->setVisible(on);
    importRule_->setVisible(on);
}

std::vector<GridCellView*> GridView::tiles() const
{
    return order_;
}

GridCellView* GridView::tile(const QString& cellId) const
{
    const auto it = tiles_.find(cellId);
    return it == tiles_.end() ? nullptr : it->second;
}

// ---- layout ----

void GridView::scheduleRelayout()
{
    if (relayoutPending_) return;
    relayoutPending_ = true;
    QMetaObject::invokeMethod(
        this, [this] {
            if (relayoutPending_) relayout();
        },
        Qt::QueuedConnection);
}

void GridView::syncTiles()
{
    std::map<QString, GridCellView*> keep;
    order_.clear();
    for (const auto& cell : store_.cells()) {
        if (keep.count(cell->id())) continue;  // a duplicate id shows once
        GridCellView* tile = nullptr;
        if (auto it = tiles_.find(cell->id()); it != tiles_.end()) {
            tile = it->second;
            tiles_.erase(it);
        } else {
            tile = new GridCellView(store_, cell, canvas_);
            connect(tile, &GridCellView::dragRequested, this, [this](const QString& id) {
                // Off the tile's stack: the drag's nested loop may outlive the tile.
                QTimer::singleShot(0, this, [this, id] { startDrag(id); });
            });
            tile->show();
        }
        keep.emplace(cell->id(), tile);
        order_.push_back(tile);
    }
    // Tiles of cells that left: panes back first, then the tile, later (a
    // handler of the tile may be running).
    for (auto& [id, tile] : tiles_) {
        tile->releaseContent();
        tile->hide();
        tile->deleteLater();
    }
    tiles_ = std::move(keep);
}

void GridView::relayout()
{
    relayoutPending_ = false;
    syncTiles();
    const QSize area = scroll_->size();
    const int n = static_cast<int>(order_.size());
    GridGeometry g = computeGridLayout(area.width(), area.height(), n, store_.zoom());
    int canvasWidth = area.width();
    if (g.scrolls) {
        // Laid out against the viewport that the scroll bar leaves.
        canvasWidth = std::max(area.width() - scroll_->verticalScrollBar()->sizeHint().width(), 1);
        g = computeGridLayout(canvasWidth, area.height(), n, store_.zoom());
    }
    geometry_ = g;
    scroll_->setVerticalScrollBarPolicy(g.scrolls ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    canvas_->resize(canvasWidth, g.scrolls ? g.contentHeight() : area.height());
    for (int i = 0; i < n; ++i) order_[i]->setGeometry(g.slotRect(i));
    addTile_->setGeometry(g.slotRect(n));
    updateVisibleCells();
}

void GridView::updateVisibleCells()
{
    const QRect seen(0, scroll_->verticalScrollBar()->value(), scroll_->viewport()->width(),
                     scroll_->viewport()->height());
    QSet<QString> visible;
    for (GridCellView* tile : order_)
        if (tile->geometry().intersects(seen)) visible.insert(tile->cellId());
    if (const auto& expanded = store_.expandedID(); expanded && store_.cell(*expanded)) visible.insert(*expanded);
    store_.visibleCells = visible;
}

void GridView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (card_) card_->setGeometry(rect());
}

bool GridView::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::ParentChange:
        followLiveResize();
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

void GridView::followLiveResize()
{
    corvel::LiveResizeDetector* next = corvel::LiveResizeDetector::of(window());
    if (next != detector_) {
        if (detector_) disconnect(detector_, nullptr, this, nullptr);
        detector_ = next;
        connect(next, &corvel::LiveResizeDetector::liveChanged, this, [this](bool live) {
            if (store_.isLiveResizing() != live) store_.setIsLiveResizing(live);
        });
    }
    // A live resize of the window left ends for the store.
    if (store_.isLiveResizing() != next->isLive()) store_.setIsLiveResizing(next->isLive());
}

bool GridView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::NativeGesture) return handlePinch(watched, event) || QWidget::eventFilter(watched, event);
    if (watched == scroll_->viewport() && event->type() == QEvent::Resize) relayout();
    return QWidget::eventFilter(watched, event);
}

bool GridView::handlePinch(QObject* watched, QEvent* event)
{
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || !(widget == scroll_ || scroll_->isAncestorOf(widget))) return false;
    // The application-wide filter sees the gesture at its first receiver and
    // consumes it there (accepted, so it does not travel on to the parents
    // and count again).
    auto* gesture = static_cast<QNativeGestureEvent*>(event);
    gesture->accept();
    switch (gesture->gestureType()) {
    case Qt::BeginNativeGesture:
        pinchBase_ = store_.zoom();
        pinchFactor_ = 1.0;
        return true;
    case Qt::ZoomNativeGesture: {
        if (!pinchBase_) {
            pinchBase_ = store_.zoom();
            pinchFactor_ = 1.0;
        }
        pinchFactor_ *= 1.0 + gesture->value();
        store_.setZoom(std::clamp(*pinchBase_ * pinchFactor_, minZoom, maxZoom));
        return true;
    }
    case Qt::EndNativeGesture:
        pinchBase_.reset();
        pinchFactor_ = 1.0;
        return true;
    default:
        gesture->ignore();
        return false;
    }
}

// ---- the expanded card ----

void GridView::refreshCard()
{
    const auto& id = store_.expandedID();
    SessionStore::SessionPtr cell = id ? store_.cell(*id) : nullptr;
    if (card_) {
        handBackPanes(card_);
        card_->hide();
        card_->deleteLater();
        card_ = nullptr;
    }
    if (!cell || !expandedFactory_) return;
    card_ = expandedFactory_(cell, this);
    if (!card_) return;
    card_->setGeometry(rect());
    card_->raise();
    card_->show();
}

// ---- drag ----

void GridView::startDrag(const QString& cellId)
{
    GridCellView* source = tile(cellId);
    if (!source) return;
    auto* drag = new QDrag(this);
    auto* data = new QMimeData;
    data->setText(cellId);
    drag->setMimeData(data);
    const QPixmap preview = source->dragPreview();
    drag->setPixmap(preview);
    drag->setHotSpot(QPoint(preview.width() / 2, preview.height() / 2) / preview.devicePixelRatio());
    drag->exec(Qt::MoveAction);
    drag->deleteLater();
}

}  // namespace tilebay
