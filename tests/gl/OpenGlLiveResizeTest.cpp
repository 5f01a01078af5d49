// A GPU-path view whose window the window system resizes many times in a row
// (xdotool under Xvfb), with the window's live-resize detector on a clock the
// test holds still, so the whole run counts as one live resize. With the
// throttle on, only the first (lone) resize asks for a frame at once; the
// others queue one, and the surface keeps its size and last picture, drawing
// nothing for them. Once the run is over the queued frame gives the surface
// the final size and draws it. The suite that runs with
// CORVEL_METAL_LIVE_RESIZE_THROTTLE=0 (its own process) sees every resize
// ask for a frame. The count of resizes and of throttled ones is printed.
// While the surface stays behind a grown view, the window on the X server
// shows the view's background beyond it; the queued frame then waits on a
// main queue the test steps by hand, so the window is looked at before it.
#include <gtest/gtest.h>

#include <QProcess>
#include <QResizeEvent>
#include <QScreen>

#include <iostream>
#include <memory>
#include <vector>

#include "GpuFrameSupport.h"
#include "corvel/qt/LiveResizeDetector.h"
#include "tests/corvel/support/MainQueueScope.h"

namespace corvel::gl {
namespace {

// The registered GPU path, counting the frames asked of it.
class CountingPath final : public qt::GpuPath {
public:
    explicit CountingPath(TerminalView& view) : inner_(static_cast<qt::MetalViewHost&>(view)) {}
    void setUseMetal(bool enabled) override { inner_.setUseMetal(enabled); }
    void updateMetalRenderer(bool enabled) override { inner_.updateMetalRenderer(enabled); }
    bool useMetalRenderer() const override { return inner_.useMetalRenderer(); }
    QWidget* metalView() const override { return inner_.metalView(); }
    qt::MetalRendererBase* metalRenderer() const override { return inner_.metalRenderer(); }
    void requestFrame() override
    {
        ++requests;
        auto* surface = static_cast<MetalSurface*>(inner_.metalView());
        const int painted = surface ? surface->framesPainted() : 0;
        inner_.requestFrame();
        asked.push_back({surface ? surface->size() : QSize(), surface ? surface->framesPainted() - painted : 0});
    }
    int requests = 0;
    // For each frame asked for: the surface's size after it, and whether it
    // drew at once (a resized surface draws before the call returns).
    struct Asked {
        QSize size;
        int drawnAtOnce = 0;
    };
    std::vector<Asked> asked;

private:
    MetalGpuPath inner_;
};

// What one resize from the window system did.
struct Step {
    QSize size;
    bool live = false;
    bool askedAtOnce = false;  // a frame was asked of the GPU path during it
    bool queued = false;       // a frame was queued after it
    int surfaceFrames = 0;     // frames the surface drew during it
};

class ResizedView : public TerminalView {
public:
    using TerminalView::TerminalView;
    CountingPath* path = nullptr;
    std::vector<Step> steps;
    // Frames asked for and drawn up to the end of the last resize of any
    // kind (one may reach the view without being marked spontaneous).
    size_t askedAtLastResize = 0;
    int paintedAtLastResize = 0;

    // Switches the GPU path on and starts counting: a filter installed after
    // the path's own (which resizes the surface) sees each resize first.
    void useMetal()
    {
        setUseMetal(true);
        installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == this && event->type() == QEvent::Resize && event->spontaneous() && metalView()) {
            requestsBefore_ = path->requests;
            paintedBefore_ = static_cast<MetalSurface*>(metalView())->framesPainted();
        }
        return TerminalView::eventFilter(watched, event);
    }
    void resizeEvent(QResizeEvent* event) override
    {
        TerminalView::resizeEvent(event);
        if (!metalView()) return;
        const int painted = static_cast<MetalSurface*>(metalView())->framesPainted();
        askedAtLastResize = path->asked.size();
        paintedAtLastResize = painted;
        if (!event->spontaneous() || requestsBefore_ < 0) return;
        steps.push_back({event->size(), inLiveResize(), path->requests > requestsBefore_, pendingMetalDisplay(),
                         painted - paintedBefore_});
        requestsBefore_ = -1;
    }

private:
    int requestsBefore_ = -1;
    int paintedBefore_ = 0;
};

constexpr Nanos kMs = 1'000'000;
constexpr int kResizes = 20;

struct LiveResizeRun {
    Nanos now = 1000 * kMs;
    std::unique_ptr<ResizedView> view;
    LiveResizeDetector* detector = nullptr;
    bool shown = false;

    LiveResizeRun()
    {
        CountingPath* path = nullptr;
        qt::registerGpuPathFactory([&](TerminalView& v) {
            auto made = std::make_unique<CountingPath>(v);
            path = made.get();
            return made;
        });
        view = std::make_unique<ResizedView>(QRect(0, 0, 400, 200), testing::dejaVu());
        registerMetalGpuPath();
        view->path = path;
        // The window's detector, found by the view when it is shown.
        detector = new LiveResizeDetector([this] { return now; }, view.get());
        // A steady cursor: no blink frames among those counted.
        view->feed(std::string_view("\x1b[2 q"));
        shown = testing::showAndWait(*view);
    }

