// Real programs on a real pseudo-terminal feeding the view's terminal, drawn
// and scanned: the borders of a split multiplexer and a split editor have no
// gaps at several font sizes (the .scale2 run repeats this at scale 2), and
// coloured directory listings arrive in their colours.
#include "QtTestSupport.h"
#include "PixelProbe.h"
#include "ViewRender.h"
#include "tests/qt/support/ViewPty.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

namespace corvel {
namespace {

using testing::borderColumn;
using testing::cellPixels;
using testing::countColor;
using testing::renderView;

using ViewProcess = testing::ViewPty<>;

// Device-pixel rows of the column's cells from row 0 to lastRow on which no
// pixel differs from the background.
std::vector<int> gaps(TerminalView& view, const QImage& image, int col, int lastRow)
{
    const QColor background = view.nativeBackgroundColor()->toQColor();
    const QRect top = cellPixels(view, col, 0);
    const QRect bottom = cellPixels(view, col, lastRow);
    std::vector<int> empty;
    for (int y = top.top(); y <= bottom.bottom(); ++y) {
        const QRect line(top.left(), y, top.width(), 1);
        if (countColor(image, line, background, 40) == top.width()) empty.push_back(y);
    }
    return empty;
}

TEST(ViewPrograms, SplitBordersOfMultiplexerAndEditorHaveNoGaps)
{
    for (int pixelSize : {10, 13, 17}) {
        SCOPED_TRACE(pixelSize);
        {
            TerminalView view(QRect(0, 0, 640, 400), testing::testFont(pixelSize));
            const int rows = view.getTerminal().rows();
            QTemporaryDir dir;
            const std::string socket = dir.filePath(QStringLiteral("tmux")).toStdString();
            auto run = ViewProcess::start(view, "exec tmux -f /dev/null -S " + socket +
                                                    " new-session 'sleep 60' \\; split-window -h 'sleep 60'");
            std::optional<int> col;
            const bool drawn = testing::pumpUntil([&] {
                col = borderColumn(view.getTerminal(), 0x2502, rows - 2);
                return col.has_value();
            });
            QProcess::execute(QStringLiteral("tmux"), {"-S", QString::fromStdString(socket), "kill-server"});
            ASSERT_TRUE(drawn) << "no multiplexer border";
            const QImage image = renderView(view);
            qt::test::saveRender(image, ("view-tmux-" + std::to_string(pixelSize) + ".png").c_str());
            EXPECT_EQ(gaps(view, image, *col, rows - 2), std::vector<int>{}) << "multiplexer at " << pixelSize;
        }
        {
            TerminalView view(QRect(0, 0, 640, 400), testing::testFont(pixelSize));
            const int rows = view.getTerminal().rows();
            auto run = ViewProcess::start(view, "cd /tmp && exec vim -u NONE -N -n -O left.txt right.txt");
            std::optional<int> col;
            ASSERT_TRUE(testing::pumpUntil([&] {
                col = borderColumn(view.getTerminal(), '|', rows - 3);
                return col.has_value();
            })) << "no editor separator";
            const QImage image = renderView(view);
            qt::test::saveRender(image, ("view-vim-" + std::to_string(pixelSize) + ".png").c_str());
            EXPECT_EQ(gaps(view, image, *col, rows - 3), std::vector<int>{}) << "editor at " << pixelSize;
            run->process->send(std::span(reinterpret_cast<const uint8_t*>("\x1b:qa!\r"), 6));
            testing::pumpUntil([&] { return run->exited; });
        }
    }
}

TEST(ViewPrograms, ColouredListingIsDrawnInItsColours)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("subdir")));
    TerminalView view(QRect(0, 0, 640, 200), testing::testFont(13));
    auto run = ViewProcess::start(view, "exec ls --color=always " + dir.path().toStdString());
    ASSERT_TRUE(testing::pumpUntil([&] { return run->exited; }));
    Terminal& terminal = view.getTerminal();
    ASSERT_EQ(terminal.getCharacter(0, 0), "s");
    const Attribute attribute = terminal.getCharData(0, 0)->attribute;
    ASSERT_TRUE(attribute.fg.isAnsi256()) << "the directory is coloured";
    const QImage image = renderView(view);
    const QColor colour = view.runStyle(attribute, false).foreground;
    EXPECT_GT(countColor(image, cellPixels(view, 0, 0, 6), colour, 30), 6);
}

}  // namespace
}  // namespace corvel
