// When the view underlines hyperlinks: the hovered link (optionally only
// while the command modifier is held), or every OSC 8 link (likewise).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace corvel::qt {

enum class LinkHighlightMode : uint8_t { hover, hoverWithModifier, always, alwaysWithModifier };

constexpr std::string_view toString(LinkHighlightMode mode)
{
    switch (mode) {
    case LinkHighlightMode::hover: return "hover";
    case LinkHighlightMode::hoverWithModifier: return "hoverWithModifier";
    case LinkHighlightMode::always: return "always";
    case LinkHighlightMode::alwaysWithModifier: return "alwaysWithModifier";
    }
    return "hover";
}

constexpr std::optional<LinkHighlightMode> linkHighlightModeFromString(std::string_view text)
{
    for (auto mode : {LinkHighlightMode::hover, LinkHighlightMode::hoverWithModifier, LinkHighlightMode::always,
                      LinkHighlightMode::alwaysWithModifier}) {
        if (toString(mode) == text) return mode;
    }
    return std::nullopt;
}

}  // namespace corvel::qt
