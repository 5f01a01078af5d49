// The one home of UTF-8 and UTF-16 conversion: decoding a byte slice into
// scalars or UTF-16, checking validity, encoding one scalar as UTF-8 or
// UTF-16, UTF-16 back to UTF-8, and replacing ill-formed sequences with
// U+FFFD. Well-formedness follows RFC 3629: no overlong forms, no surrogates,
// nothing above U+10FFFF. Each maximal ill-formed subpart becomes exactly one
// U+FFFD, the practice the Unicode standard recommends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace corvel::utf8 {

inline constexpr char32_t replacementCharacter = 0xFFFD;

// Whether `value` is a Unicode scalar: not negative, not a surrogate, not
// above U+10FFFF.
inline constexpr bool isScalar(int64_t value)
{
    return value >= 0 && value <= 0x10FFFF && !(value >= 0xD800 && value <= 0xDFFF);
}

// One step of decoding.
struct Decoded {
    char32_t scalar;  // the scalar, or U+FFFD when `valid` is false
    size_t length;    // bytes consumed, at least 1 while input remains
    bool valid;
};

// Decodes the sequence that starts at `offset` (which must be inside `bytes`).
// An ill-formed sequence consumes its maximal subpart: the lead byte plus the
// continuation bytes that were still acceptable.
Decoded decodeNext(std::span<const uint8_t> bytes, size_t offset);

bool isValid(std::span<const uint8_t> bytes);
std::u32string decode(std::span<const uint8_t> bytes);
std::u16string toUtf16(std::span<const uint8_t> bytes);
// The bytes with every ill-formed sequence replaced by U+FFFD.
std::string sanitize(std::span<const uint8_t> bytes);

// Appends the UTF-8 form of `scalar`; surrogates and values above U+10FFFF
// are written as U+FFFD.
void append(std::string& out, char32_t scalar);
void append(std::vector<uint8_t>& out, char32_t scalar);
// Appends the UTF-16 form of `scalar` (a surrogate pair above U+FFFF), with
// the same replacement.
void appendUtf16(std::u16string& out, char32_t scalar);
// UTF-16 as UTF-8; an unpaired surrogate becomes U+FFFD.
std::string fromUtf16(std::u16string_view text);
std::string encode(char32_t scalar);
std::string encode(std::u32string_view scalars);

inline std::span<const uint8_t> bytesOf(std::string_view text)
{
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}
inline bool isValid(std::string_view text) { return isValid(bytesOf(text)); }
inline std::u32string decode(std::string_view text) { return decode(bytesOf(text)); }
inline std::u16string toUtf16(std::string_view text) { return toUtf16(bytesOf(text)); }
inline std::string sanitize(std::string_view text) { return sanitize(bytesOf(text)); }

}  // namespace corvel::utf8
