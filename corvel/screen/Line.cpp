#include "corvel/screen/Line.h"

namespace corvel {

void Line::add(const LineFragment& fragment)
{
    if (fragments.empty()) {
        startLine = fragment.line;
        startLocation = fragment.location;
    }
    fragments.push_back(fragment);
    length += fragment.length;
}

std::string Line::toString() const
{
    std::string out;
    for (const auto& f : fragments)
        if (f.text) out += *f.text;
    return out;
}

int Line::getFragmentIndex(const Position& position) const
{
    for (size_t i = 0; i < fragments.size(); ++i) {
        const auto& f = fragments[i];
        if (f.line == position.row && position.col >= f.location && position.col < f.location + f.length)
            return int(i);
    }
    return -1;
}

std::string Line::debugDescription() const
{
    if (fragments.empty()) return "[]";
    std::string out = std::to_string(fragments.size()) + "/" + std::to_string(length) + ": [";
    for (const auto& f : fragments) {
        if (f.text) out += *f.text == "\n" ? "\\n" : *f.text;
        out += "][";
    }
    return out;
}

}  // namespace corvel
