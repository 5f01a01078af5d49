#include "app/persistence/TmuxSessionName.h"

#include "corvel/platform/Unicode.h"
#include "corvel/platform/Utf8.h"

namespace tilebay::TmuxSessionName {

namespace {

using corvel::unicode::GeneralCategory;

bool isAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Whether the ASCII character `c`, followed by `next` ('\0' at the end of the
// name), comes out of tmux unchanged.
bool keepsAscii(char c, char next)
{
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return false;  // written as escapes
    switch (c) {
    case '.':
    case ':': return false;  // become '_'
    case '\\': return false;  // doubled
    case '$': return !(isAsciiLetter(next) || next == '_' || next == '{');  // becomes "\$"
    // "##", the aliases of one letter and the expansions; '#' before ',' or
    // '}' is dropped.
    case '#': return next == '\0' || std::string_view("#(,{}DFHIPSTWh").find(next) == std::string_view::npos;
    default: return true;
    }
}

// Whether tmux prints the scalar as it is (it escapes those it cannot show).
bool keepsScalar(char32_t scalar)
{
    switch (corvel::unicode::generalCategory(scalar)) {
    case GeneralCategory::Unassigned:
    case GeneralCategory::Control:
    case GeneralCategory::LineSeparator:
    case GeneralCategory::ParagraphSeparator:
    case GeneralCategory::Surrogate: return false;
    default: return true;
    }
}

}  // namespace

std::string ofCell(std::string_view cellId)
{
    std::string name(cellPrefix);
    name += cellId;
    return name;
}

bool keptByTmux(std::string_view name)
{
    if (name.empty() || name.back() == ';') return false;
    const auto bytes = corvel::utf8::bytesOf(name);
    for (size_t at = 0; at < bytes.size();) {
        if (bytes[at] < 0x80) {
            if (!keepsAscii(name[at], at + 1 < name.size() ? name[at + 1] : '\0')) return false;
            ++at;
            continue;
        }
        const auto decoded = corvel::utf8::decodeNext(bytes, at);
        if (!decoded.valid || !keepsScalar(decoded.scalar)) return false;
        at += decoded.length;
    }
    return true;
}

bool fitsCellId(std::string_view cellId)
{
    return keptByTmux(ofCell(cellId));
}

}  // namespace tilebay::TmuxSessionName
