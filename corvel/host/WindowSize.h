// The size a host gives a pseudo-terminal: rows and columns, and the window's
// width and height in pixels (0 when unknown). A plain value; the process
// host turns it into the system's window-size record.
#pragma once

#include <cstdint>

namespace corvel {

struct WindowSize {
    uint16_t rows = 0;
    uint16_t cols = 0;
    uint16_t pixelWidth = 0;
    uint16_t pixelHeight = 0;

    bool operator==(const WindowSize&) const = default;
};

}  // namespace corvel
