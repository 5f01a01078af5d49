// Turns one key event into the bytes the program in the terminal expects
// under the Kitty keyboard flags it set: the protocol's CSI u, letter and
// tilde forms, or the classic bytes where the flags keep them.
//
// A value made afresh for each event from the current screen's flags, the
// terminal's cursor-key mode and the view's backspace setting; it keeps no
// state between calls and may be used on any thread. Lock modifiers always
// appear in modifier fields; no text is reported while alt, ctrl, super,
// hyper or meta is held; the cursor-key mode counts only without
// `disambiguate`. In the classic forms a repeat counts as a press.
#pragma once

#include "corvel/kitty/KittyKeyboardFlags.h"
#include "corvel/kitty/KittyKeyboardProtocol.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvel {

struct KittyKeyboardEncoder {
    KittyKeyboardFlags flags;
    bool applicationCursor = false;
    bool backspaceSendsControlH = false;

    // The bytes to send, or none when the event sends nothing.
    std::optional<std::vector<uint8_t>> encode(const KittyKeyEvent& event) const;

    // The classic control byte of ctrl with `scalar`, or none (46 entries).
    static std::optional<uint8_t> legacyControlMapping(char32_t scalar);

private:
    using Bytes = std::vector<uint8_t>;

    std::optional<Bytes> encodeNonText(const KittyKeyEvent& event, bool disambiguate, bool includeEventType,
                                       bool includeAlternates, bool includeLocks) const;
    Bytes encodeCsiU(const KittyKeyEvent& event, std::optional<uint32_t> overrideKeyCode, bool includeText,
                     bool includeAlternates, bool includeEventType, bool includeLocks) const;
    // Letter form: `CSI X` when the default number may be omitted, else
    // `CSI number ; m X`.
    static Bytes buildCsiWithModifier(uint32_t number, KittyKeyboardModifiers modifiers,
                                      std::optional<KittyKeyboardEventType> eventType, uint8_t terminator,
                                      bool omitDefaultNumber);
    // Tilde form: `CSI number ; m ~`.
    static Bytes buildCsiWithModifier(uint32_t number, KittyKeyboardModifiers modifiers,
                                      std::optional<KittyKeyboardEventType> eventType, uint8_t terminator);
    std::optional<Bytes> legacySpecialKeySequence(KittyFunctionalKey key, KittyKeyboardModifiers modifiers,
                                                  KittyKeyboardEventType eventType) const;
    static std::optional<Bytes> legacyTextKeySequence(const KittyKeyEvent& event);
    static std::vector<char32_t> textCodepoints(std::string_view text);
    static bool containsControlScalars(std::string_view text);
};

}  // namespace corvel
