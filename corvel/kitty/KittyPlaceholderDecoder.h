// Decodes a cell of the Kitty Unicode placeholder character U+10EEEE: the
// image id from the foreground colour (and a third diacritic for its high
// byte), the placement id from the underline colour, and the image row and
// column from the combining diacritics that follow, continuing from the cell
// to the left where the diacritics are left out. Pure functions; the
// diacritic lookup is built once, on first use, and only read afterwards, so
// any thread may decode.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "corvel/screen/Attribute.h"
#include "corvel/kitty/KittyPlaceholderCell.h"

namespace corvel::KittyPlaceholderDecoder {

inline constexpr char32_t placeholderCharacter = 0x10EEEE;

// The diacritics that number image rows and columns, in order: the index of
// a diacritic is the number it stands for.
std::span<const char32_t> diacritics();
// The index of `scalar` in diacritics(); none when it is not one of them.
std::optional<int64_t> diacriticIndex(char32_t scalar);

// `character` is the cell's text in UTF-8 (one grapheme cluster); `previous`
// and `previousAttribute` describe the cell to its left when that was a
// placeholder cell of the same pass. None unless the cell is a placeholder.
std::optional<KittyPlaceholderCell> decode(std::string_view character, const Attribute& attribute, int64_t row,
                                           int64_t col, const std::optional<KittyPlaceholderCell>& previous,
                                           const std::optional<Attribute>& previousAttribute);

}  // namespace corvel::KittyPlaceholderDecoder
