// Real tmux driven by the pointer on a real X server (run under xvfb-run):
// tmux with its mouse support on and the window split side by side runs in a
// shown view; xdotool presses the primary button on the border between the
// panes, drags it to the left and lets go. The view reports the press, the
// motion with the button held and the release the way tmux asked for, so tmux
// moves the border: the left pane is narrower afterwards, which tmux itself
// is asked for. tmux runs on a socket of its own in a temporary folder.
#include "ViewPointerSupport.h"

#include <QGuiApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

namespace corvel {
namespace {

using testing::pumpUntil;

constexpr const char* kSocket = "viewtest";

bool xdotool(const QStringList& arguments)
{
    return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
}

struct TmuxMouseX11 : ::testing::Test {
    QTemporaryDir sockets;
    std::unique_ptr<TerminalView> view;
    std::shared_ptr<testing::PointerPty> pty;

    void SetUp() override
    {
        if (QGuiApplication::platformName() != QStringLiteral("xcb")) GTEST_SKIP() << "needs an X server";
        if (QStandardPaths::findExecutable(QStringLiteral("tmux")).isEmpty()) GTEST_SKIP() << "tmux is not installed";
        ASSERT_TRUE(sockets.isValid());
        view = std::make_unique<TerminalView>(QRect(0, 0, 200, 100), testing::testFont());
        const QSizeF cell = *view->cellDimension();
        view->resize(int(std::ceil(cell.width() * 80 + view->scrollerWidth())), int(std::ceil(cell.height() * 24)));
        view->show();
        ASSERT_TRUE(pumpUntil([&] {
            return view->isVisible() && view->getTerminal().cols() == 80 && view->getTerminal().rows() == 24;
        }));
    }
    void TearDown() override
    {
        if (sockets.isValid()) tmux({QStringLiteral("kill-server")});
        // The program's delegate holds the view: it goes first.
        pty.reset();
        view.reset();
    }

    // One tmux command on the test's own server; its output, or none when it failed.
    std::optional<QString> tmux(const QStringList& arguments)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TMUX_TMPDIR"), sockets.path());
        environment.remove(QStringLiteral("TMUX"));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral("tmux"), QStringList{QStringLiteral("-L"), QString::fromLatin1(kSocket)} + arguments);
        if (!process.waitForFinished(20000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
            return std::nullopt;
        return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    }
    // The widths of the window's panes, left to right.
    QStringList paneWidths()
    {
        return tmux({QStringLiteral("list-panes"), QStringLiteral("-F"), QStringLiteral("#{pane_width}")})
            .value_or(QString())
            .split(u'\n', Qt::SkipEmptyParts);
    }
    // The pointer's place over the centre of a cell, in the view's window.
    QStringList at(int col, int row) const
    {
        const QPointF centre = testing::cellCentre(*view, col, row);
        return {QStringLiteral("mousemove"), QStringLiteral("--window"), QString::number(view->winId()),
                QStringLiteral("--sync"), QString::number(std::lround(centre.x())),
                QString::number(std::lround(centre.y()))};
    }
};

TEST_F(TmuxMouseX11, DraggingTheBorderBetweenSplitPanesResizesThem)
{
    const std::string command = "TMUX_TMPDIR='" + sockets.path().toStdString() + "' exec tmux -L " + kSocket +
                                " -f /dev/null new-session /bin/sh \\; set -g mouse on \\; split-window -h /bin/sh";
    pty = testing::PointerPty::start(*view, command, testing::PtyFeed::view);
    // Two panes side by side; tmux asked for button-event reports once its
    // mouse support is on, and the border is on screen.
    ASSERT_TRUE(pumpUntil([&] { return paneWidths().size() == 2; }));
    const QStringList before = paneWidths();
    const int border = before[0].toInt();
    ASSERT_GT(border, 20);
    ASSERT_TRUE(pumpUntil([&] {
        return view->getTerminal().mouseMode() != Terminal::MouseMode::off &&
               testing::screenLine(*view, 5).find("\u2502") != std::string::npos;
    })) << testing::screenLine(*view, 5);

    ASSERT_TRUE(xdotool(at(border, 5) + QStringList{QStringLiteral("mousedown"), QStringLiteral("1")}));
    // Through the columns one at a time, as a hand would, then let go.
    for (int col = border - 1; col >= border - 10; --col) ASSERT_TRUE(xdotool(at(col, 5)));
    ASSERT_TRUE(xdotool({QStringLiteral("mouseup"), QStringLiteral("1")}));

    EXPECT_TRUE(pumpUntil([&] {
        const QStringList widths = paneWidths();
        return widths.size() == 2 && widths[0].toInt() == border - 10;
    })) << paneWidths().join(u' ').toStdString();
    // The right pane took the columns the left one gave up.
    const QStringList after = paneWidths();
    ASSERT_EQ(after.size(), 2);
    EXPECT_EQ(after[0].toInt() + after[1].toInt(), before[0].toInt() + before[1].toInt());
}

}  // namespace
}  // namespace corvel
