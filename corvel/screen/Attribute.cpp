#include "corvel/screen/Attribute.h"

namespace corvel {

namespace {

inline void combine(size_t& seed, size_t value)
{
    seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

// Appends the SGR parameters of one colour slot. `base` is 30 for the
// foreground and 40 for the background; `extended` is 38 or 48.
void appendColor(std::string& out, const Attribute::Color& color, int base, int extended)
{
    using Kind = Attribute::Color::Kind;
    switch (color.kind()) {
    case Kind::ansi256: {
        const int code = color.code();
        out += ';';
        if (code < 8) {
            out += std::to_string(base + code);
        } else if (code < 16) {
            out += std::to_string(base + 60 + (code - 8));
        } else {
            out += std::to_string(extended);
            out += ";5;";
            out += std::to_string(code);
        }
        break;
    }
    case Kind::trueColor:
        out += ';';
        out += std::to_string(extended);
        out += ";2;";
        out += std::to_string(color.red());
        out += ';';
        out += std::to_string(color.green());
        out += ';';
        out += std::to_string(color.blue());
        break;
    case Kind::defaultColor:
    case Kind::defaultInvertedColor:
        break;
    }
}

}  // namespace

size_t Attribute::Color::hash() const
{
    size_t seed = static_cast<size_t>(kind_);
    combine(seed, b0_);
    combine(seed, b1_);
    combine(seed, b2_);
    return seed;
}

size_t Attribute::hash() const
{
    size_t seed = fg.hash();
    combine(seed, bg.hash());
    combine(seed, style.rawValue);
    combine(seed, static_cast<size_t>(underlineStyle));
    combine(seed, underlineColor ? underlineColor->hash() + 1 : 0);
    return seed;
}

std::string Attribute::toSgr() const
{
    std::string out = "0";
    if (style.contains(CharacterStyle::bold)) out += ";1";
    if (style.contains(CharacterStyle::underline)) out += ";4";
    if (style.contains(CharacterStyle::blink)) out += ";5";
    if (style.contains(CharacterStyle::inverse)) out += ";7";
    if (style.contains(CharacterStyle::invisible)) out += ";8";
    appendColor(out, fg, 30, 38);
    appendColor(out, bg, 40, 48);
    out += 'm';
    return out;
}

}  // namespace corvel
