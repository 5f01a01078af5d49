#include "corvel/parser/EscapeSequenceParser.h"

#include "corvel/terminal/Terminal.h"

#include "corvel/platform/Log.h"
#include "corvel/platform/Trace.h"

#include "tests/corvel/support/AddressSpaceLimit.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

using namespace corvel;

namespace {

std::span<const uint8_t> bytesOf(std::string_view text)
{
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

std::string textOf(std::span<const uint8_t> bytes)
{
    return {bytes.begin(), bytes.end()};
}

std::string listOf(std::span<const int64_t> values)
{
    std::string out;
    for (size_t i = 0; i < values.size(); ++i) out += (i ? "," : "") + std::to_string(values[i]);
    return out;
}

// Records every call a parser makes of its handler, as one line each.
// Adjacent print runs are merged, and so are repeated print-state resets: how
// often they happen in a row is not part of the result.
struct Recorder : ParserHandler {
    std::vector<std::string> events;
    const EscapeSequenceParser* parser = nullptr;

    void add(std::string event) { events.push_back(std::move(event)); }

    void print(std::span<const uint8_t> data) override
    {
        if (!events.empty() && events.back().starts_with("print ")) {
            events.back() += textOf(data);
        } else {
            add("print " + textOf(data));
        }
    }
    void printStateReset() override
    {
        if (events.empty() || events.back() != "reset") add("reset");
    }
    void csiDispatch(uint8_t code, std::span<const int64_t> pars, std::span<const uint8_t> collect) override
    {
        add("csi '" + textOf(collect) + "' " + listOf(pars) + " '" + textOf(parser->_parsTxt) + "' " +
            static_cast<char>(code));
    }
    void escDispatch(std::span<const uint8_t> collect, uint8_t code) override
    {
        add("esc '" + textOf(collect) + "' " + static_cast<char>(code));
    }
    void oscDispatch(int64_t code, std::span<const uint8_t> data) override
    {
        add("osc " + std::to_string(code) + " " + textOf(data));
    }
    void apcDispatch(uint8_t command, std::span<const uint8_t> content) override
    {
        add(std::string("apc ") + static_cast<char>(command) + " " + textOf(content));
    }
    ParsingState parseError(ParsingState state) override
    {
        add("error " + std::string(toString(state.currentState)) + " " + std::to_string(state.code));
        return state;
    }
};

struct DcsLog {
    std::vector<std::string> calls;
};

class RecordingDcsHandler : public DcsHandler {
public:
    explicit RecordingDcsHandler(DcsLog& log) : log_(log) {}
    void hook(std::span<const uint8_t>, std::span<const int64_t>, uint8_t flag) override
    {
        log_.calls.push_back(std::string("hook ") + static_cast<char>(flag));
    }
    void put(std::span<const uint8_t> data) override { log_.calls.push_back("put " + textOf(data)); }
    void unhook() override { log_.calls.push_back("unhook"); }

private:
    DcsLog& log_;
};

std::vector<std::string> run(const std::vector<std::string_view>& chunks, size_t payloadLimit = 0)
{
    Recorder recorder;
    EscapeSequenceParser parser(&recorder);
    recorder.parser = &parser;
    if (payloadLimit) parser.setPayloadLimit(payloadLimit);
    for (auto chunk : chunks) parser.parse(bytesOf(chunk));
    return recorder.events;
}

const std::vector<std::string_view> kStreams = {
    "plain text\r\nnext line",
    "h\xc3\xa9llo \xe2\x86\x92 \xe2\x9c\x93",
    "\x1b[1;38;5;123;48;2;10;20;30mX\x1b[0m",
    "\x1b[4:3m\x1b[m\x1b[;m\x1b[?25h\x1b[>1;2c\x1b[ q",
    "\x1b]0;title\x07" "after",
    "\x1b]2;a\x1a" "b\x07",
    "\x1b]2;ab\x18rest",
    "\x1b]2;caf\xc3\xa9 \xc4\x9c\xc5\x93\x9c\x1b\\tail",
    "\x1b]\x9c" "8;;x\x07",
    "\x1b];no number\x07\x1b]99999999999999999999;big\x07",
    "\x1b_Gq=2;AAAA\x1b\\\x1b_zother\x07\x1b_\x07",
    "\x1b[?1;2<hvisible",
    "\x1b[:1mrest",
    "ab\x19" "cd",
    "\x1b\x84" "abc\x84" "def",
    "\x1b\x9b" "5m\x9b" "5m",
    "\x1b[1\x18;2H\x1b[3\x1a;4H",
    "\x1bP1$qm\x1b\\after dcs",
    "\x1bXsos \x1b[ string\x1b\\\x1b^pm\x9c",
    "\x1b(0q\x1b(B\x1b#8\x1b%G\x1b 7",
    "\x1b[99999999999999999999;12345678901234567890m",
};

}  // namespace

TEST(EscapeSequenceParser, SplittingAChunkAnywhereGivesTheSameCalls)
{
    for (auto stream : kStreams) {
        SCOPED_TRACE(::testing::PrintToString(std::string(stream)));
        const auto whole = run({stream});
        for (size_t cut = 1; cut < stream.size(); ++cut) {
            ASSERT_EQ(run({stream.substr(0, cut), stream.substr(cut)}), whole) << "cut at " << cut;
        }
        std::vector<std::string_view> single;
        for (size_t i = 0; i < stream.size(); ++i) single.push_back(stream.substr(i, 1));
        ASSERT_EQ(run(single), whole) << "byte by byte";
    }
}

TEST(EscapeSequenceParser, ParametersAndSeparators)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(run({"\x1b[38;2;1;2;3m"}), (V{"reset", "csi '' 38,2,1,2,3 ';;;;' m"}));
    EXPECT_EQ(run({"\x1b[4:3m"}), (V{"reset", "csi '' 4,3 ':' m"}));
    EXPECT_EQ(run({"\x1b[m\x1b[;m"}), (V{"reset", "csi '' 0 '' m", "reset", "csi '' 0,0 ';' m"}));
    EXPECT_EQ(run({"\x1b[?25h"}), (V{"reset", "csi '?' 25 '' h"}));

