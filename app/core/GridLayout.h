// Reordering of the grid (drag and drop onto a grid slot or a tile).
#pragma once

#include <algorithm>
#include <cstddef>
#include <iterator>

namespace tilebay::GridLayout {

// Moves the cell at `from` to position `to` of the list without it: `to` is
// clamped to [0, count after the removal], so any `to` at or beyond the
// shortened count places the cell last and a negative one places it first.
// Nothing changes when `from` equals `to` or `from` is not an index of the list.
// Works on any random-access list (the store's list of sessions, or a QList).
template <typename List>
void move(List& cells, std::ptrdiff_t from, std::ptrdiff_t to)
{
    const auto count = static_cast<std::ptrdiff_t>(std::size(cells));
    if (from == to || from < 0 || from >= count) return;
    const std::ptrdiff_t target = std::clamp<std::ptrdiff_t>(to, 0, count - 1);
    auto first = std::begin(cells);
    if (target > from)
        std::rotate(first + from, first + from + 1, first + target + 1);
    else if (target < from)
        std::rotate(first + target, first + from, first + from + 1);
}

}  // namespace tilebay::GridLayout
