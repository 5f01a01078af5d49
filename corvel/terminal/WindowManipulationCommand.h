// A window manipulation request of the program in the terminal, offered to the
// host, which may act on it and may answer with reply bytes.
#pragma once

#include <cstdint>

namespace corvel {

struct WindowManipulationCommand {
    enum class Kind : uint8_t {
        // Cases that carry values.
        moveWindowTo,    // x, y in pixels
        resizeWindowTo,  // width, height in pixels
        resizeTo,        // cols, rows
        resizeTerminal,  // cols, rows
        resizeToLines,   // lines
        // Plain cases.
        deiconifyWindow,
        iconifyWindow,
        bringToFront,
        sendToBack,
        refreshWindow,
        restoreMaximizedWindow,
        maximizeWindow,
        maximizeWindowVertically,
        maximizeWindowHorizontally,
        undoFullScreen,
        switchToFullScreen,
        toggleFullScreen,
        reportTerminalState,
        reportTerminalPosition,
        reportTextAreaPosition,
        reportTextAreaPixelDimension,
        reportTerminalWindowPixelDimension,
        reportSizeOfScreenInPixels,
        reportCellSizeInPixels,
        reportTextAreaCharacters,
        reportScreenSizeCharacters,
        reportIconLabel,
        reportWindowTitle,
    };

    Kind kind = Kind::refreshWindow;
    // Only the values of `kind` are meaningful; the others stay 0.
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    int cols = 0;
    int rows = 0;
    int lines = 0;

    static WindowManipulationCommand moveWindowTo(int x, int y)
    {
        WindowManipulationCommand c{Kind::moveWindowTo};
        c.x = x;
        c.y = y;
        return c;
    }
    static WindowManipulationCommand resizeWindowTo(int width, int height)
    {
        WindowManipulationCommand c{Kind::resizeWindowTo};
        c.width = width;
        c.height = height;
        return c;
    }
    static WindowManipulationCommand resizeTo(int cols, int rows)
    {
        WindowManipulationCommand c{Kind::resizeTo};
        c.cols = cols;
        c.rows = rows;
        return c;
    }
    static WindowManipulationCommand resizeTerminal(int cols, int rows)
    {
        WindowManipulationCommand c{Kind::resizeTerminal};
        c.cols = cols;
        c.rows = rows;
        return c;
    }
    static WindowManipulationCommand resizeTo(int lines)
    {
        WindowManipulationCommand c{Kind::resizeToLines};
        c.lines = lines;
        return c;
    }
    // One of the plain cases.
    static WindowManipulationCommand plain(Kind kind) { return WindowManipulationCommand{kind}; }

    bool operator==(const WindowManipulationCommand&) const = default;
};

}  // namespace corvel
