// A headless host whose cells are 10×20 pixels: the window size it reports to
// the program carries the pixel size of its grid, and the terminal is told the
// same cell size, so image programs size their output for known cells. Test
// hosts that record or insert images derive from it. Single-threaded, like the
// HeadlessTerminal it extends.
#pragma once

#include "corvel/host/HeadlessTerminal.h"

#include <optional>
#include <utility>

namespace corvel::testing {

class PixelCellHost : public HeadlessTerminal {
public:
    static constexpr int cellWidth = 10;
    static constexpr int cellHeight = 20;

    explicit PixelCellHost(EndCallback onEnd) : HeadlessTerminal(std::move(onEnd)) {}

    WindowSize getWindowSize() override
    {
        WindowSize size = HeadlessTerminal::getWindowSize();
        size.pixelWidth = static_cast<unsigned short>(size.cols * cellWidth);
        size.pixelHeight = static_cast<unsigned short>(size.rows * cellHeight);
        return size;
    }
    std::optional<CellSize> cellSizeInPixels(Terminal&) override { return CellSize{cellWidth, cellHeight}; }
};

}  // namespace corvel::testing
