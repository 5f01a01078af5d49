// PNG reading through libpng's simplified interface.
#include "corvel/kitty/KittyGraphicsPng.h"

#include <png.h>

#include <new>

namespace corvel {

namespace {

constexpr int64_t kMaxSide = 10000;

// A PNG image with its header read; released with the object.
class PngReader {
public:
    explicit PngReader(std::span<const uint8_t> data)
    {
        image_.version = PNG_IMAGE_VERSION;
        ok_ = !data.empty() && png_image_begin_read_from_memory(&image_, data.data(), data.size()) != 0;
    }
    ~PngReader() { png_image_free(&image_); }
    PngReader(const PngReader&) = delete;
    PngReader& operator=(const PngReader&) = delete;

    bool ok() const { return ok_; }
    png_image& image() { return image_; }

private:
    png_image image_{};
    bool ok_ = false;
};

bool sideInRange(int64_t side)
{
    return side >= 1 && side <= kMaxSide;
}

}  // namespace

std::optional<KittyPixelSize> kittyPngPixelSize(std::span<const uint8_t> data)
{
    PngReader reader(data);
    if (!reader.ok()) return std::nullopt;
    return KittyPixelSize{reader.image().width, reader.image().height};
}

bool validateKittyPngDimensions(std::span<const uint8_t> data)
{
    const auto size = kittyPngPixelSize(data);
    return size && sideInRange(size->width) && sideInRange(size->height);
}

std::optional<KittyRgbaImage> decodePngToRgba(std::span<const uint8_t> data)
{
    PngReader reader(data);
    if (!reader.ok()) return std::nullopt;
    png_image& image = reader.image();
    if (!sideInRange(image.width) || !sideInRange(image.height)) return std::nullopt;
    image.format = PNG_FORMAT_RGBA;
    KittyRgbaImage result;
    result.width = image.width;
    result.height = image.height;
    // The header announces the size, up to 400 MB of pixels for a few bytes
    // of data: a bitmap the allocator refuses is a decode that failed.
    try {
        result.bytes.assign(PNG_IMAGE_SIZE(image), 0);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    if (png_image_finish_read(&image, nullptr, result.bytes.data(), 0, nullptr) == 0) return std::nullopt;
    premultiplyKittyRgba(result.bytes);
    return result;
}

void premultiplyKittyRgba(std::span<uint8_t> pixels)
{
    uint8_t* p = pixels.data();
    const size_t count = pixels.size() / 4;
    for (size_t i = 0; i < count; ++i, p += 4) {
        const uint32_t alpha = p[3];
        if (alpha == 255) continue;
        // x * alpha / 255, rounded to the nearest value, without a division.
        for (int channel = 0; channel < 3; ++channel) {
            const uint32_t product = p[channel] * alpha + 128;
            p[channel] = static_cast<uint8_t>((product + (product >> 8)) >> 8);
        }
    }
}

}  // namespace corvel
