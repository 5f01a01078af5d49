// The functional key table of the Kitty keyboard protocol and the event type
// conversion. Constant data only.
#include "corvel/kitty/KittyKeyboardProtocol.h"

namespace corvel {

std::optional<KittyKeyboardEventType> kittyKeyboardEventTypeFromRaw(int64_t raw)
{
    if (raw < 1 || raw > 3) return std::nullopt;
    return static_cast<KittyKeyboardEventType>(raw);
}

KittyFunctionalEncoding functionalEncoding(KittyFunctionalKey key)
{
    using K = KittyFunctionalKey;
    using Form = KittyFunctionalEncoding::Form;
    const auto letter = [](char c) { return KittyFunctionalEncoding{Form::letter, static_cast<uint32_t>(c)}; };
    const auto tilde = [](uint32_t n) { return KittyFunctionalEncoding{Form::tilde, n}; };
    const auto csiU = [](uint32_t code) { return KittyFunctionalEncoding{Form::csiU, code}; };
    switch (key) {
    case K::escape: return csiU(27);
    case K::enter: return csiU(13);
    case K::tab: return csiU(9);
    case K::backspace: return csiU(127);
    case K::insert: return tilde(2);
    case K::delete_: return tilde(3);
    case K::up: return letter('A');
    case K::down: return letter('B');
    case K::left: return letter('D');
    case K::right: return letter('C');
    case K::home: return letter('H');
    case K::end: return letter('F');
    case K::pageUp: return tilde(5);
    case K::pageDown: return tilde(6);
    case K::f1: return letter('P');
    case K::f2: return letter('Q');
    case K::f3: return tilde(13);
    case K::f4: return letter('S');
    case K::f5: return tilde(15);
    case K::f6: return tilde(17);
    case K::f7: return tilde(18);
    case K::f8: return tilde(19);
    case K::f9: return tilde(20);
    case K::f10: return tilde(21);
    case K::f11: return tilde(23);
    case K::f12: return tilde(24);
    case K::menu: return csiU(57363);
    case K::capsLock: return csiU(57358);
    case K::scrollLock: return csiU(57359);
    case K::numLock: return csiU(57360);
    case K::printScreen: return csiU(57361);
    case K::pause: return csiU(57362);
    default: break;
    }
    // The remaining keys are numbered consecutively in runs.
    const auto offset = [key](K first) { return static_cast<uint32_t>(key) - static_cast<uint32_t>(first); };
    if (key >= K::f13 && key <= K::f35) return csiU(57376 + offset(K::f13));
    if (key >= K::keypad0 && key <= K::keypadBegin) return csiU(57399 + offset(K::keypad0));
    if (key >= K::mediaPlay && key <= K::volumeMute) return csiU(57428 + offset(K::mediaPlay));
    return csiU(57441 + offset(K::leftShift));
}

}  // namespace corvel
