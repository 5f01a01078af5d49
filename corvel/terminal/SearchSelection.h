// The cells of one match as a range: `start` is its first cell, `end` the cell
// just after it (both a column and a ring index of the displayed buffer).
#pragma once

#include "corvel/screen/Position.h"

namespace corvel {

struct SearchSelection {
    Position start;
    Position end;

    bool operator==(const SearchSelection&) const = default;
};

}  // namespace corvel
