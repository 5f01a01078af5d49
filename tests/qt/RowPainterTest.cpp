// Row drawing into images, probed by pixel: backgrounds to the right edge,
// the five underline styles, decorations of wide cells, glyphs on the cell
// grid, concealed text, double-size rows and the glyph cache.
// The core headers come before any Qt header: Qt defines `emit` as a macro.
#include "corvel/terminal/Terminal.h"

#include <gtest/gtest.h>

#include <QFontDatabase>

#include <algorithm>
#include <cmath>
#include <set>

#include "corvel/qt/LineBuilder.h"
#include "corvel/qt/RowPainter.h"
#include "tests/qt/FakeRunStyles.h"
#include "tests/qt/PixelProbe.h"
#include "tests/corvel/support/TestHost.h"

using namespace corvel;
using namespace corvel::qt;
using corvel::testing::TestHost;
using corvel::qt::test::blankImage;
using corvel::qt::test::describe;

namespace {

std::array<QFont, 4> dejaVu(int pixelSize)
{
    std::array<QFont, 4> faces;
    for (int i = 0; i < 4; ++i) {
        QFont f(QStringLiteral("DejaVu Sans Mono"));
        f.setPixelSize(pixelSize);
        f.setBold(i == 1 || i == 3);
        f.setItalic(i == 2 || i == 3);
        faces[i] = f;
    }
    return faces;
}

class RowDrawing : public ::testing::Test {
protected:
    static constexpr int cols = 10;
    std::shared_ptr<TestHost> host = std::make_shared<TestHost>();
    std::unique_ptr<Terminal> terminal = [this] {
        TerminalOptions options;
        options.cols = cols;
        options.rows = 3;
        return std::make_unique<Terminal>(host, options);
    }();
    test::FakeRunStyles styles;
    LineBuilder builder{*terminal, styles};
    GlyphRunCache glyphs{dejaVu(13)};
    RowTextMetrics metrics = RowTextMetrics::fromFonts(glyphs);
    qreal scale = 1.0;
    int cw = 0;  // cell size in device pixels
    int ch = 0;
    int extra = 13;  // pixels of view right of the last column

    void SetUp() override { setScale(1.0); }
    void setScale(qreal s)
    {
        scale = s;
        const QRawFont& raw = glyphs.rawFont(FontFace::normal);
        cw = static_cast<int>(std::ceil(raw.advancesForGlyphIndexes(raw.glyphIndexesForString("W"))[0].x() * s));
        ch = static_cast<int>(std::ceil(std::ceil(raw.ascent() + raw.descent() + raw.leading()) * s));
    }
    RowGeometry geometry() const
    {
        RowGeometry g;
        g.top = 0;
        g.cellWidth = cw / scale;
        g.cellHeight = ch / scale;
        g.cols = cols;
        g.rowWidth = (cw * cols + extra) / scale;
        g.scale = scale;
        return g;
    }
    // Feeds `text` on a cleared screen and draws screen row 0 into an image
    // one row high (three rows for double-height rows, drawn in the middle).
    QImage render(std::string_view text, const char* saveAs = nullptr)
    {
        terminal->feed("\e[0m\e[H\e[2J");
        terminal->feed(text);
        Buffer& buffer = terminal->displayBuffer();
        const BufferLine& line = buffer.lines()[buffer.yDisp()];
        const ViewLineInfo info = builder.build(buffer.yDisp(), line, cols);
        const bool tall = line.renderMode != BufferLine::RenderLineMode::single;
        QImage image = blankImage(cw * cols + extra, tall ? 3 * ch : ch, Qt::white, scale);
        QPainter painter(&image);
        RowGeometry g = geometry();
        if (tall) g.top = g.cellHeight;
        RowPainter::drawRow(painter, info, line.renderMode, g, glyphs, metrics, {});
        painter.end();
        if (saveAs) test::saveRender(image, saveAs);
        return image;
    }
    static bool painted(const QImage& image, int x, int y) { return image.pixel(x, y) != qRgb(255, 255, 255); }
    // Painted pixels of a rectangle.
    static int count(const QImage& image, QRect r)
    {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y) {
            for (int x = r.left(); x <= r.right(); ++x) n += painted(image, x, y);
        }
        return n;
    }
    int underlineRow() const
    {
        return static_cast<int>(std::floor((ch / scale - metrics.descentAndLeading + metrics.underlinePosition) * scale));
    }
};

}  // namespace

