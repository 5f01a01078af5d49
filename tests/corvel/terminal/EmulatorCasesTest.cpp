// Runs the emulator cases of tests/data/emulator/*.txt. Each case feeds bytes
// (and may resize, wait on the main queue's clock, ...) into a fresh terminal
// and then checks the screen, the cursor, the replies, the host callbacks and
// the dirty range. Every case is also fed split into two chunks at every
// offset of its input, and must give exactly the same results.
//
// Case file syntax, one directive per line ('#' starts a comment line):
//   === name                      starts a case
//   size COLSxROWS                before the first step (default 10x4)
//   scrollback N                  before the first step (default 20)
//   term NAME | sixel off | palette xterm|base16Lab | untrusted (the host
//                                 distrusts the process)   before the first step
//   feed "bytes"                  C escapes: \e \a \b \t \n \r \0 \\ \" \xHH \u{HEX}
//   wait MS                       advances the main queue's manual clock
//   resize COLSxROWS | history N|none | focus in|out | clear-dirty | clear-callbacks
//   screen / live                 followed by |row| lines: the display / active buffer;
//                                 rows left out at the bottom must be blank
//   cursor X Y | alt yes|no | title "text" | lines N (held by the active buffer)
//   dirty A B|none | invariant-dirty A B|none
//   reply "bytes" (one per host send, in order) | replies none
//   callback text (every host callback but send, linefeed and scrolled, in order)
//   callbacks none
//   attr TEXT                     the current attribute: "default" or, in this
//                                 order, fg=C bg=C, style names, ul=STYLE, ulc=C
//                                 (C: palette index, rgb(r,g,b) or inverted)
//   links                         followed by |row| lines of the active buffer:
//                                 '.' no payload, a letter per distinct payload
//   payload X Y "text"            the payload text of a viewport cell
//   backgrounds                   followed by |row| lines of the active buffer:
//                                 '.' default background, a letter per distinct one
//   above                         followed by |row| lines: the active buffer's lines
//                                 above its screen, oldest first (all of them)
//   wrapped ROW... | wrapped none the screen rows of the active buffer that
//                                 continue the row above
#include "corvel/terminal/Terminal.h"
#include "corvel/platform/Dispatch.h"
#include "corvel/platform/Utf8.h"
#include "tests/corvel/support/MainQueueScope.h"
#include "tests/corvel/support/TestHost.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

using namespace corvel;

namespace {

struct Step {
    enum class Kind { feed, wait, resize, history, focus, clearDirty, clearCallbacks };
    Kind kind;
    std::string bytes;  // feed
    int a = 0, b = 0;   // wait ms; resize cols, rows; history lines (-1: none); focus 1/0

    Step(Kind kind, std::string bytes = {}, int a = 0, int b = 0) : kind(kind), bytes(std::move(bytes)), a(a), b(b) {}
};

struct Expectations {
    std::optional<std::vector<std::string>> screen, live, replies, callbacks, links, backgrounds, above;
    std::optional<std::string> attr, wrapped;
    std::vector<std::pair<std::pair<int, int>, std::string>> payloads;  // (x, y), text
    std::optional<std::pair<int, int>> cursor;
    std::optional<int64_t> lines;
    std::optional<bool> alt;
    std::optional<std::string> title;
    std::optional<std::string> dirty, invariantDirty;  // "A B" or "none"
};

struct Case {
    std::string name, file;
    int line = 0, cols = 10, rows = 4, scrollback = 20;
    std::optional<std::string> termName;
    std::optional<Ansi256PaletteStrategy> palette;
    bool sixel = true, trusted = true;
    std::vector<Step> steps;
    Expectations expect;
};

struct Result {
    std::vector<std::string> screen, live, replies, callbacks, links, payloads, backgrounds, above;
    std::string attr, wrapped;
    std::pair<int, int> cursor;
    int64_t lines = 0;
    bool alt = false;
    std::string title, dirty, invariantDirty;
    bool operator==(const Result&) const = default;
};

std::string unescape(std::string_view text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        switch (c) {
        case 'e': out += '\x1b'; break;
        case 'a': out += '\a'; break;
        case 'b': out += '\b'; break;
        case 't': out += '\t'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case '0': out += '\0'; break;
        case 'x':
            out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
            break;
        case 'u': {
            const size_t close = text.find('}', i);
            utf8::append(out, static_cast<char32_t>(std::stoul(std::string(text.substr(i + 2, close - i - 2)), nullptr, 16)));
            i = close;
            break;
        }
        default: out += c; break;
        }
    }
    return out;
}

