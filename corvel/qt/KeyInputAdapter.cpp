// The QKeyEvent adapter of the terminal view's keyboard handling.
#include "corvel/qt/KeyInputAdapter.h"

#include "corvel/platform/Utf8.h"

#include <QGuiApplication>
#include <QKeyEvent>

#include <array>
#include <utility>

namespace corvel::KeyInputAdapter {

namespace {

// X keysyms of the modifier keys, from the event's native virtual key.
constexpr uint32_t XK_Shift_L = 0xffe1;
constexpr uint32_t XK_Shift_R = 0xffe2;
constexpr uint32_t XK_Control_R = 0xffe4;
constexpr uint32_t XK_Alt_R = 0xffea;
constexpr uint32_t XK_Meta_R = 0xffe8;
constexpr uint32_t XK_Super_R = 0xffec;
// The X modifier state bit of Caps Lock.
constexpr uint32_t XLockMask = 0x02;

// X key codes (evdev + 8) of the US main block and their characters.
constexpr std::array<std::pair<uint32_t, char32_t>, 48> xKeys{{
    {10, U'1'},  {11, U'2'},  {12, U'3'},  {13, U'4'},  {14, U'5'},  {15, U'6'},  {16, U'7'},  {17, U'8'},
    {18, U'9'},  {19, U'0'},  {20, U'-'},  {21, U'='},  {24, U'q'},  {25, U'w'},  {26, U'e'},  {27, U'r'},
    {28, U't'},  {29, U'y'},  {30, U'u'},  {31, U'i'},  {32, U'o'},  {33, U'p'},  {34, U'['},  {35, U']'},
    {38, U'a'},  {39, U's'},  {40, U'd'},  {41, U'f'},  {42, U'g'},  {43, U'h'},  {44, U'j'},  {45, U'k'},
    {46, U'l'},  {47, U';'},  {48, U'\''}, {49, U'`'},  {51, U'\\'}, {52, U'z'},  {53, U'x'},  {54, U'c'},
    {55, U'v'},  {56, U'b'},  {57, U'n'},  {58, U'm'},  {59, U','},  {60, U'.'},  {61, U'/'},  {65, U' '},
}};

struct SpecialKey {
    int qtKey;
    uint16_t keyCode;
    char32_t character;  // private-use for function keys, else the control character
    bool function;
};

constexpr std::array<SpecialKey, 27> specialKeys{{
    {Qt::Key_Return, KeyCode::returnKey, U'\r', false},
    {Qt::Key_Enter, KeyCode::keypadEnter, 0x03, false},
    {Qt::Key_Tab, KeyCode::tab, U'\t', false},
    {Qt::Key_Backtab, KeyCode::tab, 0x19, false},
    {Qt::Key_Backspace, KeyCode::deleteBackward, 0x7F, false},
    {Qt::Key_Escape, KeyCode::escape, 0x1B, false},
    {Qt::Key_Up, KeyCode::up, FunctionKey::up, true},
    {Qt::Key_Down, KeyCode::down, FunctionKey::down, true},
    {Qt::Key_Left, KeyCode::left, FunctionKey::left, true},
    {Qt::Key_Right, KeyCode::right, FunctionKey::right, true},
    {Qt::Key_Home, KeyCode::home, FunctionKey::home, true},
    {Qt::Key_End, KeyCode::end, FunctionKey::end, true},
    {Qt::Key_PageUp, KeyCode::pageUp, FunctionKey::pageUp, true},
    {Qt::Key_PageDown, KeyCode::pageDown, FunctionKey::pageDown, true},
    {Qt::Key_Insert, KeyCode::unknown, FunctionKey::insert, true},
    {Qt::Key_Delete, KeyCode::forwardDelete, FunctionKey::deleteForward, true},
    {Qt::Key_Print, KeyCode::unknown, FunctionKey::printScreen, true},
    {Qt::Key_ScrollLock, KeyCode::unknown, FunctionKey::scrollLock, true},
    {Qt::Key_Pause, KeyCode::unknown, FunctionKey::pause, true},
    {Qt::Key_Menu, KeyCode::unknown, FunctionKey::menu, true},
    {Qt::Key_F1, 122, FunctionKey::f1, true},
    {Qt::Key_F2, 120, FunctionKey::f1 + 1, true},
    {Qt::Key_F3, 99, FunctionKey::f1 + 2, true},
    {Qt::Key_F4, 118, FunctionKey::f1 + 3, true},
    {Qt::Key_F5, 96, FunctionKey::f1 + 4, true},
    {Qt::Key_F6, 97, FunctionKey::f1 + 5, true},
    {Qt::Key_F7, 98, FunctionKey::f1 + 6, true},
}};

// F8 ... F12 and the rest up to F35 follow their own numbering.
constexpr std::array<uint16_t, 5> f8To12Codes{100, 101, 109, 103, 111};

// Keypad key codes by the Qt key of a keypad event (digits and operators).
uint16_t keypadCode(int qtKey)
{
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_7) return uint16_t(KeyCode::keypad0 + (qtKey - Qt::Key_0));
    switch (qtKey) {
    case Qt::Key_8: return KeyCode::keypad8;
    case Qt::Key_9: return KeyCode::keypad9;
    case Qt::Key_Period:
    case Qt::Key_Comma: return KeyCode::keypadDecimal;
    case Qt::Key_Asterisk: return KeyCode::keypadMultiply;
    case Qt::Key_Plus: return KeyCode::keypadAdd;
    case Qt::Key_Slash: return KeyCode::keypadDivide;
    case Qt::Key_Minus: return KeyCode::keypadSubtract;
    case Qt::Key_Equal: return KeyCode::keypadEqual;
    case Qt::Key_Clear: return KeyCode::keypadClear;
    case Qt::Key_Enter: return KeyCode::keypadEnter;
    default: return KeyCode::unknown;
    }
}

bool isX11()
{
    return QGuiApplication::platformName() == QStringLiteral("xcb");
}

std::string utf8Of(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), size_t(bytes.size()));
}