TEST_F(RowDrawing, BackgroundsReachTheRightEdgeAndSelectionReplacesThem)
{
    for (qreal s : {1.0, 2.0}) {
        setScale(s);
        const QImage red = render("ab\e[41m\e[K", "row-background.png");
        const QRgb expected = test::FakeRunStyles::palette(1).rgb();
        EXPECT_EQ(red.pixel(cw * 2, ch / 2), expected);
        EXPECT_EQ(red.pixel(red.width() - 1, 0), expected) << "the strip right of the last column";
        EXPECT_EQ(red.pixel(red.width() - 1, ch - 1), expected);
        EXPECT_EQ(red.pixel(cw * 2 - 1, ch - 1), qRgb(255, 255, 255)) << "cells before the erase keep theirs";
    }
    setScale(1.0);
    builder.settings.selection = {Position{1, terminal->displayBuffer().yDisp()},
                                  Position{3, terminal->displayBuffer().yDisp()}};
    builder.settings.selectionBackground = QColor(0, 128, 0);
    const QImage selected = render("\e[41mabcdef");
    EXPECT_EQ(selected.pixel(cw * 1, 0), qRgb(0, 128, 0));
    EXPECT_EQ(selected.pixel(cw * 3 - 1, 0), qRgb(0, 128, 0));
    EXPECT_EQ(selected.pixel(cw * 3, 0), test::FakeRunStyles::palette(1).rgb());
}

// Underlined blanks, so only the decoration is painted.
TEST_F(RowDrawing, EveryCellItsOwnBackgroundFillsExactlyItsPixels)
{
    // Ten cells of alternating colours (concealed, so only backgrounds are
    // drawn): many fills in one row take the single-blit path.
    std::string text = "\e[8m";
    for (int c = 0; c < cols; ++c) text += "\e[4" + std::to_string(1 + c % 6) + "mX";
    for (qreal s : {1.0, 1.5, 2.0}) {
        setScale(s);
        const QImage image = render(text);
        for (int y = 0; y < ch; ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const int c = std::min(x / cw, cols - 1);
                ASSERT_EQ(image.pixel(x, y), test::FakeRunStyles::palette(1 + c % 6).rgb())
                    << "scale " << s << " at " << x << "," << y;
            }
        }
    }
}

TEST_F(RowDrawing, EachUnderlineStyleHasItsShape)
{
    for (qreal s : {1.0, 2.0}) {
        setScale(s);
        const int y = underlineRow();
        const int x0 = 0, x1 = cw * 4;
        auto paintedRows = [&](const QImage& image) {
            std::set<int> rows;
            for (int yy = 0; yy < ch; ++yy) {
                for (int x = x0; x < x1; ++x) {
                    if (painted(image, x, yy)) rows.insert(yy);
                }
            }
            return rows;
        };
        auto gapsAlong = [&](const QImage& image, int row) {
            int gaps = 0;
            for (int x = x0 + 1; x < x1 - 1; ++x) gaps += !painted(image, x, row) && painted(image, x - 1, row);
            return gaps;
        };
        const std::string where = "scale " + std::to_string(s);

        const QImage single = render("\e[4:1m    ", "underline-single.png");
        const std::set<int> singleRows = paintedRows(single);
        ASSERT_FALSE(singleRows.empty()) << where;
        EXPECT_LE(singleRows.size(), static_cast<size_t>(std::ceil(s))) << where;
        EXPECT_EQ(gapsAlong(single, *singleRows.begin()), 0) << where;
        EXPECT_NEAR(*singleRows.begin(), y, 1) << where;
        EXPECT_EQ(count(single, QRect(x1, 0, cw * cols - x1, ch)), 0) << "nothing after the underlined cells";

        const QImage dbl = render("\e[4:2m    ", "underline-double.png");
        const std::set<int> dblRows = paintedRows(dbl);
        EXPECT_EQ(dblRows.size(), 2 * singleRows.size()) << where;
        EXPECT_GT(*dblRows.rbegin() - *dblRows.begin(), static_cast<int>(singleRows.size())) << "two separate lines";

        const QImage curly = render("\e[4:3m    ", "underline-curly.png");
        EXPECT_GE(paintedRows(curly).size(), 3u) << where;

        const QImage dotted = render("\e[4:4m    ", "underline-dotted.png");
        const QImage dashed = render("\e[4:5m    ", "underline-dashed.png");
        const int dotRow = *paintedRows(dotted).begin();
        const int dashRow = *paintedRows(dashed).begin();
        EXPECT_GE(gapsAlong(dotted, dotRow), 4) << where;
        EXPECT_GE(gapsAlong(dashed, dashRow), 2) << where;
        EXPECT_GT(gapsAlong(dotted, dotRow), gapsAlong(dashed, dashRow)) << "dots are shorter than dashes";
    }
}

