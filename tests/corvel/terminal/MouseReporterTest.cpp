// When pointer events become mouse reports, with which bits, and what the
// view does with the rest (hit testing, wheel steps).
#include "corvel/terminal/MouseReporter.h"
#include "corvel/terminal/Terminal.h"
#include "tests/corvel/support/TestHost.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvel {
namespace {

class MouseReporting : public ::testing::Test {
protected:
    std::shared_ptr<testing::TestHost> host = std::make_shared<testing::TestHost>();
    Terminal terminal{host, testing::sized(80, 24)};
    MouseReporter reporter{terminal};
    using Mods = MouseReporter::Modifiers;

    // SGR reports make the bits readable.
    void mode(const std::string& set)
    {
        terminal.feed(set + "\x1b[?1006h");
        host->sent.clear();
    }
    MouseReporter::Hit at(int col, int screenRow) { return {{col, terminal.displayBuffer().yDisp() + screenRow}, 0, 0}; }
    std::vector<std::string> take() { return std::exchange(host->sent, {}); }
};

TEST_F(MouseReporting, NormalTrackingSendsClicksOnlyAndX10ThePressOnly)
{
    mode("\x1b[?1000h");
    EXPECT_TRUE(reporter.press(at(5, 3), {}, false));
    EXPECT_TRUE(reporter.release(at(5, 3), {}));
    EXPECT_EQ(take(), (std::vector<std::string>{"\x1b[<0;6;4M", "\x1b[<0;6;4m"}));
    // A ctrl-click that opens a link sends nothing: the view opens the link
    // on release and does not call release(); one that arrives anyway has no
    // press to pair with.
    EXPECT_TRUE(reporter.press(at(1, 1), Mods{.control = true}, true));
    EXPECT_TRUE(reporter.release(at(1, 1), {}));
    EXPECT_TRUE(take().empty());
    // Modifiers: shift 4, alt 8, control 16.
    reporter.press(at(0, 0), Mods{.shift = true, .alt = true, .control = true}, false);
    EXPECT_EQ(take(), (std::vector<std::string>{"\x1b[<28;1;1M"}));
    // Drags are swallowed in this mode: neither reported nor selecting.
    EXPECT_TRUE(reporter.drag(at(9, 3), {}));
    EXPECT_TRUE(take().empty());

    // X10 reports the press only, without modifiers.
    mode("\x1b[?9h");
    EXPECT_TRUE(reporter.press(at(2, 1), Mods{.control = true}, false));
    EXPECT_TRUE(reporter.release(at(2, 1), {}));
    EXPECT_EQ(take(), (std::vector<std::string>{"\x1b[<0;3;2M"}));
}

TEST_F(MouseReporting, DragsAndMotionAreReportedWithTheMotionBit)
{
    for (const char* set : {"\x1b[?1002h", "\x1b[?1003h"}) {
        mode(set);
        reporter.press(at(1, 1), {}, false);
        EXPECT_TRUE(reporter.drag(at(4, 1), Mods{.shift = true}));
        reporter.release(at(4, 1), {});
        EXPECT_EQ(take(), (std::vector<std::string>{"\x1b[<0;2;2M", "\x1b[<36;5;2M", "\x1b[<0;5;2m"})) << set;
        // Motion without a button only in any-event mode.
        EXPECT_EQ(reporter.move(at(3, 3), Mods{.alt = true}), set[6] == '3') << set;
    }
    EXPECT_EQ(take(), (std::vector<std::string>{"\x1b[<43;4;4M"}));
}

TEST_F(MouseReporting, ScrolledBackViewReportsTheScreenRow)
{
    for (int i = 0; i < 60; ++i) terminal.feed("line\r\n");
    mode("\x1b[?1003h");
    Buffer& buffer = terminal.displayBuffer();
    buffer.setYDisp(buffer.yBase() - 10);
    reporter.move({{0, buffer.yDisp() + 2}, 0, 0}, {});
    EXPECT_EQ(take(), (std::vector<std::string>{"\x1b[<35;1;3M"}));
    EXPECT_EQ(reporter.screenRow(buffer.yDisp() + 500), 23);
    EXPECT_EQ(reporter.screenRow(0), 0);
}

TEST_F(MouseReporting, WithoutReportingClicksSelect)
{
    mode("\x1b[?1000h");
    reporter.allowMouseReporting = false;
    EXPECT_FALSE(reporter.press(at(1, 1), {}, false));
    EXPECT_FALSE(reporter.drag(at(1, 1), {}));
    EXPECT_FALSE(reporter.release(at(1, 1), {}));
    reporter.allowMouseReporting = true;
    terminal.feed("\x1b[?1000l");
    EXPECT_FALSE(reporter.press(at(1, 1), {}, false));
    EXPECT_FALSE(reporter.drag(at(1, 1), {}));
    EXPECT_TRUE(take().empty());
}

TEST(MouseGeometry, HitTestClampsAndWheelSteps)
{
    using R = MouseReporter;
    auto hit = R::hitTest(25.5, 33, 10, 16, 800, 384, 80, 100, 124);
    EXPECT_EQ(hit.grid, (Position{2, 102}));
    EXPECT_EQ(hit.pixelX, 25);
    EXPECT_EQ(hit.pixelY, 33);
    hit = R::hitTest(-5, 9000, 10, 16, 800, 384, 80, 100, 124);
    EXPECT_EQ(hit.grid, (Position{0, 123}));
    EXPECT_EQ(hit.pixelX, 0);
    EXPECT_EQ(hit.pixelY, 384);
    EXPECT_EQ(R::hitTest(5000, 0, 10, 16, 800, 384, 80, 0, 0).grid, (Position{79, 0}));

    EXPECT_EQ(R::wheelLines(0, 24), 0);
    EXPECT_EQ(R::wheelLines(0.5, 24), 1);
    EXPECT_EQ(R::wheelLines(-1, 24), 1);
    EXPECT_EQ(R::wheelLines(2, 24), 3);
    EXPECT_EQ(R::wheelLines(5.9, 24), 3);
    EXPECT_EQ(R::wheelLines(-6, 24), 10);
    EXPECT_EQ(R::wheelLines(12, 24), 24);
    EXPECT_EQ(R::wheelLines(12, 10), 20);
}

}  // namespace
}  // namespace corvel
