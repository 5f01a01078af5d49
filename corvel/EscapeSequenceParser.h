// The table-driven VT500-style parser that turns a host program's byte stream
// into calls on its terminal: print runs, C0/C1 controls, ESC, CSI, OSC, DCS
// and APC sequences.
//
// Input arrives in chunks of any size; the state and the buffers survive
// between chunks, so a sequence may be split anywhere and gives the same calls
// as when it arrives whole. The parse loop allocates nothing once its buffers
// have grown to the size of the sequences seen.
#pragma once

#include "corvel/DcsHandler.h"
#include "corvel/ParserState.h"
#include "corvel/ParsingState.h"
#include "corvel/TransitionTable.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <unordered_map>
#include <vector>

namespace corvel {

class Terminal;
class EscapeSequenceParser;

// Where the parser's dispatchers reach the terminal's operations. Each returns
// whether the terminal handled the sequence; when it did not, the parser calls
// the matching fallback. They are defined in EscapeSequenceParserDispatch.cpp.
bool dispatchExecuteToTerminal(Terminal& terminal, uint8_t code);
bool dispatchCsiToTerminal(Terminal& terminal, uint8_t code, std::span<const int64_t> pars,
                           std::span<const uint8_t> collect);
bool dispatchEscToTerminal(Terminal& terminal, std::span<const uint8_t> collect, uint8_t code);
bool dispatchOscToTerminal(Terminal& terminal, int64_t code, std::span<const uint8_t> data);
// The handler for a DCS string with these intermediates and final byte, or
// none when the terminal does not take such strings.
std::unique_ptr<DcsHandler> dcsHandlerFor(Terminal& terminal, std::span<const uint8_t> collect, uint8_t final);
// An APC string whose command byte is 'G'; `bytes` is the rest of the string.
bool kittyGraphics(Terminal& terminal, std::span<const uint8_t> bytes);

class EscapeSequenceParser {
public:
    using PrintHandler = std::function<void(std::span<const uint8_t> data)>;
    using PrintStateReset = std::function<void()>;
    using OscHandler = std::function<void(std::span<const uint8_t> data)>;
    using ErrorHandler = std::function<ParsingState(ParsingState state)>;
    using EscFallback = std::function<void(std::span<const uint8_t> collect, uint8_t code)>;
    using DcsFallback = std::function<void(uint8_t code, std::span<const int64_t> pars)>;
    using ExecuteFallback = std::function<void()>;
    using CsiFallback =
        std::function<void(std::span<const int64_t> pars, std::span<const uint8_t> collect, uint8_t code)>;
    using OscFallback = std::function<void(int64_t code, std::span<const uint8_t> data)>;
    using ApcFallback = std::function<void(uint8_t command, std::span<const uint8_t> content)>;

    // OSC, APC and DCS strings longer than this are discarded up to their
    // terminator; the same budget, in bytes, bounds the parameter list and the
    // intermediates of one sequence.
    static constexpr size_t kDefaultPayloadLimit = size_t{64} << 20;
    // Parameter values above this are reset to 0.
    static constexpr int64_t kMaxParameter = 922337203685477570;

    // `terminal` is not owned; null means the terminal is gone, and every
    // dispatch then goes to the fallbacks.
    explicit EscapeSequenceParser(Terminal* terminal = nullptr);
    EscapeSequenceParser(const EscapeSequenceParser&) = delete;
    EscapeSequenceParser& operator=(const EscapeSequenceParser&) = delete;

    // Consumes one chunk.
    void parse(std::span<const uint8_t> data);

    // Back to the initial state with empty buffers. An active DCS handler is
    // dropped without being unhooked; the separators are left as they are.
    void reset();

    // Decimal value of the leading digits of `data`; 0 for no digits and for
    // values of 922337203685477571 or more.
    static int64_t parseInt(std::span<const uint8_t> data);

    static TransitionTable buildVt500TransitionTable();

    // Lowers the string and parameter budget; for tests, which cannot afford
    // to feed the default 64 MiB.
    void setPayloadLimit(size_t bytes) { payloadLimit_ = bytes; }
    size_t payloadLimit() const { return payloadLimit_; }

    // OSC handlers registered by number; they win over the built-in commands.
    std::unordered_map<int64_t, OscHandler> oscHandlers;
    std::unique_ptr<DcsHandler> activeDcsHandler;
    ErrorHandler errorHandler;
    Terminal* terminal = nullptr;
    ParserState initialState = ParserState::ground;
    ParserState currentState = ParserState::ground;

    std::vector<uint8_t> _osc;
    std::vector<uint8_t> _apc;
    std::vector<int64_t> _pars;
    // The separator between each pair of parameters, ';' or ':', in order:
    // tells sub-parameters from parameters.
    std::vector<uint8_t> _parsTxt;
    std::vector<uint8_t> _collect;

    PrintHandler printHandler;
    PrintStateReset printStateReset;
    TransitionTable table;

    EscFallback escHandlerFallback;
    DcsFallback dscHandlerFallback;  // kept for the terminal's use; the parser never calls it
    ExecuteFallback executeHandlerFallback;  // likewise never called by the parser
    CsiFallback csiHandlerFallback;
    OscFallback oscHandlerFallback;
    ApcFallback apcHandlerFallback;

    void dispatchExecute(uint8_t code);
    void dispatchCsi(uint8_t code, std::span<const int64_t> pars, std::span<const uint8_t> collect);
    void dispatchEsc(std::span<const uint8_t> collect, uint8_t code);
    void dispatchOsc(int64_t code, std::span<const uint8_t> data);

private:
    void clearSequence();
    void resetParameters();
    void appendStringBytes(std::vector<uint8_t>& buffer, const uint8_t* begin, const uint8_t* end);
    size_t putString(std::vector<uint8_t>& buffer, const uint8_t* bytes, size_t i, size_t length);
    void endString(ParserState state, uint8_t terminator);
    void putDcs(std::span<const uint8_t> data);
    void hookDcs(uint8_t final);
    bool addParameter();
    bool addCollect(uint8_t code);

    size_t payloadLimit_ = kDefaultPayloadLimit;
    // The OSC or APC string being collected outgrew the budget and is being
    // skipped up to its terminator.
    bool stringOverflow_ = false;
    // Continuation bytes the UTF-8 character begun in a DCS, SOS or PM string
    // still needs: while it is above 0, 0x9C continues the character rather
    // than ending the string.
    uint8_t stringUtf8Pending_ = 0;
    // Payload bytes handed to the active DCS handler so far.
    size_t dcsBytes_ = 0;
};

}  // namespace corvel