    // Values never overflow: past the maximum they saturate, in the fast
    // path, through the table (DCS) and in OSC numbers alike.
    const std::string max = std::to_string(EscapeSequenceParser::kMaxParameter);
    EXPECT_EQ(run({"\x1b[99999999999999999999;9223372036854775807;922337203685477570m"}),
              (V{"reset", "csi '' " + max + "," + max + "," + max + " ';;' m"}));
    EXPECT_EQ(run({"\x1b]99999999999999999999;x\x07"}), (V{"reset", "osc " + max + " x"}));
    EXPECT_EQ(EscapeSequenceParser::parseInt(bytesOf("123abc")), 123);
    EXPECT_EQ(EscapeSequenceParser::parseInt(bytesOf("")), 0);
    EXPECT_EQ(EscapeSequenceParser::parseInt(bytesOf("922337203685477570")), 922337203685477570);
    EXPECT_EQ(EscapeSequenceParser::parseInt(bytesOf("922337203685477571")), EscapeSequenceParser::kMaxParameter);
    Terminal terminal(std::weak_ptr<TerminalDelegate>{});
    terminal.feed("\x1b[9223372036854775807C\x1b]99999999999999999999;x\x07");
    EXPECT_EQ(terminal.getCursorLocation().first, terminal.cols() - 1);
    EXPECT_EQ(terminal.terminalTitle, "");
}

TEST(EscapeSequenceParser, ParameterCountIsCappedAndBuffersAreGivenBack)
{
    // Parameters past the cap are ignored, digits and separators alike; the
    // sequence still takes effect.
    struct : ParserHandler {
        std::vector<int64_t> seen;
        void csiDispatch(uint8_t, std::span<const int64_t> pars, std::span<const uint8_t>) override
        {
            seen.assign(pars.begin(), pars.end());
        }
    } handler;
    auto& seen = handler.seen;
    EscapeSequenceParser parser(&handler);
    std::string many = "\x1b[";
    for (size_t i = 0; i < 3 * EscapeSequenceParser::kMaxParameters; ++i) many += std::to_string(i % 7 + 1) + ";";
    many += "9:9m";
    for (const auto& chunks : {std::vector<std::string>{many}, std::vector<std::string>{many.substr(0, 2051),
                                                                                       many.substr(2051)}}) {
        seen.clear();
        for (const auto& chunk : chunks) parser.parse(bytesOf(chunk));
        ASSERT_EQ(seen.size(), EscapeSequenceParser::kMaxParameters);
        EXPECT_EQ(seen.back(), int64_t(EscapeSequenceParser::kMaxParameters - 1) % 7 + 1);
        EXPECT_EQ(parser._parsTxt.size(), EscapeSequenceParser::kMaxParameters - 1);
    }
    EXPECT_LE(parser._pars.capacity() * sizeof(int64_t), size_t{16} << 10);

    // Huge intermediates are not kept past the next sequence.
    parser.parse(bytesOf("\x1b[" + std::string(1 << 20, ' ') + "p\x1b[m"));
    EXPECT_LE(parser._collect.capacity(), size_t{4} << 10);
}

