// Feeds arbitrary bytes to a parser that has no terminal, once whole and once
// cut into chunks chosen by the input itself, and checks that both give the
// same calls: where a chunk ends must never change what the stream means.
// Some inputs become a sixel image string fed to a terminal instead, which
// must hand over the same well-formed bitmaps whole and cut.
#include "corvel/parser/EscapeSequenceParser.h"
#include "corvel/terminal/Terminal.h"
#include "corvel/kitty/SixelDcsHandler.h"

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

// Keeps each bitmap the terminal hands over, after checking its shape.
class ImageHost : public corvel::TerminalDelegate {
public:
    void send(corvel::Terminal&, std::span<const uint8_t>) override {}
    void createImageFromBitmap(corvel::Terminal&, std::vector<uint8_t>& bytes, int width, int height) override
    {
        const int64_t limit = corvel::SixelDcsHandler::maxSide;
        if (width < 0 || height < 0 || width > limit || height > limit) std::abort();
        if (bytes.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * 4) std::abort();
        images.push_back(std::to_string(width) + "x" + std::to_string(height) + ":" +
                         std::string(bytes.begin(), bytes.end()));
    }
    std::vector<std::string> images;
};

std::vector<std::string> sixelInChunks(std::span<const uint8_t> data, std::span<const uint8_t> cuts)
{
    auto host = std::make_shared<ImageHost>();
    corvel::Terminal terminal(host);
    size_t at = 0;
    size_t cut = 0;
    while (at < data.size()) {
        size_t size = data.size() - at;
        if (cut < cuts.size()) size = std::min<size_t>(size, cuts[cut++] % 17 + 1);
        terminal.feed(data.subspan(at, size));
        at += size;
    }
    return host->images;
}

// The bytes of sixel data, with digits and colour commands often enough to
// define, select and repeat.
constexpr uint8_t kSixelAlphabet[32] = {
    '#', '#', ';', ';', '0', '1', '2', '3', '5', '9', '!', '!', '$', '-', '?', '@',
    '~', '~', 'A', 'N', '_', '"', '\r', '\n', ' ', 'x', 0x1B, '#', '2', ';', '1', '0',
};

// A DCS q string around the input mapped onto the sixel alphabet. Digit runs
// are kept to two digits so that repeat counts stay small and one input
// decodes quickly; the unit tests cover the large ones.
std::vector<uint8_t> sixelStream(std::span<const uint8_t> input)
{
    std::vector<uint8_t> out = {0x1B, 'P', 'q'};
    int digits = 0;
    for (uint8_t b : input) {
        uint8_t c = kSixelAlphabet[b & 31];
        const bool digit = c >= '0' && c <= '9';
        digits = digit ? digits + 1 : 0;
        if (digits > 2) {
            c = '~';
            digits = 0;
        }
        out.push_back(c);
    }
    out.push_back(0x1B);
    out.push_back('\\');
    return out;
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
    const std::span<const uint8_t> cuts(data + 2, size - 2);
    if ((data[1] & 6) == 6) {
        const auto stream = sixelStream(bytes);
        if (sixelInChunks(stream, {}) != sixelInChunks(stream, cuts)) std::abort();
        return 0;
    }
    if (data[1] & 1) {
        for (auto& b : bytes) b = kAlphabet[b & 31];
    }
    const std::span<const uint8_t> stream(bytes);
    const auto whole = parseInChunks(stream, {}, limit);
    const auto chunked = parseInChunks(stream, cuts, limit);
    if (whole != chunked) std::abort();
    return 0;
}
