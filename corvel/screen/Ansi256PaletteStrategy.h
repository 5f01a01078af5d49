// How a terminal derives palette entries 16 to 255 from its 16 base colours.
#pragma once

namespace corvel {

enum class Ansi256PaletteStrategy {
    xterm,      // the fixed 6x6x6 colour cube and 24-step grey ramp
    base16Lab,  // the cube and greys interpolated in L*a*b* between the base colours
};

}  // namespace corvel
