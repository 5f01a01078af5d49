// How a terminal is configured when it is created.
#pragma once

#include "corvel/screen/Ansi256PaletteStrategy.h"
#include "corvel/terminal/CursorStyle.h"

#include <cstdint>
#include <string>

namespace corvel {

struct TerminalOptions {
    int cols = 80;
    int rows = 25;
    bool convertEol = false;  // a line feed also returns the carriage
    std::string termName = "xterm-256color";
    CursorStyle cursorStyle = CursorStyle::blinkBlock;
    bool screenReaderMode = false;
    int scrollback = 500;  // lines of history of the normal buffer
    int tabStopWidth = 8;
    bool enableSixelReported = true;  // whether the device attributes announce sixel
    int64_t kittyImageCacheLimitBytes = 335544320;  // 320 MiB
    // Kitty placements kept at most (records, with their line images); past
    // it the oldest go. At least 1.
    int64_t kittyPlacementLimit = 4096;
    // Bytes the images on the lines of both buffers (the history included)
    // hold at most; past it the oldest pictures go, the newest one last.
    int64_t lineImageLimitBytes = 335544320;  // 320 MiB
    Ansi256PaletteStrategy ansi256PaletteStrategy = Ansi256PaletteStrategy::base16Lab;

    // Every field at its default.
    static TerminalOptions defaultOptions() { return TerminalOptions{}; }

    bool operator==(const TerminalOptions&) const = default;
};

}  // namespace corvel
