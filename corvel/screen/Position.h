// A column and row on the screen or in the scrollback (the caller says which),
// ordered by row first and then by column. Selection, search and link
// detection compare positions with it.
#pragma once

#include <string>

namespace corvel {

struct Position {
    int col = 0;
    int row = 0;

    enum class compareResult { before, after, equal };

    static compareResult compare(const Position& a, const Position& b)
    {
        if (a.row != b.row) return a.row < b.row ? compareResult::before : compareResult::after;
        if (a.col != b.col) return a.col < b.col ? compareResult::before : compareResult::after;
        return compareResult::equal;
    }

    bool operator==(const Position&) const = default;

    // "col=3 row=7"
    std::string debugDescription() const
    {
        return "col=" + std::to_string(col) + " row=" + std::to_string(row);
    }
};

}  // namespace corvel
