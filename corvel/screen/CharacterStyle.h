// The style bits of a cell, one byte wide so that a cell stays small.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace corvel {

struct CharacterStyle {
    uint8_t rawValue = 0;

    constexpr CharacterStyle() = default;
    constexpr explicit CharacterStyle(uint8_t raw) : rawValue(raw) {}
    constexpr CharacterStyle(std::initializer_list<CharacterStyle> styles)
    {
        for (auto s : styles) rawValue |= s.rawValue;
    }

    // The style stored in bits 18...25 of a packed 32-bit attribute word.
    static constexpr CharacterStyle fromAttribute(uint32_t attribute)
    {
        return CharacterStyle(static_cast<uint8_t>((attribute >> 18) & 0xff));
    }

    static const CharacterStyle none;
    static const CharacterStyle bold;
    static const CharacterStyle underline;
    static const CharacterStyle blink;
    static const CharacterStyle inverse;
    static const CharacterStyle invisible;
    static const CharacterStyle dim;
    static const CharacterStyle italic;
    static const CharacterStyle crossedOut;

    constexpr bool isEmpty() const { return rawValue == 0; }
    constexpr bool contains(CharacterStyle other) const { return (rawValue & other.rawValue) == other.rawValue; }
    constexpr bool isSubset(CharacterStyle of) const { return (rawValue & of.rawValue) == rawValue; }
    constexpr bool isSuperset(CharacterStyle of) const { return of.isSubset(*this); }
    constexpr void insert(CharacterStyle other) { rawValue |= other.rawValue; }
    constexpr void remove(CharacterStyle other) { rawValue &= static_cast<uint8_t>(~other.rawValue); }

    friend constexpr CharacterStyle operator|(CharacterStyle a, CharacterStyle b)
    {
        return CharacterStyle(static_cast<uint8_t>(a.rawValue | b.rawValue));
    }
    friend constexpr CharacterStyle operator&(CharacterStyle a, CharacterStyle b)
    {
        return CharacterStyle(static_cast<uint8_t>(a.rawValue & b.rawValue));
    }
    friend constexpr CharacterStyle operator^(CharacterStyle a, CharacterStyle b)
    {
        return CharacterStyle(static_cast<uint8_t>(a.rawValue ^ b.rawValue));
    }
    constexpr CharacterStyle& operator|=(CharacterStyle b) { rawValue |= b.rawValue; return *this; }
    constexpr CharacterStyle& operator&=(CharacterStyle b) { rawValue &= b.rawValue; return *this; }
    constexpr CharacterStyle& operator^=(CharacterStyle b) { rawValue ^= b.rawValue; return *this; }
    constexpr bool operator==(const CharacterStyle&) const = default;
};

inline constexpr CharacterStyle CharacterStyle::none(uint8_t{0});
inline constexpr CharacterStyle CharacterStyle::bold(uint8_t{1});
inline constexpr CharacterStyle CharacterStyle::underline(uint8_t{2});
inline constexpr CharacterStyle CharacterStyle::blink(uint8_t{4});
inline constexpr CharacterStyle CharacterStyle::inverse(uint8_t{8});
inline constexpr CharacterStyle CharacterStyle::invisible(uint8_t{16});
inline constexpr CharacterStyle CharacterStyle::dim(uint8_t{32});
inline constexpr CharacterStyle CharacterStyle::italic(uint8_t{64});
inline constexpr CharacterStyle CharacterStyle::crossedOut(uint8_t{128});

}  // namespace corvel
