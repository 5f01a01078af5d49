// The parts of a Terminal that only its own implementation files (and white-box
// tests) see: the parser, the print path's held-back input, the throttle of
// the log lines a program's output causes, the synchronized-output timeout,
// the Kitty image state, and the DECRQSS request handler. Kept out of
// Terminal.h so that its includers, the view among them, do not compile the
// parser and the image internals.
//
// The terminal owns one Internals for its whole life and reaches its parts
// through the reference members Terminal.h declares; everything runs on the
// terminal's thread.
#pragma once

#include "corvel/terminal/Terminal.h"

#include "corvel/kitty/KittyGraphicsState.h"
#include "corvel/kitty/KittyPlacementContext.h"
#include "corvel/parser/DcsHandler.h"
#include "corvel/parser/EscapeSequenceParser.h"
#include "corvel/platform/Dispatch.h"
#include "corvel/platform/LogThrottle.h"
#include "corvel/terminal/ReadingBuffer.h"

#include <optional>
#include <vector>

namespace corvel {

struct Terminal::Internals {
    explicit Internals(ParserHandler* handler) : parser(handler) {}

    EscapeSequenceParser parser;
    ReadingBuffer readingBuffer;
    // Holds back repeats of every log line a program's output causes, so
    // that a program repeating a sequence cannot make the log the bottleneck
    // of its output (and of every terminal on the same thread). Its window
    // counts on the main queue's clock, the clock of the terminal's other
    // timed work.
    LogThrottle diagnostics;
    DispatchWorkItemPtr synchronizedOutputTimeoutItem;
    KittyGraphicsState kittyGraphicsState;
    std::optional<KittyPlacementContext> kittyPlacementContext;
};

// DCS $ q: the request for a setting report. Collects the payload and
// answers when the string ends.
class Terminal::DECRQSS final : public DcsHandler {
public:
    explicit DECRQSS(Terminal& terminal) : terminal_(&terminal) {}
    void hook(std::span<const uint8_t> collect, std::span<const int64_t> parameters, uint8_t flag) override;
    void put(std::span<const uint8_t> data) override;
    void unhook() override;

    std::vector<uint8_t> data;

private:
    Terminal* terminal_;  // not owned; the parser drops this handler before the terminal goes
};

}  // namespace corvel
