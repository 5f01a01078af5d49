// Where the parser and the host-callback defaults reach into the terminal:
// execute, CSI, ESC and OSC dispatch by final byte or number, the choice of
// DCS handler, the Kitty graphics entry for APC strings, and the host defaults
// that write the terminal's own colour properties.
//
// The terminal's operations plug in here, one case per row of the dispatch
// tables, each returning true once the terminal took the sequence. Until they
// are connected every function answers "not handled", so the parser sends
// every sequence to its fallbacks just as it does when the terminal is gone,
// and the colour defaults leave the terminal as it is.
#include "corvel/EscapeSequenceParser.h"
#include "corvel/TerminalDelegate.h"

namespace corvel {

bool dispatchExecuteToTerminal(Terminal& /*terminal*/, uint8_t /*code*/)
{
    return false;
}

bool dispatchCsiToTerminal(Terminal& /*terminal*/, uint8_t /*code*/, std::span<const int64_t> /*pars*/,
                           std::span<const uint8_t> /*collect*/)
{
    return false;
}

bool dispatchEscToTerminal(Terminal& /*terminal*/, std::span<const uint8_t> /*collect*/, uint8_t /*code*/)
{
    return false;
}

bool dispatchOscToTerminal(Terminal& /*terminal*/, int64_t /*code*/, std::span<const uint8_t> /*data*/)
{
    return false;
}

std::unique_ptr<DcsHandler> dcsHandlerFor(Terminal& /*terminal*/, std::span<const uint8_t> /*collect*/,
                                          uint8_t /*final*/)
{
    return nullptr;
}

bool kittyGraphics(Terminal& /*terminal*/, std::span<const uint8_t> /*bytes*/)
{
    return false;
}

// Host defaults: the setters store the colour in the terminal's
// foregroundColor, backgroundColor or cursorColor; getColors answers the
// terminal's foregroundColor and backgroundColor.

void TerminalDelegate::setForegroundColor(Terminal& /*source*/, const Color& /*color*/) {}

void TerminalDelegate::setBackgroundColor(Terminal& /*source*/, const Color& /*color*/) {}

void TerminalDelegate::setCursorColor(Terminal& /*source*/, const std::optional<Color>& /*color*/) {}

std::pair<Color, Color> TerminalDelegate::getColors(Terminal& /*source*/)
{
    return {Color::defaultForeground, Color::defaultBackground};
}

}  // namespace corvel
