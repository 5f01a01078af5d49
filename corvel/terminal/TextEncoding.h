// The text encodings a buffer dump can be written in, and the encoder. A
// character the encoding cannot represent is written as a substitute ("?"),
// so text is never dropped for one unencodable character.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace corvel {

enum class TextEncoding : uint8_t {
    utf8,
    ascii,      // 7-bit
    isoLatin1,  // U+0000 ... U+00FF as single bytes
    utf16LittleEndian,
    utf16BigEndian,
};

// Appends `scalars` to `out` in `encoding`. Surrogates and values above
// U+10FFFF are not characters and are written as U+FFFD (or "?").
void appendEncoded(std::vector<uint8_t>& out, std::u32string_view scalars, TextEncoding encoding);

}  // namespace corvel
