// Selection columns, cell payloads and link-highlight invalidation.
#include "corvel/qt/LineQueries.h"

#include <algorithm>
#include <any>
#include <set>

#include "corvel/terminal/Terminal.h"

namespace corvel::qt {

std::optional<ColumnRange> selectedColumnsRange(Position start, Position end, int row, int cols)
{
    const int last = cols - 1;
    int location = 0;
    int length = 0;
    if (start.row == end.row) {
        if (row != start.row) return std::nullopt;
        if (start.col < end.col) {
            location = start.col;
            length = end.col - start.col + (end.col == last ? 1 : 0);
        } else if (end.col < start.col) {
            // Made leftward: the anchor column is the far end, included when
            // it is the last column, as for a leftward selection over rows.
            location = end.col;
            length = start.col - end.col + (start.col == last ? 1 : 0);
        }
    } else {
        const Position& top = start.row < end.row ? start : end;
        const Position& bottom = start.row < end.row ? end : start;
        if (row == top.row) {
            location = top.col;
            length = cols - top.col;
        } else if (row > top.row && row < bottom.row) {
            location = 0;
            length = cols;
        } else if (row == bottom.row) {
            location = 0;
            length = bottom.col + (bottom.col == last ? 1 : 0);
        }
    }
    if (length == 0) return std::nullopt;
    const int lower = std::clamp(location, 0, std::max(cols, 0));
    const int upper = std::min(location + length, cols);
    if (lower >= upper) return std::nullopt;
    return ColumnRange{lower, upper};
}

std::optional<std::string> payloadString(Terminal& terminal, Position at)
{
    Buffer& buffer = terminal.displayBuffer();
    if (at.row < 0 || at.row >= buffer.lines().count()) return std::nullopt;
    const BufferLine& line = buffer.lines()[at.row];
    const int limit = std::min(line.count(), terminal.cols());
    if (limit < 1) return std::nullopt;
    const int col = std::clamp(at.col, 0, limit - 1);
    auto textOf = [](const CharData& cell) -> std::optional<std::string> {
        const std::any payload = cell.getPayload();
        if (const auto* text = std::any_cast<std::string>(&payload)) return *text;
        return std::nullopt;
    };
    const CharData& cell = line[col];
    if (auto text = textOf(cell)) return text;
    if (cell.code == 0 && col > 0 && line[col - 1].width == 2) return textOf(line[col - 1]);
    return std::nullopt;
}

void invalidateLinkHighlight(Terminal& terminal, const std::optional<std::vector<LinkMatch::RowRange>>& oldRange,
                             const std::optional<std::vector<LinkMatch::RowRange>>& newRange)
{
    std::set<int> rows;
    for (const auto* list : {&oldRange, &newRange}) {
        if (!*list) continue;
        for (const auto& r : **list) rows.insert(r.row);
    }
    Buffer& display = terminal.displayBuffer();
    for (int row : rows) {
        const int screenRow = row - display.yDisp();
        if (screenRow >= 0 && screenRow < terminal.rows()) terminal.updateRange(display, screenRow);
    }
}

}  // namespace corvel::qt
