// Feeds arbitrary bytes to a parser that has no terminal, once whole and once
// cut into chunks chosen by the input itself, and checks that both give the
// same calls: where a chunk ends must never change what the stream means.
#include "corvel/parser/EscapeSequenceParser.h"

#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

namespace {

using corvel::EscapeSequenceParser;

struct Calls : corvel::ParserHandler {
    std::vector<std::string> lines;
    const EscapeSequenceParser* parser = nullptr;

    void add(std::string line) { lines.push_back(std::move(line)); }

    void print(std::span<const uint8_t> data) override
    {
        if (!lines.empty() && lines.back().starts_with("p")) {
            lines.back().append(data.begin(), data.end());
        } else {
            add("p" + std::string(data.begin(), data.end()));
        }
    }
    void printStateReset() override
    {
        if (lines.empty() || lines.back() != "r") add("r");
    }
    void csiDispatch(uint8_t code, std::span<const int64_t> pars, std::span<const uint8_t> collect) override
    {
        std::string line = "c" + std::string(collect.begin(), collect.end()) + "|";
        for (int64_t p : pars) line += std::to_string(p) + ",";
        line.append(parser->_parsTxt.begin(), parser->_parsTxt.end());
        add(line + static_cast<char>(code));
    }
    void escDispatch(std::span<const uint8_t> collect, uint8_t code) override
    {
        add("e" + std::string(collect.begin(), collect.end()) + static_cast<char>(code));
    }
    void oscDispatch(int64_t code, std::span<const uint8_t> data) override
    {
        add("o" + std::to_string(code) + ";" + std::string(data.begin(), data.end()));
    }
    void apcDispatch(uint8_t command, std::span<const uint8_t> content) override
    {
        add("a" + std::string(1, static_cast<char>(command)) + std::string(content.begin(), content.end()));
    }
    corvel::ParsingState parseError(corvel::ParsingState state) override
    {
        add("x" + std::to_string(static_cast<int>(state.currentState)) + ":" + std::to_string(state.code));
        return state;
    }
};

std::vector<std::string> parseInChunks(std::span<const uint8_t> data, std::span<const uint8_t> cuts, size_t limit)
{
    Calls calls;
    EscapeSequenceParser parser(&calls);
    calls.parser = &parser;
    parser.setPayloadLimit(limit);
    size_t at = 0;
    size_t cut = 0;
    while (at < data.size()) {
        size_t size = data.size() - at;
        if (cut < cuts.size()) size = std::min<size_t>(size, cuts[cut++] % 17 + 1);
        parser.parse(data.subspan(at, size));
        at += size;
    }
    return calls.lines;
}

}  // namespace

// Bytes that start, continue and end sequences, so that random input forms
// sequences far more often than uniform bytes would.
constexpr uint8_t kAlphabet[32] = {
    0x1B, 0x1B, '[',  ']',  'P',  '_',  'X',  '\\', '0',  '1',  '9',  ';',  ':',  '?',  ' ',  '$',
    'G',  'm',  'q',  'H',  0x07, 0x18, 0x1A, 0x19, 0x9C, 0x9B, 0x90, 0x84, 0x7F, 0x0A, 0xC4, 'a',
};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3) return 0;
    // The first byte picks a payload budget (small ones reach the overflow
    // paths), the second whether the stream is taken as it is or mapped onto
    // the alphabet above; the stream's own bytes pick the cuts.
    const size_t limit = data[0] < 128 ? 8 + data[0] : EscapeSequenceParser::kDefaultPayloadLimit;
    std::vector<uint8_t> bytes(data + 2, data + size);
    if (data[1] & 1) {
        for (auto& b : bytes) b = kAlphabet[b & 31];
    }
    const std::span<const uint8_t> stream(bytes);
    const std::span<const uint8_t> cuts(data + 2, size - 2);
    const auto whole = parseInChunks(stream, {}, limit);
    const auto chunked = parseInChunks(stream, cuts, limit);
    if (whole != chunked) std::abort();
    return 0;
}
