// A logical line assembled from the pieces of the wrapped rows it spans, built
// when text is extracted from the buffer.
#pragma once

#include "corvel/screen/Position.h"

#include <optional>
#include <string>
#include <vector>

namespace corvel {

// One piece of a logical line: text taken from one row.
struct LineFragment {
    std::optional<std::string> text;
    int line = 0;      // the row the piece comes from
    int location = 0;  // the column where the piece starts
    int length = 0;
};

class Line {
public:
    std::vector<LineFragment> fragments;
    int length = 0;  // the sum of the fragments' lengths
    // Row and column of the first fragment, set when it is added.
    std::optional<int> startLine;
    std::optional<int> startLocation;

    void add(const LineFragment& fragment);

    // The fragments' texts joined in order.
    std::string toString() const;

    // The index of the fragment that covers `position` (its row equals the
    // fragment's line and its column lies within the fragment), or -1.
    int getFragmentIndex(const Position& position) const;

    // "[]" for an empty line, else "count/length: [" followed by each
    // fragment's text (a lone line feed shown as \n) and "][".
    std::string debugDescription() const;
};

}  // namespace corvel
