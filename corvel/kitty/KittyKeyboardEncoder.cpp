// The Kitty keyboard encoder: the choice between plain text, the classic
// forms and the protocol's forms, and the writers of each form. Stateless.
#include "corvel/kitty/KittyKeyboardEncoder.h"

#include "corvel/platform/Utf8.h"

namespace corvel {

namespace {

using Mods = KittyKeyboardModifiers;
using Key = KittyFunctionalKey;
using Bytes = std::vector<uint8_t>;

constexpr uint8_t ESC = 0x1B;

// The modifiers that keep the text of a key from being reported.
constexpr Mods kTextSuppressing = Mods::alt | Mods::ctrl | Mods::super | Mods::hyper | Mods::meta;
constexpr Mods kLocks = Mods::capsLock | Mods::numLock;

void appendNumber(Bytes& out, uint64_t value)
{
    char digits[24];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count > 0) out.push_back(static_cast<uint8_t>(digits[--count]));
}

void appendCsi(Bytes& out)
{
    out.push_back(ESC);
    out.push_back('[');
}

void appendText(Bytes& out, std::string_view text)
{
    out.insert(out.end(), text.begin(), text.end());
}

// ";" m + 1, and ":" the event type when one is given.
void appendModifierField(Bytes& out, Mods modifiers, std::optional<KittyKeyboardEventType> eventType)
{
    out.push_back(';');
    appendNumber(out, static_cast<uint64_t>(modifiers.rawValue + 1));
    if (eventType) {
        out.push_back(':');
        appendNumber(out, static_cast<uint64_t>(*eventType));
    }
}

bool isControlScalar(char32_t scalar)
{
    return scalar < 0x20 || (scalar >= 0x7F && scalar <= 0x9F);
}

bool hasText(const KittyKeyEvent& event)
{
    return event.text && !event.text->empty();
}

Bytes bytesOf(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

}  // namespace

std::optional<Bytes> KittyKeyboardEncoder::encode(const KittyKeyEvent& event) const
{
    const bool reportAllKeys = flags.contains(KittyKeyboardFlags::reportAllKeys);
    const bool disambiguate = flags.contains(KittyKeyboardFlags::disambiguate);
    const bool reportEvents = flags.contains(KittyKeyboardFlags::reportEvents);
    const bool reportAlternates = flags.contains(KittyKeyboardFlags::reportAlternates);
    const bool release = event.eventType == KittyKeyboardEventType::release;
    const bool includeText = reportAllKeys && flags.contains(KittyKeyboardFlags::reportText) && !release &&
                             !event.modifiers.intersects(kTextSuppressing);
    const Key* functional = event.key.functionalKey();
    const bool modifierKey = functional && isKittyModifierKey(*functional);
    const bool enterTabOrBackspace =
        event.key.is(Key::enter) || event.key.is(Key::tab) || event.key.is(Key::backspace);

    if (release && !reportEvents) return std::nullopt;
    if (release && enterTabOrBackspace && !reportAllKeys) return std::nullopt;
    if (event.composing && !(modifierKey && reportAllKeys)) return std::nullopt;
    if (!reportAllKeys && modifierKey) return std::nullopt;

    if (hasText(event)) {
        const std::string& text = *event.text;
        if ((event.key.is(Key::enter) || event.key.is(Key::backspace)) && !containsControlScalars(text)) {
            if (event.key.is(Key::backspace)) return std::nullopt;
            return bytesOf(text);
        }
        if (!reportAllKeys) {
            const auto legacy = [&] {
                return encodeNonText(event, disambiguate, reportEvents, reportAlternates, true);
            };
            const auto plain = [&]() -> std::optional<Bytes> {
                if (release) return std::nullopt;
                return bytesOf(text);
            };
            if (functional) return legacy();
            if (reportAlternates && (event.modifiers.contains(Mods::shift) || event.shiftedKey || event.baseLayoutKey))
                return legacy();
            if (event.modifiers.contains(Mods::alt)) return disambiguate ? legacy() : plain();
            if (!disambiguate) return plain();
            if (event.modifiers.contains(Mods::ctrl)) return legacy();
            return plain();
        }
    } else if (!reportAllKeys) {
        return encodeNonText(event, disambiguate, reportEvents, reportAlternates, true);
    }

    // Every key is reported in the protocol's own forms.
    if (event.key.is(Key::enter)) return encodeCsiU(event, 13, includeText, reportAlternates, reportEvents, true);
    if (event.key.is(Key::tab)) return encodeCsiU(event, 9, includeText, reportAlternates, reportEvents, true);
    if (event.key.is(Key::backspace)) return encodeCsiU(event, 127, includeText, reportAlternates, reportEvents, true);
    if (event.key.is(Key::escape)) return encodeCsiU(event, 27, false, reportAlternates, reportEvents, true);
    if (functional) {
        const auto encoding = functionalEncoding(*functional);
        const auto eventType =
            reportEvents && event.eventType != KittyKeyboardEventType::press ? std::optional(event.eventType)
                                                                               : std::nullopt;
        switch (encoding.form) {
        case KittyFunctionalEncoding::Form::letter:
            return buildCsiWithModifier(1, event.modifiers, eventType, static_cast<uint8_t>(encoding.number), true);
        case KittyFunctionalEncoding::Form::tilde:
            return buildCsiWithModifier(encoding.number, event.modifiers, eventType, '~');
        case KittyFunctionalEncoding::Form::csiU:
            return encodeCsiU(event, encoding.number, includeText, reportAlternates, reportEvents, true);
        }
    }
    return encodeCsiU(event, std::nullopt, includeText, reportAlternates, reportEvents, true);
}

std::optional<Bytes> KittyKeyboardEncoder::encodeNonText(const KittyKeyEvent& event, bool disambiguate,
                                                         bool includeEventType, bool includeAlternates,
                                                         bool includeLocks) const
{
    const bool eventShown = includeEventType && event.eventType != KittyKeyboardEventType::press;
    const bool hasMods = !event.modifiers.isEmpty() || eventShown;
    const auto csiU = [&](std::optional<uint32_t> code) {
        return encodeCsiU(event, code, false, includeAlternates, includeEventType, includeLocks);
    };

    if (event.key.scalar()) {
        if (!disambiguate) {
            if (auto legacy = legacyTextKeySequence(event)) return legacy;
        }
        return csiU(std::nullopt);
    }
    const Key* functional = event.key.functionalKey();
    if (!functional) return csiU(0);

    const Key key = *functional;
    if (key == Key::enter || key == Key::tab || key == Key::backspace) {
        if (disambiguate && hasMods) return csiU(std::nullopt);
        return legacySpecialKeySequence(key, event.modifiers, event.eventType);
    }
    if (key == Key::escape) {
        if (!disambiguate) return legacySpecialKeySequence(key, event.modifiers, event.eventType);
        return csiU(27);
    }
    const auto encoding = functionalEncoding(key);
    const auto eventType = eventShown ? std::optional(event.eventType) : std::nullopt;
    switch (encoding.form) {
    case KittyFunctionalEncoding::Form::csiU: return csiU(encoding.number);
    case KittyFunctionalEncoding::Form::tilde:
        return buildCsiWithModifier(encoding.number, event.modifiers, eventType, '~');
    case KittyFunctionalEncoding::Form::letter: break;
    }
    const auto letter = static_cast<uint8_t>(encoding.number);
    if (!disambiguate && !hasMods) {
        const bool cursorKey = key == Key::up || key == Key::down || key == Key::left || key == Key::right ||
                               key == Key::home || key == Key::end;
        if (cursorKey) {
            if (applicationCursor) return Bytes{ESC, 'O', letter};
            return Bytes{ESC, '[', letter};
        }
        if (key == Key::f1 || key == Key::f2 || key == Key::f4) return Bytes{ESC, 'O', letter};
    }
    return buildCsiWithModifier(1, event.modifiers, eventType, letter, true);
}

Bytes KittyKeyboardEncoder::encodeCsiU(const KittyKeyEvent& event, std::optional<uint32_t> overrideKeyCode,
                                       bool includeText, bool includeAlternates, bool includeEventType,
                                       bool includeLocks) const
{
    uint32_t code = 0;
    if (overrideKeyCode) {
        code = *overrideKeyCode;
    } else if (const char32_t* scalar = event.key.scalar()) {
        code = *scalar;
    } else if (const Key* functional = event.key.functionalKey()) {
        const auto encoding = functionalEncoding(*functional);
        code = encoding.form == KittyFunctionalEncoding::Form::csiU ? encoding.number : 0;
    }
    Mods modifiers = event.modifiers;
    if (!includeLocks) modifiers.rawValue &= ~kLocks.rawValue;
    const bool eventShown = includeEventType && event.eventType != KittyKeyboardEventType::press;

    Bytes out;
    out.reserve(16);
    appendCsi(out);
    appendNumber(out, code);
    if (includeAlternates) {
        bool shiftedWritten = false;
        if (event.modifiers.contains(Mods::shift) && event.shiftedKey) {
            out.push_back(':');
            appendNumber(out, *event.shiftedKey);
            shiftedWritten = true;
        }
        if (event.baseLayoutKey) {
            out.push_back(':');
            if (!shiftedWritten) out.push_back(':');
            appendNumber(out, *event.baseLayoutKey);
        }
    }
    const bool modifierField = !modifiers.isEmpty() || eventShown;
    if (modifierField) {
        appendModifierField(out, modifiers, eventShown ? std::optional(event.eventType) : std::nullopt);
    }
    if (includeText && event.text) {
        bool first = true;
        for (char32_t scalar : textCodepoints(*event.text)) {
            if (isControlScalar(scalar)) continue;
            if (first) {
                out.push_back(';');
                if (!modifierField) out.push_back(';');
                first = false;
            } else {
                out.push_back(':');
            }
            appendNumber(out, scalar);
        }
    }
    out.push_back('u');
    return out;
}

Bytes KittyKeyboardEncoder::buildCsiWithModifier(uint32_t number, Mods modifiers,
                                                 std::optional<KittyKeyboardEventType> eventType, uint8_t terminator,
                                                 bool omitDefaultNumber)
{
    if (omitDefaultNumber && modifiers.isEmpty() && !eventType && number == 1) return Bytes{ESC, '[', terminator};
    return buildCsiWithModifier(number, modifiers, eventType, terminator);
}

Bytes KittyKeyboardEncoder::buildCsiWithModifier(uint32_t number, Mods modifiers,
                                                 std::optional<KittyKeyboardEventType> eventType, uint8_t terminator)
{
    Bytes out;
    out.reserve(12);
    appendCsi(out);
    appendNumber(out, number);
    if (!modifiers.isEmpty() || eventType) appendModifierField(out, modifiers, eventType);
    out.push_back(terminator);
    return out;
}

std::optional<Bytes> KittyKeyboardEncoder::legacySpecialKeySequence(KittyFunctionalKey key, Mods modifiers,
                                                                    KittyKeyboardEventType eventType) const
{
    // A held key repeats as it would without the protocol.
    if (eventType == KittyKeyboardEventType::release) return std::nullopt;
    Bytes out;
    if (modifiers.contains(Mods::alt)) out.push_back(ESC);
    switch (key) {
    case Key::escape: out.push_back(ESC); break;
    case Key::enter: out.push_back(0x0D); break;
    case Key::tab:
        if (modifiers.contains(Mods::shift)) {
            out.insert(out.end(), {ESC, '[', 'Z'});
        } else {
            out.push_back(0x09);
        }
        break;
    case Key::backspace:
        out.push_back(backspaceSendsControlH || modifiers.contains(Mods::ctrl) ? 0x08 : 0x7F);
        break;
    default: return std::nullopt;
    }
    return out;
}

std::optional<Bytes> KittyKeyboardEncoder::legacyTextKeySequence(const KittyKeyEvent& event)
{
    const char32_t* scalar = event.key.scalar();
    if (!scalar || event.eventType == KittyKeyboardEventType::release) return std::nullopt;
    const Mods allowed = Mods::shift | Mods::alt | Mods::ctrl | kLocks;
    const Mods modifiers = event.modifiers;
    if (modifiers.rawValue & ~allowed.rawValue) return std::nullopt;
    if (modifiers.contains(Mods::shift | Mods::ctrl)) return std::nullopt;

    Bytes out;
    if (modifiers.contains(Mods::alt)) out.push_back(ESC);
    if (modifiers.contains(Mods::ctrl)) {
        const char32_t lower = *scalar >= 'A' && *scalar <= 'Z' ? *scalar + ('a' - 'A') : *scalar;
        auto mapped = legacyControlMapping(lower);
        if (!mapped) mapped = legacyControlMapping(*scalar);
        if (mapped) {
            out.push_back(*mapped);
            return out;
        }
    }
    if (hasText(event)) {
        appendText(out, *event.text);
    } else if (modifiers.contains(Mods::shift) && event.shiftedKey) {
        appendText(out, utf8::encode(*event.shiftedKey));
    } else {
        appendText(out, utf8::encode(*scalar));
    }
    return out;
}

std::optional<uint8_t> KittyKeyboardEncoder::legacyControlMapping(char32_t scalar)
{
    if (scalar >= 'a' && scalar <= 'z') return static_cast<uint8_t>(scalar - 'a' + 1);
    switch (scalar) {
    case ' ': return 0x00;
    case '/': return 0x1F;
    case '0': return '0';
    case '1': return '1';
    case '2': return 0x00;
    case '3': return 0x1B;
    case '4': return 0x1C;
    case '5': return 0x1D;
    case '6': return 0x1E;
    case '7': return 0x1F;
    case '8': return 0x7F;
    case '9': return '9';
    case '?': return 0x7F;
    case '@': return 0x00;
    case '[': return 0x1B;
    case '\\': return 0x1C;
    case ']': return 0x1D;
    case '^': return 0x1E;
    case '_': return 0x1F;
    case '~': return 0x1E;
    default: return std::nullopt;
    }
}

std::vector<char32_t> KittyKeyboardEncoder::textCodepoints(std::string_view text)
{
    const std::u32string scalars = utf8::decode(text);
    return {scalars.begin(), scalars.end()};
}

bool KittyKeyboardEncoder::containsControlScalars(std::string_view text)
{
    for (char32_t scalar : utf8::decode(text)) {
        if (isControlScalar(scalar)) return true;
    }
    return false;
}

}  // namespace corvel
