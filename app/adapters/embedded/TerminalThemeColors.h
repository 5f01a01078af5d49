// The colours of the four terminal themes and their application to a pane's
// terminal view. Every theme shares one 16-colour ANSI palette and differs
// only in its default background and foreground, so programs that use ANSI
// colours look the same under every theme. Colours are written 0xRRGGBB;
// each 8-bit component c becomes the 16-bit c * 257.
//
// Stateless; apply() runs on the GUI thread like the view.
#pragma once

#include "app/core/TerminalTheme.h"
#include "corvel/screen/Color.h"

#include <array>
#include <cstdint>

namespace corvel {
class TerminalView;
}

namespace tilebay::TerminalThemeColors {

// A 0xRRGGBB value as a terminal colour.
constexpr corvel::Color fromRgb(uint32_t rgb)
{
    return {static_cast<uint16_t>(((rgb >> 16) & 0xff) * 257), static_cast<uint16_t>(((rgb >> 8) & 0xff) * 257),
            static_cast<uint16_t>((rgb & 0xff) * 257)};
}

// The 16 ANSI colours, in palette order.
const std::array<corvel::Color, 16>& ansiPalette();
corvel::Color background(TerminalTheme theme);
corvel::Color foreground(TerminalTheme theme);

// The system fixed font at pixel size `fontSize`, the palette, then the
// theme's background and foreground. The font is set only when it differs
// from the view's, since a font change soft-resets the emulator (and would
// undo a running program's modes on every re-theme).
void apply(TerminalTheme theme, double fontSize, corvel::TerminalView& view);

}  // namespace tilebay::TerminalThemeColors
