// Inline images in the view: an OSC 1337 PNG cut into row strips and drawn,
// bad images bounded or refused, Kitty layers and pixel offsets, and
// placeholder cells showing their slice of a virtual placement.
#include "corvel/kitty/KittyGraphicsState.h"
#include "tests/corvel/kitty/KittyGraphicsTestSupport.h"
#include "QtTestSupport.h"
#include "ViewRender.h"

#include "corvel/qt/QtTerminalImage.h"

#include <QBuffer>

#include <gtest/gtest.h>

namespace corvel {
namespace {

using qt::QtTerminalImage;
using testing::cellPixels;
using testing::countColor;
using testing::renderView;

// DejaVu Sans Mono at 14 pixels: 17 pixels high rows.
QFont font14() { return testing::testFont(14); }

// A PNG of w x h pixels, red above the middle and blue below it.
std::string twoColourPng(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(Qt::red);
    for (int y = h / 2; y < h; ++y)
        for (int x = 0; x < w; ++x) image.setPixelColor(x, y, Qt::blue);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return data.toBase64().toStdString();
}

std::vector<std::shared_ptr<TerminalImage>> imagesOn(TerminalView& view, int screenRow)
{
    Buffer& buffer = view.getTerminal().buffer();
    const BufferLine& line = buffer.lines()[buffer.yBase() + screenRow];
    return line.images ? *line.images : std::vector<std::shared_ptr<TerminalImage>>{};
}

std::shared_ptr<QtTerminalImage> solid(int w, int h, QColor color, int64_t col)
{
    QImage pixels(w, h, QImage::Format_RGBA8888_Premultiplied);
    pixels.fill(color);
    return std::make_shared<QtTerminalImage>(pixels, w, h, col);
}

TEST(ViewImages, PngBecomesTwoStripsOnConsecutiveLines)
{
    TerminalView view(QRect(0, 0, 400, 200), font14());
    ASSERT_EQ(view.cellDimension()->height(), 17);
    testing::feed(view, "ab\x1b]1337;File=inline=1:" + twoColourPng(40, 34) + "\x07");
    ASSERT_EQ(imagesOn(view, 0).size(), 1u);
    ASSERT_EQ(imagesOn(view, 1).size(), 1u);
    EXPECT_TRUE(imagesOn(view, 2).empty());
    EXPECT_EQ(imagesOn(view, 1)[0]->pixelWidth(), 40);
    EXPECT_EQ(imagesOn(view, 1)[0]->pixelHeight(), 17);
    EXPECT_EQ(imagesOn(view, 0)[0]->col(), 2);
    EXPECT_EQ(view.getTerminal().getCursorLocation(), (std::pair{2, 2}));

    // Drawn from the start column: red on the first line, blue on the second.
    const QImage image = renderView(view);
    const QRect first = cellPixels(view, 2, 0, 4);
    const QRect second = cellPixels(view, 2, 1, 4);
    EXPECT_EQ(countColor(image, first, Qt::red, 8), first.width() * first.height());
    EXPECT_EQ(countColor(image, second, Qt::blue, 8), second.width() * second.height());
}

TEST(ViewImages, BadImagesAreBoundedOrInsertNothing)
{
    TerminalView view(QRect(0, 0, 400, 200), font14());
    // 100000 cells wide: no wider than the view.
    testing::feed(view, "\x1b]1337;File=inline=1;width=100000:" + twoColourPng(40, 34) + "\x07");
    ASSERT_EQ(imagesOn(view, 0).size(), 1u);
    EXPECT_LE(imagesOn(view, 0)[0]->pixelWidth(), view.width());

    // Not an image, a zero-size bitmap, a bitmap shorter than its size:
    // nothing, and the cursor stays.
    testing::feed(view, "\x1b[2J\x1b[H\x1b[3;5H");
    Terminal& terminal = view.getTerminal();
    testing::feed(view, "\x1b]1337;File=inline=1:bm90IGFuIGltYWdl\x07");
    std::vector<uint8_t> none;
    view.createImageFromBitmap(terminal, none, 0, 34);
    std::vector<uint8_t> truncated(40 * 34 * 4 - 1, 0xff);
    view.createImageFromBitmap(terminal, truncated, 40, 34);
    std::vector<uint8_t> overflowing(16, 0xff);
    view.createImageFromBitmap(terminal, overflowing, 1 << 30, 1 << 30);
    for (int row = 0; row < terminal.rows(); ++row) EXPECT_TRUE(imagesOn(view, row).empty()) << row;
    EXPECT_EQ(terminal.getCursorLocation(), (std::pair{4, 2}));

    // A whole bitmap goes in.
    std::vector<uint8_t> whole(40 * 34 * 4, 0xff);
    view.createImageFromBitmap(terminal, whole, 40, 34);
    EXPECT_EQ(imagesOn(view, 2).size(), 1u);
}

TEST(ViewImages, KittyLayersOrderAndPixelOffsets)
{
    TerminalView view(QRect(0, 0, 400, 200), font14());
    testing::feed(view, "\x1b[1mXXXX\r\n\x1b[0mYYYY");
    const QSizeF cell = *view.cellDimension();
    const int w = static_cast<int>(cell.width() * 4);
    const int h = static_cast<int>(cell.height());
    Buffer& buffer = view.getTerminal().buffer();
    // Row 0: green below the text; row 1: blue above it, moved down half a row.
    auto below = solid(w, h, Qt::green, 0);
    below->setKittyIsKitty(true);
    below->setKittyZIndex(-1);
    buffer.attachImage(below, buffer.yBase());
    auto above = solid(w, h, Qt::blue, 0);
    above->setKittyIsKitty(true);
    above->setKittyPixelOffsetY(h / 2);
    buffer.attachImage(above, buffer.yBase() + 1);

    const QImage image = renderView(view);
    const QRect row0 = cellPixels(view, 0, 0, 4);
    const QColor fg = view.runStyle(view.getTerminal().getCharData(0, 0)->attribute, false).foreground;
    EXPECT_GT(countColor(image, row0, Qt::green, 8), 0);
    EXPECT_GT(countColor(image, row0, fg, 8), 0) << "text stays above a negative z-index";
    const QRect row1 = cellPixels(view, 0, 1, 4);
    const QRect upper(row1.left(), row1.top(), row1.width(), h / 2);
    const QRect lower(row1.left(), row1.top() + h / 2, row1.width(), row1.height() - h / 2);
    EXPECT_EQ(countColor(image, upper, Qt::blue, 8), 0);
    EXPECT_EQ(countColor(image, lower, Qt::blue, 8), lower.width() * lower.height());
}

TEST(ViewImages, PlaceholderCellsShowTheirSliceAndTheImageIsCached)
{
    TerminalView view(QRect(0, 0, 400, 200), font14());
    Terminal& terminal = view.getTerminal();
    const auto store = [&](QColor color) {
        std::vector<uint8_t> pixels;
        for (int i = 0; i < 4 * 4; ++i) {
            pixels.insert(pixels.end(), {uint8_t(color.red()), uint8_t(color.green()), uint8_t(color.blue()), 255});
        }
        terminal.kittyGraphicsState.imagesById[7].payload = KittyGraphicsPayload::rgba(std::move(pixels), 4, 4);
    };
    // A client's output: a 4 x 8 image of four coloured quarters placed
    // virtually over 2 x 2 cells (about its shape), then two rows of
    // placeholder cells, decoded by the view's own decoder.
    const QColor quarters[2][2] = {{Qt::red, Qt::green}, {Qt::blue, Qt::yellow}};
    std::vector<uint8_t> pixels;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 4; ++x) {
            const QColor c = quarters[y / 4][x / 2];
            pixels.insert(pixels.end(), {uint8_t(c.red()), uint8_t(c.green()), uint8_t(c.blue()), 255});
        }
    testing::feed(view, testing::kittyCommand("a=T,U=1,f=32,s=4,v=8,i=7,c=2,r=2,q=2", base64::encode(pixels)) +
                            testing::kittyPlaceholderRow(7, 0, 2) + "\r\n" + testing::kittyPlaceholderRow(7, 1, 2));

