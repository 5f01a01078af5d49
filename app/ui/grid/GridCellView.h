// The tile of one grid cell: a header (status icon, label or label editor,
// status tag, the cell's controls) over a content area that shows the
// adapter's live view of the session, or its text preview, or, while the
// window is being resized live, a black placeholder with the label. The tile
// keeps no session state: it shows the session record and the store and acts
// only through the store and the embedded adapter.
//
// Live content: the adapter's layout widget (TerminalController::
// cellContentView) is taken in as a child and asked for again whenever the
// cell's panes change (paneRevisionChanged) or the cell stops being expanded.
// The tile never deletes a pane: before the layout widget is dropped (rebuild,
// expansion, deletion of the tile) its terminal views are handed back
// (handBackPanes). While the window is resized live the content is hidden and
// not resized; it gets its one new size when the resize ends.
//
// A tile belongs to one cell for its whole life (the grid keys tiles by cell
// id), so the label editor and the close confirmation always act on the cell
// they were opened for and vanish with the tile when the cell leaves.
//
// Main thread; owned by the grid. The store and the record outlive the tile.
#pragma once

#include "app/store/SessionStore.h"
#include "app/ui/LabelEditor.h"

#include <QMessageBox>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include <array>

namespace tilebay {

class ElidedLabel;
class ResizePlaceholder;
class SymbolButton;
class SymbolView;
class TileFrameOverlay;
class TilePreview;

class GridCellView : public QWidget {
    Q_OBJECT
public:
    enum class Control { broadcast, split, axis, unsplit, expand, close, detach };

    GridCellView(SessionStore& store, SessionStore::SessionPtr cell, QWidget* parent = nullptr);
    ~GridCellView() override;

    const SessionStore::SessionPtr& cell() const { return cell_; }
    const QString& cellId() const { return cell_->id(); }
    bool isExpanded() const;

    // ---- parts, for the grid and for inspection ----
    SymbolButton* control(Control which) const { return controls_[static_cast<size_t>(which)]; }
    SymbolView* statusIcon() const { return statusIcon_; }
    ElidedLabel* label() const { return label_; }
    ElidedLabel* tag() const { return tag_; }
    LabelEditor* editor() const { return editor_; }
    QWidget* content() const { return content_; }
    TilePreview* preview() const { return preview_; }
    ResizePlaceholder* placeholder() const { return placeholder_; }
    TileFrameOverlay* frame() const { return frame_; }
    QMessageBox* closeConfirmation() const { return confirm_; }
    int headerHeight() const;
    // The content area, under the header and its divider.
    QRect bodyRect() const;

    // ---- actions ----
    void startEditing();
    void expand();
    // Asks before closing an embedded cell; an iTerm2 cell is detached at once.
    void askToClose();
    // Hands the live content's panes back and drops the layout widget.
    void releaseContent();
    // The capsule shown under the pointer while the tile is dragged.
    QPixmap dragPreview() const;

signals:
    // The user started dragging the tile from its header or preview.
    void dragRequested(const QString& cellId);

protected:
    void resizeEvent(QResizeEvent* event) override;
    // A new appearance recolours the broadcast check's secondary tint.
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildHeader();
    void refreshStatus();
    void refreshControls();
    // Re-fetches the live content (after a pane change or a collapse).
    void rebuildContent();
    void fetchContent();
    // Shows the right body for the current state and places everything.
    void refreshBody();
    void layoutChildren();
    void stopEditing();
    TerminalController* adapter() const;
    bool pressStartsDrag(const QPoint& pos) const;

    SessionStore& store_;
    SessionStore::SessionPtr cell_;

    QWidget* header_ = nullptr;
    SymbolView* statusIcon_ = nullptr;
    ElidedLabel* label_ = nullptr;
    ElidedLabel* tag_ = nullptr;
    QPointer<LabelEditor> editor_;
    std::array<SymbolButton*, 7> controls_{};
    TilePreview* preview_ = nullptr;
    ResizePlaceholder* placeholder_ = nullptr;
    TileFrameOverlay* frame_ = nullptr;
    QPointer<QWidget> content_;
    QPointer<QMessageBox> confirm_;
    bool expanded_ = false;
    bool previewPress_ = false;
    std::optional<QPoint> pressPos_;
};

}  // namespace tilebay
