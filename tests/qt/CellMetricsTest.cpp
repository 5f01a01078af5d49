// Cell size from the font, the grid a view size gives (its own size, also
// when a resize event comes late with an older one), size reports, font
// changes, and the GPU frames a live resize asks for. Run at scale 1 and, as the ".scale2" copies, with
// QT_SCALE_FACTOR=2.
#include "QtTestSupport.h"

#include "corvel/qt/GpuPath.h"
#include "corvel/qt/MetalError.h"
#include "corvel/qt/TerminalView.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QResizeEvent>

#include <gtest/gtest.h>

#include <cmath>

namespace corvel {
namespace {

using testing::RecordingViewDelegate;
using testing::testFont;

double scaleOf(const TerminalView& view)
{
    return view.devicePixelRatioF();
}

TEST(CellMetrics, DejaVuSansMonoTwelvePixelsGivesWholeDevicePixelCells)
{
    TerminalView view(nullptr, testFont());
    const double scale = scaleOf(view);
    ASSERT_EQ(scale, qEnvironmentVariableIsSet("QT_SCALE_FACTOR") ? 2.0 : 1.0);
    // DejaVu Sans Mono: "W" advances 1233/2048 em (7.22 px at 12 px) and a
    // line is 13.97 px high, so a line takes 14 px at any scale, and a cell
    // is 8 px wide at scale 1 but 7.5 px (15 device pixels) at scale 2.
    const QSizeF cell = *view.cellDimension();
    EXPECT_DOUBLE_EQ(cell.width(), scale == 2.0 ? 7.5 : 8.0);
    EXPECT_DOUBLE_EQ(cell.height(), 14.0);
    EXPECT_DOUBLE_EQ(cell.width() * scale, std::round(cell.width() * scale));

    // Tiny fonts still give a cell of at least one pixel; huge ones at most 8192.
    QFont tiny = testFont();
    tiny.setPixelSize(1);
    EXPECT_GE(TerminalView::computeFontDimensions(tiny, scale).width(), 1.0);
    QFont huge = testFont();
    huge.setPixelSize(9000);
    EXPECT_EQ(TerminalView::computeFontDimensions(huge, scale).height(), 8192.0);
}

TEST(CellMetrics, ViewSizedForAGridMakesThatGrid)
{
    const QSizeF cell = TerminalView::computeFontDimensions(testFont(), qApp->devicePixelRatio());
    TerminalView probe(nullptr, testFont());
    const QRect frame(0, 0, int(std::ceil(cell.width() * 100 + probe.scrollerWidth())), int(cell.height() * 30));
    TerminalView view(frame, testFont());
    auto delegate = std::make_shared<RecordingViewDelegate>();
    view.setTerminalDelegate(delegate);
    view.show();
    EXPECT_EQ(view.getTerminal().cols(), 100);
    EXPECT_EQ(view.getTerminal().rows(), 30);
    EXPECT_EQ(view.getOptimalFrameSize().width(), cell.width() * 100 + view.scrollerWidth());

    // Growing by less than a cell changes nothing; a whole row more does.
    view.resize(frame.width() + 1, frame.height() + 1);
    EXPECT_TRUE(delegate->sizes.empty());
    view.resize(frame.width(), frame.height() + int(cell.height()));
    ASSERT_EQ(delegate->sizes.size(), 1u);
    EXPECT_EQ(delegate->sizes.back(), std::make_pair(100, 31));
}

TEST(CellMetrics, ResizeEventBehindTheViewsSizeMakesTheGridOfTheViewsSize)
{
    // Under X a fast drag of a window's edge may end with a resize event
    // that carries the size before the last, the widget already at the last
    // one, and no event after it. The grid follows the view's own size.
    const QSizeF cell = TerminalView::computeFontDimensions(testFont(), qApp->devicePixelRatio());
    TerminalView probe(nullptr, testFont());
    const auto frameFor = [&](int cols, int rows) {
        return QSize(int(std::ceil(cell.width() * cols + probe.scrollerWidth())), int(cell.height() * rows));
    };
    TerminalView view(QRect(QPoint(), frameFor(100, 30)), testFont());
    auto delegate = std::make_shared<RecordingViewDelegate>();
    view.setTerminalDelegate(delegate);
    // Never shown, the view takes its new size without a resize event, as
    // the late event finds it.
    view.resize(frameFor(110, 33));
    ASSERT_EQ(view.getTerminal().cols(), 100);

    QResizeEvent late(frameFor(105, 32), frameFor(100, 30));
    QCoreApplication::sendEvent(&view, &late);
    EXPECT_EQ(view.getTerminal().cols(), 110);
    EXPECT_EQ(view.getTerminal().rows(), 33);
    ASSERT_EQ(delegate->sizes.size(), 1u);
    EXPECT_EQ(delegate->sizes.back(), std::make_pair(110, 33));
}

TEST(CellMetrics, ViewSmallerThanACellHoldsTheSmallestGridOnce)
{
    TerminalView view(QRect(0, 0, 400, 300), testFont());
    auto delegate = std::make_shared<RecordingViewDelegate>();
    view.setTerminalDelegate(delegate);
    view.show();
    view.resize(3, 3);
    EXPECT_EQ(view.getTerminal().cols(), Terminal::MINIMUM_COLS);
    EXPECT_EQ(view.getTerminal().rows(), Terminal::MINIMUM_ROWS);
    ASSERT_EQ(delegate->sizes.size(), 1u);
    // Another size that still holds no cell is the same grid: no new report.
    view.resize(2, 5);
    EXPECT_EQ(delegate->sizes.size(), 1u);
    EXPECT_FALSE(view.processSizeChange(QSizeF(1, 1)));
}

TEST(CellMetrics, FontChangeResizesTheGridAndDropsTheSelection)
{
    TerminalView view(QRect(0, 0, 600, 400), testFont());
    auto delegate = std::make_shared<RecordingViewDelegate>();
    view.setTerminalDelegate(delegate);
    testing::feed(view, "hello world");
    view.selection().setSelection({0, 0}, {4, 0});
    view.selection().setSelectionMode(SelectionMode::word);
    ASSERT_TRUE(view.selection().active());

    QFont bigger = testFont();
    bigger.setPixelSize(24);
    view.setFont(bigger);
    const QSizeF cell = *view.cellDimension();
    EXPECT_GT(cell.height(), 20.0);
    EXPECT_FALSE(view.selection().active());
    EXPECT_EQ(view.selection().selectionMode(), SelectionMode::character);
    const int cols = int((600 - view.scrollerWidth()) / cell.width());
    const int rows = int(400 / cell.height());
    EXPECT_EQ(view.getTerminal().cols(), cols);
    EXPECT_EQ(view.getTerminal().rows(), rows);
    ASSERT_FALSE(delegate->sizes.empty());
    EXPECT_EQ(delegate->sizes.back(), std::make_pair(cols, rows));
    // The grid measured after the font change is the one a frame change of
    // the same size measures: the scroll bar's strip is left out of both.
    EXPECT_FALSE(view.processSizeChange(QSizeF(600, 400)));
    EXPECT_EQ(view.caretFrame().size(), cell);

    // Back to the system font: the faces change, the metrics and grid stay.
    view.resetFontSize();
    EXPECT_EQ(view.font().family(), TerminalView::systemFixedFont().family());
    EXPECT_EQ(*view.cellDimension(), cell);
    EXPECT_EQ(view.getTerminal().cols(), cols);
}

TEST(CellMetrics, ViewWithoutFontUsesTheSystemFixedFont)
{
    TerminalView view;
    EXPECT_EQ(view.font(), TerminalView::systemFixedFont());
    // The GPU path cannot be switched on yet; the view keeps drawing.
    EXPECT_THROW(view.setUseMetal(true), MetalError);
    EXPECT_FALSE(view.isUsingMetalRenderer());
    EXPECT_NO_THROW(view.setUseMetal(false));
    EXPECT_FALSE(view.grab().isNull());
}

// A GPU path that only counts the frames asked of it.
struct CountingGpuPath : qt::GpuPath {
    void setUseMetal(bool enabled) override { on = enabled; }
    void updateMetalRenderer(bool enabled) override { on = enabled; }
    bool useMetalRenderer() const override { return on; }
    QWidget* metalView() const override { return on ? const_cast<QWidget*>(&surface) : nullptr; }
    qt::MetalRendererBase* metalRenderer() const override { return nullptr; }
    void requestFrame() override { frames += on; }
    bool on = false;
    int frames = 0;
    QWidget surface;
};

TEST(CellMetrics, ALiveResizeOnTheGpuPathOnlyQueuesAFrame)
{
    EXPECT_TRUE(qt::liveResizeThrottleFrom(nullptr));
    for (const char* off : {"0", "false", "FALSE"}) EXPECT_FALSE(qt::liveResizeThrottleFrom(off)) << off;
    for (const char* on : {"", "1", "False", "no"}) EXPECT_TRUE(qt::liveResizeThrottleFrom(on)) << on;
    if (!qt::liveResizeThrottle()) GTEST_SKIP() << "the throttle is switched off in this environment";

    CountingGpuPath* path = nullptr;
    qt::registerGpuPathFactory([&](TerminalView&) {
        auto made = std::make_unique<CountingGpuPath>();
        path = made.get();
        return made;
    });
    TerminalView view(QRect(0, 0, 400, 200), testFont());
    qt::registerGpuPathFactory({});
    ASSERT_TRUE(path);
    view.show();
    view.setUseMetal(true);

    // Size changes and repaints during the live resize queue one frame.
    view.setInLiveResize(true);
    const int before = path->frames;
    view.resize(360, 180);
    view.repaint();
    EXPECT_EQ(path->frames, before) << "nothing is asked for at once";
    EXPECT_TRUE(view.pendingMetalDisplay());
    ASSERT_TRUE(testing::pumpUntil([&] { return !view.pendingMetalDisplay(); }));
    EXPECT_GT(path->frames, before);

    // Outside a live resize a size change asks for a frame at once.
    view.setInLiveResize(false);
    const int after = path->frames;
    view.resize(400, 200);
    EXPECT_GT(path->frames, after);
}

}  // namespace
}  // namespace corvel
