// Text extraction: the text between two buffer positions for the clipboard and
// accessibility (wrapped rows joined, other row breaks as line feeds), and the
// dump of a whole buffer as encoded bytes.
//
// Only the columns inside the screen width are read: a buffer narrowed
// without scrollback keeps its longer lines, and the cells past the right
// edge are not part of the screen any more.
#include "corvel/terminal/Terminal.h"
#include "corvel/platform/Utf8.h"

#include <algorithm>
#include <string>
#include <vector>

namespace corvel {

namespace {

// The cells of `line` that lie on the screen.
std::span<const CharData> visibleCells(const BufferLine& line, const Buffer& buffer)
{
    return line.storage().first(static_cast<size_t>(std::clamp(buffer.cols(), 0, line.count())));
}

// The column after the last non-empty cell, counting its width.
int trimmedLength(std::span<const CharData> cells)
{
    const int limit = static_cast<int>(cells.size());
    for (int col = limit - 1; col >= 0; --col) {
        const CharData& cell = cells[static_cast<size_t>(col)];
        if (cell.code != 0) return std::min(col + std::max<int>(cell.width, 1), limit);
    }
    return 0;
}

bool isWideCompanion(std::span<const CharData> cells, int col)
{
    return col >= 1 && cells[static_cast<size_t>(col)].code == 0 && cells[static_cast<size_t>(col) - 1].width == 2;
}

// Whether a visible cell shows anything (a character, a style or a colour).
bool rowHasContent(const BufferLine& line, const Buffer& buffer)
{
    const auto limit = static_cast<int>(visibleCells(line, buffer).size());
    for (int col = 0; col < limit; ++col) {
        if (line.hasContent(col)) return true;
    }
    return false;
}

LineFragment lineBreak(int row)
{
    return LineFragment{std::string("\n"), row, -1, 1};
}

// Appends the text of columns start ..< end (-1: all) of a row's visible
// cells to `out` and returns the number of characters it added. Empty cells
// read as spaces; trailing ones are left out.
int appendLineText(const Terminal& terminal, std::string& out, std::span<const CharData> cells, int start, int end)
{
    if (end == -1) end = static_cast<int>(cells.size());
    const int stop = std::min(end, trimmedLength(cells));
    int characters = 0;
    for (int col = std::max(start, 0); col < stop; ++col) {
        if (isWideCompanion(cells, col)) continue;
        const CharData& cell = cells[static_cast<size_t>(col)];
        if (cell.code == 0) {
            out += ' ';
        } else if (cell.code < 0x80) {
            out += static_cast<char>(cell.code);
        } else if (cell.code < CharData::firstGraphemeId) {
            utf8::append(out, cell.getCharacter());
        } else {
            out += terminal.character(cell.code);
        }
        ++characters;
    }
    return characters;
}

}  // namespace

std::string Terminal::translateBufferLineToString(Buffer& buffer, int line, int start, int end)
{
    std::string text;
    if (line < 0 || line >= buffer.lines().count()) return text;
    appendLineText(*this, text, visibleCells(buffer.lines()[line], buffer), start, end);
    return text;
}

std::vector<Line> Terminal::_getSelectedLines(Position start, Position end, Buffer& buffer)
{
    std::vector<Line> lines(1);
    std::vector<LineFragment> pending;

    auto fragment = [&](int row, int startCol, int endCol) {
        LineFragment piece{std::string(), row, startCol, 0};
        piece.length = appendLineText(*this, *piece.text, visibleCells(buffer.lines()[row], buffer), startCol, endCol);
        return piece;
    };
    auto hasContent = [&](int row) { return rowHasContent(buffer.lines()[row], buffer); };
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
        const std::span<const CharData> cells = visibleCells(ring[index], source);
        const int stop = trimmedLength(cells);
        text.clear();
        for (int col = 0; col < stop; ++col) {
            if (isWideCompanion(cells, col)) continue;
            const CharData& cell = cells[static_cast<size_t>(col)];
            if (cell.code == 0) {
                text += U' ';
            } else if (cell.code < CharData::firstGraphemeId) {
                text += cell.getCharacter();
            } else {
                text += utf8::decode(character(cell.code));
            }
        }
        appendEncoded(data, text, encoding);
        appendEncoded(data, std::u32string_view(newline, 1), encoding);
    }
    return data;
}

}  // namespace corvel
