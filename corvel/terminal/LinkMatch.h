// What link detection found under a cell: the link's text, the columns it
// covers on the looked-up row, whether it came from an OSC 8 hyperlink, and
// every row it occupies with its columns (a URL may wrap across rows), so the
// host can underline exactly those cells.
#pragma once

#include <string>
#include <vector>

namespace corvel {

// A half-open range of columns.
struct ColumnRange {
    int lowerBound = 0;
    int upperBound = 0;

    int count() const { return upperBound - lowerBound; }
    bool isEmpty() const { return upperBound <= lowerBound; }
    bool contains(int col) const { return col >= lowerBound && col < upperBound; }
    bool operator==(const ColumnRange&) const = default;
};

struct LinkMatch {
    // The columns a link occupies on one buffer row.
    struct RowRange {
        int row = 0;
        ColumnRange range;
        bool operator==(const RowRange&) const = default;
    };

    std::string text;  // the OSC 8 URI, or the matched text of an implicit link
    int row = 0;       // buffer row of the looked-up cell
    ColumnRange range;  // the link's columns on `row`
    bool isExplicit = false;
    std::vector<RowRange> rowRanges;  // ascending rows

    bool operator==(const LinkMatch&) const = default;
};

}  // namespace corvel
