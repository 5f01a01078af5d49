// Base64, inflation and pixel formats of Kitty graphics payloads.
#include "corvel/kitty/KittyGraphicsDecoding.h"

#include "corvel/kitty/KittyGraphicsPng.h"
#include "corvel/platform/Base64.h"

#include <zlib.h>

#include <algorithm>
#include <limits>
#include <new>

namespace corvel {

namespace {

constexpr size_t kInflateStep = 65536;
// Deflate inflates one byte to at most this many.
constexpr size_t kDeflateMostRatio = 1032;

bool sideInRange(int64_t side)
{
    return side >= 1 && side <= kKittyGraphicsMaxSide;
}

// The two bytes of a zlib header: deflate method, a window of at most 32 KiB
// and the check bits.
bool looksLikeZlibHeader(std::span<const uint8_t> input)
{
    if (input.size() < 2) return false;
    return (input[0] & 0x0F) == 8 && (input[0] >> 4) <= 7 && ((input[0] << 8) | input[1]) % 31 == 0;
}

enum class InflateOutcome : uint8_t { ok, corrupt, tooLarge };

// A zlib decoder set up for inflating; released with the object, also when
// an allocation fails on the way.
class InflateStream {
public:
    explicit InflateStream(int windowBits) { ok_ = inflateInit2(&stream_, windowBits) == Z_OK; }
    ~InflateStream()
    {
        if (ok_) inflateEnd(&stream_);
    }
    InflateStream(const InflateStream&) = delete;
    InflateStream& operator=(const InflateStream&) = delete;

