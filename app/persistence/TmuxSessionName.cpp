#include "app/persistence/TmuxSessionName.h"

namespace tilebay::TmuxSessionName {

namespace {

bool isAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Whether the ASCII character `c`, followed by `next` ('\0' at the end of the
// name), comes out of tmux unchanged. Anything beyond ASCII is not sure.
bool keepsAscii(char c, char next)
{
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7F) return false;  // escapes, and what is not ASCII
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
    for (size_t at = 0; at < name.size(); ++at)
        if (!keepsAscii(name[at], at + 1 < name.size() ? name[at + 1] : '\0')) return false;
    return true;
}

bool fitsCellId(std::string_view cellId)
{
    return cellId.size() <= maxCellIdBytes && keptByTmux(ofCell(cellId));
}

}  // namespace tilebay::TmuxSessionName
