// The sixel decoder: the consumer of a DCS string with the final byte `q` and
// no intermediates. It collects the string's bytes and, when the string ends,
// decodes them in two passes (measure, then paint) into an RGBA bitmap (4
// bytes per pixel, rows top to bottom, undrawn pixels transparent) that it
// hands to its image sink, also when the bitmap is empty. A string whose data
// or bitmap the allocator has no room for is dropped without an image, and
// so is one the sink finds no room for (std::bad_alloc ends there).
//
// Reading: the data is read from its first byte with register 0 selected.
// `#` starts a colour command (select, or define with five parameters); any
// other byte starts a run that lasts up to the next `#`. Runs hold sixel
// characters (0x3F..0x7E, bit 0 the top pixel of the 6-pixel band), `$`
// (column 0), `-` (next band), `!n` (repeat the next character n times);
// every other byte, raster attributes included, is skipped. A number counts
// only when a byte follows it; a `#` without a parameter ends the image. The
// DCS parameters are not used.
//
// Bounds: each side is at most `maxSide` pixels (what lies beyond is clipped,
// and painting touches only the clipped area), numbers saturate at
// `maxNumber`, and colour registers run from 0 to `maxRegister`; a definition
// of a higher register is ignored, so that register paints transparent like
// any undefined register at or above the default table's size. Painting
// writes at most 6 pixels per data byte plus `maxOverpaint` times the
// bitmap's area: a stream that repaints the same pixels with long repeats
// past that stops painting there and hands over what it painted, so no
// string of the parser's budget decodes for long.
//
// Threads and ownership: runs on the thread that feeds the terminal; the
// parser owns the handler for one string at a time. The sink is called
// synchronously from unhook(). Nothing carries over from one image to the
// next.
#pragma once

#include "corvel/screen/Color.h"
#include "corvel/parser/DcsHandler.h"

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace corvel {

class SixelDcsHandler final : public DcsHandler {
public:
    // Receives the decoded bitmap; it may take the bytes.
    using ImageSink = std::function<void(std::vector<uint8_t>& pixels, int width, int height)>;

    static constexpr int64_t maxSide = 10000;
    static constexpr int64_t maxNumber = 0x7FFFFFFF;
    static constexpr int64_t maxRegister = 65535;
    static constexpr int64_t maxOverpaint = 16;
    static constexpr uint8_t poundChar = '#';

    // `defaultColors` is the terminal's default indexed colour table, used for
    // registers the image does not define; it is copied.
    SixelDcsHandler(std::span<const Color> defaultColors, ImageSink sink);

    void hook(std::span<const uint8_t> collect, std::span<const int64_t> parameters, uint8_t flag) override;
    void put(std::span<const uint8_t> data) override;
    void unhook() override;

    // Percent (limited to 0..100) to a byte, remainder dropped.
    static uint8_t pctToByte(int64_t percent);
    // Hue 0..360, lum and sat 0..100 to 0xRRGGBB; hue 0 is blue, 120 red, 240
    // green. Computed in double precision throughout.
    static uint32_t hls_to_rgb(int64_t hue, int64_t lum, int64_t sat);

    std::vector<uint8_t> data;

private:
    // Runs one pass over `data`: measuring when `paint` is false, painting
    // into `pixels` otherwise.
    void walk(bool paint);
    // Reads the parameters of the colour command whose `#` is at `at`, and
    // returns where the next step starts, or data.size() to end the pass.
    size_t readColorCommand(size_t at, bool paint);
    // One run from `at` up to the next `#`; returns where it stopped.
    size_t walkRun(size_t at, bool paint);
    void updatePaletteEntry(std::span<const int64_t> parameters);
    // The packed RGBA colour of `registerNumber`, 0 when transparent.
    uint32_t colorOf(int64_t registerNumber) const;
    void paintColumns(uint8_t bits, int64_t count, uint32_t color);

    std::vector<uint32_t> defaults_;  // packed RGBA of the default table
    ImageSink sink_;

    // Defined registers, packed R, G, B, A from the high byte down; a zero
    // entry (alpha 0) is undefined. Grows to the highest defined register.
    std::vector<uint32_t> palette;
    std::vector<uint8_t> pixels;
    int64_t selected = 0;
    int64_t x = 0;
    int64_t y = 0;
    int64_t maxX = 0;
    int64_t maxY = 0;
    int64_t paintBudget_ = 0;  // pixel writes left for this image
    bool dropped_ = false;     // the string's data found no room: no image
    std::vector<int64_t> parameters_;
};

}  // namespace corvel
