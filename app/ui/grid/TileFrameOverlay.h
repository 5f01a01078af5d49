// The rounded frame of a tile, drawn over everything in it: the four corners
// outside a 14 px rounded rectangle are filled with the window background (so
// live terminals under it look clipped without a mask or effect), then the
// rectangle's inner border is stroked, 1 px in the separator colour or, while
// a drop hovers, 2 px orange. It takes no mouse events. Main thread; owned by
// its tile.
#pragma once

#include <QWidget>

namespace tilebay {

class TileFrameOverlay : public QWidget {
    Q_OBJECT
public:
    static constexpr qreal radius = 14;

    explicit TileFrameOverlay(QWidget* parent);

    void setHighlighted(bool on);
    bool highlighted() const { return highlighted_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool highlighted_ = false;
};

}  // namespace tilebay
