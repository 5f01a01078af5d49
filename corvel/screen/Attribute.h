// The drawing attribute of a cell: foreground and background colour slots,
// style bits, underline style and an optional underline colour. It is a small
// trivially copyable value compared byte by byte, because the view compares
// attributes on every run of cells.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <type_traits>

#include "corvel/screen/CharacterStyle.h"
#include "corvel/screen/UnderlineStyle.h"

namespace corvel {

struct Attribute {
    // A colour slot: an index into the 256-colour palette, a direct RGB colour,
    // or the terminal's default foreground/background (plain or swapped).
    // One case byte plus three payload bytes; unused payload bytes stay zero so
    // that equality can compare all four bytes.
    class Color {
    public:
        enum class Kind : uint8_t { ansi256 = 0, trueColor = 1, defaultColor = 2, defaultInvertedColor = 3 };

        constexpr Color() = default;  // defaultColor

        static constexpr Color ansi256(uint8_t code) { return Color(Kind::ansi256, code, 0, 0); }
        static constexpr Color trueColor(uint8_t red, uint8_t green, uint8_t blue)
        {
            return Color(Kind::trueColor, red, green, blue);
        }
        static constexpr Color defaultColor() { return Color(Kind::defaultColor, 0, 0, 0); }
        static constexpr Color defaultInvertedColor() { return Color(Kind::defaultInvertedColor, 0, 0, 0); }

        constexpr Kind kind() const { return kind_; }
        constexpr bool isAnsi256() const { return kind_ == Kind::ansi256; }
        constexpr bool isTrueColor() const { return kind_ == Kind::trueColor; }
        // The palette index of an `ansi256` colour.
        constexpr uint8_t code() const { return b0_; }
        // The components of a `trueColor` colour.
        constexpr uint8_t red() const { return b0_; }
        constexpr uint8_t green() const { return b1_; }
        constexpr uint8_t blue() const { return b2_; }

        constexpr bool operator==(const Color&) const = default;
        size_t hash() const;

    private:
        constexpr Color(Kind kind, uint8_t b0, uint8_t b1, uint8_t b2) : kind_(kind), b0_(b0), b1_(b1), b2_(b2) {}

        Kind kind_ = Kind::defaultColor;
        uint8_t b0_ = 0;
        uint8_t b1_ = 0;
        uint8_t b2_ = 0;
    };

    Color fg;
    Color bg;
    CharacterStyle style;
    UnderlineStyle underlineStyle = UnderlineStyle::none;
    std::optional<Color> underlineColor;

    // Default foreground, default background, no style, no underline. The
    // background is the plain default colour, so cells written with this
    // attribute are not taken for content and are not drawn inverted.
    static const Attribute empty;

    constexpr bool operator==(const Attribute&) const = default;
    size_t hash() const;

    // The SGR parameters that recreate this attribute, ending in "m", without
    // the CSI introducer: bold, underline, blink, inverse, invisible and the two
    // colours. Dim, italic, crossed-out and the underline style and colour are
    // not represented.
    std::string toSgr() const;
};

inline constexpr Attribute Attribute::empty{};

static_assert(sizeof(Attribute::Color) == 4);
static_assert(std::is_trivially_copyable_v<Attribute>);

}  // namespace corvel

template <>
struct std::hash<corvel::Attribute::Color> {
    size_t operator()(const corvel::Attribute::Color& c) const noexcept { return c.hash(); }
};

template <>
struct std::hash<corvel::Attribute> {
    size_t operator()(const corvel::Attribute& a) const noexcept { return a.hash(); }
};
