// Describes the Kitty placement being shown while the host inserts its image;
// the terminal holds one only during a display call.
#pragma once

#include <cstdint>
#include <optional>

#include "corvel/screen/ImageSizeRequest.h"

namespace corvel {

struct KittyPlacementContext {
    std::optional<uint32_t> imageId;
    std::optional<uint32_t> imageNumber;
    std::optional<uint32_t> placementId;
    std::optional<uint32_t> parentImageId;
    std::optional<uint32_t> parentPlacementId;
    int64_t parentOffsetH = 0;
    int64_t parentOffsetV = 0;
    int64_t zIndex = 0;
    ImageSizeRequest widthRequest;
    ImageSizeRequest heightRequest;
    bool preserveAspectRatio = true;
    int64_t cursorPolicy = 0;  // 0 moves the cursor past the image
    bool isRelative = false;
    int64_t pixelOffsetX = 0;
    int64_t pixelOffsetY = 0;
};

}  // namespace corvel