bool hasControlCharacters(const QString& text)
{
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) return true;
    return false;
}

}  // namespace

char32_t usCharacterForXKeyCode(uint32_t xKeyCode)
{
    for (const auto& [code, c] : xKeys)
        if (code == xKeyCode) return c;
    return 0;
}

bool isModifierKey(const QKeyEvent& event)
{
    switch (event.key()) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_CapsLock:
        return true;
    default:
        return false;
    }
}

KeyInput fromQKeyEvent(const QKeyEvent& event)
{
    KeyInput input;
    const Qt::KeyboardModifiers mods = event.modifiers();
    if (mods & Qt::ShiftModifier) input.modifiers |= KeyInput::shift;
    if (mods & Qt::ControlModifier) input.modifiers |= KeyInput::control;
    if (mods & Qt::AltModifier) input.modifiers |= KeyInput::option;
    if (mods & Qt::MetaModifier) input.modifiers |= KeyInput::command;
    if (mods & Qt::KeypadModifier) input.modifiers |= KeyInput::numericPad;
    if (isX11() && (event.nativeModifiers() & XLockMask)) input.modifiers |= KeyInput::capsLock;
    input.isRepeat = event.isAutoRepeat();
    input.pressed = event.type() != QEvent::KeyRelease;

    const int key = event.key();
    const uint32_t keysym = event.nativeVirtualKey();

    if (isModifierKey(event)) {
        const bool right = isX11() && (keysym == XK_Shift_R || keysym == XK_Control_R || keysym == XK_Alt_R ||
                                       keysym == XK_Meta_R || keysym == XK_Super_R);
        switch (key) {
        case Qt::Key_Shift:
            input.keyCode = right ? KeyCode::rightShift : KeyCode::leftShift;
            break;
        case Qt::Key_Control:
            input.keyCode = right ? KeyCode::rightControl : KeyCode::leftControl;
            break;
        case Qt::Key_Alt:
            input.keyCode = right ? KeyCode::rightOption : KeyCode::leftOption;
            break;
        case Qt::Key_Super_R:
            input.keyCode = KeyCode::rightCommand;
            break;
        case Qt::Key_CapsLock:
            input.keyCode = KeyCode::capsLock;
            break;
        default:  // Meta, Super_L
            input.keyCode = right ? KeyCode::rightCommand : KeyCode::leftCommand;
            break;
        }
        // The key's own modifier bit as it stands after this event.
        const uint16_t bit = key == Qt::Key_Shift     ? KeyInput::shift
                             : key == Qt::Key_Control ? KeyInput::control
                             : key == Qt::Key_Alt     ? KeyInput::option
                             : key == Qt::Key_CapsLock ? KeyInput::capsLock
                                                        : KeyInput::command;
        if (key != Qt::Key_CapsLock) {
            if (input.pressed) input.modifiers |= bit;
        }
        return input;
    }

    for (const SpecialKey& special : specialKeys) {
        if (special.qtKey != key) continue;
        input.keyCode = special.keyCode;
        input.charactersIgnoringModifiers = utf8::encode(special.character);
        input.characters = input.charactersIgnoringModifiers;
        if (special.function) input.modifiers |= KeyInput::function;
        if (input.has(KeyInput::numericPad) && key == Qt::Key_Enter) input.keyCode = KeyCode::keypadEnter;
        else if (input.has(KeyInput::numericPad) && special.function) input.keyCode = KeyCode::unknown;
        return input;
    }
    if (key >= Qt::Key_F8 && key <= Qt::Key_F35) {
        const int index = key - Qt::Key_F1;
        input.keyCode = key <= Qt::Key_F12 ? f8To12Codes[size_t(key - Qt::Key_F8)] : KeyCode::unknown;
        input.charactersIgnoringModifiers = utf8::encode(FunctionKey::f1 + char32_t(index));
        input.characters = input.charactersIgnoringModifiers;
        input.modifiers |= KeyInput::function;
        return input;
    }

    // Keys that type: the key's character with Shift applied, then the
    // event's own text where it is printable.
    const QString text = event.text();
    if (key > 0 && key < 0x01000000 && QChar::isPrint(char32_t(key))) {
        char32_t base = char32_t(key);
        const bool upper = input.has(KeyInput::shift) != input.has(KeyInput::capsLock);
        if (QChar::isLetter(base)) base = upper ? QChar::toUpper(base) : QChar::toLower(base);
        // Alt or Control can leave an event without a text; the printable
        // text of a plain key (another layout, a dead key's result) wins.
        if (!text.isEmpty() && !hasControlCharacters(text) && !(mods & (Qt::ControlModifier | Qt::AltModifier)))
            input.charactersIgnoringModifiers = utf8Of(text);
        else
            input.charactersIgnoringModifiers = utf8::encode(base);
    } else if (!text.isEmpty() && !hasControlCharacters(text)) {
        input.charactersIgnoringModifiers = utf8Of(text);
    }
    input.characters = text.isEmpty() ? input.charactersIgnoringModifiers : utf8Of(text);

    if (input.has(KeyInput::numericPad)) {
        input.keyCode = keypadCode(key);
    } else {
        char32_t us = 0;
        if (isX11() && event.nativeScanCode() != 0) us = usCharacterForXKeyCode(event.nativeScanCode());
        if (us == 0 && key > 0 && key < 0x80) us = QChar::toLower(char32_t(key));
        input.keyCode = KeyCode::forUsCharacter(us);
    }
    return input;
}

}  // namespace corvel::KeyInputAdapter
