// Extended grapheme clusters: which scalars a reader sees as one character.
// The print path asks whether a scalar still belongs to the cell printed
// before it (a combining mark, a skin tone, the second half of a flag, the
// emoji after a zero-width joiner, a Hangul vowel after its consonant).
//
// The boundary rules are applied here over ICU's Grapheme_Cluster_Break and
// Extended_Pictographic properties, so a query is a few property lookups and
// never allocates.
#pragma once

#include <cstdint>
#include <string_view>

namespace corvel::grapheme {

// The Grapheme_Cluster_Break property values the rules distinguish.
enum class BreakProperty : uint8_t {
    Other,
    CR,
    LF,
    Control,
    Extend,
    ZWJ,
    RegionalIndicator,
    Prepend,
    SpacingMark,
    L,
    V,
    T,
    LV,
    LVT,
};

BreakProperty breakProperty(char32_t scalar);

// Whether there is no cluster boundary between any two neighbouring scalars,
// so the sequence reads as exactly one character. False for an empty one.
bool isSingleCluster(std::u32string_view scalars);

}  // namespace corvel::grapheme
