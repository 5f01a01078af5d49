// The Unicode character properties the terminal needs, answered by ICU. Every
// ICU call of the core goes through this header or the regular-expression and
// grapheme wrappers beside it, so the rest of the code stays free of ICU types.
#pragma once

#include <cstdint>

namespace corvel::unicode {

// The Unicode general categories.
enum class GeneralCategory : uint8_t {
    Unassigned,
    UppercaseLetter, LowercaseLetter, TitlecaseLetter, ModifierLetter, OtherLetter,
    NonspacingMark, SpacingMark, EnclosingMark,
    DecimalNumber, LetterNumber, OtherNumber,
    SpaceSeparator, LineSeparator, ParagraphSeparator,
    Control, Format, PrivateUse, Surrogate,
    DashPunctuation, OpenPunctuation, ClosePunctuation, ConnectorPunctuation,
    OtherPunctuation, InitialPunctuation, FinalPunctuation,
    MathSymbol, CurrencySymbol, ModifierSymbol, OtherSymbol,
};

GeneralCategory generalCategory(char32_t scalar);

inline bool isMark(GeneralCategory c)
{
    return c == GeneralCategory::NonspacingMark || c == GeneralCategory::SpacingMark ||
           c == GeneralCategory::EnclosingMark;
}

// Emoji properties of Unicode Technical Standard 51.
bool isEmoji(char32_t scalar);
bool isEmojiPresentation(char32_t scalar);
bool isEmojiModifier(char32_t scalar);
bool isEmojiModifierBase(char32_t scalar);
bool isExtendedPictographic(char32_t scalar);
bool isRegionalIndicator(char32_t scalar);

// The canonical combining class (0 for starters).
uint8_t combiningClass(char32_t scalar);

}  // namespace corvel::unicode
