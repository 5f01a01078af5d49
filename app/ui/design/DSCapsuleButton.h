// The common ground of the design system's two buttons: a capsule-shaped push
// button showing an optional symbol followed by an optional title. Its size is
// the label plus the style's padding, only the capsule takes clicks, it takes
// focus by Tab (Space presses it) and shows an orange ring while focused from
// the keyboard. Given less width than its label, the title is cut at the tail
// (its minimum keeps an ellipsis). A disabled button paints at 40 % opacity. The two styles supply
// the fill, stroke and pressed look in paintEvent. Main thread; owned by its
// parent widget.
#pragma once

#include <QAbstractButton>
#include <QFont>

class QPainter;

namespace tilebay {

class DSCapsuleButton : public QAbstractButton {
    Q_OBJECT
public:
    // A symbol name known to SymbolIcons, shown before the title; empty for none.
    void setSymbol(const QString& name);
    QString symbol() const { return symbol_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    // The size the button would ask for with `title` instead of its own.
    QSize sizeHintFor(const QString& title) const;

    // The capsule in widget coordinates: the whole rectangle, ends fully round.
    QRectF capsuleRect() const;

protected:
    DSCapsuleButton(int padX, int padY, QFont::Weight weight, QWidget* parent);

    bool hitButton(const QPoint& pos) const override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

    // Draws symbol and title centred in the capsule in one colour.
    void paintLabel(QPainter& painter, const QColor& colour) const;
    // The keyboard focus ring along the capsule's edge; `inner` is a thin line
    // just inside it that keeps the ring visible on an orange fill.
    void paintFocusRing(QPainter& painter, const QColor& inner) const;
    bool showsFocusRing() const { return hasFocus() && keyboardFocus_; }
    // Opacity for the enabled state: 1, or 0.4 when disabled.
    qreal enabledOpacity() const { return isEnabled() ? 1.0 : 0.4; }

private:
    QSize labelSize(const QString& title) const;

    int padX_;
    int padY_;
    QString symbol_;
    bool keyboardFocus_ = false;
};

}  // namespace tilebay
