// Symbol artwork: every name the views use has ink, drawn in the caller's
// colour at the requested device pixel ratio, and cached per name, size,
// colour and ratio.
#include "app/core/TerminalStatus.h"
#include "app/ui/design/StatusLook.h"
#include "app/ui/icons/SymbolIcons.h"
#include "tests/app/ui/support/UiTestSupport.h"

#include <gtest/gtest.h>

using namespace tilebay;
using namespace tilebay::test;

namespace {

// The symbol names of the grid, tile, add tile, expanded cell, toolbar, legend,
// sheets, onboarding guide and import panel.
const QStringList kViewSymbols = {
    "plus", "xmark", "circle", "plus.circle", "play.circle", "pause.circle",
    "exclamationmark.circle", "questionmark.circle", "checkmark.circle.fill", "chevron.up",
    "chevron.down", "chevron.right", "magnifyingglass", "gearshape", "timer", "terminal",
    "trash", "eject", "bolt", "return", "arrow.clockwise", "rectangle.on.rectangle",
    "plus.rectangle.on.rectangle", "square.stack.3d.up", "rectangle.grid.3x2",
    "square.grid.2x2", "circle.grid.cross", "rectangle.split.2x1", "minus.rectangle",
    "dot.radiowaves.left.and.right", "arrow.up.left.and.arrow.down.right",
    "arrow.down.right.and.arrow.up.left",
    "arrow.up.left.and.down.right.and.arrow.up.right.and.down.left", "arrow.up.forward.app"};

struct Ink {
    int covered = 0;      // pixels with any coverage
    int offColour = 0;    // covered pixels whose colour is not the requested one
};

Ink inkOf(const QPixmap& pm, const QColor& colour)
{
    Ink ink;
    const QImage img = pm.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QColor c = img.pixelColor(x, y);
            if (c.alpha() == 0) continue;
            ++ink.covered;
            if (c.alpha() > 64 && !near(c, colour, 6)) ++ink.offColour;
        }
    return ink;
}

}  // namespace

TEST(SymbolIcons, EveryViewSymbolHasArtworkInTheCallersColour)
{
    uiApp();
    for (TerminalStatus s : allTerminalStatuses)
        EXPECT_TRUE(kViewSymbols.contains(QString::fromLatin1(statusLook(s).symbol)));

    const QColor colour(20, 140, 220);
    for (const QString& name : kViewSymbols) {
        SCOPED_TRACE(name.toStdString());
        ASSERT_TRUE(SymbolIcons::has(name));
        for (qreal ratio : {1.0, 1.5, 2.0}) {
            const QPixmap pm = SymbolIcons::pixmap(name, 16, colour, ratio);
            ASSERT_FALSE(pm.isNull());
            EXPECT_EQ(pm.devicePixelRatio(), ratio);
            EXPECT_EQ(pm.width(), qCeil(16 * ratio));
            const Ink ink = inkOf(pm, colour);
            const int area = pm.width() * pm.height();
            EXPECT_GT(ink.covered, area / 12) << ratio;  // a real drawing, not a speck
            EXPECT_LT(ink.covered, area) << ratio;       // and not a filled square
            EXPECT_EQ(ink.offColour, 0) << ratio;
        }
    }
    EXPECT_FALSE(SymbolIcons::has(QStringLiteral("nosuch.symbol")));
    EXPECT_TRUE(SymbolIcons::pixmap(QStringLiteral("nosuch.symbol"), 16, colour, 1).isNull());
    EXPECT_TRUE(SymbolIcons::pixmap(QStringLiteral("plus"), 0, colour, 1).isNull());
}

TEST(SymbolIcons, FilledCheckmarkIsPunchedOutOfItsDisc)
{
    uiApp();
    const QImage img = SymbolIcons::pixmap(QStringLiteral("checkmark.circle.fill"), 24,
                                           Qt::black, 2).toImage();
    // On the check's stroke (10.7, 15.2 of 24) the disc is cut away; beside it, inked.
    EXPECT_EQ(qAlpha(img.pixel(int(10.7 * 2), int(15.2 * 2))), 0);
    EXPECT_EQ(qAlpha(img.pixel(int(12 * 2), int(5 * 2))), 255);
}

TEST(SymbolIcons, CachedPerNameSizeColourAndRatio)
{
    uiApp();
    const auto a = SymbolIcons::pixmap(QStringLiteral("timer"), 13, Qt::red, 2);
    EXPECT_EQ(SymbolIcons::pixmap(QStringLiteral("timer"), 13, Qt::red, 2).cacheKey(), a.cacheKey());
    for (const QPixmap& other :
         {SymbolIcons::pixmap(QStringLiteral("bolt"), 13, Qt::red, 2),
          SymbolIcons::pixmap(QStringLiteral("timer"), 14, Qt::red, 2),
          SymbolIcons::pixmap(QStringLiteral("timer"), 13, Qt::blue, 2),
          SymbolIcons::pixmap(QStringLiteral("timer"), 13, QColor(255, 0, 0, 128), 2),
          SymbolIcons::pixmap(QStringLiteral("timer"), 13, Qt::red, 1.5)})
        EXPECT_NE(other.cacheKey(), a.cacheKey());
    // A translucent colour keeps its alpha in the artwork.
    const QImage half = SymbolIcons::pixmap(QStringLiteral("checkmark.circle.fill"), 24,
                                            QColor(0, 0, 0, 128), 1).toImage();
    EXPECT_NEAR(qAlpha(half.pixel(12, 5)), 128, 2);
}
