#include "corvel/platform/Unicode.h"

#include <unicode/uchar.h>

namespace corvel::unicode {

GeneralCategory generalCategory(char32_t scalar)
{
    switch (u_charType(static_cast<UChar32>(scalar))) {
    case U_UPPERCASE_LETTER: return GeneralCategory::UppercaseLetter;
    case U_LOWERCASE_LETTER: return GeneralCategory::LowercaseLetter;
    case U_TITLECASE_LETTER: return GeneralCategory::TitlecaseLetter;
    case U_MODIFIER_LETTER: return GeneralCategory::ModifierLetter;
    case U_OTHER_LETTER: return GeneralCategory::OtherLetter;
    case U_NON_SPACING_MARK: return GeneralCategory::NonspacingMark;
    case U_COMBINING_SPACING_MARK: return GeneralCategory::SpacingMark;
    case U_ENCLOSING_MARK: return GeneralCategory::EnclosingMark;
    case U_DECIMAL_DIGIT_NUMBER: return GeneralCategory::DecimalNumber;
    case U_LETTER_NUMBER: return GeneralCategory::LetterNumber;
    case U_OTHER_NUMBER: return GeneralCategory::OtherNumber;
    case U_SPACE_SEPARATOR: return GeneralCategory::SpaceSeparator;
    case U_LINE_SEPARATOR: return GeneralCategory::LineSeparator;
    case U_PARAGRAPH_SEPARATOR: return GeneralCategory::ParagraphSeparator;
    case U_CONTROL_CHAR: return GeneralCategory::Control;
    case U_FORMAT_CHAR: return GeneralCategory::Format;
    case U_PRIVATE_USE_CHAR: return GeneralCategory::PrivateUse;
    case U_SURROGATE: return GeneralCategory::Surrogate;
    case U_DASH_PUNCTUATION: return GeneralCategory::DashPunctuation;
    case U_START_PUNCTUATION: return GeneralCategory::OpenPunctuation;
    case U_END_PUNCTUATION: return GeneralCategory::ClosePunctuation;
    case U_CONNECTOR_PUNCTUATION: return GeneralCategory::ConnectorPunctuation;
    case U_OTHER_PUNCTUATION: return GeneralCategory::OtherPunctuation;
    case U_INITIAL_PUNCTUATION: return GeneralCategory::InitialPunctuation;
    case U_FINAL_PUNCTUATION: return GeneralCategory::FinalPunctuation;
    case U_MATH_SYMBOL: return GeneralCategory::MathSymbol;
    case U_CURRENCY_SYMBOL: return GeneralCategory::CurrencySymbol;
    case U_MODIFIER_SYMBOL: return GeneralCategory::ModifierSymbol;
    case U_OTHER_SYMBOL: return GeneralCategory::OtherSymbol;
    default: return GeneralCategory::Unassigned;
    }
}

bool isEmoji(char32_t s) { return u_hasBinaryProperty(static_cast<UChar32>(s), UCHAR_EMOJI); }
bool isEmojiPresentation(char32_t s)
{
    return u_hasBinaryProperty(static_cast<UChar32>(s), UCHAR_EMOJI_PRESENTATION);
}
bool isEmojiModifier(char32_t s)
{
    return u_hasBinaryProperty(static_cast<UChar32>(s), UCHAR_EMOJI_MODIFIER);
}
bool isEmojiModifierBase(char32_t s)
{
    return u_hasBinaryProperty(static_cast<UChar32>(s), UCHAR_EMOJI_MODIFIER_BASE);
}
bool isExtendedPictographic(char32_t s)
{
    return u_hasBinaryProperty(static_cast<UChar32>(s), UCHAR_EXTENDED_PICTOGRAPHIC);
}
bool isRegionalIndicator(char32_t s) { return s >= 0x1F1E6 && s <= 0x1F1FF; }

uint8_t combiningClass(char32_t s) { return u_getCombiningClass(static_cast<UChar32>(s)); }

}  // namespace corvel::unicode