TEST(EscapeSequenceParser, ControlsInsideAndAroundSequences)
{
    using V = std::vector<std::string>;
    // CAN is executed inside a CSI without ending it; SUB ends it.
    EXPECT_EQ(run({"\x1b[1\x18;2H"}), (V{"reset", "csi '' 1,2 ';' H"}));
    EXPECT_EQ(run({"\x1b[1\x1a;2H"}), (V{"reset", "print ;2H"}));
    // A private marker after a parameter makes the sequence void.
    EXPECT_EQ(run({"\x1b[?1;2<hX"}), (V{"reset", "print X"}));
    // ':' right after ESC [ voids the sequence up to its final byte.
    EXPECT_EQ(run({"\x1b[:1mrest"}), (V{"reset", "print rest"}));
    EXPECT_EQ(run({"A\x1b[::mB"}), (V{"print A", "reset", "print B"}));
    // EM is an error and is kept out of the text around it.
    EXPECT_EQ(run({"ab\x19" "cd"}), (V{"print ab", "error ground 25", "print cd"}));
    // 8-bit C1 bytes are text in ground and controls after ESC.
    EXPECT_EQ(run({"\x84\x9b" "1m"}), (V{"print \x84\x9b" "1m"}));
    EXPECT_EQ(run({"\x1b\x84" "abc"}), (V{"reset", "print abc"}));
    EXPECT_EQ(run({"\x1b\x9b" "1m"}), (V{"reset", "csi '' 1 '' m"}));
    EXPECT_EQ(run({"\x1b(0\x1b#8"}), (V{"reset", "esc '(' 0", "reset", "esc '#' 8"}));
}

TEST(EscapeSequenceParser, OscAndApcStrings)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(run({"\x1b]0;title\x07"}), (V{"reset", "osc 0 title"}));
    EXPECT_EQ(run({"\x1b]2;a\x1a" "b\x07"}), (V{"reset", "osc 2 ab"}));
    EXPECT_EQ(run({"\x1b]2;ab\x18rest"}), (V{"reset", "print rest"}));
    EXPECT_EQ(run({"\x1b]2;\xc4\x9c\x07"}), (V{"reset", "osc 2 \xc4\x9c"}));
    EXPECT_EQ(run({"\x1b];t\x07\x1b]7\x07\x1b]\x07"}), (V{"reset", "osc 0 t", "reset", "osc 7 ", "reset"}));
    EXPECT_EQ(run({"\x1b_Gi=1;AAAA\x1b\\"}), (V{"reset", "apc G i=1;AAAA", "esc '' \\"}));

    // ESC ending a string leaves the parser in escape, and the backslash
    // brings it back to ground.
    EscapeSequenceParser parser;
    parser.parse(bytesOf("\x1b]2;x\x1b"));
    EXPECT_EQ(parser.currentState, ParserState::escape);
    parser.parse(bytesOf("\\"));
    EXPECT_EQ(parser.currentState, ParserState::ground);
}

