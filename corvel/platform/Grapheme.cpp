#include "corvel/platform/Grapheme.h"

#include <unicode/uchar.h>

namespace corvel::grapheme {

BreakProperty breakProperty(char32_t scalar)
{
    const auto c = static_cast<UChar32>(scalar);
    switch (u_getIntPropertyValue(c, UCHAR_GRAPHEME_CLUSTER_BREAK)) {
    case U_GCB_CR: return BreakProperty::CR;
    case U_GCB_LF: return BreakProperty::LF;
    case U_GCB_CONTROL: return BreakProperty::Control;
    case U_GCB_EXTEND: return BreakProperty::Extend;
    case U_GCB_ZWJ: return BreakProperty::ZWJ;
    case U_GCB_REGIONAL_INDICATOR: return BreakProperty::RegionalIndicator;
    case U_GCB_PREPEND: return BreakProperty::Prepend;
    case U_GCB_SPACING_MARK: return BreakProperty::SpacingMark;
    case U_GCB_L: return BreakProperty::L;
    case U_GCB_V: return BreakProperty::V;
    case U_GCB_T: return BreakProperty::T;
    case U_GCB_LV: return BreakProperty::LV;
    case U_GCB_LVT: return BreakProperty::LVT;
    // Emoji modifiers were a property of their own before they joined Extend.
    case U_GCB_E_MODIFIER: return BreakProperty::Extend;
    default: return BreakProperty::Other;
    }
}

namespace {

bool isExtendedPictographic(char32_t scalar)
{
    return u_hasBinaryProperty(static_cast<UChar32>(scalar), UCHAR_EXTENDED_PICTOGRAPHIC);
}

}  // namespace

bool isSingleCluster(std::u32string_view scalars)
{
    if (scalars.empty()) return false;
    using P = BreakProperty;
    P before = breakProperty(scalars[0]);
    // State the pair rules cannot see: how far the text before the current
    // position matches "pictographic, Extend*, joiner" (for the joiner rule),
    // and how many regional indicators stand in a row just before it.
    enum class Emoji : uint8_t { none, pictographic, joined };
    Emoji emoji = isExtendedPictographic(scalars[0]) ? Emoji::pictographic : Emoji::none;
    int regionalRun = before == P::RegionalIndicator ? 1 : 0;

    for (size_t i = 1; i < scalars.size(); ++i) {
        const char32_t scalar = scalars[i];
        const P after = breakProperty(scalar);
        bool joined = false;
        if (before == P::CR && after == P::LF) {
            joined = true;
        } else if (before == P::CR || before == P::LF || before == P::Control || after == P::CR ||
                   after == P::LF || after == P::Control) {
            joined = false;
        } else if (before == P::L && (after == P::L || after == P::V || after == P::LV || after == P::LVT)) {
            joined = true;
        } else if ((before == P::LV || before == P::V) && (after == P::V || after == P::T)) {
            joined = true;
        } else if ((before == P::LVT || before == P::T) && after == P::T) {
            joined = true;
        } else if (after == P::Extend || after == P::ZWJ || after == P::SpacingMark || before == P::Prepend) {
            joined = true;
        } else if (emoji == Emoji::joined && isExtendedPictographic(scalar)) {
            joined = true;
        } else if (before == P::RegionalIndicator && after == P::RegionalIndicator) {
            // Indicators pair up from the start of their run.
            joined = regionalRun % 2 == 1;
        }
        if (!joined) return false;

        if (isExtendedPictographic(scalar)) {
            emoji = Emoji::pictographic;
        } else if (emoji == Emoji::pictographic && after == P::ZWJ) {
            emoji = Emoji::joined;
        } else if (!(emoji == Emoji::pictographic && after == P::Extend)) {
            emoji = Emoji::none;
        }
        regionalRun = after == P::RegionalIndicator ? regionalRun + 1 : 0;
        before = after;
    }
    return true;
}

}  // namespace corvel::grapheme
