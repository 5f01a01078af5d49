// The parser's link to the terminal's command operations: execute, CSI, ESC
// and OSC dispatch by final byte or number, the choice of DCS handler, and the
// Kitty graphics entry for APC strings.
//
// The terminal's operations plug in here, one case per row of the dispatch
// tables, each returning true once the terminal took the sequence. Until they
// are connected every function answers "not handled", so the parser sends
// every sequence to its fallbacks just as it does when the terminal is gone.
#include "corvel/EscapeSequenceParser.h"

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

}  // namespace corvel
