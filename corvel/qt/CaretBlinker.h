// The one blink clock of all carets of the process. A blinking caret fades
// its opacity from 1 to 0 over 0.7 s with an ease-in curve, then back, for
// as long as it blinks; the carets that blink register here and one timer
// steps them all. The timer runs only while some caret blinks, and a caret
// repaints only when its opacity moved by a visible step, so idle views cost
// little.
//
// Tests and benchmarks may replace the clock and drive the ticks by hand
// (setClock, setManual, tick). GUI thread only. The instance is a child of
// the QApplication and goes with it.
#pragma once

#include "corvel/platform/Dispatch.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <vector>

namespace corvel {

class CaretView;

class CaretBlinker final : public QObject {
    Q_OBJECT
public:
    // One half of a blink: full opacity to none.
    static constexpr Nanos halfPeriod = 700'000'000;
    // How often blinking carets are stepped.
    static constexpr int frameIntervalMs = 50;

    static CaretBlinker& shared();

    // The opacity of a caret that started blinking `elapsed` ago.
    static double opacityAt(Nanos elapsed);

    Nanos now() const { return clock_ ? clock_() : monotonicNanos(); }
    // A null clock restores the monotonic one.
    void setClock(std::function<Nanos()> clock) { clock_ = std::move(clock); }
    // Manual: the timer never runs and the owner calls tick().
    void setManual(bool manual);
    bool isManual() const { return manual_; }

    void add(CaretView* caret);
    void remove(CaretView* caret);
    bool contains(const CaretView* caret) const;
    size_t count() const { return carets_.size(); }
    bool isTimerActive() const { return timer_.isActive(); }
    // Steps every blinking caret to the current time.
    void tick();
    // Ticks run so far.
    uint64_t ticks() const { return ticks_; }

private:
    explicit CaretBlinker(QObject* parent);
    void updateTimer();

    QTimer timer_;
    std::vector<CaretView*> carets_;
    std::function<Nanos()> clock_;
    bool manual_ = false;
    uint64_t ticks_ = 0;
};

}  // namespace corvel
