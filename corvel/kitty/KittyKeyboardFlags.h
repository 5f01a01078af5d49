// The flags a program sets to choose the key reports of the Kitty keyboard
// protocol. 0 means no enhancement: keys are sent in their classic forms.
#pragma once

#include <cstdint>

namespace corvel {

struct KittyKeyboardFlags {
    int64_t rawValue = 0;

    constexpr KittyKeyboardFlags() = default;
    constexpr explicit KittyKeyboardFlags(int64_t raw) : rawValue(raw) {}

    static const KittyKeyboardFlags disambiguate;
    static const KittyKeyboardFlags reportEvents;
    static const KittyKeyboardFlags reportAlternates;
    static const KittyKeyboardFlags reportAllKeys;
    static const KittyKeyboardFlags reportText;
    // Every flag this terminal knows.
    static constexpr int64_t knownMask = 31;

    constexpr bool isEmpty() const { return rawValue == 0; }
    constexpr bool contains(KittyKeyboardFlags other) const { return (rawValue & other.rawValue) == other.rawValue; }
    constexpr void insert(KittyKeyboardFlags other) { rawValue |= other.rawValue; }
    constexpr void remove(KittyKeyboardFlags other) { rawValue &= ~other.rawValue; }

    friend constexpr KittyKeyboardFlags operator|(KittyKeyboardFlags a, KittyKeyboardFlags b)
    {
        return KittyKeyboardFlags(a.rawValue | b.rawValue);
    }
    friend constexpr KittyKeyboardFlags operator&(KittyKeyboardFlags a, KittyKeyboardFlags b)
    {
        return KittyKeyboardFlags(a.rawValue & b.rawValue);
    }
    friend constexpr KittyKeyboardFlags operator^(KittyKeyboardFlags a, KittyKeyboardFlags b)
    {
        return KittyKeyboardFlags(a.rawValue ^ b.rawValue);
    }
    constexpr bool operator==(const KittyKeyboardFlags&) const = default;
};

inline constexpr KittyKeyboardFlags KittyKeyboardFlags::disambiguate(1);
inline constexpr KittyKeyboardFlags KittyKeyboardFlags::reportEvents(2);
inline constexpr KittyKeyboardFlags KittyKeyboardFlags::reportAlternates(4);
inline constexpr KittyKeyboardFlags KittyKeyboardFlags::reportAllKeys(8);
inline constexpr KittyKeyboardFlags KittyKeyboardFlags::reportText(16);

}  // namespace corvel
