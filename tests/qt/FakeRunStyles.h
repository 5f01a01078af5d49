// A plain attribute-to-style mapping for tests and benchmarks that stands in
// for the view's colour mapping: the 16 base colours, a grey ramp for the
// rest of the palette, RGB as given, defaults black on white, inverse swaps,
// bold and italic pick the face, links get a dashed underline. Results are
// cached per attribute like the view's, and lookups are counted.
#pragma once

#include <QColor>

#include <unordered_map>

#include "corvel/qt/RunStyle.h"

namespace corvel::qt::test {

class FakeRunStyles : public RunStyleSource {
public:
    QColor defaultFg = Qt::black;
    QColor defaultBg = Qt::white;
    int lookups = 0;

    static QColor palette(uint8_t code)
    {
        static const QRgb base[16] = {0x000000, 0xcd0000, 0x00cd00, 0xcdcd00, 0x0000ee, 0xcd00cd, 0x00cdcd, 0xe5e5e5,
                                      0x7f7f7f, 0xff0000, 0x00ff00, 0xffff00, 0x5c5cff, 0xff00ff, 0x00ffff, 0xffffff};
        if (code < 16) return QColor::fromRgb(base[code]);
        return QColor(code, code, code);
    }

    const RunStyle& runStyle(const Attribute& attribute, bool asLink) override
    {
        ++lookups;
        auto& cache = asLink ? linkCache_ : cache_;
        auto found = cache.find(attribute);
        if (found != cache.end()) return found->second;
        return cache.emplace(attribute, make(attribute, asLink)).first->second;
    }

private:
    QColor map(const Attribute::Color& c, bool isFg) const
    {
        switch (c.kind()) {
        case Attribute::Color::Kind::ansi256: return palette(c.code());
        case Attribute::Color::Kind::trueColor: return QColor(c.red(), c.green(), c.blue());
        case Attribute::Color::Kind::defaultColor: return isFg ? defaultFg : defaultBg;
        case Attribute::Color::Kind::defaultInvertedColor: return isFg ? defaultBg : defaultFg;
        }
        return defaultFg;
    }

    RunStyle make(const Attribute& a, bool asLink) const
    {
        RunStyle s;
        const bool bold = a.style.contains(CharacterStyle::bold);
        const bool italic = a.style.contains(CharacterStyle::italic);
        s.face = bold && italic ? FontFace::boldItalic : bold ? FontFace::bold : italic ? FontFace::italic : FontFace::normal;
        s.foreground = map(a.fg, true);
        s.background = map(a.bg, false);
        if (a.style.contains(CharacterStyle::inverse)) std::swap(s.foreground, s.background);
        if (a.style.contains(CharacterStyle::underline)) {
            s.underline = a.underlineStyle == UnderlineStyle::none ? UnderlineStyle::single : a.underlineStyle;
            s.underlineColor = a.underlineColor ? map(*a.underlineColor, true) : s.foreground;
        }
        if (a.style.contains(CharacterStyle::crossedOut)) {
            s.strikethrough = true;
            s.strikethroughColor = s.foreground;
        }
        if (asLink) {
            s.underline = UnderlineStyle::dashed;
            s.underlineColor = s.foreground;
        }
        return s;
    }

    std::unordered_map<Attribute, RunStyle> cache_;
    std::unordered_map<Attribute, RunStyle> linkCache_;
};

}  // namespace corvel::qt::test
