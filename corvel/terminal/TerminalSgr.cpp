// SGR (CSI Pm m): the character attributes that printing gives to new cells.
//
// Colours and underline styles come in two notations: parameters separated by
// ';' (38;2;R;G;B) and sub-parameters joined by ':' (38:2::R:G:B, 4:3). The
// parser keeps the separator between each pair of parameters, so the two are
// told apart here. This runs for nearly every colour change a program makes
// and allocates nothing except for the diagnostic of an unknown attribute.
#include "corvel/terminal/Terminal.h"
#include "corvel/terminal/TerminalInternals.h"

#include <algorithm>
#include <string>

namespace corvel {

namespace {

// How many parameters the diagnostic lists before it cuts the list short: a
// single sequence may carry millions of them.
constexpr size_t kMaxListedParameters = 32;

struct ExtendedColor {
    std::optional<Attribute::Color> color;
    size_t consumed = 0;
};

// The SGR parameters with the separators that follow them.
class SgrParameters {
public:
    SgrParameters(Terminal::Params pars, std::span<const uint8_t> separators)
        : pars_(pars), separators_(separators.first(std::min(separators.size(), pars.size() - 1)))
    {
    }

    size_t size() const { return pars_.size(); }
    int64_t operator[](size_t i) const { return pars_[i]; }
    bool colonAfter(size_t i) const { return i < separators_.size() && separators_[i] == ':'; }

    // The colour of 38, 48 or 58 whose selector is at `start`, and how many
    // parameters it took. Components and palette indices above 255 are 255.
    ExtendedColor parseExtendedColor(size_t start, bool usesColon) const
    {
        if (start >= size()) return {std::nullopt, 0};
        const int64_t selector = pars_[start];
        if (!usesColon) {
            if (selector == 5) {
                if (start + 1 >= size()) return {std::nullopt, 1};
                return {Attribute::Color::ansi256(component(start + 1)), 2};
            }
            if (selector == 2) {
                if (start + 3 >= size()) return {std::nullopt, 1};
                return {rgb(start + 1), 4};
            }
            return {std::nullopt, 1};
        }
        size_t end = start;
        while (end < size() - 1 && colonAfter(end)) ++end;
        const size_t length = end - start + 1;
        if (selector == 5 && length >= 2) return {Attribute::Color::ansi256(component(start + 1)), length};
        if (selector == 2 && length == 4) return {rgb(start + 1), length};
        // The second member is the colour-space identifier; it is skipped.
        if (selector == 2 && length >= 5) return {rgb(start + 2), length};
        return {std::nullopt, length};
    }

private:
    uint8_t component(size_t i) const { return static_cast<uint8_t>(std::clamp<int64_t>(pars_[i], 0, 255)); }
    Attribute::Color rgb(size_t i) const
    {
        return Attribute::Color::trueColor(component(i), component(i + 1), component(i + 2));
    }

