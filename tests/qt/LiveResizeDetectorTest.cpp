// The live-resize rules on a hand-moved clock: a lone resize starts nothing, a
// second within 150 ms starts, 250 ms of quiet ends, and only the watched
// window's resizes from the window system count. A window has one detector,
// which its terminal views follow, also across a move to another window.
#include "corvel/qt/LiveResizeDetector.h"
#include "corvel/qt/TerminalView.h"
#include "tests/qt/QtTestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QResizeEvent>

#include <vector>

using namespace corvel;

namespace {

constexpr Nanos ms = 1'000'000;

struct Detector {
    Nanos now = 1000 * ms;
    LiveResizeDetector detector{[this] { return now; }};
    std::vector<bool> changes;
    Detector()
    {
        QObject::connect(&detector, &LiveResizeDetector::liveChanged, [this](bool on) { changes.push_back(on); });
    }
    void resizeAfter(Nanos gap)
    {
        now += gap;
        detector.noteResize();
    }
};

}  // namespace

TEST(LiveResizeDetector, StartsOnASecondResizeAndEndsAfterQuiet)
{
    Detector d;
    d.resizeAfter(0);
    d.resizeAfter(150 * ms);  // not less than 150 ms: still a lone resize
    EXPECT_FALSE(d.detector.isLive());
    d.resizeAfter(149 * ms);
    EXPECT_TRUE(d.detector.isLive());
    for (int i = 0; i < 10; ++i) d.resizeAfter(16 * ms);
    EXPECT_EQ(d.changes, std::vector<bool>{true});
    // Quiet for less than 250 ms: still live; a resize then restarts the wait.
    d.now += 249 * ms;
    d.detector.check();
    EXPECT_TRUE(d.detector.isLive());
    d.resizeAfter(0);
    d.now += 249 * ms;
    d.detector.check();
    EXPECT_TRUE(d.detector.isLive());
    d.now += 1 * ms;
    d.detector.check();
    EXPECT_FALSE(d.detector.isLive());
    EXPECT_EQ(d.changes, (std::vector<bool>{true, false}));
    // Checks while not live, or a lone resize afterwards, change nothing.
    d.detector.check();
    d.resizeAfter(400 * ms);
    EXPECT_EQ(d.changes.size(), 2u);
}

TEST(LiveResizeDetector, IgnoresTheApplicationsOwnResizesAndFollowsTheWatchedWindow)
{
    Detector d;
    QWidget window, other;
    d.detector.watch(&window);
    // Resizes the application makes itself arrive as non-spontaneous events.
    for (int i = 0; i < 3; ++i) {
        QResizeEvent event(QSize(400 + i, 300), QSize(399 + i, 300));
        QCoreApplication::sendEvent(&window, &event);
        d.now += 10 * ms;
    }
    EXPECT_FALSE(d.detector.isLive());
    d.resizeAfter(0);
    d.resizeAfter(10 * ms);
    EXPECT_TRUE(d.detector.isLive());
    // Watching another window ends the live resize of the old one.
    d.detector.watch(&other);
    EXPECT_FALSE(d.detector.isLive());
    EXPECT_EQ(d.detector.watched(), &other);
    EXPECT_EQ(d.changes, (std::vector<bool>{true, false}));
}

TEST(LiveResizeDetector, TheViewsOfAWindowFollowItsOneDetector)
{
    Nanos now = 1000 * ms;
    QWidget window, other;
    // Put there before the views are shown, as a test's clock must be.
    auto* detector = new LiveResizeDetector([&] { return now; }, &window);
    auto* first = new TerminalView(QRect(0, 0, 200, 100), corvel::testing::testFont(), &window);
    auto* second = new TerminalView(QRect(0, 100, 200, 100), corvel::testing::testFont(), &window);
    EXPECT_EQ(first->liveResizeDetector(), nullptr) << "a view never shown follows nothing";
    window.show();
    EXPECT_EQ(LiveResizeDetector::of(&window), detector);
    EXPECT_EQ(detector->watched(), &window);
    EXPECT_EQ(first->liveResizeDetector(), detector);
    EXPECT_EQ(second->liveResizeDetector(), detector);
    EXPECT_EQ(window.findChildren<LiveResizeDetector*>().size(), 1);

    detector->noteResize();
    EXPECT_FALSE(first->inLiveResize());
    now += 20 * ms;
    detector->noteResize();
    EXPECT_TRUE(first->inLiveResize());
    EXPECT_TRUE(second->inLiveResize());

    // Moved into another window during the live resize: the view takes up
    // that window's detector, made for it once, and is no longer live.
    second->setParent(&other);
    EXPECT_FALSE(second->inLiveResize());
    LiveResizeDetector* made = second->liveResizeDetector();
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->parent(), &other);
    EXPECT_EQ(LiveResizeDetector::of(&other), made);
    other.show();
    EXPECT_EQ(second->liveResizeDetector(), made);
    detector->noteResize();
    EXPECT_FALSE(second->inLiveResize()) << "the old window's resizes reach it no more";

    now += LiveResizeDetector::quietEnd;
    detector->check();
    EXPECT_FALSE(first->inLiveResize());
}
