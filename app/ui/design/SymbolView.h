// A symbol image on its own: a square of the symbol's logical size drawn in a
// fixed colour or in the palette's secondary text colour. Main thread; owned by
// its parent widget.
#pragma once

#include "app/ui/icons/SymbolIcons.h"

#include <QColor>
#include <QWidget>

namespace tilebay {

class SymbolView : public QWidget {
    Q_OBJECT
public:
    SymbolView(const QString& symbol, SymbolScale scale, QWidget* parent = nullptr);

    QString symbol() const { return symbol_; }
    // An invalid colour draws in the secondary text colour.
    void setColour(const QColor& colour);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString symbol_;
    int size_;
    QColor colour_;
};

}  // namespace tilebay