    Terminal::Params pars_;
    std::span<const uint8_t> separators_;
};

UnderlineStyle underlineStyleFor(int64_t sub)
{
    switch (sub) {
    case 2: return UnderlineStyle::double_;
    case 3: return UnderlineStyle::curly;
    case 4: return UnderlineStyle::dotted;
    case 5: return UnderlineStyle::dashed;
    default: return UnderlineStyle::single;
    }
}

}  // namespace

void Terminal::cmdCsiM(Params pars, Collect collect)
{
    // Forms with a private marker or intermediates (CSI > 4 ; 1 m sets key
    // modifier options elsewhere) are not attributes.
    if (collect.empty()) cmdCharAttributes(pars);
}

void Terminal::cmdCharAttributes(Params pars)
{
    if (pars.empty()) return;
    if (pars.size() == 1 && pars[0] == 0) {
        curAttr = Attribute::empty;
        return;
    }

    const SgrParameters p(pars, parser_._parsTxt);
    Attribute attr = curAttr;
    size_t i = 0;
    while (i < p.size()) {
        const int64_t code = p[i];
        size_t advance = 1;
        switch (code) {
        case 0: attr = Attribute::empty; break;
        case 1: attr.style.insert(CharacterStyle::bold); break;
        case 2: attr.style.insert(CharacterStyle::dim); break;
        case 3: attr.style.insert(CharacterStyle::italic); break;
        case 4:
            if (p.colonAfter(i) && i + 1 < p.size()) {
                const int64_t sub = p[i + 1];
                if (sub == 0) {
                    attr.style.remove(CharacterStyle::underline);
                    attr.underlineStyle = UnderlineStyle::none;
                } else {
                    attr.style.insert(CharacterStyle::underline);
                    attr.underlineStyle = underlineStyleFor(sub);
                }
                advance = 2;
            } else {
                attr.style.insert(CharacterStyle::underline);
                attr.underlineStyle = UnderlineStyle::single;
            }
            break;
        case 5: attr.style.insert(CharacterStyle::blink); break;
        case 7: attr.style.insert(CharacterStyle::inverse); break;
        case 8: attr.style.insert(CharacterStyle::invisible); break;
        case 9: attr.style.insert(CharacterStyle::crossedOut); break;
        case 21:
            attr.style.insert(CharacterStyle::underline);
            attr.underlineStyle = UnderlineStyle::double_;
            break;
        case 22:
            attr.style.remove(CharacterStyle::bold);
            attr.style.remove(CharacterStyle::dim);
            break;
        case 23: attr.style.remove(CharacterStyle::italic); break;
        case 24:
            attr.style.remove(CharacterStyle::underline);
            attr.underlineStyle = UnderlineStyle::none;
            break;
        case 25: attr.style.remove(CharacterStyle::blink); break;
        case 27: attr.style.remove(CharacterStyle::inverse); break;
        case 28: attr.style.remove(CharacterStyle::invisible); break;
        case 29: attr.style.remove(CharacterStyle::crossedOut); break;
        case 39: attr.fg = Attribute::Color::defaultColor(); break;
        case 49: attr.bg = Attribute::Color::defaultColor(); break;
        case 38:
        case 48:
        case 58: {
            const ExtendedColor extended = p.parseExtendedColor(i + 1, p.colonAfter(i));
            if (extended.color) {
                if (code == 38) {
                    attr.fg = *extended.color;
                } else if (code == 48) {
                    attr.bg = *extended.color;
                } else {
                    attr.underlineColor = *extended.color;
                }
            }
            advance = 1 + std::max<size_t>(extended.consumed, 1);
            break;
        }
        case 59: attr.underlineColor.reset(); break;
        default:
            if (code >= 30 && code <= 37) {
                attr.fg = Attribute::Color::ansi256(static_cast<uint8_t>(code - 30));
            } else if (code >= 40 && code <= 47) {
                attr.bg = Attribute::Color::ansi256(static_cast<uint8_t>(code - 40));
            } else if (code >= 90 && code <= 97) {
                attr.fg = Attribute::Color::ansi256(static_cast<uint8_t>(code - 82));
            } else if (code >= 100 && code <= 107) {
                attr.bg = Attribute::Color::ansi256(static_cast<uint8_t>(code - 92));
            } else {
                reportUnknownSgr(code, pars);
            }
            break;
        }
        i += advance;
    }
    curAttr = attr;
}

// Printed whatever `silentLog` says, so that programs using attributes this
// terminal lacks show up; the throttle keeps a program that repeats them from
// making the log the bottleneck of its output. Composed in the throttle's
// scratch text, so a repeat allocates nothing.
void Terminal::reportUnknownSgr(int64_t code, Params pars)
{
    diagnostics_.write(DispatchQueue::main().now(), [&](std::string& out) {
        out += "Unknown SGR attribute: ";
        out += std::to_string(code);
        out += " [";
        const size_t listed = std::min(pars.size(), kMaxListedParameters);
        for (size_t k = 0; k < listed; ++k) {
            if (k > 0) out += ", ";
            out += std::to_string(pars[k]);
        }
        if (listed < pars.size()) out += ", ...";
        out += ']';
    });
}

}  // namespace corvel
