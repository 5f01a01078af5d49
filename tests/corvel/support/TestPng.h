// PNG bytes and files made from straight RGBA pixels with libpng, for tests
// of image decoding and of the image programs that read them.
#pragma once

#include <png.h>

#include <cstdint>
#include <string>
#include <vector>

namespace corvel::testing {

inline png_image pngImage(int width, int height)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGBA;
    return image;
}

// The encoded image; empty when libpng fails.
inline std::vector<uint8_t> encodePng(const std::vector<uint8_t>& rgba, int width, int height)
{
    png_image image = pngImage(width, height);
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr);
    std::vector<uint8_t> out(size);
    if (!png_image_write_to_memory(&image, out.data(), &size, 0, rgba.data(), 0, nullptr)) return {};
    out.resize(size);
    return out;
}

inline bool writePng(const std::string& path, const std::vector<uint8_t>& rgba, int width, int height)
{
    png_image image = pngImage(width, height);
    return png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), 0, nullptr) != 0;
}

}  // namespace corvel::testing
