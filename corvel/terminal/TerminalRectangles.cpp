// Rectangular-area commands (DECCRA, DECFRA, DECERA, DECSERA, DECRQCRA), the
// screen alignment pattern (DECALN) and the per-row render modes of double
// width and double height lines.
//
// Rectangles are given as 1-based, inclusive top, left, bottom and right
// parameters; they edit the cells of the active screen in place and never
// scroll. Each command widens the dirty range over the rows it wrote so the
// host redraws them.
#include "corvel/terminal/ListForm.h"
#include "corvel/terminal/Terminal.h"
#include "corvel/platform/Utf8.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <vector>

namespace corvel {

namespace {

// 0-based, inclusive screen coordinates.
struct Rectangle {
    int top = 0;
    int left = 0;
    int bottom = 0;
    int right = 0;
};

// The parameter at `index` when it was given; the parser never produces
// negative values, and any that arrive count as missing.
std::optional<int64_t> parameter(std::span<const int64_t> pars, size_t index)
{
    if (index >= pars.size() || pars[index] < 0) return std::nullopt;
    return pars[index];
}

bool isCollect(std::span<const uint8_t> collect, uint8_t byte)
{
    return collect.size() == 1 && collect[0] == byte;
}

// The rectangle of the first four parameters (top, left, bottom, right). A
// missing or 0 top or left means 1; a missing or 0 bottom or right means the
// last row or column, as on DEC terminals. In origin mode the coordinates
// count from the scroll region's top and the left margin. Absent when the
// area is empty.
std::optional<Rectangle> getRectangleFromRequest(std::span<const int64_t> pars, const Terminal& terminal)
{
    const int64_t rows = terminal.rows();
    const int64_t cols = terminal.cols();
    const Buffer& buffer = terminal.buffer();
    int64_t top = std::max<int64_t>(parameter(pars, 0).value_or(1), 1);
    int64_t left = std::max<int64_t>(parameter(pars, 1).value_or(1), 1);
    int64_t bottom = parameter(pars, 2).value_or(0);
    int64_t right = parameter(pars, 3).value_or(0);
    if (bottom == 0) bottom = rows;
    if (right == 0) right = cols;
    bottom = std::min(bottom, rows);
    right = std::min(right, cols);
    if (terminal.originMode) {
        top += buffer.scrollTop();
        bottom += buffer.scrollTop();
        left += buffer.marginLeft();
        right += buffer.marginLeft();
    }
    if (bottom < top || right < left) return std::nullopt;
    return Rectangle{
        static_cast<int>(std::min(top - 1, rows - 1)),
        static_cast<int>(std::min(left - 1, cols - 1)),
        static_cast<int>(std::min(bottom - 1, rows - 1)),
        static_cast<int>(std::min(right - 1, cols - 1)),
    };
}

BufferLine& screenLine(Terminal& terminal, int row)
{
    Buffer& buffer = terminal.buffer();
    return buffer.lines()[int64_t{buffer.yBase()} + row];
}

// Writes `change` over every cell of the rectangle and marks its rows dirty.
template <class F>
void forEachCell(Terminal& terminal, const Rectangle& rect, F&& change)
{
    for (int row = rect.top; row <= rect.bottom; ++row) {
        BufferLine& line = screenLine(terminal, row);
        for (int col = rect.left; col <= rect.right; ++col) line.modify(col, change);
    }
    terminal.updateRange(rect.top);
    terminal.updateRange(rect.bottom);
}

// DECFRA accepts printable characters only; controls (C0, DEL, C1) and values
// that are not Unicode scalars fill with spaces.
char32_t fillCharacter(int64_t value)
{
    const bool control = value < 0x20 || (value >= 0x7F && value < 0xA0);
    return control || !utf8::isScalar(value) ? U' ' : static_cast<char32_t>(value);
}

// DECERA: every cell becomes a space in the current attribute.
void cmdDECERA(Terminal& terminal, std::span<const int64_t> pars)
{
    const auto rect = getRectangleFromRequest(pars, terminal);
    if (!rect) return;
    const Attribute attribute = terminal.curAttr;
    const int32_t space = terminal.code(U' ');
    forEachCell(terminal, *rect, [&](CharData& cell) {
        cell = CharData(attribute, space, 1);
    });
}

// DECSERA: every cell becomes a space; its attribute and hyperlink stay. No
// cell carries a protection flag, so the whole area is erased.
void cmdSelectiveEraseRectangularArea(Terminal& terminal, std::span<const int64_t> pars)
{
    const auto rect = getRectangleFromRequest(pars, terminal);
    if (!rect) return;
    const int32_t space = terminal.code(U' ');
    forEachCell(terminal, *rect, [&](CharData& cell) {
        cell.code = space;
        cell.width = 1;
    });
}

}  // namespace

void Terminal::csiCopyRectangularArea(Params pars, Collect collect)
{
    if (!isCollect(collect, '$')) return;
    // Missing and 0 parameters take their defaults.
    auto value = [&](size_t index, int64_t fallback) {
        const int64_t given = parameter(pars, index).value_or(0);
        return given == 0 ? fallback : given;
    };
    const int64_t sourcePage = value(4, 1);
    const int64_t targetTop = value(5, 1);
    const int64_t targetLeft = value(6, 1);
    const int64_t targetPage = value(7, 1);
    // Only page 1 exists.
    if (sourcePage != 1 || targetPage != 1) return;

    const std::array<int64_t, 4> source{value(0, 1), value(1, 1), value(2, rows_), value(3, cols_)};
    const auto rect = getRectangleFromRequest(source, *this);
    if (!rect) return;

    // The target counts from the scroll region and the left margin in origin
    // mode, like the source.
    int64_t top = targetTop - 1;
    int64_t left = targetLeft - 1;
    if (originMode) {
        top += buffer_->scrollTop();
        left += buffer_->marginLeft();
    }
    const int dstTop = static_cast<int>(std::min<int64_t>(top, rows_ - 1));
    const int dstLeft = static_cast<int>(std::min<int64_t>(left, cols_ - 1));
    const int width = std::min(rect->right - rect->left + 1, cols_ - dstLeft);

    // Read every source row before writing, so overlapping areas copy the
    // earlier contents.
    std::vector<std::vector<CharData>> copied;
    copied.reserve(static_cast<size_t>(rect->bottom - rect->top + 1));
    for (int row = rect->top; row <= rect->bottom; ++row) {
        const BufferLine& line = screenLine(*this, row);
        std::vector<CharData>& cells = copied.emplace_back();
        cells.reserve(static_cast<size_t>(width));
        for (int col = 0; col < width; ++col) cells.push_back(line[rect->left + col]);
    }

    int lastRow = -1;
    for (size_t k = 0; k < copied.size(); ++k) {
        const int row = dstTop + static_cast<int>(k);
        if (row >= buffer_->rows()) break;
        BufferLine& line = screenLine(*this, row);
        for (int col = 0; col < width; ++col) line.set(dstLeft + col, copied[k][static_cast<size_t>(col)]);
        lastRow = row;
    }
    if (lastRow >= 0) {
        updateRange(dstTop);
        updateRange(lastRow);
    }
}

void Terminal::csiX(Params pars, Collect collect)
{
    if (!isCollect(collect, '$')) {
        if (!silentLog) {
            log("Not implemented CSI x with collect: collect=" + listForm(collect) + " and pars=" + listForm(pars));
        }
        return;
    }
    // DECFRA: Pch, then the rectangle.
    const char32_t fill = fillCharacter(pars.empty() ? 0 : pars[0]);
    const auto rect = getRectangleFromRequest(pars.subspan(std::min<size_t>(1, pars.size())), *this);
    if (!rect) return;
    const Attribute attribute = curAttr;
    forEachCell(*this, *rect, [&](CharData& cell) {
        cell = CharData(attribute, static_cast<int32_t>(fill), 1);
    });
}

void Terminal::csiZ(Params pars, Collect collect)
{
    if (isCollect(collect, '$')) {
        cmdDECERA(*this, pars);
    } else if (isCollect(collect, '\'')) {
        // Locator reporting is not implemented; the line says so whatever
        // `silentLog` says, its repeats held back.
        logAlways("TODO: Enable Locator Reporting (DECELR)");
    }
}

void Terminal::csiOpenBrace(Params pars, Collect collect)
{
    if (isCollect(collect, '$')) {
        cmdSelectiveEraseRectangularArea(*this, pars);
        return;
    }
    if (!silentLog) log("CSI # { not implemented - XTPUSHSGR with " + listForm(pars));
}

void Terminal::cmdDECRQCRA(Params pars)
{
    const int64_t id = pars.empty() ? 1 : pars[0];
    bool trusted = false;
    withDelegate([&](TerminalDelegate& d) { trusted = d.isProcessTrusted(*this); });

    uint32_t sum = 0;
    if (trusted && pars.size() >= 3) {
        if (const auto rect = getRectangleFromRequest(pars.subspan(2), *this)) {
            for (int row = rect->top; row <= rect->bottom; ++row) {
                const BufferLine& line = screenLine(*this, row);
                for (int col = rect->left; col <= rect->right; ++col) {
                    const int32_t code = line[col].code;
                    if (code == 0) {
                        sum += U' ';
                    } else if (code < CharData::firstGraphemeId) {
                        sum += static_cast<uint32_t>(line[col].getCharacter());
                    } else {
                        for (char32_t scalar : utf8::decode(character(code))) sum += static_cast<uint32_t>(scalar);
                    }
                }
            }
        }
    }
    // The checksum is a 16-bit value on DEC terminals: four hexadecimal digits.
    char text[8];
    std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(sum & 0xFFFF));
    sendResponse(cc.dcs(), std::to_string(id), "!~", std::string_view(text), cc.st());
}

void Terminal::cmdScreenAlignmentPattern()
{
    CharData fill(curAttr, code(U'E'), 1);
    fill.attribute.style = CharacterStyle::none;
    fill.attribute.underlineStyle = UnderlineStyle::none;
    setCursor(0, 0);
    for (int row = 0; row < rows_; ++row) {
        BufferLine& line = screenLine(*this, row);
        line.fill(fill);
        line.isWrapped = false;
    }
    updateFullScreen();
    setCursor(0, 0);
}

void Terminal::setLineRenderMode(BufferLine::RenderLineMode mode)
{
    screenLine(*this, buffer_->y()).renderMode = mode;
    updateRange(buffer_->y());
}

}  // namespace corvel
