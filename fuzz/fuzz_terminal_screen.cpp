// Drives a small terminal with printing, cursor, scrolling, margin and
// erase/insert/delete commands chosen by the input, with sizes and counts
// that reach past every edge, and checks after each step that the cursor,
// the region, the margins and the lines stay consistent. The same stream fed
// in one piece and cut into chunks must leave the same screen.
#include "corvel/terminal/Terminal.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using corvel::Buffer;
using corvel::Terminal;
using corvel::TerminalDelegate;

class Host : public TerminalDelegate {
public:
    void send(Terminal&, std::span<const uint8_t>) override {}
};

// Text and controls, one of them per token.
const char* const kPieces[] = {
    "a", "xyz", "0123456789", "\xE4\xB8\xAD", "e\xCC\x81", "\xCC\x81", "\xF0\x9F\x91\x8D", "\xF0\x9F\x8F\xBD",
    "\xE2\x80\x8D", "\xF0\x9F\x87\xB0", "\xE2\x9D\xA4", "\xEF\xB8\x8F", "\xEF\xB8\x8E", "\xE2\x8C\x9A", "\xE1\x84\x80",
    "\xE1\x85\xA1", "\xE2\x82", "\xAC", "\xED\xA0\x80", "\x7F", "\x85", "\r", "\n", "\b", "\t", "\x0E", "\x0F",
    "\x1b" "D", "\x1b" "E", "\x1b" "M", "\x1b" "6", "\x1b" "9", "\x1b" "7", "\x1b" "8", "\x1b" "H", "\x1b(0",
    "\x1b(B", "\x1b)0", "\x1b[!p", "\x1b[?1049h", "\x1b[?1049l", "\x1b[?6h", "\x1b[?6l", "\x1b[?7h", "\x1b[?7l",
    "\x1b[?45h", "\x1b[?45l", "\x1b[?69h", "\x1b[?69l", "\x1b[4h", "\x1b[4l", "\x1b[44m", "\x1b[m",
};

// CSI finals that take counts or positions.
const char kFinals[] = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'Z', '`', 'a', 'd', 'e', 'f', 'S', 'T', 'J',
                        'K', 'X', '@', 'P', 'L', 'M', 'b', 'r', 's', 'g'};

const int64_t kCounts[] = {0, 1, 2, 3, 5, 9, 40, 1000, 922337203685477570};

std::string tokens(const uint8_t* data, size_t size)
{
    std::string out;
    for (size_t i = 0; i < size; ++i) {
        const uint8_t b = data[i];
        if (b < 0xA0 || i + 2 >= size) {
            out += kPieces[b % std::size(kPieces)];
            continue;
        }
        // A CSI sequence with up to two parameters, sometimes with an
        // intermediate byte in front of the final.
        const uint8_t p = data[++i];
        const uint8_t q = data[++i];
        out += "\x1b[" + std::to_string(kCounts[p % std::size(kCounts)]);
        if (p & 0x80) out += ";" + std::to_string(kCounts[q % std::size(kCounts)]);
        if (q & 0x80) out += (q & 0x40) ? "'" : " ";
        out += kFinals[b % std::size(kFinals)];
    }
    return out;
}

void check(bool condition)
{
    if (!condition) std::abort();
}

void checkConsistent(Terminal& terminal)
{
    Buffer& b = terminal.buffer();
    check(b.x() >= 0 && b.x() <= terminal.cols());
    check(b.y() >= 0 && b.y() < terminal.rows());
    check(b.scrollTop() >= 0 && b.scrollTop() <= b.scrollBottom() && b.scrollBottom() < terminal.rows());
    check(b.marginLeft() >= 0 && b.marginLeft() <= b.marginRight() && b.marginRight() < terminal.cols());
    check(int64_t{b.yBase()} + terminal.rows() <= b.lines().count());
    check(b.yDisp() >= 0 && b.yDisp() <= b.yBase());
    check(b.lines().count() <= b.lines().maxLength());
    for (int row = 0; row < terminal.rows(); ++row) {
        check(b.lines()[int64_t{b.yBase()} + row].count() == terminal.cols());
    }
}

std::vector<std::string> screen(Terminal& terminal)
{
    std::vector<std::string> rows;
    Buffer& b = terminal.buffer();
    for (int64_t i = 0; i < b.lines().count(); ++i) {
        const corvel::BufferLine& line = b.lines()[i];
        std::string text;
        for (int col = 0; col < line.count(); ++col) text += terminal.character(line[col].code) + ",";
        rows.push_back(text);
    }
    rows.push_back(std::to_string(b.x()) + "," + std::to_string(b.y()));
    return rows;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) return 0;
    corvel::TerminalOptions options;
    options.cols = 2 + data[0] % 9;
    options.rows = 1 + data[1] % 6;
    options.scrollback = 3;
    const std::string stream = tokens(data + 2, size - 2);
    // Work the terminals schedule on the main queue is drained after each
    // input, so it never piles up over a long run.
    static const auto mainQueue = [] {
        auto queue = std::make_shared<corvel::RunLoopQueue>(true);
        corvel::DispatchQueue::setMain(queue);
        return queue;
    }();
    struct Drain {
        corvel::RunLoopQueue& queue;
        ~Drain() { queue.advance(corvel::Nanos{3600} * 1'000'000'000); }
    } drain{*mainQueue};
    auto host = std::make_shared<Host>();

    Terminal whole(host, options);
    whole.feed(stream);
    checkConsistent(whole);

    Terminal pieces(host, options);
    const size_t step = 1 + data[1] % 5;
    for (size_t at = 0; at < stream.size(); at += step) {
        pieces.feed(std::string_view(stream).substr(at, step));
        checkConsistent(pieces);
    }
    check(screen(whole) == screen(pieces));
    return 0;
}
