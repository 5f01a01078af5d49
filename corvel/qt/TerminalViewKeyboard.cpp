// The keyboard and input method of TerminalView: key presses, releases and
// modifier changes (as KeyInput records) and committed input-method text
// become the bytes the program receives, in the classic encoding (control
// characters, Alt as an Escape prefix, xterm cursor and function keys) or,
// while the program has pushed Kitty keyboard flags for the active screen,
// in the Kitty keyboard protocol. Keys the view does not handle itself go the
// way the platform's text system would send them: an editing command from
// the EditingSelectors table, or inserted text. The keys of the view's own
// commands (copy, paste, select all, find: TerminalViewCommands.cpp) are
// never encoded, pressed or released. GUI thread only.
#include "corvel/qt/TerminalView.h"

#include "corvel/kitty/KittyKeyboardEncoder.h"
#include "corvel/platform/Log.h"
#include "corvel/platform/Utf8.h"
#include "corvel/qt/EditingSelectors.h"
#include "corvel/qt/KeyInputAdapter.h"
#include "corvel/terminal/EscapeSequences.h"

#include <QInputMethodEvent>
#include <QKeyEvent>

#include <algorithm>

namespace corvel {

namespace {

using EscapeSequences::Bytes;
using F = KittyFunctionalKey;

constexpr uint8_t esc = 0x1B;

// The Meta toggle chord: what Command-Option is on the design's keyboard.
bool isCommandOptionChord(const KeyInput& event)
{
    return event.has(KeyInput::control) && event.has(KeyInput::shift) && event.has(KeyInput::option);
}

bool isMetaToggleKey(const KeyInput& event)
{
    const char32_t c = event.firstScalarIgnoringModifiers();
    return c == U'o' || c == U'O';
}

bool isPrivateUse(char32_t c)
{
    return c >= 0xE000 && c <= 0xF8FF;
}

std::optional<KittyFunctionalKey> keypadKey(uint16_t keyCode)
{
    switch (keyCode) {
    case KeyCode::keypadDecimal: return F::keypadDecimal;
    case KeyCode::keypadMultiply: return F::keypadMultiply;
    case KeyCode::keypadAdd: return F::keypadAdd;
    case KeyCode::keypadClear: return F::keypadBegin;
    case KeyCode::keypadDivide: return F::keypadDivide;
    case KeyCode::keypadEnter: return F::keypadEnter;
    case KeyCode::keypadSubtract: return F::keypadSubtract;
    case KeyCode::keypadEqual: return F::keypadEqual;
    case KeyCode::keypad8: return F::keypad8;
    case KeyCode::keypad9: return F::keypad9;
    default: break;
    }
    if (keyCode >= KeyCode::keypad0 && keyCode <= KeyCode::keypad0 + 7)
        return KittyFunctionalKey(int(F::keypad0) + (keyCode - KeyCode::keypad0));
    return std::nullopt;
}

std::optional<KittyFunctionalKey> kittyFunctionalKey(const KeyInput& event)
{
    if (auto key = keypadKey(event.keyCode)) return key;
    const char32_t c = event.firstScalarIgnoringModifiers();
    std::optional<KittyFunctionalKey> key;
    switch (c) {
    case FunctionKey::up: key = F::up; break;
    case FunctionKey::down: key = F::down; break;
    case FunctionKey::left: key = F::left; break;
    case FunctionKey::right: key = F::right; break;
    case FunctionKey::insert: key = F::insert; break;
    case FunctionKey::deleteForward: key = F::delete_; break;
    case FunctionKey::home: key = F::home; break;
    case FunctionKey::end: key = F::end; break;
    case FunctionKey::pageUp: key = F::pageUp; break;
    case FunctionKey::pageDown: key = F::pageDown; break;
    case FunctionKey::printScreen: key = F::printScreen; break;
    case FunctionKey::scrollLock: key = F::scrollLock; break;
    case FunctionKey::pause: key = F::pause; break;
    case FunctionKey::menu: key = F::menu; break;
    default:
        if (c >= FunctionKey::f1 && c <= FunctionKey::f1 + 34) key = KittyFunctionalKey(int(F::f1) + int(c - FunctionKey::f1));
        break;
    }
    if (!key) return std::nullopt;
    // Navigation keys of the numeric pad (without Num Lock) report as keypad keys.
    const bool arrowBlock = event.keyCode >= KeyCode::left && event.keyCode <= KeyCode::up;
    if (event.has(KeyInput::numericPad) && !arrowBlock && c <= FunctionKey::pageDown) {
        switch (*key) {
        case F::up: return F::keypadUp;
        case F::down: return F::keypadDown;
        case F::left: return F::keypadLeft;
        case F::right: return F::keypadRight;
        case F::insert: return F::keypadInsert;
        case F::delete_: return F::keypadDelete;
        case F::home: return F::keypadHome;
        case F::end: return F::keypadEnd;
        case F::pageUp: return F::keypadPageUp;
        case F::pageDown: return F::keypadPageDown;
        default: break;
        }
    }
    return key;
}

std::optional<std::string> kittyTextForFunctionalKey(KittyFunctionalKey key, const KeyInput& event)
{
    const bool typing = (key >= F::keypad0 && key <= F::keypadAdd) || key == F::keypadEqual || key == F::keypadSeparator;
    if (!typing) return std::nullopt;
    const std::string& text = event.characters.empty() ? event.charactersIgnoringModifiers : event.characters;
    if (text.empty()) return std::nullopt;
    return text;
}

std::optional<KittyFunctionalKey> kittyModifierKey(uint16_t keyCode)
{
    switch (keyCode) {
    case KeyCode::rightCommand: return F::rightSuper;
    case KeyCode::leftCommand: return F::leftSuper;
    case KeyCode::leftShift: return F::leftShift;
    case KeyCode::capsLock: return F::capsLock;
    case KeyCode::leftOption: return F::leftAlt;
    case KeyCode::leftControl: return F::leftControl;
    case KeyCode::rightShift: return F::rightShift;
    case KeyCode::rightOption: return F::rightAlt;
    case KeyCode::rightControl: return F::rightControl;
    default: return std::nullopt;
    }
}

std::optional<KittyFunctionalKey> selectorKey(std::string_view selector)
{
    if (selector == "insertNewline:") return F::enter;
    if (selector == "cancelOperation:") return F::escape;
    if (selector == "deleteBackward:") return F::backspace;
    if (selector == "moveUp:") return F::up;
    if (selector == "moveDown:") return F::down;
    if (selector == "moveLeft:") return F::left;
    if (selector == "moveRight:") return F::right;
    if (selector == "insertTab:" || selector == "insertBacktab:") return F::tab;
    if (selector == "moveToBeginningOfLine:" || selector == "scrollToBeginningOfDocument:") return F::home;
    if (selector == "moveToEndOfLine:" || selector == "scrollToEndOfDocument:") return F::end;
    if (selector == "scrollPageUp:" || selector == "pageUp:") return F::pageUp;
    if (selector == "scrollPageDown:" || selector == "pageDown:") return F::pageDown;
    return std::nullopt;
}

bool hasControlCharacters(std::string_view text)
{
    return std::any_of(text.begin(), text.end(), [](char c) { return uint8_t(c) < 0x20 || uint8_t(c) == 0x7F; });
}

// Sets the view's current key for the length of one key handler.
class CurrentKeyScope {
public:
    CurrentKeyScope(const KeyInput*& slot, const KeyInput& key) : slot_(slot), previous_(slot) { slot = &key; }
    ~CurrentKeyScope() { slot_ = previous_; }
    CurrentKeyScope(const CurrentKeyScope&) = delete;
    CurrentKeyScope& operator=(const CurrentKeyScope&) = delete;

private:
    const KeyInput*& slot_;
    const KeyInput* previous_;
};

}  // namespace

bool TerminalView::kittyModeOn() const
{
    return !terminal_->keyboardEnhancementFlags().isEmpty();
}

KittyKeyboardModifiers TerminalView::kittyModifiers(const KeyInput& event, bool altAlways) const
{
    KittyKeyboardModifiers modifiers;
    if (event.has(KeyInput::shift)) modifiers = modifiers | KittyKeyboardModifiers::shift;
    if (event.has(KeyInput::option) && (optionAsMetaKey || altAlways)) modifiers = modifiers | KittyKeyboardModifiers::alt;
    if (event.has(KeyInput::control)) modifiers = modifiers | KittyKeyboardModifiers::ctrl;
    if (event.has(KeyInput::command)) modifiers = modifiers | KittyKeyboardModifiers::super;
    if (event.has(KeyInput::capsLock)) modifiers = modifiers | KittyKeyboardModifiers::capsLock;
    return modifiers;
}

bool TerminalView::sendKittyEvent(const KittyKeyEvent& event)
{
    const KittyKeyboardEncoder encoder{terminal_->keyboardEnhancementFlags(), terminal_->applicationCursor,
                                       backspaceSendsControlH};
    const auto bytes = encoder.encode(event);
    if (!bytes || bytes->empty()) return false;
    send(std::span<const uint8_t>(*bytes));
    return true;
}

std::optional<KittyKeyEvent> TerminalView::kittyTextEvent(const KeyInput& event, KittyKeyboardEventType eventType,
                                                          std::optional<std::string> text) const
{
    const char32_t first = event.firstScalarIgnoringModifiers();
    if (first == 0) return std::nullopt;
    char32_t key = QChar::toLower(first);
    if (key == 0) key = first;
    KittyKeyEvent result;
    result.key = KittyKey::unicode(key);
    result.modifiers = kittyModifiers(event);
    result.eventType = eventType;
    result.text = std::move(text);
    if (event.has(KeyInput::shift)) {
        if (const char32_t shifted = event.firstScalar()) result.shiftedKey = shifted;
    }
    if (const char32_t base = KeyCode::usCharacter(event.keyCode); base != 0 && base != key) result.baseLayoutKey = base;
    result.composing = kittyIsComposing_;
    return result;
}

// ---- key presses ----

void TerminalView::keyDown(const KeyInput& event)
{
    CurrentKeyScope scope(currentKey_, event);
    selection_->setActive(false);

    if (kittyModeOn()) {
        const KittyKeyboardFlags flags = terminal_->keyboardEnhancementFlags();
        pendingKittyKeyEvent_.reset();
        if (isCommandOptionChord(event) && isMetaToggleKey(event)) {
            optionAsMetaKey = !optionAsMetaKey;
            return;
        }
        const bool repeat = event.isRepeat && flags.contains(KittyKeyboardFlags::reportEvents);
        const auto type = repeat ? KittyKeyboardEventType::repeatPress : KittyKeyboardEventType::press;
        if (const auto key = kittyFunctionalKey(event)) {
            KittyKeyEvent kitty;
            kitty.key = KittyKey::functional(*key);
            kitty.modifiers = kittyModifiers(event);
            kitty.eventType = type;
            kitty.text = kittyTextForFunctionalKey(*key, event);
            kitty.composing = kittyIsComposing_;
            if (sendKittyEvent(kitty)) return;
        }
        if (event.has(KeyInput::control) || (event.has(KeyInput::option) && optionAsMetaKey)) {
            if (const auto kitty = kittyTextEvent(event, type, std::nullopt); kitty && sendKittyEvent(*kitty)) return;
        }
        const bool repeatAll = event.isRepeat && flags.contains(KittyKeyboardFlags::reportEvents) &&
                               flags.contains(KittyKeyboardFlags::reportAllKeys);
        pendingKittyKeyEvent_ =
            PendingKittyKey{event, repeatAll ? KittyKeyboardEventType::repeatPress : KittyKeyboardEventType::press};
        interpretKeyEvent(event);
        return;
    }

    if (isCommandOptionChord(event)) {
        if (isMetaToggleKey(event)) optionAsMetaKey = !optionAsMetaKey;
        interpretKeyEvent(event);
        return;
    }
    const char32_t first = event.firstScalarIgnoringModifiers();
    if (event.has(KeyInput::option) && optionAsMetaKey) {
        if (event.charactersIgnoringModifiers.empty()) return;
        if (first == FunctionKey::right) {
            send(EscapeSequences::emacsForward);
            return;
        }
        if (first == FunctionKey::left) {
            send(EscapeSequences::emacsBack);
            return;
        }
        // The other keys without text go on to their own sequences below:
        // their private-use characters are no input for the program.
        if (!isPrivateUse(first)) {
            send(Bytes(EscapeSequences::cmdEsc));
            send(std::string_view(event.charactersIgnoringModifiers));
            return;
        }
    }
    if (event.has(KeyInput::control) && !event.charactersIgnoringModifiers.empty()) {
        if (first == FunctionKey::right) {
            send(EscapeSequences::controlRight);
            return;
        }
        if (first == FunctionKey::left) {
            send(EscapeSequences::controlLeft);
            return;
        }
        const std::vector<uint8_t> control = applyControlToEventCharacters(event.charactersIgnoringModifiers);
        if (!control.empty()) {
            send(std::span<const uint8_t>(control));
            return;
        }
        // A key outside the control table (Return, Tab, F5 ...) keeps its own meaning.
    }
    if (event.has(KeyInput::function)) {
        if (first == 0) return;
        if (first >= FunctionKey::f1 && first < FunctionKey::f1 + 12) {
            send(EscapeSequences::cmdF[first - FunctionKey::f1]);
            return;
        }
        if (first == FunctionKey::deleteForward) {
            send(EscapeSequences::cmdDelKey);
            return;
        }
        if (first == FunctionKey::pageUp) {
            pageUp();
            return;
        }
        if (first == FunctionKey::pageDown) {
            pageDown();
            return;
        }
    }
    interpretKeyEvent(event);
}

void TerminalView::interpretKeyEvent(const KeyInput& event)
{
    if (const auto selector = EditingSelectors::selectorFor(event)) {
        doCommand(*selector);
        return;
    }
    // Control and Super chords without a command type nothing.
    if (event.has(KeyInput::control) || event.has(KeyInput::command)) return;
    const std::string& text = event.characters;
    if (text.empty() || hasControlCharacters(text) || isPrivateUse(event.firstScalar())) return;
    insertText(text);
}

void TerminalView::doCommand(std::string_view selector)
{
    if (kittyModeOn()) {
        if (const auto key = selectorKey(selector)) {
            const bool page = *key == F::pageUp || *key == F::pageDown;
            if (page && !terminal_->applicationCursor) {
                if (*key == F::pageUp) pageUp();
                else pageDown();
                return;
            }
            KittyKeyEvent kitty;
            kitty.key = KittyKey::functional(*key);
            // The key's own modifiers stay with its command: Shift-Return is not Return.
            if (currentKey_) kitty.modifiers = kittyModifiers(*currentKey_);
            if (selector == "insertBacktab:") kitty.modifiers = kitty.modifiers | KittyKeyboardModifiers::shift;
            kitty.composing = kittyIsComposing_;
            if (sendKittyEvent(kitty)) return;
        }
    }

    const bool app = terminal_->applicationCursor;
    if (selector == "insertNewline:") {
        send(EscapeSequences::cmdRet);
    } else if (selector == "cancelOperation:") {
        send(EscapeSequences::cmdEsc);
    } else if (selector == "deleteBackward:") {
        const uint8_t byte = backspaceSendsControlH ? 0x08 : 0x7F;
        send(std::span<const uint8_t>(&byte, 1));
    } else if (selector == "moveUp:") {
        sendKeyUp();
    } else if (selector == "moveDown:") {
        sendKeyDown();
    } else if (selector == "moveLeft:") {
        sendKeyLeft();
    } else if (selector == "moveRight:") {
        sendKeyRight();
    } else if (selector == "insertTab:") {
        send(EscapeSequences::cmdTab);
    } else if (selector == "insertBacktab:") {
        send(EscapeSequences::cmdBackTab);
    } else if (selector == "moveToBeginningOfLine:" || selector == "scrollToBeginningOfDocument:") {
        send(app ? Bytes(EscapeSequences::moveHomeApp) : Bytes(EscapeSequences::moveHomeNormal));
    } else if (selector == "moveToEndOfLine:" || selector == "scrollToEndOfDocument:") {
        send(app ? Bytes(EscapeSequences::moveEndApp) : Bytes(EscapeSequences::moveEndNormal));
    } else if (selector == "scrollPageUp:" || selector == "pageUp:") {
        if (app) send(EscapeSequences::cmdPageUp);
        else pageUp();
    } else if (selector == "scrollPageDown:" || selector == "pageDown:") {
        if (app) send(EscapeSequences::cmdPageDown);
        else pageDown();
    } else if (selector == "pageDownAndModifySelection:") {
        if (!app) send(EscapeSequences::cmdPageDown);
    } else if (selector == "moveToLeftEndOfLine:") {
        send(EscapeSequences::emacsBack);
    } else if (selector == "moveToRightEndOfLine:") {
        send(EscapeSequences::emacsForward);
    } else {
        log::write("Unhandle selector " + std::string(selector));
    }
}

// ---- releases and modifier keys ----

void TerminalView::keyUp(const KeyInput& event)
{
    if (!kittyModeOn()) return;
    const KittyKeyboardFlags flags = terminal_->keyboardEnhancementFlags();
    if (!flags.contains(KittyKeyboardFlags::reportEvents)) return;
    const auto key = kittyFunctionalKey(event);
    const bool reportAll = flags.contains(KittyKeyboardFlags::reportAllKeys);
    const bool chord = event.has(KeyInput::control) || (event.has(KeyInput::option) && optionAsMetaKey);
    if (!chord && !reportAll && !key) return;
    if (key) {
        KittyKeyEvent kitty;
        kitty.key = KittyKey::functional(*key);
        kitty.modifiers = kittyModifiers(event);
        kitty.eventType = KittyKeyboardEventType::release;
        kitty.composing = kittyIsComposing_;
        sendKittyEvent(kitty);
        return;
    }
    const auto kitty = kittyTextEvent(event, KittyKeyboardEventType::release, std::nullopt);
    if (!kitty) return;
    if (!reportAll) {
        const char32_t* scalar = kitty->key.scalar();
        if (scalar && (*scalar == 9 || *scalar == 13 || *scalar == 127)) return;
    }
    sendKittyEvent(*kitty);
}

void TerminalView::flagsChanged(const KeyInput& event)
{
    if (!kittyModeOn() || kittyIsComposing_) return;
    const KittyKeyboardFlags flags = terminal_->keyboardEnhancementFlags();
    if (!flags.contains(KittyKeyboardFlags::reportAllKeys)) return;
    const auto key = kittyModifierKey(event.keyCode);
    if (!key) return;
    // Pressed or released is read from this key's own event: with both
    // Shift keys down, releasing one still leaves Shift among the modifiers.
    if (!event.pressed && !flags.contains(KittyKeyboardFlags::reportEvents)) return;
    KittyKeyEvent kitty;
    kitty.key = KittyKey::functional(*key);
    kitty.modifiers = kittyModifiers(event, true);
    kitty.eventType = event.pressed ? KittyKeyboardEventType::press : KittyKeyboardEventType::release;
    sendKittyEvent(kitty);
}

// ---- text ----

void TerminalView::insertText(const std::string& text)
{
    insertText(text, false);
}

void TerminalView::insertText(const std::string& text, bool isPaste)
{
    const bool kitty = kittyModeOn();
    const bool bracketed = isPaste && terminal_->bracketedPasteMode;
    if (!kitty || bracketed) {
        if (kitty) pendingKittyKeyEvent_.reset();
        if (bracketed) {
            send(std::span<const uint8_t>(EscapeSequences::bracketedPasteStart()));
            send(std::string_view(EscapeSequences::withoutPasteEnd(text)));
            send(std::span<const uint8_t>(EscapeSequences::bracketedPasteEnd()));
        } else {
            send(std::string_view(text));
        }
        return;
    }

    const std::optional<PendingKittyKey> pending = std::move(pendingKittyKeyEvent_);
    pendingKittyKeyEvent_.reset();
    kittyIsComposing_ = false;
    std::optional<KittyKeyEvent> event;
    if (pending && utf8::decode(text).size() == 1) event = kittyTextEvent(pending->event, pending->eventType, text);
    if (!event) {
        event = KittyKeyEvent{};
        event->text = text;
    }
    sendKittyEvent(*event);
}

// ---- input method ----

void TerminalView::setMarkedText(const std::string&)
{
    kittyIsComposing_ = true;
}

void TerminalView::unmarkText()
{
    kittyIsComposing_ = false;
}

bool TerminalView::hasMarkedText() const
{
    return false;
}

TextRange TerminalView::markedRange()
{
    log::write("markedRange: This should return the actual range from the selection");
    return {};
}

TextRange TerminalView::selectedRange()
{
    if (!selection_->active()) return {};
    const int64_t cols = terminal_->displayBuffer().cols();
    const int64_t a = int64_t(selection_->start().row) * cols + selection_->start().col;
    const int64_t b = int64_t(selection_->end().row) * cols + selection_->end().col;
    if (a == b) return {};
    return {std::min(a, b), std::max(a, b) - std::min(a, b)};
}

QRectF TerminalView::firstRect() const
{
    return caretFrame();
}

// ---- Qt events ----

void TerminalView::trackModifierKeys(KeyInput& input, bool isModifierKey)
{
    struct Pair {
        uint16_t left, right, modifier;
    };
    static constexpr Pair pairs[] = {
        {KeyCode::leftShift, KeyCode::rightShift, KeyInput::shift},
        {KeyCode::leftControl, KeyCode::rightControl, KeyInput::control},
        {KeyCode::leftOption, KeyCode::rightOption, KeyInput::option},
        {KeyCode::leftCommand, KeyCode::rightCommand, KeyInput::command},
    };
    auto bit = [](uint16_t keyCode) { return uint16_t(1u << (keyCode - KeyCode::rightCommand)); };
    for (const Pair& pair : pairs) {
        const uint16_t both = bit(pair.left) | bit(pair.right);
        if (!isModifierKey) {
            // A key typed without the modifier: neither key of it is down.
            if (!input.has(KeyInput::Modifier(pair.modifier))) heldModifierKeys_ &= uint16_t(~both);
            continue;
        }
        if (input.keyCode != pair.left && input.keyCode != pair.right) continue;
        const uint16_t own = bit(input.keyCode);
        if (input.pressed) heldModifierKeys_ |= own;
        else heldModifierKeys_ &= uint16_t(~own);
        if (heldModifierKeys_ & both) input.modifiers |= pair.modifier;
    }
}

void TerminalView::keyPressEvent(QKeyEvent* event)
{
    event->accept();
    // The shortcut of a command that could run has fired before this; one
    // that could not (copy with nothing selected) does nothing.
    if (isCommandKey(*event)) return;
    KeyInput input = KeyInputAdapter::fromQKeyEvent(*event);
    const bool modifier = KeyInputAdapter::isModifierKey(*event);
    trackModifierKeys(input, modifier);
    if (modifier) flagsChanged(input);
    else keyDown(input);
}

void TerminalView::keyReleaseEvent(QKeyEvent* event)
{
    event->accept();
    // A command's key is not reported released either: its press never was.
    if (isCommandKey(*event)) return;
    KeyInput input = KeyInputAdapter::fromQKeyEvent(*event);
    const bool modifier = KeyInputAdapter::isModifierKey(*event);
    if (modifier) {
        trackModifierKeys(input, true);
        flagsChanged(input);
    } else if (!event->isAutoRepeat()) {
        keyUp(input);
    }
}

void TerminalView::inputMethodEvent(QInputMethodEvent* event)
{
    const QString commit = event->commitString();
    const QString preedit = event->preeditString();
    if (!commit.isEmpty()) insertText(commit.toStdString());
    if (!preedit.isEmpty()) setMarkedText(preedit.toStdString());
    else if (kittyIsComposing_) unmarkText();
    event->accept();
}

QVariant TerminalView::inputMethodQuery(Qt::InputMethodQuery query) const
{
    switch (query) {
    case Qt::ImEnabled:
        return true;
    case Qt::ImCursorRectangle:
        return firstRect().toAlignedRect();
    case Qt::ImSurroundingText:
        return QString();
    case Qt::ImCursorPosition:
    case Qt::ImAnchorPosition:
        return 0;
    case Qt::ImHints:
        return int(Qt::ImhNoAutoUppercase | Qt::ImhNoPredictiveText);
    default:
        return QWidget::inputMethodQuery(query);
    }
}

bool TerminalView::focusNextPrevChild(bool)
{
    return false;
}

}  // namespace corvel
