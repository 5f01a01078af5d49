#include "app/core/TerminalTheme.h"

namespace tilebay {

std::string_view toString(TerminalTheme theme)
{
    switch (theme) {
    case TerminalTheme::dark: return "dark";
    case TerminalTheme::solarizedDark: return "solarizedDark";
    case TerminalTheme::dracula: return "dracula";
    case TerminalTheme::light: return "light";
    }
    return "dark";
}

std::optional<TerminalTheme> terminalThemeFromString(std::string_view name)
{
    for (TerminalTheme t : allTerminalThemes)
        if (toString(t) == name) return t;
    return std::nullopt;
}

}  // namespace tilebay