TEST(EscapeSequenceParser, LongStringsAreDroppedUpToTheirTerminator)
{
    using V = std::vector<std::string>;
    const std::string_view atLimit = "\x1b]2;0123456789abcd\x07";
    const std::string_view overLimit = "\x1b]2;0123456789abcde\x07ok";
    EXPECT_EQ(run({atLimit}, 16), (V{"reset", "osc 2 0123456789abcd"}));
    EXPECT_EQ(run({overLimit}, 16), (V{"reset", "print ok"}));
    EXPECT_EQ(run({"\x1b_G0123456789abcdef\x1b\\\x1b]1;x\x07"}, 16),
              (V{"reset", "esc '' \\", "reset", "osc 1 x"}));
    for (size_t cut = 1; cut < overLimit.size(); ++cut) {
        EXPECT_EQ(run({overLimit.substr(0, cut), overLimit.substr(cut)}, 16), (V{"reset", "print ok"}));
    }

    // Intermediates have the budget too; an oversized sequence is ignored.
    const std::string manyIntermediates = "\x1b[" + std::string(17, ' ') + "pX";
    EXPECT_EQ(run({manyIntermediates}, 16), (V{"reset", "print X"}));

    // Endless output after ESC ] does not grow the buffer past the budget.
    EscapeSequenceParser parser;
    parser.setPayloadLimit(4096);
    const std::string block(1000, 'x');
    parser.parse(bytesOf("\x1b]0;"));
    for (int i = 0; i < 100; ++i) {
        parser.parse(bytesOf(block));
        ASSERT_LE(parser._osc.capacity(), 8192u);
    }
    EXPECT_EQ(parser.currentState, ParserState::oscString);
}

// A string within the budget that the process has no room for is skipped as
// one past the budget is, and parsing goes on after it. Run in a child whose
// address space may grow by 32 MiB only.
TEST(EscapeSequenceParserDeathTest, StringWithoutRoomIsSkippedAndParsingGoesOn)
{
#ifdef CORVEL_SANITIZED
    GTEST_SKIP() << "a sanitizer's allocator ends the process when the room runs out";
#endif
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto skipsTheString = [] {
        const std::string block(size_t{1} << 20, 'A');
        if (!corvel::testing::limitAddressSpaceGrowth(size_t{32} << 20)) return 1;
        Recorder recorder;
        EscapeSequenceParser parser(&recorder);
        recorder.parser = &parser;
        parser.parse(bytesOf("\x1b_G"));
        for (int i = 0; i < 48; ++i) parser.parse(bytesOf(block));
        parser.parse(bytesOf("\x1b\\ok"));
        for (const std::string& event : recorder.events)
            if (event.starts_with("apc")) return 2;
        return !recorder.events.empty() && recorder.events.back() == "print ok" ? 0 : 3;
    };
    EXPECT_EXIT(std::_Exit(skipsTheString()), ::testing::ExitedWithCode(0), "");
}

TEST(EscapeSequenceParser, DcsPayloadReachesTheActiveHandler)
{
    using V = std::vector<std::string>;
    // Without a terminal no handler is chosen, so one is installed right
    // after the header has been parsed.
    auto feed = [](std::vector<std::string_view> chunks, size_t limit = 0) {
        EscapeSequenceParser parser;
        if (limit) parser.setPayloadLimit(limit);
        DcsLog log;
        parser.parse(bytesOf("\x1bPq"));
        EXPECT_EQ(parser.currentState, ParserState::dcsPassthrough);
        parser.activeDcsHandler = std::make_unique<RecordingDcsHandler>(log);
        for (auto chunk : chunks) parser.parse(bytesOf(chunk));
        EXPECT_EQ(parser.currentState, ParserState::ground);
        return log.calls;
    };
    EXPECT_EQ(feed({"#0;2;0;0;0~~\x18~\x1b\\"}), (V{"put #0;2;0;0;0~~\x18~", "unhook"}));
    EXPECT_EQ(feed({"ab\x7f" "cd\x9c"}), (V{"put ab", "put cd", "unhook"}));
    // UTF-8 is payload; 0x9C that continues a character does not end the
    // string, wherever a chunk ends.
    EXPECT_EQ(feed({"\xc3\x9c\xe2\x82\xac\xe2\x9c\x9c\x1b\\"}),
              (V{"put \xc3\x9c\xe2\x82\xac\xe2\x9c\x9c", "unhook"}));
    EXPECT_EQ(feed({"\xe2\x9c", "\x9c!\x9c"}), (V{"put \xe2\x9c", "put \x9c!", "unhook"}));
    // The terminator alone in the next chunk still ends the string.
    EXPECT_EQ(feed({"abc", "\x1b", "\\"}), (V{"put abc", "unhook"}));
    EXPECT_EQ(feed({"abc", "\x1b\\"}), (V{"put abc", "unhook"}));
    // Past the budget the handler is dropped without unhook.
    EXPECT_EQ(feed({"0123456789", "0123456789\x1b\\"}, 16), (V{"put 0123456789"}));

    // A string cut short by SUB leaves its handler behind; the next string,
    // which has no handler, must not feed it.
    EscapeSequenceParser parser;
    DcsLog log;
    parser.parse(bytesOf("\x1bPq"));
    parser.activeDcsHandler = std::make_unique<RecordingDcsHandler>(log);
    parser.parse(bytesOf("ab\x1a\x1bPzmore\x1b\\"));
    EXPECT_EQ(log.calls, V{});
}

