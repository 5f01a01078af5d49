#include "app/ui/grid/GridGeometry.h"

#include <algorithm>
#include <cmath>

namespace tilebay {

GridGeometry computeGridLayout(double W, double H, int n, double zoom)
{
    GridGeometry g;
    const double gap = GridGeometry::gap;
    const double pad = GridGeometry::pad;
    g.slotCount = std::max(n, 0) + 1;
    g.availW = std::max(W - 2 * pad, 1.0);
    g.availH = std::max(H - 2 * pad, 1.0);
    const double tileW = zoom * GridGeometry::naturalWidth;
    const double tileH = zoom * GridGeometry::naturalHeight;

    // Truncation toward zero; never more columns than slotCount, never none.
    const double fitting = (g.availW + gap) / (tileW + gap);
    int cols = fitting >= g.slotCount ? g.slotCount : static_cast<int>(fitting);
    cols = std::clamp(cols, 1, g.slotCount);
    g.cols = cols;
    g.rows = std::max((g.slotCount + cols - 1) / cols, 1);
    g.cellW = (g.availW - gap * (cols - 1)) / cols;
    g.needed = tileH * g.rows + gap * (g.rows - 1);
    g.scrolls = g.needed > g.availH;
    g.cellH = g.scrolls ? tileH : (g.availH - gap * (g.rows - 1)) / g.rows;
    return g;
}

QRect GridGeometry::slotRect(int index) const
{
    const int c = index % cols;
    const int r = index / cols;
    const double x = pad + c * (cellW + gap);
    const double y = pad + r * (cellH + gap);
    const int left = static_cast<int>(std::lround(x));
    const int top = static_cast<int>(std::lround(y));
    const int right = static_cast<int>(std::lround(x + cellW));
    const int bottom = static_cast<int>(std::lround(y + cellH));
    return QRect(left, top, std::max(right - left, 1), std::max(bottom - top, 1));
}

int GridGeometry::contentHeight() const
{
    const double rowsHeight = cellH * rows + gap * (rows - 1);
    return static_cast<int>(std::ceil(rowsHeight + 2 * pad));
}

}  // namespace tilebay
