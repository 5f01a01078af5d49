// The snapshot of the parser that its error handler receives when the
// transition table reports an error.
#pragma once

#include "corvel/parser/ParserState.h"

#include <cstdint>
#include <string>
#include <vector>

namespace corvel {

struct ParsingState {
    size_t position = 0;  // index of the offending byte in the chunk
    uint8_t code = 0;     // the offending byte
    ParserState currentState = ParserState::ground;
    long print = -1;  // start of the pending print run in the chunk, or -1
    long dcs = -1;    // start of the pending DCS payload in the chunk, or -1
    std::vector<uint8_t> osc;
    std::vector<uint8_t> apc;
    std::vector<uint8_t> collect;
    std::vector<int64_t> parameters;  // left empty by the parser
    bool abort = false;               // set by a handler to stop parsing the chunk
};

// A one-line description for log messages. Buffers print as lists of decimal
// values; long buffers are cut after their first bytes.
std::string toString(const ParsingState& state);

}  // namespace corvel
