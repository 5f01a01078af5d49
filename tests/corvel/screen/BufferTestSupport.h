// Helpers for the screen buffer tests: a stand-in for the emulator's
// full-width scroll, and writing and reading text.
#pragma once

#include <string>
#include <vector>

#include "corvel/screen/Buffer.h"

namespace corvel::testing {

// The emulator's scroll for a region starting at the top row: a new bottom
// line (pushed, or the oldest one recycled), the viewport back at the bottom.
inline void installScroll(Buffer& buffer)
{
    buffer.scroll = [&buffer](bool isWrapped) {
        CircularBufferLineList& lines = buffer.lines();
        const int64_t bottomRow = int64_t{buffer.yBase()} + buffer.scrollBottom();
        const bool wasFull = lines.isFull();
        if (bottomRow != lines.count() - 1) {
            std::vector<BufferLine> items;
            items.push_back(buffer.getBlankLine(Attribute{}, isWrapped));
            lines.splice(bottomRow + 1, 0, std::move(items));
        } else if (wasFull) {
            lines.recycle(Attribute{});
            lines[lines.count() - 1].isWrapped = isWrapped;
        } else {
            lines.push(buffer.getBlankLine(Attribute{}, isWrapped));
        }
        if (!wasFull) buffer.setYBase(buffer.yBase() + 1);
        buffer.setYDisp(buffer.yBase());
    };
}

// A buffer with its rows filled, the scroll installed and autowrap on.
inline std::unique_ptr<Buffer> makeBuffer(int cols, int rows, std::optional<int> scrollback = 1000)
{
    auto buffer = std::make_unique<Buffer>(cols, rows, 8, scrollback);
    buffer->fillViewportRows();
    installScroll(*buffer);
    buffer->wraparound = true;
    return buffer;
}

inline int type(Buffer& buffer, const std::string& text, const Attribute& attribute = Attribute{})
{
    return buffer.insertAsciiRun(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()), attribute);
}

inline CharData wideCell(char32_t c, const Attribute& attribute = Attribute{})
{
    return CharData(attribute, static_cast<int32_t>(c), 2);
}

// Carriage return and line feed.
inline void newline(Buffer& buffer)
{
    buffer.setX(0);
    if (buffer.y() >= buffer.scrollBottom()) {
        buffer.scroll(false);
    } else {
        buffer.setY(buffer.y() + 1);
    }
}

// The text of ring line `row` without trailing empty cells, each wide character once.
inline std::string rowText(Buffer& buffer, int64_t row)
{
    return buffer.lines()[row].translateToString(true, 0, -1, true);
}

// The logical lines of ring lines [from, to): rows joined with the wrapped
// rows below them, without the gaps wide characters left at the edge.
inline std::vector<std::string> logicalLines(Buffer& buffer, int64_t from, int64_t to)
{
    std::vector<std::string> out;
    CircularBufferLineList& lines = buffer.lines();
    for (int64_t i = from; i < to; ++i) {
        const bool continued = i + 1 < to && lines[i + 1].isWrapped;
        const int end = continued ? Buffer::getWrappedLineTrimmedLength(lines[i], &lines[i + 1], buffer.cols())
                                  : lines[i].getTrimmedLength();
        const std::string text = lines[i].translateToString(false, 0, end, true);
        if (lines[i].isWrapped && i != from) {
            out.back() += text;
        } else {
            out.push_back(text);
        }
    }
    return out;
}

}  // namespace corvel::testing
