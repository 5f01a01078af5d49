// The line-ring overlay: its status line, the slot and logical texts with
// their markers, empty slots, and the font fallback.
#include "PixelProbe.h"

#include "corvel/qt/TerminalDebugView.h"
#include "corvel/terminal/Terminal.h"

#include <QFontDatabase>
#include <QFontInfo>

#include <gtest/gtest.h>

namespace corvel {
namespace {

class Host : public TerminalDelegate {
public:
    void send(Terminal&, std::span<const uint8_t>) override {}
};

TEST(DebugView, ShowsTheRingSlotsAndTheirLogicalOrder)
{
    auto host = std::make_shared<Host>();
    TerminalOptions options;
    options.cols = 6;
    options.rows = 3;
    options.scrollback = 2;
    Terminal terminal(host, options);
    TerminalDebugView view(terminal);
    view.resize(400, 120);
    view.refresh();
    EXPECT_EQ(view.statusText(), "x: 0 y: 0 yDisp: 0 yBase: 0 clc: 5 startIndex: 0");

    // Two rows of the capacity of five are never used: "<empty>".
    auto [slot0, line0] = view.linesFor(0);
    EXPECT_EQ(slot0.prefix, "[000:000]DB");
    EXPECT_EQ(line0.prefix, "[000]DB");
    EXPECT_EQ(line0.text, "      ");
    auto [slot4, line4] = view.linesFor(4);
    EXPECT_EQ(slot4.text, "<empty>");
    EXPECT_EQ(line4.text, "<empty>");

    // Scroll the ring round: logical line 0 now lives in slot 2.
    terminal.feed("a\r\nb\r\nc\r\nd\r\ne\r\n\xe4\xb8\xad" "f");
    view.refresh();
    EXPECT_EQ(view.statusText(), "x: 3 y: 2 yDisp: 2 yBase: 2 clc: 5 startIndex: 1");
    auto [slot1, line1] = view.linesFor(1);
    EXPECT_EQ(slot1.prefix, "[001:002]  ");
    EXPECT_EQ(line1.text, "c     ");
    auto [slot2, line2] = view.linesFor(2);
    EXPECT_EQ(line2.prefix, "[002]DB");
    EXPECT_EQ(view.linesFor(4).second.text, "\xe4\xb8\xad f   ") << "the wide character's placeholder reads as a space";
    EXPECT_EQ(view.getDebugString(nullptr, 6, "[x]", false).text, "<empty>");
    EXPECT_TRUE(view.getDebugString(&terminal.buffer().lines()[0], 0, "[x]", false).text.isEmpty());
    qt::test::saveRender(view.grab().toImage(), QStringLiteral("debugview.png"));
}

TEST(DebugView, FallsBackToTheSystemFixedFont)
{
    const QFont fallback = TerminalDebugView::pickFont({QStringLiteral("No Such Family 1"), QStringLiteral("Nope 2")});
    EXPECT_EQ(fallback.family(), QFontDatabase::systemFont(QFontDatabase::FixedFont).family());
    EXPECT_EQ(fallback.pointSizeF(), 8);
    const QString installed = QFontDatabase::families().value(0);
    ASSERT_FALSE(installed.isEmpty());
    EXPECT_EQ(TerminalDebugView::pickFont({QStringLiteral("No Such Family"), installed}).family(), installed);
}

}  // namespace
}  // namespace corvel
