// A decoded Kitty graphics image: either the encoded PNG data as received, or
// 8-bit RGBA pixels (4 bytes per pixel, premultiplied alpha last, rows from
// the top). The bytes are shared and immutable, so copying a payload is cheap.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace corvel {

struct KittyGraphicsPayload {
    enum class Kind : uint8_t { png, rgba };
    using Bytes = std::shared_ptr<const std::vector<uint8_t>>;

    Kind kind = Kind::png;
    Bytes bytes;         // the PNG data, or the RGBA pixels
    int64_t width = 0;   // pixels; `rgba` only
    int64_t height = 0;  // pixels; `rgba` only

    static KittyGraphicsPayload png(std::vector<uint8_t> data)
    {
        return {Kind::png, std::make_shared<const std::vector<uint8_t>>(std::move(data)), 0, 0};
    }
    static KittyGraphicsPayload rgba(std::vector<uint8_t> pixels, int64_t width, int64_t height)
    {
        return {Kind::rgba, std::make_shared<const std::vector<uint8_t>>(std::move(pixels)), width, height};
    }
};

}  // namespace corvel
