// The scroll bar's metrics over the displayed buffer.
#include "QtTestSupport.h"

#include <QScrollBar>

#include <gtest/gtest.h>

namespace corvel {
namespace {

TEST(ScrollMetrics, FollowTheScrollbackAndVanishOnTheAlternateScreen)
{
    TerminalView view(QRect(0, 0, 300, 14 * 10), testing::testFont());
    ASSERT_EQ(view.getTerminal().rows(), 10);
    EXPECT_FALSE(view.canScroll());
    for (int i = 0; i < 60; ++i) testing::feed(view, "line\r\n");
    Buffer& buffer = view.getTerminal().displayBuffer();
    const auto lines = static_cast<double>(buffer.lines().count());
    EXPECT_TRUE(view.canScroll());
    EXPECT_DOUBLE_EQ(view.scrollThumbsize(), 10 / lines);
    EXPECT_EQ(view.scrollPosition(), 1.0);
    buffer.setYDisp(0);
    EXPECT_EQ(view.scrollPosition(), 0.0);
    buffer.setYDisp(int(lines - 10) / 2);
    EXPECT_NEAR(view.scrollPosition(), 0.5, 0.02);
    view.updateScroller();
    EXPECT_TRUE(view.scroller()->isEnabled());

    // A long history floors the knob at 1 % of the bar.
    testing::feed(view, "\x1b[3J");
    view.getTerminal().changeScrollback(100000);
    for (int i = 0; i < 3000; ++i) testing::feed(view, "x\r\n");
    EXPECT_DOUBLE_EQ(view.scrollThumbsize(), 0.01);

    testing::feed(view, "\x1b[?1049h");
    EXPECT_EQ(view.scrollThumbsize(), 0.0);
    EXPECT_EQ(view.scrollPosition(), 0.0);
    EXPECT_FALSE(view.canScroll());
    view.updateScroller();
    EXPECT_FALSE(view.scroller()->isEnabled());
}

}  // namespace
}  // namespace corvel
