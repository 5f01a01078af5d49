// The records of the Kitty keyboard protocol: modifiers, event types, the
// functional keys with their wire forms, and the key event the encoder takes.
// Plain values without any toolkit type: the view turns its own key events
// into these. The functional key table is constant data.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace corvel {

// Modifiers held, lock states included. On the wire a modifier field
// carries 1 + the raw value.
struct KittyKeyboardModifiers {
    int64_t rawValue = 0;

    constexpr KittyKeyboardModifiers() = default;
    constexpr explicit KittyKeyboardModifiers(int64_t raw) : rawValue(raw) {}

    static const KittyKeyboardModifiers shift;
    static const KittyKeyboardModifiers alt;
    static const KittyKeyboardModifiers ctrl;
    static const KittyKeyboardModifiers super;
    static const KittyKeyboardModifiers hyper;
    static const KittyKeyboardModifiers meta;
    static const KittyKeyboardModifiers capsLock;
    static const KittyKeyboardModifiers numLock;

    constexpr bool isEmpty() const { return rawValue == 0; }
    constexpr bool contains(KittyKeyboardModifiers other) const { return (rawValue & other.rawValue) == other.rawValue; }
    constexpr bool intersects(KittyKeyboardModifiers other) const { return (rawValue & other.rawValue) != 0; }
    friend constexpr KittyKeyboardModifiers operator|(KittyKeyboardModifiers a, KittyKeyboardModifiers b)
    {
        return KittyKeyboardModifiers(a.rawValue | b.rawValue);
    }
    constexpr bool operator==(const KittyKeyboardModifiers&) const = default;
};

inline constexpr KittyKeyboardModifiers KittyKeyboardModifiers::shift(1);
inline constexpr KittyKeyboardModifiers KittyKeyboardModifiers::alt(2);
inline constexpr KittyKeyboardModifiers KittyKeyboardModifiers::ctrl(4);
inline constexpr KittyKeyboardModifiers KittyKeyboardModifiers::super(8);
inline constexpr KittyKeyboardModifiers KittyKeyboardModifiers::hyper(16);
inline constexpr KittyKeyboardModifiers KittyKeyboardModifiers::meta(32);
inline constexpr KittyKeyboardModifiers KittyKeyboardModifiers::capsLock(64);
inline constexpr KittyKeyboardModifiers KittyKeyboardModifiers::numLock(128);

enum class KittyKeyboardEventType : uint8_t { press = 1, repeatPress = 2, release = 3 };

// The event type with this raw value; other numbers give none.
std::optional<KittyKeyboardEventType> kittyKeyboardEventTypeFromRaw(int64_t raw);

// The keys without a text of their own, in the protocol's order.
enum class KittyFunctionalKey : uint8_t {
    escape, enter, tab, backspace, insert, delete_, up, down, left, right, home, end, pageUp, pageDown,
    f1, f2, f3, f4, f5, f6, f7, f8, f9, f10, f11, f12,
    f13, f14, f15, f16, f17, f18, f19, f20, f21, f22, f23, f24, f25, f26, f27, f28, f29, f30, f31, f32, f33,
    f34, f35,
    menu, capsLock, scrollLock, numLock, printScreen, pause,
    keypad0, keypad1, keypad2, keypad3, keypad4, keypad5, keypad6, keypad7, keypad8, keypad9,
    keypadDecimal, keypadDivide, keypadMultiply, keypadSubtract, keypadAdd, keypadEnter, keypadEqual,
    keypadSeparator, keypadLeft, keypadRight, keypadUp, keypadDown, keypadPageUp, keypadPageDown, keypadHome,
    keypadEnd, keypadInsert, keypadDelete, keypadBegin,
    mediaPlay, mediaPause, mediaPlayPause, mediaReverse, mediaStop, mediaFastForward, mediaRewind,
    mediaTrackNext, mediaTrackPrevious, mediaRecord, volumeDown, volumeUp, volumeMute,
    leftShift, leftControl, leftAlt, leftSuper, leftHyper, leftMeta, rightShift, rightControl, rightAlt,
    rightSuper, rightHyper, rightMeta, isoLevel3Shift, isoLevel5Shift,
};

inline constexpr int kittyFunctionalKeyCount = static_cast<int>(KittyFunctionalKey::isoLevel5Shift) + 1;

// How a functional key is written: `CSI 1 ; m X` / `CSI X` with the letter
// as final byte, `CSI n ; m ~`, or `CSI code ; m u`.
struct KittyFunctionalEncoding {
    enum class Form : uint8_t { letter, tilde, csiU };
    Form form = Form::csiU;
    // The letter (its byte value), the tilde number or the CSI u key code.
    uint32_t number = 0;
};

KittyFunctionalEncoding functionalEncoding(KittyFunctionalKey key);

// One of the fourteen modifier keys leftShift ... isoLevel5Shift.
constexpr bool isKittyModifierKey(KittyFunctionalKey key)
{
    return key >= KittyFunctionalKey::leftShift && key <= KittyFunctionalKey::isoLevel5Shift;
}

// A key: a Unicode scalar, a functional key, or none.
struct KittyKey {
    struct None {
        bool operator==(const None&) const = default;
    };
    std::variant<None, char32_t, KittyFunctionalKey> value;

    static KittyKey none() { return {}; }
    static KittyKey unicode(char32_t scalar) { return KittyKey{scalar}; }
    static KittyKey functional(KittyFunctionalKey key) { return KittyKey{key}; }

    const char32_t* scalar() const { return std::get_if<char32_t>(&value); }
    const KittyFunctionalKey* functionalKey() const { return std::get_if<KittyFunctionalKey>(&value); }
    bool isNone() const { return std::holds_alternative<None>(value); }
    bool is(KittyFunctionalKey key) const
    {
        const auto* f = functionalKey();
        return f && *f == key;
    }
    bool operator==(const KittyKey&) const = default;
};

// One key event as the view saw it.
struct KittyKeyEvent {
    KittyKey key;
    KittyKeyboardModifiers modifiers;
    KittyKeyboardEventType eventType = KittyKeyboardEventType::press;
    // The text the key produces, UTF-8.
    std::optional<std::string> text;
    std::optional<char32_t> shiftedKey;
    // The key in the standard (base) layout.
    std::optional<char32_t> baseLayoutKey;
    // An input method is composing.
    bool composing = false;
};

}  // namespace corvel
