// Turning the bytes of a Kitty graphics transmission into a decoded image:
// base64, zlib inflation (o=z) and the pixel formats (f=24 RGB, f=32 RGBA,
// f=100 PNG), each step within the one byte limit for image data. Stateless
// helpers; callable from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "corvel/kitty/KittyGraphicsControl.h"
#include "corvel/kitty/KittyGraphicsPayload.h"

namespace corvel {

// The most bytes of image data held at any stage (400 MiB; exactly this many pass).
inline constexpr int64_t kKittyGraphicsByteLimit = 419430400;
// Image sides are 1 to this many pixels.
inline constexpr int64_t kKittyGraphicsMaxSide = 10000;

// Base64 text to bytes, skipping bytes outside the alphabet, accepting a
// missing final fill and fill inside the text (clients that pad each chunk);
// none for empty text, undecodable text or more than the byte limit.
std::optional<std::vector<uint8_t>> decodeKittyBase64(std::span<const uint8_t> text);

// s×v×3 for f=24 and s×v×4 for f=32 when both sides are 1 to 10000; else none.
std::optional<int64_t> kittyExpectedDataSize(const KittyGraphicsControl& control);

// How many bytes inflating may produce for this control: the expected size
// for raw pixels (more can never pass the format check), the byte limit for
// PNG, nothing for formats that fail anyway.
int64_t kittyInflateLimit(const KittyGraphicsControl& control);

// Inflates a zlib stream (RFC 1950) or, when the data is not one, raw DEFLATE
// (RFC 1951). None when the stream is corrupt or cut short, or when the
// output passes `outputLimit`; inflating stops there. `limitIsSize` says the
// output is expected to be exactly that long, so it is gathered in one buffer
// of at most that length, reserved for no more than the input can inflate
// to. Throws std::bad_alloc when the allocator refuses the room.
std::optional<std::vector<uint8_t>> decompressZlib(std::span<const uint8_t> input, int64_t outputLimit,
                                                   bool limitIsSize = false);

// Without a compression letter (`o`) the data passes unchanged; 'z' inflates
// it within the control's inflate limit; any other letter fails.
std::optional<std::vector<uint8_t>> decompressKittyData(std::vector<uint8_t> data,
                                                        const KittyGraphicsControl& control);

// Raw bytes to a payload by the control's format: f=24 widened to RGBA with
// alpha 255, f=32 premultiplied (clients send straight alpha), f=100 kept
// encoded once its size checks out. Sides and lengths must match exactly.
std::optional<KittyGraphicsPayload> decodeKittyPayloadData(const KittyGraphicsControl& control,
                                                           std::vector<uint8_t> rawData);

// Direct (inline) data: base64, inflation by `o`, then the format. None also
// when a step's allocation is refused.
std::optional<KittyGraphicsPayload> decodeKittyPayload(const KittyGraphicsControl& control,
                                                       std::span<const uint8_t> base64Payload);

}  // namespace corvel