TEST_F(RowDrawing, WideCellsAreDecoratedAcrossBothColumns)
{
    const QImage under = render("\e[4m\u4E2D\e[0m", "underline-wide.png");
    const int y = underlineRow();
    int paintedInSecond = 0;
    for (int yy = y - 1; yy <= y + 1; ++yy) paintedInSecond += painted(under, cw + cw / 2, yy);
    EXPECT_GT(paintedInSecond, 0) << "the underline continues under the right half";
    EXPECT_EQ(count(under, QRect(2 * cw + 1, 0, cw, ch)), 0);

    const QImage struck = render("\e[9m\u4E2D\e[0m  ", "strike-wide.png");
    // The strikethrough runs through the right half, above the baseline.
    EXPECT_GT(count(struck, QRect(cw + cw / 2, 0, 1, ch)), 0);
    EXPECT_EQ(count(struck, QRect(2 * cw + 1, 0, cw, ch)), 0);
}

TEST_F(RowDrawing, GlyphsSitOnTheirCells)
{
    for (qreal s : {1.0, 2.0}) {
        setScale(s);
        // A combining mark does not move the next cell.
        const QImage combined = render("e\u0301X", "combining.png");
        const QImage plain = render("eX");
        const QRect second(cw, 0, cw, ch);
        EXPECT_GT(count(plain, second), 0);
        EXPECT_EQ(combined.copy(second), plain.copy(second)) << "scale " << s;
        EXPECT_NE(combined.copy(QRect(0, 0, cw, ch)), plain.copy(QRect(0, 0, cw, ch))) << "the accent is drawn";
        // Neither does a wide character or an emoji.
        const QImage afterWide = render("\u4E2DX");
        const QImage afterEmoji = render("\U0001F600X", "emoji.png");
        const QImage shifted = render("  X");
        const QRect third(2 * cw, 0, cw, ch);
        EXPECT_EQ(afterWide.copy(third), shifted.copy(third));
        EXPECT_EQ(afterEmoji.copy(third), shifted.copy(third));
    }
    // Concealed text is invisible: nothing but the background is painted.
    const QImage hidden = render("\e[8;4;9mXXXX\e[0m");
    EXPECT_EQ(count(hidden, QRect(0, 0, hidden.width(), hidden.height())), 0);
    const QImage hiddenOnRed = render("\e[8;41mXXXX\e[0m");
    for (int x = 0; x < cw * 4; ++x) {
        for (int y = 0; y < ch; ++y) ASSERT_EQ(hiddenOnRed.pixel(x, y), test::FakeRunStyles::palette(1).rgb());
    }
}

