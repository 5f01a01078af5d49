// The table-driven VT500-style parser that turns a host program's byte stream
// into calls on its terminal: print runs, C0/C1 controls, ESC, CSI, OSC, DCS
// and APC sequences.
//
// Input arrives in chunks of any size; the state and the buffers survive
// between chunks, so a sequence may be split anywhere and gives the same calls
// as when it arrives whole. The parse loop allocates nothing once its buffers
// have grown to the size of the sequences seen.
#pragma once

#include "corvel/parser/DcsHandler.h"
#include "corvel/parser/ParserHandler.h"
#include "corvel/parser/ParserState.h"
#include "corvel/parser/ParsingState.h"
#include "corvel/parser/TransitionTable.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace corvel {

class EscapeSequenceParser {
public:
    // OSC, APC and DCS strings longer than this are discarded up to their
    // terminator, as is an OSC or APC string the allocator finds no room
    // for; the same budget, in bytes, bounds the intermediates of one
    // sequence.
    static constexpr size_t kDefaultPayloadLimit = size_t{64} << 20;
    // Parameter values saturate at this.
    static constexpr int64_t kMaxParameter = 922337203685477570;
    // A sequence keeps this many parameters (sub-parameters included); the
    // ones after them are ignored.
    static constexpr size_t kMaxParameters = 1024;

    // `handler` is not owned and must outlive the parser; null gives the
    // interface's defaults (everything dropped, CSI named in the log).
    explicit EscapeSequenceParser(ParserHandler* handler = nullptr);
    EscapeSequenceParser(const EscapeSequenceParser&) = delete;
    EscapeSequenceParser& operator=(const EscapeSequenceParser&) = delete;

    // Consumes one chunk.
    void parse(std::span<const uint8_t> data);

    // Back to the initial state with empty buffers. An active DCS handler is
    // dropped without being unhooked; the separators are left as they are.
    void reset();

    // Decimal value of the leading digits of `data`; 0 for no digits, and
    // kMaxParameter for anything larger.
    static int64_t parseInt(std::span<const uint8_t> data);

    static TransitionTable buildVt500TransitionTable();

    // Lowers the string and parameter budget; for tests, which cannot afford
    // to feed the default 64 MiB.
    void setPayloadLimit(size_t bytes) { payloadLimit_ = bytes; }
    size_t payloadLimit() const { return payloadLimit_; }

    std::unique_ptr<DcsHandler> activeDcsHandler;
    ParserState initialState = ParserState::ground;
    ParserState currentState = ParserState::ground;

    std::vector<uint8_t> _osc;
    std::vector<uint8_t> _apc;
    std::vector<int64_t> _pars;
    // The separator between each pair of parameters, ';' or ':', in order:
    // tells sub-parameters from parameters.
    std::vector<uint8_t> _parsTxt;
    std::vector<uint8_t> _collect;

    TransitionTable table;

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
    // Opens the next parameter after `separator`; past kMaxParameters the
    // rest of the sequence's parameters are ignored.
    void addParameter(uint8_t separator);
    bool addCollect(uint8_t code);

    ParserHandler defaultHandler_;
    ParserHandler* handler_;
    size_t payloadLimit_ = kDefaultPayloadLimit;
    // The OSC or APC string being collected outgrew the budget (or the room
    // left) and is being skipped up to its terminator.
    bool stringOverflow_ = false;
    // The sequence reached kMaxParameters: further digits and separators are dropped.
    bool parametersFull_ = false;
    // Continuation bytes the UTF-8 character begun in a DCS, SOS or PM string
    // still needs: while it is above 0, 0x9C continues the character rather
    // than ending the string.
    uint8_t stringUtf8Pending_ = 0;
    // Payload bytes handed to the active DCS handler so far.
    size_t dcsBytes_ = 0;
};

}  // namespace corvel
