// Text of a terminal's lines and screen for assertions, and numbered lines to
// fill its history with.
#pragma once

#include "corvel/terminal/Terminal.h"

#include <string>
#include <vector>

namespace corvel::testing {

// The line's text, trailing blanks left out, grapheme ids resolved.
inline std::string lineText(Terminal& terminal, const BufferLine& line)
{
    return line.translateToString(true, 0, -1, false, [&](const CharData& c) { return terminal.getCharacter(c); });
}

// Every line the buffer holds, oldest first.
inline std::vector<std::string> allLines(Terminal& terminal, Buffer& buffer)
{
    std::vector<std::string> out;
    for (int64_t i = 0; i < buffer.lines().count(); ++i) out.push_back(lineText(terminal, buffer.lines()[i]));
    return out;
}

// The rows of the viewport as a pane capture prints them: empty cells as
// spaces, the second column of a wide character left out, trailing blanks
// dropped.
inline std::vector<std::string> screenRows(Terminal& terminal)
{
    std::vector<std::string> rows;
    for (int y = 0; y < terminal.rows(); ++y) {
        rows.push_back(terminal.getLine(y)->translateToString(true, 0, -1, true, [&](const CharData& c) {
            return c.code == 0 ? std::string(" ") : terminal.character(c.code);
        }));
    }
    return rows;
}

// The same rows, each ended by a line feed.
inline std::string screenText(Terminal& terminal)
{
    std::string text;
    for (const std::string& row : screenRows(terminal)) text += row + "\n";
    return text;
}

// Feeds "line from" ... "line to-1", each ended by CR LF.
inline void feedLines(Terminal& terminal, int from, int to)
{
    for (int i = from; i < to; ++i) terminal.feed("line " + std::to_string(i) + "\r\n");
}

}  // namespace corvel::testing
