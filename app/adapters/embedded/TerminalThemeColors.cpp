#include "app/adapters/embedded/TerminalThemeColors.h"

#include "corvel/qt/TerminalView.h"

#include <cmath>

namespace tilebay::TerminalThemeColors {

namespace {

struct ThemeColors {
    uint32_t background;
    uint32_t foreground;
};

ThemeColors colorsOf(TerminalTheme theme)
{
    switch (theme) {
    case TerminalTheme::dark: return {0x1e1e1e, 0xd4d4d4};
    case TerminalTheme::solarizedDark: return {0x002b36, 0x93a1a1};
    case TerminalTheme::dracula: return {0x282a36, 0xf8f8f2};
    case TerminalTheme::light: return {0xfafafa, 0x1d1d1f};
    }
    return {0x1e1e1e, 0xd4d4d4};
}

}  // namespace

const std::array<corvel::Color, 16>& ansiPalette()
{
    static constexpr std::array<corvel::Color, 16> palette{
        fromRgb(0x000000), fromRgb(0xcd3131), fromRgb(0x0dbc79), fromRgb(0xe5e510),
        fromRgb(0x2472c8), fromRgb(0xbc3fbc), fromRgb(0x11a8cd), fromRgb(0xe5e5e5),
        fromRgb(0x666666), fromRgb(0xf14c4c), fromRgb(0x23d18b), fromRgb(0xf5f543),
        fromRgb(0x3b8eea), fromRgb(0xd670d6), fromRgb(0x29b8db), fromRgb(0xffffff),
    };
    return palette;
}

corvel::Color background(TerminalTheme theme)
{
    return fromRgb(colorsOf(theme).background);
}

corvel::Color foreground(TerminalTheme theme)
{
    return fromRgb(colorsOf(theme).foreground);
}

void apply(TerminalTheme theme, double fontSize, corvel::TerminalView& view)
{
    QFont font = corvel::TerminalView::systemFixedFont();
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(fontSize))));
    const QFont& current = view.font();
    if (current.family() != font.family() || current.pixelSize() != font.pixelSize() ||
        current.weight() != font.weight() || current.italic() != font.italic())
        view.setFont(font);

    view.installColors(ansiPalette());
    corvel::Terminal& terminal = view.getTerminal();
    view.setBackgroundColor(terminal, background(theme));
    view.setForegroundColor(terminal, foreground(theme));
}

}  // namespace tilebay::TerminalThemeColors
