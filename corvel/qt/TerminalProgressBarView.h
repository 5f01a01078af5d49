// The thin strip along the top of a terminal view that shows the progress a
// program reports (OSC 9;4): hidden while there is nothing to show, a bar
// over a share of the width for a known percentage, and a block sliding over
// a faint track while the progress is unknown. Orange while paused, red on
// error, the accent colour otherwise. It ignores the mouse.
//
// Changes of percentage animate over 0.2 s; the sliding block makes one pass
// in 1.2 s and comes back, for as long as the progress stays unknown. Both
// run on Qt animations, which tests may step (setCurrentTime). Owned by its
// terminal view (Qt parent). GUI thread only.
#pragma once

#include "corvel/terminal/ProgressReport.h"
#include "corvel/qt/DeviceColor.h"

#include <QRectF>
#include <QVariantAnimation>
#include <QWidget>

#include <cstdint>
#include <optional>

namespace corvel {

class TerminalProgressBarView final : public QWidget {
    Q_OBJECT
public:
    static constexpr double barWidthRatio = 0.25;
    static constexpr int indeterminateDurationMs = 1200;
    static constexpr int determinateDurationMs = 200;
    static constexpr double trackAlpha = 0.3;

    explicit TerminalProgressBarView(QWidget* parent = nullptr);

    void apply(ProgressReportState state, std::optional<uint8_t> progress);

    ProgressReportState state() const { return state_; }
    std::optional<uint8_t> progress() const { return progress_; }
    // What is drawn, in the bar's own coordinates.
    bool isTrackShown() const { return trackShown_; }
    QRectF barFrame() const { return barFrame_; }
    DeviceColor barColor() const { return barColor_; }
    // The animations, for tests that step them.
    QVariantAnimation& determinateAnimation() { return determinate_; }
    QVariantAnimation& indeterminateAnimation() { return indeterminate_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateDeterminate(uint8_t progress, bool animated);
    void updateIndeterminate();
    void stopSliding();

    ProgressReportState state_ = ProgressReportState::remove;
    std::optional<uint8_t> progress_;
    bool trackShown_ = false;
    QRectF barFrame_;
    DeviceColor barColor_;
    QVariantAnimation determinate_;
    QVariantAnimation indeterminate_;
};

}  // namespace corvel