std::string escape(std::string_view bytes)
{
    std::string out;
    for (unsigned char c : bytes) {
        if (c == 0x1b) {
            out += "\\e";
        } else if (c < 0x20 || c >= 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// The text between the first and the last double quote, unescaped.
std::string quotedText(const std::string& rest)
{
    const size_t open = rest.find('"');
    const size_t close = rest.rfind('"');
    if (open == std::string::npos || close == open) throw std::runtime_error("expected a quoted string: " + rest);
    return unescape(std::string_view(rest).substr(open + 1, close - open - 1));
}

std::pair<int, int> dims(const std::string& text)
{
    const size_t x = text.find('x');
    return {std::stoi(text.substr(0, x)), std::stoi(text.substr(x + 1))};
}

// Directives followed by |row| lines, and directives whose text is kept as it stands.
using Rows = std::optional<std::vector<std::string>>;
const std::map<std::string, Rows Expectations::*> rowBlocks = {
    {"screen", &Expectations::screen},           {"live", &Expectations::live},
    {"links", &Expectations::links},             {"backgrounds", &Expectations::backgrounds},
    {"above", &Expectations::above},
};
const std::map<std::string, std::optional<std::string> Expectations::*> textDirectives = {
    {"wrapped", &Expectations::wrapped},
    {"attr", &Expectations::attr},
    {"dirty", &Expectations::dirty},
    {"invariant-dirty", &Expectations::invariantDirty},
};

std::vector<Case> loadCases()
{
    std::vector<Case> cases;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(CORVEL_TEST_DATA_DIR "/emulator")) {
        if (entry.path().extension() == ".txt") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    for (const auto& path : files) {
        std::ifstream in(path);
        std::string line;
        int number = 0;
        std::vector<std::string>* rows = nullptr;  // the screen block being read
        while (std::getline(in, line)) {
            ++number;
            if (line.empty() || line[0] == '#') continue;
            if (line[0] == '|') {
                if (!rows || line.size() < 2 || line.back() != '|') {
                    throw std::runtime_error(path.string() + ":" + std::to_string(number) + ": stray row");
                }
                rows->push_back(line.substr(1, line.size() - 2));
                continue;
            }
            rows = nullptr;
            std::istringstream words(line);
            std::string word;
            words >> word;
            std::string rest;
            std::getline(words, rest);
            if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
            if (word == "===") {
                Case c;
                c.name = rest;
                c.file = path.filename().string();
                c.line = number;
                cases.push_back(std::move(c));
                continue;
            }
            if (cases.empty()) throw std::runtime_error(path.string() + ": directive before the first case");
            Case& c = cases.back();
            Expectations& e = c.expect;
            if (word == "size") {
                std::tie(c.cols, c.rows) = dims(rest);
            } else if (word == "scrollback") {
                c.scrollback = std::stoi(rest);
            } else if (word == "term") {
                c.termName = rest;
            } else if (word == "sixel") {
                c.sixel = rest != "off";
            } else if (word == "palette") {
                c.palette = rest == "xterm" ? Ansi256PaletteStrategy::xterm : Ansi256PaletteStrategy::base16Lab;
            } else if (word == "untrusted") {
                c.trusted = false;
            } else if (word == "feed") {
                c.steps.push_back({Step::Kind::feed, quotedText(rest)});
            } else if (word == "wait") {
                c.steps.push_back({Step::Kind::wait, {}, std::stoi(rest)});
            } else if (word == "resize") {
                const auto [w, h] = dims(rest);
                c.steps.push_back({Step::Kind::resize, {}, w, h});
            } else if (word == "history") {
                c.steps.push_back({Step::Kind::history, {}, rest == "none" ? -1 : std::stoi(rest)});
            } else if (word == "focus") {
                c.steps.push_back({Step::Kind::focus, {}, rest == "in" ? 1 : 0});
            } else if (word == "clear-dirty") {
                c.steps.push_back({Step::Kind::clearDirty});
            } else if (word == "clear-callbacks") {
                c.steps.push_back({Step::Kind::clearCallbacks});
            } else if (const auto block = rowBlocks.find(word); block != rowBlocks.end()) {
                rows = &(e.*block->second).emplace();
            } else if (const auto text = textDirectives.find(word); text != textDirectives.end()) {
                e.*text->second = rest;
            } else if (word == "payload") {
                std::istringstream xy(rest);
                int x = 0, y = 0;
                xy >> x >> y;
                e.payloads.push_back({{x, y}, quotedText(rest)});
            } else if (word == "cursor") {
                std::istringstream xy(rest);
                int x = 0, y = 0;
                xy >> x >> y;
                e.cursor = {x, y};
            } else if (word == "lines") {
                e.lines = std::stoll(rest);
            } else if (word == "alt") {
                e.alt = rest == "yes";
            } else if (word == "title") {
                e.title = quotedText(rest);
            } else if (word == "reply") {
                if (!e.replies) e.replies.emplace();
                e.replies->push_back(quotedText(rest));
            } else if (word == "replies" && rest == "none") {
                e.replies.emplace();
            } else if (word == "callback") {
                if (!e.callbacks) e.callbacks.emplace();
                e.callbacks->push_back(rest);
            } else if (word == "callbacks" && rest == "none") {
                e.callbacks.emplace();
            } else {
                throw std::runtime_error(path.string() + ":" + std::to_string(number) + ": unknown directive " + word);
            }
        }
    }
    return cases;
}

std::string colorText(const Attribute::Color& color)
{
    switch (color.kind()) {
    case Attribute::Color::Kind::ansi256: return std::to_string(color.code());
    case Attribute::Color::Kind::trueColor:
        return "rgb(" + std::to_string(color.red()) + "," + std::to_string(color.green()) + "," +
               std::to_string(color.blue()) + ")";
    case Attribute::Color::Kind::defaultInvertedColor: return "inverted";
    case Attribute::Color::Kind::defaultColor: break;
    }
    return "default";
}

std::string attributeText(const Attribute& attr)
{
    std::vector<std::string> parts;
    if (attr.fg != Attribute::Color::defaultColor()) parts.push_back("fg=" + colorText(attr.fg));
    if (attr.bg != Attribute::Color::defaultColor()) parts.push_back("bg=" + colorText(attr.bg));
    static const std::pair<CharacterStyle, const char*> names[] = {
        {CharacterStyle::bold, "bold"},     {CharacterStyle::dim, "dim"},
        {CharacterStyle::italic, "italic"}, {CharacterStyle::underline, "underline"},
        {CharacterStyle::blink, "blink"},   {CharacterStyle::inverse, "inverse"},
        {CharacterStyle::invisible, "invisible"}, {CharacterStyle::crossedOut, "crossedOut"},
    };
    for (const auto& [style, name] : names) {
        if (attr.style.contains(style)) parts.push_back(name);
    }
    static const char* const underlines[] = {"none", "single", "double", "curly", "dotted", "dashed"};
    if (attr.underlineStyle != UnderlineStyle::none) {
        parts.push_back(std::string("ul=") + underlines[static_cast<int>(attr.underlineStyle)]);
    }
    if (attr.underlineColor) parts.push_back("ulc=" + colorText(*attr.underlineColor));
    if (parts.empty()) return "default";
    std::string text = parts[0];
    for (size_t i = 1; i < parts.size(); ++i) text += " " + parts[i];
    return text;
}

// Each cell of the viewport as '.' (the blank value) or a letter per
// distinct value, in order of first appearance.
template <class Value>
std::vector<std::string> lettersOf(Buffer& buffer, Value (*valueOf)(const CharData&))
{
    std::vector<std::string> rows;
    std::vector<Value> seen;
    for (int r = 0; r < buffer.rows(); ++r) {
        const BufferLine& line = buffer.lines()[int64_t{buffer.yDisp()} + r];
        std::string row;
        for (int c = 0; c < buffer.cols(); ++c) {
            const Value value = c < line.count() ? valueOf(line[c]) : Value();
            if (value == Value()) {
                row += '.';
                continue;
            }
            auto at = std::find(seen.begin(), seen.end(), value);
            if (at == seen.end()) at = seen.insert(seen.end(), value);
            row += static_cast<char>('a' + (at - seen.begin()) % 26);
        }
        rows.push_back(row);
    }
    return rows;
}

uint16_t payloadOf(const CharData& cell) { return cell.payload.code; }
Attribute::Color backgroundOf(const CharData& cell) { return cell.attribute.bg; }

std::string lineText(Terminal& terminal, const BufferLine& line, int cols)
{
    std::string text;
    for (int c = 0; c < cols && c < line.count(); ++c) {
        const CharData& cell = line[c];
        if (cell.width == 0) continue;  // the second column of a wide character
        text += cell.code == 0 ? " " : terminal.character(cell.code);
    }
    return text;
}

// Ring lines [from, to) of the buffer as text.
std::vector<std::string> textOf(Terminal& terminal, Buffer& buffer, int64_t from, int64_t to)
{
    std::vector<std::string> rows;
    for (int64_t i = from; i < to; ++i) rows.push_back(lineText(terminal, buffer.lines()[i], buffer.cols()));
    return rows;
}

std::vector<std::string> rowsOf(Terminal& terminal, Buffer& buffer)
{
    return textOf(terminal, buffer, buffer.yDisp(), int64_t{buffer.yDisp()} + buffer.rows());
}

std::string wrappedOf(Buffer& buffer)
{
    std::string rows;
    for (int r = 0; r < buffer.rows(); ++r) {
        if (!buffer.lines()[int64_t{buffer.yBase()} + r].isWrapped) continue;
        rows += (rows.empty() ? "" : " ") + std::to_string(r);
    }
    return rows.empty() ? "none" : rows;
}

std::string rangeText(const std::optional<std::pair<int64_t, int64_t>>& range)
{
    return range ? std::to_string(range->first) + " " + std::to_string(range->second) : "none";
}

// Runs the case; the feed step holding input offset `splitAt` (counted over
// all feed steps) is handed to the terminal in two chunks split there.
Result run(const Case& c, size_t splitAt)
{
    corvel::testing::MainQueueScope main(true);
    const auto& queue = main.queue;
    Result result;
    {
        auto host = std::make_shared<corvel::testing::TestHost>();
        TerminalOptions options;
        options.cols = c.cols;
        options.rows = c.rows;
        options.scrollback = c.scrollback;
        if (c.termName) options.termName = *c.termName;
        if (c.palette) options.ansi256PaletteStrategy = *c.palette;
        options.enableSixelReported = c.sixel;
        host->trusted = c.trusted;
        Terminal terminal(host, options);
        host->events.clear();
        size_t offset = 0;
        for (const Step& step : c.steps) {
            switch (step.kind) {
            case Step::Kind::feed: {
                const std::string_view bytes = step.bytes;
                if (splitAt > offset && splitAt < offset + bytes.size()) {
                    terminal.feed(bytes.substr(0, splitAt - offset));
                    terminal.feed(bytes.substr(splitAt - offset));
                } else {
                    terminal.feed(bytes);
                }
                offset += bytes.size();
                break;
            }
            case Step::Kind::wait: queue->advance(Nanos{step.a} * 1'000'000); break;
            case Step::Kind::resize: terminal.resize(step.a, step.b); break;
            case Step::Kind::history:
                terminal.changeScrollback(step.a < 0 ? std::nullopt : std::optional<int>(step.a));
                break;
            case Step::Kind::focus: terminal.setTerminalFocus(step.a == 1); break;
            case Step::Kind::clearDirty: terminal.clearUpdateRange(); break;
            case Step::Kind::clearCallbacks: host->events.clear(); break;
            }
        }
        result.screen = rowsOf(terminal, terminal.displayBuffer());
        result.live = rowsOf(terminal, terminal.buffer());
        result.cursor = terminal.getCursorLocation();
        result.lines = terminal.buffer().lines().count();
        result.alt = terminal.isCurrentBufferAlternate();
        result.title = terminal.terminalTitle;
        result.dirty = rangeText(terminal.getUpdateRange());
        result.invariantDirty = rangeText(terminal.getScrollInvariantUpdateRange());
        result.replies = host->sent;
        result.callbacks = host->events;
        result.attr = attributeText(terminal.currentAttribute());
        result.links = lettersOf(terminal.buffer(), payloadOf);
        result.backgrounds = lettersOf(terminal.buffer(), backgroundOf);
        result.above = textOf(terminal, terminal.buffer(), 0, terminal.buffer().yBase());
        result.wrapped = wrappedOf(terminal.buffer());
        for (const auto& [at, text] : c.expect.payloads) {
            const auto cell = terminal.getCharData(at.first, at.second);
            const std::any value = cell ? cell->getPayload() : std::any();
            const auto* stored = std::any_cast<std::string>(&value);
            result.payloads.push_back(stored ? *stored : "(none)");
        }
    }
    return result;
}

std::vector<std::string> escaped(const std::vector<std::string>& values)
{
    std::vector<std::string> out;
    for (const auto& value : values) out.push_back(escape(value));
    return out;
}

// The expected rows followed by blank rows as wide as the actual ones.
std::vector<std::string> padded(std::vector<std::string> expected, const std::vector<std::string>& actual,
                                char blank = ' ')
{
    while (expected.size() < actual.size()) expected.push_back(std::string(actual[expected.size()].size(), blank));
    return expected;
}

void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.file << ":" << c.line << " " << c.name;
}

class EmulatorCases : public ::testing::TestWithParam<Case> {};

TEST_P(EmulatorCases, Run)
{
    const Case& c = GetParam();
    SCOPED_TRACE(c.file + ":" + std::to_string(c.line) + ": " + c.name);
    const Result whole = run(c, 0);
    const Expectations& e = c.expect;
    const auto check = [](const auto& actual, const auto& expected, const char* what) {
        if (expected) {
            EXPECT_EQ(actual, *expected) << what;
        }
    };
    // Expected rows left out at the bottom are blank.
    const auto checkRows = [](const std::vector<std::string>& actual, const Rows& expected, const char* what,
                              char blank = ' ') {
        if (expected) {
            EXPECT_EQ(actual, padded(*expected, actual, blank)) << what;
        }
    };
    checkRows(whole.screen, e.screen, "display buffer");
    checkRows(whole.live, e.live, "active buffer");
    check(whole.cursor, e.cursor, "cursor (x, y)");
    check(whole.lines, e.lines, "lines held by the active buffer");
    check(whole.alt, e.alt, "alternate screen active");
    check(whole.title, e.title, "title");
    check(whole.dirty, e.dirty, "dirty range");
    check(whole.invariantDirty, e.invariantDirty, "scroll-invariant dirty range");
    if (e.replies) {
        EXPECT_EQ(escaped(whole.replies), escaped(*e.replies)) << "one entry per host send";
    }
    check(whole.callbacks, e.callbacks, "callbacks");
    check(whole.attr, e.attr, "current attribute");
    checkRows(whole.links, e.links, "cells with a payload", '.');
    checkRows(whole.backgrounds, e.backgrounds, "cell backgrounds", '.');
    check(whole.above, e.above, "lines above the screen");
    check(whole.wrapped, e.wrapped, "rows that continue the row above");
    for (size_t k = 0; k < e.payloads.size(); ++k) {
        EXPECT_EQ(whole.payloads[k], e.payloads[k].second)
            << "payload at " << e.payloads[k].first.first << "," << e.payloads[k].first.second;
    }

    size_t total = 0;
    for (const Step& step : c.steps) total += step.bytes.size();
    for (size_t at = 1; at < total; ++at) {
        const Result split = run(c, at);
        if (split != whole) {
            // The first field that differs is enough to find the fault.
            EXPECT_EQ(std::tie(split.screen, split.live, split.cursor, split.callbacks, split.attr, split.links,
                               split.backgrounds, split.above, split.wrapped, split.dirty, split.invariantDirty),
                      std::tie(whole.screen, whole.live, whole.cursor, whole.callbacks, whole.attr, whole.links,
                               whole.backgrounds, whole.above, whole.wrapped, whole.dirty, whole.invariantDirty));
            EXPECT_EQ(escaped(split.replies), escaped(whole.replies)) << "input split at offset " << at;
            ADD_FAILURE() << "input split at offset " << at << " gives other results";
            break;
        }
    }
}

std::string caseName(const ::testing::TestParamInfo<Case>& info)
{
    // Test names take letters, digits and '_' only: file names like osc-colors.txt
    // and the case titles are mapped onto them.
    std::string name;
    for (char ch : info.param.file.substr(0, info.param.file.find('.')) + "_" + info.param.name) {
        name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Data, EmulatorCases, ::testing::ValuesIn(loadCases()), caseName);

}  // namespace