    MetalSurface* surface() const { return static_cast<MetalSurface*>(view->metalView()); }
    MetalTerminalRenderer* renderer() const { return metalRendererOf(*view); }
    bool idle() const
    {
        return !view->pendingMetalDisplay() && renderer() && !renderer()->frameInFlight();
    }

    // Has the window system resize the window `count` times a frame apart,
    // growing it, as a drag of its edge does, and waits until the view has
    // the last size. (Resizes sent at once would reach Qt as one.)
    bool resizeInARow(int count)
    {
        QStringList args;
        const QString window = QString::number(view->winId());
        const QSize start = view->size();
        QSize last;
        for (int step = 1; step <= count; ++step) {
            if (step > 1) args << QStringLiteral("sleep") << QStringLiteral("0.016");
            last = start + QSize(7 * step, 3 * step);
            args << QStringLiteral("windowsize") << window << QString::number(last.width())
                 << QString::number(last.height());
        }
        QProcess xdotool;
        xdotool.start(QStringLiteral("xdotool"), args);
        if (!xdotool.waitForStarted()) return false;
        if (!testing::pumpUntil([&] { return xdotool.state() == QProcess::NotRunning; })) return false;
        if (xdotool.exitStatus() != QProcess::NormalExit || xdotool.exitCode() != 0) return false;
        return testing::pumpUntil([&] { return view->size() == last; });
    }
};

// The pixels of `part` (in the window's own coordinates) further than
// `tolerance` in a channel from `colour`, in a picture of the window, and
// the first of them.
struct OtherPixels {
    int count = 0;
    QPoint first;
    QRgb firstColour = 0;
};

OtherPixels pixelsOtherThan(const QImage& window, const QRegion& part, QColor colour, qreal dpr, int tolerance = 2)
{
    const QImage image = window.convertToFormat(QImage::Format_RGB32);
    OtherPixels other;
    for (const QRect& logical : part) {
        const QRect rect = QRectF(QPointF(logical.topLeft()) * dpr, QSizeF(logical.size()) * dpr).toAlignedRect();
        if (!image.rect().contains(rect)) {
            other.count += rect.width() * rect.height();
            continue;
        }
        for (int y = rect.top(); y <= rect.bottom(); ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = rect.left(); x <= rect.right(); ++x) {
                if (qt::test::sameRgb(line[x], colour.rgb(), tolerance)) continue;
                if (other.count++ > 0) continue;
                other.first = QPoint(x, y);
                other.firstColour = line[x];
            }
        }
    }
    return other;
}

int throttled(const std::vector<Step>& steps)
{
    return static_cast<int>(std::count_if(steps.begin(), steps.end(), [](const Step& s) { return !s.askedAtOnce; }));
}

TEST(OpenGlLiveResize, ARunOfResizesOnlyQueuesFramesAndTheQueuedOneDrawsTheFinalSize)
{
    if (!qt::liveResizeThrottle()) GTEST_SKIP() << "runs with the live-resize throttle on";
    LiveResizeRun run;
    ASSERT_TRUE(run.shown);
    ASSERT_EQ(run.view->liveResizeDetector(), run.detector);
    run.view->useMetal();
    ASSERT_TRUE(testing::pumpUntil([&] { return run.idle() && run.renderer()->framesEncoded() > 0; }));

    ASSERT_TRUE(run.resizeInARow(kResizes));
    const std::vector<Step> steps = run.view->steps;
    std::cout << "window-system resizes: " << steps.size() << ", throttled: " << throttled(steps) << "\n";
    ASSERT_GE(steps.size(), 2u);
    // The first is a lone resize (a maximise would be one) and draws at once.
    EXPECT_FALSE(steps.front().live);
    EXPECT_TRUE(steps.front().askedAtOnce);
    for (size_t i = 1; i < steps.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(steps[i].live);
        EXPECT_FALSE(steps[i].askedAtOnce);
        EXPECT_TRUE(steps[i].queued);
        EXPECT_EQ(steps[i].surfaceFrames, 0);
    }

    // Meanwhile the surface kept its size and last picture. After the run
    // the queued frame gives it the final size and draws it at once.
    const QSize last = run.view->size();
    const size_t first = run.view->askedAtLastResize;
    ASSERT_TRUE(testing::pumpUntil([&] { return run.idle() && run.view->path->asked.size() > first; }));
    for (int turn = 0; turn < 5; ++turn) QCoreApplication::processEvents();
    ASSERT_TRUE(testing::pumpUntil([&] { return run.idle(); }));
    const auto& asked = run.view->path->asked;
    const qreal dpr = run.view->devicePixelRatioF();
    EXPECT_EQ(asked[first].size, last);
    EXPECT_EQ(asked[first].drawnAtOnce, 1);
    EXPECT_EQ(run.surface()->drawableSize(), (last * dpr));
    // Qt repaints the view beneath the resized surface, which asks for one
    // more frame, at the same size (as after any resize of the surface).
    EXPECT_LE(asked.size() - first, 2u);
    EXPECT_LE(run.surface()->framesPainted() - run.view->paintedAtLastResize, 2);
    for (size_t i = first; i < asked.size(); ++i) EXPECT_EQ(asked[i].size, last) << i;
    EXPECT_EQ(run.view->getTerminal().cols(),
              int((last.width() - run.view->scrollerWidth()) / run.view->cellDimension()->width()));

    // Quiet for 250 ms ends the live resize; a resize then draws at once.
    run.now += LiveResizeDetector::quietEnd;
    run.detector->check();
    EXPECT_FALSE(run.view->inLiveResize());
    run.view->steps.clear();
    ASSERT_TRUE(run.resizeInARow(1));
    ASSERT_EQ(run.view->steps.size(), 1u);
    EXPECT_TRUE(run.view->steps[0].askedAtOnce);
}

