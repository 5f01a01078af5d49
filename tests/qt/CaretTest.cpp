// The caret: its shapes and hollow box from widget grabs, its blink on the
// shared blink clock driven by hand, and its place over the cursor's cell
// after the redraw that moves it.
#include "PixelProbe.h"
#include "QtTestSupport.h"

#include "corvel/qt/CaretBlinker.h"
#include "corvel/qt/CaretView.h"
#include "corvel/qt/TerminalView.h"

#include <QApplication>
#include <QImage>
#include <QPalette>

#include <gtest/gtest.h>

namespace corvel {
namespace {

using testing::testFont;

constexpr Nanos kMs = 1'000'000;

// Drives the shared blinker by hand on a clock of its own for one test.
class ManualBlink {
public:
    ManualBlink()
    {
        CaretBlinker::shared().setManual(true);
        CaretBlinker::shared().setClock([this] { return now; });
    }
    ~ManualBlink()
    {
        CaretBlinker::shared().setClock(nullptr);
        CaretBlinker::shared().setManual(false);
    }
    void advance(Nanos by)
    {
        now += by;
        CaretBlinker::shared().tick();
    }
    Nanos now = 1'000'000'000;
};

const DeviceColor kCaret{0, 1, 0, 1};
const DeviceColor kText{1, 0, 0, 1};

QImage grabCaret(TerminalView& view, const char* name)
{
    QImage image = view.caretView()->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    qt::test::saveRender(image, QStringLiteral("caret-%1.png").arg(name));
    return image;
}

bool isCaretColour(const QImage& image, int x, int y)
{
    return image.pixelColor(x, y) == kCaret.toQColor();
}

TEST(Caret, ShapesFollowTheStyleAndTheFocus)
{
    ManualBlink blink;
    TerminalView view(QRect(0, 0, 300, 120), testFont());
    view.setCaretColor(kCaret);
    view.setNativeForegroundColor(kText);
    testing::feed(view, "W\b");
    view.updateCursorPosition();
    view.setHasFocus(true);  // the view is in no window: its own flag counts
    ASSERT_TRUE(view.hasFocus());

    auto styled = [&](const char* sequence, const char* name) {
        testing::feed(view, sequence);
        return grabCaret(view, name);
    };
    const QImage block = styled("\x1b[2 q", "steady-block");
    const int w = block.width();
    const int h = block.height();
    EXPECT_TRUE(isCaretColour(block, 0, 0));
    EXPECT_TRUE(isCaretColour(block, w - 1, h - 1));
    // The "W" under the block is drawn in the native foreground.
    int textPixels = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) textPixels += block.pixelColor(x, y).red() > 200;
    }
    EXPECT_GT(textPixels, 5);

    const QImage underline = styled("\x1b[4 q", "steady-underline");
    EXPECT_TRUE(isCaretColour(underline, w / 2, h - 1));
    EXPECT_FALSE(isCaretColour(underline, w / 2, h / 2));

    const QImage bar = styled("\x1b[6 q", "steady-bar");
    EXPECT_TRUE(isCaretColour(bar, 0, h / 2));
    EXPECT_FALSE(isCaretColour(bar, w / 2, h / 2));

    // Without the focus every style is a hollow box...
    view.setHasFocus(false);
    const QImage hollow = grabCaret(view, "hollow");
    EXPECT_TRUE(isCaretColour(hollow, 0, h / 2));
    EXPECT_TRUE(isCaretColour(hollow, w / 2, 0));
    EXPECT_FALSE(isCaretColour(hollow, w / 2, h / 2));
    // ...unless the caret does not track the focus.
    view.setCaretViewTracksFocus(false);
    const QImage untracked = grabCaret(view, "untracked-bar");
    EXPECT_TRUE(isCaretColour(untracked, 0, h / 2));
    EXPECT_FALSE(isCaretColour(untracked, w / 2, h / 2));

    QImage whole = view.grab().toImage();
    qt::test::saveRender(whole, QStringLiteral("caret-view.png"));
}

