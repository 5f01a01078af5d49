// The colour palette of every embedded terminal (the palettes themselves belong
// to the embedded adapter). Decoding by name is strict; the layout reader falls
// back to `dark` itself.
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace tilebay {

enum class TerminalTheme : unsigned char { dark, solarizedDark, dracula, light };

inline constexpr std::array<TerminalTheme, 4> allTerminalThemes{
    TerminalTheme::dark, TerminalTheme::solarizedDark, TerminalTheme::dracula,
    TerminalTheme::light};

// The name is also the value's identity in lists.
std::string_view toString(TerminalTheme theme);
std::optional<TerminalTheme> terminalThemeFromString(std::string_view name);

}  // namespace tilebay
