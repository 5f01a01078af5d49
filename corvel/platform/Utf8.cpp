#include "corvel/platform/Utf8.h"

namespace corvel::utf8 {

namespace {

struct LeadInfo {
    uint8_t length;  // 0 for a byte that cannot start a sequence
    uint8_t lo, hi;  // accepted range of the second byte
};

LeadInfo leadInfo(uint8_t b)
{
    if (b < 0x80) return {1, 0, 0};
    if (b < 0xC2) return {0, 0, 0};
    if (b < 0xE0) return {2, 0x80, 0xBF};
    if (b == 0xE0) return {3, 0xA0, 0xBF};  // no overlong three-byte forms
    if (b == 0xED) return {3, 0x80, 0x9F};  // no surrogates
    if (b < 0xF0) return {3, 0x80, 0xBF};
    if (b == 0xF0) return {4, 0x90, 0xBF};  // no overlong four-byte forms
    if (b < 0xF4) return {4, 0x80, 0xBF};
    if (b == 0xF4) return {4, 0x80, 0x8F};  // nothing above U+10FFFF
    return {0, 0, 0};
}

// The UTF-8 form of `c` onto a string or a byte vector; surrogates and values
// above U+10FFFF become U+FFFD.
template <class Bytes>
void appendBytes(Bytes& out, char32_t c)
{
    using Byte = typename Bytes::value_type;
    if (!isScalar(c)) c = replacementCharacter;
    if (c < 0x80) {
        out.push_back(static_cast<Byte>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<Byte>(0xC0 | (c >> 6)));
        out.push_back(static_cast<Byte>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<Byte>(0xE0 | (c >> 12)));
        out.push_back(static_cast<Byte>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<Byte>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<Byte>(0xF0 | (c >> 18)));
        out.push_back(static_cast<Byte>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<Byte>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<Byte>(0x80 | (c & 0x3F)));
    }
}

}  // namespace

Decoded decodeNext(std::span<const uint8_t> bytes, size_t offset)
{
    const uint8_t b = bytes[offset];
    const LeadInfo info = leadInfo(b);
    if (info.length == 1) return {b, 1, true};
    if (info.length == 0) return {replacementCharacter, 1, false};

    const size_t available = bytes.size() - offset;
    char32_t scalar = b & (0xFF >> (info.length + 1));
    size_t i = 1;
    for (; i < info.length; ++i) {
        if (i >= available) return {replacementCharacter, i, false};
        const uint8_t c = bytes[offset + i];
        const uint8_t lo = i == 1 ? info.lo : 0x80;
        const uint8_t hi = i == 1 ? info.hi : 0xBF;
        if (c < lo || c > hi) return {replacementCharacter, i, false};
        scalar = (scalar << 6) | (c & 0x3F);
    }
    return {scalar, i, true};
}

bool isValid(std::span<const uint8_t> bytes)
{
    for (size_t i = 0; i < bytes.size();) {
        if (bytes[i] < 0x80) {
            ++i;
            continue;
        }
        const Decoded d = decodeNext(bytes, i);
        if (!d.valid) return false;
        i += d.length;
    }
    return true;
}

std::u32string decode(std::span<const uint8_t> bytes)
{
    std::u32string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        const Decoded d = decodeNext(bytes, i);
        out.push_back(d.scalar);
        i += d.length;
    }
    return out;
}

std::u16string toUtf16(std::span<const uint8_t> bytes)
{
    std::u16string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        const Decoded d = decodeNext(bytes, i);
        if (d.scalar >= 0x10000) {
            appendUtf16(out, d.scalar);
        } else {
            out.push_back(static_cast<char16_t>(d.scalar));
        }
        i += d.length;
    }
    return out;
}

std::string sanitize(std::span<const uint8_t> bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        const Decoded d = decodeNext(bytes, i);
        if (d.valid)
            out.append(reinterpret_cast<const char*>(bytes.data() + i), d.length);
        else
            append(out, replacementCharacter);
        i += d.length;
    }
    return out;
}

void append(std::string& out, char32_t c)
{
    appendBytes(out, c);
}

void append(std::vector<uint8_t>& out, char32_t c)
{
    appendBytes(out, c);
}

void appendUtf16(std::u16string& out, char32_t c)
{
    if (!isScalar(c)) c = replacementCharacter;
    if (c < 0x10000) {
        out.push_back(static_cast<char16_t>(c));
        return;
    }
    const char32_t v = c - 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 | (v >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 | (v & 0x3FF)));
}

std::string fromUtf16(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        append(out, c);
    }
    return out;
}

std::string encode(char32_t scalar)
{
    std::string out;
    append(out, scalar);
    return out;
}

std::string encode(std::u32string_view scalars)
{
    std::string out;
    out.reserve(scalars.size());
    for (char32_t c : scalars)
        append(out, c);
    return out;
}

}  // namespace corvel::utf8
