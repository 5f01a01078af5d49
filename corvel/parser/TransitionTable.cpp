#include "corvel/parser/TransitionTable.h"

namespace corvel {

std::vector<uint8_t> TransitionTable::r(unsigned low, unsigned high)
{
    std::vector<uint8_t> codes;
    for (unsigned code = low; code < high; ++code) codes.push_back(static_cast<uint8_t>(code));
    return codes;
}

std::vector<ParserState> TransitionTable::rinclusive(ParserState low, ParserState high)
{
    std::vector<ParserState> states;
    for (unsigned s = static_cast<unsigned>(low); s <= static_cast<unsigned>(high); ++s) {
        states.push_back(static_cast<ParserState>(s));
    }
    return states;
}

}  // namespace corvel
