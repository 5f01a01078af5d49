// Drives a small terminal with rectangle commands, line attributes, window
// requests, OSC 8 links and URL-like text chosen by the input, at sizes and
// parameters that reach past every edge, then looks up links, extracts text
// and sends mouse reports at positions the input picks. Checks that every
// link found lies on the cells it names and that every mouse report is well
// formed for its encoding.
#include "corvel/terminal/Terminal.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using corvel::Terminal;

class Host : public corvel::TerminalDelegate {
public:
    std::vector<std::string> sent;
    void send(Terminal&, std::span<const uint8_t> data) override { sent.emplace_back(data.begin(), data.end()); }
    std::optional<std::vector<uint8_t>> windowCommand(Terminal&, const corvel::WindowManipulationCommand&) override
    {
        return std::nullopt;
    }
};

const char* const kPieces[] = {
    "https://example.com/a/b.html", "see ./x/y.txt, ", "~/notes/", "$HOME/bin", "http://[::1", "a/b.c", " ", "..",
    "\xE4\xB8\xAD", "e\xCC\x81", "\xF0\x9F\x91\x8D", "\r\n", "\n", "\x1b]8;id=1;http://l.example\x1b\\",
    "\x1b]8;;\x1b\\", "\x1b]8;nosemicolon\x1b\\", "\x1b#3", "\x1b#4", "\x1b#5", "\x1b#6", "\x1b#8", "\x1b[?6h",
    "\x1b[?6l", "\x1b[?69h", "\x1b[?69l", "\x1b[2;5s", "\x1b[2;3r", "\x1b[r", "\x1b[?2026h", "\x1b[?2026l",
    "\x1b[22;0t", "\x1b[23;0t", "\x1b[14t", "\x1b[21t", "\x1b[22;1t", "\x1b[23;2t", "\x1b[3J", "\x1b[H",
};
// Rectangle commands that take parameters from the input.
const char* const kFinals[] = {"$x", "$z", "${", "$v", "*y", "t"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) return 0;
    auto host = std::make_shared<Host>();
    corvel::TerminalOptions options;
    options.cols = 2 + data[0] % 30;
    options.rows = 1 + data[1] % 8;
    options.scrollback = 6;
    Terminal terminal(host, options);
    size_t i = 2;
    auto next = [&]() -> unsigned { return i < size ? data[i++] : 0; };

    while (i < size) {
        const unsigned token = next();
        if (token < 160) {
            terminal.feed(kPieces[token % std::size(kPieces)]);
        } else if (token < 240) {
            std::string sequence = "\x1b[";
            const unsigned count = next() % 9;
            for (unsigned p = 0; p < count; ++p) {
                if (p > 0) sequence += ';';
                const unsigned value = next();
                sequence += std::to_string(value < 200 ? value % 40 : value * 4099);
            }
            sequence += kFinals[token % std::size(kFinals)];
            terminal.feed(sequence);
        } else if (token < 248) {
            terminal.resize(1 + next() % 40, 1 + next() % 10);
        } else {
            terminal.changeScrollback(next() % 2 ? std::optional<int>(next() % 10) : std::nullopt);
        }
    }

    corvel::Buffer& shown = terminal.displayBuffer();
    const auto count = static_cast<int>(shown.lines().count());
    for (size_t probe = 0; probe < size && probe < 24; ++probe) {
        const int col = static_cast<int>(data[probe] % 48) - 4;
        const int row = static_cast<int>(data[size - 1 - probe] % 24) - 4;
        using Mode = Terminal::LinkLookupMode;
        const auto mode = probe % 2 ? Mode::explicitOnly : Mode::explicitAndImplicit;
        const auto match = terminal.linkMatch(corvel::LinkLookupLocation::buffer({col, row}), mode);
        if (match) {
            if (match->text.empty() && !match->isExplicit) std::abort();
            if (match->row < 0 || match->row >= count || match->range.isEmpty()) std::abort();
            if (match->range.lowerBound < 0 || match->range.upperBound > terminal.cols() + 1) std::abort();
            bool onRow = false;
            int previous = -1;
            for (const auto& part : match->rowRanges) {
                if (part.row <= previous || part.range.isEmpty()) std::abort();
                previous = part.row;
                if (part.row == match->row) onRow = part.range == match->range;
            }
            if (!onRow) std::abort();
        }
        (void)terminal.getDisplayText({col, row}, {col * 3, row + 5});
    }
    using corvel::TextEncoding;
    for (auto encoding : {TextEncoding::utf8, TextEncoding::ascii, TextEncoding::utf16BigEndian}) {
        (void)terminal.getBufferAsData(Terminal::BufferKind::active, encoding);
    }

    // Mouse reports in every encoding: the three-byte and two-byte forms must
    // keep their length, whatever the values.
    for (int protocol = 0; protocol < 5; ++protocol) {
        terminal.mouseProtocol = static_cast<Terminal::MouseProtocolEncoding>(protocol);
        host->sent.clear();
        const int b = static_cast<int>(data[protocol % size]) * 3 - 20;
        const int x = static_cast<int>(data[(protocol + 1) % size]) * 11 - 40;
        const int y = static_cast<int>(data[(protocol + 2) % size]) * 9 - 30;
        terminal.sendEvent(b, x, y, x * 7, y * 13);
        if (host->sent.empty()) continue;
        const std::string& report = host->sent.back();
        if (protocol == 0 && report.size() != 6) std::abort();
        if (report.size() < 3 || report.rfind("\x1b[", 0) != 0) std::abort();
    }
    return 0;
}
