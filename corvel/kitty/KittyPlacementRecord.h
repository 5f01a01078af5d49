// The protocol's record of one Kitty placement: ids, parent, offsets, the
// cell rectangle and the layer. The line images that draw it are kept on the
// buffer lines the placement covers. Two last fields are the holding
// terminal's bookkeeping, not the protocol's.
#pragma once

#include <cstdint>
#include <optional>

namespace corvel {

struct KittyPlacementRecord {
    uint32_t imageId = 0;
    uint32_t placementId = 0;
    // A placement is relative to a parent exactly when both parent ids are present.
    std::optional<uint32_t> parentImageId;
    std::optional<uint32_t> parentPlacementId;
    int64_t parentOffsetH = 0;
    int64_t parentOffsetV = 0;
    int64_t pixelOffsetX = 0;
    int64_t pixelOffsetY = 0;
    int64_t col = 0;  // left column
    int64_t row = 0;  // line index of the top line
    int64_t cols = 0;
    int64_t rows = 0;
    int64_t zIndex = 0;
    bool isVirtual = false;          // shown only through Unicode placeholder cells
    bool isAlternateBuffer = false;  // belongs to the alternate screen

    // When the terminal stored it: past the terminal's limit the oldest go first.
    uint64_t order = 0;
    // How much of its buffer's pending row shift `row` has had already.
    int64_t shiftMark = 0;
};

}  // namespace corvel
