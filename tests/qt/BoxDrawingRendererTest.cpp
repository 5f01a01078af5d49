// Box drawing: stroke bands, dashes, corners and seamless joins of the
// characters terminal multiplexers and editors draw borders with.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "corvel/qt/BoxDrawingRenderer.h"
#include "corvel/qt/DevicePixelScope.h"
#include "tests/qt/PixelProbe.h"

using namespace corvel::qt;
using corvel::qt::test::blankImage;
using corvel::qt::test::describe;

namespace {

const QRgb white = qRgb(255, 255, 255);
const QRgb black = qRgb(0, 0, 0);

// One character in a w x h cell at scale 2 with base thickness 2, as in the
// row pass (anti-aliasing off).
QImage drawOne(char32_t cp, int w = 16, int h = 34, qreal scale = 2.0, int base = 2)
{
    QImage image = blankImage(w, h);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    BoxDrawingRenderer::draw(painter, cp, QRect(0, 0, w, h), scale, Qt::black, base);
    return image;
}

// The rows of pixel column x that are painted.
std::vector<int> paintedRows(const QImage& image, int x)
{
    std::vector<int> rows;
    for (int y = 0; y < image.height(); ++y) {
        if (image.pixel(x, y) != white) rows.push_back(y);
    }
    return rows;
}

std::vector<int> paintedColumns(const QImage& image, int y)
{
    std::vector<int> cols;
    for (int x = 0; x < image.width(); ++x) {
        if (image.pixel(x, y) != white) cols.push_back(x);
    }
    return cols;
}

std::vector<int> range(int from, int to)
{
    std::vector<int> v;
    for (int i = from; i < to; ++i) v.push_back(i);
    return v;
}

}  // namespace

TEST(BoxDrawingRendererTest, LinesFillTheirBandsIn16By34Cell)
{
    // Light: rows 16..17 across the whole width; heavy: rows 15..18.
    const QImage light = drawOne(0x2500);
    for (int x : {0, 8, 15}) EXPECT_EQ(paintedRows(light, x), range(16, 18)) << x;
    EXPECT_EQ(paintedRows(drawOne(0x2501), 0), range(15, 19));
    // Double: two light rails with a light gap between them.
    EXPECT_EQ(paintedRows(drawOne(0x2550), 5), (std::vector<int>{14, 15, 18, 19}));
    // Vertical light: columns 7..8 from top to bottom.
    const QImage vertical = drawOne(0x2502);
    EXPECT_EQ(paintedColumns(vertical, 0), range(7, 9));
    EXPECT_EQ(paintedColumns(vertical, 33), range(7, 9));
    // Light right half: from the centre band to the right edge only.
    const QImage half = drawOne(0x2576);
    EXPECT_EQ(paintedColumns(half, 16), range(7, 16));
    EXPECT_TRUE(paintedRows(half, 3).empty());
    // Light down and right: the corner is closed, nothing up or left.
    const QImage corner = drawOne(0x250C);
    EXPECT_EQ(paintedColumns(corner, 16), range(7, 16));
    EXPECT_EQ(paintedRows(corner, 7), range(16, 34));
    // Double down and right: nested outer and inner corners.
    const QImage dbl = drawOne(0x2554);
    EXPECT_EQ(paintedColumns(dbl, 14), range(5, 16));   // outer horizontal rail
    // The inner horizontal rail starts past the inner vertical rail, leaving
    // the gap between the rails open.
    EXPECT_EQ(paintedColumns(dbl, 18), (std::vector<int>{5, 6, 9, 10, 11, 12, 13, 14, 15}));
    EXPECT_EQ(paintedRows(dbl, 5), range(14, 34));  // outer vertical rail
    EXPECT_EQ(paintedRows(dbl, 9), (std::vector<int>{14, 15, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33}));
    // A light line crossing a heavy one runs through the heavy band.
    const QImage cross = drawOne(0x253F);  // vertical light, horizontal heavy
    EXPECT_EQ(paintedRows(cross, 7), range(0, 34));
    EXPECT_EQ(paintedRows(cross, 0), range(15, 19));
}

