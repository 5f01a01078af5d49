// The parser's flat transition table: one byte per (state, input byte) pair,
// holding the action to perform and the state to go to next.
#pragma once

#include "corvel/parser/ParserState.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace corvel {

enum class ParserAction : uint8_t {
    ignore = 0,
    error = 1,
    print = 2,
    execute = 3,
    oscStart = 4,  // also starts APC strings: the next state picks the buffer
    oscPut = 5,
    oscEnd = 6,
    csiDispatch = 7,
    param = 8,
    collect = 9,
    escDispatch = 10,
    clear = 11,
    dcsHook = 12,
    dcsPut = 13,
    dcsUnhook = 14,
};

class TransitionTable {
public:
    // Every byte from 0xA0 up shares the entry of 0xA0, so the highest index
    // in use is dcsPassthrough * 256 + 0xA0.
    static constexpr size_t kSize = 4095;
    static constexpr uint8_t kHighByte = 0xA0;

    // Entry = action * 16 + next state; all entries start as 0.
    std::array<uint8_t, kSize> table{};

    void add(uint8_t code, ParserState state, ParserAction action, ParserState next)
    {
        table[index(state, code)] = static_cast<uint8_t>(static_cast<unsigned>(action) << 4 | static_cast<unsigned>(next));
    }

    void add(std::span<const uint8_t> codes, ParserState state, ParserAction action, ParserState next)
    {
        for (uint8_t code : codes) add(code, state, action, next);
    }

    uint8_t entry(ParserState state, uint8_t code) const { return table[index(state, code)]; }

    static size_t index(ParserState state, uint8_t code)
    {
        return static_cast<size_t>(state) * 256 + (code < kHighByte ? code : kHighByte);
    }
    static ParserAction actionOf(uint8_t entry) { return static_cast<ParserAction>(entry >> 4); }
    static ParserState nextOf(uint8_t entry) { return static_cast<ParserState>(entry & 0x0F); }

    // Code lists for building the table: the codes from `low` up to but not
    // including `high`, and the states from `low` through `high`.
    static std::vector<uint8_t> r(unsigned low, unsigned high);
    static std::vector<ParserState> rinclusive(ParserState low, ParserState high);
};

}  // namespace corvel
