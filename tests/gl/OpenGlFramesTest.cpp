// The GPU path against the view's CPU drawing of the same terminal, under
// Xvfb with llvmpipe (the .scale2 run repeats every scene at scale 2): SGR
// colours and a selection, underline styles, box drawing and blocks,
// double-size lines, CJK and emoji, every cursor style with and without
// focus, Kitty images (raw RGBA, a placeholder placement) and sixel output.
// Each pair must agree on all but 0.5 % of the pixels within 24 per channel;
// the check itself is shown to catch a row of glyphs one cell off and an
// image turned upside down. Renders are saved where TILEBAY_SCREENSHOT_DIR names.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

#include "GpuFrameSupport.h"
#include "tests/qt/support/ViewPty.h"
#include "tests/corvel/kitty/KittyGraphicsTestSupport.h"
#include "corvel/terminal/Terminal.h"

namespace corvel::gl {
namespace {

using testing::cpuImage;
using testing::gpuImage;
using testing::matches;

struct Scene {
    QWidget window;
    TerminalView* view;
    explicit Scene(int cols = 40, int rows = 10)
    {
        view = new TerminalView(QRect(0, 0, 100, 100), testing::dejaVu(), &window);
        const QSizeF cell = *view->cellDimension();
        view->resize(int(std::ceil(cell.width() * cols + view->scrollerWidth())), int(std::ceil(cell.height() * rows)));
        window.resize(view->size());
        view->setCaretViewTracksFocus(false);
        shown = testing::showAndWait(window);
    }
    bool shown = false;
    void feed(std::string_view text) { view->getTerminal().feed(text); }
    // Both drawings, saved; whether they match.
    ::testing::AssertionResult compare(const std::string& name)
    {
        if (!shown) return ::testing::AssertionFailure() << "window not exposed";
        // The caret widget follows the cursor on the view's redraw task; the
        // GPU path reads the cursor itself.
        view->updateCursorPosition();
        const QImage cpu = cpuImage(*view);
        const QImage gpu = gpuImage(*view);
        testing::saveFrame(cpu, name + "-cpu");
        testing::saveFrame(gpu, name + "-gpu");
        const int differing = testing::differingPixels(cpu, gpu);
        if (matches(cpu, gpu)) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << name << ": " << differing << " of " << cpu.width() * cpu.height()
                                             << " pixels differ";
    }
};

using corvel::testing::borderColumn;
using ViewProcess = corvel::testing::ViewPty<>;

TEST(OpenGlFrames, ScenesMatchTheCpuDrawing)
{
    const std::vector<std::pair<std::string, std::string>> scenes = {
        {"colours",
         "\x1b[31mred \x1b[42mgreen-bg\x1b[0m \x1b[1;34mbold blue\x1b[0m \x1b[7minverse\x1b[0m\r\n"
         "\x1b[38;5;208m256 orange\x1b[0m \x1b[38;2;10;200;250mtrue colour\x1b[0m \x1b[2mdim\x1b[0m\r\n"
         "\x1b[48;5;22m the background runs to the right edge \x1b[K\x1b[0m\r\n"
         "selected text here and a bit more"},
        {"underlines",
         "\x1b[4msingle\x1b[0m \x1b[4:2mdouble\x1b[0m \x1b[4:3mcurly\x1b[0m \x1b[4:4mdotted\x1b[0m\r\n"
         "\x1b[4:5mdashed\x1b[0m \x1b[9mstruck\x1b[0m \x1b[4;58;5;196mred line\x1b[0m\r\n"
         "\x1b[4mwide \xe6\xbc\xa2\xe5\xad\x97 under\x1b[0m \x1b[1;9mbold struck\x1b[0m"},
        {"blocks", "┌──┬──┐ ╔═╗\r\n│ab│cd│ ╚═╝\r\n└──┴──┘\r\n"
                   "\x1b[32m█▓▒░▀▄▌▐▖▟\x1b[0m"},
        {"double-size", "\x1b#3Double top\r\n\x1b#4Double top\r\n\x1b#6\x1b[44mWide line\x1b[0m\r\nsingle line"},
        {"cjk-emoji",
         "\xe6\xbc\xa2\xe5\xad\x97\xe3\x81\x8b\xe3\x81\xaa \xed\x95\x9c\xea\xb8\x80 after\r\n"
         "\xf0\x9f\x98\x80\xf0\x9f\x8e\x89 emoji e\xcc\x81 combining\r\n"
         "\x1b[41m\xe6\xbc\xa2\xe5\xad\x97\x1b[0m on red"},
        // A 2 x 2 RGBA image (premultiplied rows from the top: red, red, blue,
        // blue) shown over 8 x 4 cells.
        {"kitty-raw", "text\r\n\x1b_Ga=T,f=32,s=2,v=2,c=8,r=4;/wAA//8AAP8AAP//AAD//w==\x1b\\after"},
    };
    for (const auto& [name, text] : scenes) {
        SCOPED_TRACE(name);
        Scene s;
        s.feed(text);
        if (name == "colours") {
            s.view->selection().setSelection(Position{0, 3}, Position{12, 3});
            s.view->selection().setActive(true);
        }
        EXPECT_TRUE(s.compare(name));
    }
}

TEST(OpenGlFrames, EveryCursorStyleFocusedAndNot)
{
    for (int style = 1; style <= 6; ++style) {
        for (bool focused : {true, false}) {
            Scene s(20, 4);
            s.feed("cursor on \x1b[1mW\x1b[0m here\x1b[6D");
            s.feed("\x1b[" + std::to_string(style) + " q");
            s.view->setCaretViewTracksFocus(!focused);
            s.view->setHasFocus(focused);
            EXPECT_TRUE(s.compare("cursor-" + std::to_string(style) + (focused ? "-focused" : "-unfocused")));
        }
    }
}

TEST(OpenGlFrames, TheCheckCatchesARowOfGlyphsOneCellOff)
{
    Scene s;
    s.feed("The quick brown fox jumps over the lazy");
    const QImage cpu = cpuImage(*s.view);
    const QImage gpu = gpuImage(*s.view);
    EXPECT_TRUE(matches(cpu, gpu));
    const qreal dpr = s.view->devicePixelRatioF();
    const QSizeF cell = *s.view->cellDimension() * dpr;
    QImage shifted = gpu;
    {
        QPainter painter(&shifted);
        const QRect row(0, 0, int(cell.width() * 39), int(cell.height()));
        painter.fillRect(QRect(0, 0, int(cell.width()), int(cell.height())), gpu.pixelColor(0, int(cell.height() * 5)));
        painter.drawImage(QPoint(int(cell.width()), 0), gpu.copy(row));
    }
    EXPECT_FALSE(matches(cpu, shifted));
}

// A raw RGBA Kitty image, red over blue, through a 4 x 2 cell placeholder
// placement from column 1, as a client writes it, decoded by the view's own
// decoder.
TEST(OpenGlFrames, KittyPlaceholderRedOnTopAndTheCheckCatchesItFlipped)
{
    Scene s;
    std::vector<uint8_t> pixels{255, 0, 0, 255, 255, 0, 0, 255, 0, 0, 255, 255, 0, 0, 255, 255};
    s.feed(corvel::testing::kittyCommand("a=T,U=1,f=32,s=2,v=2,i=7,c=4,r=2,q=2", base64::encode(pixels)) + " " +
           corvel::testing::kittyPlaceholderRow(7, 0, 4) + "\r\n " + corvel::testing::kittyPlaceholderRow(7, 1, 4) +
           "\r\nbelow");
    EXPECT_TRUE(s.compare("kitty-placeholder"));

    // The fitted image is square and centred in the placement: red in its
    // upper half, blue in its lower half.
    const QImage gpu = gpuImage(*s.view);
    const qreal dpr = s.view->devicePixelRatioF();
    const QSizeF cell_ = *s.view->cellDimension() * dpr;
    const QRect area(int(cell_.width()), 0, int(cell_.width() * 4), int(cell_.height() * 2));
    const QPoint centre = area.center();
    EXPECT_EQ(gpu.pixelColor(centre.x(), area.top() + area.height() / 4).rgb(), QColor(Qt::red).rgb());
    EXPECT_EQ(gpu.pixelColor(centre.x(), area.bottom() - area.height() / 4).rgb(), QColor(Qt::blue).rgb());

    // Turned upside down, it no longer passes for the CPU drawing.
    QImage flipped = gpu;
    {
        QPainter painter(&flipped);
        painter.drawImage(area.topLeft(), gpu.copy(area).mirrored(false, true));
    }
    EXPECT_FALSE(matches(cpuImage(*s.view), flipped));
}

TEST(OpenGlFrames, MultiplexerAndEditorSplitBorders)
{
    {
        Scene s(60, 14);
        const int rows = s.view->getTerminal().rows();
        QTemporaryDir dir;
        const std::string socket = dir.filePath(QStringLiteral("tmux")).toStdString();
        auto run = ViewProcess::start(*s.view, "exec tmux -f /dev/null -S " + socket +
                                                   " new-session 'echo left; sleep 60' \\; set status off \\;"
                                                   " split-window -h 'echo right; sleep 60'");
        const bool drawn =
            testing::pumpUntil([&] { return borderColumn(s.view->getTerminal(), 0x2502, rows - 1).has_value(); });
        testing::pumpUntil([&] { return !s.view->pendingDisplay(); });
        EXPECT_TRUE(drawn) << "no multiplexer border";
        if (drawn) {
            EXPECT_TRUE(s.compare("tmux"));
        }
        QProcess::execute(QStringLiteral("tmux"), {"-S", QString::fromStdString(socket), "kill-server"});
    }
    {
        Scene s(60, 14);
        const int rows = s.view->getTerminal().rows();
        auto run = ViewProcess::start(*s.view, "cd /tmp && exec vim -u NONE -N -n -O left.txt right.txt");
        const bool drawn =
            testing::pumpUntil([&] { return borderColumn(s.view->getTerminal(), '|', rows - 3).has_value(); });
        testing::pumpUntil([&] { return !s.view->pendingDisplay(); });
        EXPECT_TRUE(drawn) << "no editor separator";
        if (drawn) {
            EXPECT_TRUE(s.compare("vim"));
        }
        run->process->send(std::span(reinterpret_cast<const uint8_t*>("\x1b:qa!\r"), 6));
    }
}

// The live path: with the GPU path on, output reaches the surface through
// the view's redraw task, and a blink redraws the surface without
// rebuilding any row.
TEST(OpenGlFrames, LiveUpdatesAndBlinksOnTheSwitchedOnView)
{
    Scene s(30, 6);
    s.feed("\x1b[1 q");
    ASSERT_TRUE(s.shown);
    s.view->setUseMetal(true);
    MetalTerminalRenderer* renderer = metalRendererOf(*s.view);
    ASSERT_TRUE(renderer);
    ASSERT_TRUE(testing::pumpUntil([&] { return renderer->framesEncoded() > 0 && !renderer->frameInFlight(); }));

    s.feed("\x1b[2;1Hlive text");
    s.view->queuePendingDisplay();
    const int before = renderer->framesEncoded();
    ASSERT_TRUE(testing::pumpUntil([&] {
        return !s.view->pendingDisplay() && renderer->framesEncoded() > before && !renderer->frameInFlight();
    }));
    // The last frame may have been a make-up one; the text is in the cache.
    const QImage gpu = static_cast<MetalSurface*>(s.view->metalView())->grabFramebuffer();
    s.view->setUseMetal(false);
    EXPECT_TRUE(matches(cpuImage(*s.view), gpu.copy(testing::gridPixels(*s.view))));
    s.view->setUseMetal(true);
    renderer = metalRendererOf(*s.view);
    ASSERT_TRUE(testing::pumpUntil([&] { return renderer->framesEncoded() > 0 && !renderer->frameInFlight(); }));

    ASSERT_TRUE(renderer->cursorBlinkTimerActive());
    const int encoded = renderer->framesEncoded();
    renderer->blinkTick();
    ASSERT_TRUE(testing::pumpUntil([&] { return renderer->framesEncoded() > encoded && !renderer->frameInFlight(); }));
    EXPECT_EQ(renderer->lastBuild().rowsRebuilt, 0);
    EXPECT_EQ(renderer->lastBuild().rowBuffersMade, 0);

    // A repaint of the view itself (a selection, colours or a hovered
    // link changed) redraws the rows it covers.
    const int painted = renderer->framesEncoded();
    s.view->update(s.view->rowsRegion(1, 2));
    ASSERT_TRUE(testing::pumpUntil([&] { return renderer->framesEncoded() > painted && !renderer->frameInFlight(); }));
    EXPECT_EQ(renderer->lastBuild().rowsRebuilt, 2);
}

TEST(OpenGlFrames, SixelOutputInTheOtherLayer)
{
    Scene s(40, 12);
    QImage picture(48, 36, QImage::Format_RGB32);
    picture.fill(Qt::yellow);
    {
        QPainter painter(&picture);
        painter.fillRect(0, 0, 48, 12, Qt::red);
        painter.fillRect(0, 24, 48, 12, Qt::blue);
    }
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("source.png"));
    ASSERT_TRUE(picture.save(png));
    QProcess process;
    process.start(QStringLiteral("img2sixel"), {png});
    ASSERT_TRUE(process.waitForFinished(20000));
    const QByteArray sixel = process.readAllStandardOutput();
    ASSERT_FALSE(sixel.isEmpty());
    s.feed("sixel:\r\n");
    s.feed(std::string_view(sixel.constData(), size_t(sixel.size())));
    s.feed("after");
    EXPECT_TRUE(s.compare("sixel"));
}

}  // namespace
}  // namespace corvel::gl
