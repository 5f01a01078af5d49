// A plain button whose whole face is a bare symbol image: no border, no fill,
// drawn in the palette's text colour (or a tint) and dimmed while pressed or
// disabled. It takes focus by Tab and shows the orange ring when focused from
// the keyboard. Main thread; owned by its parent widget.
#pragma once

#include "app/ui/icons/SymbolIcons.h"

#include <QAbstractButton>
#include <QColor>

namespace tilebay {

class SymbolButton : public QAbstractButton {
    Q_OBJECT
public:
    SymbolButton(const QString& symbol, SymbolScale scale, QWidget* parent = nullptr);

    QString symbol() const { return symbol_; }
    void setSymbol(const QString& symbol);
    // An invalid colour draws in the palette's text colour.
    void setTint(const QColor& colour);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QString symbol_;
    int size_;
    QColor tint_;
    bool keyboardFocus_ = false;
};

}  // namespace tilebay
