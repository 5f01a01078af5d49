// The side panel that lists iTerm2 sessions not yet in the grid. A click on
// an entry absorbs that session as the grid's last cell; dragging an entry
// onto a grid slot absorbs it there (the grid's drop handling reads the
// drag's text). The list is refreshed when the panel is shown, by its
// refresh button (always), and every 3 s while it is shown (skipped while a
// refresh runs). While a refresh runs a spinner takes the list's place; an
// empty list shows a note instead. The close button lowers the store's
// showImport.
//
// The panel owns one refresh timer for its whole life: it runs while the
// panel is shown and stops when the panel is hidden or closed. Entries are
// rebuilt from the store's list when it changes, except during a drag, which
// runs a nested event loop with its entry as source: the rebuild then waits
// until the drag has ended, so no entry is deleted under it.
//
// Main thread. The grid owns the panel; the store outlives it.
#pragma once

#include <QTimer>
#include <QWidget>

#include <vector>

class QScrollArea;
class QVBoxLayout;

namespace tilebay {

class ImportChip;
class SessionStore;
class Spinner;
class SymbolButton;

class ITerm2ImportPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 240;
    static constexpr int kRefreshIntervalMs = 3000;

    enum class Content : unsigned char { loading, empty, list };

    explicit ITerm2ImportPanel(SessionStore& store, QWidget* parent = nullptr);

    Content content() const { return content_; }
    const std::vector<ImportChip*>& chips() const { return chips_; }
    bool isDragging() const { return dragging_; }
    SymbolButton* refreshButton() const { return refresh_; }
    SymbolButton* closeButton() const { return close_; }
    Spinner* spinner() const { return spinner_; }
    QWidget* emptyState() const { return empty_; }
    QScrollArea* list() const { return list_; }

    // The 3 s timer; tests drive its ticks through autoRefreshTick().
    const QTimer& refreshTimer() const { return timer_; }
    // What each tick does: a refresh unless one is running.
    void autoRefreshTick();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void rebuildChips();
    void updateContent();
    void absorb(const ImportChip& chip);

    SessionStore& store_;
    QTimer timer_;
    Content content_ = Content::empty;
    SymbolButton* refresh_ = nullptr;
    SymbolButton* close_ = nullptr;
    QWidget* loading_ = nullptr;
    Spinner* spinner_ = nullptr;
    QWidget* empty_ = nullptr;
    QScrollArea* list_ = nullptr;
    QWidget* listContent_ = nullptr;
    QVBoxLayout* listColumn_ = nullptr;
    QWidget* trailingSpace_ = nullptr;
    std::vector<ImportChip*> chips_;
    bool dragging_ = false;
    bool rebuildPending_ = false;
};

}  // namespace tilebay
