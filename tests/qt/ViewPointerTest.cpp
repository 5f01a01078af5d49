// The terminal view's pointer: clicks, drags and motion reported in each
// mouse mode with the cells a program expects, selection by clicks and drags
// when nothing is reported, the wheel's line steps, the scroll bar's
// actions, and links underlined, previewed and opened with Ctrl held, only
// when the opening rules allow. (The report encodings of each mode and the
// wheel's step table are the core's and tested there.)
#include "ViewPointerSupport.h"

#include "corvel/platform/Log.h"
#include "corvel/qt/LinkHighlightMode.h"

#include <QAbstractSlider>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

namespace corvel {
namespace {

using testing::cellCentre;
using testing::click;
using testing::pointer;

using testing::PointerFixture;

void wheel(TerminalView& view, int angleY)
{
    const QPointF at = cellCentre(view, 2, 2);
    QWheelEvent event(at, view.mapToGlobal(at), QPoint(), QPoint(0, angleY), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(&view, &event);
}

TEST(ViewPointer, ReportsClicksDragsAndMotionAsEachModeAsks)
{
    PointerFixture f;
    f.feed("\x1b[?1000;1006h");
    click(f.view, cellCentre(f.view, 5, 3));
    EXPECT_EQ(f.take(), "\x1b[<0;6;4M\x1b[<0;6;4m");
    EXPECT_FALSE(f.view.selection().active());

    // Shift, Alt and Ctrl bits in the modes that carry them.
    click(f.view, cellCentre(f.view, 0, 0), Qt::ShiftModifier | Qt::AltModifier);
    EXPECT_EQ(f.take(), "\x1b[<12;1;1M\x1b[<12;1;1m");

    // Button-event tracking: drags carry the motion bit; motion without a
    // button is not reported (and is not even delivered without tracking).
    f.feed("\x1b[?1002h");
    EXPECT_FALSE(f.view.isTracking());
    pointer(f.view, QEvent::MouseButtonPress, cellCentre(f.view, 5, 3), Qt::LeftButton, Qt::LeftButton);
    pointer(f.view, QEvent::MouseMove, cellCentre(f.view, 8, 3), Qt::NoButton, Qt::LeftButton);
    pointer(f.view, QEvent::MouseButtonRelease, cellCentre(f.view, 8, 3), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(f.take(), "\x1b[<0;6;4M\x1b[<32;9;4M\x1b[<0;9;4m");
    EXPECT_FALSE(f.view.selection().active());

    // Any-event tracking: the view tracks, and a move without a button is 35.
    f.feed("\x1b[?1003h");
    EXPECT_TRUE(f.view.isTracking());
    pointer(f.view, QEvent::MouseMove, cellCentre(f.view, 8, 1), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(f.take(), "\x1b[<35;9;2M");

    // Leaving any-event tracking drops the tracking.
    f.feed("\x1b[?1003l\x1b[?1002l");
    EXPECT_FALSE(f.view.isTracking());

    // With reporting switched off by the view, the same click selects.
    f.feed("\x1b[?1000h");
    f.view.allowMouseReporting = false;
    pointer(f.view, QEvent::MouseButtonPress, cellCentre(f.view, 0, 0), Qt::LeftButton, Qt::LeftButton);
    pointer(f.view, QEvent::MouseMove, cellCentre(f.view, 3, 0), Qt::NoButton, Qt::LeftButton);
    EXPECT_TRUE(f.view.selection().active());
    EXPECT_EQ(f.take(), "");
}

TEST(ViewPointer, ClicksAndDragsSelectWhenNothingIsReported)
{
    PointerFixture f;
    const int cols = f.view.getTerminal().cols();
    std::string full;
    for (int i = 0; i < cols; ++i) full.push_back(static_cast<char>('a' + i % 26));
    f.feed("cat foo-bar_baz.txt now\r\n" + full);

    // Two clicks: the word with its dashes, dots and underscores.
    click(f.view, cellCentre(f.view, 9, 0), Qt::NoModifier, 1000);
    click(f.view, cellCentre(f.view, 9, 0), Qt::NoModifier, 1100, true);
    EXPECT_EQ(f.view.getSelection(), "foo-bar_baz.txt");
    f.view.copy();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "foo-bar_baz.txt");

    // Three: the whole row, every column of it.
    click(f.view, cellCentre(f.view, 4, 1), Qt::NoModifier, 5000);
    click(f.view, cellCentre(f.view, 4, 1), Qt::NoModifier, 5100, true);
    click(f.view, cellCentre(f.view, 4, 1), Qt::NoModifier, 5200);
    EXPECT_EQ(f.view.selection().selectionMode(), SelectionMode::row);
    EXPECT_EQ(f.view.getSelection(), full);

    // A later single click clears it.
    click(f.view, cellCentre(f.view, 4, 1), Qt::NoModifier, 9000);
    EXPECT_FALSE(f.view.selection().active());

    // A drag selects from the pressed cell even when the first motion is
    // noticed cells away.
    pointer(f.view, QEvent::MouseButtonPress, cellCentre(f.view, 4, 0), Qt::LeftButton, Qt::LeftButton, {}, 12000);
    pointer(f.view, QEvent::MouseMove, cellCentre(f.view, 11, 0), Qt::NoButton, Qt::LeftButton);
    pointer(f.view, QEvent::MouseButtonRelease, cellCentre(f.view, 11, 0), Qt::LeftButton, Qt::NoButton, {}, 12001);
    EXPECT_EQ(f.view.getSelection(), "foo-bar");

    // Shift-click extends it; a drag past the end keeps extending.
    click(f.view, cellCentre(f.view, 19, 0), Qt::ShiftModifier, 15000);
    EXPECT_EQ(f.view.getSelection(), "foo-bar_baz.txt");
}

TEST(ViewPointer, WheelScrollsInNotchStepsAndIsNeverReported)
{
    PointerFixture f;
    for (int i = 1; i <= 1000; ++i) f.feed(std::to_string(i) + "\r\n");
    Buffer& buffer = f.view.getTerminal().displayBuffer();
    const int bottom = buffer.yDisp();
    ASSERT_GT(bottom, 100);
    const int rows = f.view.getTerminal().rows();

    // Notches become the wheel's line steps (the step table is the core's).
    wheel(f.view, 120);
    EXPECT_EQ(buffer.yDisp(), bottom - 1);
    wheel(f.view, 60);  // half a notch still moves a line
    EXPECT_EQ(buffer.yDisp(), bottom - 2);
    wheel(f.view, 12 * 120);
    EXPECT_EQ(buffer.yDisp(), bottom - 2 - std::max(rows, 20));
    wheel(f.view, -12 * 120);
    EXPECT_EQ(buffer.yDisp(), bottom - 2);
    wheel(f.view, 0);
    EXPECT_EQ(buffer.yDisp(), bottom - 2);

    // A program that asked for mouse events hears nothing of the wheel.
    f.feed("\x1b[?1000;1006h");
    f.take();
    const int before = buffer.yDisp();
    wheel(f.view, 120);
    EXPECT_EQ(buffer.yDisp(), before - 1);
    EXPECT_EQ(f.take(), "");
}

TEST(ViewPointer, ScrollBarPagesAndDragsButLineArrowsOnlyLog)
{
    PointerFixture f;
    for (int i = 1; i <= 300; ++i) f.feed(std::to_string(i) + "\r\n");
    Buffer& buffer = f.view.getTerminal().displayBuffer();
    const int bottom = buffer.yDisp();
    const int rows = f.view.getTerminal().rows();
    QScrollBar& bar = *f.view.scroller();
    EXPECT_TRUE(bar.isEnabled());

    bar.triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(buffer.yDisp(), bottom - rows);
    EXPECT_EQ(bar.value(), static_cast<int>(std::lround(f.view.scrollPosition() * bar.maximum())));
    bar.triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(buffer.yDisp(), bottom);

    const int value = bar.value();
    bar.triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(buffer.yDisp(), bottom);
    EXPECT_EQ(bar.value(), value);

    bar.setSliderDown(true);
    bar.setSliderPosition(0);
    bar.setSliderDown(false);
    EXPECT_EQ(buffer.yDisp(), 0);
}

TEST(ViewPointer, CtrlUnderlinesPreviewsAndOpensLinks)
{
    PointerFixture f;
    f.feed("\x1b]8;id=7:x=1;https://example.com/doc\x1b\\read me\x1b]8;;\x1b\\ and https://example.org/a/b ok\r\n");
    const QPointF onExplicit = cellCentre(f.view, 2, 0);
    const QPointF onImplicit = cellCentre(f.view, 20, 0);
    const QPointF nowhere = cellCentre(f.view, 5, 4);

    // Without Ctrl nothing is underlined and a click opens nothing.
    click(f.view, onExplicit, Qt::NoModifier, 100);
    EXPECT_FALSE(f.view.linkHighlightRange);
    EXPECT_TRUE(f.host->linkRequests.empty());

    QTest::keyPress(&f.view, Qt::Key_Control, Qt::ControlModifier);
    EXPECT_TRUE(f.view.commandActive);
    EXPECT_TRUE(f.view.isTracking());
    pointer(f.view, QEvent::MouseMove, onExplicit, Qt::NoButton, Qt::NoButton, Qt::ControlModifier);
    ASSERT_TRUE(f.view.linkHighlightRange);
    EXPECT_EQ(*f.view.linkHighlightRange, (std::vector<LinkMatch::RowRange>{{0, {0, 7}}}));
    ASSERT_NE(f.view.urlPreview(), nullptr);
    EXPECT_EQ(f.view.urlPreview()->text(), "https://example.com/doc");
    EXPECT_EQ(f.view.lastReportedLink(), "https://example.com/doc");

    // Ctrl+click opens the payload's URL through the delegate and the opener.
    click(f.view, onExplicit, Qt::ControlModifier, 2000);
    EXPECT_EQ(f.host->linkRequests, std::vector<std::string>{"https://example.com/doc"});
    EXPECT_EQ(f.opened, std::vector<std::string>{"https://example.com/doc"});
    EXPECT_EQ(f.host->sent, "");

    // A link found in the text.
    pointer(f.view, QEvent::MouseMove, onImplicit, Qt::NoButton, Qt::NoButton, Qt::ControlModifier);
    EXPECT_EQ(f.view.lastReportedLink(), "https://example.org/a/b");
    click(f.view, onImplicit, Qt::ControlModifier, 4000);
    EXPECT_EQ(f.opened.back(), "https://example.org/a/b");

    // Off the link the underline goes.
    pointer(f.view, QEvent::MouseMove, nowhere, Qt::NoButton, Qt::NoButton, Qt::ControlModifier);
    EXPECT_FALSE(f.view.linkHighlightRange);

    // Releasing Ctrl removes the preview and the tracking.
    pointer(f.view, QEvent::MouseMove, onExplicit, Qt::NoButton, Qt::NoButton, Qt::ControlModifier);
    QTest::keyRelease(&f.view, Qt::Key_Control);
    EXPECT_FALSE(f.view.commandActive);
    EXPECT_EQ(f.view.urlPreview(), nullptr);
    EXPECT_FALSE(f.view.linkHighlightRange);
    EXPECT_FALSE(f.view.lastReportedLink());
    EXPECT_FALSE(f.view.isTracking());

    // In a reporting mode a Ctrl+click on a link sends no lone press.
    f.feed("\x1b[?1000;1006h");
    f.take();
    click(f.view, onExplicit, Qt::ControlModifier, 6000);
    EXPECT_EQ(f.take(), "");
    EXPECT_EQ(f.opened.size(), 3u);
    // Elsewhere Ctrl+click is a report with the Ctrl bit.
    click(f.view, nowhere, Qt::ControlModifier, 8000);
    EXPECT_EQ(f.take(), "\x1b[<16;6;5M\x1b[<16;6;5m");
}

TEST(ViewPointer, OnlySafeLinksReachTheOpener)
{
    QTemporaryDir dir;
    const QString script = dir.filePath("run.sh");
    const QString notes = dir.filePath("notes.txt");
    for (const QString& path : {script, notes}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("echo hi\n");
    }
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    PointerFixture f;
    auto link = [&](const std::string& uri) {
        f.feed("\x1b[H\x1b[2J\x1b]8;;" + uri + "\x1b\\LINK\x1b]8;;\x1b\\");
        f.opened.clear();
        click(f.view, cellCentre(f.view, 1, 0), Qt::ControlModifier);
        return !f.opened.empty();
    };
    EXPECT_FALSE(link("file://" + script.toStdString()));
    EXPECT_TRUE(link("file://" + notes.toStdString()));
    EXPECT_FALSE(link("javascript:alert(1)"));
    EXPECT_FALSE(link("ssh://host"));
    EXPECT_TRUE(link("mailto:someone@example.com"));
    EXPECT_EQ(f.host->linkRequests.size(), 5u);

    // A refusal names the link, which comes from the program's output: its
    // control characters reach the log escaped.
    log::Capture log;
    EXPECT_FALSE(link("file:///nowhere/%1B]2;owned%07"));
    EXPECT_FALSE(link("file:///nowhere/%C2%9B31m"));
    EXPECT_TRUE(log.contains("no such file: /nowhere/\\x1B]2;owned\\x07"));
    EXPECT_TRUE(log.contains("no such file: /nowhere/\\xC2\\x9B31m"));
    for (const std::string& line : log.lines())
        for (const unsigned char c : line) EXPECT_TRUE(c >= 0x20 && c != 0x7F && c != 0xC2) << line;
}

TEST(ViewPointer, LinkPayloadsHighlightModesAndRedrawnRows)
{
    PointerFixture f;
    f.feed("ab\x1b]8;;https://wide.example/\x1b\\\xe4\xb8\xad\x1b]8;;\x1b\\z");
    // The right half of a wide character gives the character's link.
    EXPECT_EQ(f.view.payloadString({3, 0}), ";https://wide.example/");
    EXPECT_EQ(f.view.payloadString({2, 0}), ";https://wide.example/");
    EXPECT_FALSE(f.view.payloadString({4, 0}));
    EXPECT_FALSE(f.view.payloadString({0, 100000}));
    EXPECT_FALSE(f.view.payloadString({0, -1}));

    // "always": explicit links open on a plain click, text links do not.
    f.view.setLinkHighlightMode(qt::LinkHighlightMode::always);
    EXPECT_TRUE(f.view.linkForClick({3, 0}, false));
    f.feed("\r\nsee https://example.org/x\r\n");
    EXPECT_FALSE(f.view.linkForClick({6, 1}, false));
    // "alwaysWithModifier" wants Ctrl too.
    f.view.setLinkHighlightMode(qt::LinkHighlightMode::alwaysWithModifier);
    EXPECT_FALSE(f.view.linkForClick({3, 0}, false));
    EXPECT_TRUE(f.view.linkForClick({3, 0}, true));
    // "hover": tracking without Ctrl, and the click must match the underline.
    f.view.setLinkHighlightMode(qt::LinkHighlightMode::hover);
    EXPECT_TRUE(f.view.isTracking());
    EXPECT_FALSE(f.view.linkForClick({6, 1}, false));
    pointer(f.view, QEvent::MouseMove, cellCentre(f.view, 6, 1), Qt::NoButton, Qt::NoButton);
    EXPECT_TRUE(f.view.linkForClick({6, 1}, false));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&f.view, &leave);
    EXPECT_FALSE(f.view.linkHighlightRange);

    // Rows out of view are not marked for redraw; visible ones are.
    Terminal& terminal = f.view.getTerminal();
    terminal.clearUpdateRange();
    f.view.invalidateLinkHighlight(std::vector<LinkMatch::RowRange>{{-5, {0, 3}}, {100000, {0, 3}}}, std::nullopt);
    EXPECT_FALSE(terminal.getUpdateRange());
    f.view.invalidateLinkHighlight(std::nullopt, std::vector<LinkMatch::RowRange>{{1, {0, 3}}});
    EXPECT_EQ(terminal.getUpdateRange(), (std::pair<int64_t, int64_t>(1, 1)));
}

}  // namespace
}  // namespace corvel
