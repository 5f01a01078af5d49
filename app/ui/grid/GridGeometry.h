// The grid's arithmetic: from the size of the free area, the number of cells
// and the zoom factor, the columns, rows and one common tile size, and whether
// the rows fit the height (fit mode) or keep their natural height and scroll.
// The last slot after the cells is the add tile. Slot rectangles are snapped to
// whole pixels with every edge at round(pad + i * (cell + gap)), so neighbours
// never overlap and the gaps stay even. Pure values and functions; any thread.
#pragma once

#include <QRect>

namespace tilebay {

struct GridGeometry {
    static constexpr double gap = 10;   // between neighbouring tiles, both ways
    static constexpr double pad = 12;   // around the whole grid
    static constexpr double naturalWidth = 240;
    static constexpr double naturalHeight = 160;

    int slotCount = 1;  // cells + the add tile
    int cols = 1;
    int rows = 1;
    double availW = 1;
    double availH = 1;
    double cellW = 1;
    double cellH = 1;
    double needed = 0;  // height of the rows at their natural height
    bool scrolls = false;

    // The slot's rectangle in the grid's own coordinates (pad included).
    QRect slotRect(int index) const;
    // The height the grid's content takes: the free area's in fit mode, the
    // rows' plus padding when scrolling.
    int contentHeight() const;
};

// W x H is the free area in logical pixels, n the number of cells.
GridGeometry computeGridLayout(double W, double H, int n, double zoom);

}  // namespace tilebay
