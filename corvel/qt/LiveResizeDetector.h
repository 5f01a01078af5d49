// Tells when the user is dragging a window's edge. The platform reports no
// start or end of a live resize, so the detector infers it from the window's
// resize events: a second resize less than 150 ms after the previous one
// starts a live resize, and 250 ms without a resize ends it. A single resize
// (a maximise, a programmatic change) starts nothing. Only resizes that come
// from the window system count; the application's own resize() calls and
// resizes of other windows are ignored.
//
// The clock is injectable: tests feed resizes with noteResize() and end the
// quiet period with check(); in the running program a single-shot timer calls
// check() when the quiet period should be over.
//
// A window has one detector, its child, made by the first of() for it; the
// terminal views in the window and whatever else follows its live resizes
// share it. The filter sits on the application, ahead of the window's own
// layout, so the resize that starts a live resize already finds its
// followers told (the first resize of a drag, still a lone one, reaches them
// as a plain resize).
//
// Main thread; owned by its parent. The watched window may go away first (it
// is held by QPointer).
#pragma once

#include "corvel/platform/Dispatch.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class QTimer;

namespace corvel {

class LiveResizeDetector : public QObject {
    Q_OBJECT
public:
    static constexpr Nanos startWithin = 150'000'000;
    static constexpr Nanos quietEnd = 250'000'000;

    using Clock = std::function<Nanos()>;

    // No clock: monotonicNanos.
    explicit LiveResizeDetector(Clock clock = {}, QObject* parent = nullptr);

    // The detector of `window` (a top-level widget): its detector child,
    // made on the monotonic clock when it has none, watching it. A test puts
    // one on its own clock there first.
    static LiveResizeDetector* of(QWidget* window);

    // Follows the resizes of this window from now on, and no other's.
    void watch(QWidget* window);
    QWidget* watched() const { return window_; }

    bool isLive() const { return live_; }

    // A resize of the watched window by the window system, now.
    void noteResize();
    // Ends a live resize whose quiet period has passed.
    void check();

signals:
    void liveChanged(bool live);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void armQuietTimer(Nanos after);

    Clock clock_;
    QPointer<QWidget> window_;
    QTimer* quiet_;  // child object
    std::optional<Nanos> lastResize_;
    bool live_ = false;
};

}  // namespace corvel
