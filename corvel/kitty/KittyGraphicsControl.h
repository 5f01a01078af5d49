// The control block of one Kitty graphics command, parsed, and the split of
// a command string into that block and its payload. Values only; parsing
// never fails: a key that is absent or unusable keeps its default.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace corvel {

struct KittyGraphicsControl {
    char action = 't';              // a: t transmit, T transmit and show, p put, d/D delete, q query
    int64_t suppressResponses = 0;  // q: any non-zero value silences every reply
    int64_t format = 32;            // f: 24 RGB, 32 RGBA, 100 PNG
    char transmission = 'd';        // t: d direct, f file, t temporary file, s shared memory
    int64_t width = 0;              // s: pixel width of raw data
    int64_t height = 0;             // v: pixel height of raw data
    int64_t cropX = 0;              // x
    int64_t cropY = 0;              // y
    int64_t cropWidth = 0;          // w
    int64_t cropHeight = 0;         // h
    int64_t dataSize = 0;           // S: bytes to read from a file or shared memory (0: all)
    int64_t dataOffset = 0;         // O: where the read starts
    std::optional<uint32_t> imageId;            // i (never 0)
    std::optional<uint32_t> imageNumber;        // I (never 0)
    std::optional<uint32_t> placementId;        // p (never 0)
    std::optional<uint32_t> parentImageId;      // P
    std::optional<uint32_t> parentPlacementId;  // Q
    int64_t offsetH = 0;                        // H
    int64_t offsetV = 0;                        // V
    int64_t pixelOffsetX = 0;                   // X
    int64_t pixelOffsetY = 0;                   // Y
    int64_t unicodePlaceholder = 0;             // U
    int64_t zIndex = 0;                         // z
    int64_t more = 0;                           // m: 1 while chunks follow; 0 unless t is d
    std::optional<char> compression;            // o: z for zlib
    int64_t columns = 0;                        // c
    int64_t rows = 0;                           // r
    int64_t cursorPolicy = 0;                   // C
    // d: the whole value, as deletion tells "a" from "A" and a one-letter
    // selector from a longer, unknown one.
    std::optional<std::string> deleteMode;

    bool operator==(const KittyGraphicsControl&) const = default;
};

// One command string split: the control block parsed, and the payload (the
// bytes after the first ';', still base64 text) pointing into the input.
struct KittyGraphicsCommand {
    KittyGraphicsControl control;
    std::span<const uint8_t> payload;
};

// `bytes` is the APC string after its leading 'G'.
KittyGraphicsCommand parseKittyGraphicsControl(std::span<const uint8_t> bytes);

}  // namespace corvel
