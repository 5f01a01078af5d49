// Focus switching between two real windows on an X server (run under
// xvfb-run): the caret of the window that lost the focus turns hollow and
// stops blinking, and a program that asked for focus events hears them.
#include "PixelProbe.h"
#include "QtTestSupport.h"

#include "corvel/qt/CaretView.h"
#include "corvel/qt/TerminalView.h"

#include <QApplication>

#include <gtest/gtest.h>

namespace corvel {
namespace {

using testing::pumpUntil;
using testing::testFont;

using testing::focusWithXdotool;

bool isCaretColour(const QImage& image, int x, int y, const QColor& colour)
{
    return image.pixelColor(x, y) == colour;
}

TEST(FocusX11, SwitchingWindowsHollowsTheInactiveCaretAndReportsFocus)
{
    if (QGuiApplication::platformName() != QStringLiteral("xcb")) GTEST_SKIP() << "needs an X server";
    TerminalView first(QRect(0, 0, 300, 120), testFont());
    TerminalView second(QRect(400, 0, 300, 120), testFont());
    auto firstHost = std::make_shared<testing::RecordingViewDelegate>();
    auto secondHost = std::make_shared<testing::RecordingViewDelegate>();
    first.setTerminalDelegate(firstHost);
    second.setTerminalDelegate(secondHost);
    const QColor caret = first.caretColor().toQColor();
    testing::feed(first, "\x1b[?1004h");
    testing::feed(second, "\x1b[?1004h");
    first.show();
    second.show();
    ASSERT_TRUE(pumpUntil([&] { return first.isVisible() && second.isVisible(); }));
    // Each window's focus widget is its terminal view, as when a user has
    // clicked into each once.
    first.setFocus();
    second.setFocus();

    ASSERT_TRUE(focusWithXdotool(first));
    ASSERT_TRUE(pumpUntil([&] { return first.hasFocus(); }));
    EXPECT_TRUE(first.caretView()->isAnimating());
    EXPECT_NE(firstHost->sent.find("\x1b[I"), std::string::npos);

    ASSERT_TRUE(focusWithXdotool(second));
    ASSERT_TRUE(pumpUntil([&] { return second.hasFocus() && !first.hasFocus(); }));
    EXPECT_NE(firstHost->sent.find("\x1b[O"), std::string::npos);
    EXPECT_NE(secondHost->sent.find("\x1b[I"), std::string::npos);
    // The inactive window's caret: a hollow box, not blinking, fully opaque.
    const CaretView& inactive = *first.caretView();
    EXPECT_FALSE(inactive.isAnimating());
    EXPECT_EQ(inactive.opacity(), 1.0);
    QImage image = first.caretView()->grab().toImage();
    qt::test::saveRender(image, QStringLiteral("focus-inactive-caret.png"));
    const int w = image.width();
    const int h = image.height();
    EXPECT_TRUE(isCaretColour(image, 0, h / 2, caret));
    EXPECT_FALSE(isCaretColour(image, w / 2, h / 2, caret));
    // The active one is solid and blinks.
    QImage solid = second.caretView()->grab().toImage();
    EXPECT_TRUE(isCaretColour(solid, w / 2, h / 2, second.caretColor().toQColor()));
    EXPECT_TRUE(second.caretView()->isAnimating());

    // And back: the first hears it gained the focus again.
    firstHost->sent.clear();
    ASSERT_TRUE(focusWithXdotool(first));
    ASSERT_TRUE(pumpUntil([&] { return first.hasFocus(); }));
    EXPECT_EQ(firstHost->sent, "\x1b[I");
    EXPECT_NE(secondHost->sent.find("\x1b[O"), std::string::npos);
}

}  // namespace
}  // namespace corvel
