// A range of text positions for the input-method side of the view: a
// location and a length, with `notFound` as the location of no range.
// A plain value.
#pragma once

#include <cstdint>
#include <limits>

namespace corvel {

struct TextRange {
    static constexpr int64_t notFound = std::numeric_limits<int64_t>::max();

    int64_t location = notFound;
    int64_t length = 0;

    bool operator==(const TextRange&) const = default;
};

}  // namespace corvel
