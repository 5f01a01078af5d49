#include "corvel/terminal/TextEncoding.h"

namespace corvel {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr uint8_t kSubstitute = '?';

bool isScalar(char32_t c)
{
    return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

void appendUtf8(std::vector<uint8_t>& out, char32_t c)
{
    if (c < 0x80) {
        out.push_back(static_cast<uint8_t>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<uint8_t>(0xC0 | (c >> 6)));
        out.push_back(static_cast<uint8_t>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<uint8_t>(0xE0 | (c >> 12)));
        out.push_back(static_cast<uint8_t>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<uint8_t>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<uint8_t>(0xF0 | (c >> 18)));
        out.push_back(static_cast<uint8_t>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<uint8_t>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<uint8_t>(0x80 | (c & 0x3F)));
    }
}

void appendUnit(std::vector<uint8_t>& out, char16_t unit, bool bigEndian)
{
    const auto high = static_cast<uint8_t>(unit >> 8);
    const auto low = static_cast<uint8_t>(unit & 0xFF);
    if (bigEndian) {
        out.push_back(high);
        out.push_back(low);
    } else {
        out.push_back(low);
        out.push_back(high);
    }
}

void appendUtf16(std::vector<uint8_t>& out, char32_t c, bool bigEndian)
{
    if (c < 0x10000) {
        appendUnit(out, static_cast<char16_t>(c), bigEndian);
        return;
    }
    const char32_t v = c - 0x10000;
    appendUnit(out, static_cast<char16_t>(0xD800 | (v >> 10)), bigEndian);
    appendUnit(out, static_cast<char16_t>(0xDC00 | (v & 0x3FF)), bigEndian);
}

}  // namespace

void appendEncoded(std::vector<uint8_t>& out, std::u32string_view scalars, TextEncoding encoding)
{
    for (char32_t c : scalars) {
        const bool valid = isScalar(c);
        switch (encoding) {
        case TextEncoding::utf8: appendUtf8(out, valid ? c : kReplacement); break;
        case TextEncoding::ascii: out.push_back(valid && c < 0x80 ? static_cast<uint8_t>(c) : kSubstitute); break;
        case TextEncoding::isoLatin1:
            out.push_back(valid && c < 0x100 ? static_cast<uint8_t>(c) : kSubstitute);
            break;
        case TextEncoding::utf16LittleEndian: appendUtf16(out, valid ? c : kReplacement, false); break;
        case TextEncoding::utf16BigEndian: appendUtf16(out, valid ? c : kReplacement, true); break;
        }
    }
}

}  // namespace corvel
