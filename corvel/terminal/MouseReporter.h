// When a view's primary-button and pointer events become mouse reports for
// the program, and which button and modifier bits they carry. The view turns
// its events into cells and calls these; a call that returns true consumed
// the event (it was reported, or the mode swallows it), so the view does not
// select. Encoding and sending are the terminal's (encodeButton, sendEvent,
// sendMotion).
//
//   mode        press   release   drag (button held)   move (no button)
//   off         -       -         -  (selects)          -
//   x10         yes     -         swallowed             -
//   vt200       yes     yes       swallowed             -
//   1002        yes     yes       yes, +32              -
//   1003        yes     yes       yes, +32              yes, 3 + 32
//
// A release or drag is reported only after a reported press, so the program
// never sees a lone half of a click. A Ctrl+click that opens a link sends
// nothing: its press is held back and its release opens the link.
//
// The wheel only scrolls the view; `wheelLines` gives how far.
//
// Main thread only; the view keeps the terminal alive for the reporter's life.
#pragma once

#include "corvel/screen/Position.h"

#include <cstdint>

namespace corvel {

class Terminal;

class MouseReporter {
public:
    struct Modifiers {
        bool shift = false;
        bool alt = false;
        bool control = false;
    };

    // A pointer position: the cell (column and absolute buffer row) and the
    // pixel within the view (top-left origin).
    struct Hit {
        Position grid;
        int pixelX = 0;
        int pixelY = 0;
    };

    explicit MouseReporter(Terminal& terminal) : terminal_(terminal) {}

    // The view's switch for reporting; off, every click selects.
    bool allowMouseReporting = true;

    // Whether the program takes primary-button clicks now.
    bool reportsClicks() const;

    // `opensLink`: Control is held and a link lies under the pointer.
    bool press(const Hit& hit, Modifiers modifiers, bool opensLink);
    // Call when the release did not open a link.
    bool release(const Hit& hit, Modifiers modifiers);
    bool drag(const Hit& hit, Modifiers modifiers);
    // Pointer motion with no button held.
    bool move(const Hit& hit, Modifiers modifiers);

    // The screen row of an absolute buffer row, clamped to the screen.
    int screenRow(int bufferRow) const;

    // The cell and pixel under a point of a view with a top-left origin.
    // Columns are clamped to the screen, rows to the lines of the buffer
    // shown (from `yDisp` on), pixels to the bounds.
    static Hit hitTest(double x, double y, double cellWidth, double cellHeight, double boundsWidth,
                       double boundsHeight, int cols, int yDisp, int64_t lines);

    // Lines that one wheel event scrolls for a vertical delta (in notches):
    // 1 up to 1, 3 up to 5, 10 up to 9, then max(rows, 20); 0 for no delta.
    static int wheelLines(double deltaY, int rows);

private:
    void send(int flags, const Hit& hit, bool motion);

    Terminal& terminal_;
    bool pressReported_ = false;
};

}  // namespace corvel
