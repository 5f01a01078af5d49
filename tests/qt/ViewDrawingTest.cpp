// The view's own drawing, probed by pixel: backgrounds to the right edge, the
// strip below the grid, repainting a band of rows only, and the view's
// selection colour and link highlight reaching the rows. (Glyph placement,
// concealed text and decorations are RowPainterTest's.)
#include "QtTestSupport.h"
#include "ViewRender.h"

#include <gtest/gtest.h>

namespace corvel {
namespace {

using testing::cellPixels;
using testing::countColor;
using testing::renderView;
using testing::testFont;

QColor nativeBg(TerminalView& view)
{
    return view.nativeBackgroundColor()->toQColor();
}

// Pixels of `area` that differ from `background`.
int ink(const QImage& image, const QRect& area, QColor background)
{
    return area.width() * area.height() - countColor(image, area, background, 40);
}

Attribute attributeAt(TerminalView& view, int col, int row)
{
    return view.getTerminal().getCharData(col, row)->attribute;
}

TEST(ViewDrawing, BackgroundsReachTheEdgesAndDirtyBandsRepaintOnlyTheirRows)
{
    TerminalView view(QRect(0, 0, 400, 205), testFont());
    testing::feed(view, "\x1b[41mX\x1b[K\x1b[0m\r\n\r\nrow 2");
    const QImage image = renderView(view);
    const QColor red = view.runStyle(attributeAt(view, 0, 0), false).background;
    // The erased row is red up to the view's right edge, over the columns past the grid.
    const QRect row0 = cellPixels(view, 0, 0);
    EXPECT_EQ(image.pixelColor(image.width() - 1, row0.center().y()).rgb(), red.rgb());
    // Below the last grid row: the native background.
    const double gridBottom = view.cellDimension()->height() * view.getTerminal().rows();
    ASSERT_LT(gridBottom, view.height());
    EXPECT_EQ(image.pixelColor(3, image.height() - 1).rgb(), nativeBg(view).rgb());

    // Row 1's band alone: rows 0 and 2 keep what was there.
    QImage base(image.size(), QImage::Format_ARGB32_Premultiplied);
    base.fill(Qt::magenta);
    const QImage band = renderView(view, view.rowsRegion(1, 1), base);
    EXPECT_EQ(band.pixelColor(row0.center()), QColor(Qt::magenta));
    EXPECT_EQ(band.pixelColor(cellPixels(view, 0, 1).center()).rgb(), nativeBg(view).rgb());
    EXPECT_EQ(band.pixelColor(cellPixels(view, 0, 2).center()), QColor(Qt::magenta));
    // A band ending on the last row reaches the bottom, strip included.
    EXPECT_EQ(view.rowsRegion(2, view.getTerminal().rows() - 1).bottom(), view.height() - 1);

    // The redraw task consumes the dirty rows.
    testing::feed(view, "\x1b[5;1Hmore");
    view.queuePendingDisplay();
    ASSERT_TRUE(testing::pumpUntil([&] { return !view.pendingDisplay(); }));
    EXPECT_FALSE(view.getTerminal().getUpdateRange());
}

TEST(ViewDrawing, SelectionAndLinkHighlightAreDrawn)
{
    TerminalView view(QRect(0, 0, 400, 200), testFont());
    testing::feed(view, "select me\r\n\x1b]8;;https://example.org\x1b\\link\x1b]8;;\x1b\\");
    view.setSelectedTextBackgroundColor(DeviceColor{0, 0, 1, 1});
    view.selection().setSelection(Position{0, 0}, Position{6, 0});
    view.selection().setActive(true);
    view.linkHighlightMode = qt::LinkHighlightMode::always;
    const QImage image = renderView(view);
    const QRect selected = cellPixels(view, 0, 0, 6);
    EXPECT_GT(countColor(image, selected, Qt::blue, 4), selected.width() * selected.height() / 2);
    EXPECT_EQ(countColor(image, cellPixels(view, 7, 0), Qt::blue, 4), 0);

    // Every linked cell gets a dashed underline: lower-quarter ink, with gaps.
    const QRect link = cellPixels(view, 0, 1, 4);
    const QRect low(link.left(), link.top() + link.height() * 3 / 4, link.width(), link.height() / 4);
    const QImage plain = [&] {
        view.linkHighlightMode = qt::LinkHighlightMode::hover;
        return renderView(view);
    }();
    EXPECT_GT(ink(image, low, nativeBg(view)), ink(plain, low, nativeBg(view)));
}

}  // namespace
}  // namespace corvel
