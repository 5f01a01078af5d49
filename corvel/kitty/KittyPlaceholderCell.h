// A cell holding the Kitty placeholder character, decoded: which piece of
// which image it shows.
#pragma once

#include <cstdint>

namespace corvel {

struct KittyPlaceholderCell {
    int64_t row = 0;  // screen row of the cell
    int64_t col = 0;  // column of the cell
    uint32_t imageId = 0;
    uint32_t placementId = 0;  // 0 means any placement
    int64_t placeholderRow = 0;
    int64_t placeholderCol = 0;
    int64_t msb = 0;  // index of the diacritic that gives the image id's high byte

    constexpr bool operator==(const KittyPlaceholderCell&) const = default;
};

}  // namespace corvel
