// The window's content: the toolbar, the optional iTerm2 import panel beside
// the grid of tiles with the add tile after the last one, the broadcast bar
// while broadcast mode is on, and the expanded cell's card laid over it all.
//
// The grid: computeGridLayout gives columns, rows and one tile size for the
// free area; tiles are children of one canvas placed with setGeometry. In fit
// mode the canvas is the viewport; when the rows do not fit, the canvas keeps
// the natural tile height and scrolls vertically in a QScrollArea, laid out
// against the viewport's width. A tile is made when its cell enters the
// store's list and destroyed (after handing back its panes) when it leaves; a
// reorder moves geometry only, so live terminals are neither rebuilt nor
// resized. After every layout, scroll and list change the store's
// `visibleCells` is set to the cells whose tiles meet the viewport (plus the
// expanded cell).
//
// A pinch (native zoom gesture) anywhere over the grid, terminals included,
// sets the store's zoom to the zoom at the pinch's start times the product of
// (1 + step) so far, kept within 0.5 to 3. Zoom changes are laid out once per
// turn of the event loop, so a burst of gesture steps resizes each pane once.
// The live-resize detector watches the window and tells the store.
//
// Main thread; owned by the window. The store outlives the view. The expanded
// card and the import panel come from the window through the two hooks.
#pragma once

#include "app/store/SessionStore.h"
#include "app/ui/grid/GridGeometry.h"
#include "corvel/qt/LiveResizeDetector.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <map>
#include <optional>
#include <vector>

class QScrollArea;

namespace tilebay {

class AddTileView;
class BroadcastBar;
class GridCellView;
class SessionToolbarStore;
class ToolbarView;

class GridView : public QWidget {
    Q_OBJECT
public:
    static constexpr double minZoom = 0.5;
    static constexpr double maxZoom = 3.0;
    // The least the view is given: room for the toolbar, the tile area and,
    // in broadcast mode, the bar with its send button whole. The window
    // adds its menu bar on top of this.
    static constexpr int minimumContentWidth = 480;
    static constexpr int minimumContentHeight = 320;

    // Makes the card shown over the window for the expanded cell.
    using ExpandedFactory = std::function<QWidget*(const SessionStore::SessionPtr& cell, QWidget* parent)>;

    // Live resizes come from the detector of the window the grid is shown
    // in (corvel::LiveResizeDetector::of), which the window's terminal
    // views follow too.
    explicit GridView(SessionStore& store, QWidget* parent = nullptr);
    ~GridView() override;

    void setExpandedFactory(ExpandedFactory factory);
    // The import panel, shown left of the grid while the store's showImport is on.
    void setImportPanel(QWidget* panel);

    // ---- parts, for the window and for inspection ----
    ToolbarView* toolbar() const { return toolbar_; }
    QScrollArea* scrollArea() const { return scroll_; }
    QWidget* canvas() const { return canvas_; }
    AddTileView* addTile() const { return addTile_; }
    BroadcastBar* broadcastBar() const { return bar_; }
    // Null until the grid is first shown.
    corvel::LiveResizeDetector* liveResizeDetector() const { return detector_; }
    QWidget* expandedCard() const { return card_; }
    // The tiles in grid order.
    std::vector<GridCellView*> tiles() const;
    GridCellView* tile(const QString& cellId) const;
    const GridGeometry& geometry() const { return geometry_; }

    // Lays the grid out now (also runs any pending layout).
    void relayout();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void scheduleRelayout();
    void syncTiles();
    void updateVisibleCells();
    void refreshCard();
    void refreshImportPanel();
    void startDrag(const QString& cellId);
    bool handlePinch(QObject* watched, QEvent* event);
    // Follows the detector of the grid's current window, taking up its state.
    void followLiveResize();

    SessionStore& store_;
    SessionToolbarStore* toolbarStore_ = nullptr;  // child object
    ToolbarView* toolbar_ = nullptr;
    QWidget* middle_ = nullptr;
    QWidget* importRule_ = nullptr;
    QPointer<QWidget> importPanel_;
    QScrollArea* scroll_ = nullptr;
    QWidget* canvas_ = nullptr;
    AddTileView* addTile_ = nullptr;
    QWidget* barRule_ = nullptr;
    BroadcastBar* bar_ = nullptr;
    QPointer<corvel::LiveResizeDetector> detector_;  // owned by the window
    ExpandedFactory expandedFactory_;
    QPointer<QWidget> card_;

    std::map<QString, GridCellView*> tiles_;
    std::vector<GridCellView*> order_;
    GridGeometry geometry_;
    bool relayoutPending_ = false;
    std::optional<double> pinchBase_;
    double pinchFactor_ = 1.0;
};

}  // namespace tilebay
