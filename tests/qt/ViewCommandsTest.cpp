// The terminal view's edit and find commands and the host callbacks it
// answers: copying only an active selection, and never an empty text over
// the clipboard, pasting with the program's markers, menu validation,
// searches over real program output (centred, bad patterns; the search
// itself is the core's), the find bar driving the view,
// window-size and cell-size replies, progress reports with their expiry on an
// injected clock, the bell, the title and the debug overlay.
#include "ViewPointerSupport.h"

#include "corvel/qt/FindBarController.h"
#include "corvel/qt/FindPasteboard.h"
#include "corvel/qt/TerminalDebugView.h"
#include "corvel/qt/TerminalFindBarView.h"
#include "corvel/qt/TerminalProgressBarView.h"

#include <QAction>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <thread>

namespace corvel {
namespace {


// The find pasteboard starts empty for each test.
struct CommandFixture : testing::PointerFixture {
    explicit CommandFixture(QRect frame = QRect(0, 0, 640, 300)) : PointerFixture(frame) { findpasteboard::clear(); }
};

TEST(ViewCommands, CopyPasteSelectAllAndTheirValidation)
{
    CommandFixture f;
    QClipboard& clipboard = *QGuiApplication::clipboard();
    clipboard.setText("before");
    f.view.feed("hello world\r\n");

    // Nothing selected: copy leaves the clipboard, and the menu says so.
    EXPECT_FALSE(f.view.copyAction()->isEnabled());
    EXPECT_FALSE(f.view.validateUserInterfaceItem("copy:", std::nullopt));
    EXPECT_FALSE(f.view.validateUserInterfaceItem("performFindPanelAction:", 7));
    EXPECT_FALSE(f.view.validateUserInterfaceItem("performTextFinderAction:", 7));
    f.view.copyAction()->trigger();
    EXPECT_EQ(clipboard.text(), "before");
    // An inactive selection that still has ends copies nothing either.
    f.view.selection().setSelection({0, 0}, {5, 0});
    f.view.selection().setActive(false);
    f.view.copy();
    EXPECT_EQ(clipboard.text(), "before");

    f.view.selection().setSelection({6, 0}, {11, 0});
    EXPECT_TRUE(f.view.copyAction()->isEnabled());
    EXPECT_TRUE(f.view.validateUserInterfaceItem("copy:", std::nullopt));
    EXPECT_TRUE(f.view.validateUserInterfaceItem("performFindPanelAction:", 7));
    f.view.copyAction()->trigger();
    EXPECT_EQ(clipboard.text(), "world");

    for (int tag : {1, 2, 3}) EXPECT_TRUE(f.view.validateUserInterfaceItem("performFindPanelAction:", tag));
    for (int tag : {11, 12, 13}) EXPECT_TRUE(f.view.validateUserInterfaceItem("performTextFinderAction:", tag));
    EXPECT_FALSE(f.view.validateUserInterfaceItem("performFindPanelAction:", 11));
    EXPECT_TRUE(f.view.validateUserInterfaceItem("paste:", std::nullopt));
    EXPECT_TRUE(f.view.validateUserInterfaceItem("selectAll:", std::nullopt));
    EXPECT_FALSE(f.view.validateUserInterfaceItem("frobnicate:", std::nullopt));

    // Paste: plain, then between the markers the program asked for.
    clipboard.setText("pasted");
    f.take();
    f.view.pasteAction()->trigger();
    EXPECT_EQ(f.take(), "pasted");
    f.view.feed("\x1b[?2004h");
    f.view.paste();
    EXPECT_EQ(f.take(), "\x1b[200~pasted\x1b[201~");
    clipboard.clear();
    f.view.paste();
    EXPECT_EQ(f.take(), "\x1b[200~\x1b[201~");

    f.view.selectAllAction()->trigger();
    EXPECT_TRUE(f.view.selection().active());
    EXPECT_EQ(f.view.getSelection().value().substr(0, 11), "hello world");

    // A clipboard write from the program reaches no clipboard.
    clipboard.setText("mine");
    f.view.feed("\x1b]52;c;aGk=\x07");
    EXPECT_EQ(clipboard.text(), "mine");
}

TEST(ViewCommands, ACopyOfOnlyBlankCellsLeavesTheClipboardAsItWas)
{
    CommandFixture f;
    QClipboard& clipboard = *QGuiApplication::clipboard();
    clipboard.setText("copied before");
    f.view.feed("# ls ./a/b\r\n");
    // A double-click on the blank cells after the text, on the "#", the "."
    // or the "/" selects cells whose text is empty.
    uint64_t time = 1000;
    for (const int col : {30, 0, 5, 6}) {
        testing::click(f.view, testing::cellCentre(f.view, col, 0), Qt::NoModifier, time);
        testing::click(f.view, testing::cellCentre(f.view, col, 0), Qt::NoModifier, time + 100, true);
        time += 5000;
        ASSERT_TRUE(f.view.selection().active()) << col;
        ASSERT_EQ(f.view.getSelection(), "") << col;
        f.view.copyAction()->trigger();
        EXPECT_EQ(clipboard.text(), "copied before") << col;
    }
}

TEST(ViewCommands, FindSelectsAndCentresMatchesInProgramOutput)
{
    CommandFixture f;
    auto run = testing::PointerPty::start(f.view, "seq 2000", testing::PtyFeed::view);
    ASSERT_TRUE(testing::pumpUntil([&] { return run->exited && testing::screenHas(f.view, "2000"); }));
    Terminal& terminal = f.view.getTerminal();
    Buffer& buffer = terminal.displayBuffer();
    const int rows = terminal.rows();

    ASSERT_TRUE(f.view.findNext("1500", SearchOptions{}, true));
    EXPECT_EQ(f.view.getSelection(), "1500");
    const int row = f.view.selection().start().row;
    EXPECT_EQ(terminal.translateBufferLineToString(buffer, row, 0, -1), "1500");
    EXPECT_EQ(buffer.yDisp(), row - rows / 2);
    ASSERT_TRUE(f.view.findPrevious("199", SearchOptions{}, true));
    EXPECT_EQ(f.view.getSelection(), "199");

    // A lone "(" as a pattern finds nothing and raises nothing.
    SearchOptions regex;
    regex.regex = true;
    EXPECT_FALSE(f.view.findNext("(", regex, true));
    EXPECT_FALSE(f.view.selection().active());

    // Closing the search drops the selection.
    ASSERT_TRUE(f.view.findNext("1777", SearchOptions{}, true));
    f.view.clearSearch();
    EXPECT_FALSE(f.view.selection().active());
}

TEST(ViewCommands, FindBarDrivesTheViewsSearch)
{
    CommandFixture f(QRect(0, 0, 900, 300));
    f.view.show();
    for (int i = 1; i <= 300; ++i) f.view.feed(std::to_string(i) + "\r\n");

    f.view.findAction()->trigger();
    TerminalFindBarView* bar = f.view.findBar();
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->geometry().top(), 8);
    EXPECT_EQ(bar->geometry().right() + 1, f.view.width() - 8);
    EXPECT_LE(bar->width(), 520);
    EXPECT_GE(bar->geometry().left(), 8);

