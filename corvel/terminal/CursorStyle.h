// The shape and blinking of the text cursor.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace corvel {

enum class CursorStyle : uint8_t {
    blinkBlock,
    steadyBlock,
    blinkUnderline,
    steadyUnderline,
    blinkBar,
    steadyBar,
};

constexpr std::string_view toString(CursorStyle style)
{
    switch (style) {
    case CursorStyle::blinkBlock: return "blinkBlock";
    case CursorStyle::steadyBlock: return "steadyBlock";
    case CursorStyle::blinkUnderline: return "blinkUnderline";
    case CursorStyle::steadyUnderline: return "steadyUnderline";
    case CursorStyle::blinkBar: return "blinkBar";
    case CursorStyle::steadyBar: return "steadyBar";
    }
    return "blinkBlock";
}

// The style named exactly (case-sensitive) by `text`, or none.
constexpr std::optional<CursorStyle> cursorStyleFrom(std::string_view text)
{
    for (auto style : {CursorStyle::blinkBlock, CursorStyle::steadyBlock, CursorStyle::blinkUnderline,
                       CursorStyle::steadyUnderline, CursorStyle::blinkBar, CursorStyle::steadyBar}) {
        if (toString(style) == text) return style;
    }
    return std::nullopt;
}

}  // namespace corvel