TEST(EscapeSequenceParser, ErrorAbortResetAndDefaults)
{
    struct : ParserHandler {
        std::string printed;
        int resets = 0;
        void print(std::span<const uint8_t> data) override { printed += textOf(data); }
        void printStateReset() override { ++resets; }
        ParsingState parseError(ParsingState state) override
        {
            EXPECT_EQ(state.currentState, ParserState::csiEntry);
            EXPECT_EQ(state.code, 0x19);
            EXPECT_EQ(state.position, 3u);
            state.abort = true;
            return state;
        }
    } handler;
    auto& printed = handler.printed;
    auto& resets = handler.resets;
    EscapeSequenceParser parser(&handler);
    parser.parse(bytesOf("a\x1b[\x19never"));
    EXPECT_EQ(parser.currentState, ParserState::ground);  // as before the chunk
    EXPECT_EQ(printed, "a");

    // reset drops the DCS handler without unhook and keeps the separators.
    DcsLog log;
    parser.parse(bytesOf("\x1b[1;2"));
    parser.activeDcsHandler = std::make_unique<RecordingDcsHandler>(log);
    resets = 0;
    parser.reset();
    EXPECT_EQ(parser.currentState, ParserState::ground);
    EXPECT_EQ(parser._pars, std::vector<int64_t>{0});
    EXPECT_EQ(textOf(parser._parsTxt), ";");
    EXPECT_EQ(parser.activeDcsHandler, nullptr);
    EXPECT_TRUE(log.calls.empty());
    EXPECT_EQ(resets, 1);

    // The default CSI fallback names the final byte in decimal.
    log::Capture capture;
    EscapeSequenceParser plain;
    plain.parse(bytesOf("\x1b[5m"));
    EXPECT_EQ(capture.lines(), std::vector<std::string>{"Cannot handle ESC-109"});

    // Each parse is one profiling scope when tracing is on.
    const bool was = trace::enabled();
    trace::setEnabled(true);
    trace::clearEvents();
    plain.parse(bytesOf("x"));
    const auto events = trace::recentEvents();
    trace::setEnabled(was);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_STREQ(events[0].name, "Parser.Parse");
}

// Entries no sequence in the other tests reaches.
TEST(EscapeSequenceParser, TransitionTableEntries)
{
    const TransitionTable table = EscapeSequenceParser::buildVt500TransitionTable();
    auto is = [&](ParserState state, uint8_t code, ParserAction action, ParserState next) {
        const uint8_t entry = table.entry(state, code);
        return TransitionTable::actionOf(entry) == action && TransitionTable::nextOf(entry) == next;
    };
    using S = ParserState;
    using A = ParserAction;
    EXPECT_TRUE(is(S::dcsEntry, ':', A::ignore, S::dcsIgnore));
    EXPECT_TRUE(is(S::dcsParam, 0xC3, A::ignore, S::dcsIgnore));
    EXPECT_TRUE(is(S::oscString, 0xFF, A::oscPut, S::oscString));
    EXPECT_TRUE(is(S::apcString, 0x1A, A::oscEnd, S::ground));
    EXPECT_TRUE(is(S::escape, 0x7F, A::ignore, S::escape));
    EXPECT_TRUE(is(S::ground, 0x7F, A::error, S::ground));
    EXPECT_TRUE(is(S::sosPmApcString, 0x9C, A::ignore, S::ground));
    EXPECT_TRUE(is(S::sosPmApcString, 0x82, A::ignore, S::sosPmApcString));
    EXPECT_TRUE(is(S::csiIgnore, 0xC0, A::error, S::ground));
    EXPECT_EQ(parserStateFromRaw(200), static_cast<ParserState>(15));
}
