// Shelf packing, growth and reset of the glyph atlas.
#include "corvel/gl/GlyphAtlas.h"

#include <algorithm>
#include <cstring>

namespace corvel::gl {

namespace {

TextureFormat textureFormat(GlyphAtlasFormat format)
{
    return format == GlyphAtlasFormat::bgra ? TextureFormat::bgra8 : TextureFormat::r8;
}

}  // namespace

std::unique_ptr<GlyphAtlas> GlyphAtlas::create(GpuDevice& device, int size, int maxSize, GlyphAtlasFormat format)
{
    const int start = std::max(size, 256);
    const int limit = std::max(start, std::min(maxSize, device.maxTextureSize()));
    const GpuHandle texture = device.createTexture(start, start, textureFormat(format));
    if (texture == 0) return nullptr;
    return std::unique_ptr<GlyphAtlas>(new GlyphAtlas(device, format, start, std::max(start, limit), texture));
}

GlyphAtlas::GlyphAtlas(GpuDevice& device, GlyphAtlasFormat format, int size, int maxSize, GpuHandle texture)
    : device_(device),
      format_(format),
      bytesPerPixel_(format == GlyphAtlasFormat::bgra ? 4 : 1),
      maxSize_(maxSize),
      size_(size),
      texture_(texture),
      data_(static_cast<std::size_t>(size) * size * bytesPerPixel_, 0)
{
}

GlyphAtlas::~GlyphAtlas() { device_.deleteTexture(texture_); }

std::optional<AtlasRegion> GlyphAtlas::reserve(int width, int height)
{
    if (width > size_ || height > size_) return std::nullopt;
    int x = nextX_;
    if (x + width > size_) {
        // A new shelf below the current one; kept even when the region then
        // does not fit, so growth accounts for it.
        nextX_ = 0;
        nextY_ += rowHeight_;
        rowHeight_ = 0;
        x = 0;
    }
    if (nextY_ + height > size_) return std::nullopt;
    AtlasRegion region{x, nextY_, width, height};
    nextX_ = x + width;
    rowHeight_ = std::max(rowHeight_, height);
    return region;
}

std::optional<AtlasRegion> GlyphAtlas::ensureRegion(int width, int height)
{
    didReset_ = false;
    if (width < 1 || height < 1) return std::nullopt;
    if (auto region = reserve(width, height)) return region;
    if (width > maxSize_ || height > maxSize_) return std::nullopt;

    int edge = size_;
    while (edge < maxSize_) {
        if (edge >= std::max(width, height) && edge >= nextY_ + height) break;
        edge *= 2;
    }
    edge = std::min(maxSize_, edge);
    if (edge <= size_) {
        reset();
        didReset_ = true;
        return reserve(width, height);
    }
    grow(edge);
    return reserve(width, height);
}

void GlyphAtlas::grow(int newSize)
{
    if (size_ >= newSize) return;
    const GpuHandle texture = device_.createTexture(newSize, newSize, textureFormat(format_));
    if (texture == 0) return;
    std::vector<std::uint8_t> data(static_cast<std::size_t>(newSize) * newSize * bytesPerPixel_, 0);
    const std::size_t oldStride = static_cast<std::size_t>(size_) * bytesPerPixel_;
    const std::size_t newStride = static_cast<std::size_t>(newSize) * bytesPerPixel_;
    for (int y = 0; y < size_; ++y) std::memcpy(&data[y * newStride], &data_[y * oldStride], oldStride);
    device_.deleteTexture(texture_);
    texture_ = texture;
    data_ = std::move(data);
    size_ = newSize;
    uploadAll();
}

void GlyphAtlas::reset()
{
    nextX_ = nextY_ = rowHeight_ = 0;
    std::fill(data_.begin(), data_.end(), std::uint8_t{0});
    uploadAll();
}

void GlyphAtlas::uploadAll() { device_.uploadTexture(texture_, 0, 0, size_, size_, data_.data(), size_); }

void GlyphAtlas::write(const AtlasRegion& region, std::span<const std::uint8_t> pixels, int width, int height)
{
    if (width != region.width || height != region.height) return;
    if (width < 1 || height < 1 || pixels.size() < static_cast<std::size_t>(width) * height * 4) return;
    if (region.x < 0 || region.y < 0 || region.x + width > size_ || region.y + height > size_) return;
    const std::size_t stride = static_cast<std::size_t>(size_) * bytesPerPixel_;
    const std::size_t sourceStride = static_cast<std::size_t>(width) * 4;
    for (int r = 0; r < height; ++r) {
        const std::uint8_t* source = pixels.data() + (height - 1 - r) * sourceStride;
        std::uint8_t* target = &data_[(region.y + r) * stride + region.x * bytesPerPixel_];
        if (format_ == GlyphAtlasFormat::bgra) {
            std::memcpy(target, source, sourceStride);
        } else {
            for (int c = 0; c < width; ++c) target[c] = source[c * 4 + 3];
        }
    }
    const std::size_t offset = region.y * stride + region.x * bytesPerPixel_;
    device_.uploadTexture(texture_, static_cast<int>(region.x), static_cast<int>(region.y), width, height,
                          data_.data() + offset, size_);
}

}  // namespace corvel::gl