TEST(OpenGlLiveResize, TheStripBeyondASurfaceLeftBehindShowsTheViewsBackground)
{
    if (!qt::liveResizeThrottle()) GTEST_SKIP() << "runs with the live-resize throttle on";
    // The view's queued frame (and its redraws) run only when the test
    // moves this queue's clock, so the surface stays behind until then.
    corvel::testing::MainQueueScope mainQueue(true);
    LiveResizeRun run;
    ASSERT_TRUE(run.shown);
    // Neither black nor a colour of the palette, which an unpainted part of
    // the window could show by chance.
    const QColor background(30, 60, 90);
    run.view->setNativeBackgroundColor(DeviceColor::fromQColor(background));
    run.view->feed(std::string_view("a picture the surface keeps\r\n"));
    run.view->useMetal();
    mainQueue.queue->advance(100 * kMs);
    ASSERT_TRUE(testing::pumpUntil([&] { return run.idle() && run.renderer()->framesEncoded() > 0; }));

    ASSERT_TRUE(run.resizeInARow(kResizes));
    ASSERT_TRUE(run.view->inLiveResize());
    ASSERT_TRUE(run.view->pendingMetalDisplay());
    const QRect surface = run.surface()->geometry();
    ASSERT_LT(surface.width(), run.view->width());
    ASSERT_LT(surface.height(), run.view->height());

    // The view beyond the surface, less the children drawn over it (the
    // scroll bar).
    QRegion strip = QRegion(run.view->rect()) - surface;
    for (QWidget* child : run.view->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child != run.surface() && child->isVisible()) strip -= child->geometry();
    }
    ASSERT_FALSE(strip.isEmpty());
    std::cout << "surface " << surface.width() << "x" << surface.height() << " in a view of " << run.view->width()
              << "x" << run.view->height() << "\n";

    // The repaint of the grown view reaches the X server in its own time.
    const qreal dpr = run.view->devicePixelRatioF();
    QImage window;
    OtherPixels other;
    const bool painted = testing::pumpUntil([&] {
        window = run.view->screen()->grabWindow(run.view->winId()).toImage();
        other = pixelsOtherThan(window, strip, background, dpr);
        return other.count == 0;
    });
    testing::saveFrame(window, "live-resize-strip");
    EXPECT_TRUE(painted) << other.count << " pixels beyond the surface are not the background, the first "
                         << qt::test::describe(other.firstColour) << " at " << other.first.x() << ","
                         << other.first.y();
    // All that while the surface kept its size and the frame stayed queued.
    EXPECT_EQ(run.surface()->geometry(), surface);
    EXPECT_TRUE(run.view->pendingMetalDisplay());
}

TEST(OpenGlLiveResizeUnthrottled, EveryResizeOfARunMarksTheViewForDisplay)
{
    if (qt::liveResizeThrottle())
        GTEST_SKIP() << "runs with CORVEL_METAL_LIVE_RESIZE_THROTTLE=0 in the environment";
    LiveResizeRun run;
    ASSERT_TRUE(run.shown);
    run.view->useMetal();
    ASSERT_TRUE(testing::pumpUntil([&] { return run.idle() && run.renderer()->framesEncoded() > 0; }));

    ASSERT_TRUE(run.resizeInARow(kResizes));
    const std::vector<Step>& steps = run.view->steps;
    std::cout << "window-system resizes: " << steps.size() << ", throttled: " << throttled(steps) << "\n";
    ASSERT_GE(steps.size(), 2u);
    EXPECT_TRUE(steps.back().live) << "the detector still reports the live resize";
    for (size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(steps[i].askedAtOnce);
    }
}

}  // namespace
}  // namespace corvel::gl
