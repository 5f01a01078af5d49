// The options of one find: whether case counts, whether the term is a regular
// expression, and whether a match must stand as a whole word. A plain value;
// the application's search of an expanded cell passes all three false.
#pragma once

namespace corvel {

struct SearchOptions {
    bool caseSensitive = false;
    bool regex = false;
    bool wholeWord = false;

    bool operator==(const SearchOptions&) const = default;
};

}  // namespace corvel
