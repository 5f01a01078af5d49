// The progress strip in each report state, read from widget grabs, with its
// animations stepped by hand.
#include "PixelProbe.h"
#include "QtTestSupport.h"

#include "corvel/qt/TerminalProgressBarView.h"
#include "corvel/qt/TerminalView.h"

#include <QImage>

#include <gtest/gtest.h>

namespace corvel {
namespace {

QImage grabBar(TerminalProgressBarView& bar, const char* name)
{
    QImage image = bar.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    qt::test::saveRender(image.scaled(image.width(), image.height() * 4), QStringLiteral("progress-%1.png").arg(name));
    return image;
}

void finish(QVariantAnimation& animation)
{
    animation.setCurrentTime(animation.duration());
}

TEST(ProgressBar, StatesShowTheirColoursAndShares)
{
    TerminalProgressBarView bar;
    bar.resize(200, 6);
    ASSERT_TRUE(bar.isHidden());

    bar.apply(ProgressReportState::set, 40);
    EXPECT_FALSE(bar.isHidden());
    finish(bar.determinateAnimation());
    EXPECT_EQ(bar.barFrame(), QRectF(0, 0, 80, 6));
    QImage image = grabBar(bar, "set-40");
    const QColor accent = bar.barColor().toQColor();
    EXPECT_EQ(image.pixelColor(10, 3), accent);
    EXPECT_NE(image.pixelColor(150, 3), accent);
    EXPECT_FALSE(bar.isTrackShown());

    bar.apply(ProgressReportState::error, 40);
    finish(bar.determinateAnimation());
    image = grabBar(bar, "error-40");
    EXPECT_EQ(image.pixelColor(10, 3), QColor(255, 59, 48));
    EXPECT_NE(image.pixelColor(150, 3), QColor(255, 59, 48));

    bar.apply(ProgressReportState::pause, 70);
    finish(bar.determinateAnimation());
    image = grabBar(bar, "pause-70");
    EXPECT_EQ(image.pixelColor(130, 3), QColor(255, 149, 0));
    EXPECT_NE(image.pixelColor(150, 3), QColor(255, 149, 0));

    // A resize while a share is shown follows at once, without animation.
    bar.resize(100, 6);
    EXPECT_EQ(bar.barFrame(), QRectF(0, 0, 70, 6));
    EXPECT_EQ(bar.determinateAnimation().state(), QAbstractAnimation::Stopped);

    // A share above 100 runs past the edge and is clipped there.
    bar.apply(ProgressReportState::set, 150);
    finish(bar.determinateAnimation());
    EXPECT_EQ(grabBar(bar, "set-150").pixelColor(99, 3), accent);
}

TEST(ProgressBar, UnknownProgressSlidesABlockOverAFaintTrackUntilRemoved)
{
    TerminalProgressBarView bar;
    bar.resize(200, 6);
    bar.apply(ProgressReportState::set, 10);
    finish(bar.determinateAnimation());
    const QColor background = grabBar(bar, "set-10").pixelColor(120, 3);
    bar.apply(ProgressReportState::indeterminate, std::nullopt);
    EXPECT_TRUE(bar.isTrackShown());
    ASSERT_EQ(bar.indeterminateAnimation().state(), QAbstractAnimation::Running);
    EXPECT_EQ(bar.barFrame().width(), 50.0);

    bar.indeterminateAnimation().setCurrentTime(0);
    EXPECT_EQ(bar.barFrame().left(), 0.0);
    QImage image = grabBar(bar, "indeterminate-start");
    const QColor accent = bar.barColor().toQColor();
    EXPECT_EQ(image.pixelColor(25, 3), accent);
    // The track: the same colour at 30 % over the background.
    const QColor track = image.pixelColor(120, 3);
    const double expectedRed = 0.3 * accent.redF() + 0.7 * background.redF();
    EXPECT_NEAR(track.redF(), expectedRed, 0.02);
    EXPECT_NE(track, background);

    // Half a run: the far end; a whole run: back at the start.
    bar.indeterminateAnimation().setCurrentTime(TerminalProgressBarView::indeterminateDurationMs);
    EXPECT_DOUBLE_EQ(bar.barFrame().left(), 150.0);
    EXPECT_EQ(grabBar(bar, "indeterminate-end").pixelColor(175, 3), accent);
    bar.indeterminateAnimation().setCurrentTime(TerminalProgressBarView::indeterminateDurationMs / 2);
    EXPECT_NEAR(bar.barFrame().left(), 75.0, 1e-9);

    bar.apply(ProgressReportState::remove, std::nullopt);
    EXPECT_TRUE(bar.isHidden());
    EXPECT_EQ(bar.indeterminateAnimation().state(), QAbstractAnimation::Stopped);

    // The next share shows the bar again, without the track.
    bar.apply(ProgressReportState::set, 10);
    EXPECT_FALSE(bar.isHidden());
    EXPECT_FALSE(bar.isTrackShown());
}

TEST(ProgressBar, TheViewKeepsAHiddenStripAlongItsTopEdge)
{
    TerminalView view(QRect(0, 0, 320, 200), testing::testFont());
    view.show();
    TerminalProgressBarView& bar = *view.progressBarView();
    EXPECT_TRUE(bar.isHidden());
    EXPECT_EQ(bar.geometry(), QRect(0, 0, 320, 2));
    view.resize(400, 240);
    EXPECT_EQ(bar.geometry(), QRect(0, 0, 400, 2));
    bar.apply(ProgressReportState::set, 50);
    finish(bar.determinateAnimation());
    QImage whole = view.grab().toImage();
    qt::test::saveRender(whole, QStringLiteral("progress-in-view.png"));
    EXPECT_EQ(whole.pixelColor(100, 1), bar.barColor().toQColor());
    EXPECT_NE(whole.pixelColor(300, 1), bar.barColor().toQColor());
}

}  // namespace
}  // namespace corvel
