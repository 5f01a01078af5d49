// One match of a search, in cells of the displayed buffer. `row` is a ring
// index counted from the oldest scrollback line, `col` the first cell of the
// match, and `size` the number of cells from that cell to the end of the
// match, counting the terminal's width once for every row boundary crossed
// (a wide character counts two cells). `term` is the text that matched: the
// search term for a plain search, the matched text for a regular expression.
#pragma once

#include <string>

namespace corvel {

struct SearchResult {
    std::string term;
    int col = 0;
    int row = 0;
    int size = 0;

    bool operator==(const SearchResult&) const = default;
};

}  // namespace corvel
