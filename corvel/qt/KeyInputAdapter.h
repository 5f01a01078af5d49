// Turns a QKeyEvent into the view's KeyInput record: characters, characters
// ignoring modifiers, the design key code, modifiers and auto-repeat.
//
// Modifiers: Shift, Control, Alt (option) and Super (command) as Qt reports
// them; AltGr is not Alt. Keypad keys set numericPad; keys without text get
// their private-use character and the function modifier. On X11 the physical
// key (the event's X key code) gives the key code, so the base-layout key is
// the US key at that place whatever the layout; elsewhere it comes from the
// Qt key. Caps Lock is read from the X modifier state where there is one.
// Stateless; GUI thread.
#pragma once

#include "corvel/qt/KeyInput.h"

#include <cstdint>

class QKeyEvent;

namespace corvel::KeyInputAdapter {

KeyInput fromQKeyEvent(const QKeyEvent& event);

// Whether the event is a modifier key's own press or release (Shift,
// Control, Alt, Super, Caps Lock).
bool isModifierKey(const QKeyEvent& event);

// The US-layout character of an X key code (evdev code + 8); 0 for others.
char32_t usCharacterForXKeyCode(uint32_t xKeyCode);

}  // namespace corvel::KeyInputAdapter
