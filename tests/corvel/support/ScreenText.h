// Text of a terminal's lines for assertions, and numbered lines to fill its
// history with.
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

// Feeds "line from" ... "line to-1", each ended by CR LF.
inline void feedLines(Terminal& terminal, int from, int to)
{
    for (int i = from; i < to; ++i) terminal.feed("line " + std::to_string(i) + "\r\n");
}

}  // namespace corvel::testing
