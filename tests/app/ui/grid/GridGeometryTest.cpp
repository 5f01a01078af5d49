// The grid arithmetic on its worked examples, the fit/scroll boundary, a
// narrow area, and the whole-pixel slot rectangles.
#include "app/ui/grid/GridGeometry.h"

#include <gtest/gtest.h>

using namespace tilebay;

namespace {

struct Example {
    double w, h;
    int cells;
    double zoom;
    int cols, rows;
    bool scrolls;
    double cellW, cellH;
};

}  // namespace

TEST(GridGeometry, WorkedExamples)
{
    const Example examples[] = {
        {1200, 800, 3, 1.0, 4, 1, false, 286.5, 776},
        {1200, 800, 7, 1.0, 4, 2, false, 286.5, 383},
        {1000, 600, 5, 1.0, 3, 2, false, 956.0 / 3, 283},
        {1000, 600, 20, 1.0, 3, 7, true, 956.0 / 3, 160},
        {800, 600, 0, 1.0, 1, 1, false, 776, 576},
        {1200, 800, 3, 3.0, 1, 4, true, 1176, 480},
        // Two cells in a wide area: three columns, never an empty slot.
        {1600, 400, 2, 1.0, 3, 1, false, (1576.0 - 20) / 3, 376},
    };
    for (const Example& e : examples) {
        SCOPED_TRACE(testing::Message() << e.w << "x" << e.h << " n=" << e.cells << " zoom " << e.zoom);
        const GridGeometry g = computeGridLayout(e.w, e.h, e.cells, e.zoom);
        EXPECT_EQ(g.cols, e.cols);
        EXPECT_EQ(g.rows, e.rows);
        EXPECT_EQ(g.scrolls, e.scrolls);
        EXPECT_NEAR(g.cellW, e.cellW, 1e-9);
        EXPECT_NEAR(g.cellH, e.cellH, 1e-9);
    }
    EXPECT_DOUBLE_EQ(computeGridLayout(1000, 600, 20, 1.0).needed, 1180);
    EXPECT_DOUBLE_EQ(computeGridLayout(1200, 800, 3, 3.0).needed, 1950);
}

TEST(GridGeometry, NeededEqualToTheHeightFitsOneMoreScrolls)
{
    // 3 cells in one column: 4 rows need 4 * 160 + 30 = 670.
    const double exact = 670 + 2 * GridGeometry::pad;
    const GridGeometry fits = computeGridLayout(300, exact, 3, 1.0);
    EXPECT_EQ(fits.cols, 1);
    EXPECT_FALSE(fits.scrolls);
    EXPECT_DOUBLE_EQ(fits.cellH, 160);
    const GridGeometry scrolls = computeGridLayout(300, exact - 1, 3, 1.0);
    EXPECT_TRUE(scrolls.scrolls);
    EXPECT_DOUBLE_EQ(scrolls.cellH, 160);
    EXPECT_EQ(scrolls.contentHeight(), 670 + 24);
}

TEST(GridGeometry, NarrowAreaGetsOneColumnOfTheAvailableWidth)
{
    const GridGeometry g = computeGridLayout(100, 2000, 4, 1.0);
    EXPECT_EQ(g.cols, 1);
    EXPECT_EQ(g.rows, 5);
    EXPECT_DOUBLE_EQ(g.cellW, 76);
    // Degenerate areas still give one slot of at least a pixel.
    const GridGeometry tiny = computeGridLayout(0, 0, 0, 0.5);
    EXPECT_EQ(tiny.cols, 1);
    EXPECT_GE(tiny.slotRect(0).width(), 1);
}

TEST(GridGeometry, SlotEdgesAreRoundedAndNeverOverlap)
{
    const GridGeometry g = computeGridLayout(1200, 800, 3, 1.0);
    const int widths[] = {287, 286, 287, 286};
    for (int i = 0; i < 4; ++i) {
        const QRect r = g.slotRect(i);
        EXPECT_EQ(r.width(), widths[i]) << i;
        EXPECT_EQ(r.top(), 12);
        EXPECT_EQ(r.height(), 776);
        if (i > 0) {
            EXPECT_EQ(r.left() - g.slotRect(i - 1).right() - 1, 10) << i;
        }
    }
    EXPECT_EQ(g.slotRect(3).right(), 1200 - 12 - 1);
    // Second row of the 7-cell example starts one gap below the first.
    const GridGeometry two = computeGridLayout(1200, 800, 7, 1.0);
    EXPECT_EQ(two.slotRect(4).top(), two.slotRect(0).bottom() + 1 + 10);
    EXPECT_EQ(two.slotRect(4).left(), 12);
}