    // Every edit searches forward.
    QTest::keyClicks(bar->searchField(), "12");
    EXPECT_EQ(f.view.getSelection(), "12");
    EXPECT_EQ(findpasteboard::text(), "12");
    const int first = f.view.selection().start().row;
    QTest::keyClick(bar->searchField(), Qt::Key_Return);
    EXPECT_GT(f.view.selection().start().row, first);

    // Escape closes the bar (emptying the field is the controller's, in FindBarTest).
    QTest::keyClick(bar->searchField(), Qt::Key_Escape);
    EXPECT_FALSE(bar->isVisible());

    // Tag 7: the selection becomes the term and fills the bar.
    f.view.selection().setSelection({0, 41}, {2, 41});
    f.view.performFindPanelAction(7);
    EXPECT_EQ(findpasteboard::text(), "42");
    EXPECT_EQ(bar->searchField()->text(), "42");
    EXPECT_TRUE(bar->isVisible());
    f.view.performTextFinderAction(11);
    EXPECT_FALSE(bar->isVisible());

    // The bar keeps its place when the view is resized; in a grid tile's
    // width it keeps a usable field, and in a narrower view its margins give
    // way before it outgrows the view.
    f.view.resize(700, 300);
    EXPECT_EQ(bar->geometry().right() + 1, 700 - 8);
    f.view.resize(286, 300);
    EXPECT_EQ(bar->geometry().right() + 1, 286 - 8);
    EXPECT_GE(bar->geometry().left(), 8);
    EXPECT_EQ(bar->width(), 286 - 16);
    f.view.resize(bar->minimumUsableWidth() - 10, 300);
    EXPECT_EQ(bar->geometry(), QRect(0, 8, f.view.width(), bar->height()));
}

TEST(ViewCallbacks, WindowQueriesGetSizeRepliesAndOthersNone)
{
    CommandFixture f;
    Terminal& terminal = f.view.getTerminal();
    const QSizeF cell = *f.view.cellDimension();
    const double scale = f.view.devicePixelRatioF();
    const std::string rows = std::to_string(terminal.rows());
    const std::string cols = std::to_string(terminal.cols());

    f.view.feed("\x1b[18t");
    EXPECT_EQ(f.take(), "\x1b[8;" + rows + ";" + cols + "t");
    f.view.feed("\x1b[19t");
    EXPECT_EQ(f.take(), "\x1b[9;" + rows + ";" + cols + "t");
    f.view.feed("\x1b[14t");
    EXPECT_EQ(f.take(), "\x1b[4;" + std::to_string(std::llround(cell.height() * scale * terminal.rows())) + ";" +
                            std::to_string(std::llround(cell.width() * scale * terminal.cols())) + "t");
    f.view.feed("\x1b[16t");
    EXPECT_EQ(f.take(), "\x1b[6;" + std::to_string(static_cast<long long>(cell.height() * scale)) + ";" +
                            std::to_string(static_cast<long long>(cell.width() * scale)) + "t");
    // Requests to move or resize the window are not answered and change nothing.
    f.view.feed("\x1b[4;100;200t\x1b[3;10;10t\x1b[2t");
    EXPECT_EQ(f.take(), "");
    EXPECT_EQ(std::to_string(terminal.cols()), cols);

    // Replies in 8-bit controls when the program asked for them.
    f.view.feed("\x1b G");
    f.view.feed("\x1b[16t");
    EXPECT_EQ(f.take().substr(0, 3), "\x9b" "6;");

    // Not in a window, the cell size is counted at scale 1.
    const auto size = f.view.cellSizeInPixels(terminal);
    ASSERT_TRUE(size);
    EXPECT_EQ(size->width, static_cast<int>(cell.width()));
    EXPECT_EQ(size->height, static_cast<int>(cell.height()));
}

TEST(ViewCallbacks, ProgressReportsAndTheirExpiry)
{
    CommandFixture f;
    auto clock = std::make_shared<RunLoopQueue>(true);
    f.view.progressTimerQueue = clock;
    TerminalProgressBarView& bar = *f.view.progressBarView();
    auto report = [&](const std::string& body) { f.view.feed("\x1b]9;4;" + body + "\x07"); };

    report("1;40");
    EXPECT_EQ(bar.state(), ProgressReportState::set);
    EXPECT_EQ(bar.progress(), 40);
    report("4");  // pause keeps the last value
    EXPECT_EQ(bar.state(), ProgressReportState::pause);
    EXPECT_EQ(bar.progress(), 40);
    report("2");  // error without a value shows the last one
    EXPECT_EQ(bar.state(), ProgressReportState::error);
    EXPECT_EQ(bar.progress(), 40);
    report("3");
    EXPECT_EQ(bar.state(), ProgressReportState::indeterminate);
    EXPECT_EQ(f.view.lastProgressValue(), 40);
    report("0");
    EXPECT_EQ(bar.state(), ProgressReportState::remove);
    EXPECT_FALSE(f.view.lastProgressValue());
    report("4");  // nothing earlier: a pause shows 100
    EXPECT_EQ(bar.progress(), 100);
    report("0");
    report("2");
    EXPECT_EQ(bar.state(), ProgressReportState::error);
    EXPECT_FALSE(bar.progress());
    report("1");
    EXPECT_EQ(bar.progress(), 0);

    // A program that stops reporting loses its bar 15 s after its last report.
    report("1;10");
    clock->advance(10'000'000'000);
    report("1;20");
    clock->advance(14'999'999'999);
    EXPECT_EQ(bar.state(), ProgressReportState::set);
    EXPECT_EQ(bar.progress(), 20);
    clock->advance(1);
    EXPECT_EQ(bar.state(), ProgressReportState::remove);
    EXPECT_FALSE(f.view.lastProgressValue());

    // From another thread the report arrives on the view's.
    std::thread other([&] { f.view.progressReport(f.view.getTerminal(), ProgressReport{ProgressReportState::set, 77}); });
    other.join();
    EXPECT_TRUE(testing::pumpUntil([&] { return bar.progress() == 77; }));
}

TEST(ViewCallbacks, BellTitleAndDebugOverlay)
{
    CommandFixture f;
    f.view.feed("\x07\x1b]0;build log\x07");
    EXPECT_EQ(f.host->bells, 1);
    EXPECT_EQ(f.host->titles, std::vector<std::string>{"build log"});

    TerminalDebugView& debug = f.view.attachDebugView();
    EXPECT_EQ(&debug, f.view.debugView());
    EXPECT_EQ(debug.geometry(), f.view.rect());
    f.view.feed("abc\r\ndef");
    ASSERT_TRUE(testing::pumpUntil([&] { return !f.view.pendingDisplay(); }));
    EXPECT_TRUE(debug.findChild<QLabel*>()->text().startsWith("x: 3 y: 1 "));
}

}  // namespace
}  // namespace corvel
