// Text extraction: the text between two buffer positions for the clipboard and
// accessibility (wrapped rows joined, other row breaks as line feeds), and the
// dump of a whole buffer as encoded bytes.
//
// Only the columns inside the screen width are read: a buffer narrowed
// without scrollback keeps its longer lines, and the cells past the right
// edge are not part of the screen any more.
#include "corvel/Terminal.h"
#include "corvel/platform/Utf8.h"

#include <algorithm>
#include <string>
#include <vector>

namespace corvel {

namespace {

// The cells of `line` that lie on the screen.
int visibleCells(const BufferLine& line, const Buffer& buffer)
{
    return std::min(line.count(), buffer.cols());
}

// The column after the last non-empty visible cell, counting its width.
int trimmedVisibleLength(const BufferLine& line, int limit)
{
    for (int col = limit - 1; col >= 0; --col) {
        const CharData& cell = line[col];
        if (cell.code != 0) return std::min(col + std::max<int>(cell.width, 1), limit);
    }
    return 0;
}

bool isWideCompanion(const BufferLine& line, int col)
{
    return col >= 1 && line[col].code == 0 && line[col - 1].width == 2;
}

bool rowHasContent(const BufferLine& line, int limit)
{
    for (int col = 0; col < limit; ++col) {
        if (line.hasContent(col)) return true;
    }
    return false;
}

LineFragment lineBreak(int row)
{
    return LineFragment{std::string("\n"), row, -1, 1};
}

// Appends the text of columns start ..< end of one line to `out` and returns
// the number of characters it added.
int appendLineText(const Terminal& terminal, std::string& out, const BufferLine& line, int limit, int start,
                          int end)
{
    if (end == -1) end = limit;
    const int stop = std::min(end, trimmedVisibleLength(line, limit));
    int characters = 0;
    for (int col = std::max(start, 0); col < stop; ++col) {
        if (isWideCompanion(line, col)) continue;
        const int32_t code = line[col].code;
        if (code == 0) {
            out += ' ';
        } else if (code < CharData::firstGraphemeId) {
            utf8::append(out, line[col].getCharacter());
        } else {
            out += terminal.character(code);
        }
        ++characters;
    }
    return characters;
}

}  // namespace

std::string Terminal::translateBufferLineToString(Buffer& buffer, int line, int start, int end)
{
    const BufferLine& row = buffer.lines()[line];
    std::string text;
    appendLineText(*this, text, row, visibleCells(row, buffer), start, end);
    return text;
}

std::vector<Line> Terminal::_getSelectedLines(Position start, Position end, Buffer& buffer)
{
    std::vector<Line> lines(1);
    std::vector<LineFragment> pending;

    auto fragment = [&](int row, int startCol, int endCol) {
        const BufferLine& line = buffer.lines()[row];
        LineFragment piece{std::string(), row, startCol, 0};
        piece.length = appendLineText(*this, *piece.text, line, visibleCells(line, buffer), startCol, endCol);
        return piece;
    };
    auto hasContent = [&](int row) {
        const BufferLine& line = buffer.lines()[row];
        return rowHasContent(line, visibleCells(line, buffer));
    };
    // Blank rows between rows with content each become a line of their own.
    auto flush = [&] {
        for (size_t i = 0; i < pending.size(); ++i) {
            if (i > 0 && pending[i].line != pending[i - 1].line) lines.emplace_back();
            lines.back().add(pending[i]);
        }
        pending.clear();
    };
    auto beginRow = [&](int row) {
        flush();
        if (!buffer.lines()[row].isWrapped) {
            lines.back().add(lineBreak(row - 1));
            lines.emplace_back();
        }
    };

    const bool singleRow = end.row == start.row;
    if (hasContent(start.row)) lines.back().add(fragment(start.row, start.col, singleRow ? end.col : -1));

    for (int row = start.row + 1; row < end.row; ++row) {
        if (!hasContent(row)) {
            if (!buffer.lines()[row].isWrapped) pending.push_back(lineBreak(row - 1));
            pending.push_back(fragment(row, 0, -1));
            continue;
        }
        beginRow(row);
        lines.back().add(fragment(row, 0, -1));
    }

    // Blank rows at the end of the range add nothing.
    if (!singleRow && hasContent(end.row)) {
        beginRow(end.row);
        lines.back().add(fragment(end.row, 0, end.col));
    }
    return lines;
}

namespace {

std::string textBetween(Terminal& terminal, Buffer& buffer, Position start, Position end)
{
    if (Position::compare(end, start) == Position::compareResult::before) std::swap(start, end);
    if (start == end) return {};
    const int64_t count = buffer.lines().count();
    if (start.row < 0 || start.row >= count) return {};
    end.row = static_cast<int>(std::min<int64_t>(end.row, count - 1));
    std::string text;
    for (const Line& line : terminal._getSelectedLines(start, end, buffer)) {
        for (const LineFragment& piece : line.fragments) {
            if (piece.text) text += *piece.text;
        }
    }
    return text;
}

}  // namespace

std::string Terminal::getText(Position start, Position end)
{
    return textBetween(*this, *buffer_, start, end);
}

std::string Terminal::getDisplayText(Position start, Position end)
{
    return textBetween(*this, displayBuffer(), start, end);
}

std::vector<uint8_t> Terminal::getBufferAsData(BufferKind kind, TextEncoding encoding)
{
    Buffer& source = kind == BufferKind::active ? *buffer_
                     : kind == BufferKind::normal ? *normalBuffer_
                                                  : *altBuffer_;
    std::vector<uint8_t> data;
    CircularBufferLineList& ring = source.lines();
    std::u32string text;
    static constexpr char32_t newline[] = {U'\n'};
    for (int64_t index = 0; index < ring.count(); ++index) {
        const BufferLine& line = ring[index];
        const int limit = visibleCells(line, source);
        const int stop = trimmedVisibleLength(line, limit);
        text.clear();
        for (int col = 0; col < stop; ++col) {
            if (isWideCompanion(line, col)) continue;
            const int32_t code = line[col].code;
            if (code == 0) {
                text += U' ';
            } else if (code < CharData::firstGraphemeId) {
                text += line[col].getCharacter();
            } else {
                text += utf8::decode(character(code));
            }
        }
        appendEncoded(data, text, encoding);
        appendEncoded(data, std::u32string_view(newline, 1), encoding);
    }
    return data;
}

}  // namespace corvel
