// The pointer on a real X server (run under xvfb-run): xdotool clicks,
// double-clicks, Ctrl+clicks and turns the wheel over a shown view that a
// shell on a pseudo-terminal writes to. A program that asked for SGR mouse
// reports reads the press and the release of a click at the clicked cell;
// one wheel notch scrolls one line; a double-clicked file name is what
// Ctrl+Shift+C puts on the clipboard; a Ctrl+click hands an OSC 8 web link
// to the opener but not a link to an executable file.
#include "ViewPointerSupport.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <cmath>

namespace corvel {
namespace {

using testing::focusWithXdotool;
using testing::pumpUntil;
using testing::runXdotool;
using testing::screenHas;

struct PointerX11 : ::testing::Test {
    std::unique_ptr<TerminalView> view;
    std::shared_ptr<testing::PointerPty> pty;
    std::vector<std::string> opened;

    void SetUp() override
    {
        if (QGuiApplication::platformName() != QStringLiteral("xcb")) GTEST_SKIP() << "needs an X server";
        view = std::make_unique<TerminalView>(QRect(0, 0, 200, 100), testing::testFont());
        const QSizeF cell = *view->cellDimension();
        view->resize(int(std::ceil(cell.width() * 80 + view->scrollerWidth())), int(std::ceil(cell.height() * 24)));
        view->linkOpener = [this](const QUrl& url) {
            opened.push_back(url.toString().toStdString());
            return true;
        };
        view->show();
        ASSERT_TRUE(pumpUntil([&] {
            return view->isVisible() && view->getTerminal().cols() == 80 && view->getTerminal().rows() == 24;
        }));
        view->setFocus();
        ASSERT_TRUE(focusWithXdotool(*view));
        ASSERT_TRUE(pumpUntil([&] { return view->hasFocus(); }));
    }
    void TearDown() override
    {
        // The shell's delegate holds the view: it goes first.
        pty.reset();
        view.reset();
    }

    QString window() const { return QString::number(view->winId()); }
    // Runs `command` in a shell and waits until it printed `ready`.
    void start(const std::string& command, const std::string& ready)
    {
        pty = testing::PointerPty::start(*view, command, testing::PtyFeed::view);
        ASSERT_TRUE(pumpUntil([&] { return screenHas(*view, ready); })) << ready;
    }
    // xdotool moves the pointer to the centre of a cell of the screen and
    // goes on with `then` (clicks, keys).
    bool atCell(int col, int row, const QStringList& then, const QStringList& before = {})
    {
        const QPointF centre = testing::cellCentre(*view, col, row);
        QStringList arguments = before;
        arguments << QStringLiteral("mousemove") << QStringLiteral("--window") << window()
                  << QStringLiteral("--sync") << QString::number(std::lround(centre.x()))
                  << QString::number(std::lround(centre.y()));
        return runXdotool(arguments + then);
    }
};

TEST_F(PointerX11, ClickIsReportedToAProgramThatAskedForSgrReports)
{
    start("stty -echo -icanon -ixon; printf '\\033[?1000;1006hREADY\\n'; exec cat -v", "READY");
    ASSERT_TRUE(atCell(5, 3, {QStringLiteral("click"), QStringLiteral("1")}));
    EXPECT_TRUE(pumpUntil([&] { return screenHas(*view, "^[[<0;6;4M^[[<0;6;4m"); }));
}

TEST_F(PointerX11, OneWheelNotchScrollsOneLine)
{
    start("seq 1000; stty -echo; printf DONE; exec cat", "DONE");
    Buffer& buffer = view->getTerminal().displayBuffer();
    const int bottom = buffer.yDisp();
    ASSERT_GT(bottom, 100);
    ASSERT_TRUE(atCell(10, 10, {QStringLiteral("click"), QStringLiteral("4")}));
    ASSERT_TRUE(pumpUntil([&] { return buffer.yDisp() != bottom; }));
    EXPECT_EQ(buffer.yDisp(), bottom - 1);
}

TEST_F(PointerX11, DoubleClickedWordIsWhatCopyPuts)
{
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    start("stty -echo; printf 'see foo-bar_baz.txt here\\n'; exec cat", "foo-bar_baz.txt");
    // The name spans columns 4 to 18 of the first row.
    ASSERT_TRUE(atCell(9, 0, {QStringLiteral("click"), QStringLiteral("--repeat"), QStringLiteral("2"),
                              QStringLiteral("--delay"), QStringLiteral("60"), QStringLiteral("1")}));
    ASSERT_TRUE(pumpUntil([&] { return view->getSelection().has_value(); }));
    ASSERT_TRUE(
        runXdotool({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), QStringLiteral("ctrl+shift+c")}));
    EXPECT_TRUE(pumpUntil([&] { return QGuiApplication::clipboard()->text() != QStringLiteral("before"); }));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("foo-bar_baz.txt"));
}

TEST_F(PointerX11, CtrlClickOpensWebLinksButNotExecutables)
{
    QTemporaryDir dir;
    const QString script = dir.filePath(QStringLiteral("run.sh"));
    {
        QFile file(script);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("echo hi\n");
    }
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const std::string executable = "file://" + script.toStdString();
    start("stty -echo; printf '\\033]8;;" + executable + "\\033\\\\EXEC\\033]8;;\\033\\\\ " +
              "\\033]8;;https://example.com/doc\\033\\\\WEB\\033]8;;\\033\\\\ READY\\n'; exec cat",
          "READY");

    // EXEC is at columns 0-3, WEB at 5-7. The clicks reach the view in
    // order: once the second is handled, so is the first.
    const QStringList ctrlDown{QStringLiteral("keydown"), QStringLiteral("Control_L")};
    const QStringList clickThenUp{QStringLiteral("click"), QStringLiteral("1"), QStringLiteral("keyup"),
                                  QStringLiteral("Control_L")};
    ASSERT_TRUE(atCell(1, 0, clickThenUp, ctrlDown));
    ASSERT_TRUE(atCell(6, 0, clickThenUp, ctrlDown));
    ASSERT_TRUE(pumpUntil([&] { return pty->linkRequests.size() == 2; }));
    EXPECT_EQ(pty->linkRequests, (std::vector<std::string>{executable, "https://example.com/doc"}));
    EXPECT_EQ(opened, std::vector<std::string>{"https://example.com/doc"});
}

}  // namespace
}  // namespace corvel