TEST(BoxDrawingRendererTest, DashesCornersDiagonalsAndOtherCodePoints)
{
    // Horizontal triple dash in a 16-wide cell: gap min(16 / 6, 4) = 2, the 10
    // remaining pixels as dashes of 4, 3, 3 starting half a gap from the left.
    const QImage h3 = drawOne(0x2504);
    EXPECT_EQ(paintedColumns(h3, 16), (std::vector<int>{1, 2, 3, 4, 7, 8, 9, 12, 13, 14}));
    // Vertical triple dash starts at the top edge: gap 4, dashes of 8, 7, 7.
    const QImage v3 = drawOne(0x2506);
    EXPECT_EQ(paintedRows(v3, 7), [] {
        std::vector<int> v = range(0, 8);
        for (int y : range(12, 19)) v.push_back(y);
        for (int y : range(23, 30)) v.push_back(y);
        return v;
    }());
    // A cell narrower than twice the dash count draws one solid light line.
    const QImage narrow = drawOne(0x2504, 5, 34, 2.0, 2);
    EXPECT_EQ(paintedColumns(narrow, 16), range(0, 5));
    EXPECT_EQ(paintedRows(narrow, 2), range(16, 18));
    // Rounded corner (down and right) with t = 2: R = min(8 - 1, 4.8) = 4.8,
    // stubs end at int(1 + 16 + 4.8) = 21 and int(1 + 7 + 4.8) = 12, arc centre
    // (12.8, 21.8) with the ring between radii 3.8 and 5.8 toward the top left.
    const QImage arc = drawOne(0x256D);
    EXPECT_EQ(arc.pixel(7, 21), black);
    EXPECT_EQ(arc.pixel(7, 33), black);
    EXPECT_EQ(arc.pixel(12, 16), black);
    EXPECT_EQ(arc.pixel(15, 17), black);
    EXPECT_NE(arc.pixel(9, 18), white) << "the arc at 45 degrees";
    EXPECT_EQ(arc.pixel(7, 10), white) << "no stub above the corner";
    EXPECT_EQ(arc.pixel(2, 16), white) << "no stub left of the corner";
    EXPECT_EQ(arc.pixel(14, 25), white) << "nothing in the quadrant past the centre";
    EXPECT_EQ(arc.pixel(12, 12), white);
    // Diagonals reach the cell corners.
    const QImage diag = drawOne(0x2571);
    EXPECT_NE(diag.pixel(15, 0), white);
    EXPECT_NE(diag.pixel(0, 33), white);
    EXPECT_EQ(diag.pixel(0, 0), white);
    const QImage both = drawOne(0x2573);
    EXPECT_NE(both.pixel(0, 0), white);
    EXPECT_NE(both.pixel(15, 0), white);
    // Outside the box-drawing block nothing is drawn.
    for (char32_t cp : {0x2580u, 0x24FFu, 0x41u, 0x10FFFFu}) {
        const QImage none = drawOne(cp);
        for (int y = 0; y < 34; ++y) ASSERT_TRUE(paintedColumns(none, y).empty()) << std::hex << uint32_t(cp);
    }
    // Every character stays inside its cell: drawn into the middle of a larger
    // image, nothing lands outside the cell rectangle.
    for (char32_t cp = 0x2500; cp <= 0x257F; ++cp) {
        QImage image = blankImage(40, 60);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, false);
        BoxDrawingRenderer::draw(painter, cp, QRect(12, 13, 16, 34), 2.0, Qt::black, 2);
        painter.end();
        // Diagonals are stroked past the corners so that neighbours join;
        // their butt ends may reach two pixels out.
        const int slack = cp >= 0x2571 && cp <= 0x2573 ? 2 : 0;
        for (int y = 0; y < 60; ++y) {
            for (int x = 0; x < 40; ++x) {
                const bool inside = x >= 12 - slack && x < 28 + slack && y >= 13 - slack && y < 47 + slack;
                if (!inside) {
                    ASSERT_EQ(image.pixel(x, y), white) << std::hex << uint32_t(cp) << std::dec << " at " << x << "," << y;
                }
            }
        }
    }
}

// The borders tmux and vim draw (panes split side by side and stacked, with
// tees and a cross), laid out in a grid of cells, meet without a gap at
// several cell heights and device pixel ratios: every pixel on the centre
// line of each border is painted from the first border cell to the last.
TEST(BoxDrawingRendererTest, MultiplexerBordersMeetWithoutGaps)
{
    const std::vector<std::u32string> grid = {
        U"┌──┬──┐",
        U"│  │  │",
        U"├──┼──┤",
        U"│  │  │",
        U"└──┴──┘",
    };
    const int gridCols = 7;
    for (const int cellHeight : {10, 13, 17}) {
        for (const qreal scale : {1.0, 2.0}) {
            const int ch = static_cast<int>(cellHeight * scale);
            const int cw = static_cast<int>(std::ceil(cellHeight * 0.6) * scale);
            const int base = BoxDrawingRenderer::baseThicknessPx(scale, 1.0);
            QImage image = blankImage(cw * gridCols, ch * static_cast<int>(grid.size()), Qt::white, scale);
            {
                QPainter painter(&image);
                DevicePixelScope px(painter, scale);
                painter.setRenderHint(QPainter::Antialiasing, false);
                for (size_t row = 0; row < grid.size(); ++row) {
                    for (int col = 0; col < gridCols; ++col) {
                        BoxDrawingRenderer::draw(painter, grid[row][col],
                                                 QRect(col * cw, static_cast<int>(row) * ch, cw, ch), scale,
                                                 Qt::black, base);
                    }
                }
            }
            const std::string where = "height " + std::to_string(cellHeight) + " scale " + std::to_string(scale);
            corvel::qt::test::saveRender(image, ("borders-" + std::to_string(cellHeight) + "-" +
                                                 std::to_string(int(scale)) + ".png").c_str());
            const int t = std::max(static_cast<int>(scale), base);
            const int bandY = std::max(ch - t, 0) / 2;
            const int bandX = std::max(cw - t, 0) / 2;
            for (int row : {0, 2, 4}) {
                for (int x = bandX; x < cw * (gridCols - 1) + bandX + t; ++x) {
                    ASSERT_EQ(image.pixel(x, row * ch + bandY), black) << where << " row " << row << " x " << x;
                }
            }
            for (int col : {0, 3, 6}) {
                for (int y = bandY; y < ch * 4 + bandY + t; ++y) {
                    ASSERT_EQ(image.pixel(col * cw + bandX, y), black) << where << " col " << col << " y " << y;
                }
            }
            // Inside the panes nothing is painted.
            EXPECT_EQ(image.pixel(cw + cw / 2, ch + ch / 2), white) << where;
        }
    }
}
