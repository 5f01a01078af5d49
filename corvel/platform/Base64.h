// Standard Base64 (RFC 4648, the "+/" alphabet with "=" padding). The terminal
// uses it for clipboard writes from the host and for inline image payloads.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace corvel::base64 {

std::string encode(std::span<const uint8_t> bytes);
inline std::string encode(std::string_view text)
{
    return encode({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
}

struct DecodeOptions {
    // Skip bytes outside the alphabet (line breaks, blanks) instead of failing.
    bool ignoreUnknownCharacters = false;
    // Let a group of two or three characters end at its "=" fill or at the
    // end of the text, and let more groups follow fill: text joined from
    // separately encoded pieces decodes as the pieces would. A lone
    // character in a group still fails; stray fill is skipped.
    bool lenientPadding = false;
};

// Decodes padded Base64. Fails (absent) on a byte outside the alphabet (unless
// skipped), on a length that is not a multiple of four, or on "=" anywhere but
// in the last one or two places (both relaxed by `lenientPadding`).
std::optional<std::vector<uint8_t>> decode(std::string_view text, DecodeOptions options = {});
inline std::optional<std::vector<uint8_t>> decode(std::span<const uint8_t> text,
                                                  DecodeOptions options = {})
{
    return decode({reinterpret_cast<const char*>(text.data()), text.size()}, options);
}

}  // namespace corvel::base64
