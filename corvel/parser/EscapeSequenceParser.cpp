#include "corvel/parser/EscapeSequenceParser.h"

#include "corvel/platform/Log.h"
#include "corvel/platform/Trace.h"

#include <cstring>
#include <new>
#include <string>
#include <utility>

namespace corvel {

namespace {

using S = ParserState;
using A = ParserAction;

constexpr uint8_t BEL = 0x07;
constexpr uint8_t CAN = 0x18;
constexpr uint8_t SUB = 0x1A;
constexpr uint8_t ESC = 0x1B;

// A string buffer grown past this by one long OSC or APC string is given back
// once the string is done, so one huge title does not pin its memory.
constexpr size_t kRetainedStringCapacity = size_t{1} << 20;
// Likewise for the intermediates of one sequence.
constexpr size_t kRetainedCollectCapacity = size_t{4} << 10;

// The next decimal digit appended to a parameter, saturating.
inline int64_t appendDigit(int64_t value, uint8_t digit)
{
    const int64_t next = value * 10 + (digit - '0');
    return next > EscapeSequenceParser::kMaxParameter ? EscapeSequenceParser::kMaxParameter : next;
}

// Index of the first byte at or below 0x1F from `i` on, or `length`.
// Scans eight bytes at a time: a word holds a byte below 0x20 exactly when
// (w - 0x20 in every byte) & ~w has a high bit set.
inline size_t skipPrintable(const uint8_t* bytes, size_t i, size_t length)
{
    constexpr uint64_t kOnes = 0x0101010101010101ULL;
    constexpr uint64_t kHigh = 0x8080808080808080ULL;
    while (i + 8 <= length) {
        uint64_t word;
        std::memcpy(&word, bytes + i, sizeof word);
        if (((word - kOnes * 0x20) & ~word & kHigh) != 0) break;
        i += 8;
    }
    while (i < length && bytes[i] > 0x1F) ++i;
    return i;
}

// The continuation bytes a UTF-8 character still needs after `code`, given
// that it needed `pending` before it.
inline uint8_t utf8ContinuationsAfter(uint8_t code, uint8_t pending)
{
    if (code >= 0x80 && code <= 0xBF) return pending > 0 ? pending - 1 : 0;
    if (code >= 0xC2 && code <= 0xDF) return 1;
    if (code >= 0xE0 && code <= 0xEF) return 2;
    if (code >= 0xF0 && code <= 0xF4) return 3;
    return 0;
}

inline bool isStringState(ParserState state)
{
    return state == S::oscString || state == S::apcString;
}

inline bool endsString(uint8_t code)
{
    return code == BEL || code == CAN || code == ESC;
}

void releaseBuffer(std::vector<uint8_t>& buffer)
{
    std::vector<uint8_t>().swap(buffer);
}

}  // namespace

EscapeSequenceParser::EscapeSequenceParser(ParserHandler* handler)
    : _pars{0}, table(buildVt500TransitionTable()), handler_(handler ? handler : &defaultHandler_)
{
}

TransitionTable EscapeSequenceParser::buildVt500TransitionTable()
{
    TransitionTable t;
    const auto states = TransitionTable::rinclusive(S::ground, S::dcsPassthrough);
    const auto printables = TransitionTable::r(0x20, 0x7F);
    auto executables = TransitionTable::r(0x00, 0x19);
    for (uint8_t code : TransitionTable::r(0x1C, 0x20)) executables.push_back(code);
    auto add = [&t](auto codes, ParserState state, ParserAction action, ParserState next) {
        t.add(codes, state, action, next);
    };
    auto addOne = [&t](unsigned code, ParserState state, ParserAction action, ParserState next) {
        t.add(static_cast<uint8_t>(code), state, action, next);
    };

    // Everything not named below is an error that returns to ground.
    for (ParserState state : states) add(std::span<const uint8_t>(TransitionTable::r(0x00, 0xA1)), state, A::error, S::ground);

    add(std::span<const uint8_t>(printables), S::ground, A::print, S::ground);

    // The entries valid in every state.
    for (ParserState state : states) {
        for (unsigned code : {0x18u, 0x1Au, 0x99u, 0x9Au}) addOne(code, state, A::execute, S::ground);
        add(std::span<const uint8_t>(TransitionTable::r(0x80, 0x90)), state, A::execute, S::ground);
        add(std::span<const uint8_t>(TransitionTable::r(0x90, 0x98)), state, A::execute, S::ground);
        addOne(0x9C, state, A::ignore, S::ground);
        addOne(0x1B, state, A::clear, S::escape);
        addOne(0x9D, state, A::oscStart, S::oscString);
        addOne(0x98, state, A::ignore, S::sosPmApcString);
        addOne(0x9E, state, A::ignore, S::sosPmApcString);
        addOne(0x9F, state, A::oscStart, S::apcString);
        addOne(0x9B, state, A::clear, S::csiEntry);
        addOne(0x90, state, A::clear, S::dcsEntry);
    }
    const std::span<const uint8_t> E(executables);
    auto range = [](unsigned low, unsigned high) { return TransitionTable::r(low, high); };

    // ground
    add(E, S::ground, A::execute, S::ground);

    // escape
    add(E, S::escape, A::execute, S::escape);
    addOne(0x7F, S::escape, A::ignore, S::escape);
    add(std::span<const uint8_t>(range(0x30, 0x50)), S::escape, A::escDispatch, S::ground);
    add(std::span<const uint8_t>(range(0x51, 0x58)), S::escape, A::escDispatch, S::ground);
    for (unsigned code : {0x59u, 0x5Au, 0x5Cu}) addOne(code, S::escape, A::escDispatch, S::ground);
    add(std::span<const uint8_t>(range(0x60, 0x7F)), S::escape, A::escDispatch, S::ground);
    addOne(0x50, S::escape, A::clear, S::dcsEntry);
    addOne(0x5B, S::escape, A::clear, S::csiEntry);
    addOne(0x5D, S::escape, A::oscStart, S::oscString);
    addOne(0x58, S::escape, A::ignore, S::sosPmApcString);
    addOne(0x5E, S::escape, A::ignore, S::sosPmApcString);
    addOne(0x5F, S::escape, A::oscStart, S::apcString);
    add(std::span<const uint8_t>(range(0x20, 0x30)), S::escape, A::collect, S::escapeIntermediate);

    // escapeIntermediate
    add(E, S::escapeIntermediate, A::execute, S::escapeIntermediate);
    add(std::span<const uint8_t>(range(0x20, 0x30)), S::escapeIntermediate, A::collect, S::escapeIntermediate);
    addOne(0x7F, S::escapeIntermediate, A::ignore, S::escapeIntermediate);
    add(std::span<const uint8_t>(range(0x30, 0x7F)), S::escapeIntermediate, A::escDispatch, S::ground);

    // csiEntry
    add(E, S::csiEntry, A::execute, S::csiEntry);
    addOne(0x7F, S::csiEntry, A::ignore, S::csiEntry);
    add(std::span<const uint8_t>(range(0x40, 0x7F)), S::csiEntry, A::csiDispatch, S::ground);
    add(std::span<const uint8_t>(range(0x30, 0x3A)), S::csiEntry, A::param, S::csiParam);
    addOne(0x3B, S::csiEntry, A::param, S::csiParam);
    add(std::span<const uint8_t>(range(0x3C, 0x40)), S::csiEntry, A::collect, S::csiParam);
    add(std::span<const uint8_t>(range(0x20, 0x30)), S::csiEntry, A::collect, S::csiIntermediate);
    // A sequence that opens with a sub-parameter separator means nothing: it
    // is ignored up to its final byte.
    addOne(0x3A, S::csiEntry, A::ignore, S::csiIgnore);

    // csiParam: ':' is a separator here, not an error
    add(E, S::csiParam, A::execute, S::csiParam);
    add(std::span<const uint8_t>(range(0x30, 0x3C)), S::csiParam, A::param, S::csiParam);
    addOne(0x7F, S::csiParam, A::ignore, S::csiParam);
    add(std::span<const uint8_t>(range(0x40, 0x7F)), S::csiParam, A::csiDispatch, S::ground);
    add(std::span<const uint8_t>(range(0x3C, 0x40)), S::csiParam, A::ignore, S::csiIgnore);
    add(std::span<const uint8_t>(range(0x20, 0x30)), S::csiParam, A::collect, S::csiIntermediate);

    // csiIgnore
    add(E, S::csiIgnore, A::execute, S::csiIgnore);
    add(std::span<const uint8_t>(range(0x20, 0x40)), S::csiIgnore, A::ignore, S::csiIgnore);
    addOne(0x7F, S::csiIgnore, A::ignore, S::csiIgnore);
    add(std::span<const uint8_t>(range(0x40, 0x7F)), S::csiIgnore, A::ignore, S::ground);

    // csiIntermediate
    add(E, S::csiIntermediate, A::execute, S::csiIntermediate);
    add(std::span<const uint8_t>(range(0x20, 0x30)), S::csiIntermediate, A::collect, S::csiIntermediate);
    addOne(0x7F, S::csiIntermediate, A::ignore, S::csiIntermediate);
    add(std::span<const uint8_t>(range(0x40, 0x7F)), S::csiIntermediate, A::csiDispatch, S::ground);
    add(std::span<const uint8_t>(range(0x30, 0x40)), S::csiIntermediate, A::ignore, S::csiIgnore);

    // sosPmApcString: swallowed up to ST
    add(E, S::sosPmApcString, A::ignore, S::sosPmApcString);
    add(std::span<const uint8_t>(range(0x20, 0x80)), S::sosPmApcString, A::ignore, S::sosPmApcString);
    addOne(0x9C, S::sosPmApcString, A::ignore, S::ground);

    // oscString and apcString
    for (ParserState state : {S::oscString, S::apcString}) {
        add(std::span<const uint8_t>(range(0x00, 0x07)), state, A::ignore, state);
        add(std::span<const uint8_t>(range(0x08, 0x18)), state, A::ignore, state);
        add(std::span<const uint8_t>(range(0x1C, 0x20)), state, A::ignore, state);
        add(std::span<const uint8_t>(range(0x20, 0x80)), state, A::oscPut, state);
        for (unsigned code : {0x07u, 0x18u, 0x1Au, 0x1Bu, 0x9Cu}) addOne(code, state, A::oscEnd, S::ground);
        addOne(0xA0, state, A::oscPut, state);
    }

    // dcsEntry
    add(E, S::dcsEntry, A::ignore, S::dcsEntry);
    addOne(0x7F, S::dcsEntry, A::ignore, S::dcsEntry);
    add(std::span<const uint8_t>(range(0x20, 0x30)), S::dcsEntry, A::collect, S::dcsIntermediate);
    addOne(0x3A, S::dcsEntry, A::ignore, S::dcsIgnore);
    add(std::span<const uint8_t>(range(0x30, 0x3A)), S::dcsEntry, A::param, S::dcsParam);
    addOne(0x3B, S::dcsEntry, A::param, S::dcsParam);
    add(std::span<const uint8_t>(range(0x3C, 0x40)), S::dcsEntry, A::collect, S::dcsParam);
    add(std::span<const uint8_t>(range(0x40, 0x7F)), S::dcsEntry, A::dcsHook, S::dcsPassthrough);

    // dcsIgnore
    add(E, S::dcsIgnore, A::ignore, S::dcsIgnore);
    add(std::span<const uint8_t>(range(0x20, 0x80)), S::dcsIgnore, A::ignore, S::dcsIgnore);

    // dcsParam
    add(E, S::dcsParam, A::ignore, S::dcsParam);
    addOne(0x7F, S::dcsParam, A::ignore, S::dcsParam);
    add(std::span<const uint8_t>(range(0x30, 0x3A)), S::dcsParam, A::param, S::dcsParam);
    addOne(0x3B, S::dcsParam, A::param, S::dcsParam);
    addOne(0x3A, S::dcsParam, A::ignore, S::dcsIgnore);
    add(std::span<const uint8_t>(range(0x3C, 0x40)), S::dcsParam, A::ignore, S::dcsIgnore);
    add(std::span<const uint8_t>(range(0x20, 0x30)), S::dcsParam, A::collect, S::dcsIntermediate);
    add(std::span<const uint8_t>(range(0x40, 0x7F)), S::dcsParam, A::dcsHook, S::dcsPassthrough);

    // dcsIntermediate
    add(E, S::dcsIntermediate, A::ignore, S::dcsIntermediate);
    addOne(0x7F, S::dcsIntermediate, A::ignore, S::dcsIntermediate);
    add(std::span<const uint8_t>(range(0x20, 0x30)), S::dcsIntermediate, A::collect, S::dcsIntermediate);
    add(std::span<const uint8_t>(range(0x30, 0x40)), S::dcsIntermediate, A::ignore, S::dcsIgnore);
    add(std::span<const uint8_t>(range(0x40, 0x7F)), S::dcsIntermediate, A::dcsHook, S::dcsPassthrough);

    // dcsPassthrough: CAN is payload here
    add(E, S::dcsPassthrough, A::dcsPut, S::dcsPassthrough);
    add(std::span<const uint8_t>(printables), S::dcsPassthrough, A::dcsPut, S::dcsPassthrough);
    addOne(0x7F, S::dcsPassthrough, A::ignore, S::dcsPassthrough);
    addOne(0x1B, S::dcsPassthrough, A::dcsUnhook, S::ground);
    addOne(0x9C, S::dcsPassthrough, A::dcsUnhook, S::ground);

    // Inside DCS, SOS and PM strings every byte from 0x80 up is text, C1 and
    // UTF-8 alike: only the string terminator (ESC \, or 0x9C where it does
    // not continue a UTF-8 character, see parse()) and CAN and SUB end them,
    // as in OSC and APC strings. One in a DCS's parameters makes the string
    // one that is ignored.
    auto high = range(0x80, 0x9C);
    for (uint8_t code : range(0x9D, 0xA1)) high.push_back(code);
    add(std::span<const uint8_t>(high), S::sosPmApcString, A::ignore, S::sosPmApcString);
    add(std::span<const uint8_t>(high), S::dcsIgnore, A::ignore, S::dcsIgnore);
    add(std::span<const uint8_t>(high), S::dcsPassthrough, A::dcsPut, S::dcsPassthrough);
    for (ParserState state : {S::dcsEntry, S::dcsParam, S::dcsIntermediate})
        add(std::span<const uint8_t>(high), state, A::ignore, S::dcsIgnore);

    return t;
}

int64_t EscapeSequenceParser::parseInt(std::span<const uint8_t> data)
{
    int64_t value = 0;
    for (uint8_t byte : data) {
        if (byte < '0' || byte > '9') break;
        value = appendDigit(value, byte);
    }
    return value;
}

void EscapeSequenceParser::reset()
{
    currentState = initialState;
    _osc.clear();
    _apc.clear();
    _collect.clear();
    _pars.assign(1, 0);
    parametersFull_ = false;
    stringOverflow_ = false;
    stringUtf8Pending_ = 0;
    activeDcsHandler.reset();
    handler_->printStateReset();
}

// Inlined into the parse loop: it runs for every sequence.
[[gnu::always_inline]] inline void EscapeSequenceParser::resetParameters()
{
    // resize keeps the capacity and, shrinking, writes nothing; assign(1, 0)
    // costs a call per sequence.
    _pars.resize(1);
    _pars[0] = 0;
    _parsTxt.clear();
    parametersFull_ = false;
    if (_collect.capacity() > kRetainedCollectCapacity) {
        releaseBuffer(_collect);
    } else {
        _collect.clear();
    }
}

[[gnu::always_inline]] inline void EscapeSequenceParser::clearSequence()
{
    _osc.clear();
    _apc.clear();
    stringOverflow_ = false;
    resetParameters();
    handler_->printStateReset();
}

// Inlined into the parse loop: it runs for every separator.
[[gnu::always_inline]] inline void EscapeSequenceParser::addParameter(uint8_t separator)
{
    if (parametersFull_) return;
    if (_pars.size() >= kMaxParameters) [[unlikely]] {
        parametersFull_ = true;
        return;
    }
    _pars.push_back(0);
    _parsTxt.push_back(separator);
}

bool EscapeSequenceParser::addCollect(uint8_t code)
{
    if (_collect.size() >= payloadLimit_) return false;
    _collect.push_back(code);
    return true;
}

void EscapeSequenceParser::appendStringBytes(std::vector<uint8_t>& buffer, const uint8_t* begin, const uint8_t* end)
{
    if (begin == end || stringOverflow_) return;
    const size_t count = static_cast<size_t>(end - begin);
    if (buffer.size() > payloadLimit_ || count > payloadLimit_ - buffer.size()) {
        // Too long to be anything but runaway output: skip the rest of the
        // string up to its terminator and dispatch nothing.
        stringOverflow_ = true;
        releaseBuffer(buffer);
        return;
    }
    try {
        buffer.insert(buffer.end(), begin, end);
    } catch (const std::bad_alloc&) {
        // No room for a string within the budget: it is skipped the same way.
        stringOverflow_ = true;
        releaseBuffer(buffer);
    }
}

size_t EscapeSequenceParser::putString(std::vector<uint8_t>& buffer, const uint8_t* bytes, size_t i, size_t length)
{
    // Bytes of 0x20 and above are payload (C1 and UTF-8 alike); other C0
    // bytes are dropped; BEL, CAN and ESC end the run and go through the table.
    size_t runStart = i;
    while (i < length) {
        const uint8_t byte = bytes[i];
        if (byte >= 0x20) {
            ++i;
            continue;
        }
        if (endsString(byte)) break;
        appendStringBytes(buffer, bytes + runStart, bytes + i);
        runStart = ++i;
    }
    appendStringBytes(buffer, bytes + runStart, bytes + i);
    return i;
}

// Ends an OSC or APC string: a string cut by CAN or SUB is discarded with the
// rest of the sequence state, an overflowed one is dropped, any other is
// dispatched.
void EscapeSequenceParser::endString(ParserState state, uint8_t terminator)
{
    const bool apc = state == S::apcString;
    std::vector<uint8_t>& buffer = apc ? _apc : _osc;
    if (stringOverflow_) {
        stringOverflow_ = false;
        releaseBuffer(buffer);
        return;
    }
    if (buffer.empty()) return;
    if (terminator == CAN || terminator == SUB) {
        clearSequence();
        return;
    }
    const std::span<const uint8_t> bytes(buffer);
    if (apc) {
        const uint8_t command = bytes[0];
        const auto content = bytes.subspan(1);
        handler_->apcDispatch(command, content);
    } else {
        size_t semicolon = 0;
        while (semicolon < bytes.size() && bytes[semicolon] != ';') ++semicolon;
        const int64_t code = parseInt(bytes.first(semicolon));
        const auto payload = semicolon < bytes.size() ? bytes.subspan(semicolon + 1) : std::span<const uint8_t>();
        dispatchOsc(code, payload);
    }
    if (buffer.capacity() > kRetainedStringCapacity) {
        releaseBuffer(buffer);
    } else {
        buffer.clear();
    }
}

void EscapeSequenceParser::hookDcs(uint8_t final)
{
    // A string without a handler must not feed the handler of an earlier
    // string that was cut short, so the old one is always replaced.
    activeDcsHandler = handler_->dcsHook(_collect, final);
    dcsBytes_ = 0;
    if (activeDcsHandler) activeDcsHandler->hook(_collect, _pars, final);
}

void EscapeSequenceParser::putDcs(std::span<const uint8_t> data)
{
    if (!activeDcsHandler || data.empty()) return;
    if (dcsBytes_ > payloadLimit_ || data.size() > payloadLimit_ - dcsBytes_) {
        // Past the budget the string is dropped: the handler goes without
        // being unhooked, and the rest of the payload finds no handler.
        activeDcsHandler.reset();
        return;
    }
    dcsBytes_ += data.size();
    activeDcsHandler->put(data);
}

void EscapeSequenceParser::parse(std::span<const uint8_t> data)
{
    trace::Scope scope("Parser.Parse");

    const uint8_t* const bytes = data.data();
    const size_t length = data.size();
    const uint8_t* const entries = table.table.data();
    ParserState state = currentState;
    // Pending print run and DCS payload start in this chunk; neither outlives it.
    long print = -1;
    long dcs = -1;

    auto flushPrint = [&](size_t end) {
        if (print < 0) return;
        handler_->print(data.subspan(static_cast<size_t>(print), end - static_cast<size_t>(print)));
        print = -1;
    };
    auto flushDcs = [&](size_t end) {
        putDcs(data.subspan(static_cast<size_t>(dcs), end - static_cast<size_t>(dcs)));
        dcs = -1;
    };

    size_t i = 0;
    while (i < length) {
        const uint8_t code = bytes[i];

        // Text: every byte above 0x1F, DEL, C1 and UTF-8 alike, joins the run.
        if (state == S::ground && code > 0x1F) {
            if (print < 0) print = static_cast<long>(i);
            i = skipPrintable(bytes, i + 1, length);
            continue;
        }
        // A whole CSI sequence in ground state (ESC [, an optional private
        // marker, digits and separators, a final byte), as full-screen
        // programs send before nearly every run of text, is read without the
        // table. Anything else in it hands over to the table at that byte,
        // with the state the table would have reached.
        if (state == S::ground && code == ESC && i + 2 < length && bytes[i + 1] == '[') {
            flushPrint(i);
            clearSequence();
            size_t j = i + 2;
            if (static_cast<unsigned>(bytes[j] - 0x3C) <= 3u) _collect.push_back(bytes[j++]);
            const size_t firstParameter = j;
            int64_t value = 0;
            while (j < length) {
                const uint8_t byte = bytes[j];
                if (static_cast<unsigned>(byte - '0') < 10u) {
                    if (!parametersFull_) value = appendDigit(value, byte);
                } else if (byte == ';' || (byte == ':' && j > firstParameter)) {
                    _pars.back() = value;
                    addParameter(byte);
                    value = _pars.back();
                } else {
                    break;
                }
                ++j;
            }
            _pars.back() = value;
            if (j < length && static_cast<unsigned>(bytes[j] - 0x40) <= 0x3Eu) {
                dispatchCsi(bytes[j], _pars, _collect);
                ++j;
            } else {
                // Nothing read past the introducer: the table decides the
                // next byte from the entry state, as for a marker-less ':'.
                state = (j == i + 2) ? S::csiEntry : S::csiParam;
            }
            i = j;
            continue;
        }
        // Parameters: digits accumulate in a register, separators open the
        // next parameter, without a table lookup.
        if (state == S::csiParam && static_cast<unsigned>(code - '0') <= 0x0Bu) {
            int64_t value = _pars.back();
            while (true) {
                const uint8_t byte = bytes[i];
                if (static_cast<unsigned>(byte - '0') < 10u) {
                    if (!parametersFull_) value = appendDigit(value, byte);
                } else if (byte == ';' || byte == ':') {
                    _pars.back() = value;
                    addParameter(byte);
                    value = _pars.back();
                } else {
                    break;
                }
                if (++i == length) break;
            }
            _pars.back() = value;
            continue;
        }
        // In DCS, SOS and PM strings the UTF-8 characters are followed, so
        // that a continuation byte of 0x9C does not end the string.
        if (state == S::dcsPassthrough || state == S::dcsIgnore || state == S::sosPmApcString) {
            if (code == 0x9C && stringUtf8Pending_ > 0) {
                --stringUtf8Pending_;
                if (state == S::dcsPassthrough && dcs < 0) dcs = static_cast<long>(i);
                ++i;
                continue;
            }
            stringUtf8Pending_ = utf8ContinuationsAfter(code, stringUtf8Pending_);
        }
        // Inside an OSC or APC string only BEL, CAN and ESC are looked up, so
        // that a string reads the same wherever a chunk boundary falls in it.
        if (isStringState(state) && !endsString(code)) {
            i = putString(state == S::apcString ? _apc : _osc, bytes, i, length);
            continue;
        }

        const uint8_t entry = entries[TransitionTable::index(state, code)];
        ParserState next = TransitionTable::nextOf(entry);
        switch (TransitionTable::actionOf(entry)) {
        case A::ignore:
            if (print >= 0) {
                flushPrint(i);
            } else if (dcs >= 0 && activeDcsHandler) {
                flushDcs(i);
            }
            break;
        case A::error:
            if (code >= TransitionTable::kHighByte) {
                if (state == S::ground) {
                    if (print < 0) print = static_cast<long>(i);
                    break;
                }
                if (state == S::csiIgnore || state == S::dcsIgnore) {
                    next = state;
                    break;
                }
                if (state == S::dcsPassthrough) {
                    if (dcs < 0) dcs = static_cast<long>(i);
                    next = state;
                    break;
                }
            }
            {
                ParsingState snapshot;
                snapshot.position = i;
                snapshot.code = code;
                snapshot.currentState = state;
                snapshot.print = print;
                snapshot.dcs = dcs;
                snapshot.osc = _osc;
                snapshot.apc = _apc;
                snapshot.collect = _collect;
                // The text before the offending byte is printed first, as it
                // would be had a chunk ended there, and the byte itself never
                // joins the text after it.
                flushPrint(i);
                if (handler_->parseError(std::move(snapshot)).abort) return;
            }
            break;
        case A::print:
            if (print < 0) print = static_cast<long>(i);
            break;
        case A::execute:
            flushPrint(i);
            dispatchExecute(code);
            break;
        case A::oscStart:
            flushPrint(i);
            (next == S::apcString ? _apc : _osc).clear();
            stringOverflow_ = false;
            break;
        case A::oscPut:
            i = putString(state == S::apcString ? _apc : _osc, bytes, i, length);
            state = next;
            continue;
        case A::oscEnd:
            endString(state, code);
            if (code == CAN || code == SUB) dcs = -1;
            if (code == ESC) next = S::escape;
            break;
        case A::csiDispatch:
            dispatchCsi(code, _pars, _collect);
            break;
        case A::param:
            if (code == ';' || code == ':') {
                addParameter(code);
            } else if (!parametersFull_) {
                _pars.back() = appendDigit(_pars.back(), code);
            }
            break;
        case A::collect:
            if (!addCollect(code)) {
                if (state >= S::dcsEntry) {
                    next = S::dcsIgnore;
                } else if (state >= S::csiEntry) {
                    next = S::csiIgnore;
                }
            }
            break;
        case A::escDispatch:
            dispatchEsc(_collect, code);
            break;
        case A::clear:
            flushPrint(i);
            clearSequence();
            dcs = -1;
            break;
        case A::dcsHook:
            hookDcs(code);
            break;
        case A::dcsPut:
            if (dcs < 0) dcs = static_cast<long>(i);
            break;
        case A::dcsUnhook:
            if (activeDcsHandler) {
                if (dcs >= 0) flushDcs(i);
                // The payload may have just run over the budget and dropped it.
                // The handler is detached before it is told, so that whatever
                // it calls cannot pull it away mid-call.
                if (auto handler = std::move(activeDcsHandler)) handler->unhook();
            }
            dcs = -1;
            clearSequence();
            // ESC as terminator starts the ESC \ that completes the string.
            if (code == ESC) next = S::escape;
            break;
        }
        if (next != state) stringUtf8Pending_ = 0;
        state = next;
        ++i;
    }

    if (state == S::ground) {
        flushPrint(length);
    } else if (state == S::dcsPassthrough && dcs >= 0 && activeDcsHandler) {
        flushDcs(length);
    }
    currentState = state;
}

void EscapeSequenceParser::dispatchExecute(uint8_t code)
{
    handler_->execute(code);
}

void EscapeSequenceParser::dispatchCsi(uint8_t code, std::span<const int64_t> pars, std::span<const uint8_t> collect)
{
    handler_->csiDispatch(code, pars, collect);
}

void EscapeSequenceParser::dispatchEsc(std::span<const uint8_t> collect, uint8_t code)
{
    handler_->escDispatch(collect, code);
}

void EscapeSequenceParser::dispatchOsc(int64_t code, std::span<const uint8_t> data)
{
    handler_->oscDispatch(code, data);
}

}  // namespace corvel
