// Real programs on real pseudo-terminals in a LocalProcessTerminalView: the
// window size the child sees and its changes, the end reported once (and not
// at all after terminate), keys to an ended child, a megabyte pasted whole,
// paging in less, the wheel over full-screen programs in a view fitted to a
// tile, the view's command keys that never reach the program, and the
// clipboard write.
#include "ProcessViewSupport.h"

#include "corvel/qt/KeyInput.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <sys/ioctl.h>

#include <cstdio>
#include <fstream>

#include <gtest/gtest.h>

namespace corvel {
namespace {

using testing::makeProcessView;
using testing::pumpUntil;
using testing::waitForText;

// The screen as drawn: the viewport's top row and the text of each row.
std::vector<std::string> drawnScreen(TerminalView& view)
{
    Terminal& terminal = view.getTerminal();
    Buffer& display = terminal.displayBuffer();
    std::vector<std::string> rows{std::to_string(display.yDisp())};
    for (int row = 0; row < terminal.rows(); ++row)
        rows.push_back(terminal.translateBufferLineToString(display, display.yDisp() + row, 0, -1));
    return rows;
}

void wheelUp(TerminalView& view)
{
    const QPointF at(view.width() / 2.0, view.height() / 2.0);
    QWheelEvent event(at, view.mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(&view, &event);
}

TEST(LocalProcessView, WindowSizeInCellsAndDevicePixelsFollowsTheView)
{
    auto view = makeProcessView(100, 30);
    auto recorder = std::make_shared<testing::RecordingProcessDelegate>();
    view->setProcessDelegate(recorder);
    view->startProcess("/bin/sh", {"-c", "stty size; echo READY; read x; stty size; echo DONE; read y"});
    ASSERT_TRUE(waitForText(*view, "READY"));
    EXPECT_TRUE(testing::screenHasLine(*view, "30 100"));

    // The pixel fields hold the text area in device pixels, as the window
    // size report answers.
    winsize size{};
    ASSERT_EQ(ioctl(view->process().childfd(), TIOCGWINSZ, &size), 0);
    const double scale = view->devicePixelRatioF();
    if (qEnvironmentVariableIsSet("QT_SCALE_FACTOR")) {
        EXPECT_DOUBLE_EQ(scale, qEnvironmentVariable("QT_SCALE_FACTOR").toDouble());
    }
    const QSizeF cell = *view->cellDimension();
    EXPECT_EQ(size.ws_xpixel, std::lround(cell.width() * scale * 100));
    EXPECT_EQ(size.ws_ypixel, std::lround(cell.height() * scale * 30));

    view->resize(testing::frameFor(*view, 80, 24));
    ASSERT_TRUE(pumpUntil([&] { return view->getTerminal().cols() == 80; }));
    EXPECT_EQ(recorder->sizes.back(), std::make_pair(80, 24));
    view->send(std::string_view("\r"));
    ASSERT_TRUE(waitForText(*view, "DONE"));
    EXPECT_TRUE(testing::screenHasLine(*view, "24 80"));
    view->terminate();

    // A text area wider than the field can count reports its largest value.
    view->getTerminal().resize(10000, 24);
    EXPECT_EQ(view->getWindowSize().cols, 10000);
    EXPECT_EQ(view->getWindowSize().pixelWidth, 65535);
}

TEST(LocalProcessView, TheEndIsReportedOnceAndLaterKeysAreDropped)
{
    auto view = makeProcessView(80, 24);
    auto recorder = std::make_shared<testing::RecordingProcessDelegate>();
    view->setProcessDelegate(recorder);
    view->startProcess("/bin/sh", {"-c", "exit 7"});
    ASSERT_TRUE(pumpUntil([&] { return !recorder->exits.empty(); }));
    EXPECT_EQ(recorder->exits[0], 1792);  // the raw wait status
    EXPECT_FALSE(view->process().running());

    const int64_t sends = view->process().sendCount();
    KeyInput key;
    key.characters = key.charactersIgnoringModifiers = "x";
    view->keyDown(key);
    view->send(std::string_view("more"));
    EXPECT_EQ(view->process().sendCount(), sends);

    // A new child on the same view: its end is the second report, so the
    // first child was reported exactly once.
    view->startProcess("/bin/sh", {"-c", "exit 0"});
    ASSERT_TRUE(pumpUntil([&] { return recorder->exits.size() >= 2; }));
    EXPECT_EQ(recorder->exits, (std::vector<std::optional<int32_t>>{1792, 0}));
}

TEST(LocalProcessView, TerminateReportsNothingAndASecondStartWaitsForTheFirstChild)
{
    auto view = makeProcessView(80, 24);
    auto recorder = std::make_shared<testing::RecordingProcessDelegate>();
    view->setProcessDelegate(recorder);
    view->startProcess("/bin/sh", {"-c", "echo FIRST; sleep 60"});
    ASSERT_TRUE(waitForText(*view, "FIRST"));
    view->startProcess("/bin/sh", {"-c", "echo SECOND"});
    view->terminate();
    EXPECT_FALSE(view->process().running());

    view->startProcess("/bin/sh", {"-c", "echo THIRD; exit 3"});
    ASSERT_TRUE(pumpUntil([&] { return !recorder->exits.empty(); }));
    EXPECT_TRUE(testing::screenContains(*view, "THIRD"));
    EXPECT_FALSE(testing::screenContains(*view, "SECOND"));
    EXPECT_EQ(recorder->exits, (std::vector<std::optional<int32_t>>{768}));
}

TEST(LocalProcessView, AMegabytePasteReachesTheChildWhole)
{
    auto view = makeProcessView(80, 24);
    view->startProcess("/bin/sh", {"-c", "stty -echo; echo READY; wc -c"});
    ASSERT_TRUE(waitForText(*view, "READY"));
    std::string paste;
    const std::string line = std::string(63, 'p') + "\n";
    while (paste.size() < (1u << 20)) paste += line;
    ASSERT_EQ(paste.size(), 1048576u);
    view->insertText(paste, true);
    view->send(std::string_view("\x04"));
    EXPECT_TRUE(waitForText(*view, "1048576"));
    view->terminate();
}

TEST(LocalProcessView, PageDownPagesInLess)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("rows.txt")).toStdString();
    {
        std::ofstream out(path);
        for (int i = 1; i <= 300; ++i) out << "row " << i << "\n";
    }
    auto view = makeProcessView(80, 24);
    view->startProcess("/usr/bin/less", {path});
    ASSERT_TRUE(waitForText(*view, "row 1"));
    ASSERT_TRUE(view->getTerminal().isCurrentBufferAlternate());
    KeyInput pageDown;
    pageDown.characters = pageDown.charactersIgnoringModifiers = "\xef\x9c\xad";  // U+F72D
    pageDown.keyCode = KeyCode::pageDown;
    pageDown.modifiers = KeyInput::function;
    view->keyDown(pageDown);
    EXPECT_TRUE(waitForText(*view, "row 40"));
    KeyInput quit;
    quit.characters = quit.charactersIgnoringModifiers = "q";
    view->keyDown(quit);
    view->terminate();
}

TEST(LocalProcessView, TheWheelFindsNothingAboveTheAlternateScreenOfAViewFittedToATile)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("rows.txt")).toStdString();
    {
        std::ofstream out(path);
        for (int i = 1; i <= 300; ++i) out << "row " << i << "\n";
    }
    // Three notches up leave the drawn screen as it was; the scroller shows no range.
    auto expectTheWheelChangesNothing = [](TerminalView& view) {
        ASSERT_TRUE(view.getTerminal().isCurrentBufferAlternate());
        const auto before = drawnScreen(view);
        for (int turn = 0; turn < 3; ++turn) wheelUp(view);
        EXPECT_EQ(drawnScreen(view), before);
        EXPECT_FALSE(view.scroller()->isEnabled());
        EXPECT_EQ(view.scroller()->minimum(), view.scroller()->maximum());
    };
    // Each view is made at the default 80 x 25 and fitted to a tile's
    // 34 x 17 before its program enters the alternate screen.
    auto printed = makeProcessView(34, 17);
    printed->startProcess("/bin/sh", {"-c", "printf '\\033[?1049h'; seq 1 100; exec sleep 60"});
    ASSERT_TRUE(waitForText(*printed, "100"));
    expectTheWheelChangesNothing(*printed);
    printed->terminate();

    auto less = makeProcessView(34, 17);
    less->startProcess("/usr/bin/less", {path});
    ASSERT_TRUE(waitForText(*less, "row 16"));
    // Two pages forward: less writes the new rows at the bottom, and the old
    // ones scroll off the top. The prompt comes last.
    less->send(std::string_view(" "));
    ASSERT_TRUE(waitForText(*less, "row 32"));
    less->send(std::string_view(" "));
    ASSERT_TRUE(pumpUntil([&] { return testing::screenHasLine(*less, "row 48") && testing::screenHasLine(*less, ":"); }));
    expectTheWheelChangesNothing(*less);
    less->terminate();
}

