// One key event as the keyboard handling of the terminal view reads it, free
// of any toolkit type, so the encoding can be driven and tested without a
// display. KeyInputAdapter fills it from a QKeyEvent.
//
// The record follows the conventions the key tables are written in: key
// codes are the design's virtual key codes (KeyCode below: 0 is the key of
// "a" on the US layout, 36 Return, 123 ... 126 the arrows), and keys without
// a text of their own (arrows, F1 ..., Home, Page Up, forward delete) carry a
// character of the private-use range U+F700 ... U+F74F (FunctionKey below)
// together with the `function` modifier. A plain value.
#pragma once

#include <cstdint>
#include <string>

namespace corvel {

namespace KeyCode {
inline constexpr uint16_t a = 0;
inline constexpr uint16_t returnKey = 36;
inline constexpr uint16_t tab = 48;
inline constexpr uint16_t space = 49;
inline constexpr uint16_t deleteBackward = 51;
inline constexpr uint16_t escape = 53;
inline constexpr uint16_t rightCommand = 54;
inline constexpr uint16_t leftCommand = 55;
inline constexpr uint16_t leftShift = 56;
inline constexpr uint16_t capsLock = 57;
inline constexpr uint16_t leftOption = 58;
inline constexpr uint16_t leftControl = 59;
inline constexpr uint16_t rightShift = 60;
inline constexpr uint16_t rightOption = 61;
inline constexpr uint16_t rightControl = 62;
inline constexpr uint16_t keypadDecimal = 65;
inline constexpr uint16_t keypadMultiply = 67;
inline constexpr uint16_t keypadAdd = 69;
inline constexpr uint16_t keypadClear = 71;
inline constexpr uint16_t keypadDivide = 75;
inline constexpr uint16_t keypadEnter = 76;
inline constexpr uint16_t keypadSubtract = 78;
inline constexpr uint16_t keypadEqual = 81;
inline constexpr uint16_t keypad0 = 82;  // keypad 0 ... 7 are 82 ... 89
inline constexpr uint16_t keypad8 = 91;
inline constexpr uint16_t keypad9 = 92;
inline constexpr uint16_t home = 115;
inline constexpr uint16_t pageUp = 116;
inline constexpr uint16_t forwardDelete = 117;
inline constexpr uint16_t end = 119;
inline constexpr uint16_t pageDown = 121;
inline constexpr uint16_t left = 123;
inline constexpr uint16_t right = 124;
inline constexpr uint16_t down = 125;
inline constexpr uint16_t up = 126;
// A key without a code of its own in the table.
inline constexpr uint16_t unknown = 0xFFFF;

// The key of `character` on the US layout (a lower-case letter, a digit,
// punctuation or space; 48 keys); unknown for any other character.
uint16_t forUsCharacter(char32_t character);
// The character of a key on the US layout; 0 for keys without one.
char32_t usCharacter(uint16_t keyCode);
}  // namespace KeyCode

namespace FunctionKey {
inline constexpr char32_t up = 0xF700;
inline constexpr char32_t down = 0xF701;
inline constexpr char32_t left = 0xF702;
inline constexpr char32_t right = 0xF703;
inline constexpr char32_t f1 = 0xF704;  // F1 ... F35 are U+F704 ... U+F726
inline constexpr char32_t insert = 0xF727;
inline constexpr char32_t deleteForward = 0xF728;
inline constexpr char32_t home = 0xF729;
inline constexpr char32_t end = 0xF72B;
inline constexpr char32_t pageUp = 0xF72C;
inline constexpr char32_t pageDown = 0xF72D;
inline constexpr char32_t printScreen = 0xF72E;
inline constexpr char32_t scrollLock = 0xF72F;
inline constexpr char32_t pause = 0xF730;
inline constexpr char32_t menu = 0xF735;
}  // namespace FunctionKey

struct KeyInput {
    enum Modifier : uint16_t {
        capsLock = 1 << 0,
        shift = 1 << 1,
        control = 1 << 2,
        option = 1 << 3,   // Alt; AltGr never sets it
        command = 1 << 4,  // the Super key
        numericPad = 1 << 5,
        function = 1 << 6,
    };

    // The text the key produces with every modifier applied (UTF-8).
    std::string characters;
    // The text with Shift (and Caps Lock) applied but not Control, Alt or
    // Super: Control-a gives "a", Alt-Shift-x "X".
    std::string charactersIgnoringModifiers;
    uint16_t keyCode = KeyCode::unknown;
    uint16_t modifiers = 0;
    bool isRepeat = false;
    // For a modifier key's own event: whether it went down (true) or up.
    bool pressed = true;

    bool has(Modifier modifier) const { return (modifiers & modifier) != 0; }
    // The first scalar of `charactersIgnoringModifiers`, 0 when empty.
    char32_t firstScalarIgnoringModifiers() const;
    char32_t firstScalar() const;
};

}  // namespace corvel
