// A symbol image of any logical size for the sheets and the import panel:
// drawn in a fixed colour, or in the palette's secondary text colour when
// none is set, centred in the widget. Main thread; owned by its parent widget.
#pragma once

#include <QColor>
#include <QWidget>

namespace tilebay {

class SheetSymbol : public QWidget {
    Q_OBJECT
public:
    // `size` is the symbol's side; `frameWidth` widens the widget (0: the size).
    SheetSymbol(const QString& symbol, int size, QWidget* parent = nullptr, int frameWidth = 0);

    QString symbol() const { return symbol_; }
    void setColour(const QColor& colour);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString symbol_;
    int size_;
    int frameWidth_;
    QColor colour_;
};

}  // namespace tilebay
