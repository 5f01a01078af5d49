// Whole-view screenshots compared with reviewed reference images in
// tests/data/golden, one per scale (the .scale2 run draws at scale 2). A pixel
// counts as different when a channel is off by more than 64; a few such
// pixels are tolerated, since glyph rasterisation varies a little between
// font builds. CORVEL_UPDATE_GOLDENS=1 rewrites the references.
#include "PixelProbe.h"
#include "QtTestSupport.h"
#include "ViewRender.h"

#include "corvel/qt/QtTerminalImage.h"

#include <QDir>

#include <gtest/gtest.h>

namespace corvel {
namespace {

using testing::renderView;

constexpr const char* kStyles =
    "\x1b[1mbold\x1b[0m \x1b[3mitalic\x1b[0m \x1b[9mstrike\x1b[0m \x1b[2mfaint\x1b[0m \x1b[7minverse\x1b[0m\r\n"
    "\x1b[4:1msingle\x1b[0m \x1b[4:2mdouble\x1b[0m \x1b[4:3mcurly\x1b[0m \x1b[4:4mdotted\x1b[0m "
    "\x1b[4:5mdashed\x1b[0m \x1b[4;58;5;1mred\x1b[0m\r\n"
    "\x1b[41m  \x1b[42m  \x1b[43m  \x1b[44m  \x1b[45m  \x1b[46m  \x1b[47m  \x1b[0m "
    "\x1b[38;2;255;128;0mtrue colour\x1b[0m 中文 😀 é\r\n"
    "┌──┬──┐ █▀▄▌▐░▒▓\r\n"
    "│ab│cd│ ╔═╗ ╭─╮ ▖▗▘▙▚▛▜▝▞▟\r\n"
    "└──┴──┘ ╚═╝ ╰─╯ ┄┅┆┇ ╱╲╳\r\n"
    "\x1b#6wide line\r\n"
    "\x1b#3tall\r\n\x1b#4tall\r\n";

void compareWithGolden(const QImage& actual, const std::string& name)
{
    const QString path = QStringLiteral(CORVEL_TEST_DATA_DIR "/golden/") + QString::fromStdString(name);
    if (!qEnvironmentVariableIsEmpty("CORVEL_UPDATE_GOLDENS")) {
        QDir().mkpath(QFileInfo(path).path());
        ASSERT_TRUE(actual.save(path));
        return;
    }
    QImage expected(path);
    ASSERT_FALSE(expected.isNull()) << "missing reference " << path.toStdString();
    expected = expected.convertToFormat(QImage::Format_ARGB32);
    const QImage got = actual.convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(got.size(), expected.size());
    int different = 0;
    for (int y = 0; y < got.height(); ++y) {
        for (int x = 0; x < got.width(); ++x) {
            const QRgb a = got.pixel(x, y);
            const QRgb b = expected.pixel(x, y);
            if (std::abs(qRed(a) - qRed(b)) > 64 || std::abs(qGreen(a) - qGreen(b)) > 64 ||
                std::abs(qBlue(a) - qBlue(b)) > 64)
                ++different;
        }
    }
    const int allowed = got.width() * got.height() / 200;
    const QString saved = different > allowed ? qt::test::saveRender(got, QString::fromStdString(name)) : QString();
    EXPECT_LE(different, allowed) << name << ": " << different << " pixels differ; the actual picture "
                                  << (saved.isEmpty() ? "is kept when TILEBAY_SCREENSHOT_DIR names a folder"
                                                      : "is " + saved.toStdString());
}

std::string scaled(const char* name, const TerminalView& view)
{
    return std::string(name) + "-scale" + std::to_string(static_cast<int>(view.devicePixelRatioF())) + ".png";
}

TEST(ViewGolden, StylesDecorationsAndCustomGlyphs)
{
    TerminalView view(QRect(0, 0, 420, 180), testing::testFont());
    testing::feed(view, kStyles);
    view.selection().setSelection(Position{0, 9}, Position{4, 9});
    testing::feed(view, "selected text");
    view.selection().setActive(true);
    compareWithGolden(renderView(view), scaled("view-styles", view));
}

TEST(ViewGolden, ImageStripsBetweenText)
{
    TerminalView view(QRect(0, 0, 240, 120), testing::testFont());
    testing::feed(view, "before\r\n");
    QImage gradient(60, 40, QImage::Format_RGBA8888_Premultiplied);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 60; ++x) gradient.setPixelColor(x, y, QColor(x * 4, y * 6, 255 - x * 4));
    view.insertImage(gradient, ImageSizeRequest::automatic(), ImageSizeRequest::automatic(), true);
    testing::feed(view, "after");
    compareWithGolden(renderView(view), scaled("view-image", view));
}

}  // namespace
}  // namespace corvel
