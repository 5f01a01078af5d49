// Keys to editing commands, by the key's character ignoring modifiers: the
// control characters of Return, Tab, back-tab, Escape and Backspace, and the
// private-use characters of the cursor and page keys. Modifiers do not
// change the command; the view reads them from the key itself.
#include "corvel/qt/EditingSelectors.h"

namespace corvel::EditingSelectors {

std::optional<std::string_view> selectorFor(const KeyInput& event)
{
    switch (event.firstScalarIgnoringModifiers()) {
    case U'\r':
    case 0x03:  // keypad Enter
        return "insertNewline:";
    case U'\t':
        return event.has(KeyInput::shift) ? "insertBacktab:" : "insertTab:";
    case 0x19:  // Shift-Tab
        return "insertBacktab:";
    case 0x1B:
        return "cancelOperation:";
    case 0x7F:
    case 0x08:
        return "deleteBackward:";
    case FunctionKey::up:
        return "moveUp:";
    case FunctionKey::down:
        return "moveDown:";
    case FunctionKey::left:
        return "moveLeft:";
    case FunctionKey::right:
        return "moveRight:";
    case FunctionKey::home:
        return "scrollToBeginningOfDocument:";
    case FunctionKey::end:
        return "scrollToEndOfDocument:";
    case FunctionKey::pageUp:
        return "scrollPageUp:";
    case FunctionKey::pageDown:
        return "scrollPageDown:";
    case FunctionKey::deleteForward:
        return "deleteForward:";
    default:
        return std::nullopt;
    }
}

}  // namespace corvel::EditingSelectors
