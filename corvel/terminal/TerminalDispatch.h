// The terminal's dispatch tables, behind its parser calls: each takes one
// sequence to the terminal operation that handles it and returns whether one
// did. Internal to the terminal layer; the bodies are in
// EscapeSequenceParserDispatch.cpp. Main thread, like the terminal.
#pragma once

#include "corvel/parser/DcsHandler.h"

#include <cstdint>
#include <memory>
#include <span>

namespace corvel {

class Terminal;

bool dispatchExecuteToTerminal(Terminal& terminal, uint8_t code);
bool dispatchCsiToTerminal(Terminal& terminal, uint8_t code, std::span<const int64_t> pars,
                           std::span<const uint8_t> collect);
bool dispatchEscToTerminal(Terminal& terminal, std::span<const uint8_t> collect, uint8_t code);
bool dispatchOscToTerminal(Terminal& terminal, int64_t code, std::span<const uint8_t> data);
// The handler for a DCS string with these intermediates and final byte, or
// none when the terminal does not take such strings.
std::unique_ptr<DcsHandler> dcsHandlerFor(Terminal& terminal, std::span<const uint8_t> collect, uint8_t final);

}  // namespace corvel
