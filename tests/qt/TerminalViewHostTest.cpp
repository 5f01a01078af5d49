// The view as the terminal's host: coalesced redraws, the selection under new
// output, scrolling with clamping, trimming the history, sends and their
// delegate, the selection as text, what assistive technology is told and
// sees, and the link-payload and control-key parsers.
#include "QtTestSupport.h"

#include "tests/corvel/support/ScreenText.h"

#include <QAccessible>

#include <gtest/gtest.h>

namespace corvel {
namespace {

using testing::pumpUntil;
using testing::testFont;

struct HostFixture : ::testing::Test {
    TerminalView view{QRect(0, 0, 400, 14 * 10), testFont()};
    std::shared_ptr<testing::RecordingViewDelegate> host = std::make_shared<testing::RecordingViewDelegate>();

    void SetUp() override { view.setTerminalDelegate(host); }
    Buffer& display() { return view.getTerminal().displayBuffer(); }
    void fillScrollback(int lines)
    {
        for (int i = 0; i < lines; ++i) view.feed("line " + std::to_string(i) + "\r\n");
    }
};

TEST_F(HostFixture, FeedsWithinOneFrameShareOneRedraw)
{
    pumpUntil([&] { return !view.pendingDisplay(); });
    const uint64_t before = view.displayUpdates();
    for (int i = 0; i < 1000; ++i) view.feed(std::string_view("x"));
    EXPECT_TRUE(view.pendingDisplay());
    ASSERT_TRUE(pumpUntil([&] { return !view.pendingDisplay(); }));
    EXPECT_EQ(view.displayUpdates(), before + 1);
    // A feed after that redraw asks for the next one.
    view.feed(std::string_view("y"));
    ASSERT_TRUE(pumpUntil([&] { return view.displayUpdates() == before + 2; }));
}

TEST_F(HostFixture, NewOutputClearsTheSelectionOnlyWhileMouseReportingIsAllowed)
{
    view.feed(std::string_view("hello"));
    view.selection().setSelection({0, 0}, {3, 0});
    view.allowMouseReporting = false;
    view.feed(std::string_view("!"));
    EXPECT_TRUE(view.selectionActive());
    view.allowMouseReporting = true;
    view.feed(std::string_view("!"));
    EXPECT_FALSE(view.selectionActive());
}

TEST_F(HostFixture, ScrollingIsClampedAndReportsOnlyRealMoves)
{
    struct ScrollRecorder : testing::RecordingViewDelegate {
        std::vector<double> positions;
        void scrolled(TerminalView&, double position) override { positions.push_back(position); }
    };
    auto recorder = std::make_shared<ScrollRecorder>();
    view.setTerminalDelegate(recorder);
    fillScrollback(50);
    const int max = int(display().lines().count()) - display().rows();
    ASSERT_EQ(display().yDisp(), max);
    // Output that scrolled reported each move; only the view's own moves count below.
    recorder->positions.clear();

    view.scrollTo(max);  // already there
    EXPECT_TRUE(recorder->positions.empty());
    view.scrollTo(max + 100);
    EXPECT_EQ(display().yDisp(), max);
    EXPECT_TRUE(recorder->positions.empty());

    view.scrollTo(-5);
    EXPECT_EQ(display().yDisp(), 0);
    ASSERT_EQ(recorder->positions.size(), 1u);
    EXPECT_EQ(recorder->positions.back(), 0.0);

    view.scrollDown(3);
    EXPECT_EQ(display().yDisp(), 3);
    view.scrollUp(10);
    EXPECT_EQ(display().yDisp(), 0);
    view.scrollToPosition(1.0);
    EXPECT_EQ(display().yDisp(), max);
    EXPECT_EQ(recorder->positions.back(), 1.0);
    view.scrollToPosition(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(display().yDisp(), 0);

    // Sending brings the cursor back into view first.
    view.send(std::string_view("a"));
    EXPECT_EQ(display().yDisp(), max);
    EXPECT_EQ(recorder->sent, "a");
}

// Trimming the history from the view does what the terminal's own trim does:
// placements keep their lines, and the frozen copy of synchronized output
// keeps the history it shows.
TEST_F(HostFixture, ChangingTheScrollbackKeepsPlacementsAndTheFrozenHistory)
{
    Terminal& terminal = view.getTerminal();
    ASSERT_EQ(terminal.rows(), 10);
    view.changeScrollback(100);
    EXPECT_EQ(terminal.options().scrollback, 100);
    // A one-cell image on absolute row 5, which output then takes into the
    // history (the screen starts at row 16).
    testing::feedLines(terminal, 0, 5);
    terminal.feed("\x1b_Ga=T,f=32,s=1,v=1,i=1,p=1,c=1,r=1,C=1;AAAA/w==\x1b\\");
    testing::feedLines(terminal, 5, 25);
    ASSERT_EQ(terminal.buffer().yBase(), 16);
    host->sent.clear();

    // Four lines go: the image's line is now row 1 and the screen starts at 12,
    // so 20 rows below it is the screen's last row.
    view.changeScrollback(12);
    ASSERT_EQ(terminal.buffer().yBase(), 12);
    EXPECT_EQ(terminal.options().scrollback, 12);
    terminal.feed("\x1b_Ga=p,i=1,p=2,P=1,Q=1,V=20\x1b\\");
    EXPECT_EQ(host->sent, "\x1b_Gi=1,p=2;OK\x1b\\");

    // The frozen copy, with the view scrolled back, over a history that is
    // trimmed while output goes on underneath.
    view.changeScrollback(30);
    testing::feedLines(terminal, 25, 60);
    view.scrollTo(10);
    const std::vector<std::string> before = testing::allLines(terminal, terminal.buffer());
    terminal.feed("\x1b[?2026h");
    Buffer& frozen = terminal.displayBuffer();
    ASSERT_NE(&frozen, &terminal.buffer());
    testing::feedLines(terminal, 60, 63);
    view.changeScrollback(3);
    testing::feedLines(terminal, 63, 80);
    EXPECT_EQ(testing::allLines(terminal, frozen), before);
    terminal.feed("\x1b[?2026l");
}

TEST_F(HostFixture, SendsWithoutADelegateAreDroppedAndCursorKeysFollowTheCursorMode)
{
    view.sendKeyUp();
    view.sendKeyLeft();
    view.feed(std::string_view("\x1b[?1h"));
    view.sendKeyDown();
    view.sendKeyRight();
    EXPECT_EQ(host->sent, "\x1b[A\x1b[D\x1b" "OB\x1b" "OC");
    host.reset();
    view.send(std::string_view("lost"));  // no delegate: nothing happens
}

TEST_F(HostFixture, SelectionTextStopsBeforeItsEndColumn)
{
    // (A selection ending in the last column takes it: ViewPointer's triple click.)
    view.feed(std::string_view("next"));
    view.selection().setSelection({2, 0}, {0, 0});
    EXPECT_EQ(view.getSelection(), "ne");
    view.selectNone();
    EXPECT_EQ(view.getSelection(), std::nullopt);
    EXPECT_EQ(view.selection().selectionMode(), SelectionMode::character);
}

TEST_F(HostFixture, DirectoryReportsReachTheDelegate)
{
    struct DirectoryRecorder : testing::RecordingViewDelegate {
        std::vector<std::optional<std::string>> directories;
        void hostCurrentDirectoryUpdate(TerminalView&, const std::optional<std::string>& d) override
        {
            directories.push_back(d);
        }
    };
    auto recorder = std::make_shared<DirectoryRecorder>();
    view.setTerminalDelegate(recorder);
    view.feed(std::string_view("\x1b]7;file://host/tmp/work\x07"));
    ASSERT_EQ(recorder->directories.size(), 1u);
    EXPECT_EQ(recorder->directories[0], view.getTerminal().hostCurrentDirectory);

}

// A view whose accessibility events are recorded, as if assistive
// technology listened.
struct ListenedView : TerminalView {
    using TerminalView::TerminalView;
    struct Posted {
        QAccessible::Event type;
        QString value;
        int start = 0, end = 0;
    };
    std::vector<Posted> posted;
    bool accessibilityListening() const override { return true; }
    void postAccessibilityEvent(QAccessibleEvent& event) override
    {
        Posted entry{event.type(), {}};
        if (event.type() == QAccessible::ValueChanged)
            entry.value = static_cast<QAccessibleValueChangeEvent&>(event).value().toString();
        if (event.type() == QAccessible::TextSelectionChanged) {
            const auto& selected = static_cast<QAccessibleTextSelectionEvent&>(event);
            entry.start = selected.selectionStart();
            entry.end = selected.selectionEnd();
        }
        posted.push_back(entry);
    }
};

TEST(HostAccessibility, UpdatesReportTheTextThenTheSelectionOfATextArea)
{
    ListenedView view(QRect(0, 0, 400, 14 * 10), testFont());
    view.feed(std::string_view("hello 한글\r\nworld"));
    ASSERT_TRUE(pumpUntil([&] { return !view.pendingDisplay(); }));
    ASSERT_EQ(view.posted.size(), 2u);
    EXPECT_EQ(view.posted[0].type, QAccessible::ValueChanged);
    EXPECT_TRUE(view.posted[0].value.startsWith(QStringLiteral("hello 한글\nworld\n")));
    EXPECT_EQ(view.posted[1].type, QAccessible::TextSelectionChanged);
    EXPECT_EQ(view.posted[1].start, 14) << "nothing selected: the cursor, after \"world\"";
    EXPECT_EQ(view.posted[1].end, 14);

    // A scroll tells only when asked to.
    for (int i = 0; i < 20; ++i) view.feed(std::string_view("\r\nmore"));
    ASSERT_TRUE(pumpUntil([&] { return !view.pendingDisplay(); }));
    view.posted.clear();
    view.scrollTo(0, false);
    EXPECT_TRUE(view.posted.empty());
    view.scrollTo(1, true);
    ASSERT_EQ(view.posted.size(), 2u);
    EXPECT_TRUE(view.posted[0].value.startsWith(QStringLiteral("world\nmore")));
    view.scrollTo(0, true);

    // The view is a multi-line text area over the visible screen; a wide
    // character is one character over two cells.
    QAccessibleInterface* area = QAccessible::queryAccessibleInterface(&view);
    ASSERT_NE(area, nullptr);
    EXPECT_EQ(area->role(), QAccessible::EditableText);
    EXPECT_TRUE(area->state().multiLine);
    QAccessibleTextInterface* text = area->textInterface();
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->text(0, 14), QStringLiteral("hello 한글\nworld"));
    const QRect wide = text->characterRect(7);
    EXPECT_EQ(wide.width(), 2 * int(view.cellDimension()->width()));
    EXPECT_EQ(text->offsetAtPoint(wide.center() + QPoint(wide.width() / 4, 0)), 7) << "the right half of 글";
    text->setSelection(0, 9, 14);
    EXPECT_EQ(view.getSelection(), "world");
    int start = 0, end = 0;
    text->selection(0, &start, &end);
    EXPECT_EQ(std::pair(start, end), std::pair(9, 14));
    text->removeSelection(0);
    EXPECT_EQ(text->selectionCount(), 0);
}

TEST(HostParsers, LinkPayloadsSplitIntoUriAndParameters)
{
    auto parsed = TerminalView::urlAndParamsFrom("id=abc:x=1;https://example.com/a;b");
    ASSERT_TRUE(parsed);
    // Everything after the parameters is the URI, semicolons included.
    EXPECT_EQ(parsed->first, "https://example.com/a;b");
    EXPECT_EQ(parsed->second, (std::map<std::string, std::string>{{"id", "abc"}, {"x", "1"}}));
    EXPECT_TRUE(TerminalView::urlAndParamsFrom("id=a=b;u")->second.empty());
    EXPECT_EQ(TerminalView::urlAndParamsFrom("no-semicolon"), std::nullopt);
    parsed = TerminalView::urlAndParamsFrom(";file:///tmp");
    EXPECT_EQ(parsed->first, "file:///tmp");
    EXPECT_TRUE(parsed->second.empty());
}

TEST(HostParsers, ControlKeysMapOneByteCharacters)
{
    const std::vector<std::pair<std::string, std::vector<uint8_t>>> cases = {
        {"c", {3}}, {"Z", {26}}, {" ", {0}}, {"[", {27}}, {"6", {30}}, {"@", {}}, {"é", {}}, {"ab", {}}};
    for (const auto& [characters, expected] : cases)
        EXPECT_EQ(TerminalView::applyControlToEventCharacters(characters), expected) << characters;
}

}  // namespace
}  // namespace corvel
