// The sixel decoder's two passes; see SixelDcsHandler.h for the reading rules
// and the bounds. Invariants kept here: 0 <= x, y <= maxSide at all times,
// and during painting the bitmap is maxX x maxY pixels with maxX, maxY <=
// maxSide, so every index written lies inside it.
#include "corvel/kitty/SixelDcsHandler.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <new>
#include <utility>

namespace corvel {

namespace {

constexpr uint8_t kSixelFirst = 0x3F;
constexpr uint8_t kSixelLast = 0x7E;

bool isDigit(uint8_t byte)
{
    return byte >= '0' && byte <= '9';
}

// Reads the digits from `at`; `end` gets the first byte after them. The value
// saturates at `limit`.
int64_t readNumber(std::span<const uint8_t> bytes, size_t at, size_t& end, int64_t limit)
{
    int64_t value = 0;
    while (at < bytes.size() && isDigit(bytes[at])) {
        value = std::min(limit, value * 10 + (bytes[at] - '0'));
        ++at;
    }
    end = at;
    return value;
}

uint32_t packRgba(uint8_t r, uint8_t g, uint8_t b)
{
    return (uint32_t(r) << 24) | (uint32_t(g) << 16) | (uint32_t(b) << 8) | 0xFF;
}

}  // namespace

SixelDcsHandler::SixelDcsHandler(std::span<const Color> defaultColors, ImageSink sink) : sink_(std::move(sink))
{
    defaults_.reserve(defaultColors.size());
    for (const Color& c : defaultColors) {
        defaults_.push_back(packRgba(uint8_t(c.red >> 8), uint8_t(c.green >> 8), uint8_t(c.blue >> 8)));
    }
}

void SixelDcsHandler::hook(std::span<const uint8_t>, std::span<const int64_t>, uint8_t)
{
    data.clear();
    dropped_ = false;
}

void SixelDcsHandler::put(std::span<const uint8_t> bytes)
{
    if (dropped_) return;
    try {
        data.insert(data.end(), bytes.begin(), bytes.end());
    } catch (const std::bad_alloc&) {
        dropped_ = true;
        std::vector<uint8_t>().swap(data);
    }
}

void SixelDcsHandler::unhook()
{
    bool decoded = false;
    if (!dropped_) {
        try {
            palette.clear();
            x = y = maxX = maxY = 0;
            walk(false);
            pixels.assign(static_cast<size_t>(maxX * maxY * 4), 0);
            x = y = 0;
            paintBudget_ = 6 * static_cast<int64_t>(data.size()) + maxOverpaint * maxX * maxY;
            walk(true);
            decoded = true;
        } catch (const std::bad_alloc&) {
            // A few bytes of data can measure a bitmap of 400 MB: when there is
            // no room for it the image is dropped, and the terminal runs on.
        }
    }
    if (decoded && sink_) {
        try {
            sink_(pixels, static_cast<int>(maxX), static_cast<int>(maxY));
        } catch (const std::bad_alloc&) {
            // The sink found no room for the image (the host's copy of it):
            // the image is dropped like one that does not decode, and the
            // parser goes on with the bytes after the string.
        }
    }
    // The handler stays with the parser until the next string: what this
    // image needed is not kept that long.
    std::vector<uint8_t>().swap(pixels);
    std::vector<uint8_t>().swap(data);
    std::vector<uint32_t>().swap(palette);
}

uint8_t SixelDcsHandler::pctToByte(int64_t percent)
{
    return static_cast<uint8_t>(std::clamp<int64_t>(percent, 0, 100) * 255 / 100);
}

uint32_t SixelDcsHandler::hls_to_rgb(int64_t hue, int64_t lum, int64_t sat)
{
    if (sat == 0) {
        const uint32_t v = pctToByte(lum);
        return (v << 16) | (v << 8) | v;
    }
    const int64_t h = (hue + 240) % 360;
    const double l = static_cast<double>(lum);
    const double k = (1.0 - std::fabs(2.0 * l / 100.0 - 1.0)) * static_cast<double>(sat) * 0.5;
    const double hi = l + k;
    const double lo = l - k;
    const int64_t sector = h / 60;
    const double f = static_cast<double>(h - 60 * sector) / 60.0;
    double r = 0, g = 0, b = 0;
    switch (sector) {
    case 0: r = hi, g = lo + f * (hi - lo), b = lo; break;
    case 1: r = lo + (1 - f) * (hi - lo), g = hi, b = lo; break;
    case 2: r = lo, g = hi, b = lo + f * (hi - lo); break;
    case 3: r = lo, g = lo + (1 - f) * (hi - lo), b = hi; break;
    case 4: r = lo + f * (hi - lo), g = lo, b = hi; break;
    default: r = hi, g = lo, b = lo + (1 - f) * (hi - lo); break;
    }
    auto component = [](double percent) -> uint32_t { return pctToByte(static_cast<int64_t>(std::trunc(percent))); };
    return (component(r) << 16) | (component(g) << 8) | component(b);
}

void SixelDcsHandler::walk(bool paint)
{
    selected = 0;
    size_t at = 0;
    while (at < data.size()) {
        at = data[at] == poundChar ? readColorCommand(at, paint) : walkRun(at, paint);
    }
    if (!paint) maxX = std::max(maxX, x);
}

size_t SixelDcsHandler::readColorCommand(size_t at, bool paint)
{
    const std::span<const uint8_t> bytes(data);
    parameters_.clear();
    size_t i = at + 1;
    while (true) {
        if (i < bytes.size() && bytes[i] == ';') ++i;
        if (i >= bytes.size() || !isDigit(bytes[i])) break;
        size_t end = 0;
        const int64_t value = readNumber(bytes, i, end, maxNumber);
        i = end;
        if (end >= bytes.size()) break;  // a number counts only when a byte follows it
        parameters_.push_back(value);
    }
    if (parameters_.empty()) return bytes.size();
    if (paint) {
        if (parameters_.size() >= 5) updatePaletteEntry(parameters_);
        selected = parameters_[0];
    }
    return i;
}

size_t SixelDcsHandler::walkRun(size_t at, bool paint)
{
    const std::span<const uint8_t> bytes(data);
    const uint32_t color = paint ? colorOf(selected) : 0;
    int64_t repeat = 1;
    size_t i = at;
    while (i < bytes.size()) {
        const uint8_t c = bytes[i];
        if (c == poundChar) break;
        if (c >= kSixelFirst && c <= kSixelLast) {
            const uint8_t bits = c - kSixelFirst;
            if (repeat > 0) {
                if (paint) {
                    paintColumns(bits, repeat, color);
                } else if (bits != 0) {
                    const int64_t below = std::bit_width(static_cast<unsigned>(bits));
                    maxY = std::max(maxY, std::min(y + below, maxSide));
                }
                x = std::min(x + repeat, maxSide);
            }
            repeat = 1;
            ++i;
        } else if (c == '$' || c == '-') {
            if (!paint) maxX = std::max(maxX, x);
            x = 0;
            if (c == '-') y = std::min(y + 6, maxSide);
            ++i;
        } else if (c == '!' && i + 1 < bytes.size() && isDigit(bytes[i + 1])) {
            size_t end = 0;
            const int64_t count = readNumber(bytes, i + 1, end, maxNumber);
            if (end < bytes.size()) repeat = count;
            i = end;
        } else {
            ++i;
        }
    }
    return i;
}

void SixelDcsHandler::updatePaletteEntry(std::span<const int64_t> p)
{
    const int64_t index = p[0];
    if (index > maxRegister) return;
    uint32_t rgba = 0;
    if (p[1] == 2) {
        rgba = packRgba(pctToByte(p[2]), pctToByte(p[3]), pctToByte(p[4]));
    } else if (p[1] == 1) {
        const uint32_t rgb = hls_to_rgb(std::min<int64_t>(p[2], 360), std::min<int64_t>(p[3], 100),
                                        std::min<int64_t>(p[4], 100));
        rgba = (rgb << 8) | 0xFF;
    } else {
        return;
    }
    if (static_cast<size_t>(index) >= palette.size()) palette.resize(static_cast<size_t>(index) + 1, 0);
    palette[static_cast<size_t>(index)] = rgba;
}

uint32_t SixelDcsHandler::colorOf(int64_t registerNumber) const
{
    const auto index = static_cast<size_t>(registerNumber);
    if (index < palette.size() && palette[index] != 0) return palette[index];
    if (index < defaults_.size()) return defaults_[index];
    return 0;
}

void SixelDcsHandler::paintColumns(uint8_t bits, int64_t count, uint32_t color)
{
    if (x >= maxX || y >= maxY) return;
    // Rows of the band that lie inside the bitmap.
    const int64_t rowsInside = std::min<int64_t>(6, maxY - y);
    unsigned rows = bits & ((1u << rowsInside) - 1);
    if (rows == 0) return;
    const int64_t columns = std::min(count, maxX - x);
    const int64_t cost = columns * std::popcount(rows);
    if (cost > paintBudget_) {
        paintBudget_ = 0;
        return;
    }
    paintBudget_ -= cost;
    const uint8_t rgba[4] = {uint8_t(color >> 24), uint8_t(color >> 16), uint8_t(color >> 8), uint8_t(color)};
    uint8_t* const corner = pixels.data() + (y * maxX + x) * 4;
    const size_t stride = static_cast<size_t>(maxX) * 4;
    while (rows != 0) {
        const int row = std::countr_zero(rows);
        rows &= rows - 1;
        uint8_t* out = corner + row * stride;
        for (int64_t column = 0; column < columns; ++column, out += 4) std::memcpy(out, rgba, 4);
    }
}

}  // namespace corvel
