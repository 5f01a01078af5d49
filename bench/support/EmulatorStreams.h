// Byte streams that the emulator benchmarks feed, each about 1 MiB per pass,
// for an 80x24 screen:
//   plainScroll    printable ASCII lines that scroll the whole screen;
//   cursorMotion   a cursor position sequence before every other character,
//                  as full-screen programs redraw;
//   mixedUnicode   Hangul, Han, emoji with skin tones and joiners, flags,
//                  letters with combining marks, scrolling;
//   regionScroll   lines scrolling inside a scroll region over the top half;
//   sgrDense       every cell with its own bold, palette and direct colours.
// Header-only; shared by the emulator's own and the side-by-side benchmarks.
#pragma once

#include <cstdint>
#include <iterator>
#include <string>

namespace bench {

constexpr size_t kStreamTarget = 1 << 20;  // about this many bytes per pass

struct Stream {
    std::string setup;  // fed once before timing
    std::string bytes;  // one pass
    int64_t lines = 0;  // lines of text in one pass
};

inline Stream plainScroll()
{
    Stream s;
    const std::string words = "the quick brown fox jumps over the lazy dog 0123456789 ";
    for (int i = 0; s.bytes.size() < kStreamTarget; ++i) {
        std::string line = "line " + std::to_string(i) + " " + words + words;
        line.resize(72);
        s.bytes += line + "\r\n";
        ++s.lines;
    }
    return s;
}

inline Stream cursorMotion()
{
    Stream s;
    const std::string letters = "abcdefghijklmnopqrstuvwxyz";
    for (int i = 0; s.bytes.size() < kStreamTarget; ++i) {
        const int row = i % 24 + 1;
        for (int col = 1; col <= 80; col += 2) {
            s.bytes += "\x1b[" + std::to_string(row) + ";" + std::to_string(col) + "H";
            s.bytes += letters[static_cast<size_t>(col + i) % letters.size()];
        }
        ++s.lines;
    }
    return s;
}

inline Stream mixedUnicode()
{
    Stream s;
    // 80 columns or fewer per line: Hangul and Han take two columns each.
    const std::string pieces[] = {
        "한글 텍스트 ",
        "漢字と仮名 ",
        "\U0001F44D\U0001F3FD ",
        "\U0001F468\u200D\U0001F469\u200D\U0001F467 ",
        "\U0001F1F0\U0001F1F7 ",
        "cafe\u0301 re\u0301sume\u0301 ",
        "\u2764\uFE0F ",
        "plain ascii words ",
    };
    for (int i = 0; s.bytes.size() < kStreamTarget; ++i) {
        std::string line;
        for (int k = 0; k < 5; ++k) line += pieces[static_cast<size_t>(i + k) % std::size(pieces)];
        s.bytes += line + "\r\n";
        ++s.lines;
    }
    return s;
}

inline Stream regionScroll()
{
    Stream s = plainScroll();
    s.setup = "\x1b[1;12r\x1b[12;1H";
    return s;
}

inline Stream sgrDense()
{
    Stream s;
    for (int i = 0; s.bytes.size() < kStreamTarget; ++i) {
        for (int col = 0; col < 40; ++col) {
            const int n = (i + col) % 200;
            s.bytes += "\x1b[1;38;5;" + std::to_string(16 + n) + ";48;2;" + std::to_string(n) + ";20;30mX";
        }
        s.bytes += "\x1b[m\r\n";
        ++s.lines;
    }
    return s;
}

}  // namespace bench
