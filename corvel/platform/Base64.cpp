#include "corvel/platform/Base64.h"

#include <array>

namespace corvel::base64 {

namespace {

constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr int8_t invalid = -1;
constexpr int8_t padding = -2;

constexpr std::array<int8_t, 256> makeDecodeTable()
{
    std::array<int8_t, 256> t{};
    for (auto& v : t)
        v = invalid;
    for (int i = 0; i < 64; ++i)
        t[static_cast<uint8_t>(alphabet[i])] = static_cast<int8_t>(i);
    t['='] = padding;
    return t;
}

constexpr std::array<int8_t, 256> decodeTable = makeDecodeTable();

}  // namespace

std::string encode(std::span<const uint8_t> bytes)
{
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const uint32_t v = (uint32_t(bytes[i]) << 16) | (uint32_t(bytes[i + 1]) << 8) | bytes[i + 2];
        out.push_back(alphabet[(v >> 18) & 63]);
        out.push_back(alphabet[(v >> 12) & 63]);
        out.push_back(alphabet[(v >> 6) & 63]);
        out.push_back(alphabet[v & 63]);
    }
    const size_t rest = bytes.size() - i;
    if (rest > 0) {
        uint32_t v = uint32_t(bytes[i]) << 16;
        if (rest == 2) v |= uint32_t(bytes[i + 1]) << 8;
        out.push_back(alphabet[(v >> 18) & 63]);
        out.push_back(alphabet[(v >> 12) & 63]);
        out.push_back(rest == 2 ? alphabet[(v >> 6) & 63] : '=');
        out.push_back('=');
    }
    return out;
}

namespace {

// The bytes of a group cut after two (one byte) or three (two bytes) sextets.
void flushShortGroup(std::vector<uint8_t>& out, uint32_t quad, int sextets)
{
    if (sextets == 2) {
        out.push_back(static_cast<uint8_t>(quad >> 4));
    } else {
        out.push_back(static_cast<uint8_t>(quad >> 10));
        out.push_back(static_cast<uint8_t>(quad >> 2));
    }
}

}  // namespace

std::optional<std::vector<uint8_t>> decode(std::string_view text, DecodeOptions options)
{
    std::vector<uint8_t> out;
    out.reserve(text.size() / 4 * 3);
    uint32_t quad = 0;    // the sextets of the current group
    int inQuad = 0;       // sextets and pads in the current group
    int pads = 0;         // pads seen so far; only more pads may follow one
    for (char ch : text) {
        const int8_t v = decodeTable[static_cast<uint8_t>(ch)];
        if (v == invalid) {
            if (options.ignoreUnknownCharacters) continue;
            return std::nullopt;
        }
        if (v == padding && options.lenientPadding) {
            // Fill ends the group early; more fill after it is skipped.
            if (inQuad == 1) return std::nullopt;
            if (inQuad > 1) flushShortGroup(out, quad, inQuad);
            quad = 0;
            inQuad = 0;
            continue;
        }
        if (v == padding) {
            // A pad may stand only in the third or fourth place of a group.
            if (inQuad < 2) return std::nullopt;
            ++pads;
            quad <<= 6;
        } else {
            if (pads > 0) return std::nullopt;  // data after padding
            quad = (quad << 6) | uint32_t(v);
        }
        if (++inQuad == 4) {
            out.push_back(static_cast<uint8_t>(quad >> 16));
            if (pads < 2) out.push_back(static_cast<uint8_t>(quad >> 8));
            if (pads < 1) out.push_back(static_cast<uint8_t>(quad));
            quad = 0;
            inQuad = 0;
        }
    }
    if (inQuad != 0) {
        // One character holds only six bits: no byte can come of it.
        if (!options.lenientPadding || inQuad < 2) return std::nullopt;
        flushShortGroup(out, quad, inQuad);
    }
    return out;
}

}  // namespace corvel::base64