TEST(Caret, TheDefaultColourFollowsTheApplicationsSelectionColour)
{
    // Views made before the application sets its palette (cells restored at
    // start-up) take its colour like the views made after.
    TerminalView plain(QRect(0, 0, 300, 120), testFont());
    TerminalView chosen(QRect(0, 0, 300, 120), testFont());
    chosen.setCaretColor(kCaret);
    const QPalette before = QApplication::palette();
    QPalette accent = before;
    accent.setColor(QPalette::Highlight, QColor(255, 102, 51));
    QApplication::setPalette(accent);
    QCoreApplication::processEvents();
    EXPECT_EQ(plain.caretColor(), DeviceColor::fromQColor(QColor(255, 102, 51)));
    EXPECT_EQ(chosen.caretColor(), kCaret);
    QApplication::setPalette(before);
    QCoreApplication::processEvents();
    EXPECT_EQ(plain.caretColor(), DeviceColor::fromQColor(before.color(QPalette::Highlight)));
}

TEST(Caret, BlinkingFadesOnTheSharedClockAndSteadyStylesStayOpaque)
{
    ManualBlink blink;
    TerminalView view(QRect(0, 0, 300, 120), testFont());
    CaretView& caret = *view.caretView();
    testing::feed(view, "\x1b[5 q");  // blinking bar
    ASSERT_TRUE(caret.isAnimating());
    EXPECT_TRUE(CaretBlinker::shared().contains(&caret));

    blink.advance(350 * kMs);  // half way down an ease-in fade
    EXPECT_GT(caret.opacity(), 0.5);
    EXPECT_LT(caret.opacity(), 0.9);
    blink.advance(350 * kMs);
    EXPECT_EQ(caret.opacity(), 0.0);
    blink.advance(700 * kMs);  // and back up
    EXPECT_EQ(caret.opacity(), 1.0);

    // A tick that does not move the opacity by a visible step repaints nothing.
    view.show();
    ASSERT_TRUE(testing::pumpUntil([&] { return caret.paintCount() > 0; }));
    const auto paints = caret.paintCount();
    blink.advance(1 * kMs);
    QCoreApplication::processEvents();
    EXPECT_EQ(caret.paintCount(), paints);

    // Switching to a steady style stops the blink at full opacity.
    blink.advance(500 * kMs);
    ASSERT_LT(caret.opacity(), 1.0);
    testing::feed(view, "\x1b[2 q");
    EXPECT_FALSE(caret.isAnimating());
    EXPECT_EQ(caret.opacity(), 1.0);
    EXPECT_FALSE(CaretBlinker::shared().contains(&caret));
    blink.advance(300 * kMs);
    EXPECT_EQ(caret.opacity(), 1.0);

    // The blinker stops its timer once no caret blinks.
    CaretBlinker::shared().setManual(false);
    EXPECT_FALSE(CaretBlinker::shared().isTimerActive());
    testing::feed(view, "\x1b[3 q");
    EXPECT_TRUE(CaretBlinker::shared().isTimerActive());
    testing::feed(view, "\x1b[4 q");
    EXPECT_FALSE(CaretBlinker::shared().isTimerActive());
}

TEST(Caret, FollowsTheCursorAfterTheRedraw)
{
    TerminalView view(QRect(0, 0, 300, 150), testFont());
    const QSizeF cell = *view.cellDimension();
    testing::feed(view, "ab\r\n cd");
    view.queuePendingDisplay();
    ASSERT_TRUE(testing::pumpUntil([&] { return !view.pendingDisplay(); }));
    EXPECT_EQ(view.caretFrame(), QRectF(QPointF(3 * cell.width(), cell.height()), cell));
    EXPECT_EQ(view.caretView()->text(), QString());

    // Double-width rows double the caret's column; the character under it
    // goes to the caret.
    testing::feed(view, "\x1b#6\x1b[2G");
    view.updateCursorPosition();
    EXPECT_EQ(view.caretFrame().left(), 2 * cell.width());
    EXPECT_EQ(view.caretView()->text(), QStringLiteral("c"));

    // Hidden cursor, hidden caret; shown again, shown.
    testing::feed(view, "\x1b[?25l");
    view.queuePendingDisplay();
    ASSERT_TRUE(testing::pumpUntil([&] { return !view.pendingDisplay(); }));
    EXPECT_TRUE(view.caretView()->isHidden());
    testing::feed(view, "\x1b[?25h");
    EXPECT_FALSE(view.caretView()->isHidden());
}

}  // namespace
}  // namespace corvel