TEST(LocalProcessView, TheViewsCommandKeysNeverReachTheProgramEvenWhenTheyCannotRun)
{
    QTemporaryDir dir;
    const QString written = dir.filePath(QStringLiteral("f"));
    auto view = makeProcessView(80, 24);
    // Every byte the program is sent shows, as cat -v prints it; a ^C during
    // the sleep would end the shell before it writes the file.
    view->startProcess("/bin/sh", {"-c", "stty -echo -icanon -ixon -iexten; printf 'REA''DY\\n'; sleep 2; "
                                         "echo finished > '" + written.toStdString() + "'; exec cat -v"});
    ASSERT_TRUE(waitForText(*view, "READY"));
    // Nothing is selected, so copy cannot run; the others are made unable to.
    ASSERT_FALSE(view->copyAction()->isEnabled());
    for (QAction* action : {view->pasteAction(), view->selectAllAction(), view->findAction()}) action->setEnabled(false);
    const Qt::KeyboardModifiers ctrlShift = Qt::ControlModifier | Qt::ShiftModifier;
    const Qt::Key commandKeys[] = {Qt::Key_C, Qt::Key_V, Qt::Key_A, Qt::Key_F};
    for (const Qt::Key key : commandKeys) QTest::keyClick(view.get(), key, ctrlShift);
    ASSERT_TRUE(pumpUntil([&] { return QFile::exists(written); }, 60000));
    QTest::keyClick(view.get(), Qt::Key_X);
    ASSERT_TRUE(pumpUntil([&] { return testing::screenContains(*view, "x"); }));
    EXPECT_TRUE(testing::screenHasLine(*view, "x"));

    // Neither are they reported under the Kitty keyboard protocol, pressed or
    // released; a Ctrl+Shift chord the view does not own still is.
    view->feed(std::string_view("\x1b[>3u"));
    for (const Qt::Key key : commandKeys) QTest::keyClick(view.get(), key, ctrlShift);
    QTest::keyClick(view.get(), Qt::Key_T, ctrlShift);
    QTest::keyClick(view.get(), Qt::Key_Y);
    ASSERT_TRUE(pumpUntil([&] { return testing::screenContains(*view, "y"); }));
    EXPECT_TRUE(testing::screenHasLine(*view, "x^[[116;6u^[[116;6:3uy"));
    view->terminate();
}

TEST(LocalProcessView, ClipboardWritesTakeOnlyValidText)
{
    LocalProcessTerminalView view;
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText(QStringLiteral("keep"));
    const uint8_t bad[] = {0xff, 0xfe, 'x'};
    view.clipboardCopy(view, bad);
    EXPECT_EQ(clipboard->text(), QStringLiteral("keep"));
    const std::string good = "새 텍스트";
    view.clipboardCopy(view, std::span(reinterpret_cast<const uint8_t*>(good.data()), good.size()));
    EXPECT_EQ(clipboard->text(), QString::fromUtf8(good.c_str()));
}

}  // namespace
}  // namespace corvel
