// A holder for a platform image with an optional size in cells. The platform
// image is kept type-erased so that the core stays free of any toolkit type.
#pragma once

#include <any>
#include <cstdint>
#include <optional>
#include <utility>

namespace corvel {

class ImageCell {
public:
    explicit ImageCell(std::any image) : image(std::move(image)) {}

    std::any image;
    std::optional<int64_t> width;
    std::optional<int64_t> height;
};

}  // namespace corvel
