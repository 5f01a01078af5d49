// The one interface through which the parser reaches whoever consumes its
// calls: the terminal in the library, a recorder in tests and fuzz targets.
//
// Every method has a default: a parser whose handler overrides nothing drops
// everything except CSI sequences, which it names in one log line. The parser
// does not own its handler and calls it on the thread that calls parse().
#pragma once

#include "corvel/parser/DcsHandler.h"
#include "corvel/parser/ParsingState.h"

#include <cstdint>
#include <memory>
#include <span>

namespace corvel {

class ParserHandler {
public:
    virtual ~ParserHandler() = default;

    // A run of printable bytes (UTF-8 text as it arrived, cut anywhere).
    virtual void print(std::span<const uint8_t> data);
    // A control sequence, string or reset began: text decoding state that
    // spans print runs (a cut UTF-8 sequence) must be dropped.
    virtual void printStateReset();
    // A C0 or C1 control.
    virtual void execute(uint8_t code);
    // CSI with its parameters (sub-parameters flattened; the parser's
    // `_parsTxt` tells ':' from ';') and intermediates, final byte 0x40-0x7E.
    virtual void csiDispatch(uint8_t code, std::span<const int64_t> pars, std::span<const uint8_t> collect);
    virtual void escDispatch(std::span<const uint8_t> collect, uint8_t code);
    // OSC by its leading number; `data` is what follows the first ';'.
    virtual void oscDispatch(int64_t code, std::span<const uint8_t> data);
    // APC string: its first byte and the rest.
    virtual void apcDispatch(uint8_t command, std::span<const uint8_t> content);
    // The handler for a DCS string with these intermediates and final byte,
    // or none, which drops the string.
    virtual std::unique_ptr<DcsHandler> dcsHook(std::span<const uint8_t> collect, uint8_t final);
    // A byte the table marks as an error; returning with `abort` set stops
    // the chunk and restores the state it began in.
    virtual ParsingState parseError(ParsingState state);
};

}  // namespace corvel
