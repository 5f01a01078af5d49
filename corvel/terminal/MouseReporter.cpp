// Mouse report decisions.
#include "corvel/terminal/MouseReporter.h"

#include "corvel/terminal/Terminal.h"

#include <algorithm>
#include <cmath>

namespace corvel {

namespace {

constexpr int kPrimaryButton = 0;

}  // namespace

bool MouseReporter::reportsClicks() const
{
    return allowMouseReporting && terminal_.mouseMode() != Terminal::MouseMode::off;
}

int MouseReporter::screenRow(int bufferRow) const
{
    const int row = bufferRow - terminal_.displayBuffer().yDisp();
    return std::clamp(row, 0, std::max(terminal_.rows() - 1, 0));
}

void MouseReporter::send(int flags, const Hit& hit, bool motion)
{
    const int y = screenRow(hit.grid.row);
    if (motion) {
        terminal_.sendMotion(flags, hit.grid.col, y, hit.pixelX, hit.pixelY);
    } else {
        terminal_.sendEvent(flags, hit.grid.col, y, hit.pixelX, hit.pixelY);
    }
}

bool MouseReporter::press(const Hit& hit, Modifiers m, bool opensLink)
{
    pressReported_ = false;
    if (!reportsClicks()) return false;
    // The release will open the link; the program hears nothing of the click.
    if (opensLink) return true;
    send(terminal_.encodeButton(kPrimaryButton, false, m.shift, m.alt, m.control), hit, false);
    pressReported_ = true;
    return true;
}

bool MouseReporter::release(const Hit& hit, Modifiers m)
{
    const bool pressed = pressReported_;
    pressReported_ = false;
    if (!reportsClicks()) return false;
    // x10 reports presses only.
    if (pressed && terminal_.mouseMode() != Terminal::MouseMode::x10) {
        send(terminal_.encodeButton(kPrimaryButton, true, m.shift, m.alt, m.control), hit, false);
    }
    return true;
}

bool MouseReporter::drag(const Hit& hit, Modifiers m)
{
    if (!reportsClicks()) return false;
    const auto mode = terminal_.mouseMode();
    if (pressReported_ &&
        (mode == Terminal::MouseMode::buttonEventTracking || mode == Terminal::MouseMode::anyEvent)) {
        send(terminal_.encodeButton(kPrimaryButton, false, m.shift, m.alt, m.control), hit, true);
    }
    return true;
}

bool MouseReporter::move(const Hit& hit, Modifiers m)
{
    if (!allowMouseReporting || terminal_.mouseMode() != Terminal::MouseMode::anyEvent) return false;
    // No button: the release code with the motion bit.
    send(terminal_.encodeButton(kPrimaryButton, true, m.shift, m.alt, m.control), hit, true);
    return true;
}

MouseReporter::Hit MouseReporter::hitTest(double x, double y, double cellWidth, double cellHeight,
                                          double boundsWidth, double boundsHeight, int cols, int yDisp,
                                          int64_t lines)
{
    Hit hit;
    const double cw = cellWidth > 0 ? cellWidth : 1;
    const double ch = cellHeight > 0 ? cellHeight : 1;
    const double col = std::floor(std::max(x, 0.0) / cw);
    const double row = std::floor(std::max(y, 0.0) / ch) + yDisp;
    hit.grid.col = static_cast<int>(std::clamp(col, 0.0, static_cast<double>(std::max(cols - 1, 0))));
    hit.grid.row = static_cast<int>(std::clamp(row, 0.0, static_cast<double>(std::max<int64_t>(lines - 1, 0))));
    hit.pixelX = static_cast<int>(std::clamp(x, 0.0, std::max(boundsWidth, 0.0)));
    hit.pixelY = static_cast<int>(std::clamp(y, 0.0, std::max(boundsHeight, 0.0)));
    return hit;
}

int MouseReporter::wheelLines(double deltaY, int rows)
{
    if (deltaY == 0 || !std::isfinite(deltaY)) return 0;
    const double d = std::floor(std::fabs(deltaY));
    if (d <= 1) return 1;
    if (d <= 5) return 3;
    if (d <= 9) return 10;
    return std::max(rows, 20);
}

}  // namespace corvel