TEST_F(RowDrawing, EmojiPresentationIsDrawnInColour)
{
    EXPECT_TRUE(hasEmojiPresentation(u"\U0001F600"));
    EXPECT_TRUE(hasEmojiPresentation(u"\u2764\uFE0F"));
    EXPECT_TRUE(hasEmojiPresentation(u"\U0001F1E9\U0001F1EA"));
    EXPECT_TRUE(hasEmojiPresentation(u"\U0001F469\u200D\U0001F4BB"));
    EXPECT_FALSE(hasEmojiPresentation(u"\u2764")) << "text presentation by default";
    EXPECT_FALSE(hasEmojiPresentation(u"\U0001F600\uFE0E"));
    EXPECT_FALSE(hasEmojiPresentation(u"e\u0301"));
    EXPECT_FALSE(hasEmojiPresentation(u"#"));

    if (!QFontDatabase::families().contains(QLatin1String(GlyphRunCache::emojiFamily)))
        GTEST_SKIP() << "no colour emoji font installed";
    // Text is drawn in black here, so a saturated pixel comes from a colour glyph.
    const auto colouredPixels = [](const QImage& image, const QRect& r) {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y) {
            for (int x = r.left(); x <= r.right(); ++x) {
                const QRgb p = image.pixel(x, y);
                n += std::max({qRed(p), qGreen(p), qBlue(p)}) - std::min({qRed(p), qGreen(p), qBlue(p)}) > 60;
            }
        }
        return n;
    };
    for (qreal s : {1.0, 2.0}) {
        setScale(s);
        for (const char* emoji : {"\U0001F600", "\u2764\uFE0F", "\U0001F1E9\U0001F1EA", "\U0001F469\u200D\U0001F4BB"}) {
            const QImage image = render(std::string(emoji) + "X", "emoji-colour.png");
            EXPECT_GT(colouredPixels(image, QRect(0, 0, 2 * cw, ch)), 4 * s * s) << emoji << " at scale " << s;
            EXPECT_EQ(colouredPixels(image, QRect(2 * cw, 0, image.width() - 2 * cw, ch)), 0) << emoji;
        }
        EXPECT_EQ(colouredPixels(render("\u2764\uFE0E"), QRect(0, 0, cw * cols, ch)), 0)
            << "text presentation keeps the text font";
    }
}

TEST_F(RowDrawing, DoubleSizeRowsScaleAndStayInTheirBand)
{
    const QImage normal = render("X");
    const QImage wide = render("\e#6X", "double-width.png");
    EXPECT_EQ(count(normal, QRect(cw, 0, cw, ch)), 0);
    EXPECT_GT(count(wide, QRect(cw, ch, cw, ch)), 0) << "the glyph is twice as wide";

    for (const char* mode : {"\e#3", "\e#4"}) {
        const QImage tall = render(std::string(mode) + "\e[41mX\e[K", "double-height.png");
        const QRgb red = test::FakeRunStyles::palette(1).rgb();
        EXPECT_EQ(count(tall, QRect(0, 0, tall.width(), ch)), 0) << "nothing above the row";
        EXPECT_EQ(count(tall, QRect(0, 2 * ch, tall.width(), ch)), 0) << "nothing below the row";
        EXPECT_EQ(tall.pixel(tall.width() - 1, ch), red) << "the clip spans the whole row width";
        EXPECT_EQ(tall.pixel(tall.width() - 1, 2 * ch - 1), red);
    }
}

TEST_F(RowDrawing, RedrawsHitTheGlyphCache)
{
    render("abc \u4E2D e\u0301 abc");
    const uint64_t misses = glyphs.misses();
    EXPECT_EQ(misses, 6u) << "each distinct cluster shaped once: a b c space \u4E2D e\u0301";
    glyphs.resetCounters();
    render("abc \u4E2D e\u0301 abc");
    EXPECT_EQ(glyphs.misses(), 0u);
    EXPECT_GT(glyphs.hits(), 0u);
    glyphs.setFonts(dejaVu(20));
    render("abc");
    EXPECT_EQ(glyphs.misses(), 3u) << "a font change drops every entry";
}