    // Each cell shows its own quarter, and nothing spills past the placement.
    const QImage image = renderView(view);
    for (int row = 0; row < 2; ++row)
        for (int col = 0; col < 2; ++col)
            EXPECT_EQ(image.pixelColor(cellPixels(view, col, row).center()).rgb(), quarters[row][col].rgb())
                << "cell " << col << "," << row;
    EXPECT_EQ(countColor(image, cellPixels(view, 2, 0), Qt::green, 8), 0);

    // Kept across draws, redone when the stored image changes, gone with it.
    const QImage* cached = view.kittyPlaceholderImage(7);
    ASSERT_NE(cached, nullptr);
    EXPECT_EQ(view.kittyPlaceholderImage(7), cached);
    EXPECT_EQ(cached->pixelColor(0, 0).rgb(), QColor(Qt::red).rgb());
    store(Qt::magenta);
    EXPECT_EQ(view.kittyPlaceholderImage(7)->pixelColor(0, 0).rgb(), QColor(Qt::magenta).rgb());
    terminal.kittyGraphicsState.imagesById.erase(7);
    EXPECT_EQ(view.kittyPlaceholderImage(7), nullptr);

    EXPECT_EQ(TerminalView::kittyAspectFitRect(QSizeF(100, 50), QRectF(0, 0, 40, 40)), QRectF(0, 10, 40, 20));
    EXPECT_EQ(TerminalView::kittyAspectFitRect(QSizeF(0, 50), QRectF(0, 0, 40, 40)), QRectF(0, 0, 40, 40));
}

// A sixel of `width` x 60 pixels, green, every pixel set or (sparse) only
// the top one of each band of six.
std::string greenSixel(int width, bool sparse = false)
{
    std::string out = "\x1bPq#0;2;0;100;0";
    for (int band = 0; band < 10; ++band) out += "#0!" + std::to_string(width) + (sparse ? "@-" : "~-");
    return out + "\x1b\\";
}

int lineImageCount(TerminalView& view)
{
    int count = 0;
    for (int row = 0; row < view.getTerminal().rows(); ++row) count += int(imagesOn(view, row).size());
    return count;
}

TEST(ViewImages, APictureDrawnOverInTheSameCellsGoesAndTheScreenLooksTheSame)
{
    TerminalView once(QRect(0, 0, 400, 300), font14());
    testing::feed(once, "\x1b[H" + greenSixel(120));
    TerminalView many(QRect(0, 0, 400, 300), font14());
    for (int i = 0; i < 5; ++i) testing::feed(many, "\x1b[H" + greenSixel(120));
    ASSERT_EQ(lineImageCount(once), 4);  // 60 pixels on 17-pixel rows
    EXPECT_EQ(lineImageCount(many), 4);
    EXPECT_EQ(many.getTerminal().lineImages().bytes(), once.getTerminal().lineImages().bytes());
    EXPECT_EQ(renderView(many), renderView(once));

    // What a strip calls opaque is: its pixels there are all opaque, the
    // partial last strip included (the image falls on whole pixels).
    for (int row = 0; row < 4; ++row) {
        const auto strip = std::dynamic_pointer_cast<QtTerminalImage>(imagesOn(many, row).at(0));
        ASSERT_TRUE(strip && strip->opaqueArea);
        const ImagePixelArea area = *strip->opaqueArea;
        EXPECT_FALSE(area.isEmpty());
        for (int64_t y = area.top; y < area.bottom; ++y)
            for (int64_t x = area.left; x < area.right; ++x)
                ASSERT_EQ(strip->image().pixelColor(int(x), int(y)).alpha(), 255) << row << " " << x << " " << y;
    }

    // Wider than the view: shown at the view's width, 12.03 pixels high, so
    // the edges fall inside pixels.
    TerminalView wide(QRect(0, 0, 401, 300), font14());
    for (int i = 0; i < 5; ++i) testing::feed(wide, "\x1b[H" + greenSixel(2000));
    EXPECT_EQ(lineImageCount(wide), 1);
    // More pixels than the view: the strips are read instead of the source.
    // These are shorter, so the last one above stays under them.
    for (int i = 0; i < 5; ++i) testing::feed(wide, "\x1b[H" + greenSixel(3000));
    EXPECT_EQ(lineImageCount(wide), 2);
    for (int i = 0; i < 2; ++i) testing::feed(wide, "\x1b[H" + greenSixel(3000, true));
    EXPECT_EQ(lineImageCount(wide), 4);

    // The same over and over from a Kitty program: one placement is left.
    TerminalView kitty(QRect(0, 0, 400, 300), font14());
    std::string stream = testing::kittyCommand("a=t,f=32,s=1,v=1,i=1,q=2", "AAD//w==");
    for (int p = 1; p <= 200; ++p)
        stream += "\x1b[H" + testing::kittyCommand("a=p,q=2,i=1,c=20,r=10,C=1,p=" + std::to_string(p));
    testing::feed(kitty, stream);
    EXPECT_EQ(kitty.getTerminal().kittyGraphicsState.placementsByKey.size(), 1u);
    EXPECT_EQ(lineImageCount(kitty), 10);
}

TEST(ViewImages, APictureThatShowsThroughALaterOneStays)
{
    // Pixels left transparent, or a smaller picture over a larger one.
    TerminalView sparse(QRect(0, 0, 400, 300), font14());
    for (int i = 0; i < 3; ++i) testing::feed(sparse, "\x1b[H" + greenSixel(120, true));
    EXPECT_EQ(lineImageCount(sparse), 12);
    TerminalView smaller(QRect(0, 0, 400, 300), font14());
    testing::feed(smaller, "\x1b[H" + greenSixel(120) + "\x1b[H" + greenSixel(100));
    EXPECT_EQ(lineImageCount(smaller), 8);
}

TEST(ViewImages, StreamsOfStackedPicturesKeepTheLinesSmall)
{
    // Placements of 77x40 cells at the top left, the cursor left in place,
    // and sixels of 2000x600 pixels there: one picture of each kind is kept,
    // as the terminal counts what its lines hold. (The benchmark of a
    // hostile cell sends 2,000 and 4,000 of them.)
    TerminalView view(QRect(0, 0, 800, 800), font14());
    ASSERT_GE(view.getTerminal().rows(), 41);
    std::string placements = testing::kittyCommand("a=t,q=2,f=32,s=1,v=1,i=1", "AAD//w==");
    for (int k = 1; k <= 500; ++k)
        placements += "\x1b[H" + testing::kittyCommand("a=p,q=2,i=1,p=" + std::to_string(k) + ",c=77,r=40,C=1");
    testing::feed(view, placements);
    const int64_t onePlacement = view.getTerminal().lineImages().bytes();
    EXPECT_LT(onePlacement, 40 << 20);
    EXPECT_EQ(view.getTerminal().kittyGraphicsState.placementsByKey.size(), 1u);

    std::string sixel = "\x1bPq#0;2;0;100;0";
    for (int band = 0; band < 100; ++band) sixel += "#0!2000~-";
    sixel += "\x1b\\";
    std::string sixels;
    for (int k = 0; k < 50; ++k) sixels += "\x1b[H" + sixel;
    testing::feed(view, "\x1b[2J" + sixels);
    const int64_t oneSixel = view.getTerminal().lineImages().bytes();
    EXPECT_LT(oneSixel, 10 << 20);
    testing::feed(view, sixels);
    EXPECT_EQ(view.getTerminal().lineImages().bytes(), oneSixel);
}

TEST(ViewImages, AOnePixelImageStretchedOverWholePixelsLooksAsThePainterDrawsIt)
{
    // 30 pixels square from one half-transparent pixel: strips of 17 and 13
    // rows, filled without a painter; the painter's drawing is the reference.
    QImage one(1, 1, QImage::Format_ARGB32);
    one.setPixelColor(0, 0, QColor(200, 40, 90, 128));
    QByteArray png;
    QBuffer device(&png);
    device.open(QIODevice::WriteOnly);
    one.save(&device, "PNG");
    TerminalView view(QRect(0, 0, 400, 200), font14());
    testing::feed(view, "\x1b]1337;File=inline=1;width=30px:" + png.toBase64().toStdString() + "\x07");
    const QImage source = one.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
    for (int row = 0; row < 2; ++row) {
        const auto strip = std::dynamic_pointer_cast<QtTerminalImage>(imagesOn(view, row).at(0));
        ASSERT_TRUE(strip);
        QImage expected(strip->image().size(), QImage::Format_RGBA8888_Premultiplied);
        expected.fill(Qt::transparent);
        QPainter painter(&expected);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        const int rows = row == 0 ? 17 : 13;
        painter.drawImage(QRectF(0, 0, 30, rows), source, QRectF(0, row == 0 ? 0 : 17.0 / 30, 1, rows / 30.0));
        painter.end();
        EXPECT_EQ(strip->image(), expected) << row;
    }
}

TEST(ViewImages, OnePixelStripsAlikeSharePixelsAndEachLooksAsThePainterDrawsIt)
{
    // Four 1x1 placements over one cell each, down the diagonal: red, red,
    // half-transparent green, red. Each strip must look as the painter
    // draws its pixel; the two reds in a row share one buffer.
    const auto pixel = [](uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
        const std::vector<uint8_t> bytes{r, g, b, a};
        return base64::encode(bytes);
    };
    const std::string red = pixel(255, 0, 0, 255);
    const std::string green = pixel(0, 200, 0, 128);
    TerminalView view(QRect(0, 0, 400, 200), font14());
    std::string stream;
    int id = 0;
    for (const std::string* each : {&red, &red, &green, &red})
        stream += testing::kittyCommand("a=T,q=2,f=32,s=1,v=1,c=1,r=1,p=1,i=" + std::to_string(++id), *each);
    testing::feed(view, stream);
    const uint8_t colours[4][4] = {{255, 0, 0, 255}, {255, 0, 0, 255}, {0, 200, 0, 128}, {255, 0, 0, 255}};
    std::vector<std::shared_ptr<QtTerminalImage>> strips;
    for (int row = 0; row < 4; ++row) {
        const auto images = imagesOn(view, row);
        ASSERT_EQ(images.size(), 1u) << row;
        const auto strip = std::dynamic_pointer_cast<QtTerminalImage>(images.front());
        ASSERT_TRUE(strip);
        // The protocol's RGBA is not premultiplied.
        const QImage source(colours[row], 1, 1, 4, QImage::Format_RGBA8888);
        QImage expected(strip->image().size(), QImage::Format_RGBA8888_Premultiplied);
        expected.fill(Qt::transparent);
        QPainter painter(&expected);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        const ImagePixelArea area = strip->painted();
        painter.drawImage(QRectF(area.left, area.top, area.right - area.left, area.bottom - area.top), source,
                          QRectF(0, 0, 1, 1));
        painter.end();
        EXPECT_EQ(strip->image(), expected) << row;
        strips.push_back(strip);
    }
    EXPECT_EQ(strips[0]->image().constBits(), strips[1]->image().constBits());
    EXPECT_NE(strips[1]->image().constBits(), strips[2]->image().constBits());
}

}  // namespace
}  // namespace corvel
