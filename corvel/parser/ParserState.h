// The states of the control-sequence parser's state machine.
#pragma once

#include <cstdint>
#include <string_view>

namespace corvel {

enum class ParserState : uint8_t {
    ground = 0,
    escape = 1,
    escapeIntermediate = 2,
    csiEntry = 3,
    csiParam = 4,
    csiIntermediate = 5,
    csiIgnore = 6,
    sosPmApcString = 7,
    oscString = 8,
    apcString = 9,
    dcsEntry = 10,
    dcsParam = 11,
    dcsIgnore = 12,
    dcsIntermediate = 13,
    dcsPassthrough = 14,
};

// Raw values above the last state decode as 15, a value that names no state
// and is never stored by the parser.
constexpr uint8_t kInvalidParserState = 15;

constexpr ParserState parserStateFromRaw(unsigned raw)
{
    return static_cast<ParserState>(raw < kInvalidParserState ? raw : kInvalidParserState);
}

constexpr std::string_view toString(ParserState state)
{
    switch (state) {
    case ParserState::ground: return "ground";
    case ParserState::escape: return "escape";
    case ParserState::escapeIntermediate: return "escapeIntermediate";
    case ParserState::csiEntry: return "csiEntry";
    case ParserState::csiParam: return "csiParam";
    case ParserState::csiIntermediate: return "csiIntermediate";
    case ParserState::csiIgnore: return "csiIgnore";
    case ParserState::sosPmApcString: return "sosPmApcString";
    case ParserState::oscString: return "oscString";
    case ParserState::apcString: return "apcString";
    case ParserState::dcsEntry: return "dcsEntry";
    case ParserState::dcsParam: return "dcsParam";
    case ParserState::dcsIgnore: return "dcsIgnore";
    case ParserState::dcsIntermediate: return "dcsIntermediate";
    case ParserState::dcsPassthrough: return "dcsPassthrough";
    }
    return "invalid";
}

}  // namespace corvel
