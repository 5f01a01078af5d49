// The expanded cell over the grid: an overlay that fills its host (the
// grid's area), dims it with a scrim (black at 38 %), and holds the card of
// the cell that the store's expandedID names, 86 % of the host in each
// direction and centred, with a painted shadow.
//
// Expanding and collapsing animate a snapshot, not the live card: on expand
// the card is built at its final size (each pane is resized once, to the
// card), grabbed while hidden, and the picture grows from the cell's tile (or
// from the middle) for about 240 ms before the live card is shown; on
// collapse the card is grabbed, its panes are handed back at once (the tile
// resizes them once) and the picture shrinks back. After a collapse the
// cell's terminal has the keyboard focus: the pane that had it in the card,
// else the cell's first pane (when the card's own controls or nothing had it).
//
// Keys: Ctrl+Shift+F anywhere in the card toggles its search. It is taken at
// the shortcut-override stage, before any shortcut (a pane's own find
// binding included) is matched, so exactly one binding acts. Escape: see
// ExpandedCard; an Escape that reaches the overlay collapses.
//
// Threads: the main thread. Ownership: a child of its host; it owns the card
// and reads the store, which outlives it.
#pragma once

#include "app/store/SessionStore.h"
#include "app/ui/expanded/CardShadow.h"

#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class QVariantAnimation;

namespace tilebay {

class ExpandedCard;

class ExpandedView final : public QWidget {
    Q_OBJECT
public:
    static constexpr int defaultDurationMs = 240;
    static constexpr qreal cardFraction = 0.86;
    static constexpr qreal scrimOpacity = 0.38;

    enum class Phase : unsigned char { hidden, opening, open, closing };

    ExpandedView(SessionStore& store, QWidget* host);
    ~ExpandedView() override;

    // Where a cell's tile is, in this overlay's coordinates; the grid sets it.
    // Without it (or without an answer) the picture grows from the middle.
    std::function<std::optional<QRect>(const QString& id)> tileRect;

    // 0 switches the animation off: the card appears and goes at once.
    void setDuration(int ms);
    // Ends a running animation at once, in its final state.
    void finishAnimation();

    Phase phase() const { return phase_; }
    ExpandedCard* card() const { return card_; }
    // The card's rectangle for the overlay's current size.
    QRect cardRect() const;
    // Collapses the card (animated) and clears the store's expandedID.
    void collapse();

signals:
    // The live card is in place, or the overlay is gone.
    void settled();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void expandedChanged();
    void open(const std::shared_ptr<TerminalSession>& cell);
    // Grabs the card, hands its panes back and animates the picture away.
    void close(bool animate);
    void dropCard();
    void startAnimation(const QRect& from, const QRect& to);
    void animationDone();
    QRect originFor(const QString& id) const;
    // Gives the keyboard focus to the pane chosen at the last close, once a
    // tile shows it again; with `onlyIfUnclaimed`, only when no other widget
    // of the window took the focus meanwhile.
    void refocusPane(bool onlyIfUnclaimed);
    void placeLiveCard();
    bool routeFindKey(QObject* watched, QEvent* event);

    SessionStore& store_;
    QWidget* host_;
    ExpandedCard* card_ = nullptr;
    QString cellId_;
    Phase phase_ = Phase::hidden;
    int durationMs_ = defaultDurationMs;
    QVariantAnimation* animation_ = nullptr;
    qreal progress_ = 1;  // of the running animation, eased
    QPixmap snapshot_;
    QRect from_, to_;
    bool fromTile_ = false;
    QPointer<QWidget> paneToFocus_;
    CardShadow shadow_;
};

}  // namespace tilebay