    bool ok() const { return ok_; }
    z_stream& get() { return stream_; }

private:
    z_stream stream_{};
    bool ok_ = false;
};

// One inflating pass with the given window setting. When the size of the
// output is known (`exactSize`), it goes straight into one buffer, reserved
// for that size or for the most the input can inflate to, whichever is less:
// the size is only announced, and a few bytes that announce 400 MB reserve a
// few kilobytes. The buffer grows past that only with what the stream
// produces, never beyond the size. Otherwise it goes into 64 KiB
// blocks that are joined at the end and released one by one while joining,
// so a stream that grows without bound holds at most the limit, and a good
// one at most its size and one block more. A refused allocation throws
// std::bad_alloc with the decoder released.
InflateOutcome inflateWith(std::span<const uint8_t> input, int windowBits, int64_t outputLimit, bool exactSize,
                           std::vector<uint8_t>& result)
{
    result.clear();
    if (exactSize) result.reserve(std::min(static_cast<size_t>(outputLimit), input.size() * kDeflateMostRatio));
    InflateStream decoder(windowBits);
    if (!decoder.ok()) return InflateOutcome::corrupt;
    z_stream& stream = decoder.get();
    stream.next_in = const_cast<Bytef*>(input.data());
    std::vector<std::vector<uint8_t>> blocks;
    int64_t total = 0;
    InflateOutcome outcome = InflateOutcome::corrupt;
    size_t remaining = input.size();
    for (;;) {
        // zlib counts input in 32 bits; a longer input is offered in slices.
        if (stream.avail_in == 0 && remaining > 0) {
            const uInt slice = static_cast<uInt>(std::min<size_t>(remaining, std::numeric_limits<uInt>::max()));
            stream.avail_in = slice;
            remaining -= slice;
        }
        std::vector<uint8_t> block(kInflateStep);
        stream.next_out = block.data();
        stream.avail_out = static_cast<uInt>(block.size());
        const int status = inflate(&stream, Z_NO_FLUSH);
        const size_t produced = block.size() - stream.avail_out;
        total += static_cast<int64_t>(produced);
        if (total > outputLimit) {
            outcome = InflateOutcome::tooLarge;
            break;
        }
        if (produced > 0 && exactSize) {
            // Doubling, but never past the expected size (`total` is within it).
            if (result.size() + produced > result.capacity())
                result.reserve(std::min(std::max(result.capacity() * 2, result.size() + produced),
                                        static_cast<size_t>(outputLimit)));
            result.insert(result.end(), block.begin(), block.begin() + static_cast<long>(produced));
        } else if (produced > 0) {
            block.resize(produced);
            blocks.push_back(std::move(block));
        }
        if (status == Z_STREAM_END) {
            outcome = InflateOutcome::ok;
            break;
        }
        if (status != Z_OK) break;  // corrupt data, or no progress possible
        // All input taken and room left over: the stream was cut before its end.
        if (stream.avail_in == 0 && remaining == 0 && stream.avail_out != 0) break;
    }
    if (outcome != InflateOutcome::ok || exactSize) return outcome;
    result.reserve(static_cast<size_t>(total));
    for (auto& each : blocks) {
        result.insert(result.end(), each.begin(), each.end());
        std::vector<uint8_t>().swap(each);
    }
    return outcome;
}

}  // namespace

std::optional<std::vector<uint8_t>> decodeKittyBase64(std::span<const uint8_t> text)
{
    if (text.empty()) return std::nullopt;
    auto decoded = base64::decode(text, {.ignoreUnknownCharacters = true, .lenientPadding = true});
    if (!decoded || static_cast<int64_t>(decoded->size()) > kKittyGraphicsByteLimit) return std::nullopt;
    return decoded;
}

std::optional<int64_t> kittyExpectedDataSize(const KittyGraphicsControl& control)
{
    if (!sideInRange(control.width) || !sideInRange(control.height)) return std::nullopt;
    if (control.format == 24) return control.width * control.height * 3;
    if (control.format == 32) return control.width * control.height * 4;
    return std::nullopt;
}

int64_t kittyInflateLimit(const KittyGraphicsControl& control)
{
    if (control.format == 100) return kKittyGraphicsByteLimit;
    return std::min(kittyExpectedDataSize(control).value_or(0), kKittyGraphicsByteLimit);
}

std::optional<std::vector<uint8_t>> decompressZlib(std::span<const uint8_t> input, int64_t outputLimit,
                                                   bool limitIsSize)
{
    std::vector<uint8_t> result;
    if (looksLikeZlibHeader(input)) {
        const InflateOutcome outcome = inflateWith(input, MAX_WBITS, outputLimit, limitIsSize, result);
        if (outcome == InflateOutcome::ok) return result;
        if (outcome == InflateOutcome::tooLarge) return std::nullopt;
        // Raw DEFLATE can begin with bytes that pass for a zlib header.
    }
    if (inflateWith(input, -MAX_WBITS, outputLimit, limitIsSize, result) == InflateOutcome::ok) return result;
    return std::nullopt;
}

std::optional<std::vector<uint8_t>> decompressKittyData(std::vector<uint8_t> data,
                                                        const KittyGraphicsControl& control)
{
    if (!control.compression) return data;
    if (*control.compression != 'z') return std::nullopt;
    // Raw pixels must inflate to exactly their expected size.
    const bool exact = control.format != 100 && kittyExpectedDataSize(control).has_value();
    return decompressZlib(data, kittyInflateLimit(control), exact);
}

std::optional<KittyGraphicsPayload> decodeKittyPayloadData(const KittyGraphicsControl& control,
                                                           std::vector<uint8_t> rawData)
{
    const int64_t length = static_cast<int64_t>(rawData.size());
    if (length > kKittyGraphicsByteLimit) return std::nullopt;
    if (control.format == 24 || control.format == 32) {
        const auto expected = kittyExpectedDataSize(control);
        if (!expected || *expected != length) return std::nullopt;
        if (control.format == 32) {
            premultiplyKittyRgba(rawData);
            return KittyGraphicsPayload::rgba(std::move(rawData), control.width, control.height);
        }
        const size_t pixels = rawData.size() / 3;
        std::vector<uint8_t> rgba(pixels * 4);
        const uint8_t* in = rawData.data();
        uint8_t* out = rgba.data();
        for (size_t i = 0; i < pixels; ++i, in += 3, out += 4) {
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
            out[3] = 255;
        }
        return KittyGraphicsPayload::rgba(std::move(rgba), control.width, control.height);
    }
    if (control.format == 100) {
        if (!validateKittyPngDimensions(rawData)) return std::nullopt;
        return KittyGraphicsPayload::png(std::move(rawData));
    }
    return std::nullopt;
}

std::optional<KittyGraphicsPayload> decodeKittyPayload(const KittyGraphicsControl& control,
                                                       std::span<const uint8_t> base64Payload)
{
    try {
        auto decoded = decodeKittyBase64(base64Payload);
        if (!decoded) return std::nullopt;
        auto inflated = decompressKittyData(std::move(*decoded), control);
        if (!inflated) return std::nullopt;
        return decodeKittyPayloadData(control, std::move(*inflated));
    } catch (const std::bad_alloc&) {
        // Data the allocator has no room for is refused like data that does
        // not decode; the terminal runs on.
        return std::nullopt;
    }
}

}  // namespace corvel

