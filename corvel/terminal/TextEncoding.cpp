#include "corvel/terminal/TextEncoding.h"

#include "corvel/platform/Utf8.h"

#include <string>

namespace corvel {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr uint8_t kSubstitute = '?';

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
    std::u16string units;
    utf8::appendUtf16(units, c);
    for (char16_t unit : units) appendUnit(out, unit, bigEndian);
}

}  // namespace

void appendEncoded(std::vector<uint8_t>& out, std::u32string_view scalars, TextEncoding encoding)
{
    for (char32_t c : scalars) {
        const bool valid = utf8::isScalar(c);
        switch (encoding) {
        case TextEncoding::utf8: utf8::append(out, valid ? c : kReplacement); break;
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
