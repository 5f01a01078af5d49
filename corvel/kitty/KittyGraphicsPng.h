// PNG data of Kitty graphics transmissions: its pixel size and its pixels.
// Stateless; callable from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace corvel {

struct KittyPixelSize {
    int64_t width = 0;
    int64_t height = 0;
    bool operator==(const KittyPixelSize&) const = default;
};

struct KittyRgbaImage {
    std::vector<uint8_t> bytes;  // 4 bytes per pixel, premultiplied, rows from the top
    int64_t width = 0;
    int64_t height = 0;
};

// The pixel size from the PNG header, without bounds; none when the data is
// not PNG.
std::optional<KittyPixelSize> kittyPngPixelSize(std::span<const uint8_t> data);

// True when the data is PNG and both sides are 1 to 10000 pixels.
bool validateKittyPngDimensions(std::span<const uint8_t> data);

// The decoded pixels (alpha premultiplied); none when the data does not
// decode, a side is outside 1 to 10000 or the bitmap finds no room.
std::optional<KittyRgbaImage> decodePngToRgba(std::span<const uint8_t> data);

// Multiplies each pixel's colour by its alpha (straight to premultiplied), in
// place; 4 bytes per pixel, alpha last.
void premultiplyKittyRgba(std::span<uint8_t> pixels);

}  // namespace corvel
